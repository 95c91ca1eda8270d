// CDriverInstaller: construction and the model tables.
#include "install/driver_installer.h"

#include "install/system_program.h"
#include "package/driver_package.h"

namespace {

struct ModelRow {
  const char* model;
  const char* gpd;
  const char* dll;
};

// Rows 0 and 1, 2 and 3, 5 and 6 share one resource library.
constexpr ModelRow kModels[CDriverInstaller::kModelCount] = {
    {"KV-58", "KV58.GPD", "KV58.DLL"},   {"KV-58C", "KV58C.GPD", "KV58.DLL"},
    {"KV-80", "KV80.GPD", "KV80.DLL"},   {"KV-80C", "KV80C.GPD", "KV80.DLL"},
    {"KV-90", "KV90.GPD", "KV90.DLL"},   {"KV-76", "KV76.GPD", "KV76.DLL"},
    {"KV-76C", "KV76C.GPD", "KV76.DLL"},
};

constexpr std::array<const char*, 9> kWindowsNames = {
    "Windows 2000", "Windows XP",  "Windows 2003", "Windows Vista", "Windows 7",
    "Windows 8",    "Windows 8.1", "Windows 10",   "Windows 10.1",
};

}  // namespace

CDriverInstaller::CDriverInstaller() : connectionKinds{"USB", "Another"} {
  for (int row = 0; row < kModelCount; ++row) {
    modelNames[row] = kModels[row].model;
    gpdNames[row] = kModels[row].gpd;
    dllNames[row] = kModels[row].dll;
  }
  windowsNames = kWindowsNames;
  // The spooler may have been stopped; starting a running service changes nothing.
  SystemProgram net;
  if (SystemProgramPath("net.exe", net))
    ::ShellExecuteA(nullptr, "open", net.path, "start spooler", net.directory, SW_HIDE);
  userLanguage = ::GetUserDefaultUILanguage();
}

void CDriverInstaller::DeleteFolderContents(std::string folder) {
  DeleteStagingFolderContents(folder);
}
