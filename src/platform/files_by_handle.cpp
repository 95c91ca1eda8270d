// Files by handle through kernel32 where it can, through ntdll where kernel32 is XP's.
#include "platform/files_by_handle.h"

namespace sys {
namespace {

// kernel32's calls are thin layers over these two ntdll calls on the same handle, with the
// same records: on XP, which lacks them, nothing of what the handle guarantees is lost.
// (ntdll's calls are undocumented beyond winternl.h and the driver kit, but unchanged since
// NT 4; Vista's kernel32 makes them itself.)
bool Succeeded(NtStatus status) {
  if (status >= 0) return true;
  auto toDosError = Lookup<RtlNtStatusToDosErrorCall>("ntdll.dll", "RtlNtStatusToDosError");
  ::SetLastError(toDosError != nullptr ? toDosError(status) : ERROR_GEN_FAILURE);
  return false;
}

bool SetByHandle(HANDLE handle, int kernelClass, int ntClass, void* record, DWORD size) {
  if (auto set =
          Lookup<SetFileInformationByHandleCall>("kernel32.dll", "SetFileInformationByHandle"))
    return set(handle, kernelClass, record, size) != FALSE;
  auto ntSet = Lookup<NtSetInformationFileCall>("ntdll.dll", "NtSetInformationFile");
  if (ntSet == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  IoStatusBlock io{};
  return Succeeded(ntSet(handle, &io, record, size, ntClass));
}

}  // namespace

bool MarkForDeletion(HANDLE handle) {
  FileDispositionInformation disposition{};
  disposition.deleteFile = 1;
  return SetByHandle(handle, kFileDispositionInfo, kFileDispositionInformation, &disposition,
                     sizeof disposition);
}

bool SetAttributesByHandle(HANDLE handle, DWORD attributes) {
  FileBasicInformation basic{};
  basic.fileAttributes = attributes;
  return SetByHandle(handle, kFileBasicInfo, kFileBasicInformation, &basic, sizeof basic);
}

bool ReadFolderRecords(HANDLE folder, bool restart, void* buffer, DWORD size) {
  if (auto get =
          Lookup<GetFileInformationByHandleExCall>("kernel32.dll", "GetFileInformationByHandleEx"))
    return get(folder, restart ? kFileIdBothDirectoryRestartInfo : kFileIdBothDirectoryInfo, buffer,
               size) != FALSE;
  auto query = Lookup<NtQueryDirectoryFileCall>("ntdll.dll", "NtQueryDirectoryFile");
  if (query == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  // The handle is synchronous (opened without FILE_FLAG_OVERLAPPED): the call returns when the
  // records are there. The class is the one kernel32's FileIdBothDirectoryInfo asks for on
  // Vista, so a file system answers it alike on both; one that refuses it ends the listing
  // with what is known, as a failed read does anywhere.
  IoStatusBlock io{};
  NtStatus status = query(folder, nullptr, nullptr, nullptr, &io, buffer, size,
                          kFileIdBothDirectoryInformation, 0, nullptr, restart ? 1 : 0);
  if (status == kStatusNoMoreFiles) {
    ::SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  return Succeeded(status);
}

}  // namespace sys
