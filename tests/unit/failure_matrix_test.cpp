// Every platform call the program makes, made to fail in turn: what the user sees, what the
// installation gives, and that nothing outside the program's own folders is lost.
#include <algorithm>
#include <map>
#include <set>
#include <strings.h>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "resources/resource.h"
#include "platform/sim/state.h"
#include "text_helpers.h"
#include "zip_builder.h"

namespace {

enum class Scenario { Usb, Serial, Network };

const std::string kSerialSettings = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const std::string kTcpPorts =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
const std::string kUsb = "\\\\?\\usb#vid_0416&pid_5011#a#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kSuccess[] = "The printer driver has been successfully installed";

struct Row {
  const char* function;
  Scenario scenario;
  bool installed;       // a queue exists afterwards
  const char* message;  // a text some message box must show; "" for none required
  bool quiet = false;   // no message box at all
};

// clang-format off
const Row kRows[] = {
  // start-up and the window; a mutex that cannot be made says nothing of another Quillmate
  {"CreateMutexA", Scenario::Usb, true, kSuccess},
  {"ReleaseMutex", Scenario::Usb, true, kSuccess},
  // registered once a process, by the first run of the matrix
  {"RegisterWindowMessageA", Scenario::Usb, true, kSuccess},
  {"InitCommonControlsEx", Scenario::Usb, false, "", true},
  {"DialogBoxParamA", Scenario::Usb, false, "", true},
  {"LoadIconA", Scenario::Usb, true, kSuccess},
  {"GetModuleHandleA", Scenario::Usb, true, kSuccess},
  // kernel32's and ntdll's calls on files by handle not found: the clean-up leaves the files
  {"GetProcAddress", Scenario::Usb, true, kSuccess},
  {"GetModuleFileNameA", Scenario::Usb, true, kSuccess},
  {"ShellExecuteA", Scenario::Usb, true, kSuccess},
  {"SetWindowTextA", Scenario::Usb, true, kSuccess},
  {"ShowWindow", Scenario::Usb, true, kSuccess},
  {"EnableWindow", Scenario::Usb, true, kSuccess},
  {"SendMessageA", Scenario::Usb, false, "", true},
  {"RegisterDeviceNotificationA", Scenario::Usb, true, kSuccess},
  {"EndDialog", Scenario::Usb, true, kSuccess},
  {"MessageBoxA", Scenario::Usb, true, ""},
  {"BeginPaint", Scenario::Usb, true, kSuccess},
  {"EndPaint", Scenario::Usb, true, kSuccess},
  {"GetClientRect", Scenario::Usb, true, kSuccess},
  {"DrawIcon", Scenario::Usb, true, kSuccess},
  {"LoadCursorA", Scenario::Usb, true, kSuccess},
  // room for clipped captions: the layout just stays as the template made it
  {"GetDC", Scenario::Usb, true, kSuccess},
  {"ReleaseDC", Scenario::Usb, true, kSuccess},
  {"GetWindowRect", Scenario::Usb, true, kSuccess},
  {"MapWindowPoints", Scenario::Usb, true, kSuccess},
  {"SetWindowPos", Scenario::Usb, true, kSuccess},
  {"GetWindowTextA", Scenario::Usb, true, kSuccess},
  // no work area known: the dialog keeps the template's width
  {"MonitorFromWindow", Scenario::Usb, true, kSuccess},
  {"GetMonitorInfoA", Scenario::Usb, true, kSuccess},
  {"RedrawWindow", Scenario::Usb, true, kSuccess},
  // the package and the staging folder
  {"GetTempPathW", Scenario::Usb, false, "Malfunction !"},
  // the temporary folder is there: nothing to make again
  {"CreateDirectoryW", Scenario::Usb, true, kSuccess},
  {"CreateDirectoryA", Scenario::Usb, false, "Malfunction !"},
  {"SetCurrentDirectoryA", Scenario::Usb, false, "Malfunction !"},
  // without it no staged file can be told for the program's own
  {"GetCurrentDirectoryA", Scenario::Usb, false, "Malfunction !"},
  {"FindResourceA", Scenario::Usb, false, "Malfunction !"},
  {"LoadResource", Scenario::Usb, false, "Malfunction !"},
  {"LockResource", Scenario::Usb, false, "Malfunction !"},
  {"SizeofResource", Scenario::Usb, false, "Malfunction !"},
  // a name whose object cannot be told is not written through: nothing is unpacked
  {"GetFileAttributesA", Scenario::Usb, false, "Malfunction !"},
  {"CreateFileA", Scenario::Usb, false, "Malfunction !"},
  {"WriteFile", Scenario::Usb, false, "Malfunction !"},
  {"ReadFile", Scenario::Usb, false, "Malfunction !"},
  {"SetFileTime", Scenario::Usb, true, kSuccess},
  // a writing handle left open keeps the written file from being read back as the program's
  {"CloseHandle", Scenario::Usb, false, "Malfunction !"},
  {"SystemTimeToFileTime", Scenario::Usb, true, kSuccess},
  {"LocalFileTimeToFileTime", Scenario::Usb, true, kSuccess},
  // folders held and checked from their handles: none can be trusted, so nothing is unpacked
  {"GetFileInformationByHandle", Scenario::Usb, false, "Malfunction !"},
  // the clean-up: what cannot be listed or deleted stays
  {"GetFileInformationByHandleEx", Scenario::Usb, true, kSuccess},
  // the temporary folder's path cannot be spelled for the 8-bit calls: no staging folder
  {"WideCharToMultiByte", Scenario::Usb, false, "Malfunction !"},
  {"MultiByteToWideChar", Scenario::Usb, false, "Malfunction !"},
  {"SetFileInformationByHandle", Scenario::Usb, true, kSuccess},
  {"DeleteFileA", Scenario::Usb, true, kSuccess},
  // USB discovery
  {"SetupDiGetClassDevsA", Scenario::Usb, false, "", true},
  {"SetupDiEnumDeviceInterfaces", Scenario::Usb, false, "", true},
  {"SetupDiGetDeviceInterfaceDetailA", Scenario::Usb, false, "", true},
  {"SetupDiDestroyDeviceInfoList", Scenario::Usb, true, kSuccess},
  {"RegOpenKeyExA", Scenario::Usb, false, "", true},
  {"RegQueryValueExA", Scenario::Usb, false, "", true},
  {"RegCloseKey", Scenario::Usb, true, kSuccess},
  // the installation
  {"GetVersionExA", Scenario::Usb, false, "", true},
  {"GetPrinterDriverDirectoryA", Scenario::Usb, false, "Malfunction !"},
  {"CopyFileA", Scenario::Usb, false, "Malfunction !"},
  {"AddPrinterDriverA", Scenario::Usb, false, "Install printer driver failed !"},
  {"FormatMessageA", Scenario::Usb, true, kSuccess},
  {"LocalFree", Scenario::Usb, true, kSuccess},
  {"EnumPrintersA", Scenario::Usb, true, kSuccess},
  {"AddPrinterA", Scenario::Usb, false, "Install Failed !"},
  {"ClosePrinter", Scenario::Usb, true, kSuccess},
  {"SetDefaultPrinterA", Scenario::Usb, true, kSuccess},
  {"SetCursor", Scenario::Usb, true, kSuccess},
  // the test page
  {"LoadBitmapA", Scenario::Usb, true, kSuccess},
  {"DeleteObject", Scenario::Usb, true, kSuccess},
  {"GetObjectA", Scenario::Usb, true, kSuccess},
  {"CreateCompatibleDC", Scenario::Usb, true, kSuccess},
  {"SelectObject", Scenario::Usb, true, kSuccess},
  {"CreateDCA", Scenario::Usb, true, kSuccess},
  {"StartDocA", Scenario::Usb, true, kSuccess},
  {"StartPage", Scenario::Usb, true, kSuccess},
  {"DrawTextA", Scenario::Usb, true, kSuccess},
  {"BitBlt", Scenario::Usb, true, kSuccess},
  {"TextOutA", Scenario::Usb, true, kSuccess},
  {"EndPage", Scenario::Usb, true, kSuccess},
  {"EndDoc", Scenario::Usb, true, kSuccess},
  {"DeleteDC", Scenario::Usb, true, kSuccess},
  // serial and network ports
  {"RegEnumValueA", Scenario::Serial, false, "", true},
  {"RegSetValueExA", Scenario::Serial, true, kSuccess},
  // a serial port the spooler does not know yet stays unknown: the queue is refused for it
  {"EnumPortsA", Scenario::Serial, false, "The specified port is unknown."},
  {"OpenPrinterA", Scenario::Serial, false, "The specified port is unknown."},
  {"XcvDataW", Scenario::Serial, false, "The specified port is unknown."},
  {"RegOpenKeyExA", Scenario::Network, false, "Install Failed !"},
  {"RegCreateKeyExA", Scenario::Network, false, "Install Failed !"},
  {"RegSetValueExA", Scenario::Network, true, kSuccess},
  {"ShellExecuteExA", Scenario::Network, false, "Install Failed !"},
  // no trusted net: the spooler is not restarted and does not know the new port
  {"GetSystemDirectoryA", Scenario::Network, false, "Install Failed !"},
  // without the wait the start comes while the stop is pending and is refused: no spooler
  {"WaitForSingleObject", Scenario::Network, false, "Malfunction !"},
};
// clang-format on

// Calls that have no failure: they return nothing, or only a value that is always there.
const std::set<std::string> kCannotFail = {
    "GetUserDefaultUILanguage", "GetNativeSystemInfo", "GetLocalTime",   "Sleep",
    "OutputDebugStringA",       "GetSystemMetrics",    "ConfigurePortA", "lstrcmpiA"};

class FailureMatrix : public SimTest {
 protected:
  static std::string Package() {
    std::vector<ZipMember> members;
    for (const char* folder : {"Windows x64", "Windows NT x86"}) {
      members.push_back({std::string(folder) + "/", "", false, 0x10});
      for (const char* file : kDriverFiles)
        members.push_back({std::string(folder) + "/" + file, file});
    }
    return MakeZip(members);
  }

  void Prepare(Scenario scenario) {
    static const std::string package = Package();
    sim::SetResource("ZIP", IDR_PACKAGE_EN, package);
    sim::PutFile("C:\\Users\\user\\Documents\\letter.txt", "the user's own");
    sim::PutFile("C:\\Users\\user\\AppData\\Local\\Temp\\other.tmp", "another program's");
    sim::PutFile("C:\\Windows\\system32\\spool\\drivers\\x64\\3\\OTHER.DLL", "another driver");
    sim::PutRegistryValue(kSerialSettings, "COM2:", REG_SZ, std::string("9600,n,8,1,p\0", 13));
    sim::PutRegistryDword(kTcpPorts, "StatusUpdateInterval", 10);
    // The serial installation is on a port the running spooler does not know yet.
    sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                          std::string(scenario == Scenario::Serial ? "COM7\0" : "COM1\0", 5));
    if (scenario == Scenario::Usb) {
      sim::UsbPrinterInterfaces().push_back({kUsb, SPINT_ACTIVE, true});
      sim::PutRegistryDword(sim::InterfaceParametersKey(kUsb), "Port Number", 1);
      sim::Spooler().ports.push_back("USB001");
    }
  }

  void Play(Scenario scenario) {
    sim::SetModalDriver([scenario](HWND d) {
      sim::Minimize(d);
      sim::SetClientSize(d, 33, 40);
      sim::Paint(d);
      sim::MoveMouseOver(d, GetDlgItem(d, IDC_WIZARD_LINK));
      sim::Click(GetDlgItem(d, IDC_DEFAULT_YES));
      if (scenario == Scenario::Serial) sim::Click(GetDlgItem(d, IDC_SERIAL));
      if (scenario == Scenario::Network) {
        sim::Click(GetDlgItem(d, IDC_NETWORK));
        HWND ip = GetDlgItem(d, IDC_IP_ADDRESS);
        int fields[] = {10, 0, 0, 7};
        for (int i = 0; i < 4; ++i) sim::TypeIpField(ip, i, fields[i]);
      }
      sim::Click(GetDlgItem(d, IDOK));
      if (IsWindow(d) && IsWindowVisible(d)) sim::PressKey(d, VK_ESCAPE);
    });
    ui::RunApplication(theApp, sim::detail::ModuleHandle());
  }

  static bool Allowed(const std::string& path) {
    auto under = [&](const std::string& folder) {
      return path.size() >= folder.size() &&
             strncasecmp(path.c_str(), folder.c_str(), folder.size()) == 0;
    };
    return under(kStagingFolder) || under(sim::DriverDirectory("Windows x64") + "\\KV") ||
           under(sim::DriverDirectory("Windows x64") + "\\UNI") ||
           under(sim::DriverDirectory("Windows x64") + "\\TTF") ||
           under(sim::DriverDirectory("Windows x64") + "\\STD");
  }
};

std::string Name(Scenario s) {
  return s == Scenario::Usb ? "usb" : s == Scenario::Serial ? "serial" : "network";
}

TEST_F(FailureMatrix, EveryCallFailsInTurnAndNothingIsLost) {
  // The calls each scenario makes when nothing fails; each must have its row.
  std::map<Scenario, std::set<std::string>> made;
  for (Scenario scenario : {Scenario::Usb, Scenario::Serial, Scenario::Network}) {
    sim::Reset();
    Prepare(scenario);
    Play(scenario);
    ASSERT_FALSE(sim::Spooler().printers.empty()) << Name(scenario) << " must install cleanly";
    for (const auto& call : sim::Calls()) made[scenario].insert(call.function);
  }
  std::set<std::string> covered;
  for (const Row& row : kRows) covered.insert(row.function);
  for (const auto& [scenario, functions] : made)
    for (const auto& function : functions)
      EXPECT_TRUE(covered.count(function) || kCannotFail.count(function))
          << function << " is called but has no row in the matrix";

  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.function) + " failing, " + Name(row.scenario));
    sim::Reset();
    Prepare(row.scenario);
    std::vector<std::string> before;
    for (const auto& path : sim::Tree())
      if (!Allowed(path)) before.push_back(path);
    sim::FailCall(row.function, ERROR_ACCESS_DENIED, 0, -1);
    Play(row.scenario);

    bool installed = !sim::Spooler().printers.empty();
    EXPECT_EQ(installed, row.installed);
    std::vector<std::string> texts;
    for (const auto& box : sim::MessageBoxes()) texts.push_back(box.text);
    bool successShown = std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
      return t.find(kSuccess) != std::string::npos;
    });
    EXPECT_FALSE(successShown && !installed) << "a success reported after a failure";
    if (*row.message) {
      EXPECT_TRUE(std::any_of(
          texts.begin(), texts.end(),
          [&](const std::string& t) { return t.find(row.message) != std::string::npos; }))
          << "expected a message with: " << row.message;
    }
    if (row.quiet) {
      EXPECT_TRUE(texts.empty()) << texts.front();
    }

    // Nothing that was there before, outside the staging folder and our driver copies, is gone.
    auto after = sim::Tree();
    for (const auto& path : before)
      EXPECT_TRUE(std::binary_search(after.begin(), after.end(), path)) << path << " was lost";
    for (const auto& value : sim::RegistryValues(kSerialSettings)) {
      EXPECT_FALSE(value.name.empty()) << "a Ports value without a name";
      EXPECT_TRUE(value.name == "COM7:" || value.name == "COM2:") << value.name;
    }
    for (const auto& key : sim::RegistrySubkeys(kTcpPorts)) EXPECT_EQ(key, "IP_[10.0.0.7]");
    std::string last = texts.empty() ? "" : texts.back().substr(0, 40);
    std::replace(last.begin(), last.end(), '\n', ' ');
    std::printf("  %-34s %-8s -> %s%s\n", row.function, Name(row.scenario).c_str(),
                installed ? "installed" : "not installed",
                texts.empty() ? ", no message" : (", last message: " + last).c_str());
  }
}

}  // namespace
