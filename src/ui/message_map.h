// Message tables: one line per event, each mapping a window message or control notice to a handler.
#pragma once

#include "platform/win32.h"

namespace ui {

class CDialogEx;

struct MessageMapEntry {
  UINT message;  // WM_*; control notices come as WM_COMMAND or WM_NOTIFY
  UINT code;     // the notice code, for WM_COMMAND and WM_NOTIFY entries
  UINT id;       // the control id, for WM_COMMAND and WM_NOTIFY entries
  LRESULT (*thunk)(CDialogEx& dialog, WPARAM wParam, LPARAM lParam);
  const char* handler;
};

struct MessageMap {
  const MessageMapEntry* entries;
  size_t count;
};

}  // namespace ui

// In the class:   const ui::MessageMap* GetMessageMap() const override;
// In the .cpp:    BEGIN_MESSAGE_MAP(CMyDlg) ... entries ... END_MESSAGE_MAP()
#define BEGIN_MESSAGE_MAP(theClass)                         \
  const ::ui::MessageMap* theClass::GetMessageMap() const { \
    using ThisClass = theClass;                             \
    static const ::ui::MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                           \
  }                                                                                 \
  ;                                                                                 \
  static const ::ui::MessageMap map{entries, sizeof(entries) / sizeof(entries[0])}; \
  return &map;                                                                      \
  }

#define QM_THUNK(body)                                              \
  [](::ui::CDialogEx& d, WPARAM wParam, LPARAM lParam) -> LRESULT { \
    (void)wParam;                                                   \
    (void)lParam;                                                   \
    ThisClass& self = static_cast<ThisClass&>(d);                   \
    body                                                            \
  }

// void OnPaint()
#define ON_WM_PAINT()                                                \
  { WM_PAINT, 0, 0, QM_THUNK(self.OnPaint(); return 0;), "OnPaint" } \
  ,
// HCURSOR OnQueryDragIcon(): the icon shown while the minimised window is dragged
#define ON_WM_QUERYDRAGICON()                                                                    \
  {                                                                                              \
    WM_QUERYDRAGICON, 0, 0, QM_THUNK(return reinterpret_cast<LRESULT>(self.OnQueryDragIcon());), \
        "OnQueryDragIcon"                                                                        \
  }                                                                                              \
  ,
// void OnDestroy()
#define ON_WM_DESTROY()                                                    \
  { WM_DESTROY, 0, 0, QM_THUNK(self.OnDestroy(); return 0;), "OnDestroy" } \
  ,
// bool OnSetCursor(HWND window, UINT hitTest, UINT message): true when it set the cursor
#define ON_WM_SETCURSOR()                                                                    \
  {                                                                                          \
    WM_SETCURSOR, 0, 0,                                                                      \
        QM_THUNK(bool set = self.OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), \
                                             HIWORD(lParam));                                \
                 if (!set) self.SetMsgHandled(false); return set ? TRUE : FALSE;),           \
        "OnSetCursor"                                                                        \
  }                                                                                          \
  ,
// bool OnDeviceChange(UINT eventType, DEV_BROADCAST_HDR* header)
#define ON_WM_DEVICECHANGE()                                                              \
  {                                                                                       \
    WM_DEVICECHANGE, 0, 0,                                                                \
        QM_THUNK(return self.OnDeviceChange(static_cast<UINT>(wParam),                    \
                                            reinterpret_cast<DEV_BROADCAST_HDR*>(lParam)) \
                            ? TRUE                                                        \
                            : FALSE;),                                                    \
        "OnDeviceChange"                                                                  \
  }                                                                                       \
  ,
// LRESULT handler(WPARAM wParam, LPARAM lParam): a message registered at run time, `message`
// evaluated once; one that could not be registered is 0 and matches nothing
#define ON_REGISTERED_MESSAGE(message, handler)                               \
  { message, 0, 0, QM_THUNK(return self.handler(wParam, lParam);), #handler } \
  ,
// void handler(): a notice through WM_COMMAND from control `id`
#define QM_ON_COMMAND(code, id, handler)                                  \
  { WM_COMMAND, code, id, QM_THUNK(self.handler(); return 0;), #handler } \
  ,
#define ON_BN_CLICKED(id, handler) QM_ON_COMMAND(BN_CLICKED, id, handler)
#define ON_LBN_SELCHANGE(id, handler) QM_ON_COMMAND(LBN_SELCHANGE, id, handler)
#define ON_LBN_DBLCLK(id, handler) QM_ON_COMMAND(LBN_DBLCLK, id, handler)
#define ON_STN_DBLCLK(id, handler) QM_ON_COMMAND(STN_DBLCLK, id, handler)
// void handler(NMHDR* header, LRESULT* result): a WM_NOTIFY notice from control `id`
#define ON_NOTIFY(code, id, handler)                                                          \
  {                                                                                           \
    WM_NOTIFY, static_cast<UINT>(code), id,                                                   \
        QM_THUNK(LRESULT result = 0; self.handler(reinterpret_cast<NMHDR*>(lParam), &result); \
                 return result;),                                                             \
        #handler                                                                              \
  }                                                                                           \
  ,
