// What the simulated spooler and printer read from a driver's PE files: resources and version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sim::pe {

// The bytes of the resource `type`/`id` (numeric both), the first language listed; nothing
// when the image is no PE file, has no such resource, or any offset on the way lies outside it.
// Layout: Microsoft's "PE Format" (the .rsrc section: resource directory table, entries, data
// entries, RVAs mapped through the section table).
std::optional<std::string> Resource(const std::string& image, uint32_t type, uint32_t id);

// VS_FIXEDFILEINFO of the RT_VERSION resource (VS_VERSIONINFO, "VS_FIXEDFILEINFO structure").
struct FixedFileInfo {
  uint32_t fileVersionMS = 0, fileVersionLS = 0, fileType = 0, fileSubtype = 0;
};
std::optional<FixedFileInfo> Version(const std::string& image);

}  // namespace sim::pe
