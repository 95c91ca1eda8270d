// CQuillmateApp: the program's start.
#include "app/quillmate_app.h"

#include <iterator>

#include "app/one_instance.h"
#include "app/quillmate_dlg.h"

CQuillmateApp theApp;

const ui::AppCommandMap* CQuillmateApp::GetCommandMap() const {
  static const ui::AppCommandEntry entries[] = {
      {ID_HELP, [](ui::CWinApp& app) { app.OnHelp(); }, "CWinApp::OnHelp"},
  };
  static const ui::AppCommandMap map{entries, std::size(entries)};
  return &map;
}

bool CQuillmateApp::InitInstance() {
  // Before anything is started, unpacked or shown: a second start only brings the first forward.
  COneInstance instance;
  if (!instance.Claim()) return false;

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);

  CWinApp::InitInstance();
  SetRegistryKey("应用程序向导生成的本地应用程序");

  CQuillmateDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return false;
}
