// Reading a Unidrv driver's default device font: the GPD's *DefaultFont and *ResourceDLL, then
// the font's UNIFM_HDR and IFIMETRICS in that DLL's RC_UFM resource.
//
// Evidence: "Hardware-resident fonts" and "Attributes for Device Fonts" (*DeviceFonts, RC_UFM,
// *DefaultFont: "the default font"); "UNIFM_HDR structure" (loIFIMetrics points to the 32-bit
// IFIMETRICS); "IFIMETRICS structure": GDI's TEXTMETRIC takes tmAscent and tmDescent from
// fwdWinAscender and fwdWinDescender, so a line of DrawText is their sum; fwdAveCharWidth is a
// single-byte glyph's advance and fwdMaxCharInc a double-byte one's in a fixed-pitch font.
#include "platform/sim/device_font.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "platform/sim/pe_image.h"
#include "platform/sim/state.h"

namespace sim::detail {
namespace {

constexpr uint32_t kRcUfm = 260;  // minidrv.h

// The value of a root-level `*Name:` entry of a GPD, comments dropped; empty when absent.
std::string GpdValue(const std::string& gpd, const std::string& name) {
  std::istringstream lines(gpd);
  std::string line;
  const std::string key = "*" + name + ":";
  while (std::getline(lines, line)) {
    line = line.substr(0, line.find("*%"));
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\r") + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return "";
}

int16_t Short(const std::string& bytes, size_t at) {
  uint16_t value = static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                         static_cast<unsigned char>(bytes[at + 1]) << 8);
  int16_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

uint32_t Long(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint16_t>(Short(bytes, at))) |
         static_cast<uint32_t>(static_cast<uint16_t>(Short(bytes, at + 2))) << 16;
}

const sim::DriverRecord* DriverOf(const std::string& queue) {
  const SpoolerState& spooler = M().spooler;
  auto printer = std::find_if(spooler.printers.begin(), spooler.printers.end(), [&](auto& p) {
    return strcasecmp(p.name.c_str(), queue.c_str()) == 0;
  });
  if (printer == spooler.printers.end()) return nullptr;
  // A local queue prints through the driver of the machine's own environment.
  std::string environment = M().system.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64
                                ? "Windows x64"
                                : "Windows NT x86";
  for (const auto& driver : spooler.drivers)
    if (strcasecmp(driver.name.c_str(), printer->driver.c_str()) == 0 &&
        strcasecmp(driver.environment.c_str(), environment.c_str()) == 0)
      return &driver;
  return nullptr;
}

}  // namespace

std::optional<PrinterFont> DefaultDeviceFont(const std::string& queue) {
  const sim::DriverRecord* driver = DriverOf(queue);
  if (driver == nullptr) return std::nullopt;
  std::string folder =
      sim::DriverDirectory(driver->environment) + "\\" + std::to_string(driver->version) + "\\";
  std::string gpd = sim::FileBytes(folder + driver->dataFile);
  std::string fontId = GpdValue(gpd, "DefaultFont"), library = GpdValue(gpd, "ResourceDLL");
  if (fontId.empty() || library.empty() ||
      fontId.find_first_not_of("0123456789") != std::string::npos || fontId.size() > 5)
    return std::nullopt;
  std::optional<std::string> ufm = pe::Resource(sim::FileBytes(folder + library), kRcUfm,
                                                static_cast<uint32_t>(std::stoi(fontId)));
  // UNIFM_HDR is 44 bytes, loIFIMetrics at 20; the IFIMETRICS fields used end at byte 80.
  if (!ufm || ufm->size() < 44) return std::nullopt;
  size_t ifi = Long(*ufm, 20);
  if (ifi > ufm->size() || ufm->size() - ifi < 80) return std::nullopt;
  PrinterFont font;
  font.em = Short(*ufm, ifi + 56);
  font.height = Short(*ufm, ifi + 60) + Short(*ufm, ifi + 62);
  font.narrow = Short(*ufm, ifi + 76);
  font.wide = Short(*ufm, ifi + 78);
  if (font.em <= 0 || font.height < font.em || font.narrow <= 0 || font.wide < font.narrow)
    return std::nullopt;
  return font;
}

}  // namespace sim::detail
