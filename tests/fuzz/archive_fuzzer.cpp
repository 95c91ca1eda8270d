// Fuzz target: any block, embedded as the driver package, is unpacked into a staging folder that
// another program has prepared (links to folders and files outside at several depths, a name
// that best fit turns into parent references, leftovers of an earlier run), then the staging
// folder is emptied; nothing outside it may be written or deleted, and no handle stays open.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/driver_package.h"
#include "platform/sim/sim.h"
#include "resources/resource.h"

namespace {
const std::string kTemp = "C:\\Users\\user\\AppData\\Local\\Temp";
const std::string kStaging = kTemp + "\\Ostra2020";

bool Inside(const std::string& path) {
  return path.rfind(kStaging + "\\", 0) == 0;
}

// Every path outside the staging folder with what it holds.
std::vector<std::string> Outside() {
  std::vector<std::string> state;
  for (const std::string& path : sim::Tree()) {
    if (Inside(path)) continue;
    DWORD attributes = sim::AttributesOf(path);
    bool file = attributes != INVALID_FILE_ATTRIBUTES &&
                !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    state.push_back(path + "=" + (file ? sim::FileBytes(path) : std::to_string(attributes)));
  }
  return state;
}

void PrepareHostileStagingFolder() {
  sim::PutFile("C:\\Outside\\keep.txt", "outside");
  sim::PutFile("C:\\Outside\\sub\\deep.txt", "deeper");
  sim::PutFile("C:\\Victim\\precious.txt", "precious");
  sim::PutFolder(kStaging + "\\Windows NT x86");
  sim::MakeLink(kStaging + "\\Windows x64", "C:\\Outside");
  sim::MakeLink(kStaging + "\\Windows NT x86\\KV80.DLL", "C:\\Victim\\precious.txt");
  sim::MakeLink(kStaging + "\\Windows NT x86\\old", "C:\\Outside\\sub");
  sim::PutFile(kStaging + "\\Windows NT x86\\UNIDRV.DLL", "an earlier run's", FILE_ATTRIBUTE_ARCHIVE);
  sim::PutFile(kStaging + "\\leftover.txt", "read-only", FILE_ATTRIBUTE_READONLY);
  std::string climb;  // full-width "..\" six times: C:\Victim in the 8-bit listing
  for (int i = 0; i < 6; ++i) climb += "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC";
  sim::PutFolderWide(kStaging, climb + "Victim");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Reset();
  PrepareHostileStagingFolder();
  std::vector<std::string> before = Outside();
  sim::SetResource("ZIP", IDR_PACKAGE_EN, std::string(reinterpret_cast<const char*>(data), size));
  UnpackDriverPackage(1033);
  DeleteStagingFolderContents(sim::System().currentDirectory);
  if (Outside() != before) {
    std::fprintf(stderr, "something outside the staging folder was written or deleted\n");
    for (const std::string& path : Outside()) std::fprintf(stderr, "  %s\n", path.c_str());
    std::abort();
  }
  if (!sim::DevicesAndStreamsWritten().empty()) {
    std::fprintf(stderr, "a device or stream was written: %s\n",
                 sim::DevicesAndStreamsWritten()[0].c_str());
    std::abort();
  }
  if (sim::OpenFileCount() != 0) {
    std::fprintf(stderr, "a file handle was left open\n");
    std::abort();
  }
  return 0;
}
