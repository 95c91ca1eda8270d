// CUsbPrinterPorts: the USB printer ports of present printers of the supported vendors.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// GUID_DEVINTERFACE_USBPRINT: the device-interface class of USB printers.
extern const GUID kUsbPrintInterface;

class CUsbPrinterPorts {
 public:
  static constexpr DWORD kValueBufferSize = 261;
  static constexpr DWORD kMaxInterfaces = 255;

  // Appends "USB" and the three-digit port number of each present printer, in the order the
  // system lists their interfaces; false when the interfaces or one's detail cannot be read.
  static bool Enumerate(std::vector<std::string>& foundPorts);
  // True when characters 9 to 16 of the device path name a supported vendor, in any case.
  static bool IsSupportedVendor(const char* devicePath);
  // Reads `valueName` of the interface's `subkeyName` key into a zeroed buffer of 261 bytes;
  // `dataSize` and `type` receive the value's length and registry type.
  static bool ReadDeviceParameter(const char* devicePath, const char* subkeyName,
                                  const char* valueName, BYTE* buffer, DWORD* dataSize,
                                  DWORD* type);
  // The interface's registry key below HKEY_LOCAL_MACHINE.
  static std::string InterfaceKeyPath(const char* devicePath, const char* subkeyName);
};
