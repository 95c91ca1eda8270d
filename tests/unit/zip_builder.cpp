// Zip archives made by the tests.
#include "zip_builder.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "zip.h"
#include "zlib.h"

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string Deflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string MakeZip(const std::vector<ZipMember>& members) {
  char path[] = "/tmp/qm-zip-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("mkstemp");
  close(fd);
  zipFile zip = zipOpen(path, APPEND_STATUS_CREATE);
  if (!zip) throw std::runtime_error("zipOpen");
  for (const auto& m : members) {
    zip_fileinfo info{};
    info.dosDate = m.dosDate;
    info.external_fa = m.external;
    int rc = zipOpenNewFileInZip4(
        zip, m.name.c_str(), &info, m.localExtra.empty() ? nullptr : m.localExtra.data(),
        static_cast<uInt>(m.localExtra.size()), nullptr, 0, nullptr, m.deflate ? Z_DEFLATED : 0,
        m.deflate ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
        nullptr, 0, m.versionMadeBy, 0);
    if (rc != ZIP_OK) throw std::runtime_error("zipOpenNewFileInZip4");
    if (!m.data.empty() &&
        zipWriteInFileInZip(zip, m.data.data(), static_cast<unsigned>(m.data.size())) != ZIP_OK)
      throw std::runtime_error("zipWriteInFileInZip");
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::remove(path);
  return bytes;
}

namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

struct Keys {
  uint32_t k0 = 305419896, k1 = 591751049, k2 = 878082192;
  const z_crc_t* table = get_crc_table();
  uint32_t Crc(uint32_t c, unsigned char b) { return table[(c ^ b) & 0xff] ^ (c >> 8); }
  void Update(unsigned char b) {
    k0 = Crc(k0, b);
    k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
    k2 = Crc(k2, static_cast<unsigned char>(k1 >> 24));
  }
  char Encrypt(unsigned char plain) {
    uint32_t t = (k2 & 0xffff) | 2;
    unsigned char mask = static_cast<unsigned char>((t * (t ^ 1)) >> 8);
    Update(plain);
    return static_cast<char>(plain ^ mask);
  }
};

}  // namespace

std::string MakeRawZip(const std::vector<ZipMember>& members) {
  std::string out, central;
  for (const auto& m : members) {
    uint32_t crc = Crc32(m.data);
    std::string payload = m.rawDeflate ? Deflate(m.data) + m.trailing : m.data;
    if (m.encrypt) {
      Keys keys;
      std::string header(11, '\x5a');
      // With a data descriptor the check byte comes from the DOS time, the CRC being unknown.
      uint32_t check = m.dataDescriptor ? (m.dosDate >> 8) & 0xff : crc >> 24;
      header += static_cast<char>(check ^ (m.wrongCheck ? 0x55 : 0));
      std::string encrypted;
      for (char c : header + payload) encrypted += keys.Encrypt(static_cast<unsigned char>(c));
      payload = encrypted;
    }
    payload.resize(payload.size() - m.cut);
    uint32_t offset = static_cast<uint32_t>(out.size());
    uint16_t flags = (m.encrypt ? 1 : 0) | (m.dataDescriptor ? 8 : 0);
    uint16_t method = m.rawDeflate ? 8 : 0;
    uint32_t packed = static_cast<uint32_t>(payload.size());
    uint32_t unpacked = static_cast<uint32_t>(m.data.size());
    Put32(out, 0x04034b50);
    Put16(out, 20);
    Put16(out, flags);
    Put16(out, method);
    Put32(out, m.dosDate);
    Put32(out, m.dataDescriptor ? 0 : crc);
    Put32(out, m.dataDescriptor ? 0 : packed);
    Put32(out, m.dataDescriptor ? 0 : unpacked);
    Put16(out, static_cast<uint32_t>(m.name.size()));
    Put16(out, static_cast<uint32_t>(m.localExtra.size()));
    out += m.name + m.localExtra + payload;
    if (m.dataDescriptor) {
      Put32(out, 0x08074b50);
      Put32(out, crc);
      Put32(out, packed);
      Put32(out, unpacked);
    }

    Put32(central, 0x02014b50);
    Put16(central, m.versionMadeBy);
    Put16(central, 20);
    Put16(central, flags);
    Put16(central, method);
    Put32(central, m.dosDate);
    Put32(central, crc);
    Put32(central, packed);
    Put32(central, unpacked);
    Put16(central, static_cast<uint32_t>(m.name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, m.external);
    Put32(central, offset);
    central += m.name;
  }
  uint32_t centralOffset = static_cast<uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(members.size()));
  Put16(out, static_cast<uint32_t>(members.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

size_t LocalHeaderOffset(const std::string& zip, int index) {
  size_t at = 0;
  for (int i = 0;; ++i) {
    at = zip.find(std::string("PK\x03\x04", 4), i == 0 ? 0 : at + 4);
    if (at == std::string::npos || i == index) return at;
  }
}
