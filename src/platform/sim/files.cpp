// The simulated file system: Windows paths over a host sandbox folder, with Windows' rules.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <strings.h>
#include <set>
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
  bool throughLink = false;  // a folder on the way, or the name itself, is a link
};

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool Lead(unsigned char c) {
  return M().system.ansiCodePage == 936 && c >= 0x81 && c <= 0xFE;
}

// Where the ANSI code page is UTF-8 (65001), every 8-bit name is the UTF-8 of its wide name.
bool Utf8Machine() {
  return M().system.ansiCodePage == CP_UTF8;
}

// UTF-8 to UTF-16; a three-byte form of a lone surrogate (as the host may hold it) gives that
// surrogate, so that a test can make a wide name no code page spells.
std::u16string DecodeUtf8(const std::string& bytes) {
  std::u16string wide;
  for (size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t code = extra ? c & (0x3F >> extra) : c;
    for (int k = 1; k <= extra && i + k < bytes.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    i += 1 + extra;
    if (code >= 0x10000) {
      code -= 0x10000;
      wide += static_cast<char16_t>(0xD800 + (code >> 10));
      wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      wide += static_cast<char16_t>(code);
    }
  }
  return wide;
}

// UTF-16 to UTF-8 as Windows does from Vista on: a lone surrogate becomes U+FFFD, and
// `invalid` tells that one was met.
std::string EncodeUtf8(const std::u16string& wide, bool& invalid) {
  std::string out;
  invalid = false;
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t code = wide[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
      invalid = true;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
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

// The characters an 8.3 name may hold, besides ASCII letters and digits.
bool ShortNameCharacter(unsigned char c) {
  return c < 0x80 && (std::isalnum(c) || std::strchr("!#$%&'()-@^_`{}~", c) != nullptr);
}

// A name that is already a valid 8.3 name: at most 8 characters, one dot and 3 more.
bool IsShortName(const std::string& name) {
  size_t dot = name.find('.');
  if (dot != std::string::npos && name.find('.', dot + 1) != std::string::npos) return false;
  size_t base = dot == std::string::npos ? name.size() : dot;
  size_t extension = dot == std::string::npos ? 0 : name.size() - dot - 1;
  if (base == 0 || base > 8 || extension > 3 || (dot != std::string::npos && extension == 0))
    return false;
  for (char c : name)
    if (c != '.' && !ShortNameCharacter(static_cast<unsigned char>(c))) return false;
  return true;
}

// The stem and extension of a generated short name: the machine's own rule (sim.h).
std::pair<std::string, std::string> ShortNameParts(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == 0) dot = std::string::npos;
  auto kept = [](const std::string& text, size_t most) {
    std::string out;
    for (char c : text)
      if (out.size() < most && ShortNameCharacter(static_cast<unsigned char>(c)))
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
  };
  std::string stem = kept(name.substr(0, dot), 6);
  std::string extension = dot == std::string::npos ? "" : kept(name.substr(dot + 1), 3);
  if (stem.empty()) {
    uint32_t hash = 2166136261u;
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(hash & 0xFFFF));
    stem = hex;
  }
  return {stem, extension};
}

// The short name of `name` among the names of its folder.
std::string ShortNameAmong(const std::string& name, const std::vector<std::string>& names) {
  if (IsShortName(name)) return name;
  auto parts = ShortNameParts(name);
  int rank = 1;
  for (const std::string& other : names)
    if (other < name && other != "." && other != ".." && !IsShortName(other) &&
        ShortNameParts(other) == parts)
      ++rank;
  return parts.first + "~" + std::to_string(rank) +
         (parts.second.empty() ? "" : "." + parts.second);
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
    int fd = -1;       // -1 for a folder, a link opened as itself, a device or a stream
    std::string host;  // the object itself: a link's own path, or where following it led
    DWORD share = 0;
    DWORD access = 0;
    bool folder = false;
    bool itself = false;  // a link opened as itself
    bool deleteOnClose = false;
    std::string device;  // a DOS device the name opened instead of a file
    std::string stream;  // an alternate data stream of `host`
    struct Listed {
      std::u16string name;
      DWORD attributes;
      unsigned long long id;
    };
    bool listed = false;
    std::vector<Listed> entries;
    size_t next = 0;
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
    char canonical[PATH_MAX];
    // Canonical, so that where a link leads can be told apart from the sandbox by its prefix.
    if (::realpath(buffer.data(), canonical) == nullptr) std::abort();
    root = canonical;
    struct stat st;
    if (::mkdir((root + "/C").c_str(), 0755) != 0 || ::stat((root + "/C").c_str(), &st) != 0)
      std::abort();
    drive = Entry{"C", S_IFDIR, {st.st_dev, st.st_ino}};
    // A fresh Windows has its own programs in its system directory, for the shell to find.
    std::string system = root + "/C/Windows/system32";
    if (::mkdir((root + "/C/Windows").c_str(), 0755) != 0 || ::mkdir(system.c_str(), 0755) != 0)
      std::abort();
    for (const char* program : {"net.exe", "rundll32.exe"}) {
      std::ofstream out(system + "/" + program, std::ios::binary);
      out << "MZ";
      if (!out) std::abort();
    }
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
    r.trailingSeparator = IsSeparator(absolute.back()) && absolute.size() > 3;
    return ResolveParts(SplitAnsi(absolute.substr(2)), r);
  }

  // A wide path, which must be absolute on C: (the program takes its wide paths from the
  // system). Each name is spelled as the sandbox holds it: 8-bit names as their bytes, wide
  // ones in UTF-8; `wideLast` tells whether the last name is a wide one.
  Resolved ResolveWide(const std::u16string& path, bool* wideLast = nullptr) {
    Resolved r;
    if (path.size() < 3 || (path[0] != 'C' && path[0] != 'c') || path[1] != ':' ||
        (path[2] != '\\' && path[2] != '/')) {
      r.error = ERROR_PATH_NOT_FOUND;
      return r;
    }
    std::vector<std::string> parts(1);
    bool wide = false;
    std::u16string part;
    auto flush = [&] {
      bool eightBit = !Utf8Machine();
      for (char16_t c : part) eightBit = eightBit && (c < 0x80 || (c >= 0xF080 && c <= 0xF0FF));
      std::string spelled;
      bool invalid = false;
      if (eightBit) {
        for (char16_t c : part) spelled += static_cast<char>(c < 0x80 ? c : c - 0xF000);
      } else {
        spelled = EncodeUtf8(part, invalid);
      }
      parts.back() = spelled;
      wide = !eightBit && !Utf8Machine();
      part.clear();
    };
    for (size_t i = 2; i < path.size(); ++i) {
      if (path[i] == '\\' || path[i] == '/') {
        flush();
        parts.emplace_back();
      } else {
        part += path[i];
      }
    }
    flush();
    if (wideLast != nullptr) *wideLast = wide;
    r.trailingSeparator = (path.back() == '\\' || path.back() == '/') && path.size() > 3;
    return ResolveParts(parts, r);
  }

  Resolved ResolveParts(std::vector<std::string> parts, Resolved r) {
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
      if (S_ISLNK(entry->type)) r.throughLink = true;
    }
    r.parentExists = true;
    const Entry* entry = FindEntry(listing, names.back());
    r.exists = entry != nullptr;
    r.type = entry ? entry->type : 0;
    if (S_ISLNK(r.type)) r.throughLink = true;
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
  // A generated short name ("ABCDEF~1") finds its entry too, as on Windows.
  static const Entry* FindEntry(const Listing* listing, const std::string& name) {
    if (listing == nullptr) return nullptr;
    auto bucket = listing->find(Folded(name));
    if (bucket != listing->end()) {
      const std::vector<Entry>& entries = bucket->second;
      auto it = std::find_if(entries.begin(), entries.end(),
                             [&](const Entry& e) { return e.name == name; });
      if (it == entries.end())
        it = std::find_if(entries.begin(), entries.end(),
                          [&](const Entry& e) { return AnsiEqualNoCase(e.name, name); });
      if (it != entries.end()) return &*it;
    }
    if (name.find('~') == std::string::npos) return nullptr;
    std::vector<std::string> names;
    for (const auto& [key, entries] : *listing)
      for (const Entry& e : entries) names.push_back(e.name);
    for (const auto& [key, entries] : *listing)
      for (const Entry& e : entries)
        if (!IsShortName(e.name) &&
            strcasecmp(ShortNameAmong(e.name, names).c_str(), name.c_str()) == 0)
          return &e;
    return nullptr;
  }

  // The path of an existing `host` with every name in its short form.
  std::string ShortPath(const Resolved& r) const {
    std::string rest = r.host.substr(root.size() + 2), path = "C:", folder = root + "/C";
    for (size_t start = 1; start <= rest.size();) {
      size_t end = rest.find('/', start);
      if (end == std::string::npos) end = rest.size();
      std::string name = rest.substr(start, end - start);
      std::vector<std::string> names;
      if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) names.push_back(e->d_name);
        ::closedir(d);
      }
      path += "\\" + ShortNameAmong(name, names);
      folder += "/" + name;
      start = end + 1;
    }
    if (path.size() == 2 || r.trailingSeparator) path += "\\";
    return path;
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

  // A name as the wide listing gives it; 8-bit names pass through unchanged (U+F0xx for the
  // bytes above ASCII), so that a program converting them back gets the same bytes. On a
  // UTF-8 machine the 8-bit name is the UTF-8 of the wide one.
  std::u16string WideName(const std::string& host, const std::string& name) const {
    if (wideNames.count(host) || Utf8Machine()) return DecodeUtf8(name);
    std::u16string wide;
    for (char c : name) {
      unsigned char b = static_cast<unsigned char>(c);
      wide += static_cast<char16_t>(b < 0x80 ? b : 0xF000 + b);
    }
    return wide;
  }

  // Whether an open handle on the object at `host` keeps others from deleting or renaming it.
  bool HeldAgainstDeletion(const std::string& host) const {
    return std::any_of(open.begin(), open.end(), [&](const auto& f) {
      return f.second.host == host && f.second.device.empty() && f.second.stream.empty() &&
             !(f.second.share & FILE_SHARE_DELETE);
    });
  }

  // Windows' sharing rule between an open handle and a new open of the same object.
  bool SharingConflict(const std::string& host, DWORD access, DWORD share) const {
    auto reads = [](DWORD a) { return (a & (GENERIC_READ | FILE_READ_DATA)) != 0; };
    auto writes = [](DWORD a) { return (a & (GENERIC_WRITE | FILE_WRITE_DATA)) != 0; };
    auto deletes = [](DWORD a) { return (a & DELETE) != 0; };
    for (const auto& [handle, f] : open) {
      if (f.host != host || !f.device.empty() || !f.stream.empty()) continue;
      if ((reads(access) && !(f.share & FILE_SHARE_READ)) ||
          (writes(access) && !(f.share & FILE_SHARE_WRITE)) ||
          (deletes(access) && !(f.share & FILE_SHARE_DELETE)) ||
          (reads(f.access) && !(share & FILE_SHARE_READ)) ||
          (writes(f.access) && !(share & FILE_SHARE_WRITE)) ||
          (deletes(f.access) && !(share & FILE_SHARE_DELETE)))
        return true;
    }
    return false;
  }

  // Where a path that may pass links leads on the host; the sandbox root is itself canonical.
  std::string Followed(const std::string& host) const {
    char resolved[PATH_MAX];
    if (::realpath(host.c_str(), resolved) != nullptr) return resolved;
    size_t cut = host.rfind('/');
    if (cut != std::string::npos && ::realpath(host.substr(0, cut).c_str(), resolved) != nullptr)
      return std::string(resolved) + host.substr(cut);
    return host;
  }

  OpenFile& Opened(uintptr_t handle, int fd, const std::string& host, DWORD share, DWORD access) {
    OpenFile& file = open[handle];
    file = OpenFile();
    file.fd = fd;
    file.host = host;
    file.share = share;
    file.access = access;
    return file;
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
  std::map<std::string, std::string> devices;  // by device name: what was written to it
  std::map<std::pair<std::string, std::string>, std::string> streams;  // (host, stream)
  std::set<std::string> wideNames;  // host paths whose last name is UTF-8 of a wide name
  std::map<uintptr_t, Search> searches;
  std::map<FolderId, Listing> listings;
  uintptr_t nextHandle = 0x70000;
};

FileSystem& Fs() {
  Machine& m = M();
  if (!m.files) m.files = std::make_shared<FileSystem>();
  return *m.files;
}

std::string ExistingFile(const std::string& path) {
  Resolved r = Fs().Resolve(path);
  if (r.error || !r.exists || IsDirectory(r.host)) return {};
  return Fs().WindowsPathOf(r.host);
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

// Where a path's last part starts; a double-byte character's trail byte is no separator.
size_t LastPartStart(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (Lead(static_cast<unsigned char>(path[i]))) {
      ++i;
    } else if (IsSeparator(path[i])) {
      start = i + 1;
    }
  }
  return start;
}

// The device a path's last part names (as Windows spells it: "LPT1", "CON" ...), or "".
std::string DeviceOf(const std::string& path) {
  size_t start = LastPartStart(path);
  std::string stem;
  for (size_t i = start; i < path.size() && path[i] != '.' && path[i] != ':'; ++i)
    stem += static_cast<char>(std::toupper(static_cast<unsigned char>(path[i])));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (stem == device) return stem;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
    unsigned char digit = static_cast<unsigned char>(stem[3]);
    if ((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3)
      return stem;
  }
  return "";
}

// Where a stream's name starts in a path's last part ("file:stream"), or npos; a drive's colon
// is none.
size_t StreamColon(const std::string& path) {
  size_t start = LastPartStart(path);
  size_t colon = path.find(':', start);
  if (colon == 1 && path.size() >= 2) colon = path.find(':', 2);
  return colon < start ? std::string::npos : colon;
}

// A wide name as the 8-bit listing calls give it: best fit for what the code page lacks. The
// simulated code pages other than UTF-8 spell only ASCII and the 8-bit names carried through;
// any other wide character has no spelling here, stricter than Windows for the characters a
// code page has (a Chinese name on code page 936).
std::string BestFit(const std::u16string& wide, bool& inexact) {
  if (Utf8Machine()) return EncodeUtf8(wide, inexact);
  std::string out;
  inexact = false;
  for (char16_t c : wide) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c >= 0xF080 && c <= 0xF0FF) {
      out += static_cast<char>(c - 0xF000);  // an 8-bit name carried through unchanged
    } else if (c >= 0xFF01 && c <= 0xFF5E) {
      out += static_cast<char>(c - 0xFF00 + 0x20);  // full-width forms fit their ASCII
      inexact = true;
    } else {
      out += '?';
      inexact = true;
    }
  }
  return out;
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

namespace other {

bool Rewrite(const std::string& path, const std::string& bytes) {
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path);
  if (r.error || !r.exists || IsDirectory(r.host) || IsLink(r.host)) return false;
  if (fs.Attributes(r.host, r.type) & FILE_ATTRIBUTE_READONLY) return false;
  if (fs.SharingConflict(r.host, GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return false;
  std::ofstream out(r.host, std::ios::binary | std::ios::trunc);
  out << bytes;
  fs.Refresh(r.host);
  return static_cast<bool>(out);
}

bool Delete(const std::string& path) {
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path);
  if (r.error || !r.exists || S_ISDIR(r.type)) return false;
  if (!S_ISLNK(r.type) && (fs.Attributes(r.host, r.type) & FILE_ATTRIBUTE_READONLY)) return false;
  if (fs.HeldAgainstDeletion(r.host) || ::unlink(r.host.c_str()) != 0) return false;
  fs.Refresh(r.host);
  fs.Forget(r.host);
  return true;
}

bool Rename(const std::string& from, const std::string& to) {
  FileSystem& fs = Fs();
  Resolved a = fs.Resolve(from), b = fs.Resolve(to);
  if (a.error || b.error || !a.exists || b.exists || !b.parentExists) return false;
  if (fs.HeldAgainstDeletion(a.host)) return false;
  std::string below = a.host + "/";
  for (const auto& [handle, file] : fs.open)
    if (file.host.compare(0, below.size(), below) == 0) return false;
  if (::rename(a.host.c_str(), b.host.c_str()) != 0) return false;
  // What is kept about the object and below it moves with it, and so do handles open on it.
  std::map<std::string, FileSystem::Meta> moved;
  for (auto it = fs.meta.begin(); it != fs.meta.end();) {
    if (it->first == a.host || it->first.compare(0, below.size(), below) == 0) {
      moved[b.host + it->first.substr(a.host.size())] = it->second;
      it = fs.meta.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& entry : moved) fs.meta[entry.first] = entry.second;
  for (auto& [handle, file] : fs.open)
    if (file.host == a.host) file.host = b.host;
  fs.Refresh(a.host);
  fs.Refresh(b.host);
  return true;
}

}  // namespace other

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

bool SetTimesOf(const std::string& path, const FileTimes& times) {
  Resolved r = Fs().Resolve(path);
  if (r.error || !r.exists) return false;
  auto& meta = Fs().MetaOf(r.host);
  meta.creation = times.creation;
  meta.access = times.access;
  meta.write = times.write;
  return true;
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

namespace {
bool PutWide(const std::string& folder, const std::string& utf8Name, const std::string* bytes) {
  Resolved r = Fs().Resolve(folder);
  if (r.error || !r.exists || !IsDirectory(r.host)) return false;
  std::string host = r.host + "/" + utf8Name;
  if (bytes == nullptr) {
    if (::mkdir(host.c_str(), 0755) != 0) return false;
  } else {
    std::ofstream out(host, std::ios::binary);
    out << *bytes;
  }
  Fs().wideNames.insert(host);
  Fs().Refresh(host);
  return true;
}
}  // namespace

bool PutFolderWide(const std::string& folder, const std::string& utf8Name) {
  return PutWide(folder, utf8Name, nullptr);
}

std::string ShortNameOf(const std::string& folder, const std::string& name) {
  Resolved r = Fs().Resolve(folder + "\\" + name);
  if (r.error || !r.exists) return "";
  std::string shortPath = Fs().ShortPath(r);
  return shortPath.substr(shortPath.rfind('\\') + 1);
}

bool PutFileWide(const std::string& folder, const std::string& utf8Name, const std::string& bytes) {
  return PutWide(folder, utf8Name, &bytes);
}

std::string DeviceBytes(const std::string& device) {
  auto it = Fs().devices.find(device);
  return it == Fs().devices.end() ? "" : it->second;
}

std::string StreamBytes(const std::string& path, const std::string& stream) {
  Resolved r = Fs().Resolve(path);
  auto it = Fs().streams.find({Fs().Followed(r.host), stream});
  return it == Fs().streams.end() ? "" : it->second;
}

std::vector<std::string> DevicesAndStreamsWritten() {
  std::vector<std::string> written;
  for (const auto& [device, bytes] : Fs().devices) written.push_back(device);
  for (const auto& [where, bytes] : Fs().streams)
    written.push_back(Fs().WindowsPathOf(where.first) + ":" + where.second);
  return written;
}

int OpenFileCount() {
  return static_cast<int>(Fs().open.size());
}

}  // namespace sim

namespace {

std::u16string WideTempPath() {
  const auto& system = M().system;
  return system.tempPathWide.empty() ? Fs().WideName("", system.tempPath)
                                     : DecodeUtf8(system.tempPathWide);
}

// Like CopyOut for wide text: the length copied, or the size needed (with its NUL).
DWORD CopyOutWide(const std::u16string& text, DWORD size, WCHAR* buffer) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

std::u16string WideText(const WCHAR* text) {
  std::u16string wide;
  for (const WCHAR* p = text; p != nullptr && *p; ++p) wide += static_cast<char16_t>(*p);
  return wide;
}

std::string Logged(const std::u16string& wide) {
  bool invalid = false;
  return EncodeUtf8(wide, invalid);
}

}  // namespace

// The 8-bit answer spells what the code page lacks as "?" (and best-fits what it can).
DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  if (Enter("GetTempPathA", Args(size))) return 0;
  if (M().system.tempPathWide.empty()) return CopyOut(M().system.tempPath, size, buffer);
  bool inexact = false;
  return CopyOut(BestFit(WideTempPath(), inexact), size, buffer);
}

DWORD GetTempPathW(DWORD size, WCHAR* buffer) {
  if (Enter("GetTempPathW", Args(size))) return 0;
  return CopyOutWide(WideTempPath(), size, buffer);
}

// Only what exists has a short form (ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND for a
// missing folder on the way, as for GetFileAttributes).
DWORD GetShortPathNameW(const WCHAR* longPath, WCHAR* shortPath, DWORD size) {
  std::u16string path = WideText(longPath);
  if (Enter("GetShortPathNameW", Args(Logged(path), size))) return 0;
  if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  Resolved r = Fs().ResolveWide(path);
  if (r.error || !r.exists) return Fail(MissingError(r));
  std::string shortForm = Fs().ShortPath(r);
  return CopyOutWide(std::u16string(shortForm.begin(), shortForm.end()), size, shortPath);
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (Enter("GetShortPathNameA", Args(longPath, size))) return 0;
  if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  Resolved r = Fs().Resolve(longPath);
  if (r.error || !r.exists) return Fail(MissingError(r));
  return CopyOut(Fs().ShortPath(r), size, shortPath);
}

// Answers like GetTempPathA: the length copied, or the size needed when the buffer is short.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (Enter("GetSystemDirectoryA", Args(size))) return 0;
  return CopyOut(M().system.systemDirectory, size, buffer);
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
  std::string text = path ? path : "";
  // "name:stream" stands for the file or folder while the stream exists, and for nothing else.
  size_t colon = StreamColon(text);
  if (colon != std::string::npos && DeviceOf(text).empty()) {
    Resolved base = Fs().Resolve(text.substr(0, colon));
    if (base.error || !base.exists ||
        !Fs().streams.count({Fs().Followed(base.host), text.substr(colon + 1)})) {
      M().lastError = base.error ? base.error : ERROR_FILE_NOT_FOUND;
      return INVALID_FILE_ATTRIBUTES;
    }
    return Fs().Attributes(Fs().Followed(base.host));
  }
  Resolved r = Fs().Resolve(text);
  if (r.error || !r.exists) {
    M().lastError = MissingError(r);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = Fs().Attributes(r.host, r.type);
  if (r.trailingSeparator && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    M().lastError = ERROR_INVALID_NAME;
    return INVALID_FILE_ATTRIBUTES;
  }
  // A final separator does not make Windows follow a link: it reports the link itself (a
  // report of Windows 10, golang/go issue 27225).
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

namespace {

BOOL MakeFolder(const Resolved& r, bool wide) {
  if (r.error) return Fail(r.error);
  if (r.exists) return Fail(ERROR_ALREADY_EXISTS);
  if (!r.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  if (::mkdir(r.host.c_str(), 0755) != 0) return Fail(ERROR_ACCESS_DENIED);
  if (wide) Fs().wideNames.insert(r.host);
  Fs().Refresh(r.host);
  auto& meta = Fs().MetaOf(r.host);
  meta.attributes = FILE_ATTRIBUTE_DIRECTORY;
  meta.creation = meta.access = meta.write = Now();
  return TRUE;
}

}  // namespace

BOOL CreateDirectoryW(const WCHAR* path, LPSECURITY_ATTRIBUTES) {
  std::u16string wide = WideText(path);
  if (Enter("CreateDirectoryW", Args(Logged(wide)))) return FALSE;
  bool wideLast = false;
  Resolved r = Fs().ResolveWide(wide, &wideLast);
  return MakeFolder(r, wideLast);
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (Enter("CreateDirectoryA", Args(path))) return FALSE;
  return MakeFolder(Fs().Resolve(path ? path : ""), false);
}

BOOL RemoveDirectoryA(LPCSTR path) {
  if (Enter("RemoveDirectoryA", Args(path))) return FALSE;
  FileSystem& fs = Fs();
  Resolved r = fs.Resolve(path ? path : "");
  if (r.error || !r.exists) return Fail(MissingError(r));
  if (IsLink(r.host)) {
    // A junction goes by itself; what it points at stays.
    if (!IsDirectory(r.host)) return Fail(ERROR_DIRECTORY);
    if (fs.HeldAgainstDeletion(r.host)) return Fail(ERROR_SHARING_VIOLATION);
    ::unlink(r.host.c_str());
    fs.Refresh(r.host);
    fs.Forget(r.host);
    return TRUE;
  }
  if (!IsDirectory(r.host)) return Fail(ERROR_DIRECTORY);
  if (fs.HeldAgainstDeletion(r.host)) return Fail(ERROR_SHARING_VIOLATION);
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
  }
  if (fs.HeldAgainstDeletion(r.host)) return Fail(ERROR_SHARING_VIOLATION);
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
  std::string text = path ? path : "";
  uintptr_t handle = 0;
  // A device name in the last part opens the device, whatever folder it stands in.
  std::string device = DeviceOf(text);
  if (!device.empty()) {
    handle = fs.nextHandle += 4;
    fs.Opened(handle, -1, "", share, access);
    fs.open[handle].device = device;
    M().lastError = 0;
    return reinterpret_cast<HANDLE>(handle);
  }
  // "name:stream" (or "folder\:stream") opens a stream of the file or folder.
  size_t colon = StreamColon(text);
  std::string stream;
  if (colon != std::string::npos) {
    stream = text.substr(colon + 1);
    text = text.substr(0, colon);
    if (stream.empty() || stream.find_first_of("\\/:") != std::string::npos)
      return Fail(ERROR_INVALID_NAME), INVALID_HANDLE_VALUE;
  }
  Resolved r = fs.Resolve(text);
  if (r.error) return Fail(r.error), INVALID_HANDLE_VALUE;
  if (!r.parentExists) return Fail(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
  bool writing = (access & GENERIC_WRITE) != 0;
  bool itself = r.exists && IsLink(r.host) && (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT);
  if (!stream.empty()) {
    if (!r.exists) {
      if (disposition == OPEN_EXISTING) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
      std::ofstream made(r.host, std::ios::binary);  // a stream's file is made with it
      fs.Refresh(r.host);
    }
    handle = fs.nextHandle += 4;
    fs.Opened(handle, -1, fs.Followed(r.host), share, access);
    fs.open[handle].stream = stream;
    return reinterpret_cast<HANDLE>(handle);
  }
  if (r.exists && disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
  std::string object = itself || !r.throughLink ? r.host : fs.Followed(r.host);
  if (r.exists && (itself || IsDirectory(r.host))) {
    // A folder opens only with backup semantics; neither it nor a link is written as a file.
    if (!itself && !(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS))
      return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (writing || (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS))
      return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (fs.SharingConflict(object, access, share))
      return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
    handle = fs.nextHandle += 4;
    fs.Opened(handle, -1, object, share, access);
    fs.open[handle].folder = !itself;
    fs.open[handle].itself = itself;
    M().lastError = disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : 0;
    return reinterpret_cast<HANDLE>(handle);
  }
  if (r.exists) {
    DWORD existing = fs.Attributes(object);
    if (writing && (existing & FILE_ATTRIBUTE_READONLY))
      return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (disposition == CREATE_ALWAYS &&
        (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &
            ~(flagsAndAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
      return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (fs.SharingConflict(object, access, share))
      return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
  } else if (disposition == OPEN_EXISTING) {
    return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  }
  int flags = writing ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (disposition == CREATE_ALWAYS || disposition == CREATE_NEW) flags |= O_CREAT | O_TRUNC;
  if (disposition == OPEN_ALWAYS) flags |= O_CREAT;
  // Creating anew never follows a link left at the name.
  if (disposition == CREATE_NEW) flags |= O_EXCL;
  int fd = ::open(r.host.c_str(), flags, 0644);
  if (fd < 0) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  if (flags & O_CREAT) {
    fs.Refresh(r.host);
    if (r.throughLink) object = fs.Followed(r.host);
  }
  bool created = !r.exists || disposition == CREATE_ALWAYS;
  if (created) {
    auto& meta = fs.MetaOf(object);
    // A new file always carries the archive bit; the folder bit is not a file's.
    meta.attributes = (flagsAndAttributes & 0x07) | FILE_ATTRIBUTE_ARCHIVE;
    meta.creation = meta.access = meta.write = Now();
  }
  handle = fs.nextHandle += 4;
  fs.Opened(handle, fd, object, share, access);
  M().lastError = r.exists ? ERROR_ALREADY_EXISTS : 0;
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  if (Enter("WriteFile", Args(count))) return FALSE;
  auto it = Fs().open.find(reinterpret_cast<uintptr_t>(file));
  if (it == Fs().open.end()) return Fail(ERROR_INVALID_HANDLE);
  const char* bytes = static_cast<const char*>(buffer);
  if (!it->second.device.empty() || !it->second.stream.empty()) {
    std::string& sink = it->second.device.empty()
                            ? Fs().streams[{it->second.host, it->second.stream}]
                            : Fs().devices[it->second.device];
    sink.append(bytes, count);
    if (written) *written = count;
    return TRUE;
  }
  if (it->second.fd < 0 || !(it->second.access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
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
  if (it->second.fd < 0) return Fail(ERROR_ACCESS_DENIED);
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
  // The source is opened for reading, sharing reading and writing, as Wine's CopyFileExW opens
  // it; Windows does not document its share mode.
  if (fs.SharingConflict(fs.Followed(from.host), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE))
    return Fail(ERROR_SHARING_VIOLATION);
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
  for (const auto& name : names) {
    std::string host = dir.host + "/" + name;
    // The 8-bit listing spells a wide name with best fit, as Windows does.
    bool inexact = false;
    std::string spelled =
        fs.wideNames.count(host) ? BestFit(fs.WideName(host, name), inexact) : name;
    search.entries.push_back(FindData(fs, host, spelled));
  }
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
    FileSystem::OpenFile closed = std::move(it->second);
    open.erase(it);
    if (closed.fd >= 0) ::close(closed.fd);
    if (closed.deleteOnClose) {
      FileSystem& fs = Fs();
      if (closed.folder) {
        fs.RemoveFolder(closed.host);
      } else {
        ::unlink(closed.host.c_str());
        fs.Refresh(closed.host);
      }
      fs.Forget(closed.host);
    }
    return TRUE;
  }
  if (sim::detail::CloseProcess(handle)) return TRUE;
  if (sim::detail::CloseKernelObject(handle)) return TRUE;
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

// ---- handles on files, folders, links, devices and streams ----

namespace {

FileSystem::OpenFile* OpenRecord(HANDLE handle) {
  auto it = Fs().open.find(reinterpret_cast<uintptr_t>(handle));
  return it == Fs().open.end() ? nullptr : &it->second;
}

}  // namespace

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  if (Enter("GetFileInformationByHandle", "")) return FALSE;
  FileSystem::OpenFile* open = OpenRecord(file);
  if (open == nullptr || !open->device.empty()) return Fail(ERROR_INVALID_HANDLE);
  struct stat st;
  bool found = open->itself ? LStat(open->host, st) : ::stat(open->host.c_str(), &st) == 0;
  if (!found) return Fail(ERROR_FILE_NOT_FOUND);
  *info = BY_HANDLE_FILE_INFORMATION{};
  FileSystem& fs = Fs();
  DWORD attributes = fs.Attributes(open->host);
  if (!open->itself) attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
  info->dwFileAttributes = attributes;
  auto meta = fs.meta.find(open->host);
  if (meta != fs.meta.end()) {
    info->ftCreationTime = meta->second.creation;
    info->ftLastAccessTime = meta->second.access;
    info->ftLastWriteTime = meta->second.write;
  }
  info->dwVolumeSerialNumber = 0x51AB0C;
  if (S_ISREG(st.st_mode)) {
    info->nFileSizeLow = static_cast<DWORD>(st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(st.st_size) >> 32);
  }
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
  info->nFileIndexHigh = static_cast<DWORD>(static_cast<ULONGLONG>(st.st_ino) >> 32);
  return TRUE;
}

namespace {

// The records of a folder's listing, from its start when `restart`: what kernel32's
// GetFileInformationByHandleEx and ntdll's NtQueryDirectoryFile both answer. An error code,
// 0 when records were written.
DWORD ListRecords(HANDLE file, bool restart, void* buffer, DWORD size, size_t* written = nullptr) {
  FileSystem::OpenFile* open = OpenRecord(file);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  // Only a handle on a folder, opened with the right to list it, lists.
  if (!open->folder || !(open->access & (FILE_LIST_DIRECTORY | GENERIC_READ)))
    return ERROR_ACCESS_DENIED;
  FileSystem& fs = Fs();
  if (restart || !open->listed) {
    open->entries.clear();
    open->next = 0;
    open->listed = true;
    if (fs.WindowsPathOf(open->host).size() > 3) {
      open->entries.push_back({u".", FILE_ATTRIBUTE_DIRECTORY, 0});
      open->entries.push_back({u"..", FILE_ATTRIBUTE_DIRECTORY, 0});
    }
    std::vector<std::string> names;
    if (DIR* d = ::opendir(open->host.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    for (const auto& name : names) {
      std::string host = open->host + "/" + name;
      struct stat st;
      ULONGLONG id = LStat(host, st) ? static_cast<ULONGLONG>(st.st_ino) : 0;
      open->entries.push_back({fs.WideName(host, name), fs.Attributes(host), id});
    }
  }
  if (open->next >= open->entries.size()) return ERROR_NO_MORE_FILES;
  auto* out = static_cast<unsigned char*>(buffer);
  size_t used = 0;
  sys::FileIdBothDirInformation* previous = nullptr;
  while (open->next < open->entries.size()) {
    const auto& entry = open->entries[open->next];
    size_t record =
        offsetof(sys::FileIdBothDirInformation, fileName) + entry.name.size() * sizeof(WCHAR);
    size_t at = (used + 7) & ~static_cast<size_t>(7);
    if (at + record > size) break;
    auto* info = reinterpret_cast<sys::FileIdBothDirInformation*>(out + at);
    std::memset(info, 0, offsetof(sys::FileIdBothDirInformation, fileName));
    info->fileAttributes = entry.attributes;
    info->fileNameLength = static_cast<DWORD>(entry.name.size() * sizeof(WCHAR));
    info->fileId = static_cast<LONGLONG>(entry.id);
    std::memcpy(info->fileName, entry.name.data(), entry.name.size() * sizeof(WCHAR));
    if (previous != nullptr)
      previous->nextEntryOffset =
          static_cast<DWORD>(out + at - reinterpret_cast<unsigned char*>(previous));
    previous = info;
    used = at + record;
    ++open->next;
  }
  if (written != nullptr) *written = used;
  return previous == nullptr ? ERROR_MORE_DATA : 0;
}

// Sets what the handle's object is from a basic record (`attributes`) or a disposition
// (`disposition`): what kernel32's SetFileInformationByHandle and ntdll's NtSetInformationFile
// both do. An error code, 0 when done.
DWORD SetBasic(HANDLE file, DWORD attributes) {
  FileSystem::OpenFile* open = OpenRecord(file);
  if (open == nullptr || !open->device.empty() || !open->stream.empty())
    return ERROR_INVALID_HANDLE;
  if (!(open->access & (GENERIC_WRITE | FILE_WRITE_ATTRIBUTES))) return ERROR_ACCESS_DENIED;
  if (attributes != 0 && !open->itself) {
    DWORD kept = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    Fs().MetaOf(open->host).attributes = open->folder ? (kept | FILE_ATTRIBUTE_DIRECTORY) : kept;
  }
  return 0;
}

DWORD SetDisposition(HANDLE file, bool deleteFile) {
  FileSystem::OpenFile* open = OpenRecord(file);
  if (open == nullptr || !open->device.empty() || !open->stream.empty())
    return ERROR_INVALID_HANDLE;
  FileSystem& fs = Fs();
  if (!(open->access & DELETE)) return ERROR_ACCESS_DENIED;
  if (!deleteFile) {
    open->deleteOnClose = false;
    return 0;
  }
  if (!open->itself) {
    if (fs.Attributes(open->host) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (open->folder) {
      if (fs.Resolve(M().system.currentDirectory).host == open->host)
        return ERROR_SHARING_VIOLATION;
      DIR* d = ::opendir(open->host.c_str());
      bool empty = true;
      while (d != nullptr && empty) {
        dirent* e = ::readdir(d);
        if (e == nullptr) break;
        empty = std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0;
      }
      if (d != nullptr) ::closedir(d);
      if (!empty) return ERROR_DIR_NOT_EMPTY;
    }
  }
  // Windows deletes when the last handle goes; the program closes right after.
  open->deleteOnClose = true;
  return 0;
}

// The NTSTATUS that ntdll answers where kernel32 sets these last errors, and back
// (RtlNtStatusToDosError); an error injected into an ntdll call by its Win32 code comes out
// as its status.
struct StatusOfError {
  sys::NtStatus status;
  DWORD error;
};
const StatusOfError kStatuses[] = {
    {static_cast<sys::NtStatus>(0x80000006), ERROR_NO_MORE_FILES},      // NO_MORE_FILES
    {static_cast<sys::NtStatus>(0x80000005), ERROR_MORE_DATA},          // BUFFER_OVERFLOW
    {static_cast<sys::NtStatus>(0xC0000008), ERROR_INVALID_HANDLE},     // INVALID_HANDLE
    {static_cast<sys::NtStatus>(0xC000000D), ERROR_INVALID_PARAMETER},  // INVALID_PARAMETER
    {static_cast<sys::NtStatus>(0xC0000022), ERROR_ACCESS_DENIED},      // ACCESS_DENIED
    {static_cast<sys::NtStatus>(0xC0000043), ERROR_SHARING_VIOLATION},  // SHARING_VIOLATION
    {static_cast<sys::NtStatus>(0xC0000101), ERROR_DIR_NOT_EMPTY},      // DIRECTORY_NOT_EMPTY
    {static_cast<sys::NtStatus>(0xC0000121), ERROR_ACCESS_DENIED},      // CANNOT_DELETE
    {static_cast<sys::NtStatus>(0xC0000003), ERROR_INVALID_PARAMETER},  // INVALID_INFO_CLASS
    {static_cast<sys::NtStatus>(0xC0000004), ERROR_BAD_LENGTH},         // INFO_LENGTH_MISMATCH
};

sys::NtStatus StatusOf(DWORD error) {
  for (const auto& entry : kStatuses)
    if (entry.error == error) return entry.status;
  return static_cast<sys::NtStatus>(0xC0000001);  // STATUS_UNSUCCESSFUL
}

sys::NtStatus Answer(sys::IoStatusBlock* io, DWORD error, ULONG_PTR information) {
  sys::NtStatus status = error == 0 ? sys::kStatusSuccess : StatusOf(error);
  if (io != nullptr) {
    io->status = status;
    io->information = error == 0 ? information : 0;
  }
  return status;
}

// A program that imports a call its Windows lacks does not start: the loader refuses it. One
// that makes such a call here was linked against it, so the test that ran it is told.
bool VistaCall(const char* function) {
  if (M().system.vistaFileCalls) return true;
  BrokenContract(std::string(function) +
                 ": kernel32 of this release does not export it; the loader refuses an exe "
                 "that imports it");
  return false;
}

}  // namespace

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer,
                                  DWORD size) {
  if (Enter("GetFileInformationByHandleEx", Args(static_cast<int>(kind), size))) return FALSE;
  if (!VistaCall("GetFileInformationByHandleEx")) return Fail(ERROR_PROC_NOT_FOUND);
  if (OpenRecord(file) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (kind != FileIdBothDirectoryInfo && kind != FileIdBothDirectoryRestartInfo)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD error = ListRecords(file, kind == FileIdBothDirectoryRestartInfo, buffer, size);
  return error == 0 ? TRUE : Fail(error);
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer,
                                DWORD size) {
  if (Enter("SetFileInformationByHandle", Args(static_cast<int>(kind), size))) return FALSE;
  if (!VistaCall("SetFileInformationByHandle")) return Fail(ERROR_PROC_NOT_FOUND);
  FileSystem::OpenFile* open = OpenRecord(file);
  if (open == nullptr || !open->device.empty() || !open->stream.empty())
    return Fail(ERROR_INVALID_HANDLE);
  DWORD error = ERROR_INVALID_PARAMETER;
  if (kind == FileBasicInfo && size >= sizeof(FILE_BASIC_INFO))
    error = SetBasic(file, static_cast<const FILE_BASIC_INFO*>(buffer)->FileAttributes);
  else if (kind == FileDispositionInfo && size >= sizeof(FILE_DISPOSITION_INFO))
    error = SetDisposition(file, static_cast<const FILE_DISPOSITION_INFO*>(buffer)->DeleteFile);
  return error == 0 ? TRUE : Fail(error);
}

namespace sim::detail {

// ntdll's own calls, as NT 4 and every later release have them. They answer an NTSTATUS and
// leave the last error alone; an injected failure comes out as the status of its error.
sys::NtStatus WINAPI NtSetInformationFile(HANDLE file, sys::IoStatusBlock* io, void* information,
                                          ULONG length, int informationClass) {
  DWORD injected = M().lastError;
  if (Enter("NtSetInformationFile", Args(informationClass, length))) {
    DWORD error = M().lastError;
    M().lastError = injected;
    return Answer(io, error, 0);
  }
  if (io == nullptr || information == nullptr) return Answer(io, ERROR_INVALID_PARAMETER, 0);
  DWORD error = ERROR_INVALID_PARAMETER;  // STATUS_INVALID_INFO_CLASS for any other class
  if (informationClass == sys::kFileBasicInformation) {
    error =
        length < sizeof(sys::FileBasicInformation)
            ? ERROR_BAD_LENGTH
            : SetBasic(file,
                       static_cast<const sys::FileBasicInformation*>(information)->fileAttributes);
  } else if (informationClass == sys::kFileDispositionInformation) {
    error =
        length < sizeof(sys::FileDispositionInformation)
            ? ERROR_BAD_LENGTH
            : SetDisposition(
                  file,
                  static_cast<const sys::FileDispositionInformation*>(information)->deleteFile !=
                      0);
  }
  return Answer(io, error, 0);
}

sys::NtStatus WINAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, void* apcRoutine, void*,
                                          sys::IoStatusBlock* io, void* information, ULONG length,
                                          int informationClass, unsigned char returnSingleEntry,
                                          void* fileName, unsigned char restartScan) {
  DWORD injected = M().lastError;
  if (Enter("NtQueryDirectoryFile",
            Args(informationClass, length, static_cast<int>(restartScan)))) {
    DWORD error = M().lastError;
    M().lastError = injected;
    return Answer(io, error, 0);
  }
  // The program lists synchronously, every entry, without a pattern: the rest is not modelled.
  if (io == nullptr || information == nullptr || event != nullptr || apcRoutine != nullptr ||
      returnSingleEntry || fileName != nullptr)
    return Answer(io, ERROR_INVALID_PARAMETER, 0);
  if (informationClass != sys::kFileIdBothDirectoryInformation)
    return Answer(io, ERROR_INVALID_PARAMETER, 0);
  size_t written = 0;
  DWORD error = ListRecords(file, restartScan != 0, information, length, &written);
  return Answer(io, error, written);
}

ULONG WINAPI RtlNtStatusToDosError(sys::NtStatus status) {
  if (status == sys::kStatusSuccess) return ERROR_SUCCESS;
  for (const auto& entry : kStatuses)
    if (entry.status == status) return entry.error;
  return ERROR_GEN_FAILURE;
}

}  // namespace sim::detail

namespace {

// The machine knows its ANSI code page and UTF-8; any other is refused as not installed (the
// stricter answer: Windows has many more).
bool KnownCodePage(UINT& codePage) {
  if (codePage == CP_ACP) codePage = M().system.ansiCodePage;
  return codePage == M().system.ansiCodePage || codePage == CP_UTF8;
}

}  // namespace

// For UTF-8 the documentation allows only the flags 0 and WC_ERR_INVALID_CHARS (otherwise
// ERROR_INVALID_FLAGS) and null lpDefaultChar and lpUsedDefaultChar (otherwise
// ERROR_INVALID_PARAMETER, which comes first: Wine's conformance test
// test_other_invalid_parameters in dlls/kernel32/tests/codepage.c, CP_UTF8 with flag 0x100
// and a used-default pointer). CP_ACP on a UTF-8 machine is UTF-8.
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength, LPSTR bytes,
                        int size, LPCSTR defaultChar, BOOL* usedDefault) {
  if (Enter("WideCharToMultiByte", Args(codePage, flags, wideLength, size))) return 0;
  if (!KnownCodePage(codePage) || wide == nullptr || wideLength <= 0 || size < 0 ||
      (bytes == nullptr && size != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  std::u16string text(reinterpret_cast<const char16_t*>(wide), static_cast<size_t>(wideLength));
  bool inexact = false;
  std::string converted;
  if (codePage == CP_UTF8) {
    if (defaultChar != nullptr || usedDefault != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
    converted = EncodeUtf8(text, inexact);
    if (inexact && (flags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  } else if (flags & WC_ERR_INVALID_CHARS) {
    return Fail(ERROR_INVALID_FLAGS);  // only for UTF-8 and GB18030
  } else {
    converted = BestFit(text, inexact);
  }
  if (codePage != CP_UTF8 && (flags & WC_NO_BEST_FIT_CHARS)) {
    // Without best fit every character the code page lacks becomes the default character.
    converted.clear();
    for (char16_t c : text) {
      if (c < 0x80)
        converted += static_cast<char>(c);
      else if (c >= 0xF080 && c <= 0xF0FF)
        converted += static_cast<char>(c - 0xF000);
      else
        converted += '?';
    }
  }
  if (usedDefault != nullptr) *usedDefault = inexact;
  if (size == 0) return static_cast<int>(converted.size());
  if (static_cast<int>(converted.size()) > size) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  std::memcpy(bytes, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

// The inverse of the above: UTF-8 decoded (flags 0 or MB_ERR_INVALID_CHARS only), other code
// pages as the machine carries 8-bit names (U+F0xx for the bytes above ASCII).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int length, WCHAR* wide,
                        int size) {
  if (Enter("MultiByteToWideChar", Args(codePage, flags, length, size))) return 0;
  if (!KnownCodePage(codePage) || bytes == nullptr || length <= 0 || size < 0 ||
      (wide == nullptr && size != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  std::string text(bytes, static_cast<size_t>(length));
  std::u16string converted;
  if (codePage == CP_UTF8) {
    if (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
    converted = DecodeUtf8(text);
  } else {
    for (char c : text) {
      unsigned char b = static_cast<unsigned char>(c);
      converted += static_cast<char16_t>(b < 0x80 ? b : 0xF000 + b);
    }
  }
  if (size == 0) return static_cast<int>(converted.size());
  if (static_cast<int>(converted.size()) > size) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  std::memcpy(wide, converted.data(), converted.size() * sizeof(WCHAR));
  return static_cast<int>(converted.size());
}
