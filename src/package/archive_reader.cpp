// ArchiveReader over minizip: records, names, times, attributes and extraction into a base folder.
#include "package/archive_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "package/own_objects.h"
#include "platform/files_by_handle.h"
#include "ui/handles.h"
#include "unzip.h"
#include "zlib.h"

namespace {

constexpr size_t kPathSize = 260;

// ---- the memory block as minizip's input ----

using Block = ArchiveReader::MemoryBlock;

voidpf ZCALLBACK OpenBlock(voidpf opaque, const char*, int) {
  return opaque;
}

uLong ZCALLBACK ReadBlock(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* block = static_cast<Block*>(stream);
  uLong left = block->size - block->position;
  uLong count = std::min(size, left);
  std::memcpy(buffer, block->data + block->position, count);
  block->position += static_cast<uint32_t>(count);
  return count;
}

uLong ZCALLBACK WriteBlock(voidpf, voidpf, const void*, uLong) {
  return 0;
}

long ZCALLBACK TellBlock(voidpf, voidpf stream) {
  return static_cast<long>(static_cast<Block*>(stream)->position);
}

long ZCALLBACK SeekBlock(voidpf, voidpf stream, uLong offset, int origin) {
  auto* block = static_cast<Block*>(stream);
  unsigned long long base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      base = 0;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = block->position;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      base = block->size;
      break;
    default:
      return -1;
  }
  unsigned long long target = base + offset;
  if (target > block->size) return -1;
  block->position = static_cast<uint32_t>(target);
  return 0;
}

int ZCALLBACK CloseBlock(voidpf, voidpf) {
  return 0;
}
int ZCALLBACK ErrorBlock(voidpf, voidpf) {
  return 0;
}

unzFile Archive(void* handle) {
  return static_cast<unzFile>(handle);
}

// ---- text ----

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsAbsolute(const char* path) {
  return IsSeparator(path[0]) || (path[0] != '\0' && path[1] == ':');
}

// Position just after the last separator outside double-byte characters, or 0.
size_t AfterLastSeparator(const char* path) {
  size_t after = 0;
  for (const char* p = path; *p; p = ::CharNextA(p)) {
    if (IsSeparator(*p)) after = static_cast<size_t>(p - path) + 1;
  }
  return after;
}

// First occurrence, at a character boundary, of a four-byte parent reference.
const char* FindParentReference(const char* text) {
  static const char* const kSequences[] = {"\\..\\", "\\../", "/../", "/..\\"};
  for (const char* sequence : kSequences) {
    for (const char* p = text; *p; p = ::CharNextA(p)) {
      if (std::strncmp(p, sequence, 4) == 0) return p;
    }
  }
  return nullptr;
}

bool Join(char* out, const char* a, const char* b, const char* c = "") {
  int written = std::snprintf(out, kPathSize, "%s%s%s", a, b, c);
  return static_cast<unsigned>(written) < kPathSize;  // a failure's -1 is past it too
}

// ---- record fields ----

DWORD WindowsAttributes(uint32_t external, uint32_t versionMadeBy) {
  uint32_t host = versionMadeBy >> 8;
  bool readOnly, hidden = false, system = false, directory, archive;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    readOnly = external & 0x01;
    hidden = external & 0x02;
    system = external & 0x04;
    directory = external & 0x10;
    archive = external & 0x20;
  } else {
    // The high half holds a Unix mode: the directory type bit and the owner's write permission.
    directory = external & (1u << 30);
    readOnly = !(external & (1u << 23));
    archive = true;
  }
  return (directory ? 0x10u : 0u) | (archive ? 0x20u : 0u) | (hidden ? 0x02u : 0u) |
         (readOnly ? 0x01u : 0u) | (system ? 0x04u : 0u);
}

FILETIME FromUnixSeconds(int32_t seconds) {
  unsigned long long ticks = static_cast<unsigned long long>(
      static_cast<long long>(seconds) * 10000000LL + 116444736000000000LL);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint16_t Le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
int32_t Le32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

// The extended timestamp block ("UT"): times that lie wholly inside the field replace the DOS ones.
void ApplyExtendedTimestamp(const std::vector<unsigned char>& field, ArchiveItem& item) {
  size_t length = field.size();
  for (size_t offset = 0; offset + 4 < length;) {
    const unsigned char* block = field.data() + offset;
    size_t dataLength = Le16(block + 2);
    if (block[0] == 'U' && block[1] == 'T') {
      size_t end = std::min(offset + 4 + dataLength, length);
      size_t at = offset + 4;
      if (at >= end) return;
      unsigned char flags = field[at++];
      FILETIME* targets[3] = {&item.writeTime, &item.accessTime, &item.createTime};
      for (int bit = 0; bit < 3; ++bit) {
        if (!(flags & (1 << bit))) continue;
        if (at + 4 > end) return;
        *targets[bit] = FromUnixSeconds(Le32(field.data() + at));
        at += 4;
      }
      return;
    }
    offset += 4 + dataLength;
  }
}

// Traditional PKWARE encryption keys, for checking an encryption header under an empty password.
struct CryptKeys {
  uint32_t k0 = 305419896, k1 = 591751049, k2 = 878082192;
  const z_crc_t* table = get_crc_table();
  uint32_t Crc(uint32_t crc, unsigned char c) const { return table[(crc ^ c) & 0xff] ^ (crc >> 8); }
  void Update(unsigned char c) {
    k0 = Crc(k0, c);
    k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
    k2 = Crc(k2, static_cast<unsigned char>(k1 >> 24));
  }
  unsigned char Decrypt(unsigned char c) {
    uint32_t temp = (k2 & 0xffff) | 2;
    c ^= static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
    Update(c);
    return c;
  }
};

// A part of the target that Windows would not take for a plain name below its folder.
bool HasUnsafePart(const char* target) {
  const char* part = target;
  for (const char* p = target;; p = ::CharNextA(p)) {
    if (*p != '\0' && !IsSeparator(*p)) continue;
    size_t length = static_cast<size_t>(p - part);
    bool drive = part == target && length == 2 && part[1] == ':';
    if (!drive && own::IsUnsafePathPart(part, length)) return true;
    if (*p == '\0') return false;
    part = p + 1;
  }
}

}  // namespace

// Where a member's data goes: the output file, or memory, with its count and checksum.
struct ArchiveReader::MemberSink {
  HANDLE file;
  unsigned char* buffer;
  bool checksum;  // minizip checks what it inflates itself; raw reads are checked here
  std::vector<unsigned char>* memory = nullptr;  // instead of the file
  uint64_t delivered = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  bool Write(const unsigned char* data, size_t count) {
    DWORD written = 0;
    if (memory != nullptr) {
      memory->insert(memory->end(), data, data + count);
    } else if (!::WriteFile(file, data, static_cast<DWORD>(count), &written, nullptr)) {
      return false;
    }
    if (checksum) crc = crc32(crc, data, static_cast<uInt>(count));
    delivered += count;
    return true;
  }
};

void SanitiseMemberName(const char* stored, char* out, size_t outSize) {
  const char* p = stored;
  for (;;) {
    if (p[0] != '\0' && p[1] == ':') {
      p += 2;
    } else if (IsSeparator(p[0])) {
      p += 1;
    } else if (p[0] == '.' && p[1] == '.' && (IsSeparator(p[2]) || p[2] == '\0')) {
      p += p[2] == '\0' ? 2 : 3;  // a leading parent reference would climb out of the base
    } else if (const char* found = FindParentReference(p)) {
      p = found + 4;
    } else {
      break;
    }
  }
  std::snprintf(out, outSize, "%s", p);
}

ArchiveReader* ArchiveReader::OpenFromMemory(const void* data, uint32_t size) {
  if (data == nullptr) return nullptr;
  auto* reader = new (std::nothrow) ArchiveReader();
  if (reader == nullptr) return nullptr;
  reader->block_ = {static_cast<const unsigned char*>(data), size, 0};
  zlib_filefunc_def functions{};
  functions.zopen_file = OpenBlock;
  functions.zread_file = ReadBlock;
  functions.zwrite_file = WriteBlock;
  functions.ztell_file = TellBlock;
  functions.zseek_file = SeekBlock;
  functions.zclose_file = CloseBlock;
  functions.zerror_file = ErrorBlock;
  functions.opaque = &reader->block_;
  unzFile archive = unzOpen2("memory", &functions);
  unz_global_info global{};
  if (archive == nullptr || unzGetGlobalInfo(archive, &global) != UNZ_OK) {
    if (archive) unzClose(archive);
    delete reader;
    return nullptr;
  }
  reader->archive_ = archive;
  reader->memberCount_ = static_cast<int>(global.number_entry);
  DWORD length = ::GetCurrentDirectoryA(kPathSize, reader->baseFolder_);
  // A folder whose path leaves no room for the separator is no base to write under.
  if (length == 0 || length >= kPathSize - 1) {
    reader->baseFolder_[0] = '\0';
  } else if (!IsSeparator(reader->baseFolder_[length - 1])) {
    reader->baseFolder_[length] = '\\';
    reader->baseFolder_[length + 1] = '\0';
  }
  return reader;
}

ArchiveResult ArchiveReader::SetBaseFolder(const char* path) {
  size_t length = std::strlen(path);
  bool separated = length > 0 && IsSeparator(path[length - 1]);
  if (length + (separated ? 0 : 1) >= kPathSize) {
    baseFolder_[0] = '\0';  // refused: relative targets then fail instead of landing elsewhere
    return ArchiveResult::Ok;
  }
  std::snprintf(baseFolder_, kPathSize, "%s%s", path, separated ? "" : "\\");
  return ArchiveResult::Ok;
}

bool ArchiveReader::Position(int index) {
  unzFile archive = Archive(archive_);
  // After a failed step minizip has no current member: start again from the first.
  if (current_ < 0 || current_ > index) {
    current_ = -1;
    if (unzGoToFirstFile(archive) != UNZ_OK) return false;
    current_ = 0;
  }
  while (current_ < index) {
    if (unzGoToNextFile(archive) != UNZ_OK) {
      current_ = -1;
      return false;
    }
    ++current_;
  }
  return true;
}

ArchiveResult ArchiveReader::GetItem(int index, ArchiveItem& item) {
  if (index == -1) {
    std::memset(&item, 0, sizeof item);
    item.index = memberCount_;
    return ArchiveResult::Ok;
  }
  if (index < 0 || index >= memberCount_) return ArchiveResult::BadArgument;
  if (index == cachedIndex_) {
    item = cachedItem_;
    return ArchiveResult::Ok;
  }
  ArchiveItem built{};
  ArchiveResult result = BuildRecord(index, built);
  if (result != ArchiveResult::Ok) return result;
  cachedItem_ = built;
  cachedIndex_ = index;
  item = built;
  return ArchiveResult::Ok;
}

ArchiveResult ArchiveReader::BuildRecord(int index, ArchiveItem& item) {
  unzFile archive = Archive(archive_);
  if (!Position(index)) return ArchiveResult::ReadFailed;
  unz_file_info info{};
  char stored[kPathSize] = {};
  if (unzGetCurrentFileInfo(archive, &info, stored, sizeof stored, nullptr, 0, nullptr, 0) !=
      UNZ_OK)
    return ArchiveResult::ReadFailed;
  // A name that does not fit with its terminator would be cut into another name.
  if (info.size_filename >= kPathSize) return ArchiveResult::Corrupt;
  // Only stored and deflated data is read: minizip would hand out other methods' bytes raw.
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
    return ArchiveResult::Corrupt;
  if (unzOpenCurrentFile(archive) != UNZ_OK) return ArchiveResult::Corrupt;
  int extraLength = unzGetLocalExtrafield(archive, nullptr, 0);
  bool extraRead = extraLength >= 0;
  if (extraRead) {
    extraField_.resize(static_cast<size_t>(extraLength));
    extraRead = extraLength == 0 ||
                unzGetLocalExtrafield(archive, extraField_.data(),
                                      static_cast<unsigned>(extraLength)) == extraLength;
  }
  bool agrees = !extraRead || LocalHeaderAgrees(info, unzGetCurrentFileZStreamPos64(archive),
                                                static_cast<uint32_t>(extraLength));
  unzCloseCurrentFile(archive);
  if (!extraRead) return ArchiveResult::ReadFailed;
  if (!agrees) return ArchiveResult::Corrupt;

  item.index = index;
  SanitiseMemberName(stored, item.name, sizeof item.name);
  item.attributes = WindowsAttributes(static_cast<uint32_t>(info.external_fa),
                                      static_cast<uint32_t>(info.version));
  item.packedSize = static_cast<uint32_t>(info.compressed_size);
  item.unpackedSize = static_cast<uint32_t>(info.uncompressed_size);

  uint32_t dos = static_cast<uint32_t>(info.dosDate);
  uint16_t date = static_cast<uint16_t>(dos >> 16), time = static_cast<uint16_t>(dos);
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>((date >> 9) + 1980);
  local.wMonth = static_cast<WORD>((date >> 5) & 15);
  local.wDay = static_cast<WORD>(date & 31);
  local.wHour = static_cast<WORD>(time >> 11);
  local.wMinute = static_cast<WORD>((time >> 5) & 63);
  local.wSecond = static_cast<WORD>((time & 31) * 2);
  FILETIME localTime{}, utc{};
  // An impossible DOS date leaves the times at zero.
  if (::SystemTimeToFileTime(&local, &localTime) && ::LocalFileTimeToFileTime(&localTime, &utc)) {
    item.accessTime = item.createTime = item.writeTime = utc;
  }
  ApplyExtendedTimestamp(extraField_, item);
  return ArchiveResult::Ok;
}

bool ArchiveReader::LocalHeaderAgrees(const unz_file_info_s& info, uint64_t dataStart,
                                      uint32_t extraLength) const {
  // minizip compares the local header with the central record but lets a size of 0xFFFFFFFF
  // pass: the comparison is made again here, in full.
  uint64_t header = dataStart - 30 - info.size_filename - extraLength;
  if (dataStart < 30ull + info.size_filename + extraLength || header + 30 > block_.size)
    return false;
  const unsigned char* local = block_.data + header;
  if (static_cast<uint32_t>(Le32(local)) != 0x04034b50u) return false;
  uint16_t flags = Le16(local + 6);
  if (Le16(local + 8) != info.compression_method) return false;
  // With a data descriptor the local header need not know the sizes yet.
  if ((flags & 8) && (info.flag & 8)) return true;
  return static_cast<uint32_t>(Le32(local + 14)) == static_cast<uint32_t>(info.crc) &&
         static_cast<uint32_t>(Le32(local + 18)) == static_cast<uint32_t>(info.compressed_size) &&
         static_cast<uint32_t>(Le32(local + 22)) == static_cast<uint32_t>(info.uncompressed_size);
}

bool ArchiveReader::StaysInside(const char* relative) const {
  int depth = 0;
  const char* part = relative;
  for (const char* p = relative;; p = ::CharNextA(p)) {
    if (*p == '\0' || IsSeparator(*p)) {
      size_t length = static_cast<size_t>(p - part);
      if (length == 2 && part[0] == '.' && part[1] == '.') {
        if (--depth < 0) return false;
      } else if (length > 0 && !(length == 1 && part[0] == '.')) {
        ++depth;
      }
      if (*p == '\0') return true;
      part = p + 1;
    }
  }
}

bool ArchiveReader::HoldFolders(const char* base, const char* folder, std::vector<ui::File>& held) {
  // The base is the caller's: made when missing, but a link there is not ours to remove.
  if (base != nullptr) {
    held.push_back(own::HoldFolder(base, true, false));
    if (!held.back()) return false;
  }
  const char* part = folder;
  for (const char* p = folder; *p; p = ::CharNextA(p)) {
    if (!IsSeparator(*p)) continue;
    bool drive = part == folder && p - part == 2 && part[1] == ':';
    if (p > part && !drive) {
      char path[kPathSize];
      std::snprintf(path, sizeof path, "%.*s", static_cast<int>(p - folder), folder);
      char joined[kPathSize];
      if (!Join(joined, base ? base : "", path)) return false;
      // Folders below the base are ours: a link planted in their place goes. On an absolute
      // path nothing is ours, and a link on it is refused instead.
      held.push_back(own::HoldFolder(joined, true, base != nullptr));
      if (!held.back()) return false;
    }
    part = p + 1;
  }
  return true;
}

ArchiveResult ArchiveReader::WriteMember(const ArchiveItem& item, const char* outputPath) {
  unz_file_info info{};
  if (unzGetCurrentFileInfo(Archive(archive_), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return ArchiveResult::ReadFailed;
  ui::File file = own::CreateOwnFile(outputPath, item.attributes);
  if (!file) return ArchiveResult::CannotCreateFile;
  MemberSink sink{file.Get(), nullptr, false};
  ArchiveResult result = Unpack(item, info, sink);
  if (result == ArchiveResult::Ok) {
    ::SetFileTime(file.Get(), &item.createTime, &item.accessTime, &item.writeTime);
  } else {
    // Nothing half-written stays behind, even when it was created read-only; deleted through
    // the handle, so that only the file made here can go.
    sys::SetAttributesByHandle(file.Get(), FILE_ATTRIBUTE_NORMAL);
    own::DeleteOpened(file.Get());
  }
  return result;
}

ArchiveResult ArchiveReader::Unpack(const ArchiveItem& item, const unz_file_info_s& info,
                                    MemberSink& sink) {
  unzFile archive = Archive(archive_);
  // minizip is built without decryption: encrypted members are read raw and decrypted here.
  bool encrypted = info.flag & 1;
  int method = 0, level = 0;
  streamOpen_ = unzOpenCurrentFile2(archive, &method, &level, encrypted ? 1 : 0) == UNZ_OK;
  if (extractBuffer_ == nullptr) extractBuffer_ = new (std::nothrow) unsigned char[kBufferSize];
  sink.buffer = extractBuffer_;
  sink.checksum = encrypted;
  ArchiveResult result = ArchiveResult::Ok;
  if (!streamOpen_ || extractBuffer_ == nullptr) {
    result = ArchiveResult::InflateFailed;
  } else if (encrypted) {
    result = ReadEncrypted(info, method, sink);
  } else {
    for (;;) {
      int count = unzReadCurrentFile(archive, extractBuffer_, kBufferSize);
      if (count < 0) {
        result = ArchiveResult::InflateFailed;
        break;
      }
      if (count > 0 && !sink.Write(extractBuffer_, static_cast<size_t>(count))) {
        result = ArchiveResult::WriteFailed;
        break;
      }
      if (unzeof(archive) == 1 || sink.delivered >= item.unpackedSize) break;
      if (count == 0) {
        result = ArchiveResult::InflateFailed;
        break;
      }
    }
  }
  int closed = UNZ_OK;
  if (streamOpen_) {
    closed = unzCloseCurrentFile(archive);
    streamOpen_ = false;
  }
  // Data that does not match its size and checksum is a damaged member, not a file.
  if (result == ArchiveResult::Ok &&
      (sink.delivered != item.unpackedSize || closed == UNZ_CRCERROR ||
       (sink.checksum && sink.crc != static_cast<uLong>(info.crc))))
    result = ArchiveResult::Corrupt;
  return result;
}

ArchiveResult ArchiveReader::ReadEncrypted(const unz_file_info_s& info, int method,
                                           MemberSink& sink) {
  unzFile archive = Archive(archive_);
  unsigned char raw[kBufferSize];
  CryptKeys keys;
  int header = 0;
  z_stream inflater{};
  bool inflating = method == Z_DEFLATED;
  if (inflating && inflateInit2(&inflater, -MAX_WBITS) != Z_OK) return ArchiveResult::InflateFailed;
  ArchiveResult result = ArchiveResult::Ok;
  bool ended = false;
  while (!ended) {
    int count = unzReadCurrentFile(archive, raw, sizeof raw);
    if (count <= 0) {
      if (count < 0 || header < 12 || inflating) result = ArchiveResult::InflateFailed;
      break;
    }
    unsigned char* data = raw;
    size_t length = static_cast<size_t>(count);
    for (size_t i = 0; i < length; ++i) data[i] = keys.Decrypt(data[i]);
    while (header < 12 && length > 0) {
      // The last header byte must be the check byte an empty password gives.
      if (++header == 12) {
        unsigned char check =
            static_cast<unsigned char>((info.flag & 8) ? (info.dosDate >> 8) : (info.crc >> 24));
        if (*data != check) {
          result = ArchiveResult::BadPassword;
          ended = true;
        }
      }
      ++data;
      --length;
    }
    if (ended || length == 0) continue;
    if (!inflating) {
      if (!sink.Write(data, length)) result = ArchiveResult::WriteFailed, ended = true;
      continue;
    }
    inflater.next_in = data;
    inflater.avail_in = static_cast<uInt>(length);
    while (inflater.avail_in > 0 && !ended) {
      inflater.next_out = sink.buffer;
      inflater.avail_out = kBufferSize;
      int status = inflate(&inflater, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) {
        result = ArchiveResult::InflateFailed;
        ended = true;
        break;
      }
      size_t produced = kBufferSize - inflater.avail_out;
      if (produced > 0 && !sink.Write(sink.buffer, produced)) {
        result = ArchiveResult::WriteFailed;
        ended = true;
      }
      if (status == Z_STREAM_END) {
        inflating = false;  // done; trailing bytes are ignored
        ended = true;
      }
    }
  }
  if (method == Z_DEFLATED) inflateEnd(&inflater);
  return result;
}

ArchiveResult ArchiveReader::ExtractItem(int index, const char* target) {
  if (index < 0 || index >= memberCount_) return ArchiveResult::BadArgument;
  ArchiveItem item{};
  ArchiveResult built = GetItem(index, item);
  if (built != ArchiveResult::Ok) return built;
  if (!Position(index)) return ArchiveResult::ReadFailed;

  bool absolute = IsAbsolute(target);
  if (!absolute && (baseFolder_[0] == '\0' || !StaysInside(target)))
    return ArchiveResult::CannotCreateFile;
  // Devices, streams and names Windows trims are refused before anything is made.
  if (HasUnsafePart(target)) return ArchiveResult::CannotCreateFile;
  const char* base = absolute ? nullptr : baseFolder_;
  std::vector<ui::File> held;  // every folder on the way, until the member is written
  if (item.attributes & 0x10) {
    char folder[kPathSize];
    bool separated = AfterLastSeparator(target) == std::strlen(target);
    if (!Join(folder, target, separated ? "" : "\\")) return ArchiveResult::CannotCreateFile;
    HoldFolders(base, folder, held);  // a folder that cannot be made shows as later failures
    return ArchiveResult::Ok;
  }
  size_t split = AfterLastSeparator(target);
  char folder[kPathSize];
  if (split >= kPathSize) return ArchiveResult::CannotCreateFile;
  std::snprintf(folder, sizeof folder, "%.*s", static_cast<int>(split), target);
  const char* fileName = target + split;
  char outputPath[kPathSize];
  // A bare name has an empty folder, which joins like any other below the base.
  const char* below = IsAbsolute(folder) ? nullptr : baseFolder_;
  bool fits =
      below ? Join(outputPath, below, folder, fileName) : Join(outputPath, folder, fileName);
  if (!fits || fileName[0] == '\0') return ArchiveResult::CannotCreateFile;
  if (!HoldFolders(below, folder, held)) return ArchiveResult::CannotCreateFile;
  return WriteMember(item, outputPath);
}

ArchiveResult ArchiveReader::ReadItem(int index, std::vector<unsigned char>& bytes) {
  bytes.clear();
  if (index < 0 || index >= memberCount_) return ArchiveResult::BadArgument;
  ArchiveItem item{};
  ArchiveResult built = GetItem(index, item);
  if (built != ArchiveResult::Ok) return built;
  if (item.attributes & 0x10) return ArchiveResult::BadArgument;  // a folder has no bytes
  if (!Position(index)) return ArchiveResult::ReadFailed;
  unz_file_info info{};
  if (unzGetCurrentFileInfo(Archive(archive_), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return ArchiveResult::ReadFailed;
  MemberSink sink{INVALID_HANDLE_VALUE, nullptr, false, &bytes};
  ArchiveResult result = Unpack(item, info, sink);
  if (result != ArchiveResult::Ok) bytes.clear();
  return result;
}

void ArchiveReader::Close() {
  if (archive_ != nullptr) {
    if (streamOpen_) unzCloseCurrentFile(Archive(archive_));
    unzClose(Archive(archive_));
  }
  delete[] extractBuffer_;
  delete this;
}
