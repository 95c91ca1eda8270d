// The dialog template as the program's resource script defines it, and the script reader itself.
#include <fstream>

#include "platform/sim/rc_script.h"
#include "resources/resource.h"
#include "text_helpers.h"

namespace {

struct Expected {
  int id;
  const char* className;
  int x, y, cx, cy;
  DWORD styles;     // bits that must be set
  DWORD notStyles;  // bits that must be clear
  DWORD exStyle;
};

// Creation order, rectangles and the styles that matter.
const Expected kControls[] = {
    {IDOK, "Button", 6, 113, 96, 24, BS_DEFPUSHBUTTON | WS_TABSTOP, WS_GROUP,
     WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME},
    {IDCANCEL, "Button", 139, 113, 40, 24, WS_TABSTOP, BS_DEFPUSHBUTTON,
     WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME},
    {IDC_DEFAULT_GROUP, "Button", 7, 4, 172, 32, BS_GROUPBOX | WS_GROUP, 0, 0},
    {IDC_DEFAULT_NO, "Button", 12, 18, 72, 10, BS_AUTORADIOBUTTON | WS_GROUP, 0, 0},
    {IDC_DEFAULT_YES, "Button", 84, 18, 65, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_CONNECTION_GROUP, "Button", 7, 36, 172, 66, BS_GROUPBOX | WS_GROUP, 0, 0},
    {IDC_USB, "Button", 12, 48, 31, 10, BS_AUTORADIOBUTTON | WS_GROUP, 0, 0},
    {IDC_SERIAL, "Button", 12, 60, 30, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_PARALLEL, "Button", 12, 72, 30, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_NETWORK, "Button", 12, 84, 30, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_PORT_LIST, "ListBox", 54, 48, 81, 36,
     WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT |
         LBS_NOINTEGRALHEIGHT,
     WS_GROUP, 0},
    {IDC_IP_ADDRESS, "SysIPAddress32", 54, 84, 81, 12, WS_TABSTOP, WS_GROUP, 0},
    {IDC_IP_LABEL, "Static", 54, 72, 53, 8, WS_GROUP, 0, 0},
    {IDC_STATUS_TEXT, "Edit", 54, 49, 72, 33, ES_MULTILINE | ES_READONLY | WS_TABSTOP, WS_BORDER,
     0},
    {IDC_WIZARD_LINK, "Button", 7, 140, 172, 13, BS_FLAT | WS_TABSTOP, 0, 0},
    {IDC_HINT_TEXT, "Edit", 143, 49, 36, 33, ES_MULTILINE | ES_READONLY | WS_TABSTOP, WS_BORDER, 0},
    {IDC_BAUD_GROUP, "Button", 136, 48, 41, 48, BS_GROUPBOX, WS_GROUP, 0},
    {IDC_BAUD_9600, "Button", 139, 56, 30, 10, BS_AUTORADIOBUTTON | WS_GROUP, 0, 0},
    {IDC_BAUD_19200, "Button", 139, 65, 30, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_BAUD_38400, "Button", 139, 75, 30, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_BAUD_115200, "Button", 139, 84, 34, 10, BS_AUTORADIOBUTTON, WS_GROUP, 0},
    {IDC_MAKER_NOTICE, "Static", 7, 102, 172, 8, SS_CENTER | WS_DISABLED | WS_GROUP, 0, 0},
    {IDC_LANGUAGE_HOTSPOT, "Static", 109, 117, 24, 16, SS_NOTIFY | WS_GROUP, 0, 0},
};

const sim::rc::DialogTemplate& MainTemplate() {
  return sim::rc::ProgramResources().dialogs.at(IDD_QUILLMATE_DIALOG);
}

TEST(DialogTemplate, DialogFrameFontAndSize) {
  const auto& t = MainTemplate();
  EXPECT_EQ(t.cx, 186);
  EXPECT_EQ(t.cy, 158);
  EXPECT_EQ(t.fontName, "MS Shell Dlg");
  EXPECT_EQ(t.fontSize, 9);
  const DWORD required = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
  EXPECT_EQ(t.style & required, required);
  EXPECT_EQ(t.style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u) << "fixed size, no maximise box";
  EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
}

TEST(DialogTemplate, ControlsInCreationOrderWithTheirRectanglesAndStyles) {
  const auto& controls = MainTemplate().controls;
  ASSERT_EQ(controls.size(), std::size(kControls));
  for (size_t i = 0; i < controls.size(); ++i) {
    const auto& c = controls[i];
    const auto& e = kControls[i];
    SCOPED_TRACE("control " + std::to_string(e.id));
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.className, e.className);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.cx, e.cx);
    EXPECT_EQ(c.cy, e.cy);
    EXPECT_EQ(c.style & e.styles, e.styles);
    EXPECT_EQ(c.style & e.notStyles, 0u);
    EXPECT_TRUE(c.style & WS_VISIBLE) << "every control is visible when created";
    EXPECT_TRUE(c.style & WS_CHILD);
    EXPECT_EQ(c.exStyle, e.exStyle);
  }
}

TEST(DialogTemplate, FixedCaptionsAndEmptyEdits) {
  std::map<int, std::string> text;
  for (const auto& c : MainTemplate().controls) text[c.id] = c.text;
  EXPECT_EQ(text[IDC_USB], "USB ");
  EXPECT_EQ(text[IDC_BAUD_9600], "9600");
  EXPECT_EQ(text[IDC_BAUD_19200], "19200");
  EXPECT_EQ(text[IDC_BAUD_38400], "38400");
  EXPECT_EQ(text[IDC_BAUD_115200], "115200");
  EXPECT_EQ(text[IDC_LANGUAGE_HOTSPOT], std::string(16, ' '));
  EXPECT_EQ(text[IDC_STATUS_TEXT], "");
  EXPECT_EQ(text[IDC_HINT_TEXT], "");
  EXPECT_NE(text[IDC_MAKER_NOTICE].find("1.0.0"), std::string::npos)
      << "the maker's notice carries the version: " << text[IDC_MAKER_NOTICE];
  // The template holds the Chinese captions; the English ones are set at run time.
  EXPECT_EQ(MainTemplate().caption, "Korvex 80系列打印机驱动安装");
  EXPECT_EQ(text[IDOK], "开始安装打印机驱动");
}

TEST(DialogTemplate, IconAndLogoResourcesExist) {
  const auto& script = sim::rc::ProgramResources();
  ASSERT_TRUE(script.icons.count(IDR_MAINFRAME));
  ASSERT_TRUE(script.bitmaps.count(IDB_LOGO));
  EXPECT_TRUE(std::ifstream(script.icons.at(IDR_MAINFRAME)).good());
  EXPECT_TRUE(std::ifstream(script.bitmaps.at(IDB_LOGO)).good());
}

class ScriptReader : public ::testing::Test {
 protected:
  bool Parse(const std::string& script) {
    path_ = ::testing::TempDir() + "reader_test.rc";
    std::ofstream(path_) << script;
    parsed_ = {};
    return sim::rc::ParseScript(path_, {}, parsed_, error_);
  }
  std::string path_, error_;
  sim::rc::ResourceScript parsed_;
};

TEST_F(ScriptReader, MacrosNotAndEscapedQuotes) {
  ASSERT_TRUE(
      Parse("#define IDD_X 7\n#define TEXT \"say \"\"hi\"\"\"\n"
            "IDD_X DIALOGEX 0, 0, 10, 20\nSTYLE WS_POPUP | WS_CAPTION\nBEGIN\n"
            "  CONTROL TEXT, 5, \"Static\", SS_NOTIFY | NOT WS_VISIBLE, 1, 2, 3, 4\n"
            "END\n"))
      << error_;
  const auto& c = parsed_.dialogs.at(7).controls.at(0);
  EXPECT_EQ(c.text, "say \"hi\"");
  EXPECT_EQ(c.style & WS_VISIBLE, 0u);
  EXPECT_EQ(c.style & SS_NOTIFY, static_cast<DWORD>(SS_NOTIFY));
}

TEST_F(ScriptReader, UnknownFormsAreRefusedWithTheirLine) {
  EXPECT_FALSE(Parse("1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  LTEXT \"x\", 3, 0, 0, 1, 1\nEND\n"));
  EXPECT_NE(error_.find(":3:"), std::string::npos) << error_;
  EXPECT_FALSE(Parse("1 DIALOGEX 0, 0, 1, 1\nSTYLE WS_BOGUS\nBEGIN\nEND\n"));
  EXPECT_NE(error_.find("WS_BOGUS"), std::string::npos) << error_;
}

}  // namespace
