// The install command driven through the dialog's controls, the cursor and the wizard link.
#include <algorithm>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "text_helpers.h"

namespace {

const std::string kSerialSettings = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const std::string kUsb = "\\\\?\\usb#vid_0416&pid_5011#a#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

class InstallCommand : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    // What the package would hold; the dialog's own clean-up empties it again.
    for (const char* folder : {"Windows NT x86", "Windows x64"})
      for (const char* file : kDriverFiles)
        sim::PutFile(kStagingFolder + "\\" + folder + "\\" + file, file);
    sim::PutRegistryValue(kSerialSettings, "COM2:", REG_SZ, std::string("9600,n,8,1,p\0", 13));
    sim::PutRegistryDword(
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports",
        "StatusUpdateInterval", 10);
    sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                          std::string("COM1\0", 5));
    sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", "\\Device\\Parallel0", REG_SZ,
                          std::string("\\DosDevices\\LPT1\0", 17));
  }
  // Runs the program; `user` acts, and the run must have ended by itself when `closes`.
  void Run(const std::function<void(HWND)>& user, bool closes) {
    closedByInstall_ = false;
    sim::SetModalDriver([&](HWND dialog) {
      user(dialog);
      closedByInstall_ = !IsWindowVisible(dialog);
      if (!closedByInstall_) sim::PressKey(dialog, VK_ESCAPE);
    });
    ui::RunApplication(theApp, GetModuleHandleA(nullptr));
    EXPECT_EQ(closedByInstall_, closes);
  }
  static void Choose(HWND d, int id) { ASSERT_TRUE(sim::Click(GetDlgItem(d, id))); }
  static void Install(HWND d) { ASSERT_TRUE(sim::Click(GetDlgItem(d, IDOK))); }
  static void TypeAddress(HWND d, int a, int b, int c, int e) {
    HWND ip = GetDlgItem(d, IDC_IP_ADDRESS);
    int fields[] = {a, b, c, e};
    for (int i = 0; i < 4; ++i) sim::TypeIpField(ip, i, fields[i]);
  }
  static std::string Setting(const std::string& port) {
    for (const auto& v : sim::RegistryValues(kSerialSettings))
      if (v.name == port) return v.data;
    return "<none>";
  }
  bool closedByInstall_ = false;
};

TEST_F(InstallCommand, SerialWritesThePortSettingsForTheChosenBaudRate) {
  const std::pair<int, const char*> kRates[] = {{0, "9600"},
                                                {IDC_BAUD_19200, "19200"},
                                                {IDC_BAUD_38400, "38400"},
                                                {IDC_BAUD_115200, "115200"}};
  for (const auto& [button, rate] : kRates) {
    SCOPED_TRACE(rate);
    sim::Reset();
    SetUp();
    Run(
        [button = button](HWND d) {
          Choose(d, IDC_SERIAL);
          if (button != 0) Choose(d, button);  // 9600 is the one checked at the start
          Install(d);
        },
        true);
    EXPECT_EQ(Setting("COM1:"), std::string(rate) + ",n,8,1,p" + std::string(1, '\0'));
    EXPECT_EQ(sim::Spooler().printers.at(0).port, "COM1:");
    EXPECT_TRUE(sim::PrintJobs().empty()) << "no test page for serial";
    // A port the spooler lists is left to it.
    EXPECT_EQ(sim::CountOf("EnumPortsA"), 2);
    EXPECT_EQ(sim::CountOf("OpenPrinterA") + sim::CountOf("XcvDataW"), 0);
  }
}

// A USB-to-serial adapter's COM7, new since the spooler started: a Ports value alone would not
// tell the running spooler, so the Local Port monitor adds the port, and its settings follow.
TEST_F(InstallCommand, ASerialPortTheSpoolerDoesNotListIsAddedThroughTheLocalPortMonitor) {
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM7\0", 5));
  Run(
      [](HWND d) {
        Choose(d, IDC_SERIAL);
        Choose(d, IDC_BAUD_38400);
        sim::ClearCalls();
        Install(d);
      },
      true);
  std::vector<std::string> expected = {"EnumPortsA(null, 1, 0)",
                                       "EnumPortsA(null, 1, 112)",
                                       "OpenPrinterA(\",XcvMonitor Local Port\", null, null, 1)",
                                       "XcvDataW(\"AddPort\", \"COM7:\", 12, null, 0, set, set)",
                                       "ClosePrinter()",
                                       "RegSetValueExA(\"COM7:\", 1, 14, \"38400,n,8,1,p\")",
                                       "AddPrinterA",
                                       "ClosePrinter()"};
  auto log = CallLog(
      {"EnumPortsA", "OpenPrinterA", "XcvDataW", "ClosePrinter", "RegSetValueExA", "AddPrinterA"});
  for (auto& call : log)
    if (call.rfind("AddPrinterA(", 0) == 0) call = "AddPrinterA";
  EXPECT_EQ(log, expected);
  EXPECT_EQ(sim::Spooler().printers.at(0).port, "COM7:");
  EXPECT_EQ(Setting("COM7:"), std::string("38400,n,8,1,p\0", 14));
  EXPECT_TRUE(sim::Spooler().openPrinters.empty());
  // The monitor keeps the port in the Ports key: the spooler knows it after its next start too.
  sim::RestartMachine();
  auto& ports = sim::Spooler().ports;
  EXPECT_EQ(std::count(ports.begin(), ports.end(), "COM7:"), 1);
}

// A monitor that cannot be reached is traced, and the refusal comes from AddPrinterA.
TEST_F(InstallCommand, AnUnreachableMonitorIsTraced) {
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM7\0", 5));
  sim::FailCall("XcvDataW", ERROR_ACCESS_DENIED);
  Run(
      [](HWND d) {
        Choose(d, IDC_SERIAL);
        Install(d);
      },
      false);
  auto traces = sim::DebugOutput();
  EXPECT_NE(std::find(traces.begin(), traces.end(), "port COM7: not added: XcvDataW answered 5"),
            traces.end());
  EXPECT_TRUE(sim::Spooler().printers.empty());
}

// A spooler that lists no port at all answers the size query with success: still no reason
// not to add the port.
TEST_F(InstallCommand, AnEmptyPortListIsNoObstacle) {
  sim::Spooler().ports.clear();
  Run(
      [](HWND d) {
        Choose(d, IDC_SERIAL);
        Install(d);
      },
      true);
  EXPECT_EQ(sim::CountOf("XcvDataW"), 1);
  EXPECT_EQ(sim::Spooler().printers.at(0).port, "COM1:");
}

// COM7: written into the Ports key by an earlier run, the spooler not restarted since: a monitor
// that looks in the key refuses the port as existing, and the user learns that it is unknown.
TEST_F(InstallCommand, APortTheMonitorRefusesEndsInTheUnknownPortMessage) {
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM7\0", 5));
  sim::PutRegistryValue(kSerialSettings, "COM7:", REG_SZ, std::string("9600,n,8,1,p\0", 13));
  Run(
      [](HWND d) {
        Choose(d, IDC_SERIAL);
        Install(d);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
      },
      false);
  std::vector<std::string> texts;
  for (const auto& box : sim::MessageBoxes()) texts.push_back(box.text);
  EXPECT_EQ(texts,
            (std::vector<std::string>{"The specified port is unknown.\r\n", "Install Failed !"}));
  auto traces = sim::DebugOutput();
  EXPECT_NE(std::find(traces.begin(), traces.end(),
                      "port COM7: not added: the Local Port monitor answered 183"),
            traces.end());
  EXPECT_TRUE(sim::Spooler().printers.empty());
  EXPECT_TRUE(sim::Spooler().openPrinters.empty());
}

TEST_F(InstallCommand, TheSettingsKeyIsNeverCreated) {
  // Without the Ports key nothing is written, and the installation goes on.
  sim::Reset();
  for (const char* folder : {"Windows NT x86", "Windows x64"})
    for (const char* file : kDriverFiles)
      sim::PutFile(kStagingFolder + "\\" + folder + "\\" + file, file);
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM1\0", 5));
  Run(
      [](HWND d) {
        Choose(d, IDC_SERIAL);
        Install(d);
      },
      true);
  EXPECT_FALSE(sim::RegistryKeyExists(kSerialSettings));
  EXPECT_EQ(sim::CountOf("RegCreateKeyExA"), 0);
}

TEST_F(InstallCommand, NetworkCreatesAndUsesThePortAndPrintsNothing) {
  Run(
      [](HWND d) {
        Choose(d, IDC_NETWORK);
        TypeAddress(d, 172, 16, 31, 200);
        Install(d);
      },
      true);
  EXPECT_EQ(sim::RegistryValues("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard "
                                "TCP/IP Port\\Ports\\IP_[172.16.31.200]")
                .at(0)
                .data,
            std::string("172.16.31.200\0", 14));
  ASSERT_EQ(sim::Spooler().printers.size(), 1u);
  EXPECT_EQ(sim::Spooler().printers[0].port, "IP_[172.16.31.200]");
  EXPECT_TRUE(sim::PrintJobs().empty());
}

TEST_F(InstallCommand, UsbSuccessPrintsTheTestPageOnTheUniqueNameAndCloses) {
  // The page's body in the user's language, with the logo over it; Chinese only where the
  // 8-bit calls read GBK.
  for (auto [language, codePage] :
       {std::pair<LANGID, UINT>{1033, 1252}, {2052, 936}, {2052, 1252}, {2052, 65001}}) {
    SCOPED_TRACE(std::to_string(language) + " on " + std::to_string(codePage));
    sim::Reset();
    SetUp();
    sim::System().uiLanguage = language;
    sim::System().ansiCodePage = codePage;
    bool chinese = codePage == 936;
    sim::PlugUsbPrinter(kUsb, 1);
    sim::Spooler().ports.push_back("USB001");
    AddExistingPrinter("KV-80C");
    Run([](HWND d) { Install(d); }, true);
    std::string name = chinese ? Gbk("KV-80C (副本 1)") : "KV-80C (copy 1)";
    EXPECT_EQ(sim::CountOf("SetDefaultPrinterA"), 0) << "the first answer, No, is kept";
    ASSERT_EQ(sim::PrintJobs().size(), 1u);
    EXPECT_EQ(sim::PrintJobs()[0].queue, name);
    EXPECT_EQ(sim::PrintJobs()[0].documentName, name);
    sim::System().ansiCodePage = 936;
    InstallMessages messages{};
    std::string body = messages.Load(chinese ? 2052 : 1033).testPageText;
    sim::System().ansiCodePage = codePage;
    auto draws = sim::CallsOf("DrawTextA");
    EXPECT_EQ(
        std::count_if(draws.begin(), draws.end(),
                      [&](const std::string& d) { return d.rfind("\"" + body + "\"", 0) == 0; }),
        1);
    EXPECT_EQ(sim::CallsOf("BitBlt"), std::vector<std::string>{"30, 20, 308, 87, 0, 0, 13369376"})
        << "the program's logo, at its size";
    EXPECT_EQ(sim::LiveGdiObjects(), 0) << "the logo is deleted after the page";
    EXPECT_EQ(sim::OpenDeviceContexts(), 0);
    auto order = sim::CallSequence({"MessageBoxA", "StartDocA", "EndDialog"});
    EXPECT_EQ(order, (std::vector<std::string>{"MessageBoxA", "StartDocA", "EndDialog"}));
  }
}

TEST_F(InstallCommand, ParallelClosesWithoutATestPageAndYesSetsTheDefault) {
  Run(
      [](HWND d) {
        Choose(d, IDC_DEFAULT_YES);
        Choose(d, IDC_PARALLEL);
        Install(d);
      },
      true);
  EXPECT_TRUE(sim::PrintJobs().empty());
  EXPECT_EQ(sim::Spooler().printers.at(0).port, "LPT1:");
  EXPECT_EQ(sim::Spooler().defaultPrinter, "KV-80C");
}

TEST_F(InstallCommand, AFailedInstallationLeavesTheDialogOpenForAnotherTry) {
  Run(
      [](HWND d) {
        sim::FailCall("CopyFileA", ERROR_DISK_FULL, 2);
        Choose(d, IDC_PARALLEL);
        Install(d);
        EXPECT_TRUE(IsWindowVisible(d));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDCANCEL)));
        EXPECT_EQ(sim::Inspect(GetDlgItem(d, IDC_PARALLEL)).check, BST_CHECKED);
        EXPECT_EQ(sim::Inspect(GetDlgItem(d, IDC_PORT_LIST)).listSelection, 1);
        Install(d);
      },
      true);
  EXPECT_EQ(sim::Spooler().printers.size(), 1u);
}

TEST_F(InstallCommand, ButtonsAreDisabledAndTheCursorWaitsWhileInstalling) {
  bool sawWait = false, buttonsDisabled = false, closeRefused = false;
  Run(
      [&](HWND d) {
        // Before any installation: the hand over the link, the arrow elsewhere (the system's,
        // so the dialog answers that it set none).
        EXPECT_EQ(sim::MoveMouseOver(d, GetDlgItem(d, IDC_WIZARD_LINK)), TRUE);
        EXPECT_EQ(sim::CurrentCursor(), sim::StandardCursor(IDC_HAND));
        EXPECT_EQ(sim::MoveMouseOver(d, d), FALSE);
        EXPECT_EQ(sim::CurrentCursor(), sim::StandardCursor(IDC_ARROW));
        sim::SetMessageBoxAnswer([&](const sim::MessageBoxRecord&) {
          sim::MoveMouseOver(d, GetDlgItem(d, IDC_WIZARD_LINK));
          sawWait = sim::CurrentCursor() == sim::StandardCursor(IDC_WAIT);
          buttonsDisabled =
              !IsWindowEnabled(GetDlgItem(d, IDOK)) && !IsWindowEnabled(GetDlgItem(d, IDCANCEL));
          EnableWindow(d, TRUE);  // as if the box were gone: Esc must still be refused
          closeRefused = !sim::PressKey(d, VK_ESCAPE);
          EnableWindow(d, FALSE);
          return IDOK;
        });
        Choose(d, IDC_PARALLEL);
        sim::FailCall("CopyFileA", ERROR_DISK_FULL, 2);
        Install(d);
        sim::MoveMouseOver(d, GetDlgItem(d, IDC_WIZARD_LINK));
        EXPECT_EQ(sim::CurrentCursor(), sim::StandardCursor(IDC_HAND));
        sim::MoveMouseOver(d, GetDlgItem(d, IDOK));
        EXPECT_EQ(sim::CurrentCursor(), sim::StandardCursor(IDC_ARROW));
        sim::MoveMouseOver(d, d);
        EXPECT_EQ(sim::CurrentCursor(), sim::StandardCursor(IDC_ARROW));
      },
      false);
  EXPECT_TRUE(sawWait);
  EXPECT_TRUE(buttonsDisabled);
  EXPECT_TRUE(closeRefused);
}

// The wizard is the system's rundll32, started by its full path: one planted beside the exe or
// in the staging folder (the current directory once the dialog is open) never runs.
TEST_F(InstallCommand, WizardLinkByArchitecture) {
  struct Case {
    WORD architecture;
    const char* parameters;
  } cases[] = {
      {0,
       "printui.dll PrintUIEntry /ii /f "
       "\"C:\\Users\\user\\AppData\\Local\\Temp\\Ostra2020\\Windows NT x86\\KVDRV.INF\""},
      {9,
       "printui.dll PrintUIEntry /ii /f "
       "\"C:\\Users\\user\\AppData\\Local\\Temp\\Ostra2020\\Windows x64\\KVDRVx64.INF\""},
      {6, nullptr},
  };
  for (const auto& c : cases) {
    for (const std::string& planted : {kExeFolder, kStagingFolder}) {
      SCOPED_TRACE(planted + ", architecture " + std::to_string(c.architecture));
      sim::Reset();
      SetUp();
      sim::System().nativeArchitecture = c.architecture;
      if (planted == kExeFolder) {
        ASSERT_TRUE(sim::PutFile(planted + "\\rundll32.exe", "MZ"));
      }
      HWND dialog = nullptr;
      Run(
          [&](HWND d) {
            dialog = d;
            ASSERT_EQ(sim::System().currentDirectory, kStagingFolder);
            if (planted == kStagingFolder) {
              ASSERT_TRUE(sim::PutFile(planted + "\\rundll32.exe", "MZ"));
            }
            sim::ClearCalls();
            Choose(d, IDC_WIZARD_LINK);
            if (c.parameters) {
              EXPECT_EQ(sim::CallsOf("GetCurrentDirectoryA"), std::vector<std::string>{"1024"});
            }
          },
          false);
      std::vector<const sim::ProcessRecord*> started;
      for (const auto& p : sim::Processes())
        if (p.ran != kSystemNet) started.push_back(&p);
      if (c.parameters == nullptr) {
        EXPECT_TRUE(started.empty());
        continue;
      }
      ASSERT_EQ(started.size(), 1u);
      EXPECT_EQ(started[0]->file, kSystemRundll32);
      EXPECT_EQ(started[0]->ran, kSystemRundll32);
      EXPECT_EQ(started[0]->parameters, c.parameters);
      EXPECT_EQ(started[0]->verb, "open");
      EXPECT_EQ(started[0]->show, SW_SHOWNORMAL);
      EXPECT_EQ(started[0]->directory, kSystemFolder);
      EXPECT_EQ(started[0]->owner, dialog);
      EXPECT_FALSE(started[0]->waitedFor);
    }
  }
  // Without the system directory the link starts nothing at all.
  sim::Reset();
  SetUp();
  ASSERT_TRUE(sim::PutFile(kExeFolder + "\\rundll32.exe", "MZ"));
  Run(
      [&](HWND d) {
        sim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
        Choose(d, IDC_WIZARD_LINK);
      },
      false);
  for (const auto& p : sim::Processes()) EXPECT_EQ(p.ran, kSystemNet) << p.file;
}

TEST_F(InstallCommand, AnAddressNoPrinterCanHaveIsRefusedBeforeAnythingIsWritten) {
  for (int first : {-1, 0, 224, 255}) {
    SCOPED_TRACE(first);
    sim::Reset();
    SetUp();
    Run(
        [&](HWND d) {
          Choose(d, IDC_NETWORK);
          if (first >= 0) TypeAddress(d, first, 1, 2, 3);  // -1: the control left untouched
          Install(d);
          EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
          EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDCANCEL)));
        },
        false);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "Please enter the printer's valid IP address !");
    EXPECT_EQ(sim::CountOf("RegCreateKeyExA") + sim::CountOf("CopyFileA"), 0);
  }
  sim::Reset();
  SetUp();
  sim::System().uiLanguage = 2052;
  sim::System().ansiCodePage = 936;
  Run(
      [](HWND d) {
        Choose(d, IDC_NETWORK);
        Install(d);
      },
      false);
  EXPECT_EQ(sim::MessageBoxes().at(0).text, Gbk("请输入打印机的有效 IP 地址 !"));
  // The same display language where the 8-bit calls read UTF-8 is refused in English.
  sim::Reset();
  SetUp();
  sim::System().uiLanguage = 2052;
  sim::System().ansiCodePage = 65001;
  Run(
      [](HWND d) {
        Choose(d, IDC_NETWORK);
        Install(d);
      },
      false);
  EXPECT_EQ(sim::MessageBoxes().at(0).text, "Please enter the printer's valid IP address !");
}

TEST_F(InstallCommand, NoSelectedEntryWritesNothing) {
  Run(
      [](HWND d) {
        Choose(d, IDC_SERIAL);
        SendMessageA(GetDlgItem(d, IDC_PORT_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        Install(d);
      },
      false);
  EXPECT_EQ(sim::CountOf("RegSetValueExA") + sim::CountOf("CopyFileA"), 0);
  EXPECT_EQ(sim::RegistryValues(kSerialSettings).size(), 1u);
}

}  // namespace
