// A port the spooler does not list, added through the Local Port monitor.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "install/driver_installer.h"
#include "ui/handles.h"

namespace {

enum class Listing { kListed, kNotListed, kUnknown };

// Whether the running spooler lists `portName`, letter case aside, as it compares port names.
Listing FindPort(const char* portName) {
  DWORD needed = 0, count = 0;
  if (::EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count)) {
    return count == 0 ? Listing::kNotListed : Listing::kUnknown;
  }
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return Listing::kUnknown;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
  // A port added between the two calls makes the second one fail: then nothing is known.
  if (!buffer || !::EnumPortsA(nullptr, 1, buffer.get(), needed, &needed, &count))
    return Listing::kUnknown;
  const auto* ports = reinterpret_cast<const PORT_INFO_1A*>(buffer.get());
  for (DWORD i = 0; i < count; ++i)
    if (ports[i].pName != nullptr && ::lstrcmpiA(ports[i].pName, portName) == 0)
      return Listing::kListed;
  return Listing::kNotListed;
}

void TraceNotAdded(const char* portName, const char* call, DWORD error) {
  char trace[320];
  std::snprintf(trace, sizeof trace, "port %s not added: %s answered %lu", portName, call,
                static_cast<unsigned long>(error));
  ::OutputDebugStringA(trace);
}

}  // namespace

// The Local Port monitor reads its ports from the Ports key when the spooler starts: a value
// written there later is unknown to the running spooler, and AddPrinterA refuses the port.
// Through the monitor's AddPort the spooler learns it at once. Whatever fails here, the
// installation goes on, and AddPrinterA then tells the user of the unknown port.
void CDriverInstaller::AddUnlistedPort(const char* portName) {
  Listing listing = FindPort(portName);
  if (listing == Listing::kUnknown) TraceNotAdded(portName, "EnumPortsA", ::GetLastError());
  if (listing != Listing::kNotListed) return;

  // The monitor takes the name as UTF-16. Port names are ASCII (the device map's COM3:), which
  // widens byte for byte; any other name is not handed on.
  WCHAR wideName[260];
  size_t length = std::strlen(portName);
  if (length == 0 || length >= sizeof wideName / sizeof wideName[0]) return;
  for (size_t i = 0; i <= length; ++i) {
    auto c = static_cast<unsigned char>(portName[i]);
    if (c >= 0x80) return;
    wideName[i] = c;
  }

  // Adding a port needs the administer right on the server, which an elevated program has.
  PRINTER_DEFAULTSA access = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  ui::Printer monitor;
  if (!::OpenPrinterA(const_cast<LPSTR>(",XcvMonitor Local Port"), monitor.Receive(), &access)) {
    TraceNotAdded(portName, "OpenPrinterA", ::GetLastError());
    return;
  }
  // Spelled out: WCHAR is not the compiler's wchar_t in every build.
  const WCHAR addPort[] = {'A', 'd', 'd', 'P', 'o', 'r', 't', '\0'};
  DWORD needed = 0, status = ERROR_SUCCESS;
  // XcvDataW's own result says only that the monitor was reached; its answer is the status.
  if (!::XcvDataW(monitor.Get(), addPort, reinterpret_cast<BYTE*>(wideName),
                  static_cast<DWORD>((length + 1) * sizeof(WCHAR)), nullptr, 0, &needed, &status))
    TraceNotAdded(portName, "XcvDataW", ::GetLastError());
  else if (status != ERROR_SUCCESS)
    TraceNotAdded(portName, "the Local Port monitor", status);
}
