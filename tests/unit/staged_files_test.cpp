// Another program of the user changing the staged driver files between the unpacking and the
// installation: what reaches the driver directory, and the wizard, is the package's or nothing.
#include <map>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "install/driver_installer.h"
#include "package/driver_package.h"
#include "package/staged_files.h"
#include "text_helpers.h"

namespace {

const std::string kX64 = kStagingFolder + "\\Windows x64";
const char kCopyFailed[] = "Malfunction !\nPls try using <Run as administrator>open this App";

class StagedFiles : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    // What the spooler is handed: the driver directory as AddPrinterDriverA finds it.
    sim::BeforeCall("AddPrinterDriverA", "", [this] {
      for (const char* file : kDriverFiles)
        registered_[file] = sim::FileBytes(sim::DriverDirectory("Windows x64") + "\\" + file);
    });
  }
  void TearDown() override {
    CDriverInstaller().DeleteFolderContents(kStagingFolder);
    EXPECT_EQ(sim::OpenFileCount(), 0) << "the clean-up lets go of every file";
  }
  // Installs on LPT1: and tells whether the package's own bytes, all eight, were registered.
  bool InstallsThePackage() {
    if (!installer_.InstallPrinter(0, "LPT1:")) return false;
    for (const char* file : kDriverFiles)
      EXPECT_EQ(registered_[file], std::string("Windows x64 ") + file) << file;
    return registered_.size() == 8;
  }
  // The installation was refused as a failed copy: its text, nothing registered, no copy left.
  void ExpectRefused() {
    EXPECT_FALSE(installer_.InstallPrinter(0, "LPT1:"));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, kCopyFailed);
    EXPECT_EQ(sim::CountOf("AddPrinterDriverA"), 0);
    EXPECT_TRUE(sim::Tree(sim::DriverDirectory("Windows x64")).empty());
  }
  CDriverInstaller installer_;
  std::map<std::string, std::string> registered_;
};

TEST_F(StagedFiles, AReadOnlyLeftoverIsNeverInstalled) {
  sim::PutFile(kX64 + "\\UNIDRVUI.DLL", "planted", FILE_ATTRIBUTE_READONLY);
  StageDriverFiles();
  EXPECT_EQ(sim::FileBytes(kX64 + "\\UNIDRVUI.DLL"), "planted");
  ExpectRefused();
}

TEST_F(StagedFiles, AHiddenLeftoverIsReplacedByThePackagesFile) {
  sim::PutFile(kX64 + "\\UNIDRV.DLL", "planted", FILE_ATTRIBUTE_HIDDEN);
  StageDriverFiles();
  EXPECT_TRUE(InstallsThePackage());
}

TEST_F(StagedFiles, NothingCanRewriteDeleteOrRenameAHeldFileOrItsFolder) {
  StageDriverFiles();
  const std::string file = kX64 + "\\UNIDRV.DLL";
  EXPECT_FALSE(sim::other::Rewrite(file, "planted"));
  EXPECT_FALSE(sim::other::Delete(file));
  EXPECT_FALSE(sim::other::Rename(file, kX64 + "\\away.dll"));
  EXPECT_FALSE(sim::other::Rename(kX64, kStagingFolder + "\\away"));
  EXPECT_FALSE(sim::other::Rename(kStagingFolder, kTempFolder + "\\away"));
  EXPECT_TRUE(InstallsThePackage());
}

TEST_F(StagedFiles, FilesChangedBetweenTwoCopiesStayThePackages) {
  // After the driver itself is copied and before its configuration file is: the one is in the
  // driver directory already, the other still in the staging folder.
  StageDriverFiles();
  bool refused = false;
  sim::BeforeCall("CopyFileA", "UNIDRVUI.DLL", [&] {
    refused = !sim::other::Rewrite(kX64 + "\\UNIDRVUI.DLL", "planted") &&
              !sim::other::Delete(kX64 + "\\UNIDRV.DLL") &&
              !sim::other::Rename(kX64 + "\\UNIDRVUI.DLL", kX64 + "\\away.dll");
  });
  EXPECT_TRUE(InstallsThePackage());
  EXPECT_TRUE(refused);
}

TEST_F(StagedFiles, BytesChangedPastTheSharingRulesAreCaughtInTheCopy) {
  // A writer the sharing rules do not bind (another system's view of the same disk): the copy
  // that arrives is not the package's, so it is refused and taken away again.
  StageDriverFiles();
  sim::PutFile(kX64 + "\\UNIDRV.DLL", "planted");
  ExpectRefused();
}

TEST_F(StagedFiles, AFileChangedBetweenItsWritingAndItsHoldIsNotTheProgramsOwn) {
  // The only moment the file is open to others: after the writing handle is closed and before
  // the reading one is opened.
  sim::BeforeCall("CreateFileA", "UNIDRV.DLL\", 2147483648",
                  [] { EXPECT_TRUE(sim::other::Rewrite(kX64 + "\\UNIDRV.DLL", "planted")); });
  StageDriverFiles();
  EXPECT_EQ(staged::Held((kX64 + "\\UNIDRV.DLL").c_str()), nullptr);
  ExpectRefused();
}

TEST_F(StagedFiles, AFileReplacedBetweenItsWritingAndItsHoldIsNotTheProgramsOwn) {
  sim::BeforeCall("CreateFileA", "UNIDRVUI.DLL\", 2147483648", [] {
    EXPECT_TRUE(sim::other::Rename(kX64 + "\\UNIDRVUI.DLL", kX64 + "\\away.dll"));
    sim::PutFile(kX64 + "\\UNIDRVUI.DLL", "planted");
  });
  StageDriverFiles();
  ExpectRefused();
}

// The wizard link on the dialog of the whole program, with the real package.
class StagedWizard : public SimTest {
 protected:
  // Clicks the link once the dialog is open, after `meanwhile`; the wizards started.
  std::vector<sim::ProcessRecord> ClickTheLink(const std::function<void()>& meanwhile) {
    sim::PutFolder(kTempFolder);
    RunProgramThenEscape([&](HWND d) {
      meanwhile();
      sim::Click(GetDlgItem(d, IDC_WIZARD_LINK));
    });
    std::vector<sim::ProcessRecord> wizards;
    for (const auto& p : sim::Processes())
      if (p.parameters.find("PrintUIEntry") != std::string::npos) wizards.push_back(p);
    return wizards;
  }
};

TEST_F(StagedWizard, ItsFilesCannotBeChangedWhileTheDialogIsOpen) {
  std::string inf = kX64 + "\\KVDRVx64.INF", original;
  auto wizards = ClickTheLink([&] {
    original = sim::FileBytes(inf);
    EXPECT_FALSE(sim::other::Rewrite(inf, "planted"));
    EXPECT_FALSE(sim::other::Delete(kX64 + "\\KV80C.GPD"));
    EXPECT_FALSE(sim::other::Rename(inf, kX64 + "\\away.inf"));
    EXPECT_EQ(sim::FileBytes(inf), original);
  });
  EXPECT_FALSE(original.empty());
  EXPECT_EQ(wizards.size(), 1u);
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(StagedWizard, IsNotStartedOnAFolderThatIsNotTheProgramsOwn) {
  // A read-only INF left before the start is never written over, so never the program's.
  sim::PutFile(kX64 + "\\KVDRVx64.INF", "planted", FILE_ATTRIBUTE_READONLY);
  auto wizards = ClickTheLink([] {});
  EXPECT_TRUE(wizards.empty());
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].text, "Malfunction !");
}

}  // namespace
