// Tests of the built driver package archives, their resource libraries and the packer tool.
#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/pe_image.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

const char* const kLayout[] = {
    "Windows x64/",
    "Windows x64/STDNAMES.GPD",
    "Windows x64/TTFSUB.GPD",
    "Windows x64/UNIDRV.DLL",
    "Windows x64/UNIDRV.HLP",
    "Windows x64/UNIDRVUI.DLL",
    "Windows x64/UNIRES.DLL",
    "Windows x64/KV80.DLL",
    "Windows x64/KV80C.GPD",
    "Windows x64/KVDRVx64.cat",
    "Windows x64/KVDRVx64.INF",
    "Windows NT x86/",
    "Windows NT x86/STDNAMES.GPD",
    "Windows NT x86/TTFSUB.GPD",
    "Windows NT x86/UNIDRV.DLL",
    "Windows NT x86/UNIDRV.HLP",
    "Windows NT x86/UNIDRVUI.DLL",
    "Windows NT x86/UNIRES.DLL",
    "Windows NT x86/KV80.DLL",
    "Windows NT x86/KV80C.GPD",
    "Windows NT x86/KVDRV.cat",
    "Windows NT x86/KVDRV.INF",
};

// 2020-04-23 14:35:36 and 14:36:24, as DOS date (high word) and time (low word).
constexpr unsigned long kDosTimeZh = 0x50977472;
constexpr unsigned long kDosTimeEn = 0x5097748C;
// 1980-01-01 00:00:00, the oldest a DOS time holds: the Unidrv members' time in both languages.
constexpr unsigned long kDosTimeOldest = 0x00210000;
const char* const kUnidrvFiles[] = {"STDNAMES.GPD", "TTFSUB.GPD",   "UNIDRV.DLL",
                                    "UNIDRV.HLP",   "UNIDRVUI.DLL", "UNIRES.DLL"};

bool IsUnidrvMember(const std::string& name) {
  const std::string file = name.substr(name.find('/') + 1);
  return std::find(std::begin(kUnidrvFiles), std::end(kUnidrvFiles), file) !=
         std::end(kUnidrvFiles);
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AsText(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

uint32_t Le(const Bytes& b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
  return v;
}

struct Entry {
  std::string name;
  unz_file_info64 info{};
  int localExtraLength = -1;
  int closeResult = UNZ_OK;
  Bytes data;
};

struct Archive {
  bool opened = false;
  unz_global_info64 global{};
  std::vector<Entry> entries;
  Bytes raw;

  const Entry* Find(const std::string& name) const {
    for (const Entry& e : entries) {
      if (e.name == name) return &e;
    }
    return nullptr;
  }
  Bytes Data(const std::string& name) const {
    const Entry* e = Find(name);
    return e ? e->data : Bytes();
  }
};

Archive ReadArchive(const std::string& path) {
  Archive a;
  a.raw = ReadFile(path);
  unzFile uf = unzOpen64(path.c_str());
  if (uf == nullptr) return a;
  a.opened = unzGetGlobalInfo64(uf, &a.global) == UNZ_OK;
  for (int err = unzGoToFirstFile(uf); a.opened && err == UNZ_OK; err = unzGoToNextFile(uf)) {
    Entry e;
    char name[512] = {};
    if (unzGetCurrentFileInfo64(uf, &e.info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
      break;
    }
    e.name = name;
    if (unzOpenCurrentFile(uf) == UNZ_OK) {
      e.localExtraLength = unzGetLocalExtrafield(uf, nullptr, 0);
      unsigned char buf[16384];
      int n;
      while ((n = unzReadCurrentFile(uf, buf, sizeof buf)) > 0)
        e.data.insert(e.data.end(), buf, buf + n);
      // Reports a CRC-32 that does not match the data just read.
      e.closeResult = unzCloseCurrentFile(uf);
    }
    a.entries.push_back(std::move(e));
  }
  unzClose(uf);
  return a;
}

const Archive& Zh() {
  static const Archive a = ReadArchive(QM_DRIVER_PACKAGE_ZH_ZIP);
  return a;
}
const Archive& En() {
  static const Archive a = ReadArchive(QM_DRIVER_PACKAGE_EN_ZIP);
  return a;
}

// ---------------------------------------------------------------------------------------------
// SHA-256, to check the stand-in catalogues independently of the build's own hashing.
std::string Sha256Hex(const Bytes& message) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
      0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
      0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
      0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
      0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
      0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
      0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
      0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  Bytes m = message;
  const uint64_t bits = uint64_t(message.size()) * 8;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 7; i >= 0; --i) m.push_back(static_cast<unsigned char>(bits >> (i * 8)));
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t block = 0; block < m.size(); block += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = uint32_t(m[block + 4 * i]) << 24 | uint32_t(m[block + 4 * i + 1]) << 16 |
             uint32_t(m[block + 4 * i + 2]) << 8 | m[block + 4 * i + 3];
    }
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    std::copy(h, h + 8, v);
    for (int i = 0; i < 64; ++i) {
      const uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
      const uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
      const uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
      const uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      std::copy_backward(v, v + 7, v + 8);
      v[4] += t1;
      v[0] = t1 + s0 + maj;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
  }
  char hex[65];
  for (int i = 0; i < 8; ++i) std::snprintf(hex + 8 * i, 9, "%08x", h[i]);
  return hex;
}

// ---------------------------------------------------------------------------------------------
// Just enough of the PE format to tell the architecture and read the string tables.
struct PeImage {
  bool valid = false;
  uint16_t machine = 0;
  uint16_t magic = 0;
  bool isDll = false;
  std::map<uint32_t, std::pair<uint16_t, std::u16string>> strings;  // id -> (language, text)
};

PeImage ParsePe(const Bytes& b) {
  PeImage pe;
  if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return pe;
  const uint32_t nt = Le(b, 0x3C, 4);
  if (nt + 24 > b.size() || Le(b, nt, 4) != 0x00004550) return pe;
  pe.machine = static_cast<uint16_t>(Le(b, nt + 4, 2));
  const uint32_t sections = Le(b, nt + 6, 2);
  const uint32_t optSize = Le(b, nt + 20, 2);
  pe.isDll = (Le(b, nt + 22, 2) & 0x2000) != 0;
  const uint32_t opt = nt + 24;
  pe.magic = static_cast<uint16_t>(Le(b, opt, 2));
  const uint32_t dirs = opt + (pe.magic == 0x20b ? 112 : 96);
  const uint32_t rsrcRva = Le(b, dirs + 2 * 8, 4);
  auto toOffset = [&](uint32_t rva) -> uint32_t {
    for (uint32_t s = 0; s < sections; ++s) {
      const uint32_t hdr = opt + optSize + 40 * s;
      const uint32_t va = Le(b, hdr + 12, 4), rawSize = Le(b, hdr + 16, 4);
      if (rva >= va && rva < va + rawSize) return Le(b, hdr + 20, 4) + (rva - va);
    }
    return 0;
  };
  pe.valid = true;
  const uint32_t root = toOffset(rsrcRva);
  if (rsrcRva == 0 || root == 0) return pe;
  // Walks one directory level; calls f(id, offset of the child, is it a directory).
  auto walk = [&](uint32_t dir, auto&& f) {
    const uint32_t count = Le(b, dir + 12, 2) + Le(b, dir + 14, 2);
    for (uint32_t i = 0; i < count && dir + 16 + 8 * i + 8 <= b.size(); ++i) {
      const uint32_t id = Le(b, dir + 16 + 8 * i, 4), to = Le(b, dir + 20 + 8 * i, 4);
      f(id, root + (to & 0x7FFFFFFF), (to & 0x80000000) != 0);
    }
  };
  walk(root, [&](uint32_t type, uint32_t typeDir, bool isDir) {
    if (type != 6 || !isDir) return;  // RT_STRING
    walk(typeDir, [&](uint32_t block, uint32_t blockDir, bool blockIsDir) {
      if (!blockIsDir) return;
      walk(blockDir, [&](uint32_t lang, uint32_t dataEntry, bool) {
        uint32_t at = toOffset(Le(b, dataEntry, 4));
        const uint32_t end = at + Le(b, dataEntry + 4, 4);
        for (uint32_t i = 0; i < 16 && at + 2 <= end && end <= b.size(); ++i) {
          const uint32_t len = Le(b, at, 2);
          std::u16string s;
          for (uint32_t c = 0; c < len && at + 2 + 2 * c + 2 <= end; ++c) {
            s.push_back(static_cast<char16_t>(Le(b, at + 2 + 2 * c, 2)));
          }
          if (len > 0) pe.strings[(block - 1) * 16 + i] = {static_cast<uint16_t>(lang), s};
          at += 2 + 2 * len;
        }
      });
    });
  });
  return pe;
}

// ---------------------------------------------------------------------------------------------
// A line scan of the GPD: its features and options with their attributes, and command orders.
struct GpdBlock {
  std::string kind;  // "Feature", "Option" or "" for any other braced entry
  std::string name;
  std::string feature;  // the enclosing feature, for options and commands
  std::map<std::string, std::string> attributes;
};

struct Gpd {
  std::vector<GpdBlock> blocks;                         // features and options, in file order
  std::map<std::string, std::set<std::string>> orders;  // "JOB_FINISH.30" -> features using it
  std::map<std::string, std::string> root;              // root-level attributes
  std::string firstLine;
  bool bracesBalanced = true;
};

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

Gpd ParseGpd(const std::string& text) {
  Gpd gpd;
  std::istringstream in(text);
  std::string line, pending, pendingName;
  std::vector<GpdBlock> stack;
  bool first = true;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (first) gpd.firstLine = line, first = false;
    if (line.empty() || line.rfind("*%", 0) == 0) continue;
    if (line == "{") {
      GpdBlock block{pending, pendingName, "", {}};
      for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (it->kind == "Feature") {
          block.feature = it->name;
          break;
        }
      }
      if (pending == "Feature") block.feature = pendingName;
      stack.push_back(block);
      continue;
    }
    if (line == "}") {
      if (stack.empty()) {
        gpd.bracesBalanced = false;
        continue;
      }
      if (!stack.back().kind.empty()) gpd.blocks.push_back(stack.back());
      stack.pop_back();
      continue;
    }
    int depth = 0;
    for (char c : line) depth += (c == '{') - (c == '}');
    if (depth != 0) gpd.bracesBalanced = false;
    const auto colon = line.find(':');
    const std::string key = Trim(line.substr(0, colon));
    const std::string value = colon == std::string::npos ? "" : Trim(line.substr(colon + 1));
    pending.clear();
    pendingName = value;
    if (key == "*Feature") pending = "Feature";
    if (key == "*Option") pending = "Option";
    if (key == "*Order") {
      gpd.orders[value].insert(stack.empty() ? "" : stack.back().feature);
    }
    if (stack.empty()) {
      gpd.root[key] = value;
    } else {
      stack.back().attributes[key] = value;
    }
    // One-line commands carry their order inside: "*Command: X { *Order: ... *Cmd: ... }".
    const auto order = line.find("*Order:");
    if (order != std::string::npos && key != "*Order") {
      std::istringstream rest(line.substr(order + 7));
      std::string token;
      rest >> token;
      gpd.orders[token].insert(stack.empty() ? "" : stack.back().feature);
    }
  }
  if (!stack.empty()) gpd.bracesBalanced = false;
  return gpd;
}

std::vector<std::string> ContentLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty() || Trim(line)[0] == ';') continue;
    lines.push_back(line);
  }
  return lines;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// ---------------------------------------------------------------------------------------------

TEST(DriverPackageArchive, HoldsTheTwentyTwoMembersInLayoutOrder) {
  for (const Archive* a : {&Zh(), &En()}) {
    ASSERT_TRUE(a->opened);
    EXPECT_EQ(a->global.number_entry, 22u);
    EXPECT_EQ(a->global.size_comment, 0u);
    ASSERT_EQ(a->entries.size(), std::size(kLayout));
    for (size_t i = 0; i < a->entries.size(); ++i) {
      EXPECT_EQ(a->entries[i].name, kLayout[i]) << "member " << i;
    }
  }
}

TEST(DriverPackageArchive, RecordsAreFoldersStoredAndFilesDeflatedWithDosAttributes) {
  for (const Archive* a : {&Zh(), &En()}) {
    for (const Entry& e : a->entries) {
      SCOPED_TRACE(e.name);
      const unsigned long expectedTime = IsUnidrvMember(e.name) ? kDosTimeOldest
                                         : a == &Zh()           ? kDosTimeZh
                                                                : kDosTimeEn;
      const bool folder = e.name.back() == '/';
      EXPECT_EQ(e.info.version >> 8, 0u) << "made on host 0 (MS-DOS)";
      EXPECT_EQ(e.info.version_needed, 20u) << "no zip64 record";
      EXPECT_EQ(e.info.compression_method, folder ? 0u : 8u);
      EXPECT_EQ(e.info.external_fa, folder ? 0x10u : 0x20u);
      EXPECT_EQ(e.info.flag & 0x9u, 0u) << "neither encrypted nor with a data descriptor";
      EXPECT_EQ(e.info.size_file_extra, 0u);
      EXPECT_EQ(e.info.size_file_comment, 0u);
      EXPECT_EQ(e.localExtraLength, 0);
      EXPECT_EQ(e.info.dosDate, expectedTime);
      EXPECT_EQ(e.closeResult, UNZ_OK) << "CRC-32 of the member";
      if (folder) {
        EXPECT_EQ(e.info.uncompressed_size, 0u);
        EXPECT_EQ(e.info.compressed_size, 0u);
      } else {
        EXPECT_GT(e.data.size(), 0u);
        EXPECT_EQ(e.data.size(), e.info.uncompressed_size);
      }
    }
    // The end record sits at the very end (no archive comment) and no zip64 locator precedes it.
    ASSERT_GE(a->raw.size(), 42u);
    EXPECT_EQ(Le(a->raw, a->raw.size() - 22, 4), 0x06054b50u);
    EXPECT_NE(Le(a->raw, a->raw.size() - 22 - 20, 4), 0x07064b50u);
  }
}

TEST(DriverPackageArchive, LanguagesDifferOnlyInResourceLibraryAndCatalogues) {
  const std::set<std::string> differing = {"Windows x64/KV80.DLL", "Windows x64/KVDRVx64.cat",
                                           "Windows NT x86/KV80.DLL", "Windows NT x86/KVDRV.cat"};
  ASSERT_EQ(Zh().entries.size(), En().entries.size());
  for (size_t i = 0; i < Zh().entries.size(); ++i) {
    const std::string& name = Zh().entries[i].name;
    if (differing.count(name)) {
      EXPECT_TRUE(Zh().entries[i].data != En().entries[i].data) << name << " is the same";
    } else {
      EXPECT_TRUE(Zh().entries[i].data == En().entries[i].data) << name << " differs";
    }
  }
  EXPECT_NE(kDosTimeZh, kDosTimeEn);
}

TEST(DriverPackageInf, MembersAreTheCommittedFilesWithTheRequiredLines) {
  const std::vector<std::string> common = {"Signature=\"$Windows NT$\"", "Provider=%KV%",
                                           "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}",
                                           "Class=Printer"};
  std::vector<std::string> x86 = {"[Version]"};
  x86.insert(x86.end(), common.begin(), common.end());
  for (const char* l : {"CatalogFile=KVDRV.cat",
                        "[ClassInstall32.NT]",
                        "AddReg=printer_class_addreg",
                        "[printer_class_addreg]",
                        "HKR,,,,%PrinterClassName%",
                        "HKR,,Icon,,\"-4\"",
                        "HKR,,Installer32,,\"ntprint.dll,ClassInstall32\"",
                        "HKR,,NoDisplayClass,,1",
                        "HKR,,EnumPropPages32,,\"printui.dll,PrinterPropPageProvider\"",
                        "[Manufacturer]",
                        "\"Korvex\"",
                        "[Korvex]",
                        "\"KV-80C\"    = KV80C.GPD",
                        "[KV80C.GPD]",
                        "CopyFiles=@KV80.DLL,@KV80C.GPD",
                        "DataSection=UNIDRV_DATA",
                        "Include=NTPRINT.INF",
                        "Needs=TTFSUB.OEM,UNIDRV.OEM",
                        "[DestinationDirs]",
                        "DefaultDestDir=66000",
                        "[SourceDisksNames.x86]",
                        "1 = %disk1%,,,",
                        "[SourceDisksFiles]",
                        "KV80.DLL     = 1",
                        "KV80C.GPD    = 1",
                        "[Strings]",
                        "PrinterClassName=\"Printers\"",
                        "disk1=\"Korvex Driver Setup Disk\""}) {
    x86.push_back(l);
  }
  std::vector<std::string> x64 = {"[Version]"};
  x64.insert(x64.end(), common.begin(), common.end());
  for (const char* l : {"CatalogFile=KVDRVx64.cat",
                        "[Manufacturer]",
                        "\"Korvex\"=KV, NTamd64",
                        "[KV]",
                        "\"KV-80C\"    = KV80C.GPD",
                        "[KV.NTamd64]",
                        "\"KV-80C\"    = KV80C.GPD",
                        "[KV80C.GPD]",
                        "CopyFiles=@KV80.DLL,@KV80C.GPD",
                        "DataSection=UNIDRV_DATA",
                        "DataFile=KV80C.GPD",
                        "Include=NTPRINT.INF",
                        "Needs=UNIDRV.OEM",
                        "[DestinationDirs]",
                        "DefaultDestDir=66000",
                        "[SourceDisksNames.amd64]",
                        "1 = %disk1%,,,",
                        "[SourceDisksFiles]",
                        "KV80.DLL     = 1",
                        "KV80C.GPD    = 1",
                        "[Strings]",
                        "PrinterClassName=\"Printers\"",
                        "disk1=\"Korvex Driver Setup Disk\""}) {
    x64.push_back(l);
  }
  const struct {
    const char* member;
    const char* file;
    const std::vector<std::string>& lines;
  } infs[] = {{"Windows NT x86/KVDRV.INF", "KVDRV.INF", x86},
              {"Windows x64/KVDRVx64.INF", "KVDRVx64.INF", x64}};
  for (const auto& inf : infs) {
    SCOPED_TRACE(inf.member);
    const Bytes committed = ReadFile(fs::path(QM_DRIVER_PACKAGE_SOURCE_DIR) / inf.file);
    ASSERT_FALSE(committed.empty());
    for (const Archive* a : {&Zh(), &En()}) EXPECT_TRUE(a->Data(inf.member) == committed);
    for (size_t i = 0; i < committed.size(); ++i) {
      ASSERT_LT(committed[i], 0x80) << "ASCII only, at byte " << i;
      const bool lf = committed[i] == '\n', cr = committed[i] == '\r';
      ASSERT_FALSE(lf && (i == 0 || committed[i - 1] != '\r')) << "bare LF at byte " << i;
      ASSERT_FALSE(cr && (i + 1 == committed.size() || committed[i + 1] != '\n'))
          << "bare CR at " << i;
    }
    EXPECT_EQ(ContentLines(AsText(committed)), inf.lines);
  }
}

TEST(DriverPackageLibrary, EachArchitectureGetsItsOwnKindOfDll) {
  std::vector<std::string> dlls = {"KV80.DLL"};
  if (QM_DRIVER_PACKAGE_STANDINS) dlls = {"KV80.DLL", "UNIDRV.DLL", "UNIDRVUI.DLL", "UNIRES.DLL"};
  for (const Archive* a : {&Zh(), &En()}) {
    for (const std::string& dll : dlls) {
      const PeImage x86 = ParsePe(a->Data("Windows NT x86/" + dll));
      const PeImage x64 = ParsePe(a->Data("Windows x64/" + dll));
      ASSERT_TRUE(x86.valid && x64.valid) << dll;
      EXPECT_EQ(x86.machine, 0x14c) << dll << ": i386";
      EXPECT_EQ(x86.magic, 0x10b) << dll << ": PE32";
      EXPECT_EQ(x64.machine, 0x8664) << dll << ": AMD64";
      EXPECT_EQ(x64.magic, 0x20b) << dll << ": PE32+";
      EXPECT_TRUE(x86.isDll && x64.isDll) << dll;
    }
  }
}

TEST(DriverPackageLibrary, StringTablesSpeakTheLanguageOfTheirPackage) {
  const PeImage zh86 = ParsePe(Zh().Data("Windows NT x86/KV80.DLL"));
  const PeImage zh64 = ParsePe(Zh().Data("Windows x64/KV80.DLL"));
  const PeImage en86 = ParsePe(En().Data("Windows NT x86/KV80.DLL"));
  const PeImage en64 = ParsePe(En().Data("Windows x64/KV80.DLL"));
  ASSERT_FALSE(zh86.strings.empty());
  ASSERT_FALSE(en86.strings.empty());
  EXPECT_EQ(zh86.strings, zh64.strings);
  EXPECT_EQ(en86.strings, en64.strings);
  for (const auto& [id, s] : zh86.strings) EXPECT_EQ(s.first, 0x0804) << "string " << id;
  for (const auto& [id, s] : en86.strings) EXPECT_EQ(s.first, 0x0409) << "string " << id;
  std::set<uint32_t> zhIds, enIds;
  for (const auto& s : zh86.strings) zhIds.insert(s.first);
  for (const auto& s : en86.strings) enIds.insert(s.first);
  EXPECT_EQ(zhIds, enIds) << "both languages name the same things";

  for (const PeImage* pe : {&zh86, &en86}) {
    EXPECT_EQ(pe->strings.at(100).second, u"Thermal 80 Printer");
    EXPECT_EQ(pe->strings.at(101).second, u"KV-80");
    EXPECT_EQ(pe->strings.at(102).second, u"KV-80C");
  }
  EXPECT_EQ(zh86.strings.at(300).second, u"钱箱 1");
  EXPECT_EQ(zh86.strings.at(233).second, u"80 x 3276 毫米（卷纸）");
  EXPECT_EQ(en86.strings.at(300).second, u"Cash Drawer 1");
  EXPECT_EQ(en86.strings.at(233).second, u"80 x 3276 mm (Roll)");
  // Every Chinese display name beyond the model names carries Chinese text.
  for (const auto& [id, s] : zh86.strings) {
    if (id < 200) continue;
    bool han = false;
    for (char16_t c : s.second) han = han || (c >= 0x4E00 && c <= 0x9FFF);
    EXPECT_TRUE(han) << "string " << id << " is not Chinese";
  }
}

TEST(DriverPackageGpd, DescribesTheRollPrinterWithNamesFromTheLibrary) {
  const Bytes bytes = Zh().Data("Windows NT x86/KV80C.GPD");
  ASSERT_FALSE(bytes.empty());
  EXPECT_TRUE(bytes == Zh().Data("Windows x64/KV80C.GPD"));
  EXPECT_TRUE(bytes == ReadFile(fs::path(QM_DRIVER_PACKAGE_SOURCE_DIR) / "KV80C.GPD"));
  const Gpd gpd = ParseGpd(AsText(bytes));
  EXPECT_TRUE(gpd.bracesBalanced);
  // The parser requires the spec version before anything else, comments included.
  EXPECT_EQ(gpd.firstLine, "*GPDSpecVersion: \"1.0\"");
  EXPECT_EQ(gpd.root.at("*GPDFileName"), "\"KV80C.GPD\"");
  EXPECT_EQ(gpd.root.at("*ModelName"), "\"KV-80C\"");
  EXPECT_EQ(gpd.root.at("*ResourceDLL"), "\"KV80.DLL\"");
  EXPECT_EQ(gpd.root.at("*Include"), "\"StdNames.gpd\"");
  EXPECT_EQ(gpd.root.at("*MasterUnits"), "PAIR(203, 203)");

  const PeImage zh = ParsePe(Zh().Data("Windows NT x86/KV80.DLL"));
  const PeImage en = ParsePe(En().Data("Windows NT x86/KV80.DLL"));
  std::set<std::string> features;
  for (const GpdBlock& b : gpd.blocks) {
    SCOPED_TRACE(b.kind + " " + b.name + " of " + b.feature);
    if (b.kind == "Feature") features.insert(b.name);
    ASSERT_EQ(b.attributes.count("*rcNameID"), 1u) << "display name from the library";
    const uint32_t id = static_cast<uint32_t>(std::stoul(b.attributes.at("*rcNameID")));
    EXPECT_EQ(zh.strings.count(id), 1u);
    EXPECT_EQ(en.strings.count(id), 1u);
    if (b.feature == "PaperSize" && b.kind == "Option" && b.name != "CUSTOMSIZE") {
      EXPECT_EQ(b.attributes.at("*PageDimensions").rfind("PAIR(640,", 0), 0u) << "80 mm wide";
      EXPECT_EQ(b.attributes.at("*PrintableArea").rfind("PAIR(576,", 0), 0u) << "576 dots";
      EXPECT_EQ(b.attributes.at("*PrintableOrigin"), "PAIR(32, 0)") << "centred";
    }
  }
  for (const char* f :
       {"InputBin", "PaperSize", "Resolution", "CashDrawer1", "CashDrawer2", "PaperCut",
        "FeedAfterJob", "TopLogo", "BottomLogo", "CharEnlargement", "Alarm", "PrintDensity"}) {
    EXPECT_EQ(features.count(f), 1u) << f;
  }
  // Sequence numbers must be unique within a section, or two features' commands collide.
  EXPECT_EQ(gpd.orders.count("JOB_SETUP.1"), 1u) << "the printer is reset first";
  EXPECT_EQ(gpd.orders.at("JOB_FINISH.30"), std::set<std::string>{"PaperCut"});
  for (const auto& [order, users] : gpd.orders) EXPECT_EQ(users.size(), 1u) << order;
}

TEST(DriverPackageCatalogue, ListsTheHashesOfTheFilesOfItsOwnFolder) {
  for (const Archive* a : {&Zh(), &En()}) {
    for (const char* folder : {"Windows NT x86/", "Windows x64/"}) {
      const std::string f = folder;
      const bool x86 = f == "Windows NT x86/";
      const std::string inf = x86 ? "KVDRV.INF" : "KVDRVx64.INF";
      const std::string text = AsText(a->Data(f + (x86 ? "KVDRV.cat" : "KVDRVx64.cat")));
      SCOPED_TRACE(f + (a == &Zh() ? " zh" : " en"));
      EXPECT_NE(text.find("Stand-in"), std::string::npos);
      std::map<std::string, std::string> hashes;
      for (const std::string& line : ContentLines(text)) {
        std::istringstream in(line);
        std::string name, hash;
        in >> name >> hash;
        hashes[name] = hash;
      }
      ASSERT_EQ(hashes.size(), 3u);
      for (const std::string& name : {inf, std::string("KV80.DLL"), std::string("KV80C.GPD")}) {
        EXPECT_EQ(hashes[name], Sha256Hex(a->Data(f + name))) << name;
      }
    }
  }
}

TEST(DriverPackageStandIns, SayWhatTheyStandForAndAgreeWithEachOther) {
  if (!QM_DRIVER_PACKAGE_STANDINS) GTEST_SKIP() << "packed with the real Unidrv files";
  for (const char* folder : {"Windows NT x86/", "Windows x64/"}) {
    const std::string f = folder;
    SCOPED_TRACE(f);
    EXPECT_NE(AsText(Zh().Data(f + "UNIDRV.HLP")).find("Stand-in"), std::string::npos);
    EXPECT_NE(AsText(Zh().Data(f + "TTFSUB.GPD")).find("Stand-in"), std::string::npos);
    for (const char* dll : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIRES.DLL"}) {
      const PeImage pe = ParsePe(Zh().Data(f + dll));
      ASSERT_EQ(pe.strings.count(1), 1u) << dll;
      EXPECT_EQ(pe.strings.at(1).second.rfind(u"Stand-in for ", 0), 0u) << dll;
      // As the simulated spooler reads it: a versioned printer-driver file, 0.3.0.0.
      const Bytes bytes = Zh().Data(f + dll);
      const auto version = sim::pe::Version(std::string(bytes.begin(), bytes.end()));
      ASSERT_TRUE(version.has_value()) << dll;
      EXPECT_EQ(version->fileVersionMS, 3u) << dll;
      EXPECT_EQ(version->fileVersionLS, 0u) << dll;
      EXPECT_EQ(version->fileType, 3u) << dll;
      EXPECT_EQ(version->fileSubtype, 12u) << dll;
    }
    // Each standard name of the stand-in STDNAMES.GPD is a string of the stand-in UNIRES.DLL.
    const PeImage unires = ParsePe(Zh().Data(f + "UNIRES.DLL"));
    const std::string stdnames = AsText(Zh().Data(f + "STDNAMES.GPD"));
    const std::string ref = "RESDLL.UniresDLL.";
    int names = 0;
    for (auto at = stdnames.find(ref); at != std::string::npos; at = stdnames.find(ref, at + 1)) {
      const uint32_t id = static_cast<uint32_t>(std::stoul(stdnames.substr(at + ref.size())));
      EXPECT_EQ(unires.strings.count(id), 1u) << "string " << id;
      ++names;
    }
    EXPECT_GT(names, 0);
    EXPECT_TRUE(ParseGpd(stdnames).bracesBalanced);
  }
}

// The packer, run on the members of the built Chinese archive.
class PackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qm_packer_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_TRUE(Zh().opened);
    for (const Entry& e : Zh().entries) {
      if (e.name.back() == '/') continue;
      const fs::path path = dir_ / "in" / e.name;
      fs::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(e.data.data()), std::streamsize(e.data.size()));
      members_[e.name] = path.string();
    }
  }
  void TearDown() override { fs::remove_all(dir_); }

  // As the build packs it: the Unidrv members at the oldest time, unless `memberTimes` says.
  int Pack(const fs::path& out, const std::string& time,
           const std::map<std::string, std::string>& members,
           std::vector<std::string> memberTimes = {}) {
    if (memberTimes.empty()) {
      for (const auto& [name, path] : members)
        if (IsUnidrvMember(name)) memberTimes.push_back(name + "=1980-01-01 00:00:00");
    }
    std::string cmd = ShellQuote(QM_PACK_DRIVER_PACKAGE) + " --output " + ShellQuote(out.string()) +
                      " --time " + ShellQuote(time);
    for (const auto& memberTime : memberTimes) cmd += " --member-time " + ShellQuote(memberTime);
    for (const auto& [name, path] : members) cmd += " " + ShellQuote(name + "=" + path);
    cmd += " 2>" + ShellQuote((dir_ / "stderr.txt").string());
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dir_;
  std::map<std::string, std::string> members_;
};

TEST_F(PackerTest, SameInputsGiveTheSameBytesAsTheBuiltArchive) {
  ASSERT_EQ(Pack(dir_ / "a.zip", "2020-04-23 14:35:36", members_), 0);
  ASSERT_EQ(Pack(dir_ / "b.zip", "2020-04-23 14:35:36", members_), 0);
  const Bytes a = ReadFile(dir_ / "a.zip");
  ASSERT_FALSE(a.empty());
  EXPECT_TRUE(a == ReadFile(dir_ / "b.zip")) << "two runs differ";
  EXPECT_TRUE(a == Zh().raw) << "differs from the built archive";
  EXPECT_FALSE(fs::exists(dir_ / "a.zip.part"));
}

TEST_F(PackerTest, RefusesBadInputsAndLeavesAnEarlierArchiveAlone) {
  const fs::path out = dir_ / "out.zip";
  ASSERT_EQ(Pack(out, "2020-04-23 14:35:36", members_), 0);
  const Bytes before = ReadFile(out);

  auto missingFile = members_;
  missingFile["Windows x64/UNIDRV.HLP"] = (dir_ / "no-such-file").string();
  auto missingMember = members_;
  missingMember.erase("Windows NT x86/KVDRV.INF");
  auto unknownMember = members_;
  unknownMember["Windows NT x86/EXTRA.TXT"] = members_.begin()->second;
  auto folderMember = members_;
  folderMember["Windows x64/"] = members_.begin()->second;
  const std::string unidrv = "Windows x64/UNIDRV.DLL=1980-01-01 00:00:00";
  const struct {
    const char* what;
    std::string time;
    const std::map<std::string, std::string>& members;
    std::vector<std::string> memberTimes;
  } cases[] = {
      {"source file missing", "2020-04-23 14:35:36", missingFile, {}},
      {"member without a file", "2020-04-23 14:35:36", missingMember, {}},
      {"member not in the layout", "2020-04-23 14:35:36", unknownMember, {}},
      {"folder member given a file", "2020-04-23 14:35:36", folderMember, {}},
      {"odd seconds", "2020-04-23 14:35:37", members_, {}},
      {"year before 1980", "1979-12-31 23:59:58", members_, {}},
      {"no such day", "2021-02-29 10:00:00", members_, {}},
      {"not a time", "yesterday", members_, {}},
      {"a member's time twice", "2020-04-23 14:35:36", members_, {unidrv, unidrv}},
      {"a folder member's time",
       "2020-04-23 14:35:36",
       members_,
       {"Windows x64/=1980-01-01 00:00:00"}},
      {"a member's time not a time",
       "2020-04-23 14:35:36",
       members_,
       {"Windows x64/UNIDRV.DLL=1979-12-31 23:59:58"}},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Pack(out, c.time, c.members, c.memberTimes), 0) << c.what;
    EXPECT_FALSE(AsText(ReadFile(dir_ / "stderr.txt")).empty()) << c.what << ": says why";
    EXPECT_TRUE(ReadFile(out) == before) << c.what << ": the earlier archive changed";
    EXPECT_FALSE(fs::exists(dir_ / "out.zip.part")) << c.what;
  }
  const fs::path fresh = dir_ / "fresh.zip";
  EXPECT_NE(Pack(fresh, "2020-04-23 14:35:36", missingFile), 0);
  EXPECT_FALSE(fs::exists(fresh));
  // A leap day is a valid DOS date.
  EXPECT_EQ(Pack(fresh, "2024-02-29 00:00:00", members_), 0);
}

}  // namespace
