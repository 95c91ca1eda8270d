// The installation: platform detection, driver files and registration, the queue, the report.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "install/driver_installer.h"
#include "install/message_box.h"
#include "package/staged_files.h"

struct CDriverInstaller::Flavour {
  const char* environment;
  const char* sourceFolder;
  const char* copyFailedOldChinese;
  const char* copyFailedChinese;
  const char* registrationFailedChinese;
};

namespace {

constexpr DWORD kRegistrationWait = 111;

const CDriverInstaller::Flavour kX86 = {
    "Windows NT x86",
    "Windows NT x86",
    "安装过程发生错误！",
    "安装过程发生错误！\n请尝试<以管理员身份运行>安装文件。",
    "安装打印机驱动过程发生错误！",
};

const CDriverInstaller::Flavour kX64 = {
    "Windows x64",
    "Windows x64",
    "安装过程发生错误 !\r\n或者关闭您的杀毒软件后重试 !",
    "安装过程发生错误 !\r\n请尝试<以管理员身份运行>安装文件 .\r\n或者关闭您的杀毒软件后重试 !",
    "安装打印机驱动过程发生错误 !\r\n请关闭您的杀毒软件后重试 !",
};

const char* ArchitectureName(WORD code) {
  switch (code) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      return "x86";
    case PROCESSOR_ARCHITECTURE_IA64:
      return "Intel Itanium-based";
    case PROCESSOR_ARCHITECTURE_AMD64:
      return "x64";
    case PROCESSOR_ARCHITECTURE_UNKNOWN:
      return "Unknown architecture";
    default:
      return "Unknown";
  }
}

template <class... Args>
std::string Format(const char* format, Args... args) {
  int length = std::snprintf(nullptr, 0, format, args...);
  if (length < 0) return {};
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::snprintf(text.data(), text.size(), format, args...);
  return text.data();
}

}  // namespace

bool CDriverInstaller::InstallPrinter(int setDefault, const char* portName) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148
  if (!::GetVersionExA(&version)) return false;
  int versionClass = version.dwMajorVersion < 6 ? 0 : 3;

  printerName = modelNames[kInstalledModel];

  SYSTEM_INFO system{};
  ::GetNativeSystemInfo(&system);
  bool installed = std::strcmp(ArchitectureName(system.wProcessorArchitecture), "x64") == 0
                       ? InstallX64(versionClass, portName)
                       : InstallX86(versionClass, portName);
  if (!installed) return false;

  if (setDefault != 0) ::SetDefaultPrinterA(installedPrinterName);
  std::string success =
      ShowsChinese(userLanguage)
          ? Format(
                "打印机驱动已经成功的安装在您的电脑上 !\r\n打印机名称 : %s\r\n打印机端口 : %s\r\n",
                installedPrinterName, portName)
          : Format(
                "The printer driver has been successfully installed on your computer!\r\n"
                "Printer name : %s\r\nPrinter port : %s\r\n",
                installedPrinterName, portName);
  ShowInstallerMessage(success.c_str());
  return true;
}

bool CDriverInstaller::InstallX86(int versionClass, const char* portName) {
  return Install(kX86, versionClass, portName);
}

bool CDriverInstaller::InstallX64(int versionClass, const char* portName) {
  return Install(kX64, versionClass, portName);
}

bool CDriverInstaller::Install(const Flavour& flavour, int versionClass, const char* portName) {
  bool chinese = ShowsChinese(userLanguage);
  const char* copyFailed =
      versionClass < 3
          ? (chinese ? flavour.copyFailedOldChinese : "Malfunction !")
          : (chinese ? flavour.copyFailedChinese
                     : "Malfunction !\nPls try using <Run as administrator>open this App");

  // The 8-bit call wants room for the wide path, so these 256 bytes take a directory of up to
  // 127 characters; a longer one leaves the buffer empty.
  std::array<char, 256> driverDirectory{};
  DWORD needed = 0;
  ::GetPrinterDriverDirectoryA(nullptr, const_cast<LPSTR>(flavour.environment), 1,
                               reinterpret_cast<LPBYTE>(driverDirectory.data()),
                               driverDirectory.size(), &needed);
  driverDirectory.back() = '\0';
  // Without a directory every destination would be a path of its own making, such as "\KV80.DLL".
  if (driverDirectory[0] == '\0') {
    ShowInstallerMessage(copyFailed);
    return false;
  }

  const std::string files[8] = {dllNames[kInstalledModel],
                                gpdNames[kInstalledModel],
                                "UNIDRV.DLL",
                                "UNIDRVUI.DLL",
                                "UNIRES.DLL",
                                "UNIDRV.HLP",
                                "TTFSUB.GPD",
                                "STDNAMES.GPD"};
  char destinations[8][MAX_PATH] = {};
  bool fits[8] = {};
  for (int i = 0; i < 8; ++i) {
    int length = std::snprintf(destinations[i], MAX_PATH, "%s\\%s", driverDirectory.data(),
                               files[i].c_str());
    fits[i] = static_cast<unsigned>(length) < MAX_PATH;  // a failure's -1 is past it too
  }
  for (int i = 0; i < 2; ++i)
    if (fits[i]) ::DeleteFileA(destinations[i]);

  bool copied = true;
  bool made[8] = {};
  for (int i = 0; i < 8; ++i) {
    char source[MAX_PATH];
    int length =
        std::snprintf(source, sizeof source, "%s\\%s", flavour.sourceFolder, files[i].c_str());
    // Only a file this run wrote and still holds is ours to install, and what arrives must be
    // its bytes exactly: anything else in the staging folder may have been planted.
    const std::vector<unsigned char>* held =
        fits[i] && static_cast<unsigned>(length) < MAX_PATH ? staged::Held(source) : nullptr;
    made[i] = held != nullptr && ::CopyFileA(source, destinations[i], FALSE);
    copied = copied && made[i] && staged::CopiedExactly(*held, destinations[i]);
  }
  if (!copied) {
    // Nothing of a refused installation stays where the spooler takes driver files from.
    for (int i = 0; i < 8; ++i)
      if (made[i]) ::DeleteFileA(destinations[i]);
    ShowInstallerMessage(copyFailed);
    return false;
  }

  char dataFile[MAX_PATH];
  std::snprintf(dataFile, sizeof dataFile, "%s", gpdNames[kInstalledModel].c_str());
  char dependentFiles[MAX_PATH] = {};
  std::snprintf(dependentFiles, sizeof dependentFiles,
                "TTFSUB.GPD\nSTDNAMES.GPD\nUNIRES.DLL\n%s\n\n\n\n",
                dllNames[kInstalledModel].c_str());
  std::replace(dependentFiles, dependentFiles + std::strlen(dependentFiles), '\n', '\0');

  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<LPSTR>(modelNames[kInstalledModel].c_str());
  driver.pEnvironment = const_cast<LPSTR>(flavour.environment);
  driver.pDriverPath = const_cast<LPSTR>("uniDRV.DLL");
  driver.pDataFile = dataFile;
  driver.pConfigFile = const_cast<LPSTR>("uniDRVUI.DLL");
  driver.pHelpFile = const_cast<LPSTR>("uniDRV.HLP");
  driver.pDependentFiles = dependentFiles;
  driver.pMonitorName = nullptr;
  driver.pDefaultDataType = const_cast<LPSTR>("RAW");
  BOOL registered = ::AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver));
  DWORD error = ::GetLastError();
  ::Sleep(kRegistrationWait);
  if (!registered) {
    ShowSystemErrorText(error);
    ShowInstallerMessage(chinese ? flavour.registrationFailedChinese
                                 : "Install printer driver failed !");
    return false;
  }
  ::Sleep(kRegistrationWait);

  bool created = CreateQueue(portName);

  for (int i = 0; i < 8; ++i)
    if (fits[i]) ::DeleteFileA(destinations[i]);
  return created;
}

bool CDriverInstaller::CreateQueue(const char* portName) {
  auto* emptyName = const_cast<LPSTR>("");  // the local machine; the call only reads it
  DWORD needed = 0, count = 0;
  ::EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, emptyName, 2, nullptr, 0, &needed,
                  &count);
  std::string candidate = printerName;
  BYTE* buffer = new (std::nothrow) BYTE[static_cast<size_t>(needed) + 4];
  if (buffer != nullptr && ::EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, emptyName,
                                           2, buffer, needed, &needed, &count)) {
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer);
    const char* copyFormat = ShowsChinese(userLanguage) ? "%s (副本 %d)" : "%s (copy %d)";
    int n = 1;
    // Every clash starts a new scan, so the name found is one no listed printer has.
    for (int i = 0; static_cast<DWORD>(i) < count; ++i) {
      const char* name = printers[i].pPrinterName ? printers[i].pPrinterName : "";
      // The spooler refuses a name that differs from a queue's only in letter case. lstrcmpiA
      // reads both in the ANSI code page, as AddPrinterA hands the name on; CompareStringA
      // would read them in its locale's code page, which need not be that one.
      if (::lstrcmpiA(name, candidate.c_str()) == 0) {
        candidate = Format(copyFormat, printerName.c_str(), n);
        ++n;
        i = -1;
      }
      std::string trace = Format("name=%s,i=%d,n=%d.temStr=%s,userLanguage=%d\r\n", name, i, n,
                                 candidate.c_str(), static_cast<int>(userLanguage));
      ::OutputDebugStringA(trace.c_str());
    }
  }
  delete[] buffer;
  printerName = candidate;

  PRINTER_INFO_2A printer{};
  printer.pPrinterName = const_cast<LPSTR>(printerName.c_str());
  printer.pPortName = const_cast<LPSTR>(portName);
  printer.pDriverName = const_cast<LPSTR>(modelNames[kInstalledModel].c_str());
  printer.pPrintProcessor = const_cast<LPSTR>("WinPrint");
  printer.pDatatype = const_cast<LPSTR>("RAW");
  printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE handle = ::AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
  DWORD error = ::GetLastError();
  ::Sleep(kRegistrationWait);
  if (handle == nullptr) {
    // A queue that was not made is no success: say why, and that the install failed.
    ShowSystemErrorText(error);
    InstallMessages messages{};
    ShowInstallerMessage(messages.Load(userLanguage).installFailed);
    return false;
  }
  std::snprintf(installedPrinterName, sizeof installedPrinterName, "%s", printerName.c_str());
  ::ClosePrinter(handle);
  return true;
}
