// Shared test helpers.
#include "text_helpers.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

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

namespace {
void Put(std::string& image, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}
}  // namespace

// Laid out as Microsoft's "PE Format" has it: DOS stub header, PE32 headers, one section
// holding the resource tree (type 16, id 1, language 0x409) and its VS_VERSIONINFO.
std::string VersionedImage(DWORD versionMS, DWORD versionLS, DWORD fileType, DWORD fileSubtype) {
  constexpr size_t kPe = 0x40, kOptional = kPe + 24, kSections = kOptional + 224, kRaw = 0x200;
  constexpr uint32_t kRva = 0x1000, kData = 88, kInfo = 92;
  std::string image(kRaw + kData + kInfo, '\0');
  image[0] = 'M', image[1] = 'Z';
  Put(image, 0x3C, kPe, 4);
  image.replace(kPe, 4, std::string("PE\0\0", 4));
  Put(image, kPe + 4, 0x14C, 2);             // i386
  Put(image, kPe + 6, 1, 2);                 // one section
  Put(image, kPe + 20, 224, 2);              // the optional header with 16 data directories
  Put(image, kPe + 22, 0x2102, 2);           // executable, 32-bit, DLL
  Put(image, kOptional, 0x10B, 2);           // PE32
  Put(image, kOptional + 92, 16, 4);         // data directories
  Put(image, kOptional + 96 + 16, kRva, 4);  // 2: resources
  Put(image, kOptional + 96 + 20, kData + kInfo, 4);
  image.replace(kSections, 5, ".rsrc");
  Put(image, kSections + 8, kData + kInfo, 4);
  Put(image, kSections + 12, kRva, 4);
  Put(image, kSections + 16, kData + kInfo, 4);
  Put(image, kSections + 20, kRaw, 4);
  // Three directory levels of one entry each, then the data entry.
  const uint32_t tables[][2] = {{16, 0x80000000u | 24}, {1, 0x80000000u | 48}, {0x409, 72}};
  for (size_t level = 0; level < 3; ++level) {
    size_t table = kRaw + 24 * level;
    Put(image, table + 14, 1, 2);
    Put(image, table + 16, tables[level][0], 4);
    Put(image, table + 20, tables[level][1], 4);
  }
  Put(image, kRaw + 72, kRva + kData, 4);
  Put(image, kRaw + 76, kInfo, 4);
  // VS_VERSIONINFO: its length, the fixed part's, type 0, the key, padding, VS_FIXEDFILEINFO.
  const size_t info = kRaw + kData;
  Put(image, info, kInfo, 2);
  Put(image, info + 2, 52, 2);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; key[i]; ++i) image[info + 6 + 2 * i] = key[i];
  const uint32_t fixed[] = {0xFEEF04BD, 0x10000, versionMS, versionLS, versionMS,  versionLS,
                            0x3F,       0,       0x40004u,  fileType,  fileSubtype};
  for (size_t i = 0; i < std::size(fixed); ++i) Put(image, info + 40 + 4 * i, fixed[i], 4);
  return image;
}

void SetWriteTime(const std::string& path, WORD year, WORD month, WORD day) {
  SYSTEMTIME when{};
  when.wYear = year, when.wMonth = month, when.wDay = day;
  sim::FileTimes times = sim::TimesOf(path);
  SystemTimeToFileTime(&when, &times.write);
  sim::SetTimesOf(path, times);
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
