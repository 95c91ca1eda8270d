// A whole installation on the simulated machine, with its fixed waits really waited.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "install/driver_installer.h"
#include "package/driver_package.h"
#include "platform/sim/sim.h"

int main() {
  std::vector<double> runs;
  for (int run = 0; run < 7; ++run) {
    sim::Reset();
    sim::PutFolder(sim::System().tempPath);
    UnpackDriverPackage(1033);
    CDriverInstaller installer;
    sim::System().realSleeps = true;
    auto start = std::chrono::steady_clock::now();
    bool ok = installer.InstallPrinter(1, "LPT1:");
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      std::printf("installation failed\n");
      return 1;
    }
    runs.push_back(ms);
  }
  std::sort(runs.begin(), runs.end());
  double median = runs[runs.size() / 2];
  std::printf("installation %.1f ms (median of %zu), fixed waits 333 ms, ratio %.3f\n", median,
              runs.size(), median / 333.0);
  return 0;
}
