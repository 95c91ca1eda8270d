// The DLL search restricted, and the spooler's library loaded from the system directory.
#include "platform/system_dlls.h"

#include <cstring>

#include "platform/system_calls.h"

namespace sys {

bool LoadSystemDlls() {
  bool systemOnly = false;
  if (auto setDefault =
          Lookup<SetDefaultDllDirectoriesCall>("kernel32.dll", "SetDefaultDllDirectories"))
    systemOnly = setDefault(kLoadLibrarySearchSystem32) != FALSE;
  if (!systemOnly) {
    // Where XP, Vista and 7 without KB2533623 offer less: the exe's folder stays first for a
    // DLL loaded by name, and only the current directory (the staging folder, later) can be
    // taken out. So the spooler's library is loaded by its full path below and the program
    // loads nothing by name; what system DLLs load by name themselves (comctl32's uxtheme.dll,
    // a port monitor's UI DLL, which ConfigurePortA may load) is still looked for beside the exe
    // first there, and no call of those releases can change that.
    if (auto setDirectory = Lookup<SetDllDirectoryCall>("kernel32.dll", "SetDllDirectoryA"))
      setDirectory("");
  }
  static const char kSpooler[] = "\\winspool.drv";
  char path[MAX_PATH];
  UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + sizeof kSpooler > MAX_PATH) return false;
  std::memcpy(path + length, kSpooler, sizeof kSpooler);
  // Where the search is not restricted, the library's own imports are searched from its own
  // folder, the system directory, rather than from the exe's.
  DWORD flags = systemOnly ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExA(path, nullptr, flags) != nullptr;
}

}  // namespace sys
