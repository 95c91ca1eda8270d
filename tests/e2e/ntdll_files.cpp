// The calls the program falls back on where kernel32 is XP's (ntdll's NtQueryDirectoryFile and
// NtSetInformationFile, platform/files_by_handle.cpp), made with the program's own structures
// and class numbers (platform/system_calls.h) on a real implementation, and held against what
// kernel32's Vista calls answer on the same handles. Prints "ok ..." per check, "FAIL ..." per
// failed one, and exits 1 on any.
#include <cstdio>
#include <set>
#include <string>

#include "platform/system_calls.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failures;
}

std::string Narrow(const WCHAR* text, DWORD bytes) {
  std::string name;
  for (DWORD i = 0; i < bytes / sizeof(WCHAR); ++i) name += static_cast<char>(text[i]);
  return name;
}

// The names of the records in `buffer`, and the file ids by name.
void Names(const unsigned char* buffer, std::set<std::string>& names, std::set<LONGLONG>& ids) {
  for (size_t at = 0;;) {
    const auto* entry = reinterpret_cast<const sys::FileIdBothDirInformation*>(buffer + at);
    std::string name = Narrow(entry->fileName, entry->fileNameLength);
    names.insert(name);
    if (name != "." && name != "..") ids.insert(entry->fileId);
    if (entry->nextEntryOffset == 0) break;
    at += entry->nextEntryOffset;
  }
}

HANDLE Open(const char* path, DWORD access) {
  return ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

void Put(const char* path) {
  HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, "x", 1, &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

int main() {
  auto query = sys::Lookup<sys::NtQueryDirectoryFileCall>("ntdll.dll", "NtQueryDirectoryFile");
  auto set = sys::Lookup<sys::NtSetInformationFileCall>("ntdll.dll", "NtSetInformationFile");
  auto toError = sys::Lookup<sys::RtlNtStatusToDosErrorCall>("ntdll.dll", "RtlNtStatusToDosError");
  auto getEx = sys::Lookup<sys::GetFileInformationByHandleExCall>("kernel32.dll",
                                                                  "GetFileInformationByHandleEx");
  Check(query && set && toError && getEx, "ntdll and kernel32 export the calls");
  if (!(query && set && toError && getEx)) return 1;

  ::CreateDirectoryA("C:\\qm-ntdll", nullptr);
  ::CreateDirectoryA("C:\\qm-ntdll\\sub", nullptr);
  Put("C:\\qm-ntdll\\a.txt");
  Put("C:\\qm-ntdll\\b.txt");
  Put("C:\\qm-ntdll\\sub\\c.txt");

  HANDLE folder = Open("C:\\qm-ntdll", FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
  Check(folder != INVALID_HANDLE_VALUE, "the folder opens for listing");
  alignas(8) unsigned char buffer[4096];
  sys::IoStatusBlock io{};
  sys::NtStatus status = query(folder, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                               sys::kFileIdBothDirectoryInformation, 0, nullptr, 1);
  Check(status == sys::kStatusSuccess && io.information > 0, "NtQueryDirectoryFile lists (37)");
  std::set<std::string> ntNames;
  std::set<LONGLONG> ntIds;
  if (status == sys::kStatusSuccess) Names(buffer, ntNames, ntIds);
  Check(ntNames.count("a.txt") && ntNames.count("b.txt") && ntNames.count("sub"),
        "its records carry the names where FileIdBothDirInformation has them");
  status = query(folder, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                 sys::kFileIdBothDirectoryInformation, 0, nullptr, 0);
  Check(status == sys::kStatusNoMoreFiles, "the next call ends the listing: STATUS_NO_MORE_FILES");
  status = query(folder, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                 sys::kFileIdBothDirectoryInformation, 0, nullptr, 1);
  std::set<std::string> again;
  std::set<LONGLONG> againIds;
  if (status == sys::kStatusSuccess) Names(buffer, again, againIds);
  Check(again == ntNames, "a restarted scan lists again from the start");

  // kernel32's call on the same handle gives the same records.
  std::set<std::string> kernelNames;
  std::set<LONGLONG> kernelIds;
  if (getEx(folder, sys::kFileIdBothDirectoryRestartInfo, buffer, sizeof buffer))
    Names(buffer, kernelNames, kernelIds);
  Check(kernelNames == ntNames && kernelIds == ntIds,
        "GetFileInformationByHandleEx gives the same names and file ids");
  ::CloseHandle(folder);

  HANDLE file = Open("C:\\qm-ntdll\\a.txt", DELETE | FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES);
  sys::FileBasicInformation basic{};
  basic.fileAttributes = FILE_ATTRIBUTE_READONLY;
  status = set(file, &io, &basic, sizeof basic, sys::kFileBasicInformation);
  Check(status == sys::kStatusSuccess &&
            (::GetFileAttributesA("C:\\qm-ntdll\\a.txt") & FILE_ATTRIBUTE_READONLY),
        "FileBasicInformation (4) sets the attributes through the handle");
  sys::FileDispositionInformation disposition{1};
  status = set(file, &io, &disposition, sizeof disposition, sys::kFileDispositionInformation);
  Check(status < 0 && toError(status) == ERROR_ACCESS_DENIED,
        "a read-only file is not deleted (STATUS_CANNOT_DELETE: access denied)");
  basic.fileAttributes = FILE_ATTRIBUTE_NORMAL;
  set(file, &io, &basic, sizeof basic, sys::kFileBasicInformation);
  status = set(file, &io, &disposition, sizeof disposition, sys::kFileDispositionInformation);
  Check(status == sys::kStatusSuccess, "FileDispositionInformation (13) marks it for deletion");
  ::CloseHandle(file);
  Check(::GetFileAttributesA("C:\\qm-ntdll\\a.txt") == INVALID_FILE_ATTRIBUTES,
        "the file is gone when its handle closes");

  HANDLE sub = Open("C:\\qm-ntdll\\sub", DELETE | FILE_READ_ATTRIBUTES);
  status = set(sub, &io, &disposition, sizeof disposition, sys::kFileDispositionInformation);
  Check(status < 0 && toError(status) == ERROR_DIR_NOT_EMPTY,
        "a folder that is not empty stays (STATUS_DIRECTORY_NOT_EMPTY: ERROR_DIR_NOT_EMPTY)");
  ::CloseHandle(sub);

  ::DeleteFileA("C:\\qm-ntdll\\sub\\c.txt");
  ::RemoveDirectoryA("C:\\qm-ntdll\\sub");
  ::DeleteFileA("C:\\qm-ntdll\\b.txt");
  ::RemoveDirectoryA("C:\\qm-ntdll");
  return failures == 0 ? 0 : 1;
}
