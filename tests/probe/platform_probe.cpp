// The platform calls the program relies on, with their edge cases, each printed as one line
// "key -> what came back", so that two machines' answers can be compared line by line.
#include "platform_probe.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

#ifndef REG_OPTION_VOLATILE
#define REG_OPTION_VOLATILE 0x00000001L
#endif

namespace {

void Line(const char* key, const std::string& value) {
  std::printf("%s -> %s\n", key, value.c_str());
  std::fflush(stdout);
}

std::string Number(unsigned long value) {
  return std::to_string(value);
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

// A BOOL call's result and, when it failed, its last error.
std::string Result(BOOL ok) {
  return ok ? "TRUE" : "FALSE err=" + Number(GetLastError());
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// ---- registry ----

const char kValueName[] = "\\Device\\Serial2";  // as the serial device map names its values
const char kValueData[] = "COM3";

std::string EnumValue(HKEY key, DWORD nameSize, DWORD dataSize, DWORD index = 0) {
  char name[64];
  BYTE data[64];
  std::memset(name, 'x', sizeof name);
  std::memset(data, 'x', sizeof data);
  DWORD type = 1234;
  LSTATUS status = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
  std::string text = Number(status) + " name=" + Number(nameSize) + " data=" + Number(dataSize) +
                     " type=" + Number(type);
  if (status == ERROR_SUCCESS)
    text += " \"" + std::string(name) + "\"=\"" + reinterpret_cast<char*>(data) + "\"";
  return text;
}

std::string QueryValue(HKEY key, const char* name, bool withBuffer, DWORD size) {
  BYTE data[64];
  std::memset(data, 'x', sizeof data);
  DWORD type = 1234;
  LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, withBuffer ? data : nullptr, &size);
  std::string text = Number(status) + " size=" + Number(size);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) text += " type=" + Number(type);
  if (status == ERROR_SUCCESS && withBuffer)
    text += " \"" + std::string(reinterpret_cast<char*>(data), size ? size - 1 : 0) + "\"";
  return text;
}

std::string Create(HKEY parent, const char* name, DWORD options, HKEY* key) {
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExA(parent, name, 0, nullptr, options, KEY_READ | KEY_WRITE, nullptr,
                                   key, &disposition);
  if (status != ERROR_SUCCESS) *key = nullptr;
  return Number(status) + (status == ERROR_SUCCESS ? " disp=" + Number(disposition) : "");
}

void ProbeRegistry() {
  // A name of its own each run: the simulated registry has no key deletion to clear leftovers.
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char path[96];
  std::snprintf(path, sizeof path, "Software\\QuillmateProbe\\%02u%02u%02u%03u", now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  HKEY key = nullptr, again = nullptr;
  Line("reg.create_new", Create(HKEY_LOCAL_MACHINE, path, REG_OPTION_NON_VOLATILE, &key));
  if (key == nullptr) return;
  std::string upper = path;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  Line("reg.create_existing_other_case",
       Create(HKEY_LOCAL_MACHINE, upper.c_str(), REG_OPTION_NON_VOLATILE, &again));
  if (again) RegCloseKey(again);

  HKEY volatileKey = nullptr, child = nullptr;
  Line("reg.create_volatile", Create(key, "Volatile", REG_OPTION_VOLATILE, &volatileKey));
  if (volatileKey) {
    Line("reg.create_lasting_under_volatile",
         Create(volatileKey, "Lasting", REG_OPTION_NON_VOLATILE, &child));
    if (child) RegCloseKey(child);
    Line("reg.create_volatile_under_volatile",
         Create(volatileKey, "Fleeting", REG_OPTION_VOLATILE, &child));
    if (child) RegCloseKey(child);
    RegCloseKey(volatileKey);
  }

  LSTATUS status = RegSetValueExA(key, kValueName, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(kValueData), sizeof kValueData);
  Line("reg.set_value", Number(status));

  // The device maps are read this way: a fixed name buffer, the data buffer of a given size.
  const DWORD nameLength = sizeof kValueName - 1;
  Line("reg.enum.name_short", EnumValue(key, nameLength, 64));
  Line("reg.enum.name_exact", EnumValue(key, nameLength + 1, 64));
  for (DWORD size = 0; size <= 6; ++size) {
    std::string lineKey = "reg.enum.data_" + Number(size);
    Line(lineKey.c_str(), EnumValue(key, 64, size));
  }
  Line("reg.enum.past_end", EnumValue(key, 64, 64, 1));

  Line("reg.query.size_only", QueryValue(key, kValueName, false, 0));
  for (DWORD size = 0; size <= 6; ++size) {
    std::string lineKey = "reg.query.data_" + Number(size);
    Line(lineKey.c_str(), QueryValue(key, kValueName, true, size));
  }
  Line("reg.query.other_case", QueryValue(key, "\\DEVICE\\SERIAL2", true, 64));
  Line("reg.query.missing", QueryValue(key, "\\Device\\Serial9", true, 64));

  HKEY reader = nullptr, writer = nullptr;
  status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &reader);
  Line("reg.open_read", Number(status));
  if (status == ERROR_SUCCESS) {
    Line("reg.open_read_then_set",
         Number(RegSetValueExA(reader, "Other", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(kValueData), sizeof kValueData)));
    RegCloseKey(reader);
  }
  status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &writer);
  Line("reg.open_write", Number(status));
  if (status == ERROR_SUCCESS) {
    Line("reg.open_write_then_query", QueryValue(writer, kValueName, true, 64));
    RegCloseKey(writer);
  }
  Line("reg.close", Number(RegCloseKey(key)));
  Line("reg.close_again", Number(RegCloseKey(key)));
}

// ---- device interfaces ----

const GUID kUsbPrintInterface = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

std::string SetResult(HDEVINFO set) {
  return set == INVALID_HANDLE_VALUE ? "INVALID err=" + Number(GetLastError()) : "set";
}

void ProbeDevices() {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbPrintInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  Line("setupdi.classdevs_present_interface", SetResult(set));
  if (set != INVALID_HANDLE_VALUE) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    Line("setupdi.enum_0",
         Result(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterface, 0, &data)));
    data.cbSize = sizeof data - 1;
    Line("setupdi.enum_0_wrong_cbsize",
         Result(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterface, 0, &data)));
    Line("setupdi.destroy", Result(SetupDiDestroyDeviceInfoList(set)));
  }
  set = SetupDiGetClassDevsA(&kUsbPrintInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  Line("setupdi.classdevs_interface", SetResult(set));
  if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
  set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT);
  Line("setupdi.classdevs_no_class", SetResult(set));
  if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
  Line("setupdi.destroy_invalid", Result(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE)));
}

// ---- print spooler ----

char kEnvironment[] = "Windows x64";
// A driver no machine has; the probe's own driver is one only a lax spooler accepts.
const char kNoDriver[] = "Quillmate Probe Missing Driver";

// The local printers: the size asked for first, then, when there are any, each listed.
std::string ListPrinters() {
  char noName[1] = "";
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 12345, returned = 12345;
  BOOL ok = EnumPrintersA(flags, noName, 2, nullptr, 0, &needed, &returned);
  // The counts mean something only when the spooler answered.
  if (ok || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return ok ? "TRUE needed=" + Number(needed) + " returned=" + Number(returned) : Result(ok);
  // The records' size depends on what the spooler keeps with each queue: not printed.
  std::string text = "FALSE err=122 then ";
  std::vector<BYTE> buffer(needed);
  ok = EnumPrintersA(flags, noName, 2, buffer.data(), needed, &needed, &returned);
  if (!ok) return text + Result(ok);
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
  std::vector<std::string> listed;
  auto quoted = [](const char* value) {
    return value ? "\"" + std::string(value) + "\"" : std::string("null");
  };
  for (DWORD i = 0; i < returned; ++i)
    listed.push_back(" " + quoted(printers[i].pPrinterName) + " on " +
                     quoted(printers[i].pPortName) + " with " + quoted(printers[i].pDriverName));
  std::sort(listed.begin(), listed.end());
  text += "TRUE returned=" + Number(returned);
  for (const auto& printer : listed) text += printer;
  return text;
}

std::string MakePrinter(const char* name, const char* port, const char* driver,
                        const char* processor = "WinPrint", const char* dataType = "RAW") {
  PRINTER_INFO_2A info{};
  info.pPrinterName = const_cast<LPSTR>(name);
  info.pPortName = const_cast<LPSTR>(port);
  info.pDriverName = const_cast<LPSTR>(driver);
  info.pPrintProcessor = const_cast<LPSTR>(processor);
  info.pDatatype = const_cast<LPSTR>(dataType);
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  SetLastError(0);  // a failure that names no error shows as err=0
  HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (printer == nullptr) return "NULL err=" + Number(GetLastError());
  ClosePrinter(printer);
  return "HANDLE";
}

void ProbeQueue(const std::string& directory, const std::string& source);
void ProbeDriverUpdate(const std::string& directory, const std::string& source);

void ProbeSpooler(const std::string& driverSource) {
  DWORD needed = 0;
  BOOL ok = GetPrinterDriverDirectoryA(nullptr, kEnvironment, 1, nullptr, 0, &needed);
  Line("spool.driver_dir_null", Result(ok) + " needed=" + Number(needed));
  const DWORD full = needed;
  char directory[MAX_PATH] = {};
  if (full > 1 && full <= sizeof directory) {
    ok = GetPrinterDriverDirectoryA(nullptr, kEnvironment, 1, reinterpret_cast<LPBYTE>(directory),
                                    full - 1, &needed);
    Line("spool.driver_dir_short", Result(ok) + " needed=" + Number(needed));
    ok = GetPrinterDriverDirectoryA(nullptr, kEnvironment, 1, reinterpret_cast<LPBYTE>(directory),
                                    full, &needed);
    // Case aside: Windows spells the system folder as it was installed.
    Line("spool.driver_dir_exact", Result(ok) + " \"" + Lower(directory) + "\"");
  }
  char unknown[] = "Windows Quantum";
  char elsewhere[MAX_PATH] = {};
  ok = GetPrinterDriverDirectoryA(nullptr, unknown, 1, reinterpret_cast<LPBYTE>(elsewhere),
                                  sizeof elsewhere, &needed);
  Line("spool.driver_dir_unknown_env", Result(ok));

  Line("spool.enum_printers", ListPrinters());

  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<LPSTR>("Quillmate Probe Driver");
  driver.pEnvironment = kEnvironment;
  driver.pDriverPath = const_cast<LPSTR>("QMPROBE.DLL");
  driver.pDataFile = const_cast<LPSTR>("QMPROBE.GPD");
  driver.pConfigFile = const_cast<LPSTR>("QMPROBEUI.DLL");
  Line("spool.add_driver_files_missing",
       Result(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver))));
  Line("spool.add_printer_unknown_driver", MakePrinter("Quillmate Probe", "LPT1:", kNoDriver));
  Line("spool.close_printer_null", Result(ClosePrinter(nullptr)));
  Line("spool.set_default_unknown", Result(SetDefaultPrinterA("Quillmate Probe Nowhere")));
  if (directory[0] != '\0') {
    ProbeQueue(directory, driverSource);
    ProbeDriverUpdate(directory, driverSource);
  }
}

// A real queue, on a driver made of the driver package's files as the program installs them.
const char kModel[] = "Quillmate Probe Model";
const char kQueue[] = "Quillmate Probe Queue";

void ProbeQueue(const std::string& directory, const std::string& source) {
  const char* const files[] = {"UNIDRV.DLL",   "UNIDRVUI.DLL", "UNIRES.DLL", "UNIDRV.HLP",
                               "STDNAMES.GPD", "TTFSUB.GPD",   "KV80C.GPD"};
  std::string copied = "TRUE";
  for (const char* file : files) {
    if (!CopyFileA((source + "\\" + file).c_str(), (directory + "\\" + file).c_str(), FALSE)) {
      copied = std::string(file) + " " + Result(FALSE);
      break;
    }
  }
  Line("queue.copy_files", copied);
  char dependentFiles[] = "TTFSUB.GPD\0STDNAMES.GPD\0UNIRES.DLL\0";
  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<LPSTR>(kModel);
  driver.pEnvironment = kEnvironment;
  driver.pDriverPath = const_cast<LPSTR>("UNIDRV.DLL");
  driver.pDataFile = const_cast<LPSTR>("KV80C.GPD");
  driver.pConfigFile = const_cast<LPSTR>("UNIDRVUI.DLL");
  driver.pHelpFile = const_cast<LPSTR>("UNIDRV.HLP");
  driver.pDependentFiles = dependentFiles;
  driver.pDefaultDataType = const_cast<LPSTR>("RAW");
  Line("queue.add_driver",
       Result(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver))));
  Line("queue.add", MakePrinter(kQueue, "LPT1:", kModel));
  Line("queue.enum_printers", ListPrinters());
  Line("queue.set_default", Result(SetDefaultPrinterA(kQueue)));
}

// A file of the probe's own in the driver directory, written with this last-write time (UTC,
// January 1st), the time set through a handle of its own once the bytes are written.
bool WriteDated(const std::string& path, const char* text, WORD year) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  CloseHandle(file);
  SYSTEMTIME when{};
  when.wYear = year;
  when.wMonth = 1;
  when.wDay = 1;
  FILETIME time{};
  file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ok = ok && SystemTimeToFileTime(&when, &time) && SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return ok;
}

// The first bytes of a file, quoted, or why there are none.
std::string Content(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "INVALID err=" + Number(GetLastError());
  char bytes[16] = {};
  DWORD read = 0;
  BOOL ok = ReadFile(file, bytes, sizeof bytes - 1, &read, nullptr);
  CloseHandle(file);
  return ok ? "\"" + std::string(bytes, read) + "\"" : "read " + Result(FALSE);
}

// A driver added again with a file of its own that is older, as old, or newer than the copy
// in the version folder: the spooler takes only a newer one.
void ProbeDriverUpdate(const std::string& directory, const std::string& source) {
  const char* const files[] = {"UNIDRV.DLL",   "UNIDRVUI.DLL", "UNIRES.DLL", "UNIDRV.HLP",
                               "STDNAMES.GPD", "TTFSUB.GPD",   "KV80C.GPD"};
  char dependentFiles[] = "TTFSUB.GPD\0STDNAMES.GPD\0UNIRES.DLL\0QMPROBE.DAT\0";
  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<LPSTR>("Quillmate Probe Update");
  driver.pEnvironment = kEnvironment;
  driver.pDriverPath = const_cast<LPSTR>("UNIDRV.DLL");
  driver.pDataFile = const_cast<LPSTR>("KV80C.GPD");
  driver.pConfigFile = const_cast<LPSTR>("UNIDRVUI.DLL");
  driver.pHelpFile = const_cast<LPSTR>("UNIDRV.HLP");
  driver.pDependentFiles = dependentFiles;
  driver.pDefaultDataType = const_cast<LPSTR>("RAW");
  const std::string own = directory + "\\QMPROBE.DAT";
  const std::string copy = directory + "\\3\\QMPROBE.DAT";
  const struct {
    const char* key;
    const char* text;
    WORD year;
  } steps[] = {{"update.first", "first", 2001},
               {"update.older_file", "older", 2000},
               {"update.equal_time", "equal", 2001},
               {"update.newer_file", "newer", 2002}};
  for (const auto& step : steps) {
    // The package's files again, whatever the last registration did with them: as old as the
    // copies they made, so never newer than those.
    bool ready = WriteDated(own, step.text, step.year);
    for (const char* file : files)
      ready = ready &&
              CopyFileA((source + "\\" + file).c_str(), (directory + "\\" + file).c_str(), FALSE);
    if (!ready) {
      Line(step.key, "cannot lay out the files: " + Result(FALSE));
      return;
    }
    BOOL added = AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver));
    Line(step.key, Result(added) + " " + Content(copy));
  }
}

// The ways a second queue can be refused, after the spooler's restart so that a lax spooler's
// extra queues show only here.
void ProbeRefusedQueues() {
  Line("queue.add_existing", MakePrinter(kQueue, "LPT2:", kModel));
  Line("queue.add_existing_other_case", MakePrinter("QUILLMATE PROBE QUEUE", "LPT2:", kModel));
  Line("queue.add_unknown_port", MakePrinter("Quillmate Probe Port", "QMPROBE9:", kModel));
  Line("queue.add_unknown_processor",
       MakePrinter("Quillmate Probe Processor", "LPT2:", kModel, "NoSuchProcessor"));
  Line("queue.add_unknown_datatype",
       MakePrinter("Quillmate Probe Datatype", "LPT2:", kModel, "WinPrint", "NOSUCHTYPE"));
  Line("queue.enum_after_refusals", ListPrinters());
}

// The spooler's service stopped and started again as the program does it, with the spooler's
// answers while it is down.
std::string ServiceCommand(const char* parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = "net";
  info.lpParameters = parameters;
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info)) return Result(FALSE);
  if (info.hProcess == nullptr) return "TRUE no process";
  DWORD wait = WaitForSingleObject(info.hProcess, 60000);
  CloseHandle(info.hProcess);
  return "TRUE wait=" + Number(wait);
}

void ProbeStoppedSpooler() {
  Line("service.stop", ServiceCommand("stop spooler"));
  Line("stopped.enum_printers", ListPrinters());
  Line("stopped.add_printer", MakePrinter("Quillmate Probe", "LPT1:", kNoDriver));
  Line("service.start", ServiceCommand("start spooler"));
  Line("started.enum_printers", ListPrinters());
}

// ---- files ----

std::string Attributes(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "INVALID err=" + Number(GetLastError());
  return Hex(attributes);
}

// Opens for reading and reports what the handle stands on: its attributes and first bytes.
std::string Open(const std::string& path, DWORD flags) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "INVALID err=" + Number(GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  std::string text = "HANDLE attrs=";
  text += GetFileInformationByHandle(file, &info) ? Hex(info.dwFileAttributes) : Result(FALSE);
  // A link opened as itself has no bytes of its own worth comparing.
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(flags & FILE_FLAG_OPEN_REPARSE_POINT)) {
    char bytes[16] = {};
    DWORD read = 0;
    BOOL ok = ReadFile(file, bytes, sizeof bytes - 1, &read, nullptr);
    text += ok ? " read=\"" + std::string(bytes, read) + "\"" : " read " + Result(FALSE);
  }
  CloseHandle(file);
  return text;
}

std::string CreateNew(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "INVALID err=" + Number(GetLastError());
  DWORD written = 0;
  WriteFile(file, "probe", 5, &written, nullptr);
  CloseHandle(file);
  return "HANDLE wrote=" + Number(written);
}

std::string ListedName(const std::string& path) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return "INVALID err=" + Number(GetLastError());
  FindClose(search);
  return "\"" + std::string(found.cFileName) + "\"";
}

// The names and attributes of a folder's entries as a handle lists them, sorted: the order
// is the file system's own.
std::string Listing(const std::string& path) {
  HANDLE folder = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return "INVALID err=" + Number(GetLastError());
  std::vector<std::string> entries;
  alignas(8) unsigned char buffer[4096];
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer)) {
    kind = FileIdBothDirectoryInfo;
    for (size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
      std::string name;
      for (DWORD i = 0; i < entry->FileNameLength / sizeof(WCHAR); ++i)
        name += static_cast<char>(entry->FileName[i]);
      if (name != "." && name != "..") entries.push_back(name + ":" + Hex(entry->FileAttributes));
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  DWORD end = GetLastError();
  CloseHandle(folder);
  std::sort(entries.begin(), entries.end());
  std::string text = "end=" + Number(end);
  for (const auto& entry : entries) text += " " + entry;
  return text;
}

// Deletes the name itself, as the staging folder's clean-up does: opened without following a
// link, then marked for deletion through the handle.
std::string DeleteItself(const std::string& path) {
  HANDLE object = CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (object == INVALID_HANDLE_VALUE) return "INVALID err=" + Number(GetLastError());
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  std::string text = Result(
      SetFileInformationByHandle(object, FileDispositionInfo, &disposition, sizeof disposition));
  CloseHandle(object);
  return text;
}

void ProbeFiles(const std::string& links, const std::string& target) {
  const std::string work = "C:\\QuillmateProbeWork";
  Line("file.mkdir", Result(CreateDirectoryA(work.c_str(), nullptr)));
  Line("file.mkdir_other_case", Result(CreateDirectoryA("C:\\QUILLMATEPROBEWORK", nullptr)));
  Line("file.mkdir_sub", Result(CreateDirectoryA((work + "\\Case").c_str(), nullptr)));
  Line("file.create", CreateNew(work + "\\Case\\Data.txt"));
  Line("file.create_other_case", CreateNew(work + "\\CASE\\DATA.TXT"));
  Line("file.attrs_other_case", Attributes(work + "\\case\\data.txt"));
  Line("file.listed_name", ListedName(work + "\\CASE\\DATA.TXT"));
  Line("file.attrs_trailing_separator_file", Attributes(work + "\\Case\\Data.txt\\"));
  Line("file.attrs_missing", Attributes(work + "\\Case\\Missing.txt"));
  Line("file.attrs_missing_folder", Attributes(work + "\\Missing\\Data.txt"));

  const std::string folder = links + "\\folder", file = links + "\\file";
  const std::string inside = target + "\\inside.txt";
  Line("link.listing", Listing(links));
  Line("link.folder_attrs", Attributes(folder));
  Line("link.folder_attrs_trailing_separator", Attributes(folder + "\\"));
  Line("link.folder_listed_inside", ListedName(folder + "\\inside.txt"));
  Line("link.folder_open", Open(folder, FILE_FLAG_BACKUP_SEMANTICS));
  Line("link.folder_open_reparse",
       Open(folder, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
  Line("link.file_attrs", Attributes(file));
  Line("link.file_open", Open(file, 0));
  Line("link.file_open_reparse", Open(file, FILE_FLAG_OPEN_REPARSE_POINT));
  HANDLE made = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  Line("link.file_create_new_at_link",
       made == INVALID_HANDLE_VALUE ? "INVALID err=" + Number(GetLastError()) : "HANDLE");
  if (made != INVALID_HANDLE_VALUE) CloseHandle(made);

  // Deleting a link must leave what it points to alone; the folder link goes first, while its
  // target still holds a file.
  Line("link.folder_delete_itself", DeleteItself(folder));
  Line("link.folder_after_delete", Attributes(folder));
  Line("link.folder_target_after_delete", Attributes(target));
  Line("link.file_delete_itself", DeleteItself(file));
  Line("link.file_after_delete", Attributes(file));
  Line("link.file_target_after_delete", Attributes(inside));
}

// ---- ports and the Local Port monitor; comparing names ----

const char kNewPort[] = "COM97:";
const char kWrittenPort[] = "COM98:";

// The spooler's ports, level 1: the size asked for, then the list in a buffer of exactly that
// size and of one byte less. Which ports a machine has differs; a known and a new one are told.
std::string ListPorts(bool withSizes, const char* port = kNewPort) {
  DWORD needed = 12345, returned = 12345;
  BOOL ok = EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned);
  if (ok || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return Result(ok);
  std::string text = withSizes ? "FALSE err=122 then " : "";
  const DWORD size = needed;
  std::vector<BYTE> buffer(size);
  ok = EnumPortsA(nullptr, 1, buffer.data(), size, &needed, &returned);
  if (!ok) return text + Result(ok);
  if (withSizes) text += "TRUE" + std::string(needed == size ? " needed=same" : " needed=other");
  const auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buffer.data());
  bool inside = true, lpt1 = false, added = false;
  for (DWORD i = 0; i < returned; ++i) {
    const char* name = ports[i].pName;
    inside = inside && name != nullptr && reinterpret_cast<const BYTE*>(name) >= buffer.data() &&
             reinterpret_cast<const BYTE*>(name) < buffer.data() + size;
    if (name == nullptr) continue;
    lpt1 = lpt1 || lstrcmpiA(name, "LPT1:") == 0;
    added = added || lstrcmpiA(name, port) == 0;
  }
  text += std::string(withSizes ? " " : "") + (lpt1 ? "LPT1: listed" : "no LPT1:") + ", " + port +
          (added ? " listed" : " not listed") +
          (inside ? ", names in the buffer" : ", a name outside the buffer");
  if (withSizes) {
    needed = 12345;
    ok = EnumPortsA(nullptr, 1, buffer.data(), size - 1, &needed, &returned);
    text += "; one byte less " + Result(ok) + (needed == size ? " needed=same" : " needed=other");
  }
  return text;
}

// "AddPort" of the Local Port monitor with a port name, as the program asks it.
std::string AddPort(HANDLE monitor, const char* ascii, bool withNeeded) {
  WCHAR name[32] = {};
  size_t length = std::strlen(ascii);
  for (size_t i = 0; i < length; ++i) name[i] = static_cast<WCHAR>(ascii[i]);
  const WCHAR command[] = {'A', 'd', 'd', 'P', 'o', 'r', 't', '\0'};
  DWORD needed = 12345, status = 12345;
  SetLastError(0);
  BOOL ok = XcvDataW(monitor, command, reinterpret_cast<BYTE*>(name),
                     static_cast<DWORD>((length + 1) * sizeof(WCHAR)), nullptr, 0,
                     withNeeded ? &needed : nullptr, &status);
  return ok ? "TRUE status=" + Number(status) : Result(ok);
}

void ProbePorts() {
  Line("ports.enum", ListPorts(true));
  PRINTER_DEFAULTSA access = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE monitor = nullptr;
  char name[] = ",XcvMonitor Local Port";
  BOOL ok = OpenPrinterA(name, &monitor, &access);
  Line("ports.xcv_open", Result(ok));
  if (!ok) return;
  Line("ports.xcv_add_without_needed", AddPort(monitor, kNewPort, false));
  Line("ports.xcv_add_new", AddPort(monitor, kNewPort, true));
  Line("ports.enum_after_add", ListPorts(false));
  Line("ports.xcv_add_again", AddPort(monitor, kNewPort, true));
  Line("ports.xcv_add_lpt1", AddPort(monitor, "LPT1:", true));
  // A port written into the Ports key while the spooler runs, as a program that does not ask
  // the monitor writes it.
  HKEY key = nullptr;
  LSTATUS status =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
                    KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, kWrittenPort, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>("9600,n,8,1"), sizeof "9600,n,8,1");
    RegCloseKey(key);
  }
  Line("ports.key_write", Number(status));
  Line("ports.enum_after_key_write", ListPorts(false, kWrittenPort));
  Line("ports.xcv_add_written", AddPort(monitor, kWrittenPort, true));
  Line("ports.xcv_close", Result(ClosePrinter(monitor)));
}

// ---- named objects of the session, and registered messages ----

// A handle or not, and the last error as the call left it.
std::string Created(HANDLE handle) {
  DWORD error = GetLastError();
  return std::string(handle != nullptr ? "handle" : "null") + " err=" + Number(error);
}

void ProbeObjects() {
  const char kName[] = "QuillmateProbeMutex";
  SetLastError(12345);
  HANDLE first = CreateMutexA(nullptr, TRUE, kName);
  Line("objects.mutex_new", Created(first));
  SetLastError(12345);
  HANDLE again = CreateMutexA(nullptr, TRUE, kName);
  Line("objects.mutex_existing", Created(again));
  SetLastError(12345);
  HANDLE local = CreateMutexA(nullptr, FALSE, "Local\\QuillmateProbeMutex");
  Line("objects.mutex_local_prefix", Created(local));
  SetLastError(12345);
  HANDLE other = CreateMutexA(nullptr, FALSE, "QUILLMATEPROBEMUTEX");
  Line("objects.mutex_other_case", Created(other));
  // The creator owns it, and takes it again as often as it releases it.
  Line("objects.wait_owner", Number(WaitForSingleObject(again, 0)));
  BOOL released = ReleaseMutex(first);
  std::string twice = Result(released) + " " + Result(ReleaseMutex(local));
  Line("objects.release_twice", twice);
  Line("objects.release_unowned", Result(ReleaseMutex(first)));
  for (HANDLE h : {first, again, local, other})
    if (h != nullptr) CloseHandle(h);
  SetLastError(12345);
  HANDLE after = CreateMutexA(nullptr, FALSE, kName);
  Line("objects.gone_with_its_handles", Created(after));
  if (after != nullptr) CloseHandle(after);

  UINT message = RegisterWindowMessageA("QuillmateProbeMessage");
  std::string text = message >= 0xC000 && message <= 0xFFFF ? "in range" : "out of range";
  text += RegisterWindowMessageA("QuillmateProbeMessage") == message ? ", same" : ", another";
  text += RegisterWindowMessageA("QUILLMATEPROBEMESSAGE") == message ? ", same" : ", another";
  Line("objects.register_message", text);
}

void ProbeComparison() {
  Line("compare.acp", Number(GetACP()));
  Line("compare.case_ascii", std::to_string(lstrcmpiA("kv-80c", "KV-80C")));
  Line("compare.longer", std::to_string(lstrcmpiA("KV-80C", "KV-80C (copy 1)")));
  // e acute against E acute: one pair of letters in code page 1252.
  Line("compare.case_1252", std::to_string(lstrcmpiA("\xE9", "\xC9")));
}

}  // namespace

int RunProbe(const char* linkFolder, const char* targetFolder, const char* driverSource) {
  ProbeRegistry();
  ProbeDevices();
  ProbeSpooler(driverSource);
  ProbeStoppedSpooler();
  ProbeRefusedQueues();
  ProbeFiles(linkFolder, targetFolder);
  ProbePorts();
  ProbeObjects();
  ProbeComparison();
  return 0;
}
