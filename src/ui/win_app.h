// CWinApp: the one application object, its name and instance, and the program's entry.
#pragma once

#include <string>

#include "platform/win32.h"
#include "ui/wnd.h"

namespace ui {

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returning false ends the program without a message loop of the application's own.
  virtual bool InitInstance() { return true; }
  virtual int ExitInstance() { return 0; }

  // The key under which the framework would keep settings; this program stores none there.
  void SetRegistryKey(const char* key) { registryKey_ = key; }
  HICON LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }
  const std::string& RegistryKey() const { return registryKey_; }

  HINSTANCE m_hInstance = nullptr;
  // The executable's file name without its extension: the caption of every message box.
  const char* m_pszAppName = appName_;
  CWnd* m_pMainWnd = nullptr;

 private:
  friend int RunApplication(CWinApp& app, HINSTANCE instance);
  void TakeNameFromModule();

  char appName_[MAX_PATH] = {};
  std::string registryKey_;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
const char* AfxGetAppName();

// The body of WinMain: names the application and runs its InitInstance.
int RunApplication(CWinApp& app, HINSTANCE instance);

}  // namespace ui
