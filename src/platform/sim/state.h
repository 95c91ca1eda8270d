// The simulated machine's inner state, shared by the files that implement its calls.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/rc_script.h"
#include "platform/sim/sim.h"
#include "platform/system_calls.h"

namespace sim::detail {

struct Window {
  HWND handle = nullptr;
  int id = 0;
  std::string className;
  std::string text;  // bytes in the ANSI code page
  DWORD style = 0, exStyle = 0;
  RECT dialogUnits{};
  HWND parent = nullptr;
  std::vector<HWND> children;
  DLGPROC dialogProc = nullptr;
  LONG_PTR userData = 0;
  LONG_PTR messageResult = 0;
  bool destroyed = false;
  bool ended = false;
  INT_PTR endResult = 0;
  bool iconic = false;
  RECT rect{};  // in pixels: a dialog's on the screen, a control's in its dialog's client area
  RECT client{};
  int check = BST_UNCHECKED;
  std::vector<std::string> entries;
  int selection = -1;
  BYTE ip[4] = {0, 0, 0, 0};
  int ipBlank = 0xF;
  HICON bigIcon = nullptr, smallIcon = nullptr;
  std::vector<GUID> interfaceClasses;  // device-interface notices registered for
  bool allInterfaceClasses = false;
  DWORD process = 1;         // the simulated process that made it
  bool hung = false;         // another program's window whose thread answers nothing
  int horizontalExtent = 0;  // a list box's, in pixels
  // Pixels of a control's former place or frame that nothing has painted over yet.
  bool stalePainting = false;
};

// A named or unnamed object of the session's namespace (a mutex, or another kind that shares
// the names).
struct KernelObject {
  std::string name;  // without a "Local\" prefix: the session's namespace is the default one
  sim::NamedObjectKind kind = sim::NamedObjectKind::kMutex;
  DWORD owner = 0;  // the process whose thread owns a mutex, 0 for none
  int recursion = 0;
  bool abandoned = false;
  bool deniesOthers = false;  // its security lets no other program open it
};

struct FileSystem;
struct GdiState;

struct RegistryKey {
  std::string name;
  std::map<std::string, std::unique_ptr<RegistryKey>> subkeys;  // by lower-case name
  std::vector<RegistryValue> values;
  bool denyWrites = false;
  bool isVolatile = false;  // gone at the next start of the machine
};

struct Hook {
  std::string function;
  std::string argument;
  std::function<void()> action;
};

struct Failure {
  std::string function;
  DWORD error;
  int skip;
  int times;
};

struct Machine {
  SystemState system;
  std::vector<CallRecord> calls;
  std::vector<Failure> failures;
  std::vector<Hook> hooks;
  DWORD lastError = 0;
  std::vector<std::string> debugOutput;
  std::vector<ProcessRecord> processes;
  std::map<uintptr_t, std::unique_ptr<Window>> windows;
  uintptr_t nextWindow = 0x10000;
  ModalDriver modalDriver;
  bool modalLeftOpen = false;
  MessageBoxAnswer messageBoxAnswer;
  std::vector<MessageBoxRecord> messageBoxes;
  HWND activeDialog = nullptr;
  HWND focus = nullptr;
  HCURSOR cursor = nullptr;
  bool commonControls = false;
  int paintDepth = 0;
  std::vector<GdiRecord> gdi;
  std::map<int, rc::DialogTemplate> extraDialogs;
  std::shared_ptr<FileSystem> files;  // made on first use, removed with the machine
  std::map<std::pair<std::string, int>, std::string> resourceOverrides;
  SpoolerState spooler;
  std::map<uintptr_t, std::string> localMemory;
  uintptr_t nextPrinterHandle = 0x80000;
  std::shared_ptr<RegistryKey> registry = std::make_shared<RegistryKey>();
  struct OpenKey {
    RegistryKey* key;
    REGSAM access;
  };
  std::map<uintptr_t, OpenKey> openKeys;
  uintptr_t nextKey = 0x90000;
  std::vector<UsbInterface> usbInterfaces;
  std::map<uintptr_t, std::vector<UsbInterface>> deviceSets;
  uintptr_t nextDeviceSet = 0xA0000;
  std::vector<std::pair<std::string, std::string>> neverEnding;
  std::map<uintptr_t, size_t> processHandles;  // handle -> index in processes
  uintptr_t nextProcess = 0xB0000;
  DWORD waitedMilliseconds = 0;
  DWORD now = 0;  // simulated milliseconds since the machine started
  sim::ServiceCommandTimes serviceTimes;
  std::shared_ptr<GdiState> gdiState;
  // Modules loaded beyond the program itself, kernel32 and ntdll.
  struct Module {
    std::string name;  // the base name, lower-case
    std::string file;
    uintptr_t handle;
    int references;
  };
  std::vector<Module> modules;
  uintptr_t nextModule = 0x70000000;
  std::vector<ModuleLoad> moduleLoads;
  std::set<std::string> delayBound;  // delay-imported DLLs whose module the helper holds
  DWORD defaultDllDirectories = 0;   // SetDefaultDllDirectories' flags; 0 until it is called
  bool dllDirectorySet = false;      // SetDllDirectoryA with a path (empty or not)
  std::string dllDirectory;

  // Processes of the session: the program's own is 1 (platform/sim/objects.cpp).
  DWORD process = 1;
  DWORD nextProcessId = 2;
  struct ObjectHandle {
    std::shared_ptr<KernelObject> object;
    DWORD process;
  };
  std::map<uintptr_t, ObjectHandle> objectHandles;
  uintptr_t nextObjectHandle = 0xC0000;
  // Objects other programs hold open; named objects are found through this map while alive.
  std::vector<std::shared_ptr<KernelObject>> heldByOthers;
  std::map<std::string, std::weak_ptr<KernelObject>> namedObjects;
  std::vector<std::string> registeredMessages;  // RegisterWindowMessageA's, from 0xC000
  HWND foreground = nullptr;
  sim::Monitor monitor;
};

Machine& M();

inline std::string Arg(const char* text) {
  if (IS_INTRESOURCE(text)) {
    if (text == nullptr) return "null";
    return "#" + std::to_string(reinterpret_cast<uintptr_t>(text));
  }
  return "\"" + std::string(text) + "\"";
}
inline std::string Arg(char* text) {
  return Arg(static_cast<const char*>(text));
}
inline std::string Arg(const std::string& text) {
  return "\"" + text + "\"";
}
inline std::string Arg(const void* pointer) {
  if (pointer == nullptr) return "null";
  std::ostringstream out;
  out << "0x" << std::hex << reinterpret_cast<uintptr_t>(pointer);
  return out.str();
}
inline std::string Arg(void* pointer) {
  return Arg(static_cast<const void*>(pointer));
}
inline std::string Arg(bool value) {
  return value ? "1" : "0";
}
template <class T>
std::string Arg(T value) {
  return std::to_string(value);
}

template <class... A>
std::string Args(const A&... args) {
  std::string joined;
  ((joined += (joined.empty() ? "" : ", ") + Arg(args)), ...);
  return joined;
}

// Two ANSI texts equal letter case aside, read in the ANSI code page (platform/sim/text.cpp).
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

// Records a call; true when an injected failure applies (the last error is then set).
bool Enter(const char* function, const std::string& args);
// Tells the test of a call that broke a documented rule: `what` names the call and the rule.
void BrokenContract(const std::string& what);

Window* Find(HWND window);
Window& Create(HWND parent);
// The program's own module: its resources are the ones of the source tree's script.
inline HINSTANCE ModuleHandle() {
  return reinterpret_cast<HINSTANCE>(uintptr_t{0x400000});
}
inline HWND HandleOf(uintptr_t value) {
  return reinterpret_cast<HWND>(value);
}

void Gdi(const std::string& call, const std::string& args);
// The lines a multi-line edit control of `width` pixels wraps its text into.
int EditLineCount(const std::string& text, int width);
// The width of `text` on one line in the dialog's font.
int SingleLineWidth(const std::string& text);
// The font every dialog and control of the window system uses.
inline HFONT DialogFontHandle() {
  return reinterpret_cast<HFONT>(uintptr_t{0x7F000});
}

// The full Windows path, spelt as the folders and the file are, of the file `path` names
// (relative to the current directory), or "" when there is no file there: a folder is none.
std::string ExistingFile(const std::string& path);

// Closes a process handle of the shell's; false when `handle` is none of them.
bool CloseProcess(HANDLE handle);
// Closes a handle on a kernel object of platform/sim/objects.cpp; false when it is none.
bool CloseKernelObject(HANDLE handle);
// Waits on a kernel object of platform/sim/objects.cpp: false when `handle` is none, else
// true with the wait's answer in `result`.
bool WaitForKernelObject(HANDLE handle, DWORD milliseconds, DWORD* result);
// Moves simulated time on, ending the programs whose time has come.
void PassTime(DWORD milliseconds);
// False, with RPC_S_SERVER_UNAVAILABLE as the last error, unless the spooler is running.
bool SpoolerAnswers();
// Removes every volatile registry key.
void DropVolatileKeys();
// What the delay-load helper does at the first call of a function of the delay-imported `dll`:
// the module loaded already, or else loaded by its bare name through the search order. False
// when no file was found: the real helper would raise an exception in the process then.
bool DelayLoad(const char* dll);

// ntdll's calls on files by handle (platform/sim/files.cpp), found through GetProcAddress.
sys::NtStatus WINAPI NtSetInformationFile(HANDLE file, sys::IoStatusBlock* status,
                                          void* information, ULONG length, int informationClass);
sys::NtStatus WINAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, void* apcRoutine,
                                          void* apcContext, sys::IoStatusBlock* status,
                                          void* information, ULONG length, int informationClass,
                                          unsigned char returnSingleEntry, void* fileName,
                                          unsigned char restartScan);
ULONG WINAPI RtlNtStatusToDosError(sys::NtStatus status);

}  // namespace sim::detail
