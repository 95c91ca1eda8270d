// The installation engine on the simulated spooler: flavours, copies, registration, the queue.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "install/driver_installer.h"
#include "package/driver_package.h"
#include "resources/resource.h"
#include "text_helpers.h"

namespace {

class InstallEngine : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    StageDriverFiles();
  }
  void Windows(DWORD major, WORD architecture) {
    sim::System().majorVersion = major;
    sim::System().nativeArchitecture = architecture;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& box : sim::MessageBoxes()) texts.push_back(box.text);
    return texts;
  }
  std::string Environment() {
    auto calls = sim::CallsOf("GetPrinterDriverDirectoryA");
    return calls.empty() ? "" : calls[0];
  }
  std::vector<std::string> Traces() {
    std::vector<std::string> traces;
    for (const auto& line : sim::DebugOutput())
      if (line.rfind("name=", 0) == 0) traces.push_back(line);
    return traces;
  }
  CDriverInstaller installer_;
};

TEST_F(InstallEngine, FlavourFollowsTheNativeArchitecture) {
  struct Case {
    WORD architecture;
    const char* environment;
  } cases[] = {{9, "Windows x64"},    {0, "Windows NT x86"}, {12, "Windows NT x86"},
               {5, "Windows NT x86"}, {6, "Windows NT x86"}, {0xFFFF, "Windows NT x86"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.architecture);
    sim::ClearCalls();
    Windows(6, c.architecture);
    installer_.InstallPrinter(0, "LPT1:");
    EXPECT_EQ(Environment(), std::string("null, \"") + c.environment + "\", 1, 256");
  }
}

TEST_F(InstallEngine, AnX86InstallationAsDefaultMakesExactlyTheseCalls) {
  Windows(6, 0);
  AddExistingPrinter("KV-80C");
  sim::ClearCalls();
  ASSERT_TRUE(installer_.InstallPrinter(1, "LPT1:"));
  const std::string dir = "\"C:\\Windows\\system32\\spool\\drivers\\W32X86\\";
  std::vector<std::string> expected = {
      "GetVersionExA(148)", "GetNativeSystemInfo()",
      "GetPrinterDriverDirectoryA(null, \"Windows NT x86\", 1, 256)",
      "DeleteFileA(" + dir + "KV80.DLL\")", "DeleteFileA(" + dir + "KV80C.GPD\")"};
  // Each file is copied only as the program's own, and read back from the driver directory.
  for (const char* file : kDriverFiles) {
    std::vector<std::string> copy = {
        "GetCurrentDirectoryA(260)",
        "CopyFileA(\"Windows NT x86\\" + std::string(file) + "\", " + dir + file + "\", 0)",
        "CreateFileA(" + dir + file + "\", 2147483648, 1, 3, 2097152)",
        "ReadFile(16384)",
        "ReadFile(16384)",
        "CloseHandle"};
    expected.insert(expected.end(), copy.begin(), copy.end());
  }
  std::vector<std::string> rest = {
      "AddPrinterDriverA(null, 3, 3, \"KV-80C\", \"Windows NT x86\", \"uniDRV.DLL\", "
      "\"KV80C.GPD\", \"uniDRVUI.DLL\", \"uniDRV.HLP\", "
      "\"TTFSUB.GPD\\0STDNAMES.GPD\\0UNIRES.DLL\\0KV80.DLL\\0\\0\", null, \"RAW\")",
      "Sleep(111)",
      "Sleep(111)",
      "EnumPrintersA(6, \"\", 2, 0)",
      "EnumPrintersA(6, \"\", 2, 157)",
      "lstrcmpiA(\"KV-80C\", \"KV-80C\")",
      "OutputDebugStringA(\"name=KV-80C,i=-1,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n\")",
      "lstrcmpiA(\"KV-80C\", \"KV-80C (copy 1)\")",
      "OutputDebugStringA(\"name=KV-80C,i=0,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n\")",
      "AddPrinterA(null, 2, null, \"KV-80C (copy 1)\", null, \"LPT1:\", \"KV-80C\", null, null, "
      "null, null, \"WinPrint\", \"RAW\", null, null, 64, 0, 0, 0, 0)",
      "Sleep(111)",
      "ClosePrinter()"};
  expected.insert(expected.end(), rest.begin(), rest.end());
  for (const char* file : kDriverFiles) expected.push_back("DeleteFileA(" + dir + file + "\")");
  expected.push_back("SetDefaultPrinterA(\"KV-80C (copy 1)\")");
  expected.push_back("MessageBoxA");
  auto log = CallLog();
  // The box's caption is the program's name, which depends on what ran before; handle values
  // are the machine's.
  if (!log.empty() && log.back().rfind("MessageBoxA(", 0) == 0) log.back() = "MessageBoxA";
  for (auto& call : log)
    if (call.rfind("CloseHandle(", 0) == 0) call = "CloseHandle";
  EXPECT_EQ(log, expected);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "The printer driver has been successfully installed on your computer!\r\n"
                         "Printer name : KV-80C (copy 1)\r\nPrinter port : LPT1:\r\n"});
  EXPECT_EQ(sim::Spooler().drivers.at(0).environment, "Windows NT x86");
}

TEST_F(InstallEngine, VersionClassPicksTheCopyFailureText) {
  // XP on AMD64: class 0, x64; Windows 10 telling 6: class 3, x64.
  StageDriverFiles({"Windows x64/UNIRES.DLL"});
  Windows(5, 9);
  EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
  Windows(6, 9);
  EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
  std::vector<std::string> expected = {
      "Malfunction !", "Malfunction !\nPls try using <Run as administrator>open this App"};
  EXPECT_EQ(Texts(), expected);
  EXPECT_EQ(sim::CountOf("AddPrinterDriverA"), 0);
}

TEST_F(InstallEngine, AMissingSourceFileStillCopiesTheOtherSeven) {
  StageDriverFiles({"Windows x64/UNIRES.DLL"});
  EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
  // The seven that are the program's own are still copied, and taken away again with the
  // refusal; the missing one is never looked for anywhere else.
  EXPECT_EQ(sim::CountOf("CopyFileA"), 7);
  std::string directory = sim::DriverDirectory("Windows x64");
  for (const char* file : kDriverFiles) EXPECT_FALSE(sim::PathExists(directory + "\\" + file));
  EXPECT_EQ(sim::CountOf("AddPrinterDriverA"), 0);
  EXPECT_TRUE(sim::Spooler().printers.empty());
}

TEST_F(InstallEngine, ChineseCopyFailureTextsOfTheX86Flavour) {
  installer_.userLanguage = 2052;
  sim::System().ansiCodePage = 936;
  Windows(6, 0);
  StageDriverFiles({"Windows NT x86/KV80C.GPD"});
  installer_.InstallPrinter(0, "LPT1:");
  Windows(5, 0);
  installer_.InstallPrinter(0, "LPT1:");
  Windows(5, 9);
  StageDriverFiles({"Windows x64/KV80C.GPD"});
  installer_.InstallPrinter(0, "LPT1:");
  std::vector<std::string> expected = {
      Gbk("安装过程发生错误！\n请尝试<以管理员身份运行>安装文件。"), Gbk("安装过程发生错误！"),
      Gbk("安装过程发生错误 !\r\n或者关闭您的杀毒软件后重试 !")};
  EXPECT_EQ(Texts(), expected);
}

TEST_F(InstallEngine, FailingVersionQueryDoesNothing) {
  sim::FailCall("GetVersionExA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(installer_.InstallPrinter(1, "LPT1:"));
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_EQ(sim::CountOf("CopyFileA"), 0);
  EXPECT_EQ(sim::CountOf("GetNativeSystemInfo"), 0);
}

TEST_F(InstallEngine, RegistersTheDriverRecordAndLeavesNoCopiesBehind) {
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  ASSERT_EQ(sim::Spooler().drivers.size(), 1u);
  const auto& d = sim::Spooler().drivers[0];
  EXPECT_EQ(d.name, "KV-80C");
  EXPECT_EQ(d.environment, "Windows x64");
  EXPECT_EQ(d.version, 3u);
  EXPECT_EQ(d.driverPath, "uniDRV.DLL");
  EXPECT_EQ(d.dataFile, "KV80C.GPD");
  EXPECT_EQ(d.configFile, "uniDRVUI.DLL");
  EXPECT_EQ(d.helpFile, "uniDRV.HLP");
  EXPECT_EQ(d.defaultDataType, "RAW");
  EXPECT_EQ(d.dependentFilesBytes,
            std::string("TTFSUB.GPD\0STDNAMES.GPD\0UNIRES.DLL\0KV80.DLL\0\0", 45));
  std::string directory = sim::DriverDirectory("Windows x64");
  for (const char* file : kDriverFiles) {
    EXPECT_FALSE(sim::PathExists(directory + "\\" + file)) << file;
    EXPECT_EQ(sim::FileBytes(directory + "\\3\\" + file), std::string("Windows x64 ") + file)
        << "the spooler's own copy";
  }
  EXPECT_EQ(sim::System().sleptMilliseconds, 333u);
}

TEST_F(InstallEngine, QueueRecordAndSuccessTextByteForByte) {
  AddExistingPrinter("KV-80C");
  ASSERT_TRUE(installer_.InstallPrinter(0, "USB001") == false);  // USB001 is no port yet
  sim::Spooler().ports.push_back("USB001");
  sim::ClearCalls();
  ASSERT_TRUE(installer_.InstallPrinter(0, "USB001"));
  const auto& p = sim::Spooler().printers.back();
  EXPECT_EQ(p.name, "KV-80C (copy 1)");
  EXPECT_EQ(p.port, "USB001");
  EXPECT_EQ(p.driver, "KV-80C");
  EXPECT_EQ(p.printProcessor, "WinPrint");
  EXPECT_EQ(p.dataType, "RAW");
  EXPECT_EQ(p.attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
  EXPECT_STREQ(installer_.installedPrinterName, "KV-80C (copy 1)");
  EXPECT_EQ(Texts().back(),
            "The printer driver has been successfully installed on your computer!\r\n"
            "Printer name : KV-80C (copy 1)\r\nPrinter port : USB001\r\n");
  EXPECT_EQ(sim::MessageBoxes().back().type, static_cast<UINT>(MB_OK));
  EXPECT_TRUE(sim::Spooler().openPrinters.empty());
}

TEST_F(InstallEngine, UniqueNameTraceLines) {
  AddExistingPrinter("Fax");
  AddExistingPrinter("KV-80C");
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  std::vector<std::string> expected = {
      "name=Fax,i=0,n=1.temStr=KV-80C,userLanguage=1033\r\n",
      "name=KV-80C,i=-1,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n",
      "name=Fax,i=0,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n",
      "name=KV-80C,i=1,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n"};
  EXPECT_EQ(Traces(), expected);
  EXPECT_STREQ(installer_.installedPrinterName, "KV-80C (copy 1)");
}

TEST_F(InstallEngine, UniqueNameWhateverTheOrderAndTheLanguage) {
  for (auto order : {std::vector<std::string>{"KV-80C", "KV-80C (copy 1)"},
                     std::vector<std::string>{"KV-80C (copy 1)", "KV-80C"}}) {
    sim::Spooler().printers.clear();
    for (const auto& name : order) AddExistingPrinter(name);
    ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
    EXPECT_STREQ(installer_.installedPrinterName, "KV-80C (copy 2)");
  }
  sim::Spooler().printers.clear();
  AddExistingPrinter("KV-80C");
  installer_.userLanguage = 2052;
  sim::System().ansiCodePage = 936;
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(std::string(installer_.installedPrinterName), Gbk("KV-80C (副本 1)"));
}

TEST_F(InstallEngine, NoPrinterGivesTheBaseNameAndOneTracePerPrinter) {
  AddExistingPrinter("Fax");
  AddExistingPrinter("Microsoft XPS");
  // A broken connection can be listed without a name: it clashes with nothing.
  AddExistingPrinter("\\\\gone\\KV-80C");
  sim::Spooler().printers.back().nameNull = true;
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_STREQ(installer_.installedPrinterName, "KV-80C");
  std::vector<std::string> expected = {
      "name=Fax,i=0,n=1.temStr=KV-80C,userLanguage=1033\r\n",
      "name=Microsoft XPS,i=1,n=1.temStr=KV-80C,userLanguage=1033\r\n",
      "name=,i=2,n=1.temStr=KV-80C,userLanguage=1033\r\n"};
  EXPECT_EQ(Traces(), expected);
}

// The spooler refuses a name that differs from a queue's only in letter case, so such a queue
// is a clash, in Chinese too.
TEST_F(InstallEngine, ANameDifferingOnlyInCaseIsAClash) {
  AddExistingPrinter("kv-80c");
  ASSERT_TRUE(installer_.InstallPrinter(1, "LPT1:"));
  EXPECT_EQ(sim::CallsOf("AddPrinterA"),
            std::vector<std::string>{"null, 2, null, \"KV-80C (copy 1)\", null, \"LPT1:\", "
                                     "\"KV-80C\", null, null, null, null, \"WinPrint\", \"RAW\", "
                                     "null, null, 64, 0, 0, 0, 0"});
  std::vector<std::string> traces = {
      "name=kv-80c,i=-1,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n",
      "name=kv-80c,i=0,n=2.temStr=KV-80C (copy 1),userLanguage=1033\r\n"};
  EXPECT_EQ(Traces(), traces);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "The printer driver has been successfully installed on your computer!\r\n"
                         "Printer name : KV-80C (copy 1)\r\nPrinter port : LPT1:\r\n"});
  EXPECT_EQ(sim::Spooler().defaultPrinter, "KV-80C (copy 1)");

  sim::Spooler().printers.clear();
  sim::System().ansiCodePage = 936;
  installer_.userLanguage = 2052;
  AddExistingPrinter(Gbk("kv-80C (副本 1)"));
  AddExistingPrinter("Kv-80c");
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(std::string(installer_.installedPrinterName), Gbk("KV-80C (副本 2)"));
}

TEST_F(InstallEngine, AFailedEnumerationCreatesUnderTheBaseName) {
  sim::FailCall("EnumPrintersA", ERROR_ACCESS_DENIED, 1);
  AddExistingPrinter("Fax");
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_STREQ(installer_.installedPrinterName, "KV-80C");
  EXPECT_TRUE(Traces().empty());
}

TEST_F(InstallEngine, DefaultPrinterOnlyWhenAskedAfterCreationBeforeTheText) {
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(sim::CountOf("SetDefaultPrinterA"), 0);
  sim::ClearCalls();
  ASSERT_TRUE(installer_.InstallPrinter(1, "LPT1:"));
  std::vector<std::string> order = {"AddPrinterA", "SetDefaultPrinterA", "MessageBoxA"};
  EXPECT_EQ(sim::CallSequence(order), order);
  EXPECT_EQ(sim::Spooler().defaultPrinter, "KV-80C (copy 1)");
}

TEST_F(InstallEngine, ARepeatedInstallationCopiesRegistersAndRemovesAgain) {
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  sim::ClearCalls();
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(sim::CountOf("CopyFileA"), 8);
  EXPECT_EQ(sim::CountOf("AddPrinterDriverA"), 1);
  EXPECT_EQ(sim::CountOf("DeleteFileA"), 10);
  EXPECT_EQ(sim::Spooler().printers.size(), 2u);
  EXPECT_EQ(sim::Spooler().drivers.size(), 1u);
}

TEST_F(InstallEngine, RefusedRegistrationShowsTheSystemTextThenOurs) {
  sim::FailCall("AddPrinterDriverA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(installer_.InstallPrinter(1, "LPT1:"));
  std::vector<std::string> expected = {"Access is denied.\r\n", "Install printer driver failed !"};
  EXPECT_EQ(Texts(), expected);
  EXPECT_EQ(sim::LocalAllocations(), 0) << "the system text is given back";
  // Allocated, from the system, inserts left alone, in the user's language.
  EXPECT_EQ(sim::CallsOf("FormatMessageA"), std::vector<std::string>{"4864, 5, 1024"});
  EXPECT_TRUE(sim::PathExists(sim::DriverDirectory("Windows x64") + "\\KV80.DLL"))
      << "the copies stay after a refused registration";
  EXPECT_EQ(sim::System().sleptMilliseconds, 111u);
  EXPECT_EQ(sim::CountOf("SetDefaultPrinterA"), 0);
}

TEST_F(InstallEngine, AnErrorWithoutSystemTextIsShownByItsCode) {
  installer_.userLanguage = 2052;
  sim::System().ansiCodePage = 936;
  sim::FailCall("AddPrinterDriverA", 1234);
  EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
  std::vector<std::string> expected = {
      "Error 1234 (0x4D2)", Gbk("安装打印机驱动过程发生错误 !\r\n请关闭您的杀毒软件后重试 !")};
  EXPECT_EQ(Texts(), expected);
}

TEST_F(InstallEngine, AFailedQueueCreationIsNoSuccess) {
  std::strcpy(installer_.installedPrinterName, "earlier");
  EXPECT_FALSE(installer_.InstallPrinter(1, "COM9:"));
  std::vector<std::string> expected = {"The specified port is unknown.\r\n", "Install Failed !"};
  EXPECT_EQ(Texts(), expected);
  EXPECT_STREQ(installer_.installedPrinterName, "earlier");
  EXPECT_EQ(sim::CountOf("SetDefaultPrinterA"), 0);
  for (const char* file : kDriverFiles)
    EXPECT_FALSE(sim::PathExists(sim::DriverDirectory("Windows x64") + "\\" + file));
}

TEST_F(InstallEngine, NoDriverDirectoryMeansNoCopyAnywhere) {
  sim::FailCall("GetPrinterDriverDirectoryA", RPC_S_SERVER_UNAVAILABLE);
  auto before = sim::Tree();
  EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(sim::CountOf("CopyFileA"), 0);
  EXPECT_EQ(sim::Tree(), before);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "Malfunction !\nPls try using <Run as administrator>open this App"});
}

TEST_F(InstallEngine, ADriverDirectoryTooLongForTheBufferIsNeitherDeletedNorWritten) {
  // 251 characters of directory: the 8-bit call wants the wide path's 504 bytes, more than the
  // 256 it is given, and a path that did fit would end past what a path may hold.
  sim::Spooler().driverRoot = "C:\\" + std::string(244, 'd');
  ASSERT_EQ(sim::DriverDirectory("Windows x64").size(), 251u);
  EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(sim::CountOf("DeleteFileA"), 0);
  EXPECT_EQ(sim::CountOf("CopyFileA"), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "Malfunction !\nPls try using <Run as administrator>open this App"});
}

TEST_F(InstallEngine, AChineseDisplayLanguageOnAnotherCodePageGetsEveryTextInEnglish) {
  // Code page 1252 (a language pack on an English system) and 65001 (UTF-8 for programs that
  // are not Unicode): GBK bytes would show as garbage and name the queue with them for good.
  for (UINT codePage : {1252u, 65001u}) {
    SCOPED_TRACE(codePage);
    sim::Reset();
    SetUp();
    sim::System().ansiCodePage = codePage;
    installer_.userLanguage = 2052;
    installer_.installedPrinterName[0] = '\0';
    StageDriverFiles({"Windows x64/KV80C.GPD"});
    EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
    StageDriverFiles();
    sim::FailCall("AddPrinterDriverA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
    EXPECT_FALSE(installer_.InstallPrinter(0, "COM9:"));
    AddExistingPrinter("KV-80C");
    ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
    std::vector<std::string> expected = {
        "Malfunction !\nPls try using <Run as administrator>open this App",
        "Access is denied.\r\n",
        "Install printer driver failed !",
        "The specified port is unknown.\r\n",
        "Install Failed !",
        "The printer driver has been successfully installed on your computer!\r\n"
        "Printer name : KV-80C (copy 1)\r\nPrinter port : LPT1:\r\n"};
    EXPECT_EQ(Texts(), expected);
    EXPECT_EQ(sim::Spooler().printers.back().name, "KV-80C (copy 1)");
    EXPECT_EQ(Traces().back(), "name=KV-80C,i=0,n=2.temStr=KV-80C (copy 1),userLanguage=2052\r\n")
        << "the trace still tells the display language";
  }
}

TEST_F(InstallEngine, ChineseSuccessText) {
  installer_.userLanguage = 2052;
  sim::System().ansiCodePage = 936;
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_EQ(Texts().back(), Gbk("打印机驱动已经成功的安装在您的电脑上 !\r\n打印机名称 : KV-80C\r\n"
                                "打印机端口 : LPT1:\r\n"));
}

// The Unidrv core in the version folder is every Unidrv printer's: a machine that has a newer
// one keeps it through an installation of the built package, while the model's own files are
// installed; a machine without one gets the package's.
TEST_F(InstallEngine, TheMachinesNewerUnidrvCoreStaysAndTheModelsOwnFilesAreInstalled) {
  std::ifstream zip(QM_DRIVER_PACKAGE_EN_ZIP, std::ios::binary);
  const std::string package{std::istreambuf_iterator<char>(zip), {}};
  ASSERT_FALSE(package.empty());
  const std::string versioned = sim::DriverDirectory("Windows x64") + "\\3\\";
  // As Windows 7 SP1 has them: a versioned user-mode UNIDRV.DLL 0.3.7601.17514, and the
  // standard names, both dated before the package's build.
  const std::string unidrv = VersionedImage(3, 0x1DB1448A), stdnames = "*% the machine's own";
  for (bool genuineCore : {true, false}) {
    SCOPED_TRACE(genuineCore ? "a machine with the genuine core" : "a machine without one");
    sim::Reset();
    sim::PutFolder(kTempFolder);
    sim::SetResource("ZIP", IDR_PACKAGE_EN, package);
    UnpackDriverPackage(1033);
    if (genuineCore) {
      sim::PutFile(versioned + "UNIDRV.DLL", unidrv);
      sim::PutFile(versioned + "STDNAMES.GPD", stdnames);
      SetWriteTime(versioned + "UNIDRV.DLL", 2010, 11, 20);
      SetWriteTime(versioned + "STDNAMES.GPD", 2009, 7, 14);
    }
    ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
    for (const char* file : kDriverFiles) {
      const std::string staged = sim::FileBytes(kStagingFolder + "\\Windows x64\\" + file);
      ASSERT_FALSE(staged.empty()) << file;
      std::string want = staged;
      if (genuineCore && std::strcmp(file, "UNIDRV.DLL") == 0) want = unidrv;
      if (genuineCore && std::strcmp(file, "STDNAMES.GPD") == 0) want = stdnames;
      EXPECT_TRUE(sim::FileBytes(versioned + file) == want) << file;
    }
  }
}

}  // namespace
