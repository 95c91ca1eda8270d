// CDriverInstaller: the installation engine the main dialog owns, with its model tables.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "install/install_messages.h"
#include "platform/win32.h"

class CDriverInstaller {
 public:
  static constexpr int kModelCount = 7;
  // The row of the model this installer installs: "KV-80C", "KV80C.GPD", "KV80.DLL".
  static constexpr int kInstalledModel = 3;

  // Fills the tables, starts the spooler service (not waited for) and reads the UI language.
  CDriverInstaller();
  CDriverInstaller(const CDriverInstaller&) = delete;
  CDriverInstaller& operator=(const CDriverInstaller&) = delete;

  // Deletes everything beneath the staging folder `folder`; any other folder is left alone.
  void DeleteFolderContents(std::string folder);

  // Registers the driver for the native environment and creates a queue on `portName` under a
  // name no printer has; true once the queue exists and the success text was shown.
  bool InstallPrinter(int setDefault, const char* portName);
  bool InstallX86(int versionClass, const char* portName);
  bool InstallX64(int versionClass, const char* portName);

  // Append the ports the hardware device maps name: "COM3:", "LPT1:".
  void EnumerateSerialPorts(std::vector<std::string>& foundPorts);
  void EnumerateParallelPorts(std::vector<std::string>& foundPorts);
  // Prints one page on `queueName`: the body text, the logo over it, the name, the time, a rule.
  void PrintTestPage(const char* queueName, HBITMAP logo, const char* bodyText);
  // Writes the Standard TCP/IP port "IP_[address]" and restarts the spooler to load it.
  void CreateNetworkPort(const char* addressText);
  // Has the Local Port monitor add `portName` when the spooler does not list it.
  void AddUnlistedPort(const char* portName);

  std::array<std::string, kModelCount> dllNames;
  std::array<std::string, kModelCount> gpdNames;
  std::array<std::string, kModelCount> modelNames;
  std::array<std::string, 2> connectionKinds;
  std::string printerName;
  std::array<const char*, 9> windowsNames;
  DWORD userLanguage = 0;
  char installedPrinterName[256] = {};

  struct Flavour;

 private:
  bool Install(const Flavour& flavour, int versionClass, const char* portName);
  // Finds the unique name, creates the queue and records its name; false when it was refused.
  bool CreateQueue(const char* portName);
};
