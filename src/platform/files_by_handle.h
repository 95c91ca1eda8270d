// Acting on a file or folder through a handle opened on it: kernel32's calls where the system
// has them (Vista and later), ntdll's older ones beneath them on XP and Server 2003.
#pragma once

#include "platform/system_calls.h"

namespace sys {

// Marks the object the handle was opened on (with DELETE access) for deletion when its last
// handle closes; for a link, the link. False, with the last error set, when refused.
bool MarkForDeletion(HANDLE handle);

// Sets the attributes of the object the handle was opened on (with write access), its times
// left as they are.
bool SetAttributesByHandle(HANDLE handle, DWORD attributes);

// Reads the next records of the listing of a folder opened with FILE_LIST_DIRECTORY into
// `buffer`, as FileIdBothDirInformation records from its start; `restart` starts the listing
// from its first entry. False at the end of the listing or when it cannot be read.
bool ReadFolderRecords(HANDLE folder, bool restart, void* buffer, DWORD size);

}  // namespace sys
