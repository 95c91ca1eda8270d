// ArchiveReader: lists and unpacks a zip archive that lies in memory, in place, without a copy.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "ui/handles.h"

enum class ArchiveResult : uint32_t {
  Ok = 0,
  CannotCreateFile = 0x200,
  WriteFailed = 0x400,
  Corrupt = 0x700,
  ReadFailed = 0x800,
  BadPassword = 0x1000,
  BadArgument = 0x10000,
  InflateFailed = 0x5000000,
};

struct ArchiveItem {
  int32_t index;  // the member's position; in the summary record (index -1) the member count
  char name[260];
  uint32_t attributes;  // read-only, hidden, system, directory and archive bits only
  FILETIME accessTime;
  FILETIME createTime;
  FILETIME writeTime;
  uint32_t packedSize;
  uint32_t unpackedSize;
};

// Turns a stored member name into one that stays below the base folder: drive prefixes, leading
// separators and parent references are dropped. Separators inside double-byte characters of the
// ANSI code page are never taken for path separators.
void SanitiseMemberName(const char* stored, char* out, size_t outSize);

class ArchiveReader {
 public:
  // A reader over `data`, which must stay valid and unchanged until Close; none when the block
  // holds no zip archive. The base folder starts as the current directory.
  static ArchiveReader* OpenFromMemory(const void* data, uint32_t size);

  // Index -1 gives the summary record; 0 to count-1 a member's record.
  ArchiveResult GetItem(int index, ArchiveItem& item);
  ArchiveResult SetBaseFolder(const char* path);
  // Writes member `index` to `target` (relative to the base folder unless absolute), or makes
  // the folder for a folder member. A member that fails leaves no file behind.
  ArchiveResult ExtractItem(int index, const char* target);
  // The bytes of file member `index`, checked like an extracted file's; empty on failure.
  ArchiveResult ReadItem(int index, std::vector<unsigned char>& bytes);
  // Releases the member stream, the archive and the buffer, and the reader itself.
  void Close();

  static constexpr uint32_t kBufferSize = 16384;

  // The caller's bytes and minizip's position in them.
  struct MemoryBlock {
    const unsigned char* data;
    uint32_t size;
    uint32_t position;
  };

 private:
  ArchiveReader() = default;
  ~ArchiveReader() = default;
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  bool Position(int index);
  ArchiveResult BuildRecord(int index, ArchiveItem& item);
  ArchiveResult WriteMember(const ArchiveItem& item, const char* outputPath);
  struct MemberSink;
  // Inflates the positioned member into `sink`, checking its size and checksum.
  ArchiveResult Unpack(const ArchiveItem& item, const struct unz_file_info_s& info,
                       MemberSink& sink);
  ArchiveResult ReadEncrypted(const struct unz_file_info_s& info, int method, MemberSink& sink);
  bool LocalHeaderAgrees(const struct unz_file_info_s& info, uint64_t dataStart,
                         uint32_t extraLength) const;
  // Makes and holds the folders from `base` (none for an absolute path) down along `folder`.
  bool HoldFolders(const char* base, const char* folder, std::vector<ui::File>& held);
  bool StaysInside(const char* relative) const;

  MemoryBlock block_{};
  void* archive_ = nullptr;  // unzFile
  int memberCount_ = 0;
  int current_ = 0;
  bool streamOpen_ = false;
  ArchiveItem cachedItem_{};
  int cachedIndex_ = -1;
  unsigned char* extractBuffer_ = nullptr;
  std::vector<unsigned char> extraField_;
  char baseFolder_[260] = {};
};
