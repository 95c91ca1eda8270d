// The simulated machine's control panel: tests set its state, inject failures and read back calls.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/win32_sim.h"

namespace sim {

// Puts the whole machine back to a fresh, English 64-bit Windows 7.
void Reset();

// ---- failure injection and the call log ----

// Makes calls of `function` fail with `error`: after `skip` successful calls, the next `times`
// calls fail (times < 0: every call from then on).
void FailCall(const std::string& function, DWORD error, int skip = 0, int times = 1);

// Runs `action` once, just before the first call of `function` (any function when empty) whose
// arguments, as the call log spells them, contain `argument`: another program acting between
// two of ours (planting a link, swapping a folder) at a chosen moment.
void BeforeCall(const std::string& function, const std::string& argument,
                std::function<void()> action);

// A call that breaks a rule its documentation states but Windows need not check (a parameter
// that must be zero, for one) has no defined answer; each such call is told to `report`, which
// stays set across Reset.
void OnBrokenContract(std::function<void(const std::string& call)> report);

struct CallRecord {
  std::string function;
  std::string args;  // the arguments as text, comma-separated, strings quoted
};
const std::vector<CallRecord>& Calls();
// The argument texts of every call of one function, in order.
std::vector<std::string> CallsOf(const std::string& function);
int CountOf(const std::string& function);
// Names of the calls made, in order, restricted to the given functions (all when empty).
std::vector<std::string> CallSequence(const std::vector<std::string>& functions = {});
void ClearCalls();

// ---- system information ----
struct SystemState {
  LANGID uiLanguage = 1033;
  UINT ansiCodePage = 1252;
  DWORD majorVersion = 6, minorVersion = 1, buildNumber = 7601;
  WORD nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  int iconWidth = 32, iconHeight = 32;
  std::string modulePath = "C:\\Program Files\\Korvex\\Quillmate.exe";
  std::string tempPath = "C:\\Users\\user\\AppData\\Local\\Temp\\";
  // The temporary folder in UTF-8 when its path has characters beyond the ANSI code page (a
  // Chinese user name on an English system; folders on it made with PutFolderWide): the wide
  // calls answer it, and GetTempPathA its 8-bit spelling with "?" for what the code page
  // lacks, as Windows does. Empty: tempPath is the folder for both.
  std::string tempPathWide;
  std::string currentDirectory = "C:\\Program Files\\Korvex";
  std::string systemDirectory = "C:\\Windows\\system32";  // no final backslash, as Windows gives it
  std::string windowsDirectory = "C:\\Windows";
  // Local time is UTC plus this many minutes (China: 480).
  int utcBiasMinutes = 0;
  SYSTEMTIME localTime = {2024, 3, 2, 5, 14, 7, 9, 0};
  DWORD sleptMilliseconds = 0;  // total of every Sleep
  bool realSleeps = false;      // Sleep really waits (for timing a whole installation)

  // What kernel32 exports of the calls the program looks up at run time. The calls on files by
  // handle (GetFileInformationByHandleEx, SetFileInformationByHandle) came with Vista;
  // SetDefaultDllDirectories with Windows 8, and with update KB2533623 to Vista and 7;
  // SetDllDirectoryA with XP SP1. ntdll's calls beneath them are there on every release.
  bool vistaFileCalls = true;
  bool setDefaultDllDirectories = true;
  bool setDllDirectory = true;
  // SafeDllSearchMode: on by default since XP SP2; off, the current directory comes second.
  bool safeDllSearchMode = true;
  // HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs, lower-case: always
  // taken from the system directory, whatever the search order (Windows 7's list, in part).
  std::set<std::string> knownDlls = {"advapi32.dll", "comdlg32.dll", "gdi32.dll",  "kernel32.dll",
                                     "msvcrt.dll",   "ole32.dll",    "rpcrt4.dll", "setupapi.dll",
                                     "shell32.dll",  "shlwapi.dll",  "user32.dll", "ntdll.dll"};
  // The system directory's own DLLs that a program may load: the sandbox holds no system files,
  // so these count as present there (lower-case). A planted file is found wherever it lies.
  std::set<std::string> systemDlls = {"winspool.drv", "setupapi.dll", "uxtheme.dll",
                                      "comctl32.dll"};
};
SystemState& System();
// Makes the machine a 32-bit Windows XP SP3: major version 5, kernel32 without the Vista calls
// on files by handle and without SetDefaultDllDirectories (GetProcAddress answers null), and
// XP's shorter list of KnownDLLs.
void BecomeWindowsXp();

// ---- modules ----
// One DLL load as the system's loader did it: for the program's LoadLibrary calls, and for the
// delay-load helper's, which loads a delay-imported DLL by its bare name at the first call of
// one of its functions (the spooler's functions here).
struct ModuleLoad {
  std::string requested;  // the name or path asked for
  std::string by;         // "LoadLibraryA", "LoadLibraryExA" or "delay-load"
  std::string file;       // the file mapped or the module found loaded; "" when none was found
  bool alreadyLoaded = false;
};
const std::vector<ModuleLoad>& ModuleLoads();
// The file a loaded module (by base name, "winspool.drv") was mapped from; "" when not loaded.
std::string LoadedModuleFile(const std::string& baseName);

// ---- debugger output ----
const std::vector<std::string>& DebugOutput();

// ---- shell processes ----
struct ProcessRecord {
  std::string via;  // "ShellExecuteA" or "ShellExecuteExA"
  HWND owner = nullptr;
  std::string verb, file, parameters, directory;
  std::string ran;  // the full path of the program the shell found for `file` and started
  bool verbNull = false, parametersNull = false, directoryNull = false;
  int show = 0;
  bool handleRequested = false;
  bool waitedFor = false;
  bool endsNever = false;
  DWORD startedAt = 0, endsAt = 0;  // simulated time
  bool ended = false;
  DWORD exitCode = 0;  // a service command that changed nothing ends with 2, as net does
};
const std::vector<ProcessRecord>& Processes();
// Programs started from `path` (the full path of what ran, letter case aside) with
// `parameters` never end (the default: they end at once).
void ScriptNeverEnding(const std::string& path, const std::string& parameters);
// Total time spent in WaitForSingleObject calls that timed out.
DWORD WaitedMilliseconds();
// Simulated time since the machine started: Sleep, waits and PassTime move it on, and programs
// end (their effects with them) when it reaches their end.
DWORD Uptime();
void PassTime(DWORD milliseconds);
// How long the spooler's service commands run: a stop or start that acts, or one refused
// because the service is not in the state it needs.
struct ServiceCommandTimes {
  DWORD stop = 1500, start = 900, refused = 60;
};
ServiceCommandTimes& ServiceTimes();
// The machine starts again: volatile keys are gone, every handle the program held is gone,
// and the spooler runs and reads its Standard TCP/IP ports from the registry.
void RestartMachine();
int OpenProcessHandles();

// ---- processes and named objects of the session ----
// The program runs as process 1. `body` runs as another process of the same user in the same
// session (a second start of the program): the windows it makes and the handles it opens are
// that process's. When `body` returns the process has ended: its handles are closed, the
// mutexes it still owns are abandoned, and its windows are gone.
void RunAsAnotherProcess(const std::function<void()>& body);
enum class NamedObjectKind { kMutex, kEvent };
// Another program of the user holds a named object for the rest of the test: a mutex it owns or
// not, or an event of that name; `deniesOthers`, made with a security descriptor that lets no
// other program open it. Names without a prefix or with "Local\\" are the session's.
void HoldNamedObject(const std::string& name, NamedObjectKind kind, bool owned,
                     bool deniesOthers = false);
bool NamedObjectExists(const std::string& name);
// Handles on kernel objects that the program's process opened and has not closed.
int OpenKernelObjects();

// ---- windows ----

// Makes a dialog template of a test's own available to DialogBoxParamA (besides the program's).
namespace rc {
struct DialogTemplate;
}
void AddDialogTemplate(const rc::DialogTemplate& dialog);

// Called inside DialogBoxParamA once the dialog is initialised and shown; it plays the user.
// The dialog must have been ended when it returns, or the modal run reports -1.
using ModalDriver = std::function<void(HWND dialog)>;
void SetModalDriver(ModalDriver driver);
// True when the last modal run returned because the driver left the dialog open.
bool ModalRunLeftOpen();
// A top-level window of another program with this class and title, shown. It answers every
// message with 0, as a window procedure does with one it does not know; `hung`, its thread
// answers nothing, so a sent message waits until it times out.
HWND AddOtherProgramWindow(const std::string& className, const std::string& title, bool hung);
// The window the user works with: a dialog is activated when its modal run shows it, and
// minimising it gives the foreground away; after that only SetForegroundWindow brings it back.
HWND ForegroundWindow();
// The screen of the machine's one monitor and the part of it not taken by the taskbar.
struct Monitor {
  RECT screen{0, 0, 1024, 768};
  RECT workArea{0, 0, 1024, 738};
};
Monitor& TheMonitor();

// Answers message boxes; the default answers OK (or the first button of the set).
struct MessageBoxRecord {
  HWND owner = nullptr;
  std::string text, caption;
  UINT type = 0;
  bool ownerWasEnabled = false;
};
using MessageBoxAnswer = std::function<int(const MessageBoxRecord& box)>;
void SetMessageBoxAnswer(MessageBoxAnswer answer);
const std::vector<MessageBoxRecord>& MessageBoxes();

// User actions. Each returns false when the user could not do it (hidden, disabled, ended).
bool Click(HWND control);
bool DoubleClick(HWND control);
bool PressKey(HWND dialog, int virtualKey);
bool ClickCloseBox(HWND dialog);
bool SelectListEntry(HWND list, int index);
// Types into one field of an IP address control; value -1 clears the field.
bool TypeIpField(HWND control, int field, int value);
bool Minimize(HWND dialog);
void SetClientSize(HWND window, int width, int height);
// Sends WM_PAINT as the window system does when the window needs painting.
void Paint(HWND window);
// Asks the dialog for the cursor while the mouse is over `under` (the dialog or a control);
// its answer, TRUE when it set the cursor itself.
LRESULT MoveMouseOver(HWND dialog, HWND under);
// The device-interface class of USB printers.
inline constexpr GUID kUsbPrinterClass = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
// Delivers a device notice: an interface notice of `interfaceClass` to every window registered
// for that class (or for all classes), a notice of another type to every top-level window.
void BroadcastDeviceChange(WPARAM event, DWORD deviceType,
                           const GUID& interfaceClass = kUsbPrinterClass);

// Reading back.
struct WindowInfo {
  int id = 0;
  std::string className;
  std::string text;
  DWORD style = 0, exStyle = 0;
  RECT dialogUnits{};  // the template's rectangle
  RECT rect{};         // where it is now, in pixels: a control's in its dialog's client area
  bool visible = false, enabled = false;
  int check = 0;
  std::vector<std::string> listEntries;
  int listSelection = -1;
  DWORD ipAddress = 0;
  int ipBlankFields = 4;  // bit i: field i blank
  HICON bigIcon = nullptr, smallIcon = nullptr;
  bool iconic = false;
  RECT screenRect{};  // where it is on the screen, frame included
  int horizontalExtent = 0;
  bool horizontalScrollBar = false;  // a list box shows one
  bool stalePainting = false;        // see SetWindowPos in platform/sim/window_system.cpp
};
WindowInfo Inspect(HWND window);
// What a group box shows of its caption, and a list box of each entry, drawn as Wine's
// controls draw them (comctl32 6): a group box puts its caption on one line 8 pixels in (its
// client area less 7 on each side, then a 1-pixel margin; button.c, GB_Paint) and cuts it at
// its client area's edge (themed, GB_ThemedPaint, also at the measured extent, which here is
// the drawn one); a list box draws each entry 1 pixel in and cuts it at the
// entry's right edge, the client area's (listbox.c, LISTBOX_PaintItem). Wine's own rule, read
// from its source: Windows documents none. Other controls give nothing.
struct DrawnText {
  std::string text;
  int width;      // the text's, on one line
  int shown;      // how much of that the control shows
  int reachable;  // how much of it scrolling the control sideways brings into view
};
std::vector<DrawnText> DrawnTexts(HWND control);
// Children of a window in creation order.
std::vector<HWND> Children(HWND window);
// The dialog currently shown by a modal run, or null.
HWND ActiveDialog();
HWND FocusedWindow();
HCURSOR CurrentCursor();
HCURSOR StandardCursor(LPCSTR id);
HICON ResourceIcon(int id);

// ---- files ----
// Windows paths live in a sandbox folder of the host (only drive C: exists). Names are compared
// without regard to letter case; attributes, creation times and links are kept as Windows does.
std::string SandboxRoot();
// The host path a Windows path resolves to ("" when a folder on the way is missing).
std::string HostPath(const std::string& path);
bool PutFolder(const std::string& path);  // creates every missing folder along the path
bool PutFile(const std::string& path, const std::string& bytes,
             DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
std::string FileBytes(const std::string& path);
bool PathExists(const std::string& path);
DWORD AttributesOf(const std::string& path);
bool SetAttributes(const std::string& path, DWORD attributes);
// A junction (or, for a file target, a symbolic link) at `link` pointing at `target`.
bool MakeLink(const std::string& link, const std::string& target);
struct FileTimes {
  FILETIME creation{}, access{}, write{};
};
FileTimes TimesOf(const std::string& path);
// Gives an existing file or folder these times, as a program with a handle on it could.
bool SetTimesOf(const std::string& path, const FileTimes& times);
// A folder or file in `folder` whose name has characters of its own beyond the ANSI code page
// (given in UTF-8), as another program may make it: the 8-bit listing calls spell such names
// with best fit, as Windows does (a full-width dot or backslash becomes "." or "\").
bool PutFolderWide(const std::string& folder, const std::string& utf8Name);
// The short (8.3) name the machine gives the entry `name` (as the files spell it, UTF-8 for a
// wide name) of `folder`. The machine's own rule, deterministic: a valid 8.3 name is its own
// short name; otherwise the first six of its characters that 8.3 names allow (ASCII letters,
// digits and !#$%&'()-@^_`{}~), upper-cased, or four hex digits of a hash of the name when it
// has none, then "~" and the entry's rank among its folder's entries (by name) with that
// stem, then a dot and the first three such characters of the extension. "" when missing.
std::string ShortNameOf(const std::string& folder, const std::string& name);
bool PutFileWide(const std::string& folder, const std::string& utf8Name, const std::string& bytes);
// What was written to a device (LPT1, COM3, NUL ...) by opening its name as a file.
std::string DeviceBytes(const std::string& device);
// What was written to the alternate data stream `stream` of the file or folder at `path`.
std::string StreamBytes(const std::string& path, const std::string& stream);
// Every device and stream that was written, as "LPT1" or "<path>:<stream>".
std::vector<std::string> DevicesAndStreamsWritten();
// Every file and folder below `root`, as Windows paths, sorted; links are listed, not entered.
std::vector<std::string> Tree(const std::string& root = "C:\\");
int OpenFileCount();

// Another program of the same user acting on a file or folder between two of ours (from a
// BeforeCall hook, say), through Windows' sharing rules against the handles the program holds:
// each answers false where Windows would refuse, and changes nothing then. Not logged.
namespace other {
// Opened for writing in place (sharing everything) and given `bytes`: refused while a handle
// of ours does not share writing, or when the file is read-only.
bool Rewrite(const std::string& path, const std::string& bytes);
// DeleteFile: refused while a handle does not share deletion, or when the file is read-only.
bool Delete(const std::string& path);
// MoveFile to a name that must be free: refused while a handle on it does not share deletion,
// and for a folder while anything below it is open, as Windows refuses (Explorer's "the folder
// or a file in it is open in another program").
bool Rename(const std::string& from, const std::string& to);
}  // namespace other

// Replaces one of the program's resources (upper-case type name and id) for this machine.
void SetResource(const std::string& type, int id, const std::string& bytes);

// ---- print spooler ----
struct DriverRecord {
  std::string name, environment, driverPath, dataFile, configFile, helpFile, defaultDataType;
  std::vector<std::string> dependentFiles;
  std::string dependentFilesBytes;  // as passed, up to and including the closing empty name
  DWORD version = 0;
};
struct PrinterRecord {
  std::string name, port, driver, printProcessor, dataType;
  DWORD attributes = 0;
  bool nameNull = false;  // listed without a name, as a broken connection can be
  // The rest of what AddPrinterA was given, as the spooler keeps it.
  std::string shareName, comment, location, separatorFile, parameters;
  DWORD priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0;
  bool devMode = false, securityDescriptor = false;
};
struct SpoolerState {
  std::vector<DriverRecord> drivers;
  std::vector<PrinterRecord> printers;
  // The ports the running spooler knows: its monitors' ports as they were when it started
  // (the Local Port monitor's from the Ports key), and those added through a monitor since.
  std::vector<std::string> ports = {
      "LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:", "FILE:"};
  std::string defaultPrinter;
  std::string driverRoot = "C:\\Windows\\system32\\spool\\drivers";  // x64 and W32X86 below
  // Handles AddPrinterA and OpenPrinterA gave and ClosePrinter did not take; of them, those on
  // the Local Port monitor with the access they were opened for.
  std::set<uintptr_t> openPrinters;
  std::map<uintptr_t, ACCESS_MASK> monitorHandles;
  // A stop or start moves through its pending state while its command runs; only a running
  // spooler answers calls (others fail with RPC_S_SERVER_UNAVAILABLE).
  enum class Service { Stopped = 1, StartPending = 2, StopPending = 3, Running = 4 };
  Service service = Service::Running;
};
SpoolerState& Spooler();
// The driver directory of an environment ("Windows NT x86" or "Windows x64").
std::string DriverDirectory(const std::string& environment);
// Local memory the program has not yet given back with LocalFree.
int LocalAllocations();

// ---- registry (below HKEY_LOCAL_MACHINE) ----
struct RegistryValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};
// Paths are backslash-separated below HKEY_LOCAL_MACHINE; names compare without regard to case.
void PutRegistryValue(const std::string& key, const std::string& name, DWORD type,
                      const std::string& data);
void PutRegistryDword(const std::string& key, const std::string& name, DWORD value);
bool RegistryKeyExists(const std::string& key);
std::vector<std::string> RegistrySubkeys(const std::string& key);
// The values of a key in the order they were first written.
std::vector<RegistryValue> RegistryValues(const std::string& key);
// Opening the key (and its subkeys) for writing is refused with ERROR_ACCESS_DENIED.
void DenyRegistryWrites(const std::string& key);
bool RegistryKeyIsVolatile(const std::string& key);
int OpenRegistryKeys();

// ---- device interfaces: present USB printer interfaces, in enumeration order ----
struct UsbInterface {
  std::string path;
  DWORD flags = SPINT_ACTIVE;
  bool detailReadable = true;
  // An unplugged printer's interface stays registered, inactive, and is listed only to callers
  // that do not ask for present devices.
  bool present = true;
};
std::vector<UsbInterface>& UsbPrinterInterfaces();
// Plugs a printer in: its interface, its "Port Number" value, and the arrival notice.
void PlugUsbPrinter(const std::string& path, DWORD portNumber);
// Unplugs it: the interface stays, no longer present or active, and the removal notice.
void UnplugUsbPrinter(const std::string& path);
// The registry key of an interface's "Device Parameters", as the system keeps it.
std::string InterfaceParametersKey(const std::string& path);
int OpenDeviceInfoSets();

// ---- painting ----
struct GdiRecord {
  std::string call;
  std::string args;
};
const std::vector<GdiRecord>& GdiCalls();

// A printed page: 576 dots wide at 203 dpi, one byte a dot (0 black, 255 white).
struct Page {
  int width = 576, height = 1100;
  std::vector<unsigned char> dots;
  unsigned char At(int x, int y) const { return dots[static_cast<size_t>(y) * width + x]; }
};
struct PrintJob {
  std::string queue, documentName;
  std::vector<Page> pages;
  bool ended = false;
};
const std::vector<PrintJob>& PrintJobs();
// Window text: a fixed-pitch dialog font, `wide` pixels a double-byte character and `narrow`
// a single-byte one; a window DC starts with the system font. The dialog font's base units
// are 7 by 14, as "MS Shell Dlg" at 9 points gives on a 96-dpi screen, so that dialog units
// give the pixels they give there; the font itself is a little narrower, like that one.
struct TextCells {
  int narrow, wide, line;
};
constexpr TextCells kDialogFont{6, 12, 14};
constexpr TextCells kSystemFont{8, 16, 16};
constexpr int kDialogBaseX = 7, kDialogBaseY = 14;
// A template rectangle (x, y, width, height in dialog units) in pixels, as MapDialogRect
// gives it with those base units.
RECT DialogUnitsToPixels(const RECT& units);
// Window DCs taken with GetDC and not yet released.
int WindowDcsHeld();
int OpenDeviceContexts();
int LiveGdiObjects();
bool WritePng(const Page& page, const std::string& path);

// ---- text helpers for tests ----
// Converts UTF-8 to the ANSI code page's bytes (936 gives GBK) and back.
std::string ToAnsi(const std::string& utf8, UINT codePage);
std::string FromAnsi(const std::string& ansi, UINT codePage);

}  // namespace sim
