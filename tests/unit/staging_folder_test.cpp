// Unpacking into the staging folder and emptying it: only ever beneath that folder.
#include <cstring>

#include "install/driver_installer.h"
#include "package/archive_reader.h"
#include "package/driver_package.h"
#include "resources/resource.h"
#include "text_helpers.h"
#include "zip_builder.h"

namespace {

std::vector<ZipMember> SmallPackage(const std::string& marker) {
  return {{"Windows x64/", "", false, 0x10},
          {"Windows x64/KV80.DLL", "x64 " + marker},
          {"Windows NT x86/", "", false, 0x10},
          {"Windows NT x86/KV80.DLL", "x86 " + marker}};
}

class StagingFolder : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::PutFolder(kTempFolder);
    sim::SetResource("ZIP", IDR_PACKAGE_ZH, MakeZip(SmallPackage("chinese")));
    sim::SetResource("ZIP", IDR_PACKAGE_EN, MakeZip(SmallPackage("english")));
  }
  void CleanUp() {
    CDriverInstaller installer;
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    installer.DeleteFolderContents(current);
  }
};

TEST_F(StagingFolder, UnpacksTheLanguagesPackageAndMakesItCurrent) {
  UnpackDriverPackage(1031);
  EXPECT_EQ(sim::System().currentDirectory, kStagingFolder);
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\Windows NT x86\\KV80.DLL"), "x86 english");
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\Windows x64\\KV80.DLL"), "x64 english");
  UnpackDriverPackage(2052);
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\Windows NT x86\\KV80.DLL"), "x86 chinese");
}

TEST_F(StagingFolder, TheDialogUnpacksItsStartUpLanguagesPackageAndEmptiesItWhenItCloses) {
  sim::System().uiLanguage = 2052;
  bool opened = RunProgramThenEscape([](HWND d) {
    EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\Windows NT x86\\KV80.DLL"), "x86 chinese");
    // A switch of language later does not unpack again.
    for (int i = 0; i < 5; ++i) sim::DoubleClick(GetDlgItem(d, IDC_LANGUAGE_HOTSPOT));
    EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\Windows NT x86\\KV80.DLL"), "x86 chinese");
  });
  EXPECT_TRUE(opened);
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{}) << "emptied as the dialog goes";
  EXPECT_TRUE(sim::PathExists(kStagingFolder));
}

TEST_F(StagingFolder, LeftoversStayUntilTheCleanUp) {
  sim::PutFile(kStagingFolder + "\\old.txt", "left by an earlier run");
  UnpackDriverPackage(1033);
  EXPECT_TRUE(sim::PathExists(kStagingFolder + "\\old.txt"));
  CleanUp();
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
  EXPECT_TRUE(sim::PathExists(kStagingFolder)) << "the folder itself stays";
}

TEST_F(StagingFolder, NoTemporaryFolderMeansNothingAnywhere) {
  // A staging folder without its temporary folder would land in the current directory.
  sim::PutFolder(sim::System().currentDirectory);
  auto before = sim::Tree();
  sim::FailCall("GetTempPathW", ERROR_ACCESS_DENIED, 0, -1);
  char path[MAX_PATH];
  std::memset(path, 'x', sizeof path);
  EXPECT_FALSE(StagingFolderPath(path));
  UnpackDriverPackage(1033);
  sim::System().tempPath = "C:\\" + std::string(300, 't') + "\\";  // beyond the buffer
  EXPECT_FALSE(StagingFolderPath(path));
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::Tree(), before);
  EXPECT_EQ(sim::CountOf("CreateFileA"), 0);
  EXPECT_EQ(sim::CountOf("FindResourceA"), 0);
}

TEST_F(StagingFolder, APackageWhoseStagedPathsWouldPassTheLimitIsNeverBegun) {
  // The longest member, "Windows NT x86/KV80.DLL", is 23 characters: below a temporary folder
  // of 227 it would end at 260, one past what a path may hold.
  std::string deep = "C:\\" + std::string(223, 't') + "\\";
  sim::PutFolder(deep);
  sim::System().tempPath = deep;
  auto before = sim::Tree();
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::Tree(), before) << "not even the staging folder is made";
  EXPECT_EQ(sim::System().currentDirectory, "C:\\Program Files\\Korvex");
  // The installation then finds none of its files: the failed copy, and nothing registered.
  CDriverInstaller installer;
  EXPECT_FALSE(installer.InstallPrinter(0, "LPT1:"));
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text,
            "Malfunction !\nPls try using <Run as administrator>open this App");
  EXPECT_TRUE(sim::Spooler().drivers.empty());
  EXPECT_FALSE(sim::PathExists(deep + "Ostra2020"));
  // One shorter, the longest staged path is 259 characters and fits.
  std::string fits = "C:\\" + std::string(222, 't') + "\\";
  sim::PutFolder(fits);
  sim::System().tempPath = fits;
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::FileBytes(fits + "Ostra2020\\Windows NT x86\\KV80.DLL"), "x86 english");
  EXPECT_EQ(sim::System().currentDirectory, fits + "Ostra2020");
}

TEST_F(StagingFolder, AMissingTemporaryFolderIsMadeAgainButNothingAboveIt) {
  // A cleaning tool took the temporary folder: it is made again, and the package unpacked.
  ASSERT_TRUE(RemoveDirectoryA(kTempFolder.c_str()));
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\Windows NT x86\\KV80.DLL"), "x86 english");
  // A temporary folder whose parent is missing is no place of the user's: nothing is made.
  sim::System().tempPath = "C:\\Gone\\Deeper\\Temp\\";
  auto before = sim::Tree();
  sim::ClearCalls();
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::Tree(), before);
  EXPECT_EQ(sim::CallsOf("CreateDirectoryW"),
            std::vector<std::string>{"\"C:\\Gone\\Deeper\\Temp\\\""});
}

TEST_F(StagingFolder, ATemporaryFolderTheCodePageCannotSpellIsTakenInItsShortForm) {
  // A Chinese user name on an English system: GetTempPathA says "C:\Users\??\...".
  const std::string name = "\xE5\xBC\xA0\xE4\xBC\x9F";  // 张伟
  ASSERT_TRUE(sim::PutFolderWide("C:\\Users", name));
  const std::string profile = "C:\\Users\\" + name;  // as the sandbox names it
  sim::System().tempPathWide = profile + "\\AppData\\Local\\Temp\\";
  sim::PutFolder(profile + "\\AppData\\Local");  // the temporary folder itself is made
  char path[MAX_PATH] = {};
  ASSERT_TRUE(StagingFolderPath(path) == false) << "no short form of a folder that is not there";
  UnpackDriverPackage(1033);
  std::string shortName = sim::ShortNameOf("C:\\Users", name);
  ASSERT_EQ(shortName.size(), 6u);  // four hex digits of its hash, "~1"
  EXPECT_EQ(shortName.substr(4), "~1");
  const std::string staging = "C:\\Users\\" + shortName + "\\AppData\\Local\\Temp\\Ostra2020";
  ASSERT_TRUE(StagingFolderPath(path));
  EXPECT_EQ(std::string(path), staging + "\\");
  EXPECT_EQ(sim::System().currentDirectory, staging);
  EXPECT_EQ(sim::FileBytes(profile + "\\AppData\\Local\\Temp\\Ostra2020\\Windows x64\\KV80.DLL"),
            "x64 english");
  char given[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, given);
  EXPECT_EQ(std::string(given), "C:\\Users\\??\\AppData\\Local\\Temp\\");
  CleanUp();
  EXPECT_EQ(sim::Tree(profile + "\\AppData\\Local\\Temp\\Ostra2020"), std::vector<std::string>{});
}

TEST_F(StagingFolder, CleanUpComparesDoubleByteCharactersWhole) {
  sim::System().ansiCodePage = 936;
  // A lead byte then "A", or then "a": two different characters, not one in two letter cases.
  const std::string lead = "\x95";
  const std::string staging = "C:\\T" + lead + "A\\Ostra2020";
  sim::System().tempPath = "C:\\T" + lead + "A\\";
  sim::PutFolder("C:\\T" + lead + "A");
  UnpackDriverPackage(1033);
  auto unpacked = sim::Tree(staging);
  ASSERT_FALSE(unpacked.empty());
  sim::ClearCalls();
  CDriverInstaller installer;
  installer.DeleteFolderContents("C:\\T" + lead + "a\\Ostra2020");
  EXPECT_EQ(sim::CountOf("CreateFileA"), 0);
  EXPECT_EQ(sim::Tree(staging), unpacked);
  installer.DeleteFolderContents(staging);
  EXPECT_EQ(sim::Tree(staging), std::vector<std::string>{});
}

TEST_F(StagingFolder, OnAUtf8MachineTheCleanUpEmptiesItButForANameNoCodePageSpells) {
  // "UTF-8 for programs that are not Unicode" (code page 65001): the 8-bit names are UTF-8, and
  // the conversion takes no best-fit flag there. A lone surrogate has no UTF-8 spelling.
  sim::System().ansiCodePage = 65001;
  UnpackDriverPackage(1033);
  sim::PutFile(kStagingFolder + "\\caf\xC3\xA9.txt", "x");
  ASSERT_TRUE(sim::PutFolderWide(kStagingFolder, "\xE5\xBC\xA0\xE4\xBC\x9F"));  // 张伟
  sim::PutFile(kStagingFolder + "\\\xE5\xBC\xA0\xE4\xBC\x9F\\f.txt", "x");
  const std::string lone = "\xED\xA0\x80lone";
  ASSERT_TRUE(sim::PutFolderWide(kStagingFolder, lone));
  CleanUp();
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{kStagingFolder + "\\" + lone});
}

TEST_F(StagingFolder, AStagingLinkIsReplacedByARealFolder) {
  sim::PutFile("C:\\Important\\keep.txt", "not ours");
  ASSERT_TRUE(sim::MakeLink(kStagingFolder, "C:\\Important"));
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::AttributesOf(kStagingFolder), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  std::vector<std::string> untouched = {"C:\\Important\\keep.txt"};
  EXPECT_EQ(sim::Tree("C:\\Important"), untouched);
  EXPECT_TRUE(sim::PathExists(kStagingFolder + "\\Windows x64\\KV80.DLL"));
}

TEST_F(StagingFolder, CleanUpRemovesSubfoldersButNotReadOnlyFilesNorWhatLinksPointAt) {
  UnpackDriverPackage(1033);
  sim::PutFile(kStagingFolder + "\\sub\\deeper\\f.txt", "x");
  sim::PutFile(kStagingFolder + "\\locked\\ro.txt", "x", FILE_ATTRIBUTE_READONLY);
  sim::PutFile(kTempFolder + "\\neighbour.txt", "next to the staging folder");
  sim::PutFile("C:\\Elsewhere\\precious.txt", "x");
  ASSERT_TRUE(sim::MakeLink(kStagingFolder + "\\link", "C:\\Elsewhere"));
  CleanUp();
  std::vector<std::string> left = {kStagingFolder + "\\locked",
                                   kStagingFolder + "\\locked\\ro.txt"};
  EXPECT_EQ(sim::Tree(kStagingFolder), left);
  EXPECT_TRUE(sim::PathExists(kTempFolder + "\\neighbour.txt"));
  EXPECT_TRUE(sim::PathExists("C:\\Elsewhere\\precious.txt"));
}

TEST_F(StagingFolder, CleanUpOfAnyOtherFolderDeletesNothing) {
  sim::PutFile("C:\\Program Files\\Korvex\\Quillmate.exe", "the program");
  sim::PutFile(kTempFolder + "\\other.txt", "x");
  auto before = sim::Tree();
  CleanUp();  // the current directory was never made the staging folder
  CDriverInstaller installer;
  installer.DeleteFolderContents("");
  installer.DeleteFolderContents(kTempFolder);
  installer.DeleteFolderContents("C:\\");
  EXPECT_EQ(sim::Tree(), before);
  EXPECT_EQ(sim::CountOf("DeleteFileA") + sim::CountOf("RemoveDirectoryA"), 0);
}

TEST_F(StagingFolder, CleanUpTakesTheFolderInAnyLetterCaseAndWithASeparator) {
  UnpackDriverPackage(1033);
  CDriverInstaller installer;
  installer.DeleteFolderContents("c:\\users\\USER\\appdata\\local\\temp\\OSTRA2020\\");
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
}

TEST_F(StagingFolder, UnreadableResourceUnpacksNothing) {
  sim::SetResource("ZIP", IDR_PACKAGE_EN, "garbage, not a zip");
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
  EXPECT_EQ(sim::System().currentDirectory, kStagingFolder) << "the folder is still made current";
}

}  // namespace

namespace {

// The package the program carries: resource 138 in English, 129 in Chinese.
class RealPackage : public SimTest {};

TEST_F(RealPackage, TenFilesPerFolderWithTheArchiveAttributeOnly) {
  sim::PutFolder(kTempFolder);
  UnpackDriverPackage(1033);
  for (const char* folder : {"\\Windows x64", "\\Windows NT x86"}) {
    auto files = sim::Tree(kStagingFolder + folder);
    EXPECT_EQ(files.size(), 10u) << folder;
    for (const auto& file : files) EXPECT_EQ(sim::AttributesOf(file), 0x20u) << file;
  }
  EXPECT_EQ(sim::Tree(kStagingFolder).size(), 22u);
}

TEST_F(RealPackage, SummaryAndBoundsOnThePackage) {
  for (int id : {IDR_PACKAGE_ZH, IDR_PACKAGE_EN}) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "zip");
    ASSERT_NE(resource, nullptr);
    ArchiveReader* reader = ArchiveReader::OpenFromMemory(
        LockResource(LoadResource(nullptr, resource)), SizeofResource(nullptr, resource));
    ASSERT_NE(reader, nullptr);
    ArchiveItem item{};
    EXPECT_EQ(reader->GetItem(-1, item), ArchiveResult::Ok);
    EXPECT_EQ(item.index, 22);
    EXPECT_EQ(reader->GetItem(22, item), ArchiveResult::BadArgument);
    EXPECT_EQ(reader->GetItem(-2, item), ArchiveResult::BadArgument);
    ASSERT_EQ(reader->GetItem(11, item), ArchiveResult::Ok);
    EXPECT_STREQ(item.name, "Windows NT x86/");
    EXPECT_EQ(item.attributes, 0x10u);
    reader->Close();
  }
}

TEST_F(RealPackage, TheResourceLibraryFollowsTheStartUpLanguage) {
  sim::PutFolder(kTempFolder);
  const std::string dll = kStagingFolder + "\\Windows NT x86\\KV80.DLL";
  const std::string gpd = kStagingFolder + "\\Windows NT x86\\KV80C.GPD";
  UnpackDriverPackage(2052);
  std::string chinese = sim::FileBytes(dll), chineseGpd = sim::FileBytes(gpd);
  UnpackDriverPackage(1031);
  std::string german = sim::FileBytes(dll);
  UnpackDriverPackage(1033);
  std::string english = sim::FileBytes(dll);
  EXPECT_FALSE(chinese.empty());
  EXPECT_NE(chinese, english);
  EXPECT_EQ(german, english);
  EXPECT_EQ(chineseGpd, sim::FileBytes(gpd)) << "everything else is the same";
  // The Chinese library's strings are UTF-16: look for one of its option names.
  std::string cashDrawer = std::string("\xb1\x94\xb1\x7b", 4);  // 钱箱 in UTF-16LE
  EXPECT_NE(chinese.find(cashDrawer), std::string::npos);
  EXPECT_EQ(english.find(cashDrawer), std::string::npos);
}

}  // namespace
