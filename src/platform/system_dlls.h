// Where the program's DLLs come from: the system directory, never the exe's own folder.
#pragma once

namespace sys {

// The first thing the program does: restricts the DLL search of the process to the system
// directory where Windows can (SetDefaultDllDirectories: Windows 8, or 7 and Vista with
// KB2533623), else takes the current directory out of it (SetDllDirectoryA(""): XP SP1 and
// later), and then loads the spooler's library, the one DLL the program uses that is not a
// KnownDLL, by its full path in the system directory. Its functions are delay-loaded: their
// first call finds that module already loaded and takes it, whatever lies in the exe's folder.
// False when the spooler's library could not be loaded from there: the program must not run.
bool LoadSystemDlls();

}  // namespace sys
