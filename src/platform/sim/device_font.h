// The font a printer's device context starts in, read from its installed driver's files.
#pragma once

#include <optional>
#include <string>

namespace sim::detail {

// Cells in printer dots: a single-byte glyph's advance, a double-byte one's, the line pitch
// (the cell's height), and the glyph's height (the em) drawn at the top of the cell.
struct PrinterFont {
  int narrow = 16, wide = 32, height = 32, em = 32;
};

// The default device font of the queue's driver: the GPD (the driver's data file) names it by
// *DefaultFont, an RC_UFM resource of the GPD's *ResourceDLL, both taken from the spooler's own
// copies of the driver files. Nothing when any of them is missing or malformed.
std::optional<PrinterFont> DefaultDeviceFont(const std::string& queue);

}  // namespace sim::detail
