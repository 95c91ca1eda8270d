// The test page: the calls in order and what lands on the page.
#include "install/driver_installer.h"
#include "resources/resource.h"
#include "text_helpers.h"

namespace {

class TestPage : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
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
  std::string body(24, 'W');
  for (int i = 0; i < 5; ++i) body += "\r\n" + std::string(24, 'W');
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
  EXPECT_TRUE(Dark(page, 10, 430, 26, 462)) << "the name's first cell starts at (10, 430)";
  EXPECT_FALSE(Dark(page, 0, 430, 10, 462));
  EXPECT_FALSE(Dark(page, 0, 400, 576, 430));
  // "  2024-..." at x -20: the two blanks fall off the page, the digits begin at x 12.
  EXPECT_TRUE(Dark(page, 12, 500, 28, 532));
  EXPECT_FALSE(Dark(page, 0, 500, 12, 532));
  EXPECT_TRUE(Dark(page, 0, 800, 400, 832)) << "the rule";
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
