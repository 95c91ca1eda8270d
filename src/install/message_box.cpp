// The installer's message boxes.
#include "install/message_box.h"

#include <cstdio>

#include "ui/win_app.h"

void ShowInstallerMessage(const char* text) {
  ui::CWinApp* app = ui::AfxGetApp();
  HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
  ::MessageBoxA(owner, text, ui::AfxGetAppName(), MB_OK);
}

void ShowSystemErrorText(DWORD error) {
  char* text = nullptr;
  DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length != 0 && text != nullptr) {
    ShowInstallerMessage(text);
    ::LocalFree(text);
    return;
  }
  char fallback[64];
  std::snprintf(fallback, sizeof fallback, "Error %u (0x%X)", static_cast<unsigned>(error),
                static_cast<unsigned>(error));
  ShowInstallerMessage(fallback);
}
