// The test page: the calls in order and what lands on the page.
#include <minizip/unzip.h>

#include <functional>

#include "install/driver_installer.h"
#include "resources/resource.h"
#include "text_helpers.h"

namespace {

// A member of the package this build packs, read whole.
std::string PackageMember(const char* archive, const std::string& name) {
  std::string bytes;
  unzFile zip = unzOpen64(archive);
  if (zip != nullptr && unzLocateFile(zip, name.c_str(), 1) == UNZ_OK &&
      unzOpenCurrentFile(zip) == UNZ_OK) {
    char buffer[16384];
    int n;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
    unzCloseCurrentFile(zip);
  }
  if (zip != nullptr) unzClose(zip);
  return bytes;
}

// The package's driver registered as the installer registers it for the machine's own
// environment, so the printer's context starts in the driver's own default font.
void RegisterPackageDriver() {
  const std::string environment = sim::System().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64
                                      ? "Windows x64"
                                      : "Windows NT x86";
  const std::string directory = sim::DriverDirectory(environment);
  sim::PutFolder(directory);
  for (const char* file : kDriverFiles)
    ASSERT_TRUE(sim::PutFile(directory + "\\" + file,
                             PackageMember(QM_DRIVER_PACKAGE_EN_ZIP, environment + "/" + file)));
  char dependent[] = "TTFSUB.GPD\0STDNAMES.GPD\0UNIRES.DLL\0KV80.DLL\0";
  DRIVER_INFO_3A info{};
  info.cVersion = 3;
  info.pName = const_cast<char*>("KV-80C");
  info.pEnvironment = const_cast<char*>(environment.c_str());
  info.pDriverPath = const_cast<char*>("UNIDRV.DLL");
  info.pDataFile = const_cast<char*>("KV80C.GPD");
  info.pConfigFile = const_cast<char*>("UNIDRVUI.DLL");
  info.pHelpFile = const_cast<char*>("UNIDRV.HLP");
  info.pDependentFiles = dependent;
  info.pDefaultDataType = const_cast<char*>("RAW");
  ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info)));
}

class TestPage : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    RegisterPackageDriver();
    sim::PrinterRecord p;
    p.name = "KV-80C (copy 1)";
    p.port = "USB001";
    p.driver = "KV-80C";
    sim::Spooler().printers.push_back(p);
    sim::System().localTime = {2024, 3, 2, 5, 14, 7, 9, 0};
  }
  const sim::Page& Print(const std::string& body, const char* queue = "KV-80C (copy 1)") {
    HBITMAP logo = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO));
    EXPECT_NE(logo, nullptr);
    installer_.PrintTestPage(queue, logo, body.c_str());
    DeleteObject(logo);
    EXPECT_EQ(sim::OpenDeviceContexts(), 0) << "every device context is released";
    static const sim::Page none;
    return sim::PrintJobs().empty() ? none : sim::PrintJobs().back().pages.at(0);
  }
  static bool Dark(const sim::Page& page, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x)
        if (page.At(x, y) < 128) return true;
    return false;
  }
  CDriverInstaller installer_;
};

TEST_F(TestPage, CallsInOrderWithTheirArguments) {
  InstallMessages m{};
  Print(m.Load(1033).testPageText);
  std::vector<std::string> calls = sim::CallSequence(
      {"GetObjectA", "CreateCompatibleDC", "SelectObject", "CreateDCA", "StartDocA", "StartPage",
       "DrawTextA", "BitBlt", "TextOutA", "GetLocalTime", "EndPage", "EndDoc", "DeleteDC"});
  std::vector<std::string> expected = {"GetObjectA",   "CreateCompatibleDC",
                                       "SelectObject", "CreateDCA",
                                       "StartDocA",    "StartPage",
                                       "DrawTextA",    "BitBlt",
                                       "TextOutA",     "GetLocalTime",
                                       "TextOutA",     "TextOutA",
                                       "EndPage",      "EndDoc",
                                       "DeleteDC",     "SelectObject",
                                       "DeleteDC"};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(sim::CallsOf("CreateDCA"), std::vector<std::string>{"null, \"KV-80C (copy 1)\", null"});
  EXPECT_EQ(sim::CallsOf("StartDocA"),
            std::vector<std::string>{std::to_string(sizeof(DOCINFOA)) +
                                     ", \"KV-80C (copy 1)\", null, null, 0"});
  auto draw = sim::CallsOf("DrawTextA").at(0);
  EXPECT_NE(draw.find(", 10, 10, 400, 500, 256"), std::string::npos) << "DT_NOCLIP alone";
  EXPECT_EQ(sim::CallsOf("BitBlt"), std::vector<std::string>{"30, 20, 308, 87, 0, 0, 13369376"});
  std::vector<std::string> texts = {"10, 430, \"KV-80C (copy 1)\", 15",
                                    "-20, 500, \"  2024-03-05 14:07:09\", 21",
                                    "-20, 800, \"----------------------------\", 28"};
  EXPECT_EQ(sim::CallsOf("TextOutA"), texts);
  ASSERT_EQ(sim::PrintJobs().size(), 1u);
  EXPECT_TRUE(sim::PrintJobs()[0].ended);
  EXPECT_EQ(sim::PrintJobs()[0].pages.size(), 1u);
}

TEST_F(TestPage, LogoCoversTheBodyWithinItsRectangle) {
  std::string body(32, 'W');
  for (int i = 0; i < 5; ++i) body += "\r\n" + std::string(32, 'W');
  const sim::Page& page = Print(body);
  HBITMAP logo = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO));
  sim::Page logoOnly = page;
  // The logo's area holds the logo's pixels exactly, whatever the text drew there.
  sim::Reset();
  SetUp();
  const sim::Page& blank = Print("");
  for (int y = 20; y < 107; ++y)
    for (int x = 30; x < 338; ++x) ASSERT_EQ(logoOnly.At(x, y), blank.At(x, y)) << x << "," << y;
  EXPECT_TRUE(Dark(blank, 30, 20, 338, 107));
  EXPECT_FALSE(Dark(blank, 0, 0, 576, 20)) << "no logo pixel above y 20";
  EXPECT_FALSE(Dark(blank, 0, 107, 576, 430)) << "no logo pixel below y 106";
  EXPECT_FALSE(Dark(blank, 338, 0, 576, 107)) << "no logo pixel right of x 337";
  EXPECT_TRUE(Dark(logoOnly, 338, 20, 400, 107)) << "the body shows beside the logo";
  DeleteObject(logo);
}

TEST_F(TestPage, QueueNameDateAndRuleWhereTheyBelong) {
  const sim::Page& page = Print("");
  // The driver's default font: 12 dots a single-byte cell, 34 a line, the glyph 24 high.
  EXPECT_TRUE(Dark(page, 10, 430, 22, 454)) << "the name's first cell starts at (10, 430)";
  EXPECT_FALSE(Dark(page, 0, 430, 10, 464));
  EXPECT_FALSE(Dark(page, 0, 400, 576, 430));
  EXPECT_FALSE(Dark(page, 0, 454, 576, 500)) << "below the glyphs, the cell's gap";
  // "  2024-..." at x -20: the two blanks fall off the page, the digits begin at x 4.
  EXPECT_TRUE(Dark(page, 4, 500, 16, 524));
  EXPECT_FALSE(Dark(page, 0, 500, 4, 534));
  EXPECT_TRUE(Dark(page, 0, 800, 336, 824)) << "the rule";
  EXPECT_FALSE(Dark(page, 316, 800, 576, 834)) << "28 cells of 12 dots from x -20";
}

// Each element drawn alone, as the page draws it, on the same printer.
sim::Page Alone(const std::function<void(HDC)>& draw) {
  HDC dc = CreateDCA(nullptr, "KV-80C (copy 1)", nullptr, nullptr);
  DOCINFOA document{};
  document.cbSize = sizeof document;
  document.lpszDocName = "alone";
  StartDocA(dc, &document);
  StartPage(dc);
  draw(dc);
  EndPage(dc);
  EndDoc(dc);
  DeleteDC(dc);
  return sim::PrintJobs().back().pages.at(0);
}

TEST_F(TestPage, EveryElementShowsWholeInBothLanguages) {
  const std::string queue = "KV-80C (copy 1)", date = "  2024-03-05 14:07:09";
  const std::string rule(28, '-');
  for (LANGID language : {LANGID{1033}, LANGID{2052}}) {
    sim::System().ansiCodePage = language == 2052 ? 936 : 1252;
    InstallMessages m{};
    const std::string body = m.Load(language).testPageText;
    const sim::Page page = Print(body);
    struct Element {
      const char* what;
      sim::Page ink;
    };
    const Element elements[] = {
        {"body", Alone([&](HDC dc) {
           RECT r{10, 10, 400, 500};
           DrawTextA(dc, body.c_str(), static_cast<int>(body.size()), &r, DT_NOCLIP);
         })},
        {"queue name", Alone([&](HDC dc) { TextOutA(dc, 10, 430, queue.c_str(), 15); })},
        {"date", Alone([&](HDC dc) { TextOutA(dc, -20, 500, date.c_str(), 21); })},
        {"rule", Alone([&](HDC dc) { TextOutA(dc, -20, 800, rule.c_str(), 28); })},
    };
    for (const Element& e : elements) {
      int lost = 0, firstX = -1, firstY = -1;
      for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
          // The logo is drawn over the body's top on purpose.
          bool underLogo = x >= 30 && x < 338 && y >= 20 && y < 107;
          if (e.ink.At(x, y) < 128 && page.At(x, y) >= 128 && !underLogo && !lost++)
            firstX = x, firstY = y;
        }
      EXPECT_EQ(lost, 0) << language << ": the " << e.what << " loses " << lost
                         << " dots under a later element, the first at (" << firstX << ", "
                         << firstY << ")";
    }
  }
}

TEST_F(TestPage, ALongBodyRunsOnBelowTheRectangle) {
  std::string body;
  for (int i = 0; i < 20; ++i) body += "line\r\n";
  const sim::Page& page = Print(body);
  EXPECT_TRUE(Dark(page, 10, 560, 80, 650)) << "lines 18 and 19 lie below y 500";
}

TEST_F(TestPage, ChineseBodyOnAChineseSystem) {
  sim::System().ansiCodePage = 936;
  InstallMessages m{};
  const sim::Page& page = Print(m.Load(2052).testPageText);
  EXPECT_TRUE(Dark(page, 10, 170, 400, 330)) << "the Chinese message lines are drawn";
}

TEST_F(TestPage, AnUnknownQueuePrintsNothingAndSaysNothing) {
  Print("body", "No Such Printer");
  EXPECT_TRUE(sim::PrintJobs().empty());
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_EQ(sim::CountOf("StartDocA"), 0);
}

}  // namespace
