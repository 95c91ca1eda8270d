// Unpacking the package into the staging folder and the clean-up when the dialog goes.
#include "package/driver_package.h"

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
  if (std::strlen(path) >= MAX_PATH) return;
  if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    staged::HoldFolder(own::HoldFolder(path, false, false));
    return;
  }
  std::vector<unsigned char> bytes;
  if (reader.ReadItem(item.index, bytes) == ArchiveResult::Ok) staged::Hold(path, std::move(bytes));
}

}  // namespace

bool StagingFolderPath(char (&path)[260]) {
  char temp[MAX_PATH] = {};
  DWORD length = ::GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return false;
  int written = std::snprintf(path, sizeof path, "%sOstra2020\\", temp);
  return written > 0 && written < static_cast<int>(sizeof path);
}

void UnpackDriverPackage(DWORD language) {
  char stagingFolder[MAX_PATH] = {};
  if (!StagingFolderPath(stagingFolder)) return;  // no temporary folder: nothing anywhere

  // The folder lies where others can write: a link left under our name is removed, never
  // written through, and the real folder is held for as long as the package is unpacked, so
  // that it cannot be swapped meanwhile. A file of that name leaves nothing to unpack into.
  staged::Release();
  ui::File held = own::HoldFolder(stagingFolder, true, true);
  if (!held) return;
  ::SetCurrentDirectoryA(stagingFolder);
  staged::HoldFolder(std::move(held));

  // By the display language alone: the library's strings are UTF-16 and show on any code page.
  int id = language == 2052 ? IDR_PACKAGE_ZH : IDR_PACKAGE_EN;
  HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), "zip");
  HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  DWORD size = resource ? ::SizeofResource(nullptr, resource) : 0;
  ArchiveReader* reader = ArchiveReader::OpenFromMemory(bytes, size);
  if (reader == nullptr) return;

  ArchiveItem summary{};
  reader->GetItem(-1, summary);
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
