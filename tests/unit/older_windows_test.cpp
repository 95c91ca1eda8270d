// The program on Windows XP, whose kernel32 lacks Vista's calls on files by handle: staging,
// installation and clean-up work through ntdll's calls on the same handles.
#include <algorithm>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "install/driver_installer.h"
#include "package/archive_reader.h"
#include "package/driver_package.h"
#include "platform/system_calls.h"
#include "text_helpers.h"
#include "zip_builder.h"

namespace {

const std::string kUsb = "\\\\?\\usb#vid_0416&pid_5011#a#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

class OnWindowsXp : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::BecomeWindowsXp();
    sim::PutFolder(kTempFolder);
  }
  // The Vista calls were never made, and ntdll's were.
  static void ExpectOnlyXpCalls() {
    EXPECT_EQ(sim::CountOf("GetFileInformationByHandleEx"), 0);
    EXPECT_EQ(sim::CountOf("SetFileInformationByHandle"), 0);
    auto lookups = sim::CallsOf("GetProcAddress");
    EXPECT_TRUE(std::any_of(lookups.begin(), lookups.end(), [](const std::string& args) {
      return args.find("GetFileInformationByHandleEx") != std::string::npos;
    })) << "looked up, and not found";
  }
  static std::vector<std::string> Files(const std::vector<std::string>& tree) {
    std::vector<std::string> files;
    for (const auto& path : tree)
      if (!(sim::AttributesOf(path) & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(path);
    return files;
  }
};

TEST_F(OnWindowsXp, KernelLacksTheVistaCallsAndNtdllHasItsOwn) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  for (const char* name :
       {"GetFileInformationByHandleEx", "SetFileInformationByHandle", "SetDefaultDllDirectories"}) {
    SCOPED_TRACE(name);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(kernel, name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  EXPECT_NE(GetProcAddress(kernel, "SetDllDirectoryA"), nullptr) << "XP SP1 and later";
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  for (const char* name : {"NtQueryDirectoryFile", "NtSetInformationFile", "RtlNtStatusToDosError"})
    EXPECT_NE(GetProcAddress(ntdll, name), nullptr) << name;
}

TEST_F(OnWindowsXp, TheDialogUnpacksInstallsOverUsbAndEmptiesTheStagingFolder) {
  sim::UsbPrinterInterfaces().push_back({kUsb, SPINT_ACTIVE, true});
  sim::PutRegistryDword(sim::InterfaceParametersKey(kUsb), "Port Number", 1);
  sim::Spooler().ports.push_back("USB001");
  size_t staged = 0;
  bool closed = false;
  sim::SetModalDriver([&](HWND d) {
    staged = Files(sim::Tree(kStagingFolder)).size();
    // Leftovers of an earlier run are deleted through their handles too.
    sim::PutFile(kStagingFolder + "\\old\\left.txt", "an earlier run's");
    sim::Click(GetDlgItem(d, IDOK));
    closed = !IsWindowVisible(d);
    if (!closed) sim::PressKey(d, VK_ESCAPE);
  });
  ui::RunApplication(theApp, GetModuleHandleA(nullptr));

  EXPECT_EQ(staged, 20u) << "the package's twenty files were unpacked";
  EXPECT_TRUE(closed) << "a successful installation closes the dialog";
  ASSERT_EQ(sim::Spooler().printers.size(), 1u);
  EXPECT_EQ(sim::Spooler().printers[0].port, "USB001");
  EXPECT_EQ(sim::Spooler().drivers.at(0).environment, "Windows NT x86");
  EXPECT_EQ(sim::PrintJobs().size(), 1u) << "the test page";
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{}) << "emptied as it went";
  EXPECT_TRUE(sim::PathExists(kStagingFolder));
  EXPECT_GT(sim::CountOf("NtQueryDirectoryFile"), 0);
  EXPECT_GT(sim::CountOf("NtSetInformationFile"), 0);
  ExpectOnlyXpCalls();
  EXPECT_EQ(sim::OpenFileCount(), 0);
}

TEST_F(OnWindowsXp, TheCleanUpEmptiesTheStagingFolderThroughItsHandles) {
  UnpackDriverPackage(1033);
  ASSERT_EQ(Files(sim::Tree(kStagingFolder)).size(), 20u);
  sim::PutFile(kStagingFolder + "\\Windows x64\\extra.bin", "another program's");
  sim::PutFolder(kStagingFolder + "\\deep\\er\\still");
  sim::MakeLink(kStagingFolder + "\\link", "C:\\Users\\user\\Documents");
  sim::PutFile("C:\\Users\\user\\Documents\\letter.txt", "the user's own");
  CDriverInstaller installer;
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  installer.DeleteFolderContents(current);
  EXPECT_EQ(sim::Tree(kStagingFolder), std::vector<std::string>{});
  EXPECT_TRUE(sim::PathExists(kStagingFolder));
  EXPECT_EQ(sim::FileBytes("C:\\Users\\user\\Documents\\letter.txt"), "the user's own")
      << "a link is removed, never followed";
  ExpectOnlyXpCalls();
}

TEST_F(OnWindowsXp, ADamagedMemberWrittenReadOnlyLeavesNoFile) {
  ZipMember member{"a", "data", false};
  member.external = 0x21;  // read-only
  std::string zip = MakeZip({member});
  zip[zip.find("data")] ^= 0x01;  // stored, so the bytes are there: the CRC-32 no longer fits
  sim::PutFolder("C:\\T");
  ArchiveReader* reader =
      ArchiveReader::OpenFromMemory(zip.data(), static_cast<uint32_t>(zip.size()));
  ASSERT_NE(reader, nullptr);
  reader->SetBaseFolder("C:\\T");
  EXPECT_EQ(reader->ExtractItem(0, "a"), ArchiveResult::Corrupt);
  reader->Close();
  EXPECT_FALSE(sim::PathExists("C:\\T\\a"));
  EXPECT_EQ(sim::CountOf("SetFileInformationByHandle"), 0);
  auto set = sim::CallsOf("NtSetInformationFile");
  EXPECT_EQ(set, (std::vector<std::string>{"4, 40", "13, 1"}))
      << "the attributes, then the deletion";
  EXPECT_EQ(sim::OpenFileCount(), 0);
}

TEST_F(OnWindowsXp, NtdllsAnswersCarryTheStatusAndTheProgramSeesTheError) {
  // A folder deletion refused (not empty) comes back as STATUS_DIRECTORY_NOT_EMPTY, which
  // RtlNtStatusToDosError turns into the error kernel32 would have set.
  sim::PutFile("C:\\T\\F\\a", "x");
  HANDLE folder = CreateFileA("C:\\T\\F", DELETE | FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  auto set = sys::Lookup<sys::NtSetInformationFileCall>("ntdll.dll", "NtSetInformationFile");
  auto toError = sys::Lookup<sys::RtlNtStatusToDosErrorCall>("ntdll.dll", "RtlNtStatusToDosError");
  ASSERT_TRUE(set != nullptr && toError != nullptr);
  sys::IoStatusBlock io{};
  sys::FileDispositionInformation disposition{1};
  sys::NtStatus status =
      set(folder, &io, &disposition, sizeof disposition, sys::kFileDispositionInformation);
  EXPECT_EQ(status, static_cast<sys::NtStatus>(0xC0000101));
  EXPECT_EQ(io.status, status);
  EXPECT_EQ(toError(status), static_cast<ULONG>(ERROR_DIR_NOT_EMPTY));
  // A class the program does not use is refused.
  EXPECT_LT(set(folder, &io, &disposition, sizeof disposition, 10), 0);
  CloseHandle(folder);
  EXPECT_TRUE(sim::PathExists("C:\\T\\F\\a"));
}

}  // namespace
