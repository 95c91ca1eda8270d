// Zip archives made by the tests: through minizip's writer, or byte by byte for malformed ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipMember {
  std::string name;
  std::string data;
  bool deflate = true;
  uint32_t external = 0x20;
  uint16_t versionMadeBy = 20;  // host 0 in the high byte
  uint32_t dosDate = 0x50977472;
  std::string localExtra;
  bool encrypt = false;     // byte-built archives only: stored, empty password
  bool wrongCheck = false;  // with encrypt: a header whose check byte is off
  // Byte-built archives only: raw deflate instead of storing, with `trailing` after the stream;
  // the last `cut` bytes of the packed data left off; a data descriptor (flag bit 3) instead of
  // sizes and CRC-32 in the local header.
  bool rawDeflate = false;
  std::string trailing;
  size_t cut = 0;
  bool dataDescriptor = false;
};

// Through minizip's zip API.
std::string MakeZip(const std::vector<ZipMember>& members);
// Members written byte by byte, stored unless rawDeflate (local headers, central directory, end
// record).
std::string MakeRawZip(const std::vector<ZipMember>& members);
uint32_t Crc32(const std::string& data);
// Raw deflate (no zlib header), as zip members hold it.
std::string Deflate(const std::string& data);
// Offset of member `index`'s local header in an archive (found by its signature).
size_t LocalHeaderOffset(const std::string& zip, int index);
