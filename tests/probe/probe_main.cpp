// Runs the platform probe: as a Windows console program on the machine it runs on, or natively
// on a fresh simulated machine planted as the Wine harness plants its prefix.
// Windows: platform_probe LINK_FOLDER TARGET_FOLDER DRIVER_SOURCE
// Native:  qm_platform_probe_sim HOST_FOLDER_OF_THE_DRIVER_FILES
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform_probe.h"

#ifndef _WIN32
#include "platform/sim/sim.h"
#endif

namespace {
const char kLinks[] = "C:\\QuillmateProbeLinks";
const char kTarget[] = "C:\\QuillmateProbeTarget";
const char kDriverSource[] = "C:\\QuillmateProbeDriver";
}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  if (argc != 4) {
    std::fprintf(stderr, "usage: platform_probe LINK_FOLDER TARGET_FOLDER DRIVER_SOURCE\n");
    return 2;
  }
  return RunProbe(argv[1], argv[2], argv[3]);
#else
  if (argc != 2) {
    std::fprintf(stderr, "usage: qm_platform_probe_sim HOST_FOLDER_OF_THE_DRIVER_FILES\n");
    return 2;
  }
  sim::Reset();
  const std::string target = kTarget;
  bool planted = sim::PutFolder(target) && sim::PutFile(target + "\\inside.txt", "x") &&
                 sim::PutFolder(kLinks) &&
                 sim::MakeLink(std::string(kLinks) + "\\folder", target) &&
                 sim::MakeLink(std::string(kLinks) + "\\file", target + "\\inside.txt") &&
                 sim::PutFolder(kDriverSource);
  for (const char* name : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIRES.DLL", "UNIDRV.HLP", "STDNAMES.GPD",
                           "TTFSUB.GPD", "KV80C.GPD"}) {
    std::ifstream file(std::string(argv[1]) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    planted = planted && file.good() &&
              sim::PutFile(std::string(kDriverSource) + "\\" + name, bytes.str());
  }
  // Windows' Ports key, where the Local Port monitor keeps the ports the spooler starts with.
  for (const auto& port : sim::Spooler().ports)
    sim::PutRegistryValue("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", port, REG_SZ,
                          std::string(port.rfind("COM", 0) == 0 ? "9600,n,8,1" : "") + '\0');
  if (!planted) {
    std::fprintf(stderr, "probe: could not plant the links and the driver files\n");
    return 2;
  }
  int status = RunProbe(kLinks, kTarget, kDriverSource);
  sim::Reset();
  return status;
#endif
}
