// ArchiveReader on archives made here: records, names, times, attributes, extraction and damage.
#include <cstring>
#include <memory>

#include "package/archive_reader.h"
#include "text_helpers.h"
#include "zip_builder.h"

namespace {

struct ReaderCloser {
  void operator()(ArchiveReader* r) const {
    if (r) r->Close();
  }
};
using Reader = std::unique_ptr<ArchiveReader, ReaderCloser>;

constexpr unsigned long long kUnixEpoch = 116444736000000000ULL;

unsigned long long Ticks(const FILETIME& t) {
  return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
  return s;
}

class ArchiveReaderTest : public SimTest {
 protected:
  Reader Open(const std::string& bytes) {
    bytes_ = bytes;
    return Reader(
        ArchiveReader::OpenFromMemory(bytes_.data(), static_cast<uint32_t>(bytes_.size())));
  }
  ArchiveItem Item(ArchiveReader& reader, int index) {
    ArchiveItem item{};
    EXPECT_EQ(reader.GetItem(index, item), ArchiveResult::Ok);
    return item;
  }
  std::string bytes_;
};

TEST_F(ArchiveReaderTest, SummaryRecordAndIndexBounds) {
  auto reader = Open(MakeZip({{"a.txt", "alpha"}, {"b.txt", "beta"}}));
  ASSERT_TRUE(reader);
  ArchiveItem summary;
  std::memset(&summary, 0x5a, sizeof summary);
  ASSERT_EQ(reader->GetItem(-1, summary), ArchiveResult::Ok);
  EXPECT_EQ(summary.index, 2);
  EXPECT_STREQ(summary.name, "");
  EXPECT_EQ(summary.attributes, 0u);
  EXPECT_EQ(Ticks(summary.writeTime) | Ticks(summary.accessTime) | Ticks(summary.createTime), 0u);
  EXPECT_EQ(summary.packedSize | summary.unpackedSize, 0u);
  ArchiveItem untouched = Item(*reader, 1);
  for (int bad : {2, -2, 1000}) {
    EXPECT_EQ(reader->GetItem(bad, untouched), ArchiveResult::BadArgument);
    EXPECT_EQ(reader->ExtractItem(bad, "x"), ArchiveResult::BadArgument);
  }
  EXPECT_STREQ(untouched.name, "b.txt") << "a refused index leaves the record as it was";
}

TEST_F(ArchiveReaderTest, CachedRecordSurvivesASummaryAndDoesNotReadTheArchive) {
  auto reader = Open(MakeZip({{"a.txt", "alpha"}}));
  ArchiveItem first = Item(*reader, 0);
  ArchiveItem summary{};
  reader->GetItem(-1, summary);
  // Spoil the member's local header: only a cached answer can still be Ok.
  bytes_[LocalHeaderOffset(bytes_, 0)] = 'X';
  ArchiveItem again{};
  ASSERT_EQ(reader->GetItem(0, again), ArchiveResult::Ok);
  EXPECT_EQ(std::memcmp(&first, &again, sizeof first), 0);
}

TEST_F(ArchiveReaderTest, AttributesByHost) {
  struct Case {
    uint16_t made;
    uint32_t external;
    uint32_t expected;
  } cases[] = {
      {0x0314, 0x41ED0010, 0x30}, {0x0314, 0x81A40000, 0x20}, {0x0314, 0x81240000, 0x21},
      {0x0014, 0x21, 0x21},       {0x0014, 0x10, 0x10},       {0x0B14, 0x07, 0x07},
  };
  std::vector<ZipMember> members;
  for (const auto& c : cases) {
    ZipMember m{"m" + std::to_string(members.size()), "x"};
    m.versionMadeBy = c.made;
    m.external = c.external;
    members.push_back(m);
  }
  auto reader = Open(MakeZip(members));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Item(*reader, static_cast<int>(i)).attributes, cases[i].expected) << i;
}

TEST_F(ArchiveReaderTest, DosTimeIsLocalTimeTurnedIntoUtc) {
  sim::System().utcBiasMinutes = 480;         // China
  auto reader = Open(MakeZip({{"a", "x"}}));  // DOS 0x5097 / 0x7472
  ArchiveItem item = Item(*reader, 0);
  // 2020-04-23 14:35:36 at UTC+8 is 06:35:36 UTC, 1587623736 seconds after 1970.
  unsigned long long expected = 1587623736ULL * 10000000ULL + kUnixEpoch;
  EXPECT_EQ(Ticks(item.writeTime), expected);
  EXPECT_EQ(Ticks(item.accessTime), expected);
  EXPECT_EQ(Ticks(item.createTime), expected);
}

TEST_F(ArchiveReaderTest, ExtendedTimestampAfterALongBlock) {
  std::string skipped = std::string("\x99\x99\x2C\x01", 4) + std::string(300, '\x55');
  ZipMember onlyWrite{"w", "x"};
  onlyWrite.localExtra = skipped + std::string("UT\x05\x00\x01", 5) + Le32(0);
  ZipMember all{"a", "x"};
  all.localExtra = std::string("UT\x0D\x00\x07", 5) + Le32(100) + Le32(200) + Le32(300);
  ZipMember cut{"c", "x"};  // announces three times, holds one
  cut.localExtra = std::string("UT\x05\x00\x07", 5) + Le32(7);
  auto reader = Open(MakeZip({onlyWrite, all, cut}));
  unsigned long long dos = Ticks(Item(*reader, 0).accessTime);
  ArchiveItem w = Item(*reader, 0);
  EXPECT_EQ(Ticks(w.writeTime), kUnixEpoch) << "0 seconds is the epoch";
  EXPECT_EQ(Ticks(w.createTime), dos) << "a time the block lacks keeps the DOS value";
  ArchiveItem a = Item(*reader, 1);
  EXPECT_EQ(Ticks(a.writeTime), kUnixEpoch + 100 * 10000000ULL);
  EXPECT_EQ(Ticks(a.accessTime), kUnixEpoch + 200 * 10000000ULL);
  EXPECT_EQ(Ticks(a.createTime), kUnixEpoch + 300 * 10000000ULL);
  ArchiveItem c = Item(*reader, 2);
  EXPECT_EQ(Ticks(c.writeTime), kUnixEpoch + 7 * 10000000ULL);
  EXPECT_EQ(Ticks(c.accessTime), dos) << "times are read only inside the field";
}

std::string Sanitised(const char* name) {
  char out[260];
  SanitiseMemberName(name, out, sizeof out);
  return out;
}

TEST_F(ArchiveReaderTest, NameSanitising) {
  EXPECT_EQ(Sanitised("C:\\drivers\\a.inf"), "drivers\\a.inf");
  EXPECT_EQ(Sanitised("a/../b/../c.txt"), "c.txt");
  EXPECT_EQ(Sanitised("x\\..\\y"), "y");
  EXPECT_EQ(Sanitised("\\\\server\\share\\f"), "server\\share\\f");
  EXPECT_EQ(Sanitised("/x/y"), "x/y");
  EXPECT_EQ(Sanitised("Windows x64/UNIDRV.DLL"), "Windows x64/UNIDRV.DLL");
  // Leading parent references would climb out of the base folder.
  EXPECT_EQ(Sanitised("../x"), "x");
  EXPECT_EQ(Sanitised("..\\..\\C:/..\\x"), "x");
  EXPECT_EQ(Sanitised(".."), "");
}

TEST_F(ArchiveReaderTest, GbkTrailByteIsNeverASeparator) {
  const char name[] = "\x95\x5c../y";  // a GBK character ending in 0x5C, then "../y"
  sim::System().ansiCodePage = 936;
  EXPECT_EQ(Sanitised(name), name);
  sim::System().ansiCodePage = 1252;
  EXPECT_EQ(Sanitised(name), "y");
}

class Extraction : public ArchiveReaderTest {
 protected:
  void SetUp() override {
    ArchiveReaderTest::SetUp();
    sim::PutFolder("C:\\T");
  }
};

TEST_F(Extraction, FileBelowTheBaseFolderWithFolderTimesAndAttributes) {
  ZipMember gpd{"Windows NT x86/KV80C.GPD", std::string(50000, 'g') + "end"};
  gpd.external = 0x21;
  auto reader = Open(MakeZip({gpd}));
  reader->SetBaseFolder("C:\\T\\S");
  ArchiveItem item = Item(*reader, 0);
  ASSERT_EQ(reader->ExtractItem(0, item.name), ArchiveResult::Ok);
  EXPECT_EQ(sim::AttributesOf("C:\\T\\S"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(sim::FileBytes("C:\\T\\S\\Windows NT x86\\KV80C.GPD"), gpd.data);
  EXPECT_EQ(sim::AttributesOf("C:\\T\\S\\Windows NT x86\\KV80C.GPD"), 0x21u);
  auto times = sim::TimesOf("C:\\T\\S\\Windows NT x86\\KV80C.GPD");
  EXPECT_EQ(Ticks(times.write), Ticks(item.writeTime));
  EXPECT_EQ(Ticks(times.creation), Ticks(item.createTime));
  EXPECT_EQ(sim::OpenFileCount(), 0);
}

TEST_F(Extraction, FolderMemberMakesOnlyTheFolder) {
  ZipMember folder{"Windows x64/", "", false, 0x10};
  auto reader = Open(MakeZip({folder}));
  reader->SetBaseFolder("C:\\T\\");
  ASSERT_EQ(reader->ExtractItem(0, "Windows x64/"), ArchiveResult::Ok);
  EXPECT_EQ(sim::AttributesOf("C:\\T\\Windows x64"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  // Folders are opened to be held, never created as files.
  for (const std::string& call : sim::CallsOf("CreateFileA"))
    EXPECT_NE(call.find(", 3, "), std::string::npos) << "not OPEN_EXISTING: " << call;
  EXPECT_EQ(sim::Tree("C:\\T"), std::vector<std::string>{"C:\\T\\Windows x64"});
}

TEST_F(Extraction, AbsoluteTargetsIgnoreTheBase) {
  auto reader = Open(MakeZip({{"a", "one"}}));
  reader->SetBaseFolder("C:\\T\\base");
  EXPECT_EQ(reader->ExtractItem(0, "C:\\T\\abs\\a.txt"), ArchiveResult::Ok);
  EXPECT_EQ(reader->ExtractItem(0, "\\T\\rooted.txt"), ArchiveResult::Ok);
  EXPECT_EQ(sim::FileBytes("C:\\T\\abs\\a.txt"), "one");
  EXPECT_EQ(sim::FileBytes("C:\\T\\rooted.txt"), "one");
  EXPECT_FALSE(sim::PathExists("C:\\T\\base\\T"));
}

TEST_F(Extraction, ReplacesAnExistingFileAndWritesEmptyMembers) {
  sim::PutFile("C:\\T\\a", "an older and longer content");
  auto reader = Open(MakeZip({{"a", "new"}, {"empty", ""}}));
  reader->SetBaseFolder("C:\\T");
  ASSERT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::Ok);
  ASSERT_EQ(reader->ExtractItem(1, "empty"), ArchiveResult::Ok);
  EXPECT_EQ(sim::FileBytes("C:\\T\\a"), "new");
  EXPECT_TRUE(sim::PathExists("C:\\T\\empty"));
  EXPECT_EQ(sim::FileBytes("C:\\T\\empty"), "");
  EXPECT_EQ(Ticks(sim::TimesOf("C:\\T\\empty").write), Ticks(Item(*reader, 1).writeTime));
}

TEST_F(Extraction, ChecksumMismatchIsCorruptAndLeavesNoFile) {
  std::string zip = MakeRawZip({{"a", "payload"}});
  size_t data = LocalHeaderOffset(zip, 0) + 30 + 1;
  zip[data] ^= 0x01;  // the stored bytes no longer match the CRC-32
  auto reader = Open(zip);
  reader->SetBaseFolder("C:\\T");
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::Corrupt);
  EXPECT_FALSE(sim::PathExists("C:\\T\\a"));
}

TEST_F(Extraction, InflateErrorLeavesNoFile) {
  ZipMember m{"a", std::string(20000, 'q') + "tail"};
  std::string zip = MakeZip({m});
  size_t data = LocalHeaderOffset(zip, 0) + 30 + 1;
  for (size_t i = 0; i < 8; ++i) zip[data + i] = '\xff';
  auto reader = Open(zip);
  reader->SetBaseFolder("C:\\T");
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::InflateFailed);
  EXPECT_FALSE(sim::PathExists("C:\\T\\a"));
}

TEST_F(Extraction, WriteFailureLeavesNoFileEvenWhenReadOnly) {
  ZipMember m{"a", "data"};
  m.external = 0x21;
  auto reader = Open(MakeZip({m}));
  reader->SetBaseFolder("C:\\T");
  sim::FailCall("WriteFile", ERROR_DISK_FULL);
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::WriteFailed);
  EXPECT_FALSE(sim::PathExists("C:\\T\\a"));
  EXPECT_EQ(sim::OpenFileCount(), 0);
}

TEST_F(Extraction, ReadOnlyExistingFileCannotBeReplaced) {
  sim::PutFile("C:\\T\\a", "kept", FILE_ATTRIBUTE_READONLY);
  auto reader = Open(MakeZip({{"a", "new"}}));
  reader->SetBaseFolder("C:\\T");
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(sim::FileBytes("C:\\T\\a"), "kept");
}

TEST_F(Extraction, EncryptedMembersUnderTheEmptyPassword) {
  ZipMember good{"good", "secret"};
  good.encrypt = true;
  ZipMember bad{"bad", "secret"};
  bad.encrypt = bad.wrongCheck = true;
  auto reader = Open(MakeRawZip({good, bad}));
  reader->SetBaseFolder("C:\\T");
  EXPECT_EQ(reader->ExtractItem(0, "good"), ArchiveResult::Ok);
  EXPECT_EQ(sim::FileBytes("C:\\T\\good"), "secret");
  EXPECT_EQ(reader->ExtractItem(1, "bad"), ArchiveResult::BadPassword);
  EXPECT_FALSE(sim::PathExists("C:\\T\\bad"));
}

TEST_F(Extraction, NamesAndPathsBeyondTheBuffersAreRefused) {
  std::string long259(259, 'n'), long260(260, 'n'), long300(300, 'n');
  auto reader = Open(MakeRawZip({{long259, "a"}, {long260, "b"}, {long300, "c"}}));
  reader->SetBaseFolder("C:\\T");
  ArchiveItem item{};
  ASSERT_EQ(reader->GetItem(0, item), ArchiveResult::Ok);
  EXPECT_EQ(std::strlen(item.name), 259u);
  EXPECT_EQ(reader->ExtractItem(0, item.name), ArchiveResult::CannotCreateFile)
      << "C:\\T\\ and 259 bytes do not fit in a path";
  EXPECT_EQ(reader->GetItem(1, item), ArchiveResult::Corrupt);
  EXPECT_EQ(reader->GetItem(2, item), ArchiveResult::Corrupt);
  EXPECT_EQ(reader->ExtractItem(2, "x"), ArchiveResult::Corrupt)
      << "no action on an unbuilt record";
  EXPECT_EQ(sim::Tree("C:\\T"), std::vector<std::string>{});
}

TEST_F(Extraction, RelativeTargetsNeverLeaveTheBase) {
  sim::PutFolder("C:\\T\\base");
  auto reader = Open(MakeZip({{"a", "x"}}));
  reader->SetBaseFolder("C:\\T\\base");
  EXPECT_EQ(reader->ExtractItem(0, "sub/../../escaped"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "..\\escaped"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "sub/../inside"), ArchiveResult::Ok);
  std::vector<std::string> expected = {"C:\\T\\base", "C:\\T\\base\\inside", "C:\\T\\base\\sub"};
  EXPECT_EQ(sim::Tree("C:\\T"), expected);
}

TEST_F(ArchiveReaderTest, GarbageDoesNotOpen) {
  EXPECT_FALSE(Open(""));
  EXPECT_FALSE(Open("this is not an archive at all, only text"));
  EXPECT_FALSE(Open(std::string(5000, '\0')));
}

// Every truncation of an archive either does not open or yields only true data.
TEST_F(ArchiveReaderTest, TruncatedArchivesNeverYieldWrongData) {
  const std::vector<ZipMember> members = {{"a", std::string(3000, 'a') + "alpha"}, {"b", "beta"}};
  std::string zip = MakeZip(members);
  sim::PutFolder("C:\\T");
  for (size_t cut = 1; cut < zip.size(); ++cut) {
    SCOPED_TRACE(cut);
    sim::ClearCalls();
    auto reader = Open(zip.substr(0, zip.size() - cut));
    if (!reader) continue;
    reader->SetBaseFolder("C:\\T");
    for (int i = 0; i < 2; ++i) {
      ArchiveItem item{};
      if (reader->GetItem(i, item) != ArchiveResult::Ok) continue;
      std::string target = "m" + std::to_string(i);
      if (reader->ExtractItem(i, target.c_str()) == ArchiveResult::Ok) {
        EXPECT_EQ(sim::FileBytes("C:\\T\\" + target), members[i].data);
      } else {
        EXPECT_FALSE(sim::PathExists("C:\\T\\" + target));
      }
    }
    sim::SetAttributes("C:\\T", FILE_ATTRIBUTE_DIRECTORY);
    for (const auto& path : sim::Tree("C:\\T")) DeleteFileA(path.c_str());
  }
  EXPECT_EQ(sim::OpenFileCount(), 0);
}

TEST_F(ArchiveReaderTest, DamagedHeadersAndRecords) {
  std::string zip = MakeRawZip({{"a", "alpha"}, {"b", "beta"}, {"c", "gamma"}});
  std::string methods = zip;
  methods[LocalHeaderOffset(methods, 0) + 8] = 12;  // a method that is neither stored nor deflated
  auto reader = Open(methods);
  ArchiveItem item{};
  EXPECT_EQ(reader->GetItem(0, item), ArchiveResult::Corrupt);
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::Corrupt);
  EXPECT_EQ(reader->GetItem(1, item), ArchiveResult::Ok);

  std::string extra = zip;
  size_t last = LocalHeaderOffset(extra, 2);
  extra[last + 28] = '\xff';  // extra field longer than the block
  extra[last + 29] = '\xff';
  reader = Open(extra);
  EXPECT_EQ(reader->GetItem(2, item), ArchiveResult::ReadFailed);

  std::string central = zip;
  size_t second = central.find(std::string("PK\x01\x02", 4));
  second = central.find(std::string("PK\x01\x02", 4), second + 4);
  central[second] = 'X';  // the second central record cannot be read
  reader = Open(central);
  if (reader) {
    EXPECT_NE(reader->GetItem(2, item), ArchiveResult::Ok) << "positioning must not step on";
    EXPECT_EQ(reader->GetItem(0, item), ArchiveResult::Ok);
  }
}

}  // namespace
