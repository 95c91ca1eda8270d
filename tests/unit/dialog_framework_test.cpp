// The dialog framework on a template of the test's own: radio exchange, dispatch, results.
#include "platform/sim/rc_script.h"
#include "text_helpers.h"
#include "ui/dialog.h"
#include "ui/handles.h"
#include "ui/win_app.h"

namespace {

constexpr int kTestDialog = 901;

// Two radio groups; a list box and an edit sit between radio buttons of the first group, and
// a static that starts a group ends it.
sim::rc::DialogTemplate TestTemplate() {
  sim::rc::DialogTemplate t;
  t.id = kTestDialog;
  t.style = WS_POPUP | WS_CAPTION;
  auto add = [&](int id, const char* cls, DWORD style) {
    t.controls.push_back(TestControl(id, cls, style));
  };
  add(IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP);
  add(IDCANCEL, "Button", BS_PUSHBUTTON | WS_TABSTOP);
  add(10, "Button", BS_AUTORADIOBUTTON | WS_GROUP);
  add(11, "ListBox", LBS_NOTIFY);
  add(12, "Button", BS_AUTORADIOBUTTON);
  add(13, "Edit", 0);
  add(14, "Button", BS_AUTORADIOBUTTON);
  add(15, "Static", WS_GROUP | SS_NOTIFY);
  add(16, "Button", BS_AUTORADIOBUTTON);  // not in either group: after the static
  add(20, "Button", BS_AUTORADIOBUTTON | WS_GROUP);
  add(21, "Button", BS_AUTORADIOBUTTON);
  add(30, "Static", WS_GROUP);
  add(40, WC_IPADDRESSA, WS_TABSTOP);
  return t;
}

UINT TestMessage() {
  static const UINT message = RegisterWindowMessageA("Quillmate framework test");
  return message;
}

class TestDialog : public ui::CDialogEx {
 public:
  TestDialog() : CDialogEx(kTestDialog) {}
  const ui::MessageMap* GetMessageMap() const override;

  int first = 0, second = 0;
  int paints = 0, staticClicks = 0, fieldNotices = 0, unregistered = 0;
  bool defaultPaint = false;
  ui::CListBox list;

 protected:
  void DoDataExchange(ui::CDataExchange* dx) override {
    ui::DDX_Radio(dx, 10, first);
    ui::DDX_Control(dx, 11, list);
    ui::DDX_Radio(dx, 20, second);
  }
  void OnPaint() {
    ++paints;
    if (defaultPaint) CDialogEx::OnPaint();
  }
  HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(uintptr_t{0x1234}); }
  void OnStaticClicked() { ++staticClicks; }
  LRESULT OnTestMessage(WPARAM wParam, LPARAM lParam) {
    return static_cast<LRESULT>(wParam) + lParam;
  }
  LRESULT OnUnregistered(WPARAM, LPARAM) { return ++unregistered; }
  void OnField(NMHDR* header, LRESULT* result) {
    ++fieldNotices;
    reinterpret_cast<NMIPADDRESS*>(header)->iValue = 42;
    *result = 7;
  }
};

// clang-format off
BEGIN_MESSAGE_MAP(TestDialog)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(15, OnStaticClicked)
  ON_NOTIFY(IPN_FIELDCHANGED, 40, OnField)
  ON_REGISTERED_MESSAGE(TestMessage(), OnTestMessage)
  ON_REGISTERED_MESSAGE(0u, OnUnregistered)
END_MESSAGE_MAP()
// clang-format on

class DialogFramework : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::AddDialogTemplate(TestTemplate());
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
  }
  INT_PTR Run(const std::function<void(HWND)>& user) {
    sim::SetModalDriver(user);
    return dialog_.DoModal();
  }
  bool Checked(HWND d, int id) { return sim::Inspect(GetDlgItem(d, id)).check == BST_CHECKED; }
  TestDialog dialog_;
};

TEST_F(DialogFramework, LoadingChecksTheButtonAtEachIndexSkippingOtherControls) {
  dialog_.first = 2;
  dialog_.second = 1;
  Run([&](HWND d) {
    EXPECT_FALSE(Checked(d, 10));
    EXPECT_FALSE(Checked(d, 12));
    EXPECT_TRUE(Checked(d, 14)) << "index 2 counts radio buttons only";
    EXPECT_FALSE(Checked(d, 16)) << "a button after the next group start is not in the group";
    EXPECT_FALSE(Checked(d, 20));
    EXPECT_TRUE(Checked(d, 21));
    EXPECT_NE(dialog_.list.GetSafeHwnd(), nullptr) << "controls are bound on the first exchange";
    dialog_.EndDialog(IDCANCEL);
  });
}

TEST_F(DialogFramework, SavingReadsTheCheckedIndexOrMinusOne) {
  Run([&](HWND d) {
    sim::Click(GetDlgItem(d, 12));
    sim::Click(GetDlgItem(d, 16));  // outside both groups: must not disturb them
    dialog_.UpdateData(true);
    EXPECT_EQ(dialog_.first, 1);
    EXPECT_EQ(dialog_.second, 0);
    SendMessageA(GetDlgItem(d, 20), BM_SETCHECK, BST_UNCHECKED, 0);
    dialog_.UpdateData(true);
    EXPECT_EQ(dialog_.second, -1) << "no button checked";
    dialog_.EndDialog(IDCANCEL);
  });
}

TEST_F(DialogFramework, ClickingARadioUnchecksOnlyItsOwnGroup) {
  Run([&](HWND d) {
    sim::Click(GetDlgItem(d, 14));
    sim::Click(GetDlgItem(d, 21));
    EXPECT_TRUE(Checked(d, 14));
    EXPECT_FALSE(Checked(d, 10));
    EXPECT_TRUE(Checked(d, 21));
    EXPECT_FALSE(Checked(d, 20));
    dialog_.EndDialog(IDCANCEL);
  });
}

TEST_F(DialogFramework, HandledMessagesAndTheDefaultHandling) {
  Run([&](HWND d) {
    sim::Paint(d);
    EXPECT_EQ(dialog_.paints, 1);
    EXPECT_TRUE(sim::GdiCalls().empty()) << "a handled paint leaves the system out";
    dialog_.defaultPaint = true;
    sim::Paint(d);
    ASSERT_EQ(sim::GdiCalls().size(), 1u);
    EXPECT_EQ(sim::GdiCalls()[0].call, "DefaultPaint");
    EXPECT_EQ(SendMessageA(d, WM_QUERYDRAGICON, 0, 0), 0x1234) << "returned directly";
    dialog_.EndDialog(IDCANCEL);
  });
}

// A message that could not be registered is 0, WM_NULL, which the system sends to any window
// (to see whether it answers): its entry must not take it.
TEST_F(DialogFramework, RegisteredMessagesAnswerAndOneNotRegisteredMatchesNothing) {
  Run([&](HWND d) {
    ASSERT_GE(TestMessage(), 0xC000u);
    EXPECT_EQ(SendMessageA(d, TestMessage(), 3, 4), 7);
    EXPECT_EQ(SendMessageA(d, WM_NULL, 0, 0), 0);
    EXPECT_EQ(dialog_.unregistered, 0);
    dialog_.EndDialog(IDCANCEL);
  });
}

TEST_F(DialogFramework, NotifyResultGoesBackThroughTheMessageResult) {
  Run([&](HWND d) {
    HWND ip = GetDlgItem(d, 40);
    NMIPADDRESS notice{{ip, 40, IPN_FIELDCHANGED}, 0, 5};
    EXPECT_EQ(SendMessageA(d, WM_NOTIFY, 40, reinterpret_cast<LPARAM>(&notice)), 7);
    EXPECT_EQ(notice.iValue, 42);
    NMIPADDRESS other{{ip, 41, IPN_FIELDCHANGED}, 0, 5};
    SendMessageA(d, WM_NOTIFY, 41, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(dialog_.fieldNotices, 1) << "a notice from another id is not this entry's";
    dialog_.EndDialog(IDCANCEL);
  });
}

TEST_F(DialogFramework, CommandEntriesMatchIdAndCode) {
  Run([&](HWND d) {
    HWND label = GetDlgItem(d, 15);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(15, BN_CLICKED), reinterpret_cast<LPARAM>(label));
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(15, STN_DBLCLK), reinterpret_cast<LPARAM>(label));
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(16, BN_CLICKED), 0);
    EXPECT_EQ(dialog_.staticClicks, 1);
    dialog_.EndDialog(IDCANCEL);
  });
}

// An application whose command table takes ID_HELP, as the program's does.
class HelpApp : public ui::CWinApp {
 public:
  const ui::AppCommandMap* GetCommandMap() const override {
    return theApp_ ? theApp_->GetCommandMap() : nullptr;
  }
  void OnHelp() override { ++helps; }
  const ui::CWinApp* theApp_ = nullptr;
  int helps = 0;
};

TEST_F(DialogFramework, CommandsNoDialogEntryTakesGoOnToTheApplicationsTable) {
  const ui::CWinApp* program = ui::AfxGetApp();
  ASSERT_NE(program, nullptr);
  const ui::AppCommandMap* map = program->GetCommandMap();
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(map->count, 1u);
  EXPECT_EQ(map->entries[0].id, static_cast<UINT>(ID_HELP));
  EXPECT_STREQ(map->entries[0].name, "CWinApp::OnHelp");
  {
    HelpApp app;
    app.theApp_ = program;
    // Not yet given its instance: the framework answers with the program's module.
    EXPECT_EQ(ui::AfxGetInstanceHandle(), GetModuleHandleA(nullptr));
    Run([&](HWND d) {
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(ID_HELP - 1, 0), 0);
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(15, BN_CLICKED), 0);
      EXPECT_EQ(app.helps, 0) << "no entry for these";
      // A command taken answers 0, as WM_COMMAND asks.
      EXPECT_EQ(SendMessageA(d, WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0), 0);
      dialog_.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(app.helps, 1);
    EXPECT_TRUE(app.OnCmdMsg(ID_HELP));
    EXPECT_FALSE(app.OnCmdMsg(ID_HELP - 1));
    EXPECT_EQ(app.helps, 2);
    app.theApp_ = nullptr;
    {
      ui::CWinApp plain;  // no table at all
      EXPECT_FALSE(plain.OnCmdMsg(ID_HELP));
    }
    EXPECT_EQ(ui::AfxGetApp(), &app) << "each hands the place back to the one before";
    EXPECT_EQ(dialog_.staticClicks, 1) << "the dialog's own entry comes first";
  }
  EXPECT_EQ(ui::AfxGetApp(), program) << "the program's application is back";
}

TEST_F(DialogFramework, OkSavesAndEndsWithOkCancelEndsWithCancel) {
  EXPECT_EQ(Run([&](HWND d) {
              sim::Click(GetDlgItem(d, 21));
              sim::Click(GetDlgItem(d, IDOK));
            }),
            IDOK);
  EXPECT_EQ(dialog_.second, 1);
  EXPECT_EQ(Run([&](HWND d) { sim::PressKey(d, VK_ESCAPE); }), IDCANCEL);
  // Taken, each answers 0, as WM_COMMAND asks.
  for (int button : {IDOK, IDCANCEL}) {
    EXPECT_EQ(Run([&](HWND d) {
                EXPECT_EQ(SendMessageA(d, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0), 0);
              }),
              button);
  }
}

TEST_F(DialogFramework, ADriverThatLeavesTheDialogOpenIsReported) {
  EXPECT_EQ(Run([](HWND) {}), -1);
  EXPECT_TRUE(sim::ModalRunLeftOpen());
}

TEST_F(DialogFramework, MissingTemplateFailsTheModalRun) {
  ui::CDialogEx missing(555);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// A name from a module path cut short would be a wrong name: the application takes none.
TEST_F(DialogFramework, AModulePathTooLongGivesNoName) {
  sim::System().modulePath = "C:\\" + std::string(300, 'a') + "\\Quillmate.exe";
  ui::CWinApp app;
  ui::RunApplication(app, GetModuleHandleA(nullptr));
  EXPECT_STREQ(app.m_pszAppName, "");
}

// A holder handed out again for a new handle closes the one it held: none is left open.
TEST_F(DialogFramework, AHolderReceivingAgainClosesWhatItHeld) {
  sim::PutRegistryValue("SOFTWARE\\Held", "value", REG_SZ, std::string("x\0", 2));
  {
    ui::Key key;
    for (int turn = 0; turn < 2; ++turn)
      ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Held", 0, KEY_READ, key.Receive()),
                ERROR_SUCCESS);
    EXPECT_EQ(sim::CountOf("RegCloseKey"), 1);
  }
  EXPECT_EQ(sim::CountOf("RegCloseKey"), 2);
}

}  // namespace
