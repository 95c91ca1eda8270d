// Inputs nobody should send: hostile packages, odd registry data, links, long and many names.
// How long the many-names cases take is measured in bench/.
#include "install/driver_installer.h"
#include "package/driver_package.h"
#include "ports/usb_printer_ports.h"
#include "resources/resource.h"
#include "text_helpers.h"
#include "zip_builder.h"

namespace {

class Hostile : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::PutFolder(kTempFolder);
    sim::PutFile("C:\\abs", "the root's own file");
    sim::PutFile("C:\\Users\\user\\x", "not ours");
  }
  // Everything written lies below the staging folder, and nothing else changed.
  void UnpackAndCheck(const std::string& package) {
    auto before = sim::Tree();
    sim::SetResource("ZIP", IDR_PACKAGE_EN, package);
    UnpackDriverPackage(1033);
    for (const auto& path : sim::Tree()) {
      bool old = std::binary_search(before.begin(), before.end(), path);
      bool inside = path.rfind(kStagingFolder, 0) == 0;
      EXPECT_TRUE(old || inside) << path << " written outside the staging folder";
    }
    EXPECT_EQ(sim::FileBytes("C:\\abs"), "the root's own file");
    EXPECT_EQ(sim::FileBytes("C:\\Users\\user\\x"), "not ours");
  }
};

TEST_F(Hostile, MemberNamesThatTryToLeaveTheStagingFolder) {
  UnpackAndCheck(MakeRawZip({{"..\\x", "1"},
                             {"../../x", "2"},
                             {"/abs", "3"},
                             {"\\abs", "4"},
                             {"C:x", "5"},
                             {"C:\\abs", "6"},
                             {"a\\..\\..\\..\\abs", "7"},
                             {"sub/../../../Users/user/x", "8"},
                             {"..", "9"}}));
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\x"), "5")
      << "parent references and drives are dropped";
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\abs"), "7");
  // A member whose staged path would pass 259 characters: the package is not begun at all.
  sim::Reset();
  SetUp();
  UnpackAndCheck(MakeRawZip({{"short", "1"},
                             {std::string(259, 'n'), "10"},
                             {std::string(260, 'n'), "11"},
                             {std::string(300, 'n'), "12"}}));
  EXPECT_FALSE(sim::PathExists(kStagingFolder + "\\short"));
}

TEST_F(Hostile, AGbkNameWhoseTrailByteIsABackslash) {
  sim::System().ansiCodePage = 936;
  std::string name = "\x95\x5c..\\..\\x";  // the first "\" is half of a character
  UnpackAndCheck(MakeRawZip({{name, "gbk"}}));
  EXPECT_EQ(sim::Tree(kStagingFolder).size(), 1u);
}

TEST_F(Hostile, TenThousandMembers) {
  std::vector<ZipMember> members;
  for (int i = 0; i < 10000; ++i)
    members.push_back({"d" + std::to_string(i % 10) + "/f" + std::to_string(i), "x", false});
  UnpackAndCheck(MakeZip(members));
  EXPECT_EQ(sim::Tree(kStagingFolder).size(), 10010u);
}

TEST_F(Hostile, AMemberClaimingFourGigabytesLeavesNoFile) {
  std::string zip = MakeRawZip({{"big", "tiny"}});
  size_t central = zip.find(std::string("PK\x01\x02", 4));
  for (int i = 0; i < 4; ++i) zip[central + 24 + i] = '\xff';  // uncompressed size 0xFFFFFFFF
  size_t local = LocalHeaderOffset(zip, 0);
  for (int i = 0; i < 4; ++i) zip[local + 22 + i] = '\xff';
  UnpackAndCheck(zip);
  EXPECT_FALSE(sim::PathExists(kStagingFolder + "\\big"));
}

TEST_F(Hostile, AStagingFolderThatIsALinkToAFile) {
  sim::PutFile("C:\\Users\\user\\secret.txt", "keep");
  ASSERT_TRUE(sim::MakeLink(kStagingFolder, "C:\\Users\\user\\secret.txt"));
  UnpackAndCheck(MakeZip({{"a", "1"}}));
  EXPECT_EQ(sim::FileBytes("C:\\Users\\user\\secret.txt"), "keep");
  EXPECT_EQ(sim::FileBytes(kStagingFolder + "\\a"), "1")
      << "the link is removed, not followed, and a real folder made";
}

TEST_F(Hostile, PortNumbersOfEveryWidth) {
  std::string path = "\\\\?\\usb#vid_0416&pid_5011#w#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  sim::UsbPrinterInterfaces().push_back({path, SPINT_ACTIVE, true});
  for (size_t width : {0u, 1u, 2u, 3u, 4u, 5u, 8u, 261u, 300u}) {
    SCOPED_TRACE(width);
    // A DWORD value stored with a size of its own: only four bytes are a port number.
    sim::PutRegistryValue(sim::InterfaceParametersKey(path), "Port Number", REG_DWORD,
                          std::string(width, '\x07'));
    std::vector<std::string> found;
    EXPECT_TRUE(CUsbPrinterPorts::Enumerate(found));
    if (width == 4) {
      EXPECT_EQ(found, std::vector<std::string>{"USB117901063"});
    } else {
      EXPECT_TRUE(found.empty());
    }
  }
}

TEST_F(Hostile, DevicePathsShorterThanTheVendorPart) {
  for (const char* path : {"", "\\", "\\\\?\\usb#", "\\\\?\\usb#vid_041"}) {
    sim::UsbPrinterInterfaces().push_back({path, SPINT_ACTIVE, true});
    EXPECT_FALSE(CUsbPrinterPorts::IsSupportedVendor(path)) << path;
  }
  std::vector<std::string> found;
  EXPECT_TRUE(CUsbPrinterPorts::Enumerate(found));
  EXPECT_TRUE(found.empty());
}

class ManyPrinters : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    StageDriverFiles();
  }
  CDriverInstaller installer_;
};

TEST_F(ManyPrinters, NamesOf255CharactersDoNotDisturbTheSearch) {
  for (char c = 'a'; c < 'k'; ++c) AddExistingPrinter(std::string(255, c));
  AddExistingPrinter(std::string(255, 'K'));
  AddExistingPrinter("KV-80C");
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_STREQ(installer_.installedPrinterName, "KV-80C (copy 1)");
}

TEST_F(ManyPrinters, TenThousandPrintersAreSearchedForAFreeName) {
  for (int i = 0; i < 10000; ++i) AddExistingPrinter("Printer " + std::to_string(i));
  AddExistingPrinter("KV-80C");
  AddExistingPrinter("KV-80C (copy 1)");
  ASSERT_TRUE(installer_.InstallPrinter(0, "LPT1:"));
  EXPECT_STREQ(installer_.installedPrinterName, "KV-80C (copy 2)");
  EXPECT_EQ(sim::DebugOutput().size(), 10001u + 10002u + 10002u)
      << "one trace line a pass: up to KV-80C, up to its copy 1, then a full scan";
}

}  // namespace
