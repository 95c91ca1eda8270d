// CDialogEx: a modal dialog from a template, with a message table and radio-group data exchange.
#pragma once

#include "platform/win32.h"
#include "ui/message_map.h"
#include "ui/wnd.h"

namespace ui {

class CDialogEx;

class CDataExchange {
 public:
  CDataExchange(CDialogEx& dialog, bool saveAndValidate)
      : dialog_(dialog), saveAndValidate_(saveAndValidate) {}
  CDialogEx& Dialog() const { return dialog_; }
  bool Saving() const { return saveAndValidate_; }

 private:
  CDialogEx& dialog_;
  bool saveAndValidate_;
};

// A radio group's value is the index of its checked button among the radio buttons from
// `firstId` up to the next control that starts a group; other controls in between are not
// counted. Saving with no button checked gives -1.
void DDX_Radio(CDataExchange* dx, int firstId, int& value);
// Binds a wrapper to the control with the given id.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialogEx : public CWnd {
 public:
  explicit CDialogEx(UINT templateId, HWND parent = nullptr)
      : templateId_(templateId), parent_(parent) {}
  virtual ~CDialogEx() = default;
  CDialogEx(const CDialogEx&) = delete;
  CDialogEx& operator=(const CDialogEx&) = delete;

  virtual const MessageMap* GetMessageMap() const;

  INT_PTR DoModal();
  // Nothing in the exchange can fail, so there is no result to give.
  void UpdateData(bool saveAndValidate);
  bool EndDialog(INT_PTR result) const { return ::EndDialog(m_hWnd, result) != FALSE; }
  void SetMsgHandled(bool handled) { msgHandled_ = handled; }

 protected:
  virtual void DoDataExchange(CDataExchange* dx);
  // Loads the members into the controls; returning true gives the focus to the first tab stop.
  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  // The window system's own painting and destruction handling.
  void OnPaint() { SetMsgHandled(false); }
  void OnDestroy() { SetMsgHandled(false); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handled(UINT message, LRESULT result);

  UINT templateId_;
  HWND parent_;
  bool msgHandled_ = true;
};

}  // namespace ui
