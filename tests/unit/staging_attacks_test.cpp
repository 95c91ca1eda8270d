// Another program of the same user works in the shared staging folder before and while ours
// does: links planted at any depth or swapped in at the worst moment, names that best fit turns
// into parent references, device and stream names, records minizip would accept.
#include <cstring>
#include <memory>

#include "install/driver_installer.h"
#include "package/archive_reader.h"
#include "package/driver_package.h"
#include "package/own_objects.h"
#include "package/staged_files.h"
#include "resources/resource.h"
#include "text_helpers.h"
#include "zip_builder.h"

namespace {

const std::string kOutside = "C:\\Outside";
const std::string kVictim = "C:\\Victim";
const std::string kX64 = kStagingFolder + "\\Windows x64";
const std::string kX86 = kStagingFolder + "\\Windows NT x86";

class StagingAttack : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::PutFolder(kTempFolder);
    sim::PutFile(kOutside + "\\keep.txt", "outside");
    sim::PutFile(kOutside + "\\sub\\deep.txt", "outside, deeper");
    sim::PutFile(kVictim + "\\precious.txt", "precious");
    sim::SetResource("ZIP", IDR_PACKAGE_EN,
                     MakeZip({{"Windows x64/", "", false, 0x10},
                              {"Windows x64/KV80.DLL", "x64 library"},
                              {"Windows NT x86/", "", false, 0x10},
                              {"Windows NT x86/KV80.DLL", "x86 library"}}));
    outsideBefore_ = Snapshot();
  }
  void TearDown() override {
    // What the links pointed at keeps exactly its files and receives none.
    EXPECT_EQ(Snapshot(), outsideBefore_);
    EXPECT_TRUE(sim::DevicesAndStreamsWritten().empty());
    staged::Release();  // what the program holds until its clean-up
    EXPECT_EQ(sim::OpenFileCount(), 0) << "every handle is closed";
  }
  static std::vector<std::string> Snapshot() {
    std::vector<std::string> state;
    for (const std::string& root : {kOutside, kVictim})
      for (const auto& path : sim::Tree(root))
        state.push_back(
            path + "=" +
            (sim::AttributesOf(path) & FILE_ATTRIBUTE_DIRECTORY ? "folder" : sim::FileBytes(path)));
    return state;
  }
  static void CleanUp() {
    CDriverInstaller installer;
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    installer.DeleteFolderContents(current);
  }
  // A real folder that holds the package's file, no link on the way.
  static void ExpectUnpacked(const std::string& folder, const std::string& content) {
    EXPECT_EQ(sim::AttributesOf(folder), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY)) << folder;
    EXPECT_EQ(sim::AttributesOf(folder + "\\KV80.DLL"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE))
        << folder;
    EXPECT_EQ(sim::FileBytes(folder + "\\KV80.DLL"), content);
  }
  // Removes a real folder of ours and puts a link to `target` in its place, as another
  // program can when nothing holds the folder.
  static bool SwapForLink(const std::string& folder, const std::string& target) {
    DeleteFileA((folder + "\\KV80.DLL").c_str());
    if (!RemoveDirectoryA(folder.c_str())) return false;
    return sim::MakeLink(folder, target);
  }
  std::vector<std::string> outsideBefore_;
};

TEST_F(StagingAttack, AStagingFolderPlantedAsALinkIsNotLookedThrough) {
  ASSERT_TRUE(sim::MakeLink(kStagingFolder, kOutside));
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX64, "x64 library");
  ExpectUnpacked(kX86, "x86 library");
  EXPECT_EQ(sim::System().currentDirectory, kStagingFolder);
  CleanUp();
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
}

TEST_F(StagingAttack, ALinkPlantedAgainRightBeforeTheFolderIsMadeIsRemovedAgain) {
  ASSERT_TRUE(sim::MakeLink(kStagingFolder, kOutside));
  sim::BeforeCall("CreateDirectoryA", "Ostra2020", [] { sim::MakeLink(kStagingFolder, kOutside); });
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX64, "x64 library");
  CleanUp();
}

// Before each call of `function` on `name`, a link to the outside is planted there again if it
// is gone, up to `times` times.
void Replant(const char* function, const std::string& name, std::shared_ptr<int> times) {
  sim::BeforeCall(function, name, [function, name, times] {
    if (*times > 0 && sim::AttributesOf(name) == INVALID_FILE_ATTRIBUTES) {
      sim::MakeLink(name, kOutside);
      --*times;
    }
    Replant(function, name, times);
  });
}

TEST_F(StagingAttack, ANameThatKeepsChangingIsGivenUpAfterEightTurns) {
  // A folder: the planted link and five plantings more are each removed in a turn, the seventh
  // turn makes the folder and the eighth holds it. One planting more, and it is given up.
  for (int plantings : {5, 6}) {
    SCOPED_TRACE(plantings);
    const std::string name = kTempFolder + "\\held" + std::to_string(plantings);
    ASSERT_TRUE(sim::MakeLink(name, kOutside));
    Replant("GetFileAttributesA", name, std::make_shared<int>(plantings));
    EXPECT_EQ(static_cast<bool>(own::HoldFolder(name.c_str(), true, true)), plantings == 5);
  }
  // A file made new: each turn removes what is there and is beaten to the name by a planting.
  for (int plantings : {7, 8}) {
    SCOPED_TRACE(plantings);
    const std::string name = kTempFolder + "\\file" + std::to_string(plantings);
    ASSERT_TRUE(sim::MakeLink(name, kOutside));
    Replant("CreateFileA", name, std::make_shared<int>(plantings));
    EXPECT_EQ(static_cast<bool>(own::CreateOwnFile(name.c_str(), FILE_ATTRIBUTE_NORMAL)),
              plantings == 7);
  }
}

TEST_F(StagingAttack, ALinkSwappedForAFolderRightBeforeItIsRemovedIsNotTaken) {
  const std::string name = kTempFolder + "\\swapped";
  ASSERT_TRUE(sim::MakeLink(name, kOutside));
  // The first open looks at the link; before the second, which would remove it, a real folder
  // has taken its place: neither that folder nor the name is then ours.
  sim::BeforeCall("CreateFileA", name, [name] {
    sim::BeforeCall("CreateFileA", name, [name] {
      RemoveDirectoryA(name.c_str());
      CreateDirectoryA(name.c_str(), nullptr);
    });
  });
  EXPECT_FALSE(own::HoldFolder(name.c_str(), true, true));
  EXPECT_EQ(sim::AttributesOf(name), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(StagingAttack, LinksLeftInsideAreReplacedByRealFoldersAndFiles) {
  sim::PutFolder(kX86);
  ASSERT_TRUE(sim::MakeLink(kX64, kOutside));
  ASSERT_TRUE(sim::MakeLink(kX86 + "\\KV80.DLL", kVictim + "\\precious.txt"));
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX64, "x64 library");
  ExpectUnpacked(kX86, "x86 library");
  CleanUp();
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
}

TEST_F(StagingAttack, AFolderSwappedForALinkRightBeforeItsFileIsWrittenIsNotWrittenThrough) {
  sim::BeforeCall("CreateFileA", "Windows x64\\KV80.DLL", [] { SwapForLink(kX64, kOutside); });
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX64, "x64 library");
  CleanUp();
}

TEST_F(StagingAttack, AFileSwappedForALinkRightBeforeItIsWrittenIsNotWrittenThrough) {
  sim::PutFile(kX86 + "\\KV80.DLL", "left by an earlier run");
  sim::BeforeCall("CreateFileA", "Windows NT x86\\KV80.DLL", [] {
    DeleteFileA((kX86 + "\\KV80.DLL").c_str());
    sim::MakeLink(kX86 + "\\KV80.DLL", kVictim + "\\precious.txt");
  });
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX86, "x86 library");
  CleanUp();
}

TEST_F(StagingAttack, AFileBeingWrittenCannotBeOpenedOrReplacedByAnother) {
  sim::BeforeCall("WriteFile", "", [] {
    std::string file = kX64 + "\\KV80.DLL";
    HANDLE other = CreateFileA(file.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_FALSE(RemoveDirectoryA(kX64.c_str())) << "the folder is held while its file is written";
  });
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX64, "x64 library");
  CleanUp();
}

TEST_F(StagingAttack, WideNamesThatBestFitIntoParentReferencesAreNeverJoined) {
  UnpackDriverPackage(1033);
  // Full-width dots and backslashes: "..\..\..\..\..\..\Victim" in the 8-bit listing.
  std::string climb;
  for (int i = 0; i < 6; ++i) climb += "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC";
  ASSERT_TRUE(sim::PutFolderWide(kStagingFolder, climb + "Victim"));
  CleanUp();
  EXPECT_EQ(sim::FileBytes(kX86 + "\\KV80.DLL"), "") << "the package's files still go";
  EXPECT_FALSE(sim::PathExists(kX86));
}

TEST_F(StagingAttack, AFolderSwappedForALinkDuringTheCleanUpIsRemovedNotEmptied) {
  UnpackDriverPackage(1033);
  // The clean-up has listed the staging folder and works in the first folder; the other is
  // swapped before it gets there.
  sim::BeforeCall("", "Windows NT x86\\KV80.DLL", [] { SwapForLink(kX64, kOutside); });
  CleanUp();
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
}

TEST_F(StagingAttack, DeviceAndStreamMembersWriteNothingAnywhere) {
  std::vector<ZipMember> members;
  for (const char* name : {"LPT1", "Windows x64/LPT1", "lpt1.txt", "a/CON", "x/COM1 .log", "nul.",
                           "aux .x", "LPT\xB9", "CONOUT$", "Windows x64:evil", ":evil",
                           "file.txt:stream", "ends.", "blank ", "dir./f", "prn/f"})
    members.push_back({name, "bytes for a port"});
  members.push_back({"ok.txt", "fine"});
  sim::SetResource("ZIP", IDR_PACKAGE_EN, MakeRawZip(members));
  UnpackDriverPackage(1033);
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{kStagingFolder + "\\ok.txt"})
      << "nothing is created for a refused name, not even its folders";

  std::string zip = MakeRawZip({{"COM3.log", "x"}, {"s:t", "y"}});
  ArchiveReader* reader =
      ArchiveReader::OpenFromMemory(zip.data(), static_cast<uint32_t>(zip.size()));
  ASSERT_NE(reader, nullptr);
  reader->SetBaseFolder(kStagingFolder.c_str());
  EXPECT_EQ(reader->ExtractItem(0, "COM3.log"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(1, "s:t"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "C:\\LPT1"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "C:\\dir\\sub\\ok.log"), ArchiveResult::Ok)
      << "an absolute path's drive is no stream";
  reader->Close();
}

TEST_F(StagingAttack, RecordsMinizipWouldAcceptAreCorrupt) {
  // Method 12 in both headers: without bzip2 minizip would hand out the raw bytes.
  std::string bzip = MakeRawZip({{"a", "data"}});
  size_t central = bzip.find(std::string("PK\x01\x02", 4));
  bzip[central + 10] = 12;
  bzip[LocalHeaderOffset(bzip, 0) + 8] = 12;
  // A local size of 0xFFFFFFFF, which minizip takes for "see the 64-bit field" and skips.
  std::string sized = MakeRawZip({{"a", "data"}});
  size_t local = LocalHeaderOffset(sized, 0);
  for (int i = 0; i < 4; ++i) sized[local + 22 + i] = '\xff';
  for (const std::string* zip : {&bzip, &sized}) {
    ArchiveReader* reader =
        ArchiveReader::OpenFromMemory(zip->data(), static_cast<uint32_t>(zip->size()));
    ASSERT_NE(reader, nullptr);
    reader->SetBaseFolder(kStagingFolder.c_str());
    ArchiveItem item{};
    EXPECT_EQ(reader->GetItem(0, item), ArchiveResult::Corrupt);
    EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::Corrupt);
    reader->Close();
  }
  EXPECT_FALSE(sim::PathExists(kStagingFolder + "\\a"));
}

TEST_F(StagingAttack, AnHonestEarlierRunsLeftoversAreStillOverwrittenAndCleaned) {
  sim::PutFile(kX64 + "\\KV80.DLL", "an older library");
  sim::PutFile(kX86 + "\\old.tmp", "left over");
  UnpackDriverPackage(1033);
  ExpectUnpacked(kX64, "x64 library");
  EXPECT_EQ(sim::FileBytes(kX86 + "\\old.tmp"), "left over");
  CleanUp();
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
  EXPECT_TRUE(sim::PathExists(kStagingFolder)) << "the folder itself stays";
}

// The name rules on their own, at their edges.
class OwnNames : public SimTest {};

TEST_F(OwnNames, PartsAndFinalSeparators) {
  struct Case {
    const char* part;
    bool own;     // one entry of its folder
    bool unsafe;  // Windows would not take it for a plain name
  };
  const Case cases[] = {
      {"KV80.DLL", true, false}, {"", false, false},      {".", false, false},
      {"..", false, false},      {"...", false, true},    {". .", false, true},
      {"a.", true, true},        {"a ", true, true},      {"\\x", false, false},
      {"/x", false, false},      {":x", false, true},     {"x:", false, true},
      {"CON", true, true},       {"prn.txt", true, true}, {"Aux ", true, true},
      {"nul .log", true, true},  {"CONIN$", true, true},  {"conout$.x", true, true},
      {"COM0", true, true},      {"lpt9", true, true},    {"LPT\xB9", true, true},
      {"COM\xB2.x", true, true}, {"COM\xB3", true, true}, {"COM10", true, false},
      {"LPT", true, false},      {"CONS", true, false},   {"XCON", true, false},
      {"COMA", true, false},     {"LPT1x", true, false},  {"NUL_", true, false},
      {"XON", true, false},      {"aUz", true, false},    {"Con", true, true},
  };
  for (const Case& c : cases) {
    size_t length = std::strlen(c.part);
    EXPECT_EQ(own::IsOwnPathPart(c.part, length), c.own) << '"' << c.part << '"';
    EXPECT_EQ(own::IsUnsafePathPart(c.part, length), c.unsafe) << '"' << c.part << '"';
  }
  // A part is judged by its length alone: what follows it in the path is another part.
  EXPECT_TRUE(own::IsOwnPathPart("KV80.DLL\\x", 8));
  EXPECT_TRUE(own::IsUnsafePathPart("CON\\x", 3));
  EXPECT_EQ(own::WithoutFinalSeparator("C:\\T\\S\\"), "C:\\T\\S");
  EXPECT_EQ(own::WithoutFinalSeparator("C:\\T/\\/"), "C:\\T");
  EXPECT_EQ(own::WithoutFinalSeparator("C:\\"), "C:\\") << "the drive's root keeps its separator";
  EXPECT_EQ(own::WithoutFinalSeparator("\\"), "\\");
  EXPECT_EQ(own::WithoutFinalSeparator(""), "");
  sim::System().ansiCodePage = 936;
  EXPECT_EQ(own::WithoutFinalSeparator("a\x95\x5c"), "a\x95\x5c") << "half of a character stays";
}

}  // namespace
