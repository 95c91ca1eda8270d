// CWinApp: the one application object, its name and instance, and the program's entry.
#pragma once

#include <string>

#include "platform/win32.h"
#include "ui/wnd.h"

// The framework's help command, sent by a help button or key that no window handled.
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

namespace ui {

class CWinApp;

// The application's command table: commands that no window's table handled come here.
struct AppCommandEntry {
  UINT id;
  void (*handler)(CWinApp& app);
  const char* name;
};
struct AppCommandMap {
  const AppCommandEntry* entries;
  size_t count;
};

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returning false ends the program without a message loop of the application's own.
  virtual bool InitInstance() { return true; }
  virtual int ExitInstance() { return 0; }

  virtual const AppCommandMap* GetCommandMap() const { return nullptr; }
  // Runs the table's handler of command `id`; false when the table has none.
  bool OnCmdMsg(UINT id);
  // The framework's help: the program ships no help file, so there is nothing to open.
  virtual void OnHelp() {}

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
  CWinApp* previous_ = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
const char* AfxGetAppName();

// The body of WinMain: names the application and runs its InitInstance.
int RunApplication(CWinApp& app, HINSTANCE instance);

}  // namespace ui
