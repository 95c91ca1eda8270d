// Shared test helpers.
#include "text_helpers.h"

#include <algorithm>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "package/driver_package.h"
#include "package/staged_files.h"
#include "resources/resource.h"
#include "zip_builder.h"

const std::string kTempFolder = "C:\\Users\\user\\AppData\\Local\\Temp";
const std::string kStagingFolder = kTempFolder + "\\Ostra2020";
const std::string kSystemFolder = "C:\\Windows\\system32";
const std::string kSystemNet = kSystemFolder + "\\net.exe";
const std::string kSystemRundll32 = kSystemFolder + "\\rundll32.exe";
const std::string kExeFolder = "C:\\Program Files\\Korvex";
const char* const kDriverFiles[8] = {"KV80.DLL",   "KV80C.GPD",  "UNIDRV.DLL", "UNIDRVUI.DLL",
                                     "UNIRES.DLL", "UNIDRV.HLP", "TTFSUB.GPD", "STDNAMES.GPD"};

void AddExistingPrinter(const std::string& name) {
  sim::PrinterRecord p;
  p.name = name;
  p.port = "LPT1:";
  p.driver = "Other";
  sim::Spooler().printers.push_back(p);
}

sim::rc::ControlTemplate TestControl(int id, const char* className, DWORD style, RECT units,
                                     const char* text) {
  sim::rc::ControlTemplate c;
  c.id = id;
  c.className = className;
  c.style = style | WS_CHILD | WS_VISIBLE;
  c.x = units.left;
  c.y = units.top;
  c.cx = units.right;
  c.cy = units.bottom;
  c.text = text;
  return c;
}

bool RunProgramThenEscape(const std::function<void(HWND)>& user) {
  bool shown = false;
  sim::SetModalDriver([&](HWND dialog) {
    shown = true;
    user(dialog);
    sim::PressKey(dialog, VK_ESCAPE);
  });
  ui::RunApplication(theApp, GetModuleHandleA(nullptr));
  return shown;
}

std::string Gbk(const std::string& utf8) {
  return sim::ToAnsi(utf8, 936);
}

// The hot-spot counter as the program starts with it (read before any test double-clicks).
static const int kClicksAtStart = languageClickCount;

void SimTest::SetUp() {
  // What an earlier test left held belongs to its machine, not to the fresh one.
  staged::Release();
  sim::Reset();
  // Each test runs the program as a fresh process would.
  languageClickCount = kClicksAtStart;
}

void StageDriverFiles(const std::vector<std::string>& leftOut) {
  std::vector<ZipMember> members;
  for (const char* folder : {"Windows x64", "Windows NT x86"}) {
    members.push_back({std::string(folder) + "/", "", false, 0x10});
    for (const char* file : kDriverFiles) {
      std::string name = std::string(folder) + "/" + file;
      if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end())
        members.push_back({name, std::string(folder) + " " + file});
    }
  }
  sim::PutFolder(kTempFolder);
  sim::SetResource("ZIP", IDR_PACKAGE_EN, MakeZip(members));
  UnpackDriverPackage(1033);
}

std::vector<std::string> CallLog(const std::vector<std::string>& functions) {
  std::vector<std::string> log;
  for (const auto& call : sim::Calls()) {
    if (functions.empty() ||
        std::find(functions.begin(), functions.end(), call.function) != functions.end())
      log.push_back(call.function + "(" + call.args + ")");
  }
  return log;
}
