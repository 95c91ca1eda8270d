// CDialogEx: the dialog procedure, message-table dispatch and radio-group data exchange.
#include "ui/dialog.h"

#include "ui/win_app.h"

namespace ui {
namespace {

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam, LPARAM lParam) {
  // No entry handles WM_NULL: 0 is the message that could not be registered.
  if (entry.message != message || message == 0) return false;
  if (message == WM_COMMAND) return HIWORD(wParam) == entry.code && LOWORD(wParam) == entry.id;
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    return header && header->code == entry.code && header->idFrom == entry.id;
  }
  return true;
}

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
  return message == WM_INITDIALOG || message == WM_QUERYDRAGICON;
}

bool IsRadioButton(HWND window) {
  return (::SendMessageA(window, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

}  // namespace

void DDX_Radio(CDataExchange* dx, int firstId, int& value) {
  HWND window = dx->Dialog().GetDlgItem(firstId);
  if (window == nullptr) return;
  if (dx->Saving()) value = -1;
  int index = 0;
  do {
    if (IsRadioButton(window)) {
      if (dx->Saving()) {
        if (::SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
      } else {
        ::SendMessageA(window, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      ++index;
    }
    window = ::GetWindow(window, GW_HWNDNEXT);
  } while (window != nullptr && !(::GetWindowLongA(window, GWL_STYLE) & WS_GROUP));
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.GetSafeHwnd() == nullptr) control.Attach(dx->Dialog().GetDlgItem(id));
}

const MessageMap* CDialogEx::GetMessageMap() const {
  static const MessageMap empty{nullptr, 0};
  return &empty;
}

INT_PTR CDialogEx::DoModal() {
  return ::DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(templateId_), parent_,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogEx::UpdateData(bool saveAndValidate) {
  CDataExchange dx(*this, saveAndValidate);
  DoDataExchange(&dx);
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

bool CDialogEx::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialogEx::OnOK() {
  UpdateData(true);
  EndDialog(IDOK);
}

void CDialogEx::OnCancel() {
  EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialogEx* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialogEx*>(lParam);
    self->m_hWnd = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG
  INT_PTR result = self->Dispatch(message, wParam, lParam);
  // The last message: the window is gone, and the object no longer stands for it.
  if (message == WM_NCDESTROY) self->m_hWnd = nullptr;
  return result;
}

INT_PTR CDialogEx::Handled(UINT message, LRESULT result) {
  if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CDialogEx::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  const MessageMap* map = GetMessageMap();
  for (size_t i = 0; i < map->count; ++i) {
    const MessageMapEntry& entry = map->entries[i];
    if (!Matches(entry, message, wParam, lParam)) continue;
    msgHandled_ = true;
    LRESULT result = entry.thunk(*this, wParam, lParam);
    if (msgHandled_) return Handled(message, result);
    return FALSE;  // the handler asked for the default handling
  }
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      if (LOWORD(wParam) == IDOK) {
        OnOK();
        return Handled(message, 0);
      }
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return Handled(message, 0);
      }
      break;
  }
  // A command no table of the dialog's took goes on to the application's.
  if (message == WM_COMMAND && AfxGetApp() && AfxGetApp()->OnCmdMsg(LOWORD(wParam)))
    return Handled(message, 0);
  return FALSE;
}

}  // namespace ui
