// The program from its start: the main dialog's opening, captions, hot spot, painting and closing.
#include <algorithm>

#include "app/one_instance.h"
#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "text_helpers.h"

namespace {

struct Caption {
  int id;  // 0: the dialog's title
  const char* chinese;
  const char* english;
};

const Caption kCaptions[] = {
    {0, "Korvex 80系列打印机驱动安装", "Korvex 80 Series printer driver"},
    {1001, "1. 您是否需要将此次安装设置为系统默认的打印机?",
     "1.Set this printer to the system's default printer?"},
    {1002, "否 (不设置为默认)", "No (not default)"},
    {1003, "是 (设置为默认)", "Yes (default)"},
    {1031, "2. 您的打印机通过哪种方式与电脑连接 ?",
     "2.How does your printer connect to your computer?"},
    {1007, "串口", "COM"},
    {1008, "并口", "LPT"},
    {1009, "以太网", "LAN"},
    {1012, "打印机 IP 地址:", "Printer IP address:"},
    {1028, "* 波特率 ", "Baud rate"},
    {1, "开始安装打印机驱动", "installing the printer driver"},
    {2, "退出", "Exit"},
    {1023, "*安装出现问题 ? 点击这里尝试使用向导进行安装.",
     "*Click here to try the installation using the wizard."},
};

const std::pair<int, const char*> kUnchangedCaptions[] = {
    {1006, "USB "},  {1024, "9600"},   {1025, "19200"},
    {1026, "38400"}, {1027, "115200"}, {1033, "                "},
};

std::string TextOf(HWND dialog, int id) {
  return sim::Inspect(id == 0 ? dialog : GetDlgItem(dialog, id)).text;
}

class MainDialog : public SimTest {
 protected:
  // Runs the whole program; `user` plays the user while the dialog is shown.
  void Run(const std::function<void(HWND)>& user) {
    shown_ = false;
    sim::SetModalDriver([&](HWND dialog) {
      dialog_ = dialog;
      shown_ = true;
      user(dialog);
    });
    exitCode_ = ui::RunApplication(theApp, GetModuleHandleA(nullptr));
  }
  void ExpectCaptions(HWND dialog, bool chinese) {
    for (const Caption& c : kCaptions) {
      SCOPED_TRACE("caption of " + std::to_string(c.id));
      EXPECT_EQ(TextOf(dialog, c.id), chinese ? Gbk(c.chinese) : std::string(c.english));
    }
    for (const auto& [id, text] : kUnchangedCaptions) EXPECT_EQ(TextOf(dialog, id), text);
  }
  void DoubleClickHotSpot(HWND dialog, int times) {
    for (int i = 0; i < times; ++i)
      ASSERT_TRUE(sim::DoubleClick(GetDlgItem(dialog, IDC_LANGUAGE_HOTSPOT)));
  }
  // Every test that expects the dialog checks that it was really shown.
  void TearDown() override {
    if (expectShown_) {
      EXPECT_TRUE(shown_) << "the dialog never opened";
    }
  }
  HWND dialog_ = nullptr;
  int exitCode_ = -1;
  bool shown_ = false;
  bool expectShown_ = true;
};

TEST_F(MainDialog, StartsServiceAndControlsBeforeTheWindowExists) {
  Run([](HWND dialog) { sim::Click(GetDlgItem(dialog, IDCANCEL)); });
  auto order = sim::CallSequence({"InitCommonControlsEx", "ShellExecuteA", "LoadIconA",
                                  "GetUserDefaultUILanguage", "DialogBoxParamA"});
  std::vector<std::string> expected = {"InitCommonControlsEx", "ShellExecuteA",
                                       "GetUserDefaultUILanguage", "LoadIconA", "DialogBoxParamA"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(sim::CallsOf("InitCommonControlsEx"), std::vector<std::string>{"8, 255"});
  EXPECT_EQ(sim::CallsOf("DialogBoxParamA").at(0), "0x400000, #102, null");
  ASSERT_EQ(sim::Processes().size(), 1u);
  const auto& spooler = sim::Processes()[0];
  EXPECT_EQ(spooler.file, kSystemNet);
  EXPECT_EQ(spooler.ran, kSystemNet);
  EXPECT_EQ(spooler.verb, "open");
  EXPECT_EQ(spooler.parameters, "start spooler");
  EXPECT_EQ(spooler.directory, kSystemFolder);
  EXPECT_EQ(spooler.owner, nullptr);
  EXPECT_EQ(spooler.show, SW_HIDE);
  EXPECT_FALSE(spooler.waitedFor);
  EXPECT_FALSE(sim::ModalRunLeftOpen());
  EXPECT_EQ(ui::AfxGetApp()->RegistryKey(), Gbk("应用程序向导生成的本地应用程序"));
  EXPECT_STREQ(ui::AfxGetAppName(), "Quillmate");
}

TEST_F(MainDialog, OpensWithFirstAnswersCheckedIconsAndEmptyAddress) {
  Run([](HWND dialog) {
    for (int id : {IDC_DEFAULT_NO, IDC_USB, IDC_BAUD_9600})
      EXPECT_EQ(sim::Inspect(GetDlgItem(dialog, id)).check, BST_CHECKED) << id;
    for (int id : {IDC_DEFAULT_YES, IDC_SERIAL, IDC_PARALLEL, IDC_NETWORK, IDC_BAUD_19200,
                   IDC_BAUD_38400, IDC_BAUD_115200})
      EXPECT_EQ(sim::Inspect(GetDlgItem(dialog, id)).check, BST_UNCHECKED) << id;
    auto info = sim::Inspect(dialog);
    EXPECT_EQ(info.bigIcon, sim::ResourceIcon(IDR_MAINFRAME));
    EXPECT_EQ(info.smallIcon, sim::ResourceIcon(IDR_MAINFRAME));
    EXPECT_TRUE(info.visible);
    auto ip = sim::Inspect(GetDlgItem(dialog, IDC_IP_ADDRESS));
    EXPECT_EQ(ip.ipAddress, 0u);
    EXPECT_EQ(ip.ipBlankFields, 0) << "0.0.0.0 is shown, not an empty control";
    EXPECT_EQ(sim::FocusedWindow(), GetDlgItem(dialog, IDOK));
    // Each control member is bound to its control.
    auto* dlg = static_cast<CQuillmateDlg*>(ui::AfxGetApp()->m_pMainWnd);
    ASSERT_NE(dlg, nullptr);
    std::pair<const ui::CWnd*, int> bound[] = {
        {&dlg->portList, IDC_PORT_LIST},     {&dlg->usbRadio, IDC_USB},
        {&dlg->ipAddress, IDC_IP_ADDRESS},   {&dlg->ipLabel, IDC_IP_LABEL},
        {&dlg->statusText, IDC_STATUS_TEXT}, {&dlg->hintText, IDC_HINT_TEXT}};
    for (auto [member, id] : bound) EXPECT_EQ(member->GetSafeHwnd(), GetDlgItem(dialog, id)) << id;
    sim::PressKey(dialog, VK_ESCAPE);
  });
  // WM_SETICON on the dialog (id 0): the big icon first, then the small one.
  std::string icon = std::to_string(reinterpret_cast<intptr_t>(sim::ResourceIcon(IDR_MAINFRAME)));
  auto sent = sim::CallsOf("SendMessageA");
  auto big = std::find(sent.begin(), sent.end(), "0, 128, 1, " + icon);
  auto small = std::find(sent.begin(), sent.end(), "0, 128, 0, " + icon);
  ASSERT_NE(big, sent.end());
  ASSERT_NE(small, sent.end());
  EXPECT_LT(big - sent.begin(), small - sent.begin());
  // The address is set to 0.0.0.0 by the opening, then again by the refresh for USB.
  EXPECT_EQ(std::count(small, sent.end(), "1011, 1125, 0, 0"), 2);
}

TEST_F(MainDialog, EnglishForEveryLanguageButSimplifiedChinese) {
  for (LANGID language : {1033, 1031, 1028, 1041}) {
    SCOPED_TRACE(language);
    sim::Reset();
    sim::System().uiLanguage = language;
    sim::System().ansiCodePage = 936;
    Run([&](HWND dialog) {
      ExpectCaptions(dialog, false);
      sim::PressKey(dialog, VK_ESCAPE);
    });
  }
}

TEST_F(MainDialog, AChineseDisplayLanguageOnAnotherCodePageIsEnglishAndStaysSo) {
  // GBK captions read in code page 1252 or as UTF-8 would be garbage; the package is still
  // the one of the display language.
  for (UINT codePage : {1252u, 65001u}) {
    SCOPED_TRACE(codePage);
    sim::Reset();
    sim::System().uiLanguage = 2052;
    sim::System().ansiCodePage = codePage;
    sim::PutFolder(kTempFolder);
    Run([&](HWND dialog) {
      ExpectCaptions(dialog, false);
      DoubleClickHotSpot(dialog, 5);
      ExpectCaptions(dialog, false);
      DoubleClickHotSpot(dialog, 5);
      ExpectCaptions(dialog, false);
      sim::PressKey(dialog, VK_ESCAPE);
    });
    EXPECT_EQ(sim::CallsOf("FindResourceA"), std::vector<std::string>{"null, #129, \"zip\""});
  }
}

TEST_F(MainDialog, ChineseCaptionsByteForByteOnAChineseSystem) {
  sim::System().uiLanguage = 2052;
  sim::System().ansiCodePage = 936;
  Run([&](HWND dialog) {
    ExpectCaptions(dialog, true);
    EXPECT_EQ(TextOf(dialog, IDC_BAUD_GROUP), "* \xB2\xA8\xCC\xD8\xC2\xCA ")
        << "GBK bytes of the baud caption, trailing blank kept";
    sim::PressKey(dialog, VK_ESCAPE);
  });
}

TEST_F(MainDialog, HotSpotSwitchesOnEveryFifthDoubleClick) {
  sim::System().ansiCodePage = 936;  // an English display language where GBK can be shown
  Run([&](HWND dialog) {
    DoubleClickHotSpot(dialog, 4);
    ExpectCaptions(dialog, false);
    DoubleClickHotSpot(dialog, 1);
    ExpectCaptions(dialog, true);
    DoubleClickHotSpot(dialog, 4);
    ExpectCaptions(dialog, true);
    DoubleClickHotSpot(dialog, 1);
    ExpectCaptions(dialog, false);
    for (int i = 0; i < 20; ++i) sim::Click(GetDlgItem(dialog, IDC_LANGUAGE_HOTSPOT));
    ExpectCaptions(dialog, false);
    sim::PressKey(dialog, VK_ESCAPE);
  });
}

TEST_F(MainDialog, FromGermanTheSwitchGoesToChineseThenEnglish) {
  sim::System().uiLanguage = 1031;
  sim::System().ansiCodePage = 936;
  CQuillmateDlg* dlg = nullptr;
  Run([&](HWND dialog) {
    dlg = static_cast<CQuillmateDlg*>(ui::AfxGetApp()->m_pMainWnd);
    DoubleClickHotSpot(dialog, 5);
    EXPECT_EQ(dlg->installer.userLanguage, 2052u);
    ExpectCaptions(dialog, true);
    DoubleClickHotSpot(dialog, 5);
    EXPECT_EQ(dlg->installer.userLanguage, 1033u);
    ExpectCaptions(dialog, false);
    sim::PressKey(dialog, VK_ESCAPE);
  });
}

TEST_F(MainDialog, MinimisedPaintingCentresTheIcon) {
  sim::System().iconWidth = 32;
  sim::System().iconHeight = 32;
  Run([&](HWND dialog) {
    sim::Minimize(dialog);
    sim::SetClientSize(dialog, 33, 40);
    sim::Paint(dialog);
    sim::PressKey(dialog, VK_ESCAPE);
  });
  std::vector<std::string> calls;
  for (const auto& g : sim::GdiCalls()) calls.push_back(g.call);
  std::vector<std::string> expected = {"BeginPaint", "DefaultEraseIconBackground", "DrawIcon",
                                       "EndPaint"};
  EXPECT_EQ(calls, expected);
  auto draw = std::find_if(sim::GdiCalls().begin(), sim::GdiCalls().end(),
                           [](const sim::GdiRecord& g) { return g.call == "DrawIcon"; });
  ASSERT_NE(draw, sim::GdiCalls().end());
  // (33 - 32 + 1) / 2 = 1 and (40 - 32 + 1) / 2 = 4, with the program's icon.
  EXPECT_NE(draw->args.find(", 1, 4, 0x20080"), std::string::npos) << draw->args;
}

TEST_F(MainDialog, PaintingWhenNotMinimisedIsTheSystems) {
  Run([&](HWND dialog) {
    sim::Paint(dialog);
    sim::PressKey(dialog, VK_ESCAPE);
  });
  ASSERT_EQ(sim::GdiCalls().size(), 1u);
  EXPECT_EQ(sim::GdiCalls()[0].call, "DefaultPaint");
}

TEST_F(MainDialog, DragIconIsTheAppIcon) {
  Run([&](HWND dialog) {
    EXPECT_EQ(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0),
              reinterpret_cast<LRESULT>(sim::ResourceIcon(IDR_MAINFRAME)));
    sim::PressKey(dialog, VK_ESCAPE);
  });
}

TEST_F(MainDialog, ExitEscapeAndCloseBoxAllEndTheRunTheSameWay) {
  const std::function<bool(HWND)> ways[] = {
      [](HWND d) { return sim::Click(GetDlgItem(d, IDCANCEL)); },
      [](HWND d) { return sim::PressKey(d, VK_ESCAPE); },
      [](HWND d) { return sim::ClickCloseBox(d); },
  };
  for (const auto& close : ways) {
    sim::Reset();
    HWND seen = nullptr;
    Run([&](HWND dialog) {
      seen = dialog;
      EXPECT_TRUE(close(dialog));
    });
    EXPECT_FALSE(sim::ModalRunLeftOpen());
    ASSERT_EQ(sim::CountOf("EndDialog"), 1);
    EXPECT_NE(sim::CallsOf("EndDialog")[0].find(", 2"), std::string::npos) << "IDCANCEL";
    EXPECT_FALSE(IsWindow(seen)) << "the window is destroyed";
    EXPECT_EQ(exitCode_, 0);
  }
}

// Started again while its dialog is open and minimised: the running dialog comes forward,
// restored, and the second start ends having started, unpacked, written and shown nothing; the
// dialog still installs.
TEST_F(MainDialog, ASecondStartBringsTheRunningDialogForwardAndEnds) {
  sim::PutFolder(kTempFolder);
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", "\\Device\\Parallel0", REG_SZ,
                        std::string("\\DosDevices\\LPT1\0", 17));
  std::vector<HWND> dialogs;
  int secondExit = -1;
  sim::SetModalDriver([&](HWND dialog) {
    dialogs.push_back(dialog);
    if (dialogs.size() > 1) {  // a second dialog: the fault itself
      sim::PressKey(dialog, VK_ESCAPE);
      return;
    }
    shown_ = true;
    sim::Minimize(dialog);
    ASSERT_NE(sim::ForegroundWindow(), dialog);
    std::vector<std::string> stagedBefore = sim::Tree(kStagingFolder);
    sim::ClearCalls();
    sim::RunAsAnotherProcess([&] {
      CQuillmateApp second;
      secondExit = ui::RunApplication(second, GetModuleHandleA(nullptr));
    });
    auto info = sim::Inspect(dialog);
    EXPECT_FALSE(info.iconic);
    EXPECT_EQ(info.style & WS_MINIMIZE, 0u);
    EXPECT_TRUE(info.visible);
    EXPECT_EQ(sim::ForegroundWindow(), dialog);
    for (const char* call :
         {"InitCommonControlsEx", "ShellExecuteA", "DialogBoxParamA", "FindResourceA",
          "CreateFileA", "CreateDirectoryA", "RegSetValueExA", "MessageBoxA", "GetTempPathW"})
      EXPECT_EQ(sim::CountOf(call), 0) << call;
    EXPECT_EQ(sim::Tree(kStagingFolder), stagedBefore);
    ASSERT_TRUE(sim::Click(GetDlgItem(dialog, IDC_PARALLEL)));
    ASSERT_TRUE(sim::Click(GetDlgItem(dialog, IDOK)));
    EXPECT_FALSE(IsWindowVisible(dialog)) << "installed, the dialog closes";
  });
  exitCode_ = ui::RunApplication(theApp, GetModuleHandleA(nullptr));
  EXPECT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(secondExit, 0);
  EXPECT_EQ(sim::Processes().size(), 1u) << "the spooler was started once, by the first";
  ASSERT_EQ(sim::Spooler().printers.size(), 1u);
  EXPECT_EQ(sim::Spooler().printers[0].port, "LPT1:");
  EXPECT_EQ(sim::OpenKernelObjects(), 0);
  EXPECT_FALSE(sim::NamedObjectExists(kOneInstanceName)) << "gone with the program";
}

// Another program's object of the same name, with windows of its own under the dialog's title,
// delays the start at most: the dialog opens. A free mutex is taken at once, and a failure that
// says nothing of another program does not keep the start waiting.
TEST_F(MainDialog, AnotherProgramHoldingTheNameCannotStopTheStart) {
  // The name without "Local\\" is the same object of the session's namespace.
  const std::string name = std::string(kOneInstanceName).substr(6);
  const struct {
    const char* what;
    std::function<void()> arrange;
    bool looks;
  } cases[] = {
      {"an owned mutex", [&] { sim::HoldNamedObject(name, sim::NamedObjectKind::kMutex, true); },
       true},
      {"a free mutex", [&] { sim::HoldNamedObject(name, sim::NamedObjectKind::kMutex, false); },
       false},
      {"an event", [&] { sim::HoldNamedObject(name, sim::NamedObjectKind::kEvent, false); }, true},
      {"a mutex it may not open",
       [&] { sim::HoldNamedObject(name, sim::NamedObjectKind::kMutex, true, true); }, true},
      {"no mutex for want of memory",
       [] { sim::FailCall("CreateMutexA", ERROR_NOT_ENOUGH_MEMORY); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    c.arrange();
    HWND silent = sim::AddOtherProgramWindow("#32770", CQuillmateDlg::TitleText(false), false);
    HWND hung = sim::AddOtherProgramWindow("#32770", CQuillmateDlg::TitleText(false), true);
    Run([&](HWND dialog) {
      EXPECT_EQ(sim::ForegroundWindow(), dialog);
      sim::PressKey(dialog, VK_ESCAPE);
    });
    EXPECT_TRUE(shown_);
    EXPECT_EQ(sim::CountOf("FindWindowExA") > 0, c.looks);
    EXPECT_TRUE(sim::Inspect(silent).visible && sim::Inspect(hung).visible);
    EXPECT_EQ(sim::CountOf("SetForegroundWindow"), 0) << "no window of theirs is brought forward";
  }
}

TEST_F(MainDialog, ADialogThatCannotBeCreatedStillEndsTheProgram) {
  sim::FailCall("InitCommonControlsEx", ERROR_INVALID_PARAMETER);
  expectShown_ = false;
  Run([&](HWND) {});
  EXPECT_FALSE(shown_) << "without the IP address control's class the dialog cannot be built";
  EXPECT_EQ(exitCode_, 0);
}

}  // namespace
