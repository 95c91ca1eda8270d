// Fuzz target: any block given to the archive reader is listed and unpacked into a scratch
// folder, and nothing may appear outside that folder.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/archive_reader.h"
#include "platform/sim/sim.h"

namespace {
const std::string kScratch = "C:\\scratch";

bool Inside(const std::string& path) {
  return path == kScratch || path.rfind(kScratch + "\\", 0) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Reset();
  sim::PutFolder(kScratch);
  sim::System().currentDirectory = kScratch;
  ArchiveReader* reader = ArchiveReader::OpenFromMemory(data, static_cast<uint32_t>(size));
  if (reader == nullptr) return 0;
  ArchiveItem summary{};
  reader->GetItem(-1, summary);
  int count = summary.index < 64 ? summary.index : 64;
  for (int i = 0; i < count; ++i) {
    ArchiveItem item{};
    if (reader->GetItem(i, item) == ArchiveResult::Ok) reader->ExtractItem(i, item.name);
  }
  reader->Close();
  for (const std::string& path : sim::Tree()) {
    if (!Inside(path)) {
      std::fprintf(stderr, "written outside the scratch folder: %s\n", path.c_str());
      std::abort();
    }
  }
  if (sim::OpenFileCount() != 0) {
    std::fprintf(stderr, "a file handle was left open\n");
    std::abort();
  }
  return 0;
}
