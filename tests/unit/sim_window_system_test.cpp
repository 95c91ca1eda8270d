// The simulated machine keeps the window system's contracts the program relies on.
#include <cstring>

#include "platform/sim/rc_script.h"
#include "text_helpers.h"

namespace {

constexpr int kDialog = 902;

INT_PTR CALLBACK Plain(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

class SimWindows : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::rc::DialogTemplate t;
    t.id = kDialog;
    t.style = WS_POPUP;
    auto add = [&](int id, const char* cls, DWORD style) {
      t.controls.push_back(TestControl(id, cls, style));
    };
    add(IDOK, "Button", BS_DEFPUSHBUTTON);
    add(IDCANCEL, "Button", BS_PUSHBUTTON);
    add(3, "ListBox", LBS_SORT | LBS_NOTIFY);
    add(4, WC_IPADDRESSA, 0);
    add(5, "Static", 0);
    sim::AddDialogTemplate(t);
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&init));
  }
  // Runs a modal dialog; `body` gets its window while it is shown.
  INT_PTR Run(const std::function<void(HWND)>& body) {
    sim::SetModalDriver([&](HWND d) {
      ran_ = true;
      body(d);
      EndDialog(d, 77);
    });
    INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialog), nullptr, Plain, 0);
    EXPECT_TRUE(ran_);
    return result;
  }
  bool ran_ = false;
};

TEST_F(SimWindows, SortedAddLandsInOrderInsertAtEndDoesNot) {
  Run([](HWND d) {
    HWND list = GetDlgItem(d, 3);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("m")), 0);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("B")), 0);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("c")), 1);
    EXPECT_EQ(
        SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("a")),
        3);
    EXPECT_EQ(SendMessageA(list, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("x")), LB_ERR);
    std::vector<std::string> expected = {"B", "c", "m", "a"};
    EXPECT_EQ(sim::Inspect(list).listEntries, expected);
    char text[16];
    EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text)), 1);
    EXPECT_STREQ(text, "a");
    EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 4, reinterpret_cast<LPARAM>(text)), LB_ERR);
  });
}

TEST_F(SimWindows, SelectionRulesOfTheListBox) {
  Run([](HWND d) {
    HWND list = GetDlgItem(d, 3);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR) << "nothing selected at first";
    for (const char* e : {"a", "b"})
      SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
    EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 5, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR) << "a bad index clears it";
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
  });
}

TEST_F(SimWindows, IpAddressFieldsBlankAndSet) {
  Run([](HWND d) {
    HWND ip = GetDlgItem(d, 4);
    DWORD address = 0xdeadbeef;
    EXPECT_EQ(SendMessageA(ip, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 0);
    EXPECT_EQ(address, 0u) << "blank fields read as 0";
    EXPECT_TRUE(SendMessageA(ip, IPM_ISBLANK, 0, 0));
    SendMessageA(ip, IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 0, 0, 7));
    EXPECT_EQ(SendMessageA(ip, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 4);
    EXPECT_EQ(address, 0x0A000007u);
    EXPECT_TRUE(sim::TypeIpField(ip, 2, -1));
    EXPECT_EQ(SendMessageA(ip, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 3);
    EXPECT_EQ(address, 0x0A000007u);
  });
}

TEST_F(SimWindows, MessageBoxDisablesItsOwnerWhileOpen) {
  Run([](HWND d) {
    bool ownerEnabledDuringBox = true;
    bool clickDuringBox = true;
    sim::SetMessageBoxAnswer([&](const sim::MessageBoxRecord&) {
      ownerEnabledDuringBox = IsWindowEnabled(d);
      clickDuringBox = sim::Click(GetDlgItem(d, IDCANCEL));
      return IDNO;
    });
    EXPECT_EQ(MessageBoxA(d, "text", "Quillmate", MB_YESNO), IDNO);
    EXPECT_FALSE(ownerEnabledDuringBox);
    EXPECT_FALSE(clickDuringBox) << "the user cannot reach the dialog behind the box";
    EXPECT_TRUE(IsWindowEnabled(d));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Quillmate");
    EXPECT_EQ(sim::MessageBoxes()[0].type, static_cast<UINT>(MB_YESNO));
  });
}

TEST_F(SimWindows, DisabledCancelRefusesEscapeAndTheCloseBox) {
  EXPECT_EQ(Run([](HWND d) {
              EnableWindow(GetDlgItem(d, IDCANCEL), FALSE);
              EXPECT_FALSE(sim::PressKey(d, VK_ESCAPE));
              sim::ClickCloseBox(d);
              EXPECT_EQ(sim::CountOf("EndDialog"), 0);
            }),
            77);
}

TEST_F(SimWindows, HiddenAndDisabledControlsCannotBeClicked) {
  Run([](HWND d) {
    HWND ok = GetDlgItem(d, IDOK);
    ShowWindow(ok, SW_HIDE);
    EXPECT_FALSE(sim::Click(ok));
    ShowWindow(ok, SW_SHOWNORMAL);
    EnableWindow(ok, FALSE);
    EXPECT_FALSE(sim::Click(ok));
    EXPECT_FALSE(IsWindowEnabled(ok));
    EXPECT_TRUE(IsWindowVisible(ok));
  });
}

TEST_F(SimWindows, TextCallsCutAtTheBufferAndKeepTheBytes) {
  Run([](HWND d) {
    HWND label = GetDlgItem(d, 5);
    ASSERT_TRUE(SetWindowTextA(label, "\xB2\xA8\xCC\xD8\xC2\xCA "));
    char small[4];
    EXPECT_EQ(GetWindowTextA(label, small, sizeof small), 3);
    EXPECT_EQ(std::string(small), "\xB2\xA8\xCC");
    EXPECT_EQ(GetWindowTextLengthA(label), 7);
  });
}

TEST_F(SimWindows, InjectedFailuresSkipCountAndSetTheError) {
  sim::FailCall("SetWindowTextA", ERROR_ACCESS_DENIED, 1, 2);
  Run([](HWND d) {
    HWND label = GetDlgItem(d, 5);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(SetWindowTextA(label, "one"));
    EXPECT_FALSE(SetWindowTextA(label, "two"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetWindowTextA(label, "three"));
    EXPECT_TRUE(SetWindowTextA(label, "four"));
    EXPECT_EQ(sim::Inspect(label).text, "four");
    std::vector<std::string> calls = {"5, \"one\"", "5, \"two\"", "5, \"three\"", "5, \"four\""};
    EXPECT_EQ(sim::CallsOf("SetWindowTextA"), calls);
  });
}

TEST_F(SimWindows, DestroyedWindowsAreInvalidHandles) {
  HWND kept = nullptr;
  Run([&](HWND d) { kept = GetDlgItem(d, 5); });
  EXPECT_FALSE(IsWindow(kept));
  SetLastError(0);
  EXPECT_FALSE(SetWindowTextA(kept, "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(SimWindows, ModuleFileNameIsCutAndReportedWhenTooLong) {
  char path[8];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), sizeof path);
  EXPECT_EQ(std::strlen(path), sizeof path - 1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SimText, GbkRoundTripAndUnmappableCharacters) {
  EXPECT_EQ(sim::ToAnsi("波特率", 936), "\xB2\xA8\xCC\xD8\xC2\xCA");
  EXPECT_EQ(sim::FromAnsi("\xB2\xA8\xCC\xD8\xC2\xCA", 936), "波特率");
  EXPECT_EQ(sim::ToAnsi("a波b", 1252), "a?b") << "no Chinese in the Western code page";
}

}  // namespace
