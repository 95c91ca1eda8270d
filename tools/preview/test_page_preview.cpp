// Renders the test page in both languages on the simulated printer, as PNG files.
#include <cstdio>
#include <string>

#include "install/driver_installer.h"
#include "package/driver_package.h"
#include "package/staged_files.h"
#include "platform/sim/sim.h"
#include "resources/resource.h"

namespace {

bool Render(DWORD language, UINT codePage, const std::string& path) {
  staged::Release();  // the files an earlier rendering's installation held
  sim::Reset();
  sim::PutFolder("C:\\Users\\user\\AppData\\Local\\Temp");
  sim::System().ansiCodePage = codePage;
  sim::System().localTime = {2024, 3, 2, 5, 14, 7, 9, 0};
  CDriverInstaller installer;
  installer.userLanguage = language;
  // A queue of that name already exists, so the page shows a copy's name, the longest there is.
  sim::PrinterRecord existing;
  existing.name = "KV-80C";
  existing.port = "LPT1:";
  existing.driver = "Other";
  sim::Spooler().printers.push_back(existing);
  sim::Spooler().ports.push_back("USB001");  // the port a plugged-in printer's monitor made
  // Installed as a user installs it: the printer then starts in its driver's default font.
  UnpackDriverPackage(language);
  if (!installer.InstallPrinter(0, "USB001")) {
    for (const auto& box : sim::MessageBoxes()) std::fprintf(stderr, "%s\n", box.text.c_str());
    return false;
  }
  InstallMessages messages{};
  messages.Load(language);
  HBITMAP logo = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO));
  installer.PrintTestPage(installer.installedPrinterName, logo, messages.testPageText);
  DeleteObject(logo);
  if (sim::PrintJobs().empty()) return false;
  return sim::WritePng(sim::PrintJobs()[0].pages.at(0), path);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : ".";
  bool ok = Render(1033, 1252, folder + "/testpage-en.png") &&
            Render(2052, 936, folder + "/testpage-zh.png");
  std::printf("%s\n", ok ? "written testpage-en.png and testpage-zh.png" : "rendering failed");
  return ok ? 0 : 1;
}
