// The simulated file system: Windows paths over a host sandbox folder, with Windows' rules.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <strings.h>
#include <unordered_map>

#include "platform/sim/state.h"

namespace sim::detail {
namespace {

struct Resolved {
  DWORD error = 0;      // nonzero: the path cannot name anything
  std::string host;     // where it is, or would be, on the host
  std::string windows;  // the absolute Windows path, normalised
  bool exists = false;
  mode_t type = 0;  // the S_IFMT bits of what it names, links not followed; 0 when missing
  bool parentExists = false;
  bool trailingSeparator = false;
  bool isRoot = false;
};

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool Lead(unsigned char c) {
  return M().system.ansiCodePage == 936 && c >= 0x81 && c <= 0xFE;
}

// Splits at separators; a GBK trail byte equal to a backslash is never one.
std::vector<std::string> SplitAnsi(const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (Lead(c) && i + 1 < path.size()) {
      parts.back() += path[i];
      parts.back() += path[++i];
    } else if (IsSeparator(path[i])) {
      parts.emplace_back();
    } else {
      parts.back() += path[i];
    }
  }
  return parts;
}

bool AnsiEqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (Lead(x)) {
      if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool InvalidName(const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (Lead(c)) {
      ++i;
      continue;
    }
    if (c < 32 || std::strchr("<>:\"|?*", c)) return true;
  }
  return false;
}

bool LStat(const std::string& host, struct stat& st) {
  return ::lstat(host.c_str(), &st) == 0;
}
bool IsDirectory(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsLink(const std::string& host) {
  struct stat st;
  return LStat(host, st) && S_ISLNK(st.st_mode);
}

// Every byte lower-cased: names equal without regard to case under any code page fold alike,
// though under GBK two names that fold alike may still differ.
std::string Folded(const std::string& name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::string Absolute(const std::string& path, DWORD& error) {
  const std::string& cwd = M().system.currentDirectory;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    error = 53;  // ERROR_BAD_NETPATH: the machine has no network shares
    return {};
  }
  if (path.size() >= 2 && path[1] == ':') {
    if (path.size() >= 3 && IsSeparator(path[2])) return path;
    return cwd + "\\" + path.substr(2);
  }
  if (!path.empty() && IsSeparator(path[0])) return cwd.substr(0, 2) + path;
  return cwd + "\\" + path;
}

}  // namespace

struct FileSystem {
  struct Meta {
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    FILETIME creation{}, access{}, write{};
  };
  struct OpenFile {
    int fd;
    std::string host;
    DWORD share;
  };
  struct Search {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
  };
  // What the sandbox holds, kept so that resolving a path costs no scan of a folder and no host
  // call for each folder on the way: scanning a folder for every name not yet in it made
  // unpacking many files quadratic. Listings are kept per host folder (device and inode, so a
  // junction and its target share one); every change to the sandbox goes through Refresh.
  using FolderId = std::pair<dev_t, ino_t>;
  struct Entry {
    std::string name;
    mode_t type;  // the S_IFMT bits of the entry itself, links not followed
    FolderId id;
  };
  using Listing = std::unordered_map<std::string, std::vector<Entry>>;  // by folded name

  FileSystem() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-sim-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) std::abort();
    root = buffer.data();
    struct stat st;
    if (::mkdir((root + "/C").c_str(), 0755) != 0 || ::stat((root + "/C").c_str(), &st) != 0)
      std::abort();
    drive = Entry{"C", S_IFDIR, {st.st_dev, st.st_ino}};
  }
  ~FileSystem() {
    for (auto& [handle, file] : open) ::close(file.fd);
    ::nftw(
        root.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
  }

  Resolved Resolve(const std::string& input) {
    Resolved r;
    if (input.empty()) {
      r.error = ERROR_PATH_NOT_FOUND;
      return r;
    }
    std::string absolute = Absolute(input, r.error);
    if (r.error) return r;
    if (std::toupper(static_cast<unsigned char>(absolute[0])) != 'C') {
      r.error = ERROR_PATH_NOT_FOUND;
      return r;
    }
    std::vector<std::string> parts = SplitAnsi(absolute.substr(2));
    r.trailingSeparator = IsSeparator(absolute.back()) && absolute.size() > 3;
    std::vector<std::string> names;
    for (std::string& part : parts) {
      // Windows drops trailing dots and blanks of a name.
      if (part != "." && part != "..")
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        if (!names.empty()) names.pop_back();
        continue;
      }
      if (InvalidName(part)) {
        r.error = ERROR_INVALID_NAME;
        return r;
      }
      names.push_back(part);
    }
    r.windows = "C:";
    for (const auto& n : names) r.windows += "\\" + n;
    if (names.empty()) r.windows += "\\";
    if (r.windows.size() > MAX_PATH - 1) {
      r.error = ERROR_FILENAME_EXCED_RANGE;
      return r;
    }
    std::string dir = root + "/C";
    r.isRoot = names.empty();
    if (r.isRoot) {
      r.host = dir;
      r.exists = r.parentExists = true;
      r.type = S_IFDIR;
      return r;
    }
    Listing* listing = FolderListing(dir, &drive);
    for (size_t i = 0; i + 1 < names.size(); ++i) {
      const Entry* entry = FindEntry(listing, names[i]);
      Listing* inner = entry ? FolderListing(dir + "/" + entry->name, entry) : nullptr;
      if (inner == nullptr) {
        r.host = dir + "/" + names[i];
        return r;  // a folder on the way is missing
      }
      dir += "/" + entry->name;
      listing = inner;
    }
    r.parentExists = true;
    const Entry* entry = FindEntry(listing, names.back());
    r.exists = entry != nullptr;
    r.type = entry ? entry->type : 0;
    r.host = dir + "/" + (entry ? entry->name : names.back());
    return r;
  }

  Meta& MetaOf(const std::string& host) { return meta[host]; }

  // The listing of the folder at host path `path`, read from the host the first time; null when
  // it is no folder (a link counts when it leads to one). `entry` is the path's entry in its
  // parent's listing, or null to ask the host.
  Listing* FolderListing(const std::string& path, const Entry* entry) {
    FolderId id;
    if (entry != nullptr && S_ISDIR(entry->type)) {
      id = entry->id;
    } else if (entry != nullptr && !S_ISLNK(entry->type)) {
      return nullptr;
    } else {
      struct stat st;
      if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
      id = FolderId{st.st_dev, st.st_ino};
    }
    auto [it, added] = listings.try_emplace(id);
    if (added) {
      DIR* d = ::opendir(path.c_str());
      if (d == nullptr) {
        listings.erase(it);
        return nullptr;
      }
      while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        struct stat st;
        if (name != "." && name != ".." && LStat(path + "/" + name, st))
          it->second[Folded(name)].push_back({name, st.st_mode & S_IFMT, {st.st_dev, st.st_ino}});
      }
      ::closedir(d);
    }
    return &it->second;
  }

  // The entry whose name equals `name` without regard to case; the exact spelling first.
  static const Entry* FindEntry(const Listing* listing, const std::string& name) {
    if (listing == nullptr) return nullptr;
    auto bucket = listing->find(Folded(name));
    if (bucket == listing->end()) return nullptr;
    const std::vector<Entry>& entries = bucket->second;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.name == name; });
    if (it == entries.end())
      it = std::find_if(entries.begin(), entries.end(),
                        [&](const Entry& e) { return AnsiEqualNoCase(e.name, name); });
    return it == entries.end() ? nullptr : &*it;
  }

  // Brings the kept listing of `host`'s folder in line with what the host now has at `host`.
  // Something made through a link may have appeared at its target, in any folder: then every
  // listing is read again.
  void Refresh(const std::string& host) {
    struct stat st;
    bool exists = LStat(host, st);
    if (exists && S_ISLNK(st.st_mode)) {
      listings.clear();
      return;
    }
    size_t cut = host.rfind('/');
    struct stat folder;
    if (::stat(host.substr(0, cut).c_str(), &folder) != 0) return;
    auto listing = listings.find(FolderId{folder.st_dev, folder.st_ino});
    if (listing == listings.end()) return;
    std::string name = host.substr(cut + 1);
    std::string key = Folded(name);
    std::vector<Entry>& entries = listing->second[key];
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.name == name; });
    if (exists) {
      Entry now{name, st.st_mode & S_IFMT, {st.st_dev, st.st_ino}};
      if (it == entries.end()) {
        entries.push_back(now);
      } else {
        *it = now;
      }
    } else if (it != entries.end()) {
      entries.erase(it);
    }
    if (entries.empty()) listing->second.erase(key);
  }

  // Removes an empty folder; its listing goes with it, as the host may reuse its inode.
  bool RemoveFolder(const std::string& host) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0 || ::rmdir(host.c_str()) != 0) return false;
    listings.erase(FolderId{st.st_dev, st.st_ino});
    Refresh(host);
    return true;
  }

  // `type` is what a path's resolution found (S_IFMT bits), or 0 to ask the host.
  DWORD Attributes(const std::string& host, mode_t type = 0) {
    if (type == 0) {
      struct stat st;
      if (!LStat(host, st)) return INVALID_FILE_ATTRIBUTES;
      type = st.st_mode & S_IFMT;
    }
    if (S_ISLNK(type))
      return FILE_ATTRIBUTE_REPARSE_POINT |
             (IsDirectory(host) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    auto it = meta.find(host);
    if (S_ISDIR(type)) {
      DWORD extra = it == meta.end() ? 0 : (it->second.attributes & 0x07);
      return FILE_ATTRIBUTE_DIRECTORY | extra;
    }
    if (it == meta.end()) return FILE_ATTRIBUTE_ARCHIVE;
    return it->second.attributes ? it->second.attributes : FILE_ATTRIBUTE_NORMAL;
  }

  bool IsOpen(const std::string& host) const {
    return std::any_of(open.begin(), open.end(),
                       [&](const auto& f) { return f.second.host == host; });
  }

  // Drops what is kept about `host` and everything beneath it: one sorted range.
  void Forget(const std::string& host) {
    meta.erase(host);
    std::string prefix = host + "/";
    for (auto it = meta.lower_bound(prefix);
         it != meta.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
      it = meta.erase(it);
  }

  std::string WindowsPathOf(const std::string& host) const {
    std::string rest = host.substr(root.size() + 2);  // after "<root>/C"
    std::string path = "C:";
    for (char c : rest) path += c == '/' ? '\\' : c;
    return path.size() == 2 ? "C:\\" : path;
  }

  std::string root;
  Entry drive;  // the sandbox's folder for C:, as if listed in a parent
  std::map<std::string, Meta> meta;
  std::map<uintptr_t, OpenFile> open;
  std::map<uintptr_t, Search> searches;
  std::map<FolderId, Listing> listings;
  uintptr_t nextHandle = 0x70000;
};

FileSystem& Fs() {
  Machine& m = M();
  if (!m.files) m.files = std::make_shared<FileSystem>();
  return *m.files;
}

}  // namespace sim::detail

using namespace sim::detail;

namespace {

FILETIME FromTicks(ULONGLONG ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
ULONGLONG Ticks(const FILETIME& t) {
  return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
long long DaysSince1601(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long long days1970 = era * 146097 + static_cast<long long>(doe) - 719468;
  return days1970 + 134774;  // 1601-01-01 is 134774 days before 1970-01-01
}

FILETIME Now() {
  const SYSTEMTIME& t = M().system.localTime;
  long long days = DaysSince1601(t.wYear, t.wMonth, t.wDay);
  long long seconds =
      days * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond - M().system.utcBiasMinutes * 60LL;
  return FromTicks(static_cast<ULONGLONG>(seconds) * 10000000ULL);
}

bool Fail(DWORD error) {
  M().lastError = error;
  return false;
}

DWORD MissingError(const Resolved& r) {
  if (r.error) return r.error;
  return r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD CopyOut(const std::string& text, DWORD size, LPSTR buffer) {
  if (size <= text.size() || buffer == nullptr) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

bool Matches(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*") == 0 || std::strcmp(pattern, "*.*") == 0) return true;
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
  if (*name == '\0') return false;
  if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                             std::tolower(static_cast<unsigned char>(*name)))
    return Matches(pattern + 1, name + 1);
  return false;
}

WIN32_FIND_DATAA FindData(FileSystem& fs, const std::string& host, const std::string& name) {
  WIN32_FIND_DATAA data{};
  data.dwFileAttributes = fs.Attributes(host);
  struct stat st;
  if (LStat(host, st) && S_ISREG(st.st_mode)) {
    data.nFileSizeLow = static_cast<DWORD>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(st.st_size) >> 32);
  }
  auto it = fs.meta.find(host);
  if (it != fs.meta.end()) {
    data.ftCreationTime = it->second.creation;
    data.ftLastAccessTime = it->second.access;
    data.ftLastWriteTime = it->second.write;
  }
  std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
  return data;
}

}  // namespace

namespace sim {

std::string SandboxRoot() {
  return Fs().root;
}

std::string HostPath(const std::string& path) {
  Resolved r = Fs().Resolve(path);
  return r.error || !r.parentExists ? "" : r.host;
}

bool PutFolder(const std::string& path) {
  Resolved r = Fs().Resolve(path);
  if (r.error) return false;
  std::vector<std::string> parts = SplitAnsi(r.windows.substr(2));
  std::string partial = "C:";
  for (const auto& part : parts) {
    if (part.empty()) continue;
    partial += "\\" + part;
    Resolved step = Fs().Resolve(partial);
    if (step.exists) continue;
    if (::mkdir(step.host.c_str(), 0755) != 0) return false;
    Fs().Refresh(step.host);
  }
  return true;
}

bool PutFile(const std::string& path, const std::string& bytes, DWORD attributes) {
  Resolved r = Fs().Resolve(path);
  if (r.error) return false;
  if (!r.parentExists) {
    auto cut = r.windows.find_last_of('\\');
    if (!PutFolder(r.windows.substr(0, cut))) return false;
    r = Fs().Resolve(path);
  }
  std::ofstream out(r.host, std::ios::binary | std::ios::trunc);
  out << bytes;
  Fs().Refresh(r.host);
  if (!out) return false;
  auto& meta = Fs().MetaOf(r.host);
  meta.attributes = attributes;
  meta.creation = meta.access = meta.write = Now();
  return true;
}

std::string FileBytes(const std::string& path) {
  std::string host = HostPath(path);
  if (host.empty()) return {};
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool PathExists(const std::string& path) {
  Resolved r = Fs().Resolve(path);
  return !r.error && r.exists;
}

DWORD AttributesOf(const std::string& path) {
  Resolved r = Fs().Resolve(path);
  return r.error || !r.exists ? INVALID_FILE_ATTRIBUTES : Fs().Attributes(r.host, r.type);
}

bool SetAttributes(const std::string& path, DWORD attributes) {
  Resolved r = Fs().Resolve(path);
  if (r.error || !r.exists) return false;
  Fs().MetaOf(r.host).attributes = attributes;
  return true;
}

bool MakeLink(const std::string& link, const std::string& target) {
  Resolved l = Fs().Resolve(link);
  Resolved t = Fs().Resolve(target);
  if (l.error || t.error || l.exists || !l.parentExists || !t.exists) return false;
  if (::symlink(t.host.c_str(), l.host.c_str()) != 0) return false;
  Fs().Refresh(l.host);
  return true;
}

FileTimes TimesOf(const std::string& path) {
  FileTimes times;
  Resolved r = Fs().Resolve(path);
  auto it = Fs().meta.find(r.host);
  if (it != Fs().meta.end()) {
    times.creation = it->second.creation;
    times.access = it->second.access;
    times.write = it->second.write;
  }
  return times;
}

std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> paths;
  Resolved r = Fs().Resolve(root);
  if (r.error || !r.exists) return paths;
  std::vector<std::string> pending = {r.host};
  while (!pending.empty()) {
    std::string dir = pending.back();
    pending.pop_back();
    if (IsLink(dir)) continue;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) continue;
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string host = dir + "/" + name;
      paths.push_back(Fs().WindowsPathOf(host));
      struct stat st;
      if (LStat(host, st) && S_ISDIR(st.st_mode)) pending.push_back(host);
    }
    ::closedir(d);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

int OpenFileCount() {
  return static_cast<int>(Fs().open.size());
}

}  // namespace sim

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  if (Enter("GetTempPathA", Args(size))) return 0;
  return CopyOut(M().system.tempPath, size, buffer);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  if (Enter("GetCurrentDirectoryA", Args(size))) return 0;
  return CopyOut(M().system.currentDirectory, size, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (Enter("SetCurrentDirectoryA", Args(path))) return FALSE;
  Resolved r = Fs().Resolve(path ? path : "");
  if (r.error || !r.exists) return Fail(MissingError(r));
  if (!IsDirectory(r.host)) return Fail(ERROR_DIRECTORY);
  std::string windows = r.windows;
  M().system.currentDirectory = windows;
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
  if (Enter("GetFileAttributesA", Args(path))) return INVALID_FILE_ATTRIBUTES;
  Resolved r = Fs().Resolve(path ? path : "");
  if (r.error || !r.exists) {
    M().lastError = MissingError(r);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = Fs().Attributes(r.host, r.type);
  if (r.trailingSeparator && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    M().lastError = ERROR_INVALID_NAME;
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (Enter("SetFileAttributesA", Args(path, attributes))) return FALSE;
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path ? path : "");
  if (r.error || !r.exists) return Fail(MissingError(r));
  if (IsLink(r.host)) return TRUE;  // the link's own bits are not kept
  auto& meta = fs.MetaOf(r.host);
  DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  meta.attributes = IsDirectory(r.host) ? (kept | FILE_ATTRIBUTE_DIRECTORY) : kept;
  return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (Enter("CreateDirectoryA", Args(path))) return FALSE;
  Resolved r = Fs().Resolve(path ? path : "");
  if (r.error) return Fail(r.error);
  if (r.exists) return Fail(ERROR_ALREADY_EXISTS);
  if (!r.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  if (::mkdir(r.host.c_str(), 0755) != 0) return Fail(ERROR_ACCESS_DENIED);
  Fs().Refresh(r.host);
  auto& meta = Fs().MetaOf(r.host);
  meta.attributes = FILE_ATTRIBUTE_DIRECTORY;
  meta.creation = meta.access = meta.write = Now();
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
  if (Enter("RemoveDirectoryA", Args(path))) return FALSE;
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path ? path : "");
  if (r.error || !r.exists) return Fail(MissingError(r));
  if (IsLink(r.host)) {
    // A junction goes by itself; what it points at stays.
    if (!IsDirectory(r.host)) return Fail(ERROR_DIRECTORY);
    ::unlink(r.host.c_str());
    fs.Refresh(r.host);
    fs.Forget(r.host);
    return TRUE;
  }
  if (!IsDirectory(r.host)) return Fail(ERROR_DIRECTORY);
  Resolved cwd = fs.Resolve(M().system.currentDirectory);
  if (cwd.host == r.host) return Fail(ERROR_SHARING_VIOLATION);  // the process holds it open
  if (fs.Attributes(r.host) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
  if (!fs.RemoveFolder(r.host)) return Fail(ERROR_DIR_NOT_EMPTY);
  fs.Forget(r.host);
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  if (Enter("DeleteFileA", Args(path))) return FALSE;
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path ? path : "");
  if (r.error || !r.exists) return Fail(MissingError(r));
  if (!S_ISLNK(r.type)) {
    if (S_ISDIR(r.type)) return Fail(ERROR_ACCESS_DENIED);
    if (fs.Attributes(r.host, r.type) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    if (fs.IsOpen(r.host)) return Fail(ERROR_SHARING_VIOLATION);
  }
  if (::unlink(r.host.c_str()) != 0) return Fail(ERROR_ACCESS_DENIED);
  fs.Refresh(r.host);
  fs.Forget(r.host);
  return TRUE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
  if (Enter("CreateFileA", Args(path, access, share, disposition, flagsAndAttributes)))
    return INVALID_HANDLE_VALUE;
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path ? path : "");
  if (r.error) return Fail(r.error), INVALID_HANDLE_VALUE;
  if (!r.parentExists) return Fail(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
  bool writing = (access & GENERIC_WRITE) != 0;
  if (r.exists) {
    if (IsDirectory(r.host)) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    DWORD existing = fs.Attributes(r.host);
    if (writing && (existing & FILE_ATTRIBUTE_READONLY))
      return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (disposition == CREATE_ALWAYS &&
        (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &
            ~(flagsAndAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
      return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
    for (const auto& [handle, file] : fs.open)
      if (file.host == r.host && (share == 0 || file.share == 0))
        return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
  } else if (disposition == OPEN_EXISTING) {
    return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  }
  int flags = writing ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (disposition == CREATE_ALWAYS || disposition == CREATE_NEW) flags |= O_CREAT | O_TRUNC;
  if (disposition == OPEN_ALWAYS) flags |= O_CREAT;
  int fd = ::open(r.host.c_str(), flags, 0644);
  if (fd < 0) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  if (flags & O_CREAT) fs.Refresh(r.host);
  bool created = !r.exists || disposition == CREATE_ALWAYS;
  if (created) {
    auto& meta = fs.MetaOf(r.host);
    // A new file always carries the archive bit; the folder bit is not a file's.
    meta.attributes = (flagsAndAttributes & 0x07) | FILE_ATTRIBUTE_ARCHIVE;
    meta.creation = meta.access = meta.write = Now();
  }
  uintptr_t handle = fs.nextHandle += 4;
  fs.open[handle] = {fd, r.host, share};
  M().lastError = r.exists ? ERROR_ALREADY_EXISTS : 0;
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  if (Enter("WriteFile", Args(count))) return FALSE;
  auto it = Fs().open.find(reinterpret_cast<uintptr_t>(file));
  if (it == Fs().open.end()) return Fail(ERROR_INVALID_HANDLE);
  const char* bytes = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < count) {
    ssize_t n = ::write(it->second.fd, bytes + done, count - done);
    if (n <= 0) return Fail(ERROR_DISK_FULL);
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  if (Enter("ReadFile", Args(count))) return FALSE;
  auto it = Fs().open.find(reinterpret_cast<uintptr_t>(file));
  if (it == Fs().open.end()) return Fail(ERROR_INVALID_HANDLE);
  ssize_t n = ::read(it->second.fd, buffer, count);
  if (n < 0) return Fail(ERROR_ACCESS_DENIED);
  if (read) *read = static_cast<DWORD>(n);
  return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write) {
  if (Enter("SetFileTime", "")) return FALSE;
  auto it = Fs().open.find(reinterpret_cast<uintptr_t>(file));
  if (it == Fs().open.end()) return Fail(ERROR_INVALID_HANDLE);
  auto& meta = Fs().MetaOf(it->second.host);
  if (creation) meta.creation = *creation;
  if (access) meta.access = *access;
  if (write) meta.write = *write;
  return TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR newFile, BOOL failIfExists) {
  if (Enter("CopyFileA", Args(existing, newFile, failIfExists))) return FALSE;
  FileSystem& fs = Fs();
  Resolved from = fs.Resolve(existing ? existing : "");
  if (from.error || !from.exists) return Fail(MissingError(from));
  if (IsDirectory(from.host)) return Fail(ERROR_ACCESS_DENIED);
  Resolved to = fs.Resolve(newFile ? newFile : "");
  if (to.error) return Fail(to.error);
  if (!to.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  if (to.exists) {
    if (failIfExists) return Fail(ERROR_FILE_EXISTS);
    if (IsDirectory(to.host) || (fs.Attributes(to.host) & FILE_ATTRIBUTE_READONLY))
      return Fail(ERROR_ACCESS_DENIED);
    if (fs.IsOpen(to.host)) return Fail(ERROR_SHARING_VIOLATION);
  }
  std::ifstream in(from.host, std::ios::binary);
  std::ofstream out(to.host, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  fs.Refresh(to.host);
  if (!out) return Fail(ERROR_DISK_FULL);
  FileSystem::Meta copied = fs.MetaOf(from.host);
  copied.attributes |= FILE_ATTRIBUTE_ARCHIVE;
  copied.creation = copied.access = Now();
  fs.MetaOf(to.host) = copied;
  return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (Enter("FindFirstFileA", Args(pattern))) return INVALID_HANDLE_VALUE;
  FileSystem& fs = Fs();
  std::string text = pattern ? pattern : "";
  size_t cut = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (Lead(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (IsSeparator(text[i])) {
      cut = i;
    }
  }
  std::string folder = cut == std::string::npos ? "." : text.substr(0, cut + 1);
  std::string spec = cut == std::string::npos ? text : text.substr(cut + 1);
  Resolved dir = fs.Resolve(folder);
  if (dir.error || !dir.exists || !IsDirectory(dir.host))
    return Fail(dir.error ? dir.error : ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
  FileSystem::Search search;
  if (!dir.isRoot) {
    for (const char* dots : {".", ".."}) {
      if (Matches(spec.c_str(), dots)) {
        WIN32_FIND_DATAA entry{};
        entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        std::strcpy(entry.cFileName, dots);
        search.entries.push_back(entry);
      }
    }
  }
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.host.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != ".." && Matches(spec.c_str(), name.c_str())) names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  for (const auto& name : names)
    search.entries.push_back(FindData(fs, dir.host + "/" + name, name));
  if (search.entries.empty()) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  *data = search.entries[0];
  search.next = 1;
  uintptr_t handle = fs.nextHandle += 4;
  fs.searches[handle] = std::move(search);
  return reinterpret_cast<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data) {
  if (Enter("FindNextFileA", "")) return FALSE;
  auto it = Fs().searches.find(reinterpret_cast<uintptr_t>(search));
  if (it == Fs().searches.end()) return Fail(ERROR_INVALID_HANDLE);
  if (it->second.next >= it->second.entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *data = it->second.entries[it->second.next++];
  return TRUE;
}

BOOL FindClose(HANDLE search) {
  Enter("FindClose", "");
  return Fs().searches.erase(reinterpret_cast<uintptr_t>(search)) ? TRUE
                                                                  : Fail(ERROR_INVALID_HANDLE);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* system, LPFILETIME file) {
  if (Enter("SystemTimeToFileTime", "")) return FALSE;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const SYSTEMTIME& t = *system;
  bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > kDays[t.wMonth - 1] + (t.wMonth == 2 && leap) || t.wHour > 23 || t.wMinute > 59 ||
      t.wSecond > 59 || t.wMilliseconds > 999)
    return Fail(ERROR_INVALID_PARAMETER);
  long long days = DaysSince1601(t.wYear, t.wMonth, t.wDay);
  ULONGLONG ticks =
      ((static_cast<ULONGLONG>(days) * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond) * 1000 +
       t.wMilliseconds) *
      10000ULL;
  *file = FromTicks(ticks);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc) {
  if (Enter("LocalFileTimeToFileTime", "")) return FALSE;
  long long bias = M().system.utcBiasMinutes * 60LL * 10000000LL;
  *utc = FromTicks(static_cast<ULONGLONG>(static_cast<long long>(Ticks(*local)) - bias));
  return TRUE;
}

void GetLocalTime(LPSYSTEMTIME time) {
  Enter("GetLocalTime", "");
  *time = M().system.localTime;
}

BOOL CloseHandle(HANDLE handle) {
  if (Enter("CloseHandle", Args(static_cast<const void*>(handle)))) return FALSE;
  auto& open = Fs().open;
  auto it = open.find(reinterpret_cast<uintptr_t>(handle));
  if (it != open.end()) {
    ::close(it->second.fd);
    open.erase(it);
    return TRUE;
  }
  if (sim::detail::CloseProcess(handle)) return TRUE;
  return Fail(ERROR_INVALID_HANDLE);
}

BOOL IsDBCSLeadByte(BYTE byte) {
  return Lead(byte);
}

LPSTR CharNextA(LPCSTR text) {
  if (*text == '\0') return const_cast<LPSTR>(text);
  if (Lead(static_cast<unsigned char>(*text)) && text[1] != '\0')
    return const_cast<LPSTR>(text + 2);
  return const_cast<LPSTR>(text + 1);
}
