// Staged files held open for reading only, each known by its path and its bytes.
#include "package/staged_files.h"

#include <cstring>
#include <map>

namespace staged {
namespace {

struct HeldFile {
  ui::File handle;
  std::vector<unsigned char> bytes;
};

// The process's holds: files by their spelled-out path, and the folders they lie in.
struct Holds {
  std::map<std::string, HeldFile> files;
  std::vector<ui::File> folders;
};

// Never destroyed: a process that ends without its clean-up has its handles closed by the
// system, and no destructor runs at exit after the platform beneath has gone.
Holds& Current() {
  static Holds* holds = new Holds;
  return *holds;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// One spelling per path: absolute, backslashes, single separators, ASCII letters in capitals.
// Double-byte characters are copied whole: their second byte may look like a separator.
std::string KeyOf(const char* path) {
  std::string full;
  bool absolute = (path[0] != '\0' && path[1] == ':') || IsSeparator(path[0]);
  if (!absolute) {
    char directory[MAX_PATH] = {};
    DWORD length = ::GetCurrentDirectoryA(MAX_PATH, directory);
    if (length == 0 || length >= MAX_PATH) return {};
    full = std::string(directory) + "\\";
  }
  full += path;
  std::string key;
  for (const char* p = full.c_str(); *p; p = ::CharNextA(p)) {
    const char* next = ::CharNextA(p);
    if (next != p + 1) {
      key.append(p, next);
    } else if (IsSeparator(*p)) {
      if (key.empty() || key.back() != '\\') key += '\\';
    } else {
      key += (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    }
  }
  return key;
}

// Reads the whole file from where the handle stands and compares it with `bytes`.
bool ReadsExactly(HANDLE file, const std::vector<unsigned char>& bytes) {
  unsigned char chunk[16384];
  size_t at = 0;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, chunk, sizeof chunk, &read, nullptr)) return false;
    if (read == 0) return at == bytes.size();
    if (read > bytes.size() - at || std::memcmp(chunk, bytes.data() + at, read) != 0) return false;
    at += read;
  }
}

HeldFile* Find(const std::string& key) {
  auto found = Current().files.find(key);
  return found != Current().files.end() ? &found->second : nullptr;
}

}  // namespace

bool Hold(const std::string& path, std::vector<unsigned char> bytes) {
  std::string key = KeyOf(path.c_str());
  if (key.empty() || Find(key) != nullptr) return false;
  // Sharing reads only: from here on nobody can write it, delete it or rename it. A link at the
  // name is opened as itself, and then refused.
  ui::File file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.Get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  // Whatever another program did between our writing and this open shows in the bytes.
  if (!ReadsExactly(file.Get(), bytes)) return false;
  Current().files[key] = HeldFile{std::move(file), std::move(bytes)};
  return true;
}

void HoldFolder(ui::File folder) {
  if (folder) Current().folders.push_back(std::move(folder));
}

const std::vector<unsigned char>* Held(const char* path) {
  HeldFile* file = Find(KeyOf(path));
  return file != nullptr ? &file->bytes : nullptr;
}

bool CopiedExactly(const std::vector<unsigned char>& bytes, const char* copy) {
  ui::File file(::CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file && ReadsExactly(file.Get(), bytes);
}

void Forget(const char* path) {
  Current().files.erase(KeyOf(path));
}

void Release() {
  Current().files.clear();
  Current().folders.clear();
}

}  // namespace staged
