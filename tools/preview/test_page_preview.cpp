// Renders the test page in both languages on the simulated printer, as PNG files.
#include <cstdio>
#include <string>

#include "install/driver_installer.h"
#include "platform/sim/sim.h"
#include "resources/resource.h"

namespace {

bool Render(DWORD language, UINT codePage, const std::string& path) {
  sim::Reset();
  sim::System().ansiCodePage = codePage;
  sim::System().localTime = {2024, 3, 2, 5, 14, 7, 9, 0};
  CDriverInstaller installer;
  installer.userLanguage = language;
  sim::PrinterRecord printer;
  printer.name = language == 2052 ? sim::ToAnsi("KV-80C (副本 1)", 936) : "KV-80C (copy 1)";
  printer.port = "USB001";
  sim::Spooler().printers.push_back(printer);
  InstallMessages messages{};
  messages.Load(language);
  HBITMAP logo = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO));
  installer.PrintTestPage(printer.name.c_str(), logo, messages.testPageText);
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
