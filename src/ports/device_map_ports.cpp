// Serial and parallel ports from the hardware device maps.
#include <cstdio>
#include <cstring>

#include "install/driver_installer.h"
#include "ui/handles.h"

namespace {

// A port name is handed to the spooler and the registry, and shown: no control characters.
bool HasControlCharacter(const std::string& name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// Calls `add` with each REG_SZ value's data text, in the registry's order; data of any other
// type is no text (a DWORD 5 would read as "\x05").
template <class Add>
void ForEachDeviceMapValue(const char* keyPath, Add add) {
  ui::Key key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
    return;
  for (DWORD index = 0;; ++index) {
    char name[260] = {};
    char data[260] = {};
    DWORD nameSize = sizeof name;
    // One byte short of the buffer, so the data is always terminated.
    DWORD dataSize = sizeof data - 1;
    DWORD type = REG_NONE;
    LSTATUS status = ::RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataSize);
    if (status == ERROR_MORE_DATA) continue;  // too long for a port name
    if (status != ERROR_SUCCESS) break;       // the end, or a map that cannot be read
    if (type == REG_SZ) add(data);
  }
}

void Append(std::vector<std::string>& foundPorts, const std::string& name) {
  if (HasControlCharacter(name)) return;
  foundPorts.push_back(name);
  ::OutputDebugStringA(name.c_str());
}

}  // namespace

void CDriverInstaller::EnumerateSerialPorts(std::vector<std::string>& foundPorts) {
  ForEachDeviceMapValue("HARDWARE\\DEVICEMAP\\SERIALCOMM",
                        [&](const char* data) { Append(foundPorts, std::string(data) + ":"); });
}

void CDriverInstaller::EnumerateParallelPorts(std::vector<std::string>& foundPorts) {
  ForEachDeviceMapValue("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", [&](const char* data) {
    size_t length = std::strlen(data);
    if (length == 0) return;  // no last character: no port
    Append(foundPorts, std::string("LPT") + data[length - 1] + ":");
  });
}
