// Simulated device interfaces: the USB printer class, its registry keys and arrival notices.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/sim/state.h"

using namespace sim::detail;

namespace {

const GUID& kUsbPrint = sim::kUsbPrinterClass;

bool SameGuid(const GUID* a, const GUID& b) {
  return a && std::memcmp(a, &b, sizeof b) == 0;
}

bool Fail(DWORD error) {
  M().lastError = error;
  return false;
}

// The device installation functions live in SETUPAPI.dll, delay-loaded like the spooler's
// (platform/sim/spooler.cpp): bound at the first call; ERROR_MOD_NOT_FOUND where no file is
// found (the real helper raises an exception then).
bool Bound() {
  if (DelayLoad("SETUPAPI.dll")) return true;
  M().lastError = ERROR_MOD_NOT_FOUND;
  return false;
}

}  // namespace

namespace sim {

std::vector<UsbInterface>& UsbPrinterInterfaces() {
  return M().usbInterfaces;
}

std::string InterfaceParametersKey(const std::string& path) {
  std::string transformed;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByte(c) && i + 1 < path.size()) {
      transformed += path[i];
      transformed += path[++i];
    } else {
      transformed += c == '\\' ? '#' : path[i];
    }
  }
  return "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
         "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\" +
         transformed + "\\#\\Device Parameters";
}

void PlugUsbPrinter(const std::string& path, DWORD portNumber) {
  auto& list = M().usbInterfaces;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const UsbInterface& i) { return i.path == path; }),
             list.end());
  list.push_back({path, SPINT_ACTIVE, true, true});
  PutRegistryDword(InterfaceParametersKey(path), "Port Number", portNumber);
  BroadcastDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE);
}

void UnplugUsbPrinter(const std::string& path) {
  for (auto& i : M().usbInterfaces) {
    if (i.path != path) continue;
    i.present = false;
    i.flags = 0;
  }
  BroadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE);
}

int OpenDeviceInfoSets() {
  return static_cast<int>(M().deviceSets.size());
}

}  // namespace sim

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND, DWORD flags) {
  if (!Bound()) return INVALID_HANDLE_VALUE;
  if (Enter("SetupDiGetClassDevsA", Args(enumerator, flags))) return INVALID_HANDLE_VALUE;
  // Without a class every class must be asked for; the simulated machine knows one class.
  if (classGuid == nullptr && !(flags & DIGCF_ALLCLASSES))
    return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  std::vector<sim::UsbInterface> present;
  if ((SameGuid(classGuid, kUsbPrint) || (flags & DIGCF_ALLCLASSES)) &&
      (flags & DIGCF_DEVICEINTERFACE)) {
    for (const auto& i : M().usbInterfaces)
      if (i.present || !(flags & DIGCF_PRESENT)) present.push_back(i);
  }
  uintptr_t handle = M().nextDeviceSet += 4;
  M().deviceSets[handle] = present;
  return reinterpret_cast<HDEVINFO>(handle);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID* classGuid, DWORD index,
                                 PSP_DEVICE_INTERFACE_DATA data) {
  if (!Bound()) return FALSE;
  if (Enter("SetupDiEnumDeviceInterfaces", Args(index))) return FALSE;
  auto it = M().deviceSets.find(reinterpret_cast<uintptr_t>(set));
  if (it == M().deviceSets.end()) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // As SP_DEVICE_INTERFACE_DATA's documentation says of every call that takes one.
  if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  if (!SameGuid(classGuid, kUsbPrint) || index >= it->second.size())
    return Fail(ERROR_NO_MORE_ITEMS);
  data->InterfaceClassGuid = kUsbPrint;
  data->Flags = it->second[index].flags;
  data->Reserved = index + 1;
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                      LPDWORD required, PSP_DEVINFO_DATA) {
  if (!Bound()) return FALSE;
  if (Enter("SetupDiGetDeviceInterfaceDetailA", Args(size))) return FALSE;
  // Its documentation asks for a size of 0 when there is no buffer.
  if (detail == nullptr && size != 0) return Fail(ERROR_INVALID_USER_BUFFER);
  auto it = M().deviceSets.find(reinterpret_cast<uintptr_t>(set));
  if (it == M().deviceSets.end()) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->Reserved == 0 || data->Reserved > it->second.size())
    return Fail(ERROR_INVALID_PARAMETER);
  const sim::UsbInterface& device = it->second[data->Reserved - 1];
  if (!device.detailReadable) return Fail(ERROR_NO_MORE_ITEMS);
  DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                    device.path.size() + 1);
  if (required) *required = needed;
  if (detail == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
    return Fail(ERROR_INVALID_USER_BUFFER);
  std::memcpy(detail->DevicePath, device.path.c_str(), device.path.size() + 1);
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  if (!Bound()) return FALSE;
  Enter("SetupDiDestroyDeviceInfoList", "");
  return M().deviceSets.erase(reinterpret_cast<uintptr_t>(set)) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
