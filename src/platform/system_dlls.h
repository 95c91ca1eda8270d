// Where the program's DLLs come from: the system directory, never the exe's own folder.
#pragma once

namespace sys {

// The first thing the program does: restricts the DLL search of the process to the system
// directory where Windows can (SetDefaultDllDirectories: Windows 8, or 7 and Vista with
// KB2533623), else takes the current directory out of it (SetDllDirectoryA(""): XP SP1 and
// later), and then loads the DLLs the program uses that are not KnownDLLs everywhere (the
// spooler's library, and SETUPAPI, which is none on XP) by their full paths in the system
// directory. Their functions are delay-loaded: the first call finds the module already loaded
// and takes it, whatever lies in the exe's folder. False when one of them could not be loaded
// from there: the program must not run.
bool LoadSystemDlls();

}  // namespace sys
