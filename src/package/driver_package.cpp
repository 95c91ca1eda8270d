// Unpacking the package into the staging folder and the clean-up when the dialog goes.
#include "package/driver_package.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "package/archive_reader.h"
#include "package/own_objects.h"
#include "package/staged_files.h"
#include "resources/resource.h"
#include "ui/handles.h"

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Same folder, letter case and a final separator aside.
bool SameFolder(const std::string& a, const std::string& b) {
  auto trimmed = [](std::string s) {
    while (s.size() > 3 && IsSeparator(s.back())) s.pop_back();
    for (char& c : s) {
      if (c == '/') c = '\\';
    }
    return s;
  };
  std::string x = trimmed(a), y = trimmed(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    unsigned char p = static_cast<unsigned char>(x[i]), q = static_cast<unsigned char>(y[i]);
    if (::IsDBCSLeadByte(p)) {
      if (p != q || i + 1 >= x.size() || x[i + 1] != y[i + 1]) return false;
      ++i;
    } else if (std::tolower(p) != std::tolower(q)) {
      return false;
    }
  }
  return true;
}

// Keeps what member `item` made just now at `path`: its folder, or its file once it reads back
// exactly as the member's bytes. What is not kept counts as missing at install time.
void HoldWritten(ArchiveReader& reader, const ArchiveItem& item, const char* path) {
  if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    staged::HoldFolder(own::HoldFolder(path, false, false));
    return;
  }
  std::vector<unsigned char> bytes;
  if (reader.ReadItem(item.index, bytes) == ArchiveResult::Ok) staged::Hold(path, std::move(bytes));
}

// The user's temporary folder as the system holds it, with its final backslash.
bool WideTemporaryFolder(WCHAR (&wide)[MAX_PATH + 1], DWORD& length) {
  length = ::GetTempPathW(MAX_PATH + 1, wide);
  return length != 0 && length <= MAX_PATH;
}

// A temporary folder that is missing (a cleaning tool took it) is made again: only that one
// folder, which CreateDirectory makes only in a folder that exists. A path with more of it
// missing is no place the user has, and nothing is made there.
void MakeTemporaryFolder() {
  WCHAR wide[MAX_PATH + 1] = {};
  DWORD length = 0;
  if (WideTemporaryFolder(wide, length)) ::CreateDirectoryW(wide, nullptr);
}

// The longest path a member of the package is written to, below `base`.
size_t LongestStagedPath(ArchiveReader& reader, const char* base, int members) {
  size_t longest = 0;
  for (int i = 0; i < members; ++i) {
    ArchiveItem item{};
    if (reader.GetItem(i, item) == ArchiveResult::Ok)
      longest = std::max(longest, std::strlen(base) + std::strlen(item.name));
  }
  return longest;
}

}  // namespace

bool StagingFolderPath(char (&path)[260]) {
  WCHAR wide[MAX_PATH + 1] = {};
  DWORD length = 0;
  if (!WideTemporaryFolder(wide, length)) return false;
  // GetTempPathA would spell what the code page lacks as "?", or by best fit as the name of
  // another folder: a name the 8-bit calls cannot spell is taken in its short form, which is
  // ASCII, and where there is none (short names turned off) there is no staging folder.
  char temp[MAX_PATH] = {};
  if (!own::ExactAnsiSpelling(wide, static_cast<int>(length), temp)) {
    WCHAR shortForm[MAX_PATH] = {};
    DWORD shortLength = ::GetShortPathNameW(wide, shortForm, MAX_PATH);
    if (shortLength == 0 || shortLength >= MAX_PATH ||
        !own::ExactAnsiSpelling(shortForm, static_cast<int>(shortLength), temp))
      return false;
  }
  int written = std::snprintf(path, sizeof path, "%sOstra2020\\", temp);
  return written > 0 && written < static_cast<int>(sizeof path);
}

void UnpackDriverPackage(DWORD language) {
  MakeTemporaryFolder();
  char stagingFolder[MAX_PATH] = {};
  if (!StagingFolderPath(stagingFolder)) return;  // no temporary folder: nothing anywhere

  // By the display language alone: the library's strings are UTF-16 and show on any code page.
  int id = language == 2052 ? IDR_PACKAGE_ZH : IDR_PACKAGE_EN;
  HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), "zip");
  HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  DWORD size = resource ? ::SizeofResource(nullptr, resource) : 0;
  ArchiveReader* reader = ArchiveReader::OpenFromMemory(bytes, size);
  ArchiveItem summary{};
  if (reader != nullptr) reader->GetItem(-1, summary);
  // A package that would not fit whole below the folder (a staged path past 259 characters)
  // is not begun: half of it would only fail later, and nothing is made for it.
  if (reader != nullptr &&
      LongestStagedPath(*reader, stagingFolder, summary.index) >= static_cast<size_t>(MAX_PATH)) {
    reader->Close();
    return;
  }

  // The folder lies where others can write: a link left under our name is removed, never
  // written through, and the real folder is held for as long as the package is unpacked, so
  // that it cannot be swapped meanwhile. A file of that name leaves nothing to unpack into.
  staged::Release();
  ui::File held = own::HoldFolder(stagingFolder, true, true);
  bool made = static_cast<bool>(held);
  if (made) {
    ::SetCurrentDirectoryA(stagingFolder);
    staged::HoldFolder(std::move(held));
  }
  if (reader == nullptr) return;
  if (!made) {
    reader->Close();
    return;
  }
  reader->SetBaseFolder(stagingFolder);
  for (int i = 0; i < summary.index; ++i) {
    ArchiveItem item{};
    if (reader->GetItem(i, item) != ArchiveResult::Ok) continue;
    // A later member of the same name replaces the earlier one, which must be let go first.
    std::string path = std::string(stagingFolder) + item.name;
    staged::Forget(path.c_str());
    if (reader->ExtractItem(i, item.name) == ArchiveResult::Ok)
      HoldWritten(*reader, item, path.c_str());
  }
  reader->Close();
}

void DeleteStagingFolderContents(const std::string& folder) {
  staged::Release();  // held files cannot be deleted, and the dialog that used them is gone
  char stagingFolder[MAX_PATH] = {};
  if (folder.empty() || !StagingFolderPath(stagingFolder)) return;
  if (!SameFolder(folder, stagingFolder)) return;
  // Emptied through a handle on the folder itself: a staging folder that is a link is left.
  ui::File held = own::HoldFolder(folder.c_str(), false, false);
  if (held) own::DeleteBeneath(held.Get(), own::WithoutFinalSeparator(folder.c_str()));
}
