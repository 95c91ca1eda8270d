// The connection choice in the running dialog: lists, notices, baud group, address, plugging.
#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "app/one_instance.h"
#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "text_helpers.h"

namespace {

std::string UsbPath(const std::string& instance) {
  return "\\\\?\\usb#vid_0416&pid_5011#" + instance + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

class PortChoice : public SimTest {
 protected:
  void Run(const std::function<void(HWND)>& user) { EXPECT_TRUE(RunProgramThenEscape(user)); }
  static sim::WindowInfo Info(HWND d, int id) { return sim::Inspect(GetDlgItem(d, id)); }
  static void ExpectNotice(HWND d, const std::string& notice) {
    EXPECT_FALSE(Info(d, IDC_PORT_LIST).visible);
    EXPECT_TRUE(Info(d, IDC_PORT_LIST).listEntries.empty());
    EXPECT_TRUE(Info(d, IDC_STATUS_TEXT).visible);
    EXPECT_EQ(Info(d, IDC_STATUS_TEXT).text, notice);
    EXPECT_FALSE(Info(d, IDOK).enabled);
  }
  static void ExpectBaudGroup(HWND d, bool shown) {
    for (int id : {IDC_BAUD_GROUP, IDC_BAUD_9600, IDC_BAUD_19200, IDC_BAUD_38400, IDC_BAUD_115200})
      EXPECT_EQ(Info(d, id).visible, shown) << id;
  }
};

const char kUsbNotice[] =
    "There is no <USB printer> connected to the computer! Please confirm that your USB printer is "
    "properly connected to the computer !";

TEST_F(PortChoice, TwoUsbPrintersAfterThePromptFirstSelected) {
  sim::PlugUsbPrinter(UsbPath("b"), 2);
  sim::PlugUsbPrinter(UsbPath("a"), 1);
  Run([](HWND d) {
    auto list = Info(d, IDC_PORT_LIST);
    std::vector<std::string> expected = {"Please select USB port:", "USB002", "USB001"};
    EXPECT_EQ(list.listEntries, expected) << "discovery order, although the list sorts";
    EXPECT_EQ(list.listSelection, 1);
    EXPECT_TRUE(list.visible);
    EXPECT_FALSE(Info(d, IDC_STATUS_TEXT).visible);
    EXPECT_FALSE(Info(d, IDC_HINT_TEXT).visible);
    EXPECT_FALSE(Info(d, IDC_IP_LABEL).visible);
    EXPECT_FALSE(Info(d, IDC_IP_ADDRESS).enabled);
    EXPECT_TRUE(Info(d, IDC_IP_ADDRESS).visible);
    ExpectBaudGroup(d, false);
    EXPECT_TRUE(Info(d, IDOK).enabled);
    // Back from the network choice, the list is shown again.
    sim::Click(GetDlgItem(d, IDC_NETWORK));
    sim::Click(GetDlgItem(d, IDC_USB));
    EXPECT_TRUE(Info(d, IDC_PORT_LIST).visible);
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listEntries, expected);
  });
}

TEST_F(PortChoice, SerialWithoutPortsShowsTheNoticeThenNetworkEnablesInstall) {
  Run([](HWND d) {
    sim::Click(GetDlgItem(d, IDC_SERIAL));
    ExpectNotice(d, "No < serial > device was detected on the computer !");
    ExpectBaudGroup(d, false);
    sim::Click(GetDlgItem(d, IDC_NETWORK));
    EXPECT_TRUE(Info(d, IDOK).enabled);
    EXPECT_TRUE(Info(d, IDC_IP_ADDRESS).enabled);
    EXPECT_TRUE(Info(d, IDC_IP_LABEL).visible);
    EXPECT_FALSE(Info(d, IDC_STATUS_TEXT).visible);
    EXPECT_FALSE(Info(d, IDC_PORT_LIST).visible);
  });
}

TEST_F(PortChoice, SerialPortsShowTheBaudGroupInChinese) {
  sim::System().uiLanguage = 2052;
  sim::System().ansiCodePage = 936;
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM1\0", 5));
  Run([](HWND d) {
    ExpectNotice(
        d, Gbk("未检测到电脑上连接有<USB打印机>! 请您确认您的USB打印机与电脑已经正确的连接 !"));
    sim::Click(GetDlgItem(d, IDC_SERIAL));
    std::vector<std::string> expected = {Gbk("请选择以下串口端口:"), "COM1:"};
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listEntries, expected);
    ExpectBaudGroup(d, true);
    sim::Click(GetDlgItem(d, IDC_PARALLEL));
    ExpectNotice(d, Gbk("未检测到电脑上有<并口>设备 !"));
    ExpectBaudGroup(d, false);
    // Parallel ports listed: still no baud rate to choose.
    sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", "\\Device\\Parallel0", REG_SZ,
                          std::string("\\DosDevices\\LPT1\0", 17));
    sim::Click(GetDlgItem(d, IDC_PARALLEL));
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listEntries,
              (std::vector<std::string>{Gbk("请选择以下并口端口:"), "LPT1:"}));
    ExpectBaudGroup(d, false);
  });
}

// What the window calls of a refresh spell: the control's id, then the message and its
// parameters (a pointer shown as "p"), or the show command or enable flag.
std::vector<std::string> WindowCalls() {
  std::vector<std::string> out;
  for (const sim::CallRecord& c : sim::Calls()) {
    if (c.function != "SendMessageA" && c.function != "ShowWindow" && c.function != "EnableWindow")
      continue;
    std::string args = c.args;
    if (c.function == "SendMessageA") {
      unsigned message = std::stoul(args.substr(args.find(", ") + 2));
      if (message == LB_ADDSTRING || message == LB_INSERTSTRING || message == LB_GETTEXT ||
          message == WM_SETTEXT)
        args = args.substr(0, args.rfind(", ")) + ", p";
    }
    out.push_back(c.function.substr(0, 4) + " " + args);
  }
  return out;
}

TEST_F(PortChoice, EveryPromptAndNoticeInBothLanguages) {
  struct Texts {
    int radio;
    const char *chinesePrompt, *englishPrompt, *chineseNotice, *englishNotice;
  } const kTexts[] = {
      {IDC_USB, "请选择以下USB端口:", "Please select USB port:",
       "未检测到电脑上连接有<USB打印机>! 请您确认您的USB打印机与电脑已经正确的连接 !", kUsbNotice},
      {IDC_SERIAL, "请选择以下串口端口:", "Please select serial port:",
       "未检测到电脑上有<串口>设备 !", "No < serial > device was detected on the computer !"},
      {IDC_PARALLEL,
       "请选择以下并口端口:", "Please select parallel port:", "未检测到电脑上有<并口>设备 !",
       "No device < parallel port > was detected on the computer !"},
  };
  // Chinese only where the 8-bit calls read GBK: a Chinese display language on a code page of
  // another script gets the English texts.
  struct Machine {
    LANGID language;
    UINT codePage;
    bool chinese;
  };
  for (Machine machine : {Machine{1033, 1252, false}, Machine{2052, 936, true},
                          Machine{2052, 1252, false}, Machine{2052, 65001, false}}) {
    for (bool ports : {false, true}) {
      SCOPED_TRACE(std::to_string(machine.language) + " on " + std::to_string(machine.codePage) +
                   (ports ? " with ports" : " without ports"));
      sim::Reset();
      SetUp();
      sim::System().uiLanguage = machine.language;
      sim::System().ansiCodePage = machine.codePage;
      if (ports) {
        sim::PlugUsbPrinter(UsbPath("a"), 1);
        sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                              std::string("COM1\0", 5));
        sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", "\\Device\\Parallel0", REG_SZ,
                              std::string("\\DosDevices\\LPT1\0", 17));
      }
      Run([&](HWND d) {
        for (const Texts& t : kTexts) {
          sim::Click(GetDlgItem(d, t.radio));
          bool chinese = machine.chinese;
          if (ports) {
            EXPECT_EQ(Info(d, IDC_PORT_LIST).listEntries.at(0),
                      chinese ? Gbk(t.chinesePrompt) : std::string(t.englishPrompt));
          } else {
            ExpectNotice(d, chinese ? Gbk(t.chineseNotice) : std::string(t.englishNotice));
          }
        }
      });
    }
  }
}

TEST_F(PortChoice, ARefreshTakesItsStepsInOrder) {
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM1\0", 5));
  // The radio answers read (BM_GETCHECK) or checked (BM_SETCHECK), each control asked for its
  // kind first; the list and the address control between the groups are asked and skipped.
  auto exchange = [](bool save, std::initializer_list<int> checked) {
    std::vector<std::string> calls;
    for (int id : {1002, 1003, 1006, 1007, 1008, 1009, 1010, 1011, 1024, 1025, 1026, 1027}) {
      calls.push_back("Send " + std::to_string(id) + ", 135, 0, 0");
      if (id == 1010 || id == 1011) continue;
      bool on = std::find(checked.begin(), checked.end(), id) != checked.end();
      calls.push_back("Send " + std::to_string(id) +
                      (save ? ", 240, 0, 0"
                       : on ? ", 241, 1, 0"
                            : ", 241, 0, 0"));
    }
    return calls;
  };
  std::vector<std::string> expected = exchange(true, {});
  for (const char* step : {"Send 1010, 388, 0, 0",  "Show 1015, 0",
                           "Show 1028, 0",          "Show 1024, 0",
                           "Show 1025, 0",          "Show 1026, 0",
                           "Show 1027, 0",          "Enab 1, 1",
                           "Send 1011, 1125, 0, 0", "Show 1010, 1",
                           "Enab 1011, 0",          "Show 1012, 0",
                           "Show 1014, 0",          "Show 1028, 1",
                           "Show 1024, 1",          "Show 1025, 1",
                           "Show 1026, 1",          "Show 1027, 1",
                           "Send 1010, 384, 0, p",  "Send 1010, 385, 18446744073709551615, p",
                           "Send 1010, 390, 1, 0"})
    expected.push_back(step);
  for (const std::string& call : exchange(false, {1002, 1007, 1024})) expected.push_back(call);
  expected.push_back("Send 0, 49, 0, 0");  // the dialog's font, to fit the captions
  // The list's entries, for the room of the widest: the prompt and COM1.
  for (const char* step : {"Send 1010, 395, 0, 0", "Send 1010, 394, 0, 0", "Send 1010, 393, 0, p",
                           "Send 1010, 394, 1, 0", "Send 1010, 393, 1, p"})
    expected.push_back(step);
  expected.push_back("Send 1010, 404, 0, 0");  // both fit: no horizontal extent
  Run([&](HWND d) {
    sim::ClearCalls();
    sim::Click(GetDlgItem(d, IDC_SERIAL));
    EXPECT_EQ(WindowCalls(), expected);
  });
}

TEST_F(PortChoice, PluggingFollowsOnlyWhileUsbIsChosen) {
  Run([](HWND d) {
    ExpectNotice(d, kUsbNotice);
    sim::PlugUsbPrinter(UsbPath("a"), 1);
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listEntries,
              (std::vector<std::string>{"Please select USB port:", "USB001"}));
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listSelection, 1);
    EXPECT_TRUE(Info(d, IDOK).enabled);
    sim::UnplugUsbPrinter(UsbPath("a"));
    ExpectNotice(d, kUsbNotice);
    // The dialog answers a notice with 0, whatever it did with it.
    DEV_BROADCAST_DEVICEINTERFACE_A notice{};
    notice.dbcc_size = sizeof notice;
    notice.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    notice.dbcc_classguid = sim::kUsbPrinterClass;
    EXPECT_EQ(
        SendMessageA(d, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&notice)), 0);
    // Only arrivals and removals of device interfaces are news for the list.
    int enumerations = sim::CountOf("SetupDiGetClassDevsA");
    sim::BroadcastDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    sim::BroadcastDeviceChange(0x8001 /* DBT_DEVICEQUERYREMOVE */, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(sim::CountOf("SetupDiGetClassDevsA"), enumerations);
    sim::Click(GetDlgItem(d, IDC_PARALLEL));
    enumerations = sim::CountOf("SetupDiGetClassDevsA");
    sim::PlugUsbPrinter(UsbPath("b"), 2);
    sim::BroadcastDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    EXPECT_EQ(sim::CountOf("SetupDiGetClassDevsA"), enumerations);
    ExpectNotice(d, "No device < parallel port > was detected on the computer !");
    // A choice the dialog was not told of (set by another program) is read at the notice.
    SendMessageA(GetDlgItem(d, IDC_PARALLEL), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(d, IDC_USB), BM_SETCHECK, BST_CHECKED, 0);
    sim::UnplugUsbPrinter(UsbPath("b"));
    ExpectNotice(d, kUsbNotice);
  });
}

TEST_F(PortChoice, ThePromptNeverStaysSelected) {
  sim::PlugUsbPrinter(UsbPath("a"), 1);
  sim::PlugUsbPrinter(UsbPath("b"), 2);
  Run([](HWND d) {
    HWND list = GetDlgItem(d, IDC_PORT_LIST);
    sim::SelectListEntry(list, 2);
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listSelection, 2);
    sim::SelectListEntry(list, 0);
    EXPECT_EQ(Info(d, IDC_PORT_LIST).listSelection, 1);
  });
}

TEST_F(PortChoice, DoubleClickConfiguresTheSelectedPort) {
  sim::PlugUsbPrinter(UsbPath("a"), 1);
  HWND dialog = nullptr;
  Run([&](HWND d) {
    dialog = d;
    sim::DoubleClick(GetDlgItem(d, IDC_PORT_LIST));
    SendMessageA(GetDlgItem(d, IDC_PORT_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    sim::DoubleClick(GetDlgItem(d, IDC_PORT_LIST));
  });
  ASSERT_EQ(sim::CountOf("ConfigurePortA"), 1) << "nothing without a selection";
  char owner[32];
  std::snprintf(owner, sizeof owner, "%p", static_cast<void*>(dialog));
  EXPECT_EQ(sim::CallsOf("ConfigurePortA")[0], "null, " + std::string(owner) + ", \"USB001\"")
      << "the port's dialog is owned by ours";
}

TEST_F(PortChoice, AddressIsResetByOtherTypesAndKeptByNetworkAgain) {
  Run([](HWND d) {
    HWND ip = GetDlgItem(d, IDC_IP_ADDRESS);
    sim::Click(GetDlgItem(d, IDC_NETWORK));
    for (int field = 0; field < 4; ++field) sim::TypeIpField(ip, field, 10 + field);
    sim::TypeIpField(ip, 1, -1);
    EXPECT_EQ(Info(d, IDC_IP_ADDRESS).ipAddress, 0x0A000C0Du);
    EXPECT_EQ(Info(d, IDC_IP_ADDRESS).ipBlankFields, 0) << "a cleared field shows 0";
    sim::Click(GetDlgItem(d, IDC_NETWORK));
    EXPECT_EQ(Info(d, IDC_IP_ADDRESS).ipAddress, 0x0A000C0Du);
    sim::Click(GetDlgItem(d, IDC_USB));
    sim::Click(GetDlgItem(d, IDC_NETWORK));
    EXPECT_EQ(Info(d, IDC_IP_ADDRESS).ipAddress, 0u);
  });
}

TEST_F(PortChoice, RegisteredForUsbPrinterInterfaceNotices) {
  Run([](HWND) {});
  EXPECT_EQ(sim::CallsOf("RegisterDeviceNotificationA"), std::vector<std::string>{"32, 5, 0"});
}

TEST_F(PortChoice, MessageTableHasOneEntryPerEventInItsOrder) {
  struct Entry {
    UINT message, code, id;
    const char* handler;
  } const kTable[] = {
      {WM_PAINT, 0, 0, "OnPaint"},
      {WM_QUERYDRAGICON, 0, 0, "OnQueryDragIcon"},
      {WM_COMMAND, BN_CLICKED, IDOK, "OnInstall"},
      {WM_COMMAND, LBN_SELCHANGE, IDC_PORT_LIST, "OnPortListSelChange"},
      {WM_COMMAND, BN_CLICKED, IDC_USB, "OnConnectionTypeClicked"},
      {WM_COMMAND, BN_CLICKED, IDC_SERIAL, "OnConnectionTypeClicked"},
      {WM_COMMAND, BN_CLICKED, IDC_PARALLEL, "OnConnectionTypeClicked"},
      {WM_COMMAND, BN_CLICKED, IDC_NETWORK, "OnConnectionTypeClicked"},
      {WM_DEVICECHANGE, 0, 0, "OnDeviceChange"},
      {WM_COMMAND, LBN_DBLCLK, IDC_PORT_LIST, "OnPortListDblClk"},
      {WM_COMMAND, BN_CLICKED, IDCANCEL, "OnCancel"},
      {WM_SETCURSOR, 0, 0, "OnSetCursor"},
      {WM_COMMAND, BN_CLICKED, IDC_WIZARD_LINK, "OnWizardLinkClicked"},
      {WM_NOTIFY, static_cast<UINT>(IPN_FIELDCHANGED), IDC_IP_ADDRESS, "OnIpFieldChanged"},
      {WM_DESTROY, 0, 0, "OnDestroy"},
      {WM_COMMAND, STN_DBLCLK, IDC_LANGUAGE_HOTSPOT, "OnLanguageHotspotDblClk"},
      {ComeForwardMessage(), 0, 0, "OnComeForward"},
  };
  CQuillmateDlg* dialog = nullptr;
  sim::SetModalDriver([&](HWND d) {
    dialog = static_cast<CQuillmateDlg*>(ui::AfxGetApp()->m_pMainWnd);
    const ui::MessageMap* map = dialog->GetMessageMap();
    ASSERT_EQ(map->count, std::size(kTable));
    for (size_t i = 0; i < map->count; ++i) {
      const auto& e = map->entries[i];
      SCOPED_TRACE(kTable[i].handler);
      EXPECT_EQ(e.message, kTable[i].message);
      EXPECT_EQ(e.code, kTable[i].code);
      EXPECT_EQ(e.id, kTable[i].id);
      EXPECT_STREQ(e.handler, kTable[i].handler);
    }
    sim::PressKey(d, VK_ESCAPE);
  });
  ui::RunApplication(theApp, GetModuleHandleA(nullptr));
  ASSERT_NE(dialog, nullptr);
}

}  // namespace
