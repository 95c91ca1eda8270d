// Calls the oldest Windows served (XP, Server 2003) lacks, looked up at run time, and the
// structures of the older ones that stand in for them: the same layouts in every build.
//
// The program is compiled against XP's headers (_WIN32_WINNT 0x0501), which declare none of
// this, so that a call XP's kernel32 does not export cannot become a load-time import unseen.
#pragma once

#include "platform/win32.h"

namespace sys {

// ---- kernel32 since Vista: files by handle ----

// FILE_INFO_BY_HANDLE_CLASS values.
enum ByHandleClass {
  kFileBasicInfo = 0,
  kFileDispositionInfo = 4,
  kFileIdBothDirectoryInfo = 10,
  kFileIdBothDirectoryRestartInfo = 11,
};
typedef BOOL(WINAPI* GetFileInformationByHandleExCall)(HANDLE file, int kind, void* buffer,
                                                       DWORD size);
typedef BOOL(WINAPI* SetFileInformationByHandleCall)(HANDLE file, int kind, void* buffer,
                                                     DWORD size);

// ---- kernel32: where DLLs are searched ----

// SetDefaultDllDirectories: Windows 8, and Windows 7 and Vista with KB2533623.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
typedef BOOL(WINAPI* SetDefaultDllDirectoriesCall)(DWORD directoryFlags);
// SetDllDirectoryA: XP SP1 and Server 2003.
typedef BOOL(WINAPI* SetDllDirectoryCall)(LPCSTR path);

// ---- ntdll since NT 4: what kernel32's calls above are made of ----

typedef LONG NtStatus;
constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusNoMoreFiles = static_cast<NtStatus>(0x80000006);

// FILE_INFORMATION_CLASS values.
enum NtInformationClass {
  kFileBasicInformation = 4,
  kFileDispositionInformation = 13,
  kFileIdBothDirectoryInformation = 37,  // XP and later
};

struct IoStatusBlock {
  union {
    NtStatus status;
    void* pointer;
  };
  ULONG_PTR information;
};

// FILE_BASIC_INFORMATION, which is also kernel32's FILE_BASIC_INFO; times of 0 stay as they are.
struct FileBasicInformation {
  LONGLONG creationTime;
  LONGLONG lastAccessTime;
  LONGLONG lastWriteTime;
  LONGLONG changeTime;
  DWORD fileAttributes;
};

// FILE_DISPOSITION_INFORMATION, which is also kernel32's FILE_DISPOSITION_INFO.
struct FileDispositionInformation {
  unsigned char deleteFile;  // BOOLEAN
};

// FILE_ID_BOTH_DIR_INFORMATION, which is also kernel32's FILE_ID_BOTH_DIR_INFO: one record
// of a folder listing, the next one `nextEntryOffset` bytes on (0 for the last).
struct FileIdBothDirInformation {
  DWORD nextEntryOffset;
  DWORD fileIndex;
  LONGLONG creationTime;
  LONGLONG lastAccessTime;
  LONGLONG lastWriteTime;
  LONGLONG changeTime;
  LONGLONG endOfFile;
  LONGLONG allocationSize;
  DWORD fileAttributes;
  DWORD fileNameLength;  // in bytes
  DWORD eaSize;
  CHAR shortNameLength;
  WCHAR shortName[12];
  LONGLONG fileId;
  WCHAR fileName[1];
};

typedef NtStatus(WINAPI* NtSetInformationFileCall)(HANDLE file, IoStatusBlock* status,
                                                   void* information, ULONG length,
                                                   int informationClass);
typedef NtStatus(WINAPI* NtQueryDirectoryFileCall)(HANDLE file, HANDLE event, void* apcRoutine,
                                                   void* apcContext, IoStatusBlock* status,
                                                   void* information, ULONG length,
                                                   int informationClass,
                                                   unsigned char returnSingleEntry, void* fileName,
                                                   unsigned char restartScan);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorCall)(NtStatus status);

// The function `name` of the loaded system DLL `module` ("kernel32.dll", "ntdll.dll") as a
// `Call`; null when that DLL does not export it.
template <class Call>
Call Lookup(const char* module, const char* name) {
  HMODULE loaded = ::GetModuleHandleA(module);
  if (loaded == nullptr) return nullptr;
  FARPROC found = ::GetProcAddress(loaded, name);
  // Through the one function type that stands for any other.
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(found));
}

}  // namespace sys
