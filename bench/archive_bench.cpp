// Archive figures: make a synthetic archive, extract it with the reader, or inflate it bare;
// and many tiny members unpacked into the staging folder and deleted again.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "package/archive_reader.h"
#include "package/driver_package.h"
#include "platform/sim/sim.h"
#include "resources/resource.h"
#include "unzip.h"
#include "zip.h"
#include "zlib.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Files of three kinds: text-like (compresses well), binary-like (some) and noise (none).
int Make(const char* out, int megabytes) {
  zipFile zip = zipOpen(out, APPEND_STATUS_CREATE);
  if (!zip) return 1;
  std::mt19937 random(2020);
  const char* words[] = {"printer ", "driver ", "thermal ", "receipt ", "KV-80C ",
                         "\r\n",     "Unidrv ", "spooler ", "0x1F ",    "port "};
  long long total = 0, target = static_cast<long long>(megabytes) << 20;
  for (int n = 0; total < target; ++n) {
    std::string data;
    size_t size = 64 * 1024 + random() % (2 << 20);
    int kind = n % 3;
    while (data.size() < size) {
      if (kind == 0) {
        data += words[random() % 10];
      } else if (kind == 1) {
        uint32_t v = random();
        data.append(reinterpret_cast<char*>(&v), (v & 3) + 1);
        data.append(8, static_cast<char>(v >> 24));
      } else {
        uint32_t v = random();
        data.append(reinterpret_cast<char*>(&v), 4);
      }
    }
    zip_fileinfo info{};
    info.dosDate = 0x50977472;
    info.external_fa = 0x20;
    std::string name = "set" + std::to_string(n / 10) + "/file" + std::to_string(n) + ".bin";
    zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                        Z_DEFAULT_COMPRESSION);
    zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size()));
    zipCloseFileInZip(zip);
    total += static_cast<long long>(data.size());
  }
  zipClose(zip, nullptr);
  return 0;
}

int Extract(const char* path) {
  long before = PeakKiB();
  std::string bytes = ReadAll(path);
  sim::Reset();
  sim::PutFolder("C:\\out");
  sim::System().currentDirectory = "C:\\out";
  auto start = Clock::now();
  ArchiveReader* reader =
      ArchiveReader::OpenFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (!reader) return 1;
  ArchiveItem summary{};
  reader->GetItem(-1, summary);
  int failures = 0;
  for (int i = 0; i < summary.index; ++i) {
    ArchiveItem item{};
    if (reader->GetItem(i, item) != ArchiveResult::Ok ||
        reader->ExtractItem(i, item.name) != ArchiveResult::Ok)
      ++failures;
  }
  reader->Close();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("reader %.4f s, peak %ld KiB, archive %zu KiB, members %d, failures %d\n", seconds,
              PeakKiB() - before, bytes.size() / 1024, summary.index, failures);
  return failures ? 1 : 0;
}

// The floor: every member's raw deflate stream inflated into one buffer, nothing written.
int Inflate(const char* path) {
  std::string bytes = ReadAll(path);
  unzFile zip = unzOpen(path);
  if (!zip) return 1;
  struct Stream {
    size_t offset, length;
  };
  std::vector<Stream> streams;
  for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    unz_file_info info{};
    unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    int method = 0, level = 0;
    unzOpenCurrentFile2(zip, &method, &level, 1);
    streams.push_back({static_cast<size_t>(unzGetCurrentFileZStreamPos64(zip)),
                       static_cast<size_t>(info.compressed_size)});
    unzCloseCurrentFile(zip);
  }
  unzClose(zip);
  static unsigned char out[16384];
  auto start = Clock::now();
  unsigned long long produced = 0;
  for (const Stream& s : streams) {
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = reinterpret_cast<Bytef*>(&bytes[s.offset]);
    z.avail_in = static_cast<uInt>(s.length);
    int rc = Z_OK;
    while (rc == Z_OK) {
      z.next_out = out;
      z.avail_out = sizeof out;
      rc = inflate(&z, Z_NO_FLUSH);
      produced += sizeof out - z.avail_out;
    }
    inflateEnd(&z);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("inflate %.4f s, %llu bytes\n", seconds, produced);
  return 0;
}

// `count` one-byte members spread over ten folders, as a package of many small files would be.
std::string TinyMembersZip(int count) {
  char path[] = "/tmp/qm-bench-XXXXXX";
  int fd = ::mkstemp(path);
  if (fd < 0) return {};
  ::close(fd);
  zipFile zip = zipOpen(path, APPEND_STATUS_CREATE);
  if (!zip) {
    ::unlink(path);
    return {};
  }
  for (int i = 0; i < count; ++i) {
    zip_fileinfo info{};
    info.dosDate = 0x50977472;
    info.external_fa = 0x20;
    std::string name = "d" + std::to_string(i % 10) + "/f" + std::to_string(i);
    zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                        Z_DEFAULT_COMPRESSION);
    zipWriteInFileInZip(zip, "x", 1);
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  std::string bytes = ReadAll(path);
  ::unlink(path);
  return bytes;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The package unpacked into the staging folder on the simulated machine, then the clean-up.
// Processor time is shown too: on a shared machine the wall clock also counts the others.
int Members(int count, int runs) {
  std::string zip = TinyMembersZip(count);
  if (zip.empty()) return 1;
  std::vector<double> unpack, cleanUp, unpackCpu;
  for (int run = 0; run < runs; ++run) {
    sim::Reset();
    sim::PutFolder(sim::System().tempPath);
    sim::SetResource("ZIP", IDR_PACKAGE_EN, zip);
    char staging[MAX_PATH] = {};
    if (!StagingFolderPath(staging)) return 1;
    auto start = Clock::now();
    double cpu = CpuSeconds();
    UnpackDriverPackage(1033);
    unpack.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    unpackCpu.push_back(CpuSeconds() - cpu);
    size_t unpacked = sim::Tree(staging).size();
    start = Clock::now();
    DeleteStagingFolderContents(staging);
    cleanUp.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    size_t left = sim::Tree(staging).size();
    if (unpacked != static_cast<size_t>(count) + 10 || left != 0) {
      std::printf("members %d: %zu entries unpacked, %zu left after the clean-up\n", count,
                  unpacked, left);
      return 1;
    }
  }
  std::printf("members %d: unpack %.4f s (processor %.4f s), clean-up %.4f s (median of %d)\n",
              count, Median(unpack), Median(unpackCpu), Median(cleanUp), runs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "make") == 0) return Make(argv[2], std::atoi(argv[3]));
  if (argc == 3 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "inflate") == 0) return Inflate(argv[2]);
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "members") == 0)
    return Members(std::atoi(argv[2]), argc == 4 ? std::max(1, std::atoi(argv[3])) : 3);
  std::fprintf(stderr, "usage: %s make OUT.zip MB | extract ZIP | inflate ZIP | members N [RUNS]\n",
               argv[0]);
  return 2;
}
