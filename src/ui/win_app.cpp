// CWinApp: the single application object and the program's start.
#include "ui/win_app.h"

#include <algorithm>
#include <cstring>

namespace ui {
namespace {
CWinApp* theApplication = nullptr;
}

// There is one application; one made for a while (a test's) hands the place back when it goes.
CWinApp::CWinApp() : previous_(theApplication) {
  theApplication = this;
}

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = previous_;
}

void CWinApp::TakeNameFromModule() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(m_hInstance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) path[0] = '\0';
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  std::strncpy(appName_, name, MAX_PATH - 1);
  if (char* dot = std::strrchr(appName_, '.')) *dot = '\0';
}

bool CWinApp::OnCmdMsg(UINT id) {
  const AppCommandMap* map = GetCommandMap();
  if (map == nullptr) return false;
  const AppCommandEntry* end = map->entries + map->count;
  const AppCommandEntry* entry =
      std::find_if(map->entries, end, [id](const AppCommandEntry& e) { return e.id == id; });
  if (entry == end) return false;
  entry->handler(*this);
  return true;
}

CWinApp* AfxGetApp() {
  return theApplication;
}

HINSTANCE AfxGetInstanceHandle() {
  if (theApplication && theApplication->m_hInstance) return theApplication->m_hInstance;
  return ::GetModuleHandleA(nullptr);
}

const char* AfxGetAppName() {
  return theApplication ? theApplication->m_pszAppName : "";
}

int RunApplication(CWinApp& app, HINSTANCE instance) {
  app.m_hInstance = instance;
  app.TakeNameFromModule();
  // The program runs its modal dialog inside InitInstance; there is no message loop after it.
  app.InitInstance();
  return app.ExitInstance();
}

}  // namespace ui
