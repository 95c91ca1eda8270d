// ArchiveReader on archives made here: records, names, times, attributes, extraction and damage.
#include <cstring>
#include <memory>
#include <stdexcept>

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
  std::vector<unsigned char> bytes = {1};
  for (int bad : {2, -2, 1000}) {
    EXPECT_EQ(reader->GetItem(bad, untouched), ArchiveResult::BadArgument);
    EXPECT_EQ(reader->ExtractItem(bad, "x"), ArchiveResult::BadArgument);
    EXPECT_EQ(reader->ReadItem(bad, bytes), ArchiveResult::BadArgument);
    EXPECT_TRUE(bytes.empty());
  }
  // The summary is no member, and a member read into memory is its bytes.
  EXPECT_EQ(reader->ReadItem(-1, bytes), ArchiveResult::BadArgument);
  ASSERT_EQ(reader->ReadItem(1, bytes), ArchiveResult::Ok);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "beta");
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

// Every field of a record, for comparing whole records.
std::string Describe(const ArchiveItem& item) {
  return "#" + std::to_string(item.index) + " " + item.name + " attributes " +
         std::to_string(item.attributes) + " sizes " + std::to_string(item.packedSize) + "/" +
         std::to_string(item.unpackedSize) + " created " + std::to_string(Ticks(item.createTime)) +
         " accessed " + std::to_string(Ticks(item.accessTime)) + " written " +
         std::to_string(Ticks(item.writeTime));
}

TEST_F(ArchiveReaderTest, WholeRecordsInAnyOrder) {
  ZipMember timed{"dir/second.txt", "22"};
  timed.external = 0x21;
  timed.localExtra = std::string("UT\x0D\x00\x07", 5) + Le32(100) + Le32(200) + Le32(300);
  ZipMember secret{"third", "333"};
  secret.encrypt = true;
  auto reader = Open(MakeRawZip({{"first", "1"}, timed, secret}));
  // 2020-04-23 14:35:36, the builder's DOS time, at UTC.
  const std::string dos = std::to_string(1587652536ULL * 10000000ULL + kUnixEpoch);
  const std::string expected[] = {
      "#0 first attributes 32 sizes 1/1 created " + dos + " accessed " + dos + " written " + dos,
      "#1 dir/second.txt attributes 33 sizes 2/2 created " +
          std::to_string(kUnixEpoch + 300 * 10000000ULL) + " accessed " +
          std::to_string(kUnixEpoch + 200 * 10000000ULL) + " written " +
          std::to_string(kUnixEpoch + 100 * 10000000ULL),
      "#2 third attributes 32 sizes 15/3 created " + dos + " accessed " + dos + " written " + dos,
  };
  // Backwards as well as forwards: each step away from the cached record reads the archive.
  for (int index : {2, 0, 1, 2, 1, 0}) EXPECT_EQ(Describe(Item(*reader, index)), expected[index]);

  sim::PutFolder("C:\\T");
  reader->SetBaseFolder("C:\\T");
  ASSERT_EQ(reader->ExtractItem(1, "timed"), ArchiveResult::Ok);
  ASSERT_EQ(reader->ExtractItem(0, "first"), ArchiveResult::Ok) << "back to an earlier member";
  EXPECT_EQ(sim::FileBytes("C:\\T\\first"), "1");
  EXPECT_EQ(sim::FileBytes("C:\\T\\timed"), "22");
  auto times = sim::TimesOf("C:\\T\\timed");
  EXPECT_EQ(Ticks(times.creation), kUnixEpoch + 300 * 10000000ULL);
  EXPECT_EQ(Ticks(times.access), kUnixEpoch + 200 * 10000000ULL);
  EXPECT_EQ(Ticks(times.write), kUnixEpoch + 100 * 10000000ULL);
}

TEST_F(ArchiveReaderTest, AttributesByHost) {
  struct Case {
    uint16_t made;
    uint32_t external;
    uint32_t expected;
  } cases[] = {
      {0x0314, 0x41ED0010, 0x30}, {0x0314, 0x81A40000, 0x20}, {0x0314, 0x81240000, 0x21},
      {0x0014, 0x21, 0x21},       {0x0014, 0x10, 0x10},       {0x0B14, 0x07, 0x07},
      {0x0714, 0x07, 0x07},       {0x0E14, 0x12, 0x12},       {0x0614, 0x07, 0x21},
      {0x0814, 0x07, 0x21},
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
  ZipMember shortBlock{"s", "x"};  // a block too short for its time, one byte after it
  shortBlock.localExtra = std::string("UT\x04\x00\x01", 5) + std::string("\x11\x22\x33\x44", 4);
  ZipMember unknownBit{"u", "x"};  // bit 3 names no time: the fourth number is not read
  unknownBit.localExtra =
      std::string("UT\x11\x00\x0F", 5) + Le32(100) + Le32(200) + Le32(300) + Le32(400);
  auto reader = Open(MakeZip({onlyWrite, all, cut, shortBlock, unknownBit}));
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
  EXPECT_EQ(Ticks(Item(*reader, 3).writeTime), dos) << "nor beyond their own block";
  EXPECT_EQ(Describe(Item(*reader, 4)), Describe(a).replace(0, 4, "#4 u"));
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
  EXPECT_EQ(Sanitised("w/..\\x"), "x");  // separators of both kinds, mixed
  EXPECT_EQ(Sanitised("w\\../x"), "x");
  EXPECT_EQ(Sanitised("\\\\server\\share\\f"), "server\\share\\f");
  EXPECT_EQ(Sanitised("/x/y"), "x/y");
  EXPECT_EQ(Sanitised("Windows x64/UNIDRV.DLL"), "Windows x64/UNIDRV.DLL");
  // Leading parent references would climb out of the base folder.
  EXPECT_EQ(Sanitised("../x"), "x");
  EXPECT_EQ(Sanitised("..\\..\\C:/..\\x"), "x");
  EXPECT_EQ(Sanitised(".."), "");
  for (const char* kept : {".d/x", "ab/x", "..a/x", "a./x"}) EXPECT_EQ(Sanitised(kept), kept);
  // A stored name may hold a NUL: the name ends there, whatever follows it.
  const char embedded[] = "\0:\\x";
  EXPECT_EQ(Sanitised(embedded), "");
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

TEST_F(Extraction, TheBaseIsTheCurrentDirectoryUntilSet) {
  ZipMember folder{"f/", "", false, 0x10};
  std::string zip = MakeZip({{"a", "one"}, folder});
  const std::string fits = "C:\\T\\" + std::string(253, 'd');     // 259 with its separator
  const std::string tooLong = "C:\\T\\" + std::string(254, 'd');  // 260
  sim::PutFolder(fits);
  sim::PutFolder(tooLong);
  sim::System().currentDirectory = "C:\\T";
  auto reader = Open(zip);
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::Ok);
  EXPECT_EQ(sim::FileBytes("C:\\T\\a"), "one") << "a separator is put after the directory";
  // The folder member given the empty name stands for the base folder itself.
  const struct {
    std::string current;
    ArchiveResult expected;
  } cases[] = {{fits, ArchiveResult::Ok},
               {tooLong, ArchiveResult::CannotCreateFile},
               {"", ArchiveResult::CannotCreateFile}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.current.size());
    sim::System().currentDirectory = c.current;
    if (c.current.empty()) sim::FailCall("GetCurrentDirectoryA", ERROR_ACCESS_DENIED);
    reader = Open(zip);
    EXPECT_EQ(reader->ExtractItem(1, ""), c.expected);
  }
}

TEST_F(Extraction, ABaseThatDoesNotFitIsRefusedAndNothingFallsBack) {
  std::string zip = MakeZip({{"a", "one"}, {"f/", "", false, 0x10}});
  const std::string name253 = "C:\\T\\" + std::string(253, 'd');
  const std::string name254 = "C:\\T\\" + std::string(254, 'd');
  sim::PutFolder(name253);
  sim::PutFolder(name254);
  sim::System().currentDirectory = "C:\\T";
  const struct {
    std::string base;
    ArchiveResult expected;
  } cases[] = {{name253, ArchiveResult::Ok},
               {name253 + "\\", ArchiveResult::Ok},
               {name254, ArchiveResult::CannotCreateFile},
               {name254 + "\\", ArchiveResult::CannotCreateFile}};
  auto before = sim::Tree();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    auto reader = Open(zip);
    reader->SetBaseFolder(c.base.c_str());
    EXPECT_EQ(reader->ExtractItem(1, ""), c.expected);
    if (c.expected != ArchiveResult::Ok) {
      EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::CannotCreateFile);
    }
  }
  EXPECT_EQ(sim::Tree(), before) << "a refused base is no other folder either";
}

TEST_F(Extraction, PathsOfExactlyTheLimit) {
  std::string zip = MakeZip({{"a", "one"}, {"f/", "", false, 0x10}});
  auto reader = Open(zip);
  reader->SetBaseFolder("C:\\T");
  // C:\T\ and 254 bytes make 259, the longest path; one more would be cut to another name.
  const std::string file254(254, 'p'), file255(255, 'q'), folder255(255, 'r');
  EXPECT_EQ(reader->ExtractItem(0, file254.c_str()), ArchiveResult::Ok);
  EXPECT_EQ(reader->ExtractItem(0, file255.c_str()), ArchiveResult::CannotCreateFile);
  reader->ExtractItem(1, folder255.c_str());
  EXPECT_EQ(sim::Tree("C:\\T"), std::vector<std::string>{"C:\\T\\" + file254});
}

TEST_F(Extraction, ABaseThatIsALinkIsNotOursToReplace) {
  sim::PutFile("C:\\Outside\\keep.txt", "outside");
  ASSERT_TRUE(sim::MakeLink("C:\\T\\base", "C:\\Outside"));
  auto reader = Open(MakeZip({{"a", "one"}}));
  reader->SetBaseFolder("C:\\T\\base");
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "C:\\T\\base\\b"), ArchiveResult::CannotCreateFile);
  EXPECT_NE(sim::AttributesOf("C:\\T\\base") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(sim::Tree("C:\\Outside"), std::vector<std::string>{"C:\\Outside\\keep.txt"});
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
  EXPECT_EQ(sim::CountOf("WriteFile"), 1);
  ASSERT_EQ(reader->ExtractItem(1, "empty"), ArchiveResult::Ok);
  EXPECT_EQ(sim::CountOf("WriteFile"), 1) << "nothing to write, no write";
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

// Compressible bytes that still take more than one read and one output buffer when deflated.
std::string LongText() {
  std::string text;
  uint32_t state = 12345;
  while (text.size() < 60000) {
    state = state * 1103515245u + 12345u;
    text += "abcdefgh"[(state >> 16) & 7];
  }
  return text;
}

// Bytes that deflate into exactly `packed` bytes (stored blocks: random bytes do not shrink).
std::string DeflatingInto(size_t packed) {
  std::string bytes;
  uint32_t state = 99;
  for (size_t size = packed - 40; size < packed; ++size) {
    while (bytes.size() < size) {
      state = state * 1103515245u + 12345u;
      bytes += static_cast<char>(state >> 16);
    }
    if (Deflate(bytes).size() == packed) return bytes;
  }
  throw std::runtime_error("no such size");
}

TEST_F(Extraction, EncryptedMembersUnderTheEmptyPassword) {
  const std::string longText = LongText();
  // With its 12-byte header, one byte more than the reader's buffer: the last read holds one.
  const std::string oneOver = DeflatingInto(ArchiveReader::kBufferSize + 1 - 12);
  struct Case {
    const char* what;
    ZipMember member;
    ArchiveResult expected;
  } cases[] = {
      {"stored", {"stored", "secret"}, ArchiveResult::Ok},
      {"stored, wrong check byte", {"bad", "secret"}, ArchiveResult::BadPassword},
      {"stored, data descriptor", {"dd", "secret"}, ArchiveResult::Ok},
      {"data descriptor, wrong check byte", {"ddbad", "secret"}, ArchiveResult::BadPassword},
      {"deflated", {"deflated", longText}, ArchiveResult::Ok},
      {"deflated, bytes after the stream", {"trailing", longText}, ArchiveResult::Ok},
      {"deflated, wrong check byte", {"dbad", longText}, ArchiveResult::BadPassword},
      {"deflated, damaged", {"damaged", longText}, ArchiveResult::InflateFailed},
      {"deflated, cut short", {"cut", longText}, ArchiveResult::InflateFailed},
      {"deflated, one byte in the last read", {"over", oneOver}, ArchiveResult::Ok},
      {"stored, header cut short", {"short", ""}, ArchiveResult::InflateFailed},
  };
  for (Case& c : cases) {
    std::string what = c.what;
    c.member.encrypt = true;
    c.member.wrongCheck = what.find("wrong") != std::string::npos;
    c.member.dataDescriptor = what.find("descriptor") != std::string::npos;
    c.member.rawDeflate = what.find("deflated") != std::string::npos;
    if (what.find("after") != std::string::npos) c.member.trailing = "left over";
    if (what.find("cut") != std::string::npos) c.member.cut = c.member.rawDeflate ? 40 : 6;
  }
  // The DOS time's check byte differs from the CRC-32's: taking one for the other shows.
  ASSERT_NE((cases[2].member.dosDate >> 8) & 0xff, Crc32("secret") >> 24);
  std::vector<ZipMember> members;
  for (const Case& c : cases) members.push_back(c.member);
  std::string zip = MakeRawZip(members);
  // Damage the encrypted deflate stream, after its 12-byte header.
  zip[LocalHeaderOffset(zip, 7) + 30 + 7 + 12 + 2] ^= 0x5a;
  auto reader = Open(zip);
  reader->SetBaseFolder("C:\\T");
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    sim::ClearCalls();
    const std::string& name = cases[i].member.name;
    const std::string path = "C:\\T\\" + name;
    EXPECT_EQ(reader->ExtractItem(static_cast<int>(i), name.c_str()), cases[i].expected);
    if (cases[i].expected == ArchiveResult::Ok) {
      EXPECT_EQ(sim::FileBytes(path), cases[i].member.data);
    } else {
      EXPECT_FALSE(sim::PathExists(path));
    }
    if (cases[i].expected == ArchiveResult::BadPassword) {
      EXPECT_EQ(sim::CountOf("WriteFile"), 0) << "nothing is written under a wrong password";
    }
  }
  EXPECT_EQ(sim::OpenFileCount(), 0);
}

TEST_F(Extraction, WriteFailuresOfEncryptedMembers) {
  ZipMember stored{"stored", LongText()};  // more than one read
  stored.encrypt = true;
  ZipMember deflated{"deflated", LongText()};
  deflated.encrypt = deflated.rawDeflate = true;
  auto reader = Open(MakeRawZip({stored, deflated}));
  reader->SetBaseFolder("C:\\T");
  sim::FailCall("WriteFile", ERROR_DISK_FULL, 0, -1);
  EXPECT_EQ(reader->ExtractItem(0, "stored"), ArchiveResult::WriteFailed);
  EXPECT_EQ(reader->ExtractItem(1, "deflated"), ArchiveResult::WriteFailed);
  EXPECT_EQ(sim::CountOf("WriteFile"), 2) << "the first failure ends each member";
  EXPECT_EQ(sim::Tree("C:\\T"), std::vector<std::string>{});
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
  EXPECT_EQ(reader->ExtractItem(0, "./../escaped"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "sub//../../escaped"), ArchiveResult::CannotCreateFile);
  EXPECT_EQ(reader->ExtractItem(0, "sub/../inside"), ArchiveResult::Ok);
  // Only a part of exactly two dots climbs.
  EXPECT_EQ(reader->ExtractItem(0, "ab/../x.y"), ArchiveResult::Ok);
  EXPECT_EQ(reader->ExtractItem(0, "..a/b"), ArchiveResult::Ok);
  EXPECT_EQ(reader->ExtractItem(0, "a/../one"), ArchiveResult::Ok);
  EXPECT_EQ(reader->ExtractItem(0, ".d/../two"), ArchiveResult::Ok);
  // A file needs a name: its folder is not even made.
  EXPECT_EQ(reader->ExtractItem(0, "named/"), ArchiveResult::CannotCreateFile);
  std::vector<std::string> expected = {
      "C:\\T\\base",      "C:\\T\\base\\..a", "C:\\T\\base\\..a\\b", "C:\\T\\base\\.d",
      "C:\\T\\base\\a",   "C:\\T\\base\\ab",  "C:\\T\\base\\inside", "C:\\T\\base\\one",
      "C:\\T\\base\\sub", "C:\\T\\base\\two", "C:\\T\\base\\x.y"};
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

  // A data descriptor said by one header only: the other's sizes must still agree.
  ZipMember described{"d", "data"};
  described.encrypt = described.dataDescriptor = true;
  const std::string withDescriptor = MakeRawZip({described});
  std::string localOnly = withDescriptor, centralOnly = withDescriptor;
  localOnly[localOnly.find(std::string("PK\x01\x02", 4)) + 8] = 1;
  // The local header then says "see the 64-bit field" for its sizes, which minizip lets pass.
  size_t local = LocalHeaderOffset(centralOnly, 0);
  centralOnly[local + 6] = 1;
  centralOnly.replace(local + 14, 12, Le32(Crc32("data")) + std::string(8, '\xff'));
  for (const std::string* damaged : {&localOnly, &centralOnly}) {
    reader = Open(*damaged);
    EXPECT_EQ(reader->GetItem(0, item), ArchiveResult::Corrupt);
  }
  reader = Open(withDescriptor);
  EXPECT_EQ(reader->GetItem(0, item), ArchiveResult::Ok);

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
