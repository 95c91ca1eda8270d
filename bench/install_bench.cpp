// A whole installation on the simulated machine, with its fixed waits really waited; and the
// search for a free printer name among many existing printers, with the waits only counted.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "install/driver_installer.h"
#include "package/driver_package.h"
#include "platform/sim/sim.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void AddPrinter(const std::string& name) {
  sim::PrinterRecord p;
  p.name = name;
  p.port = "LPT1:";
  p.driver = "Other";
  sim::Spooler().printers.push_back(p);
}

int Installation() {
  std::vector<double> runs;
  for (int run = 0; run < 7; ++run) {
    sim::Reset();
    sim::PutFolder(sim::System().tempPath);
    UnpackDriverPackage(1033);
    CDriverInstaller installer;
    sim::System().realSleeps = true;
    auto start = Clock::now();
    bool ok = installer.InstallPrinter(1, "LPT1:");
    double ms = MillisecondsSince(start);
    if (!ok) {
      std::printf("installation failed\n");
      return 1;
    }
    runs.push_back(ms);
  }
  double median = Median(runs);
  std::printf("installation %.1f ms (median of %zu), fixed waits 333 ms, ratio %.3f\n", median,
              runs.size(), median / 333.0);
  return 0;
}

// The name and its first copy are taken, so the search runs past every printer three times.
int ManyPrinters(int count) {
  std::vector<double> runs;
  for (int run = 0; run < 5; ++run) {
    sim::Reset();
    sim::PutFolder(sim::System().tempPath);
    UnpackDriverPackage(1033);
    for (int i = 0; i < count; ++i) AddPrinter("Printer " + std::to_string(i));
    AddPrinter("KV-80C");
    AddPrinter("KV-80C (copy 1)");
    CDriverInstaller installer;
    auto start = Clock::now();
    bool ok = installer.InstallPrinter(0, "LPT1:");
    double ms = MillisecondsSince(start);
    if (!ok || std::string(installer.installedPrinterName) != "KV-80C (copy 2)") {
      std::printf("installation among %d printers failed\n", count);
      return 1;
    }
    runs.push_back(ms);
  }
  std::printf("installation among %d printers %.1f ms (median of %zu, waits not waited)\n", count,
              Median(runs), runs.size());
  return 0;
}

}  // namespace

int main() {
  if (Installation() != 0) return 1;
  return ManyPrinters(10000);
}
