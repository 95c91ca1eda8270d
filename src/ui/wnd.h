// Thin window and control wrappers over an HWND: one-line helpers, no state of their own.
#pragma once

#include "platform/win32.h"

namespace ui {

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND window) : m_hWnd(window) {}

  HWND GetSafeHwnd() const { return m_hWnd; }
  void Attach(HWND window) { m_hWnd = window; }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  // The system's answers as it gives them (ShowWindow: whether it was visible before).
  void SetWindowText(const char* text) const { ::SetWindowTextA(m_hWnd, text); }
  BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
  BOOL EnableWindow(bool enable) const { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

 protected:
  HWND m_hWnd = nullptr;
};

class CButton : public CWnd {};
class CStatic : public CWnd {};
class CEdit : public CWnd {};

class CListBox : public CWnd {
 public:
  int ResetContent() const { return static_cast<int>(SendMessage(LB_RESETCONTENT)); }
  int AddString(const char* text) const {
    return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  }
  int InsertString(int index, const char* text) const {
    return static_cast<int>(
        SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
  }
  int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
  int SetCurSel(int index) const {
    return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index)));
  }
  // The buffer must hold the entry and its NUL; the list has no way to be told the size.
  int GetText(int index, char* buffer) const {
    return static_cast<int>(
        SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
  }
  int GetTextLen(int index) const {
    return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index)));
  }
};

class CIPAddressCtrl : public CWnd {
 public:
  void SetAddress(DWORD address) const {
    SendMessage(IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
  }
  // Returns the number of fields that are not blank; blank fields read as 0.
  int GetAddress(BYTE& field0, BYTE& field1, BYTE& field2, BYTE& field3) const {
    DWORD address = 0;
    int filled =
        static_cast<int>(SendMessage(IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)));
    field0 = static_cast<BYTE>(address >> 24);
    field1 = static_cast<BYTE>(address >> 16);
    field2 = static_cast<BYTE>(address >> 8);
    field3 = static_cast<BYTE>(address);
    return filled;
  }
};

}  // namespace ui
