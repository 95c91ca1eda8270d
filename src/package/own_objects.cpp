// Folders and files of the staging folder, opened, checked and deleted as themselves.
#include "package/own_objects.h"

#include <cctype>
#include <cstring>
#include <optional>

#include "platform/files_by_handle.h"

namespace own {
namespace {

// What a name stands for, looked at as the object itself.
enum class Found {
  Nothing,
  Folder,
  File,
  Link,    // a reparse point: a junction, or a link to a folder or a file
  Unsure,  // the name says link but the handle does not, or it cannot be opened at all
};

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Opens the name itself: a folder needs backup semantics, a link must not be followed.
constexpr DWORD kItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

ui::File OpenItself(const std::string& path, DWORD access) {
  return ui::File(::CreateFileA(path.c_str(), access, kShareNoDelete, nullptr, OPEN_EXISTING,
                                kItself, nullptr));
}

// What the handle opened on; nothing when it was not opened or cannot tell.
std::optional<DWORD> AttributesOf(const ui::File& opened) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!opened || !::GetFileInformationByHandle(opened.Get(), &info)) return std::nullopt;
  return info.dwFileAttributes;
}

// What the name's own attributes say agrees with what the handle opened on it shows: no link,
// and a folder where the handle has a folder. A system that ignores the request not to follow
// a link shows it only in the name's attributes.
bool Agrees(DWORD named, DWORD opened) {
  return named != INVALID_FILE_ATTRIBUTES && !(named & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (named & FILE_ATTRIBUTE_DIRECTORY) == (opened & FILE_ATTRIBUTE_DIRECTORY);
}

// `upper` is in capitals; `a` matches it in any case.
bool EqualNoCase(const char* a, const char* upper, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(upper[i]))
      return false;
  }
  return true;
}

}  // namespace

namespace {

// What is at the name, told from a handle opened on it; a folder or file found is handed over
// in `keep`, opened with `access`, so that what is acted on is what was looked at.
Found Inspect(const char* path, ui::File* keep, DWORD access) {
  std::string name = WithoutFinalSeparator(path);
  DWORD named = ::GetFileAttributesA(name.c_str());
  if (named == INVALID_FILE_ATTRIBUTES) {
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Found::Nothing
                                                                          : Found::Unsure;
  }
  ui::File opened = OpenItself(name, access);
  std::optional<DWORD> attributes = AttributesOf(opened);
  if (!attributes) return Found::Unsure;
  if (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Found::Link;
  if (!Agrees(named, *attributes)) return Found::Unsure;
  if (keep != nullptr) *keep = std::move(opened);
  return *attributes & FILE_ATTRIBUTE_DIRECTORY ? Found::Folder : Found::File;
}

}  // namespace

bool DeleteOpened(HANDLE handle) {
  return sys::MarkForDeletion(handle);
}

std::string WithoutFinalSeparator(const char* path) {
  // Up to the end of the last character that is no separator; a double-byte character may
  // end in the backslash's byte value without being one.
  size_t keep = 0;
  for (const char* p = path; *p; p = ::CharNextA(p)) {
    if (!IsSeparator(*p) || ::CharNextA(p) != p + 1)
      keep = static_cast<size_t>(::CharNextA(p) - path);
  }
  std::string trimmed(path, keep);
  // "C:\" keeps its separator: without it the drive means its current directory.
  if (trimmed.size() == 2 && trimmed[1] == ':' && path[2] != '\0') trimmed += path[2];
  if (trimmed.empty() && path[0] != '\0') trimmed = path[0];
  return trimmed;
}

bool RemoveLink(const char* path) {
  ui::File link = OpenItself(WithoutFinalSeparator(path), DELETE | FILE_READ_ATTRIBUTES);
  std::optional<DWORD> attributes = AttributesOf(link);
  if (!attributes || !(*attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return DeleteOpened(link.Get());
}

ui::File HoldFolder(const char* path, bool create, bool ours) {
  std::string name = WithoutFinalSeparator(path);
  // Each turn settles one thing found at the name; a name that keeps changing under us is
  // given up rather than chased.
  for (int turn = 0; turn < 8; ++turn) {
    ui::File held;
    switch (
        Inspect(name.c_str(), &held, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE)) {
      case Found::Nothing:
        if (!create) return ui::File();
        ::CreateDirectoryA(name.c_str(), nullptr);
        continue;
      case Found::Link:
        if (!ours || !RemoveLink(name.c_str())) return ui::File();
        continue;
      case Found::File:
      case Found::Unsure:
        return ui::File();
      case Found::Folder:
        return held;
    }
  }
  return ui::File();
}

ui::File CreateOwnFile(const char* path, DWORD attributes) {
  std::string name = path;
  for (int turn = 0; turn < 8; ++turn) {
    if (::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      ui::File existing = OpenItself(name, DELETE | FILE_READ_ATTRIBUTES);
      std::optional<DWORD> found = AttributesOf(existing);
      if (!found) return ui::File();
      // A folder of that name is not replaced, nor a link the handle does not show.
      if (!(*found & FILE_ATTRIBUTE_REPARSE_POINT) &&
          ((*found & FILE_ATTRIBUTE_DIRECTORY) ||
           !Agrees(::GetFileAttributesA(name.c_str()), *found)))
        return ui::File();
      if (!DeleteOpened(existing.Get())) return ui::File();  // a read-only file stays
    }
    // Created new: whatever appears at the name meanwhile makes this fail, never opens.
    ui::File created(::CreateFileA(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (created) return created;
    if (::GetLastError() != ERROR_FILE_EXISTS) return ui::File();
  }
  return ui::File();
}

bool IsOwnPathPart(const char* name, size_t length) {
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (IsSeparator(name[i]) || name[i] == ':') return false;
  }
  size_t kept = length;
  while (kept > 0 && (name[kept - 1] == '.' || name[kept - 1] == ' ')) --kept;
  return kept != 0;  // "." and "..", and names of dots and blanks only, are no entries
}

bool IsUnsafePathPart(const char* part, size_t length) {
  // "." and ".." are references, kept inside the base by the caller.
  if (length == 0 || (length <= 2 && std::strncmp(part, "..", length) == 0)) return false;
  if (std::memchr(part, ':', length) != nullptr) return true;
  if (part[length - 1] == '.' || part[length - 1] == ' ') return true;
  // The device is named by what stands before the first dot, blanks at its end dropped.
  size_t stem = 0;
  while (stem < length && part[stem] != '.') ++stem;
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == std::strlen(device) && EqualNoCase(part, device, stem)) return true;
  }
  if (stem == 4 && (EqualNoCase(part, "COM", 3) || EqualNoCase(part, "LPT", 3))) {
    unsigned char digit = static_cast<unsigned char>(part[3]);
    // Windows takes the superscript digits of code page 1252 for port numbers too.
    if ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3)
      return true;
  }
  return false;
}

bool ExactAnsiSpelling(const WCHAR* wide, int length, char (&spelled)[MAX_PATH]) {
  // Flags 0 and no default character: every code page takes them, UTF-8 included, which
  // refuses WC_NO_BEST_FIT_CHARS and a used-default flag. What best fit or the default
  // character made of a name (full-width dots and backslashes into "..\", an unpaired
  // surrogate into U+FFFD) shows in the way back.
  if (length <= 0 || length >= MAX_PATH) return false;
  int bytes =
      ::WideCharToMultiByte(CP_ACP, 0, wide, length, spelled, MAX_PATH - 1, nullptr, nullptr);
  if (bytes <= 0) return false;
  spelled[bytes] = '\0';
  WCHAR back[MAX_PATH];
  int chars = ::MultiByteToWideChar(CP_ACP, 0, spelled, bytes, back, MAX_PATH);
  return chars == length && std::memcmp(back, wide, sizeof(WCHAR) * length) == 0;
}

void ListFolder(HANDLE folder, std::vector<std::string>& names) {
  // Directory records hold 64-bit fields: the buffer is aligned for them.
  alignas(8) unsigned char buffer[16384];
  for (bool restart = true;; restart = false) {
    // The end of the listing and a failure alike: what was listed so far is what is known.
    if (!sys::ReadFolderRecords(folder, restart, buffer, sizeof buffer)) return;
    for (size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const sys::FileIdBothDirInformation*>(buffer + at);
      char name[MAX_PATH];
      // Only an exact spelling names the entry.
      if (ExactAnsiSpelling(entry->fileName,
                            static_cast<int>(entry->fileNameLength / sizeof(WCHAR)), name) &&
          IsOwnPathPart(name, std::strlen(name)))
        names.emplace_back(name);
      if (entry->nextEntryOffset == 0 || at + entry->nextEntryOffset >= sizeof buffer) break;
      at += entry->nextEntryOffset;
    }
  }
}

void DeleteBeneath(HANDLE folder, const std::string& path) {
  std::vector<std::string> names;
  ListFolder(folder, names);
  for (const std::string& name : names) {
    std::string entry = path + "\\" + name;
    ui::File opened =
        OpenItself(entry, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    std::optional<DWORD> attributes = AttributesOf(opened);
    if (!attributes) continue;
    if (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      DeleteOpened(opened.Get());  // the link goes; what it points to is not ours
      continue;
    }
    if (!Agrees(::GetFileAttributesA(entry.c_str()), *attributes)) continue;  // a hidden link
    // Held open without sharing for deletion, a folder cannot be swapped while it is emptied.
    if (*attributes & FILE_ATTRIBUTE_DIRECTORY) DeleteBeneath(opened.Get(), entry);
    DeleteOpened(opened.Get());
  }
}

}  // namespace own
