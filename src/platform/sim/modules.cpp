// The simulated loader: module handles, what kernel32 and ntdll export, and the DLL search.
//
// The search follows Microsoft's "Dynamic-link library search order" for an unpackaged desktop
// program: a module of the same name already loaded is taken, wherever it came from; a KnownDLL
// comes from the system directory; any other DLL named without a path is searched for in the
// folder the exe was loaded from, the system directory, the 16-bit system directory, the
// Windows directory, the current directory and the folders of PATH (the machine has none),
// the current directory second when SafeDllSearchMode is off. SetDllDirectoryA with a path puts
// that path after the exe's folder and takes the current directory out ("" only takes it out);
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) leaves only the system directory. A
// name with a path is loaded from there and nowhere else. DLL redirection, API sets and
// side-by-side manifests are not modelled: the program relies on none of them for these DLLs.
#include <strings.h>

#include <algorithm>
#include <cctype>

#include "platform/sim/state.h"

namespace sim::detail {
namespace {

constexpr uintptr_t kKernel32 = 0x7C800000, kNtdll = 0x7C900000;
constexpr DWORD kSearchApplicationDir = 0x200, kSearchUserDirs = 0x400, kSearchSystem32 = 0x800,
                kSearchDefaultDirs = 0x1000;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasSeparator(const std::string& name) {
  return name.find_first_of("\\/") != std::string::npos;
}

// The module name Windows compares: the base name, ".dll" added when it has no extension.
std::string ModuleName(const std::string& file) {
  size_t slash = file.find_last_of("\\/");
  std::string base = Lower(slash == std::string::npos ? file : file.substr(slash + 1));
  if (base.find('.') == std::string::npos) base += ".dll";
  return base;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// A DLL file at `path`: one planted in the sandbox, or the system directory's own.
bool DllAt(const std::string& path) {
  if (sim::PathExists(path)) return !(sim::AttributesOf(path) & FILE_ATTRIBUTE_DIRECTORY);
  const SystemState& s = M().system;
  return strcasecmp(FolderOf(path).c_str(), s.systemDirectory.c_str()) == 0 &&
         s.systemDlls.count(ModuleName(path)) != 0;
}

// The folders searched for a DLL named without a path, in order.
std::vector<std::string> SearchFolders() {
  const Machine& m = M();
  const SystemState& s = m.system;
  std::string exeFolder = FolderOf(s.modulePath);
  std::vector<std::string> folders;
  if (m.defaultDllDirectories != 0) {
    DWORD flags = m.defaultDllDirectories;
    if (flags & (kSearchApplicationDir | kSearchDefaultDirs)) folders.push_back(exeFolder);
    // Folders added with AddDllDirectory (kSearchUserDirs): the program adds none.
    if (flags & (kSearchSystem32 | kSearchDefaultDirs)) folders.push_back(s.systemDirectory);
    return folders;
  }
  bool current = !m.dllDirectorySet;
  folders.push_back(exeFolder);
  if (current && !s.safeDllSearchMode) folders.push_back(s.currentDirectory);
  if (m.dllDirectorySet && !m.dllDirectory.empty()) folders.push_back(m.dllDirectory);
  folders.push_back(s.systemDirectory);
  folders.push_back(s.windowsDirectory + "\\system");
  folders.push_back(s.windowsDirectory);
  if (current && s.safeDllSearchMode) folders.push_back(s.currentDirectory);
  return folders;
}

Machine::Module* LoadedByName(const std::string& name) {
  for (auto& module : M().modules)
    if (module.name == name) return &module;
  return nullptr;
}

Machine::Module* LoadedByFile(const std::string& file) {
  for (auto& module : M().modules)
    if (strcasecmp(module.file.c_str(), file.c_str()) == 0) return &module;
  return nullptr;
}

HMODULE HandleOfModule(uintptr_t value) {
  return reinterpret_cast<HMODULE>(value);
}

// The file a DLL not yet loaded would be mapped from; "" when none is found.
std::string FileToLoad(const std::string& requested) {
  const SystemState& s = M().system;
  if (HasSeparator(requested)) {
    // A path is taken as it is; a relative one with a separator from the current directory.
    std::string file = requested.size() > 1 && requested[1] == ':'
                           ? requested
                           : s.currentDirectory + "\\" + requested;
    return DllAt(file) ? file : "";
  }
  std::string name = ModuleName(requested);
  if (s.knownDlls.count(name)) return s.systemDirectory + "\\" + name;
  // Spelt as asked for: names compare without regard to case.
  std::string spelt = requested.find('.') == std::string::npos ? requested + ".dll" : requested;
  for (const std::string& folder : SearchFolders())
    if (DllAt(folder + "\\" + spelt)) return folder + "\\" + spelt;
  return "";
}

// Loads `requested` as the loader does and records it; null (ERROR_MOD_NOT_FOUND) when no
// file is found.
HMODULE Load(const std::string& requested, const char* by) {
  Machine& m = M();
  std::string name = ModuleName(requested);
  if (!HasSeparator(requested) && (name == "kernel32.dll" || name == "ntdll.dll")) {
    m.moduleLoads.push_back({requested, by, m.system.systemDirectory + "\\" + name, true});
    return HandleOfModule(name == "ntdll.dll" ? kNtdll : kKernel32);
  }
  // A module of the same name is taken wherever it came from; a path names its own file.
  Machine::Module* found = HasSeparator(requested) ? nullptr : LoadedByName(name);
  std::string file = found != nullptr ? found->file : FileToLoad(requested);
  if (found == nullptr && !file.empty()) found = LoadedByFile(file);
  if (found != nullptr) {
    ++found->references;
    m.moduleLoads.push_back({requested, by, found->file, true});
    return HandleOfModule(found->handle);
  }
  m.moduleLoads.push_back({requested, by, file, false});
  if (file.empty()) {
    m.lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  m.modules.push_back({name, file, m.nextModule, 1});
  m.nextModule += 0x10000;
  return HandleOfModule(m.modules.back().handle);
}

BOOL WINAPI SetDefaultDllDirectoriesCall(DWORD flags) {
  if (Enter("SetDefaultDllDirectories", Args(flags))) return FALSE;
  const DWORD known =
      kSearchApplicationDir | kSearchUserDirs | kSearchSystem32 | kSearchDefaultDirs;
  if (flags == 0 || (flags & ~known)) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  M().defaultDllDirectories = flags;
  return TRUE;
}

BOOL WINAPI SetDllDirectoryACall(LPCSTR path) {
  if (Enter("SetDllDirectoryA", Args(path))) return FALSE;
  M().dllDirectorySet = path != nullptr;
  M().dllDirectory = path != nullptr ? path : "";
  return TRUE;
}

BOOL WINAPI GetFileInformationByHandleExCall(HANDLE file, int kind, void* buffer, DWORD size) {
  return ::GetFileInformationByHandleEx(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kind), buffer,
                                        size);
}

BOOL WINAPI SetFileInformationByHandleCall(HANDLE file, int kind, void* buffer, DWORD size) {
  return ::SetFileInformationByHandle(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kind), buffer,
                                      size);
}

template <class Function>
FARPROC Exported(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// What the module exports of the functions the program looks up; null when the release lacks
// it. Any other name is not looked up by the program and is answered as missing.
FARPROC Export(uintptr_t module, const std::string& name) {
  const SystemState& s = M().system;
  if (module == kKernel32) {
    if (name == "SetDefaultDllDirectories" && s.setDefaultDllDirectories)
      return Exported(&SetDefaultDllDirectoriesCall);
    if (name == "SetDllDirectoryA" && s.setDllDirectory) return Exported(&SetDllDirectoryACall);
    if (name == "GetFileInformationByHandleEx" && s.vistaFileCalls)
      return Exported(&GetFileInformationByHandleExCall);
    if (name == "SetFileInformationByHandle" && s.vistaFileCalls)
      return Exported(&SetFileInformationByHandleCall);
  } else if (module == kNtdll) {
    if (name == "NtSetInformationFile") return Exported(&NtSetInformationFile);
    if (name == "NtQueryDirectoryFile") return Exported(&NtQueryDirectoryFile);
    if (name == "RtlNtStatusToDosError") return Exported(&RtlNtStatusToDosError);
  }
  return nullptr;
}

}  // namespace

bool DelayLoad(const char* dll) {
  // The helper loads the DLL by the name the delay import records, once, and keeps the
  // module; not a call of the program's, so it is not in the call log, only among the loads.
  std::string name = ModuleName(dll);
  if (M().delayBound.count(name)) return true;
  if (Load(dll, "delay-load") == nullptr) return false;
  M().delayBound.insert(name);
  return true;
}

}  // namespace sim::detail

namespace sim {

void BecomeWindowsXp() {
  SystemState& s = System();
  s.majorVersion = 5;
  s.minorVersion = 1;
  s.buildNumber = 2600;
  s.nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
  s.vistaFileCalls = false;
  s.setDefaultDllDirectories = false;
  // XP's KnownDLLs key: no SETUPAPI, which Windows 7 added. msvcrt is counted with them as a
  // DLL they import, which the system maps from the system directory along with them.
  s.knownDlls = {"advapi32.dll", "comdlg32.dll", "gdi32.dll",  "imagehlp.dll", "kernel32.dll",
                 "lz32.dll",     "msvcrt.dll",   "ole32.dll",  "oleaut32.dll", "rpcrt4.dll",
                 "shell32.dll",  "url.dll",      "urlmon.dll", "user32.dll",   "version.dll",
                 "wininet.dll",  "wldap32.dll",  "ntdll.dll"};
}

const std::vector<ModuleLoad>& ModuleLoads() {
  return detail::M().moduleLoads;
}

std::string LoadedModuleFile(const std::string& baseName) {
  for (const auto& module : detail::M().modules)
    if (module.name == detail::Lower(baseName)) return module.file;
  return "";
}

}  // namespace sim

using sim::detail::Args;
using sim::detail::Enter;
using sim::detail::M;

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (Enter("GetModuleHandleA", Args(moduleName))) return nullptr;
  if (moduleName == nullptr) return sim::detail::ModuleHandle();
  std::string name = sim::detail::ModuleName(moduleName);
  if (name == "kernel32.dll") return sim::detail::HandleOfModule(sim::detail::kKernel32);
  if (name == "ntdll.dll") return sim::detail::HandleOfModule(sim::detail::kNtdll);
  auto* module = sim::detail::HasSeparator(moduleName) ? sim::detail::LoadedByFile(moduleName)
                                                       : sim::detail::LoadedByName(name);
  if (module != nullptr) return sim::detail::HandleOfModule(module->handle);
  M().lastError = ERROR_MOD_NOT_FOUND;
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (Enter("GetProcAddress", Args(static_cast<const void*>(module), name))) return nullptr;
  uintptr_t value = reinterpret_cast<uintptr_t>(module);
  bool known = value == sim::detail::kKernel32 || value == sim::detail::kNtdll;
  for (const auto& loaded : M().modules) known = known || loaded.handle == value;
  if (!known) {
    M().lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  // Ordinals are not looked up by the program.
  FARPROC found = IS_INTRESOURCE(name) ? nullptr : sim::detail::Export(value, name);
  if (found == nullptr) M().lastError = ERROR_PROC_NOT_FOUND;
  return found;
}

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (Enter("LoadLibraryA", Args(fileName))) return nullptr;
  if (fileName == nullptr || *fileName == '\0') {
    M().lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return sim::detail::Load(fileName, "LoadLibraryA");
}

HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE reserved, DWORD flags) {
  if (Enter("LoadLibraryExA", Args(fileName, static_cast<const void*>(reserved), flags)))
    return nullptr;
  // Only the altered search path is modelled; it changes where the DLL's own imports are
  // searched for, which the simulated loader does not follow, and needs a full path.
  if (fileName == nullptr || *fileName == '\0' || reserved != nullptr ||
      (flags & ~static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH)) != 0) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if ((flags & LOAD_WITH_ALTERED_SEARCH_PATH) && !sim::detail::HasSeparator(fileName))
    sim::detail::BrokenContract("LoadLibraryExA: LOAD_WITH_ALTERED_SEARCH_PATH without a path");
  return sim::detail::Load(fileName, "LoadLibraryExA");
}

BOOL FreeLibrary(HMODULE module) {
  if (Enter("FreeLibrary", Args(static_cast<const void*>(module)))) return FALSE;
  auto& modules = M().modules;
  uintptr_t value = reinterpret_cast<uintptr_t>(module);
  for (auto it = modules.begin(); it != modules.end(); ++it) {
    if (it->handle != value) continue;
    if (--it->references == 0) modules.erase(it);
    return TRUE;
  }
  if (value == sim::detail::kKernel32 || value == sim::detail::kNtdll) return TRUE;
  M().lastError = ERROR_MOD_NOT_FOUND;
  return FALSE;
}
