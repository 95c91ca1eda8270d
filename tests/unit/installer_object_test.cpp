// The installer object's construction, its tables and the message catalogue.
#include "install/driver_installer.h"
#include "text_helpers.h"

namespace {

class InstallerObject : public SimTest {};

TEST_F(InstallerObject, TablesHoldTheSevenModelRows) {
  CDriverInstaller installer;
  const char* models[] = {"KV-58", "KV-58C", "KV-80", "KV-80C", "KV-90", "KV-76", "KV-76C"};
  const char* gpds[] = {"KV58.GPD", "KV58C.GPD", "KV80.GPD", "KV80C.GPD",
                        "KV90.GPD", "KV76.GPD",  "KV76C.GPD"};
  const char* dlls[] = {"KV58.DLL", "KV58.DLL", "KV80.DLL", "KV80.DLL",
                        "KV90.DLL", "KV76.DLL", "KV76.DLL"};
  for (int row = 0; row < 7; ++row) {
    EXPECT_EQ(installer.modelNames[row], models[row]);
    EXPECT_EQ(installer.gpdNames[row], gpds[row]);
    EXPECT_EQ(installer.dllNames[row], dlls[row]);
  }
  EXPECT_EQ(installer.modelNames[CDriverInstaller::kInstalledModel], "KV-80C");
  EXPECT_EQ(installer.connectionKinds[0], "USB");
  EXPECT_EQ(installer.connectionKinds[1], "Another");
  const char* windows[] = {"Windows 2000",  "Windows XP", "Windows 2003",
                           "Windows Vista", "Windows 7",  "Windows 8",
                           "Windows 8.1",   "Windows 10", "Windows 10.1"};
  for (int row = 0; row < 9; ++row) EXPECT_STREQ(installer.windowsNames[row], windows[row]);
  EXPECT_STREQ(installer.installedPrinterName, "");
}

// A net.exe another program of the user put beside the exe or in the current directory would
// be found first by a bare name; only the system's starts the stopped service.
TEST_F(InstallerObject, StartsTheSystemsNetHiddenWithoutWaiting) {
  for (const std::string& planted : {std::string(), kExeFolder, kStagingFolder}) {
    SCOPED_TRACE(planted);
    sim::Reset();
    sim::System().currentDirectory = kStagingFolder;
    ASSERT_TRUE(sim::PutFolder(kStagingFolder));
    if (!planted.empty()) {
      ASSERT_TRUE(sim::PutFile(planted + "\\net.exe", "MZ planted"));
    }
    sim::Spooler().service = sim::SpoolerState::Service::Stopped;
    CDriverInstaller installer;
    ASSERT_EQ(sim::Processes().size(), 1u);
    const auto& p = sim::Processes()[0];
    EXPECT_EQ(p.via, "ShellExecuteA") << "the plain call: no process handle to wait on";
    EXPECT_EQ(p.owner, nullptr);
    EXPECT_EQ(p.verb, "open");
    EXPECT_EQ(p.file, kSystemNet);
    EXPECT_EQ(p.ran, kSystemNet);
    EXPECT_EQ(p.parameters, "start spooler");
    EXPECT_EQ(p.directory, kSystemFolder);
    EXPECT_EQ(p.show, SW_HIDE);
    EXPECT_EQ(sim::CountOf("WaitForSingleObject"), 0);
    sim::PassTime(sim::ServiceTimes().start);
    EXPECT_EQ(sim::Spooler().service, sim::SpoolerState::Service::Running);
  }
}

// Without the system directory, or with one too long for the path, nothing is started: not even
// the net.exe beside the exe.
TEST_F(InstallerObject, WithoutTheSystemDirectoryNothingStarts) {
  for (int length : {0, 252, 259, 260}) {
    SCOPED_TRACE(length);
    sim::Reset();
    ASSERT_TRUE(sim::PutFile(kExeFolder + "\\net.exe", "MZ planted"));
    if (length == 0) {
      sim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
    } else {
      sim::System().systemDirectory = "C:\\" + std::string(length - 3, 's');
    }
    CDriverInstaller installer;
    EXPECT_TRUE(sim::Processes().empty());
    EXPECT_EQ(sim::CountOf("ShellExecuteA"), 0);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(installer.userLanguage, 1033u);
  }
  // The longest system directory whose net.exe still fits the path.
  sim::Reset();
  std::string longest = "C:\\" + std::string(251 - 3, 's');
  sim::System().systemDirectory = longest;
  ASSERT_TRUE(sim::PutFile(longest + "\\net.exe", "MZ"));
  CDriverInstaller installer;
  ASSERT_EQ(sim::Processes().size(), 1u);
  EXPECT_EQ(sim::Processes()[0].ran, longest + "\\net.exe");
  EXPECT_EQ(sim::Processes()[0].directory, longest);
}

TEST_F(InstallerObject, ARefusedSpoolerStartGoesUnnoticed) {
  sim::FailCall("ShellExecuteA", ERROR_ACCESS_DENIED);
  CDriverInstaller installer;
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_EQ(installer.userLanguage, 1033u);
}

TEST_F(InstallerObject, UserLanguageIsTheUiLanguageWidened) {
  for (LANGID language : {2052, 1033, 1028, 0x8001}) {
    sim::System().uiLanguage = language;
    CDriverInstaller installer;
    EXPECT_EQ(installer.userLanguage, static_cast<DWORD>(language));
  }
}

TEST(InstallMessagesTest, ChineseOnlyFor2052OnAChineseCodePageAndNeverMixed) {
  sim::Reset();
  sim::System().ansiCodePage = 936;
  InstallMessages messages{};
  messages.Load(2052);
  EXPECT_EQ(std::string(messages.installFailed), Gbk("安装失败！"));
  EXPECT_EQ(std::string(messages.malfunctionRunAsAdmin),
            Gbk("安装过程发生错误！\n请尝试<以管理员身份运行>安装文件。"));
  messages.Load(1033);
  const char* const* entries = &messages.selectSeries;
  for (int i = 0; i < 11; ++i) {
    for (const char* p = entries[i]; *p; ++p)
      ASSERT_LT(static_cast<unsigned char>(*p), 0x80) << "entry " << i << " is not English";
  }
  for (DWORD other : {1028u, 1041u, 0u}) {
    messages.Load(other);
    EXPECT_STREQ(messages.installFailed, "Install Failed !");
  }
  // A Chinese display language where the 8-bit calls read another code page: GBK bytes would
  // be garbage there, so every entry, the test page's body included, is the English one.
  InstallMessages english{};
  english.Load(1033);
  for (UINT codePage : {1252u, 65001u}) {
    sim::System().ansiCodePage = codePage;
    messages.Load(2052);
    for (int i = 0; i < 11; ++i)
      EXPECT_STREQ(entries[i], (&english.selectSeries)[i]) << "entry " << i << " on " << codePage;
  }
}

TEST(InstallMessagesTest, BothCataloguesByteForByte) {
  const char* const english[] = {
      "Plese select a printer series",
      "Malfunction !",
      "Malfunction !\nPls try using <Run as administrator>open this App",
      "Install Failed !",
      "Succeed !\nClick <OK> to exit !",
      "Succeed !\nPrint test page ?\nClick<Yes>to print test page .\nClick<No>to exit .",
      "Set default printer ?",
      "Install Now",
      "               .  \r\n\r\n\r\n\r\n\r\n  Congratulations !   \r\nIf you can read this\r\n"
      "information you have \r\nsucceed intall this\r\nprinter driver !  \r\n\r\nPrinter Name:\r\n"
      "\r\n\r\n\r\n\r\n ** Test page end **\r\n",
      "Install printer driver failed !",
      "Your system does not support this installation,\n Try to use the <Add Printer> to install ?",
  };
  const char* const chinese[] = {
      "请选择一个打印机类型",
      "安装过程发生错误！",
      "安装过程发生错误！\n请尝试<以管理员身份运行>安装文件。",
      "安装失败！",
      "安装成功！\n点击<确定>将退出此程序！",
      "安装成功！\n是否打印测试页？\n选择<是>将打印测试页。\n选择<否>将退出此程序。",
      "是否设置成默认打印机",
      "开始安装",
      "               .  \r\n\r\n\r\n\r\n\r\n        恭喜！      \r\n如果您可以读取这个 \r\n"
      "信息，说明打印机驱 \r\n动已经安装成功了！  \r\n感谢您的使用！  \r\n\r\n打印机名称：\r\n"
      "\r\n\r\n\r\n\r\n   ** 测试页结束 **\r\n",
      "安装打印机驱动过程发生错误！",
      "您的系统不支持此安装方式，\n是否尝试使用<添加打印机>方式进行安装？",
  };
  sim::Reset();
  sim::System().ansiCodePage = 936;
  InstallMessages m{};
  const char* const* entries = &m.selectSeries;
  m.Load(1033);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(std::string(entries[i]), english[i]) << i;
  m.Load(2052);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(std::string(entries[i]), Gbk(chinese[i])) << i;
}

// Seventeen lines each ended by CR LF, with their blanks.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "the last line ends with CR LF";
  return lines;
}

TEST(InstallMessagesTest, TestPageBodiesHaveSeventeenLines) {
  sim::Reset();
  sim::System().ansiCodePage = 936;
  InstallMessages m{};
  auto english = Lines(m.Load(1033).testPageText);
  auto chinese = Lines(m.Load(2052).testPageText);
  ASSERT_EQ(english.size(), 17u);
  ASSERT_EQ(chinese.size(), 17u);
  EXPECT_EQ(english[0], "               .  ");
  EXPECT_EQ(chinese[0], english[0]);
  EXPECT_EQ(english[5], "  Congratulations !   ");
  EXPECT_EQ(english[8], "succeed intall this");
  EXPECT_EQ(english[11], "Printer Name:");
  EXPECT_EQ(english[16], " ** Test page end **");
  EXPECT_EQ(chinese[5], Gbk("        恭喜！      "));
  EXPECT_EQ(chinese[11], Gbk("打印机名称："));
  EXPECT_EQ(chinese[16], Gbk("   ** 测试页结束 **"));
  for (int empty : {1, 2, 3, 4, 10, 12, 13, 14, 15}) {
    EXPECT_EQ(english[empty], "") << empty;
    EXPECT_EQ(chinese[empty], "") << empty;
  }
}

}  // namespace
