// Build tool: packs the KV-80C driver package into the zip archive that Quillmate carries.
//
//   pack_driver_package --output <archive.zip> --time "YYYY-MM-DD HH:MM:SS"
//                       [--member-time "<member>=YYYY-MM-DD HH:MM:SS"] ...
//                       "<member>=<file>" ... (one for each of the 20 file members)
//
// The members' names and order are fixed here, because the installer's unpacking and the
// driver registration rely on them. Every record is written the same way (made on MS-DOS, no
// extra fields, a fixed DOS time: --time, or the member's own --member-time), so the same
// inputs always give the same bytes.
#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

struct Member {
  const char* name;
  bool folder;
};

// Central-directory order is unpacking order: each folder comes before its files.
constexpr Member kLayout[] = {
    {"Windows x64/", true},
    {"Windows x64/STDNAMES.GPD", false},
    {"Windows x64/TTFSUB.GPD", false},
    {"Windows x64/UNIDRV.DLL", false},
    {"Windows x64/UNIDRV.HLP", false},
    {"Windows x64/UNIDRVUI.DLL", false},
    {"Windows x64/UNIRES.DLL", false},
    {"Windows x64/KV80.DLL", false},
    {"Windows x64/KV80C.GPD", false},
    {"Windows x64/KVDRVx64.cat", false},
    {"Windows x64/KVDRVx64.INF", false},
    {"Windows NT x86/", true},
    {"Windows NT x86/STDNAMES.GPD", false},
    {"Windows NT x86/TTFSUB.GPD", false},
    {"Windows NT x86/UNIDRV.DLL", false},
    {"Windows NT x86/UNIDRV.HLP", false},
    {"Windows NT x86/UNIDRVUI.DLL", false},
    {"Windows NT x86/UNIRES.DLL", false},
    {"Windows NT x86/KV80.DLL", false},
    {"Windows NT x86/KV80C.GPD", false},
    {"Windows NT x86/KVDRV.cat", false},
    {"Windows NT x86/KVDRV.INF", false},
};

// Host 0 (MS-DOS) in the high byte, so readers take the external attributes as Windows ones;
// 20 is zip format 2.0 (deflate), the lowest that describes these records.
constexpr uLong kVersionMadeBy = 20;
constexpr uLong kFolderAttributes = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr uLong kFileAttributes = 0x20;    // FILE_ATTRIBUTE_ARCHIVE
constexpr int kDeflateLevel = 9;

struct Options {
  std::string output;
  uLong dosTime = 0;
  std::map<std::string, std::string> sources;  // member name -> file on disk
  std::map<std::string, uLong> memberTimes;    // file member name -> its own DOS time
};

void PrintUsage() {
  std::fprintf(stderr,
               "usage: pack_driver_package --output <archive.zip> --time \"YYYY-MM-DD HH:MM:SS\"\n"
               "                           [--member-time \"<member>=YYYY-MM-DD HH:MM:SS\"] ...\n"
               "                           \"<member>=<file>\" ...\n"
               "members:\n");
  for (const Member& m : kLayout) {
    if (!m.folder) std::fprintf(stderr, "  %s\n", m.name);
  }
}

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// A DOS time holds years 1980 to 2107 and seconds in steps of two; a time it cannot hold
// exactly is refused rather than rounded, so the archive carries what the build asked for.
std::optional<uLong> ParseDosTime(const std::string& text, std::string& error) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
      6) {
    error = "the time must be written YYYY-MM-DD HH:MM:SS, not \"" + text + "\"";
    return std::nullopt;
  }
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1980 || y > 2107) {
    error = "a DOS time holds the years 1980 to 2107 only";
    return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] + ((mo == 2 && IsLeapYear(y)) ? 1 : 0) ||
      h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) {
    error = "\"" + text + "\" is not a valid calendar time";
    return std::nullopt;
  }
  if (s % 2 != 0) {
    error = "a DOS time counts seconds in steps of two; " + std::to_string(s) + " is odd";
    return std::nullopt;
  }
  const uLong date = (uLong(y - 1980) << 9) | (uLong(mo) << 5) | uLong(d);
  const uLong clock = (uLong(h) << 11) | (uLong(mi) << 5) | uLong(s / 2);
  return (date << 16) | clock;
}

const Member* FindMember(const std::string& name) {
  for (const Member& m : kLayout) {
    if (name == m.name) return &m;
  }
  return nullptr;
}

// A file member named by an argument "<member>=<value>"; null, having said why, when it is none.
const Member* FileMemberOf(const std::string& arg, std::string& value) {
  const std::string::size_type eq = arg.find('=');
  if (eq == std::string::npos) {
    std::fprintf(stderr, "pack_driver_package: unexpected argument \"%s\"\n", arg.c_str());
    return nullptr;
  }
  const std::string name = arg.substr(0, eq);
  const Member* member = FindMember(name);
  if (member == nullptr || member->folder) {
    std::fprintf(stderr, "pack_driver_package: \"%s\" is not a file member of the package\n",
                 name.c_str());
    return nullptr;
  }
  value = arg.substr(eq + 1);
  return member;
}

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options options;
  bool haveTime = false;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--output" || arg == "--time" || arg == "--member-time") {
      if (i + 1 == argc) {
        std::fprintf(stderr, "pack_driver_package: %s needs a value\n", arg.c_str());
        return std::nullopt;
      }
      const std::string value = argv[++i];
      if (arg == "--output") {
        options.output = value;
        continue;
      }
      std::string timeText = value;
      const Member* member = nullptr;
      if (arg == "--member-time" && (member = FileMemberOf(value, timeText)) == nullptr) {
        ok = false;
        continue;
      }
      std::string error;
      const std::optional<uLong> dos = ParseDosTime(timeText, error);
      if (!dos) {
        std::fprintf(stderr, "pack_driver_package: %s\n", error.c_str());
        return std::nullopt;
      }
      if (member == nullptr) {
        options.dosTime = *dos;
        haveTime = true;
      } else if (!options.memberTimes.emplace(member->name, *dos).second) {
        std::fprintf(stderr, "pack_driver_package: \"%s\" is given a time twice\n", member->name);
        ok = false;
      }
      continue;
    }
    std::string source;
    const Member* member = FileMemberOf(arg, source);
    if (member == nullptr) {
      ok = false;
    } else if (!options.sources.emplace(member->name, source).second) {
      std::fprintf(stderr, "pack_driver_package: \"%s\" is given twice\n", member->name);
      ok = false;
    }
  }
  if (options.output.empty()) {
    std::fprintf(stderr, "pack_driver_package: no --output given\n");
    ok = false;
  }
  if (!haveTime) {
    std::fprintf(stderr, "pack_driver_package: no --time given\n");
    ok = false;
  }
  for (const Member& m : kLayout) {
    if (!m.folder && options.sources.count(m.name) == 0) {
      std::fprintf(stderr, "pack_driver_package: no file given for \"%s\"\n", m.name);
      ok = false;
    }
  }
  if (!ok) return std::nullopt;
  return options;
}

bool ReadWholeFile(const std::string& path, std::vector<char>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pack_driver_package: cannot open \"%s\": %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    std::fprintf(stderr, "pack_driver_package: cannot read \"%s\"\n", path.c_str());
    return false;
  }
  // Records without zip64 hold 32-bit sizes; the readers of the package expect no zip64.
  if (bytes.size() >= 0xFFFFFFFFu) {
    std::fprintf(stderr, "pack_driver_package: \"%s\" is too large for the package\n",
                 path.c_str());
    return false;
  }
  return true;
}

bool AddMember(zipFile zip, const Member& member, const std::vector<char>& data, uLong dosTime) {
  zip_fileinfo info{};
  info.dosDate = dosTime;
  info.external_fa = member.folder ? kFolderAttributes : kFileAttributes;
  const int method = member.folder ? 0 : Z_DEFLATED;
  const int level = member.folder ? 0 : kDeflateLevel;
  int err = zipOpenNewFileInZip4(zip, member.name, &info, nullptr, 0, nullptr, 0, nullptr, method,
                                 level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                 0, kVersionMadeBy, 0);
  if (err != ZIP_OK) {
    std::fprintf(stderr, "pack_driver_package: cannot start \"%s\" (zip error %d)\n", member.name,
                 err);
    return false;
  }
  constexpr std::size_t kChunk = 1u << 20;
  for (std::size_t done = 0; done < data.size() && err == ZIP_OK; done += kChunk) {
    const std::size_t n = std::min(kChunk, data.size() - done);
    err = zipWriteInFileInZip(zip, data.data() + done, static_cast<unsigned>(n));
  }
  const int closeErr = zipCloseFileInZip(zip);
  if (err != ZIP_OK || closeErr != ZIP_OK) {
    std::fprintf(stderr, "pack_driver_package: cannot write \"%s\" (zip error %d)\n", member.name,
                 err != ZIP_OK ? err : closeErr);
    return false;
  }
  return true;
}

bool WriteArchive(const Options& options, const std::string& path) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) {
    std::fprintf(stderr, "pack_driver_package: cannot create \"%s\"\n", path.c_str());
    return false;
  }
  bool ok = true;
  std::vector<char> data;
  for (const Member& member : kLayout) {
    data.clear();
    if (!member.folder && !ReadWholeFile(options.sources.at(member.name), data)) {
      ok = false;
      break;
    }
    const auto own = options.memberTimes.find(member.name);
    const uLong dosTime = own != options.memberTimes.end() ? own->second : options.dosTime;
    if (!AddMember(zip, member, data, dosTime)) {
      ok = false;
      break;
    }
  }
  // Closed on failure too, so the handle and its file are released before the file goes.
  const int err = zipClose(zip, nullptr);
  if (ok && err != ZIP_OK) {
    std::fprintf(stderr, "pack_driver_package: cannot finish \"%s\" (zip error %d)\n", path.c_str(),
                 err);
    ok = false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage();
    return 0;
  }
  const std::optional<Options> options = ParseArguments(argc, argv);
  if (!options) {
    std::fprintf(stderr, "pack_driver_package: --help lists the arguments and the members\n");
    return 2;
  }
  // Built beside the target and renamed over it only when complete: a failed run leaves
  // neither half an archive nor a damaged earlier one.
  const std::string partial = options->output + ".part";
  std::error_code ec;
  if (!WriteArchive(*options, partial)) {
    std::filesystem::remove(partial, ec);
    return 1;
  }
  std::filesystem::rename(partial, options->output, ec);
  if (ec) {
    std::fprintf(stderr, "pack_driver_package: cannot replace \"%s\": %s\n",
                 options->output.c_str(), ec.message().c_str());
    std::filesystem::remove(partial, ec);
    return 1;
  }
  return 0;
}
