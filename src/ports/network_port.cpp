// A Standard TCP/IP port written into the monitor's key, then a restart of the spooler.
#include <cstdio>
#include <cstring>

#include "install/driver_installer.h"
#include "install/system_program.h"
#include "ui/handles.h"

namespace {

// A service command that does not end is given up after this long, and left to itself.
constexpr DWORD kServiceCommandLimit = 60000;

void SetText(HKEY key, const char* name, const char* text) {
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
}

// REG_DWORD is the number as it lies in memory: Windows runs little-endian only.
void SetNumber(HKEY key, const char* name, DWORD value) {
  ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void RunServiceCommand(const SystemProgram& net, const char* parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = net.path;
  info.lpParameters = parameters;
  info.lpDirectory = net.directory;
  info.nShow = SW_HIDE;
  ::ShellExecuteExA(&info);
  ui::Process process(info.hProcess);
  if (!process) return;
  if (::WaitForSingleObject(process.Get(), kServiceCommandLimit) == WAIT_TIMEOUT) {
    char trace[96];
    std::snprintf(trace, sizeof trace, "net %s did not end within %u s", parameters,
                  static_cast<unsigned>(kServiceCommandLimit / 1000));
    ::OutputDebugStringA(trace);
  }
}

}  // namespace

void CDriverInstaller::CreateNetworkPort(const char* addressText) {
  char portKeyName[260];
  std::snprintf(portKeyName, sizeof portKeyName, "IP_[%s]", addressText);
  ui::Key port;
  {
    ui::Key ports;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                        "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP "
                        "Port\\Ports",
                        0, KEY_READ | KEY_WRITE, ports.Receive()) == ERROR_SUCCESS) {
      ::RegCreateKeyExA(ports.Get(), portKeyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, port.Receive(), nullptr);
    }
  }
  if (port) {
    SetText(port.Get(), "HostName", addressText);
    SetText(port.Get(), "HWAddress", "");
    SetText(port.Get(), "IPAddress", "");
    SetNumber(port.Get(), "PortMonMibPortIndex", 0);
    SetNumber(port.Get(), "PortNumber", 9100);
    SetNumber(port.Get(), "Protocol", 1);
    SetText(port.Get(), "SNMP Community", "tarnel");
    SetNumber(port.Get(), "SNMP Enabled", 0);
    SetNumber(port.Get(), "SNMP Index", 1);
  }
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!::GetVersionExA(&version)) return;
  if (port) SetNumber(port.Get(), "Version", version.dwMajorVersion == 5 ? 1 : 2);
  port.Reset();

  // Without the system directory there is no net to trust: the spooler is left as it is.
  SystemProgram net;
  if (!SystemProgramPath("net.exe", net)) return;
  RunServiceCommand(net, "stop spooler");
  ::Sleep(20);
  RunServiceCommand(net, "start spooler");
}
