// The DLL search restricted, and the delay-loaded libraries loaded from the system directory.
#include "platform/system_dlls.h"

#include <cstring>

#include "platform/system_calls.h"

namespace sys {
namespace {

// The DLLs the program delay-loads: the spooler's library is no KnownDLL on any release, and
// SETUPAPI none on XP and Server 2003 (Windows 7 made it one).
const char* const kDelayLoaded[] = {"\\winspool.drv", "\\setupapi.dll"};

// `name` (with its leading backslash) from the system directory; `flags` for LoadLibraryExA.
bool LoadFromSystemDirectory(const char* name, DWORD flags) {
  char path[MAX_PATH];
  size_t size = std::strlen(name) + 1;
  UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + size > MAX_PATH) return false;
  std::memcpy(path + length, name, size);
  return ::LoadLibraryExA(path, nullptr, flags) != nullptr;
}

}  // namespace

bool LoadSystemDlls() {
  bool systemOnly = false;
  if (auto setDefault =
          Lookup<SetDefaultDllDirectoriesCall>("kernel32.dll", "SetDefaultDllDirectories"))
    systemOnly = setDefault(kLoadLibrarySearchSystem32) != FALSE;
  if (!systemOnly) {
    // Where XP, Vista and 7 without KB2533623 offer less: the exe's folder stays first for a
    // DLL loaded by name, and only the current directory (the staging folder, later) can be
    // taken out. So the libraries are loaded by their full paths below and the program loads
    // nothing by name; what system DLLs load by name themselves (comctl32's uxtheme.dll, a port
    // monitor's UI DLL, which ConfigurePortA may load) is still looked for beside the exe first
    // there, and no call of those releases can change that.
    if (auto setDirectory = Lookup<SetDllDirectoryCall>("kernel32.dll", "SetDllDirectoryA"))
      setDirectory("");
  }
  // Where the search is not restricted, a library's own imports are searched from its own
  // folder, the system directory, rather than from the exe's.
  DWORD flags = systemOnly ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH;
  for (const char* name : kDelayLoaded)
    if (!LoadFromSystemDirectory(name, flags)) return false;
  return true;
}

}  // namespace sys
