// Where the delay-loaded libraries come from: a WINSPOOL.DRV or SETUPAPI.dll planted in the
// exe's folder or in the current directory is never what the program loads, with or without
// SetDefaultDllDirectories.
#include <algorithm>
#include <strings.h>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "platform/system_calls.h"
#include "platform/system_dlls.h"
#include "text_helpers.h"

namespace {

const std::string kUsb = "\\\\?\\usb#vid_0416&pid_5011#a#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string kDownloads = "C:\\Users\\user\\Downloads";
const std::string kSystemSpooler = "C:\\Windows\\system32\\winspool.drv";
const std::string kSystemSetup = "C:\\Windows\\system32\\setupapi.dll";
const char* const kPlantedNames[] = {"WINSPOOL.DRV", "SETUPAPI.dll"};

class DllSearch : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    // Started from Downloads, where anything the user fetched lies beside it.
    sim::System().modulePath = kDownloads + "\\Quillmate.exe";
    sim::System().currentDirectory = kDownloads;
    sim::PutFolder(kTempFolder);
    for (const std::string& folder : Planted())
      for (const char* name : kPlantedNames) sim::PutFile(folder + "\\" + name, "MZ planted");
    sim::UsbPrinterInterfaces().push_back({kUsb, SPINT_ACTIVE, true});
    sim::PutRegistryDword(sim::InterfaceParametersKey(kUsb), "Port Number", 1);
    sim::Spooler().ports.push_back("USB001");
  }
  // The exe's folder, the current directory at the start, and the staging folder, which is the
  // current directory when the spooler is first called.
  static std::vector<std::string> Planted() { return {kDownloads, kStagingFolder}; }

  // The whole program as WinMain runs it: a USB installation, which closes the dialog.
  void RunProgram(bool restrict) {
    if (restrict) {
      ASSERT_TRUE(sys::LoadSystemDlls());
    }
    sim::SetModalDriver([](HWND d) {
      sim::Click(GetDlgItem(d, IDOK));
      if (IsWindowVisible(d)) sim::PressKey(d, VK_ESCAPE);
    });
    ui::RunApplication(theApp, GetModuleHandleA(nullptr));
    ASSERT_EQ(sim::Spooler().printers.size(), 1u) << "installed";
  }

  static void ExpectOnlyTheSystemsLibraries() {
    EXPECT_EQ(sim::LoadedModuleFile("winspool.drv"), kSystemSpooler);
    EXPECT_EQ(sim::LoadedModuleFile("setupapi.dll"), kSystemSetup);
    int delayLoaded = 0;
    for (const auto& load : sim::ModuleLoads()) {
      SCOPED_TRACE(load.by + " " + load.requested);
      for (const std::string& folder : Planted())
        for (const char* name : kPlantedNames)
          EXPECT_NE(strcasecmp(load.file.c_str(), (folder + "\\" + name).c_str()), 0)
              << "a planted DLL was loaded";
      if (load.by == "delay-load") {
        ++delayLoaded;
        EXPECT_TRUE(load.alreadyLoaded) << "the first call takes the loaded module";
      }
    }
    EXPECT_EQ(delayLoaded, 2) << "each library's functions were bound at their first call";
  }
  static std::vector<std::string> FullPathLoads(DWORD flags) {
    return {"\"" + kSystemSpooler + "\", null, " + std::to_string(flags),
            "\"" + kSystemSetup + "\", null, " + std::to_string(flags)};
  }
};

TEST_F(DllSearch, WithSetDefaultDllDirectoriesOnlyTheSystemDirectoryIsSearched) {
  RunProgram(true);
  EXPECT_EQ(sim::CallsOf("SetDefaultDllDirectories"), std::vector<std::string>{"2048"});
  EXPECT_EQ(sim::CountOf("SetDllDirectoryA"), 0);
  EXPECT_EQ(sim::CallsOf("LoadLibraryExA"), FullPathLoads(0));
  ExpectOnlyTheSystemsLibraries();
  // And a DLL loaded by name afterwards would come from there too.
  HMODULE theme = LoadLibraryA("uxtheme.dll");
  ASSERT_NE(theme, nullptr);
  EXPECT_EQ(sim::LoadedModuleFile("uxtheme.dll"), "C:\\Windows\\system32\\uxtheme.dll");
}

TEST_F(DllSearch, WithoutItTheCurrentDirectoryIsDroppedAndTheLibraryLoadedByItsPath) {
  // Windows 7 and Vista without KB2533623; XP SP1 and later.
  for (bool xp : {false, true}) {
    SCOPED_TRACE(xp ? "XP" : "7 without the update");
    sim::Reset();
    SetUp();
    sim::System().setDefaultDllDirectories = false;
    if (xp) sim::BecomeWindowsXp();
    RunProgram(true);
    EXPECT_EQ(sim::CountOf("SetDefaultDllDirectories"), 0);
    EXPECT_EQ(sim::CallsOf("SetDllDirectoryA"), std::vector<std::string>{"\"\""});
    // Its own imports are then searched from the system directory, not from the exe's.
    EXPECT_EQ(sim::CallsOf("LoadLibraryExA"), FullPathLoads(8));
    ExpectOnlyTheSystemsLibraries();
  }
}

TEST_F(DllSearch, WithNeitherCallTheFullPathStillDecides) {
  // Windows 2000 and XP before SP1 have neither.
  sim::BecomeWindowsXp();
  sim::System().setDllDirectory = false;
  sim::System().safeDllSearchMode = false;  // the current directory right after the exe's
  RunProgram(true);
  EXPECT_EQ(sim::CountOf("SetDllDirectoryA"), 0);
  ExpectOnlyTheSystemsLibraries();
}

TEST_F(DllSearch, UnrestrictedTheSpoolerBesideTheExeIsTheOneLoaded) {
  // What a program does that loads WINSPOOL.DRV by name, as the loader does for an import:
  // the exe's folder comes first, and the simulated machine finds the planted file there.
  RunProgram(false);
  EXPECT_EQ(sim::LoadedModuleFile("winspool.drv"), kDownloads + "\\WINSPOOL.DRV");
  EXPECT_EQ(sim::LoadedModuleFile("setupapi.dll"), kSystemSetup) << "a KnownDLL on Windows 7";
  // On XP, whose KnownDLLs lack SETUPAPI, the one beside the exe is taken as well.
  sim::Reset();
  SetUp();
  sim::BecomeWindowsXp();
  RunProgram(false);
  EXPECT_EQ(sim::LoadedModuleFile("setupapi.dll"), kDownloads + "\\SETUPAPI.dll");
  // Without one beside the exe and with SafeDllSearchMode off, the current directory's comes
  // before the system directory's: the staging folder's, when the spooler is first called.
  sim::Reset();
  SetUp();
  sim::System().modulePath = "C:\\Program Files\\Korvex\\Quillmate.exe";
  sim::System().safeDllSearchMode = false;
  RunProgram(false);
  EXPECT_EQ(sim::LoadedModuleFile("winspool.drv"), kStagingFolder + "\\WINSPOOL.DRV")
      << "SafeDllSearchMode off: the current directory before the system directory";
}

TEST_F(DllSearch, NoSpoolerFromTheSystemDirectoryMeansNoStart) {
  sim::FailCall("LoadLibraryExA", ERROR_MOD_NOT_FOUND);
  EXPECT_FALSE(sys::LoadSystemDlls());
  sim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(sys::LoadSystemDlls());
  // A system directory whose path leaves no room for the name is refused, never cut.
  sim::System().systemDirectory = "C:\\" + std::string(245, 's');
  EXPECT_FALSE(sys::LoadSystemDlls());
  sim::System().systemDirectory = "C:\\" + std::string(241, 's');
  sim::System().systemDlls.clear();
  EXPECT_FALSE(sys::LoadSystemDlls()) << "no such file there";
  for (const auto& load : sim::ModuleLoads()) EXPECT_NE(load.file.find("Downloads"), 0u);
  EXPECT_EQ(sim::LoadedModuleFile("winspool.drv"), "");
}

TEST_F(DllSearch, TheLoaderFollowsTheDocumentedOrder) {
  // Loaded-module list, then KnownDLLs, then the folders; a path is taken as it is.
  sim::PutFile("C:\\Windows\\system32\\mine.dll", "MZ");
  sim::PutFile(kDownloads + "\\mine.dll", "MZ");
  sim::PutFile(kDownloads + "\\shell32.dll", "MZ planted");
  EXPECT_NE(LoadLibraryA("shell32"), nullptr);
  EXPECT_EQ(sim::LoadedModuleFile("shell32.dll"), "C:\\Windows\\system32\\shell32.dll")
      << "a KnownDLL";
  HMODULE mine = LoadLibraryA("mine.dll");
  EXPECT_EQ(sim::LoadedModuleFile("mine.dll"), kDownloads + "\\mine.dll") << "exe's folder first";
  HMODULE other = LoadLibraryA("C:\\Windows\\system32\\MINE.dll");
  EXPECT_TRUE(other != nullptr && other != mine) << "another file by its path is another module";
  EXPECT_EQ(LoadLibraryA("MINE.DLL"), mine) << "a loaded module is taken by its name";
  EXPECT_EQ(GetModuleHandleA("mine.dll"), mine);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(LoadLibraryA("missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(mine));
  EXPECT_TRUE(FreeLibrary(mine));
  EXPECT_EQ(GetModuleHandleA("mine.dll"), other) << "freed as often as loaded";
  // SetDefaultDllDirectories refuses flags it does not know, and no flags at all.
  auto setDefault =
      sys::Lookup<sys::SetDefaultDllDirectoriesCall>("kernel32", "SetDefaultDllDirectories");
  ASSERT_NE(setDefault, nullptr);
  EXPECT_FALSE(setDefault(0));
  EXPECT_FALSE(setDefault(0x8));
  EXPECT_TRUE(setDefault(0x800));
  EXPECT_EQ(LoadLibraryA("mine2.dll"), nullptr);
  sim::PutFile(kDownloads + "\\mine2.dll", "MZ");
  EXPECT_EQ(LoadLibraryA("mine2.dll"), nullptr) << "the exe's folder is no longer searched";
}

}  // namespace
