// Reading resources and the fixed version record out of a PE image held as bytes.
#include "platform/sim/pe_image.h"

#include <algorithm>

namespace sim::pe {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

class Image {
 public:
  explicit Image(const std::string& bytes) : bytes_(bytes) {}

  bool U16(size_t at, uint32_t& value) const {
    if (at > bytes_.size() || bytes_.size() - at < 2) return false;
    value = Byte(at) | Byte(at + 1) << 8;
    return true;
  }
  bool U32(size_t at, uint32_t& value) const {
    uint32_t low = 0, high = 0;
    if (!U16(at, low) || !U16(at + 2, high)) return false;
    value = low | high << 16;
    return true;
  }

  // The file offset of an RVA, through the section that holds it.
  bool Offset(uint32_t rva, uint32_t size, size_t& offset) const {
    uint32_t lfanew = 0, signature = 0, sections = 0, optionalSize = 0;
    if (!U32(0x3C, lfanew) || !U32(lfanew, signature) || signature != 0x4550) return false;
    if (!U16(lfanew + 6, sections) || !U16(lfanew + 20, optionalSize)) return false;
    size_t table = size_t{lfanew} + 24 + optionalSize;
    for (uint32_t i = 0; i < sections; ++i) {
      size_t header = table + size_t{i} * 40;
      uint32_t virtualSize = 0, address = 0, rawSize = 0, rawOffset = 0;
      if (!U32(header + 8, virtualSize) || !U32(header + 12, address) ||
          !U32(header + 16, rawSize) || !U32(header + 20, rawOffset))
        return false;
      uint64_t extent = std::max(virtualSize, rawSize);
      if (rva < address || uint64_t{rva} + size > uint64_t{address} + extent) continue;
      if (uint64_t{rva} - address + size > rawSize) return false;  // not stored in the file
      offset = size_t{rawOffset} + (rva - address);
      return offset <= bytes_.size() && bytes_.size() - offset >= size;
    }
    return false;
  }

  // The resource directory's RVA and size: data directory 2 of the optional header.
  bool ResourceDirectory(uint32_t& rva, uint32_t& size) const {
    uint32_t lfanew = 0, magic = 0, count = 0;
    if (!U32(0x3C, lfanew) || !U16(size_t{lfanew} + 24, magic)) return false;
    size_t optional = size_t{lfanew} + 24;
    size_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (directories == 0 || !U32(optional + directories - 4, count) || count <= 2) return false;
    return U32(optional + directories + 16, rva) && U32(optional + directories + 20, size) &&
           rva != 0;
  }

  const std::string& bytes() const { return bytes_; }

 private:
  uint32_t Byte(size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
  const std::string& bytes_;
};

// The entry of `id` in the directory table at `table` (offsets relative to the section's
// start); `any` takes the first entry whatever its id. Answers its OffsetToData.
bool Entry(const Image& image, size_t base, uint32_t table, uint32_t id, bool any,
           uint32_t& target) {
  uint32_t named = 0, ids = 0;
  if (!image.U16(base + table + 12, named) || !image.U16(base + table + 14, ids)) return false;
  for (uint32_t i = 0; i < named + ids; ++i) {
    size_t entry = base + table + 16 + size_t{i} * 8;
    uint32_t name = 0, data = 0;
    if (!image.U32(entry, name) || !image.U32(entry + 4, data)) return false;
    if (any || (!(name & 0x80000000u) && name == id)) {
      target = data;
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> Resource(const std::string& bytes, uint32_t type, uint32_t id) {
  Image image(bytes);
  uint32_t rva = 0, size = 0;
  size_t base = 0;
  if (!image.ResourceDirectory(rva, size) || !image.Offset(rva, size, base)) return std::nullopt;
  // Type, name and language levels: the first two are subdirectories, the third a data entry.
  uint32_t next = 0;
  if (!Entry(image, base, 0, type, false, next) || !(next & 0x80000000u)) return std::nullopt;
  if (!Entry(image, base, next & 0x7FFFFFFFu, id, false, next) || !(next & 0x80000000u))
    return std::nullopt;
  if (!Entry(image, base, next & 0x7FFFFFFFu, 0, true, next) || (next & 0x80000000u))
    return std::nullopt;
  uint32_t dataRva = 0, dataSize = 0;
  size_t at = 0;
  if (next > size || !image.U32(base + next, dataRva) || !image.U32(base + next + 4, dataSize) ||
      !image.Offset(dataRva, dataSize, at))
    return std::nullopt;
  return bytes.substr(at, dataSize);
}

std::optional<FixedFileInfo> Version(const std::string& bytes) {
  std::optional<std::string> resource = Resource(bytes, kRtVersion, 1);
  if (!resource) return std::nullopt;
  // VS_VERSIONINFO: three WORDs, the key "VS_VERSION_INFO" in UTF-16 with its NUL, padding to
  // a 32-bit boundary, then the VS_FIXEDFILEINFO.
  Image block(*resource);
  uint32_t signature = 0;
  FixedFileInfo info;
  constexpr size_t kFixed = 40;
  if (!block.U32(kFixed, signature) || signature != kFixedFileInfoSignature) return std::nullopt;
  if (!block.U32(kFixed + 8, info.fileVersionMS) || !block.U32(kFixed + 12, info.fileVersionLS) ||
      !block.U32(kFixed + 36, info.fileType) || !block.U32(kFixed + 40, info.fileSubtype))
    return std::nullopt;
  return info;
}

}  // namespace sim::pe
