// The simulated print spooler: driver directories, drivers with their own copies, printers.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <strings.h>

#include "platform/sim/pe_image.h"
#include "platform/sim/state.h"

using namespace sim::detail;

namespace {

const char* kEnvironments[] = {"Windows NT x86", "Windows x64"};

bool KnownEnvironment(const char* environment) {
  return environment && std::any_of(std::begin(kEnvironments), std::end(kEnvironments),
                                    [&](const char* e) { return strcasecmp(e, environment) == 0; });
}

// The spooler's functions live in WINSPOOL.DRV, delay-loaded: its first call loads it as the
// helper does (or finds it loaded). Where no file is found the real helper raises an exception
// in the process; here the call fails with ERROR_MOD_NOT_FOUND instead.
bool Bound() {
  if (DelayLoad("WINSPOOL.DRV")) return true;
  M().lastError = ERROR_MOD_NOT_FOUND;
  return false;
}

bool Fail(DWORD error) {
  M().lastError = error;
  return false;
}

bool SameText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Text(const char* text) {
  return text ? text : "";
}

// The dependent-file list as passed, each name ended by "\\0", up to the closing empty name.
std::string FileListArg(const char* list) {
  if (list == nullptr) return "null";
  std::string spelled = "\"";
  for (const char* p = list; *p; p += std::strlen(p) + 1) spelled += std::string(p) + "\\0";
  return spelled + "\\0\"";
}

bool KnownDatatype(const std::string& datatype) {
  static const char* const kWinPrint[] = {
      "RAW",          "RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.003", "NT EMF 1.006",
      "NT EMF 1.007", "NT EMF 1.008",      "TEXT",          "XPS2GDI"};
  return std::any_of(std::begin(kWinPrint), std::end(kWinPrint),
                     [&](const char* d) { return SameText(d, datatype); });
}

// A versioned printer-driver file's version (dwFileVersionMS, then LS), when the file is one:
// VS_FIXEDFILEINFO's dwFileType VFT_DRV (3) with dwFileSubtype VFT2_DRV_VERSIONED_PRINTER (12).
std::optional<uint64_t> PrinterDriverVersion(const std::string& path) {
  constexpr uint32_t kVftDrv = 3, kVft2DrvVersionedPrinter = 12;
  std::optional<sim::pe::FixedFileInfo> info = sim::pe::Version(sim::FileBytes(path));
  if (!info || info->fileType != kVftDrv || info->fileSubtype != kVft2DrvVersionedPrinter)
    return std::nullopt;
  return uint64_t{info->fileVersionMS} << 32 | info->fileVersionLS;
}

uint64_t LastWritten(const std::string& path) {
  const FILETIME t = sim::TimesOf(path).write;
  return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
}

// AddPrinterDriver acts as AddPrinterDriverEx with APD_COPY_NEW_FILES, which copies only the
// files of the driver directory that are newer than the corresponding files in use
// (AddPrinterDriverEx). Newer by file version where both are versioned printer-driver files
// ("Print driver versioning"), else by time stamp (the same pages; APD_COPY_ALL_FILES is the
// flag that ignores time stamps): the last-write time, the "modified date" of KB 244284
// ("Downloading Printer Drivers from the Print Server"). Equal is not newer. Whether equal
// versions fall back to the time is not documented: here they do not, the stricter answer.
bool Newer(const std::string& file, const std::string& inUse) {
  if (sim::AttributesOf(inUse) == INVALID_FILE_ATTRIBUTES) return true;
  std::optional<uint64_t> version = PrinterDriverVersion(file), used = PrinterDriverVersion(inUse);
  if (version && used) return *version > *used;
  return LastWritten(file) > LastWritten(inUse);
}

// The spooler's copy: the bytes, and the last-write time as CopyFile keeps it, which the next
// comparison reads. Windows does not document its own copy's times.
void CopyKeepingTime(const std::string& from, const std::string& to) {
  sim::PutFile(to, sim::FileBytes(from));
  sim::FileTimes times = sim::TimesOf(to);
  times.write = sim::TimesOf(from).write;
  sim::SetTimesOf(to, times);
}

// The environment local printers of this machine use: the native one.
std::string NativeEnvironment() {
  return M().system.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? "Windows x64"
                                                                       : "Windows NT x86";
}

}  // namespace

namespace sim {

SpoolerState& Spooler() {
  return M().spooler;
}

std::string DriverDirectory(const std::string& environment) {
  std::string leaf = SameText(environment, "Windows x64") ? "x64" : "W32X86";
  return Spooler().driverRoot + "\\" + leaf;
}

int LocalAllocations() {
  return static_cast<int>(M().localMemory.size());
}

}  // namespace sim

BOOL GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                DWORD size, LPDWORD needed) {
  if (!Bound()) return FALSE;
  if (Enter("GetPrinterDriverDirectoryA", Args(server, environment, level, size))) return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  if (server != nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!KnownEnvironment(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  std::string directory = sim::DriverDirectory(environment);
  sim::PutFolder(directory);
  // The 8-bit call hands its size to the wide one and answers the wide path's bytes (MS-RPRN
  // RpcGetPrinterDriverDirectory; ReactOS's apitest of the sibling print processor call), so
  // the buffer must hold twice the characters it receives.
  DWORD required = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
  if (needed) *needed = required;
  if (buffer == nullptr || size < required) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  return TRUE;
}

BOOL AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info) {
  if (!Bound()) return FALSE;
  auto* driver = reinterpret_cast<DRIVER_INFO_3A*>(info);
  if (Enter("AddPrinterDriverA",
            driver ? Args(server, level, driver->cVersion, driver->pName, driver->pEnvironment,
                          driver->pDriverPath, driver->pDataFile, driver->pConfigFile,
                          driver->pHelpFile) +
                         ", " + FileListArg(driver->pDependentFiles) + ", " +
                         Args(driver->pMonitorName, driver->pDefaultDataType)
                   : Args(server, level) + ", null"))
    return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  if (server != nullptr || driver == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 3) return Fail(ERROR_INVALID_LEVEL);
  if (!driver->pName || !*driver->pName || !driver->pDriverPath || !driver->pDataFile ||
      !driver->pConfigFile)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!KnownEnvironment(driver->pEnvironment)) return Fail(ERROR_INVALID_ENVIRONMENT);

  sim::DriverRecord record;
  record.name = driver->pName;
  record.environment = driver->pEnvironment;
  record.version = driver->cVersion;
  record.driverPath = driver->pDriverPath;
  record.dataFile = driver->pDataFile;
  record.configFile = driver->pConfigFile;
  record.helpFile = Text(driver->pHelpFile);
  record.defaultDataType = Text(driver->pDefaultDataType);
  const char* p = driver->pDependentFiles;
  for (; p && *p; p += std::strlen(p) + 1) record.dependentFiles.push_back(p);
  if (p)
    record.dependentFilesBytes.assign(driver->pDependentFiles,
                                      static_cast<size_t>(p + 1 - driver->pDependentFiles));

  // Every named file must lie in the driver directory; the spooler keeps copies of its own.
  std::string directory = sim::DriverDirectory(record.environment);
  std::vector<std::string> files = {record.driverPath, record.dataFile, record.configFile};
  if (!record.helpFile.empty()) files.push_back(record.helpFile);
  files.insert(files.end(), record.dependentFiles.begin(), record.dependentFiles.end());
  for (const auto& file : files) {
    DWORD attributes = sim::AttributesOf(directory + "\\" + file);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Fail(ERROR_FILE_NOT_FOUND);
  }
  std::string versioned = directory + "\\" + std::to_string(record.version);
  sim::PutFolder(versioned);
  for (const auto& file : files) {
    const std::string from = directory + "\\" + file, to = versioned + "\\" + file;
    if (Newer(from, to)) CopyKeepingTime(from, to);
  }
  auto& drivers = M().spooler.drivers;
  drivers.erase(std::remove_if(drivers.begin(), drivers.end(),
                               [&](const sim::DriverRecord& d) {
                                 return SameText(d.name, record.name) &&
                                        SameText(d.environment, record.environment);
                               }),
                drivers.end());
  drivers.push_back(record);
  return TRUE;
}

BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                   LPDWORD returned) {
  if (!Bound()) return FALSE;
  if (Enter("EnumPrintersA", Args(flags, name, level, size))) return FALSE;
  if (needed) *needed = 0;
  if (returned) *returned = 0;
  if (!SpoolerAnswers()) return FALSE;
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  const auto& printers = M().spooler.printers;
  // Records first, their strings packed from the end of the buffer, as the spooler does.
  DWORD required = static_cast<DWORD>(printers.size() * sizeof(PRINTER_INFO_2A));
  for (const auto& p : printers)
    required += static_cast<DWORD>(p.name.size() + p.port.size() + p.driver.size() +
                                   p.printProcessor.size() + p.dataType.size() + 5);
  if (needed) *needed = required;
  if (size < required || (buffer == nullptr && required > 0))
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* records = reinterpret_cast<PRINTER_INFO_2A*>(buffer);
  char* strings = reinterpret_cast<char*>(buffer) + required;
  auto put = [&](const std::string& text) {
    strings -= text.size() + 1;
    std::memcpy(strings, text.c_str(), text.size() + 1);
    return strings;
  };
  for (size_t i = 0; i < printers.size(); ++i) {
    const auto& p = printers[i];
    PRINTER_INFO_2A& r = records[i];
    std::memset(&r, 0, sizeof r);
    char* printerName = put(p.name);
    r.pPrinterName = p.nameNull ? nullptr : printerName;
    r.pPortName = put(p.port);
    r.pDriverName = put(p.driver);
    r.pPrintProcessor = put(p.printProcessor);
    r.pDatatype = put(p.dataType);
    r.Attributes = p.attributes;
  }
  if (returned) *returned = static_cast<DWORD>(printers.size());
  return TRUE;
}

HANDLE AddPrinterA(LPSTR server, DWORD level, LPBYTE info) {
  if (!Bound()) return nullptr;
  auto* printer = reinterpret_cast<PRINTER_INFO_2A*>(info);
  auto set = [](const void* p) { return std::string(p ? "set" : "null"); };
  if (Enter("AddPrinterA",
            printer ? Args(server, level, printer->pServerName, printer->pPrinterName,
                           printer->pShareName, printer->pPortName, printer->pDriverName,
                           printer->pComment, printer->pLocation) +
                          ", " + set(printer->pDevMode) + ", " +
                          Args(printer->pSepFile, printer->pPrintProcessor, printer->pDatatype,
                               printer->pParameters) +
                          ", " + set(printer->pSecurityDescriptor) + ", " +
                          Args(printer->Attributes, printer->Priority, printer->DefaultPriority,
                               printer->StartTime, printer->UntilTime)
                    : Args(server, level) + ", null"))
    return nullptr;
  if (!SpoolerAnswers()) return nullptr;
  if (server != nullptr || printer == nullptr) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  if (level != 2) return Fail(ERROR_INVALID_LEVEL), nullptr;
  auto& spooler = M().spooler;
  std::string name = Text(printer->pPrinterName);
  if (name.empty() || name.size() > 220 || name.find_first_of("\\,!") != std::string::npos)
    return Fail(ERROR_INVALID_PRINTER_NAME), nullptr;
  // The spooler compares the name, as AddPrinterA read it in the ANSI code page, with every
  // queue's without regard to case.
  for (const auto& p : spooler.printers)
    if (SameTextIgnoringCase(p.name, name)) return Fail(ERROR_PRINTER_ALREADY_EXISTS), nullptr;
  // The port before the driver, as Samba's spoolss torture test (test_AddPrinter_normal) sees
  // Windows servers answer.
  std::string port = Text(printer->pPortName);
  if (std::none_of(spooler.ports.begin(), spooler.ports.end(),
                   [&](const std::string& p) { return SameText(p, port); }))
    return Fail(ERROR_UNKNOWN_PORT), nullptr;
  std::string driver = Text(printer->pDriverName);
  bool driverKnown =
      std::any_of(spooler.drivers.begin(), spooler.drivers.end(), [&](const auto& d) {
        return SameText(d.name, driver) && SameText(d.environment, NativeEnvironment());
      });
  if (!driverKnown) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER), nullptr;
  // The print processor is required and must be installed: this machine has WinPrint only.
  // Whether Windows takes a missing one as WinPrint is not documented; refusing is stricter.
  if (printer->pPrintProcessor == nullptr) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  bool winPrint = SameText(printer->pPrintProcessor, "WinPrint");
  // No data type means the processor's default; a named one must be one the named processor
  // handles, checked before the processor itself (MS-RPRN, PRINTER_CONTAINER parameters).
  if (printer->pDatatype != nullptr && !(winPrint && KnownDatatype(printer->pDatatype)))
    return Fail(ERROR_INVALID_DATATYPE), nullptr;
  if (!winPrint) return Fail(ERROR_UNKNOWN_PRINTPROCESSOR), nullptr;
  if (printer->Priority > 99 || printer->DefaultPriority > 99)
    return Fail(ERROR_INVALID_PRIORITY), nullptr;
  sim::PrinterRecord record;
  record.name = name;
  record.port = port;
  record.driver = driver;
  record.printProcessor = Text(printer->pPrintProcessor);
  record.dataType = printer->pDatatype ? printer->pDatatype : "RAW";
  record.attributes = printer->Attributes;
  record.shareName = Text(printer->pShareName);
  record.comment = Text(printer->pComment);
  record.location = Text(printer->pLocation);
  record.separatorFile = Text(printer->pSepFile);
  record.parameters = Text(printer->pParameters);
  record.priority = printer->Priority;
  record.defaultPriority = printer->DefaultPriority;
  record.startTime = printer->StartTime;
  record.untilTime = printer->UntilTime;
  record.devMode = printer->pDevMode != nullptr;
  record.securityDescriptor = printer->pSecurityDescriptor != nullptr;
  spooler.printers.push_back(record);
  uintptr_t handle = M().nextPrinterHandle += 4;
  spooler.openPrinters.insert(handle);
  return reinterpret_cast<HANDLE>(handle);
}

BOOL ClosePrinter(HANDLE printer) {
  if (!Bound()) return FALSE;
  if (Enter("ClosePrinter", "")) return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  auto& spooler = M().spooler;
  if (spooler.openPrinters.erase(reinterpret_cast<uintptr_t>(printer)) == 0)
    return Fail(ERROR_INVALID_HANDLE);
  spooler.monitorHandles.erase(reinterpret_cast<uintptr_t>(printer));
  return TRUE;
}

BOOL EnumPortsA(LPSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                LPDWORD returned) {
  if (!Bound()) return FALSE;
  if (Enter("EnumPortsA", Args(server, level, size))) return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  if (server != nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // Windows has levels 1 and 2; level 2 (with each port's monitor) is not simulated, as the
  // program asks for level 1 only.
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  // Wine's conformance tests (winspool.drv info.c, test_EnumPorts) on Windows: the needed size
  // is required, and so is a buffer when a size is given.
  if (needed == nullptr || returned == nullptr || (buffer == nullptr && size > 0))
    return Fail(RPC_X_NULL_REF_POINTER);
  *returned = 0;
  const auto& ports = M().spooler.ports;
  // The same tests: a (NULL, 0) call fails with ERROR_INSUFFICIENT_BUFFER and the size that
  // then succeeds exactly; one byte less fails again with the same size.
  DWORD required = static_cast<DWORD>(ports.size() * sizeof(PORT_INFO_1A));
  for (const auto& port : ports) required += static_cast<DWORD>(port.size() + 1);
  *needed = required;
  if (size < required) return Fail(ERROR_INSUFFICIENT_BUFFER);
  // Records first, their names packed from the end of the caller's buffer.
  auto* records = reinterpret_cast<PORT_INFO_1A*>(buffer);
  char* strings = reinterpret_cast<char*>(buffer) + required;
  for (size_t i = 0; i < ports.size(); ++i) {
    strings -= ports[i].size() + 1;
    std::memcpy(strings, ports[i].c_str(), ports[i].size() + 1);
    records[i].pName = strings;
  }
  *returned = static_cast<DWORD>(ports.size());
  return TRUE;
}

BOOL OpenPrinterA(LPSTR name, HANDLE* printer, PRINTER_DEFAULTSA* defaults) {
  if (!Bound()) return FALSE;
  std::string args =
      Args(name) + ", " +
      (defaults ? Args(defaults->pDatatype, static_cast<const void*>(defaults->pDevMode),
                       defaults->DesiredAccess)
                : std::string("null"));
  if (Enter("OpenPrinterA", args)) return FALSE;
  // Wine's conformance tests (winspool.drv info.c, test_OpenPrinter): no handle to fill is
  // ERROR_INVALID_PARAMETER on NT.
  if (printer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *printer = nullptr;
  if (!SpoolerAnswers()) return FALSE;
  auto& spooler = M().spooler;
  std::string text = Text(name);
  auto open = [&](bool monitor) {
    uintptr_t handle = M().nextPrinterHandle += 4;
    spooler.openPrinters.insert(handle);
    if (monitor) spooler.monitorHandles[handle] = defaults ? defaults->DesiredAccess : 0;
    *printer = reinterpret_cast<HANDLE>(handle);
    return TRUE;
  };
  // ",XcvMonitor <monitor>" is the monitor itself, as its configuration calls reach it
  // ("TCPMON Xcv Interface" in Microsoft's print monitor documentation). Only the Local Port
  // monitor is simulated; what Windows answers for a monitor it lacks is unconfirmed.
  const std::string monitor = ",XcvMonitor ";
  if (text.compare(0, monitor.size(), monitor) == 0) {
    if (!SameText(text.substr(monitor.size()), "Local Port"))
      return Fail(ERROR_INVALID_PRINTER_NAME);
    return open(true);
  }
  // A queue by its name; the print server's own handle (a null name) is not simulated.
  for (const auto& p : spooler.printers)
    if (!text.empty() && SameTextIgnoringCase(p.name, text)) return open(false);
  return Fail(ERROR_INVALID_PRINTER_NAME);
}

namespace {

// The UTF-16 text at `data` as the ANSI code page spells it, when it ends within `size` bytes.
bool WideText(const BYTE* data, DWORD size, std::string& ansi) {
  if (data == nullptr) return false;
  std::string utf8;
  for (DWORD at = 0; at + 1 < size; at += 2) {
    unsigned c = data[at] | (data[at + 1] << 8);
    if (c == 0) {
      ansi = sim::ToAnsi(utf8, M().system.ansiCodePage);
      return true;
    }
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (c >> 12));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return false;
}

// The Local Port monitor's "AddPort". Documented (XcvDataPort in Microsoft's port monitor
// interface): the input is the NUL-terminated port name, the monitor writes the name under the
// Ports key, and on ERROR_SUCCESS the spooler marks the port added, so it is known at once; a
// caller not granted SERVER_ACCESS_ADMINISTER gets ERROR_ACCESS_DENIED. A port the spooler
// knows gives ERROR_ALREADY_EXISTS, as Wine's localspl tests expect of Windows' monitor in a
// case they no longer run. The stricter choices, undocumented: a name already in the Ports
// key, though the running spooler does not know it, is refused the same way (Wine's monitor
// looks there); the value is written with no settings, so settings written before are lost;
// an empty name, or no Ports key, is refused (Wine's opens the key, never creates it).
DWORD AddLocalPort(ACCESS_MASK access, const BYTE* input, DWORD inputSize) {
  constexpr const char* kPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
  if (!(access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  std::string port;
  if (!WideText(input, inputSize, port)) {
    sim::detail::BrokenContract("XcvDataW: AddPort without a NUL-terminated port name");
    return ERROR_INVALID_PARAMETER;
  }
  if (port.empty()) return ERROR_INVALID_PARAMETER;
  auto& ports = M().spooler.ports;
  auto same = [&](const std::string& p) { return SameText(p, port); };
  if (std::any_of(ports.begin(), ports.end(), same)) return ERROR_ALREADY_EXISTS;
  if (!sim::RegistryKeyExists(kPortsKey)) return ERROR_FILE_NOT_FOUND;
  auto values = sim::RegistryValues(kPortsKey);
  if (std::any_of(values.begin(), values.end(),
                  [&](const sim::RegistryValue& v) { return same(v.name); }))
    return ERROR_ALREADY_EXISTS;
  sim::PutRegistryValue(kPortsKey, port, REG_SZ, std::string(1, '\0'));
  ports.push_back(port);
  return ERROR_SUCCESS;
}

}  // namespace

BOOL XcvDataW(HANDLE xcv, const WCHAR* dataName, BYTE* input, DWORD inputSize, BYTE* output,
              DWORD outputSize, DWORD* outputNeeded, DWORD* status) {
  if (!Bound()) return FALSE;
  auto wide = [](const void* text, DWORD size) {
    std::string ansi;
    return WideText(static_cast<const BYTE*>(text), size, ansi) ? Arg(ansi)
                                                                : std::string(text ? "?" : "null");
  };
  auto set = [](const void* p) { return std::string(p ? "set" : "null"); };
  std::string args = wide(dataName, 0xFFFF) + ", " + wide(input, inputSize) + ", " +
                     Args(inputSize) + ", " + set(output) + ", " + Args(outputSize) + ", " +
                     set(outputNeeded) + ", " + set(status);
  if (Enter("XcvDataW", args)) return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  const auto& handles = M().spooler.monitorHandles;
  auto it = handles.find(reinterpret_cast<uintptr_t>(xcv));
  if (it == handles.end()) return Fail(ERROR_INVALID_HANDLE);
  // Wine's conformance tests (winspool.drv info.c, test_XcvDataW_MonitorUI and _PortIsValid)
  // on Windows: the needed size is always required and checked first; then a command name, a
  // status and, with a size, an output buffer.
  if (outputNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (dataName == nullptr || status == nullptr || (output == nullptr && outputSize > 0))
    return Fail(RPC_X_NULL_REF_POINTER);
  *outputNeeded = 0;
  std::string command;
  WideText(reinterpret_cast<const BYTE*>(dataName), 0xFFFF, command);
  // The monitor's other commands (MonitorUI, DeletePort, PortIsValid ...) are not simulated
  // and answer as an unknown one does: the same tests give ERROR_INVALID_PARAMETER for "".
  *status = command == "AddPort" ? AddLocalPort(it->second, input, inputSize)
                                 : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
  return TRUE;
}

BOOL SetDefaultPrinterA(LPCSTR name) {
  if (!Bound()) return FALSE;
  if (Enter("SetDefaultPrinterA", Args(name))) return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  auto& spooler = M().spooler;
  for (const auto& p : spooler.printers) {
    if (name && SameText(p.name, name)) {
      spooler.defaultPrinter = p.name;
      return TRUE;
    }
  }
  return Fail(ERROR_INVALID_PRINTER_NAME);
}

BOOL ConfigurePortA(LPSTR server, HWND owner, LPSTR portName) {
  if (!Bound()) return FALSE;
  if (Enter("ConfigurePortA", Args(server, static_cast<const void*>(owner), portName)))
    return FALSE;
  if (!SpoolerAnswers()) return FALSE;
  auto& ports = M().spooler.ports;
  if (!portName || std::none_of(ports.begin(), ports.end(),
                                [&](const std::string& p) { return SameText(p, portName); }))
    return Fail(ERROR_UNKNOWN_PORT);
  return TRUE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void*) {
  if (Enter("FormatMessageA", Args(flags, messageId, languageId))) return 0;
  static const std::pair<DWORD, const char*> kTexts[] = {
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {32, "The process cannot access the file because it is being used by another process."},
      {87, "The parameter is incorrect."},
      {112, "There is not enough space on the disk."},
      {122, "The data area passed to a system call is too small."},
      {1722, "The RPC server is unavailable."},
      {1796, "The specified port is unknown."},
      {1797, "The printer driver is unknown."},
      {1801, "The printer name is invalid."},
      {1802, "The printer already exists."},
      {1805, "The environment specified is invalid."},
  };
  const char* text = nullptr;
  for (const auto& [code, message] : kTexts)
    if (code == messageId) text = message;
  if (text == nullptr || !(flags & FORMAT_MESSAGE_FROM_SYSTEM))
    return Fail(ERROR_MR_MID_NOT_FOUND), 0;
  std::string full = std::string(text) + "\r\n";
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto* memory = new char[full.size() + 1];
    std::memcpy(memory, full.c_str(), full.size() + 1);
    M().localMemory[reinterpret_cast<uintptr_t>(memory)] = full;
    *reinterpret_cast<char**>(buffer) = memory;
  } else {
    if (size <= full.size()) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
    std::memcpy(buffer, full.c_str(), full.size() + 1);
  }
  return static_cast<DWORD>(full.size());
}

HLOCAL LocalFree(HLOCAL memory) {
  Enter("LocalFree", "");
  if (memory == nullptr) return nullptr;
  auto it = M().localMemory.find(reinterpret_cast<uintptr_t>(memory));
  if (it == M().localMemory.end()) {
    M().lastError = ERROR_INVALID_HANDLE;
    return memory;
  }
  delete[] static_cast<char*>(memory);
  M().localMemory.erase(it);
  return nullptr;
}
