// The install command, the wizard link and the cursor.
#include <cstdio>
#include <string>

#include "app/quillmate_dlg.h"
#include "install/system_program.h"
#include "package/staged_files.h"
#include "ui/handles.h"
#include "ui/win_app.h"

namespace {

const char* BaudText(int choice) {
  switch (choice) {
    case 1:
      return "19200";
    case 2:
      return "38400";
    case 3:
      return "115200";
    default:
      return "9600";
  }
}

void WriteSerialSettings(const char* portName, int baudChoice) {
  std::string settings = std::string(BaudText(baudChoice)) + ",n,8,1,p";
  ui::Key key;
  // The key is the system's: opened, never created.
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                      0, KEY_READ | KEY_WRITE, key.Receive()) != ERROR_SUCCESS)
    return;
  ::RegSetValueExA(key.Get(), portName, 0, REG_SZ, reinterpret_cast<const BYTE*>(settings.c_str()),
                   static_cast<DWORD>(settings.size() + 1));
}

// The wizard runs elevated and takes the INF, the catalogue and the two model files it names from
// the staging folder: it is handed only a folder whose files are still the program's own.
bool WizardFilesAreOurs(const char* directory, bool x64) {
  const char* folder = x64 ? "Windows x64" : "Windows NT x86";
  const char* const files[] = {x64 ? "KVDRVx64.INF" : "KVDRV.INF",
                               x64 ? "KVDRVx64.cat" : "KVDRV.cat", "KV80.DLL", "KV80C.GPD"};
  for (const char* file : files) {
    char path[MAX_PATH];
    int length = std::snprintf(path, sizeof path, "%s\\%s\\%s", directory, folder, file);
    if (static_cast<unsigned>(length) >= sizeof path || staged::Held(path) == nullptr) return false;
  }
  return true;
}

}  // namespace

void CQuillmateDlg::OnInstall() {
  installing = true;
  HWND install = GetDlgItem(IDOK), exit = GetDlgItem(IDCANCEL);
  ::EnableWindow(install, FALSE);
  ::EnableWindow(exit, FALSE);
  UpdateData(true);

  char portName[260] = {};
  int selected = portList.GetCurSel();
  bool listed = selected != LB_ERR &&
                portList.GetTextLen(selected) < static_cast<int>(sizeof portName) &&
                portList.GetText(selected, portName) != LB_ERR && portName[0] != '\0';
  bool proceed = true;
  if (connectionType == kNetwork) {
    BYTE field[4] = {};
    ipAddress.GetAddress(field[0], field[1], field[2], field[3]);
    // No printer has an address in 0.x.x.x or from 224 on (multicast and reserved).
    if (field[0] == 0 || field[0] >= 224) {
      bool chinese = ShowsChinese(installer.userLanguage);
      ::MessageBoxA(m_hWnd,
                    chinese ? "请输入打印机的有效 IP 地址 !"
                            : "Please enter the printer's valid IP address !",
                    ui::AfxGetAppName(), MB_OK);
      proceed = false;
    } else {
      std::string addressText = std::to_string(field[0]) + "." + std::to_string(field[1]) + "." +
                                std::to_string(field[2]) + "." + std::to_string(field[3]);
      installer.CreateNetworkPort(addressText.c_str());
      std::snprintf(portName, sizeof portName, "IP_[%s]", addressText.c_str());
    }
  } else if (!listed) {
    proceed = false;  // no port chosen: nothing to write and nothing to install on
  } else if (connectionType == kSerial) {
    // The port is added before its settings are written: the monitor records a port it adds
    // in the Ports key itself, with settings of its own (Wine's writes none), and one that
    // checks that key (Wine's does) refuses a name already written there.
    installer.AddUnlistedPort(portName);
    WriteSerialSettings(portName, baudChoice);
  }

  if (proceed && installer.InstallPrinter(setAsDefault, portName)) {
    if (connectionType == kUsb) {
      InstallMessages messages{};
      messages.Load(installer.userLanguage);
      ui::Bitmap logo(::LoadBitmapA(ui::AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDB_LOGO)));
      installer.PrintTestPage(installer.installedPrinterName, logo.Get(), messages.testPageText);
    }
    OnCancel();
  }
  installing = false;
  ::EnableWindow(install, TRUE);
  ::EnableWindow(exit, TRUE);
}

bool CQuillmateDlg::OnSetCursor(HWND window, UINT, UINT) {
  if (installing) {
    ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    return true;
  }
  if (window != nullptr && window == GetDlgItem(IDC_WIZARD_LINK)) {
    ::SetCursor(::LoadCursorA(nullptr, IDC_HAND));
    return true;
  }
  return false;
}

void CQuillmateDlg::OnWizardLinkClicked() {
  char directory[1024] = {};
  ::GetCurrentDirectoryA(sizeof directory, directory);
  SYSTEM_INFO system{};
  ::GetNativeSystemInfo(&system);
  const char* format = nullptr;
  if (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) {
    format = "printui.dll PrintUIEntry /ii /f \"%s\\Windows NT x86\\KVDRV.INF\"";
  } else if (system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) {
    format = "printui.dll PrintUIEntry /ii /f \"%s\\Windows x64\\KVDRVx64.INF\"";
  } else {
    return;
  }
  if (!WizardFilesAreOurs(directory,
                          system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)) {
    InstallMessages messages{};
    ::MessageBoxA(m_hWnd, messages.Load(installer.userLanguage).malfunction, ui::AfxGetAppName(),
                  MB_OK);
    return;
  }
  SystemProgram rundll32;
  if (!SystemProgramPath("rundll32.exe", rundll32)) return;
  char parameters[1024] = {};
  std::snprintf(parameters, sizeof parameters, format, directory);
  ::ShellExecuteA(m_hWnd, "open", rundll32.path, parameters, rundll32.directory, SW_SHOWNORMAL);
}
