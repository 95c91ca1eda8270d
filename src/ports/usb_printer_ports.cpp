// USB printer ports over the device-interface class and the interfaces' registry keys.
#include "ports/usb_printer_ports.h"

#include <cstdio>
#include <cstring>

#include "ui/ascii.h"
#include "ui/handles.h"

const GUID kUsbPrintInterface = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

namespace {

const char* const kSupportedVendorIds[] = {"vid_067b", "vid_0416", "vid_1cbe",
                                           "vid_0483", "vid_0471", "vid_1FC9"};

// The port a 4-byte little-endian "Port Number" names: 3 gives "USB003", 261 "USB261".
std::string UsbPortName(const BYTE* number) {
  unsigned port = static_cast<unsigned>(number[0]) | (static_cast<unsigned>(number[1]) << 8) |
                  (static_cast<unsigned>(number[2]) << 16) |
                  (static_cast<unsigned>(number[3]) << 24);
  char name[16];
  std::snprintf(name, sizeof name, "USB%03u", port);
  return name;
}

}  // namespace

bool CUsbPrinterPorts::IsSupportedVendor(const char* devicePath) {
  if (devicePath == nullptr || std::strlen(devicePath) < 16) return false;
  char vendor[9] = {};
  std::memcpy(vendor, devicePath + 8, 8);
  for (const char* supported : kSupportedVendorIds)
    if (ui::EqualNoCase(vendor, supported, 8)) return true;
  return false;
}

std::string CUsbPrinterPorts::InterfaceKeyPath(const char* devicePath, const char* subkeyName) {
  std::string path =
      "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\";
  // Character by character in the ANSI code page: a trail byte is never a backslash.
  for (const char* p = devicePath; *p;) {
    const char* next = ::CharNextA(p);
    if (next == p + 1 && *p == '\\') {
      path += '#';
    } else {
      path.append(p, next);
    }
    p = next;
  }
  path += "\\#\\";
  path += subkeyName;
  return path;
}

bool CUsbPrinterPorts::ReadDeviceParameter(const char* devicePath, const char* subkeyName,
                                           const char* valueName, BYTE* buffer, DWORD* dataSize,
                                           DWORD* type) {
  std::string keyPath = InterfaceKeyPath(devicePath, subkeyName);
  ui::Key key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    ::OutputDebugStringA("打开键失败");
    return false;
  }
  DWORD size = kValueBufferSize, valueType = REG_NONE;
  if (::RegQueryValueExA(key.Get(), valueName, nullptr, &valueType, buffer, &size) !=
      ERROR_SUCCESS) {
    ::OutputDebugStringA("读取键失败");
    return false;
  }
  if (dataSize) *dataSize = size;
  if (type) *type = valueType;
  if (valueType == REG_DWORD && size == 4) ::OutputDebugStringA(UsbPortName(buffer).c_str());
  return true;
}

bool CUsbPrinterPorts::Enumerate(std::vector<std::string>& foundPorts) {
  ui::DeviceSet set(::SetupDiGetClassDevsA(&kUsbPrintInterface, nullptr, nullptr,
                                           DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) return false;
  for (DWORD index = 0; index < kMaxInterfaces; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!::SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &kUsbPrintInterface, index, &data))
      break;
    if (data.Flags != SPINT_ACTIVE) continue;  // a default or removed interface is no printer
    DWORD required = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set.Get(), &data, nullptr, 0, &required, nullptr);
    if (required == 0) return false;
    size_t size = required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                      ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                      : required;
    std::vector<BYTE> buffer(size + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(set.Get(), &data, detail, required, nullptr, nullptr))
      return false;
    const char* path = detail->DevicePath;
    if (!IsSupportedVendor(path)) continue;
    BYTE value[kValueBufferSize] = {};
    DWORD length = 0, type = REG_NONE;
    // The port number is a REG_DWORD; the bytes of a text or of any other type name no port.
    if (!ReadDeviceParameter(path, "Device Parameters", "Port Number", value, &length, &type) ||
        type != REG_DWORD || length != 4) {
      ::OutputDebugStringA("read regkey failed");
      continue;
    }
    foundPorts.push_back(UsbPortName(value));
    ::OutputDebugStringA(foundPorts.back().c_str());
  }
  return true;
}
