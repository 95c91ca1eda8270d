// The simulated shell finds a program named without its folder where Windows looks for it.
#include "text_helpers.h"

namespace {

class SimShell : public SimTest {
 protected:
  static HINSTANCE Open(const char* file, const char* parameters = nullptr) {
    return ShellExecuteA(nullptr, "open", file, parameters, nullptr, SW_HIDE);
  }
  static uintptr_t Code(HINSTANCE result) { return reinterpret_cast<uintptr_t>(result); }
};

// Microsoft's documentation of CreateProcess and LoadModule: the exe's folder, the current
// directory, the system directory, the 16-bit system directory, the Windows directory; ".exe"
// for a name without extension. Each place is tried with every later one holding the name too.
TEST_F(SimShell, ABareNameIsFoundWhereWindowsLooksFirst) {
  const std::string places[] = {kExeFolder, kStagingFolder, kSystemFolder, "C:\\Windows\\System",
                                "C:\\Windows"};
  for (size_t first = 0; first < std::size(places); ++first) {
    SCOPED_TRACE(places[first]);
    sim::Reset();
    ASSERT_TRUE(sim::PutFolder(kStagingFolder));
    ASSERT_TRUE(SetCurrentDirectoryA(kStagingFolder.c_str()));
    for (size_t i = first; i < std::size(places); ++i)
      ASSERT_TRUE(sim::PutFile(places[i] + "\\tool.exe", "MZ"));
    EXPECT_GT(Code(Open("tool")), 32u);
    EXPECT_GT(Code(Open("TOOL.EXE")), 32u);
    ASSERT_EQ(sim::Processes().size(), 2u);
    for (const auto& p : sim::Processes()) EXPECT_EQ(p.ran, places[first] + "\\tool.exe");
  }
  // A folder bearing the name is no program; a name with a folder is looked for there alone.
  sim::Reset();
  ASSERT_TRUE(sim::PutFolder(kExeFolder + "\\net.exe"));
  ASSERT_TRUE(sim::PutFile(kExeFolder + "\\Sub\\tool.exe", "MZ"));
  EXPECT_GT(Code(Open("net")), 32u);
  EXPECT_GT(Code(Open("Sub\\tool")), 32u);
  ASSERT_EQ(sim::Processes().size(), 2u);
  EXPECT_EQ(sim::Processes()[0].ran, kSystemNet);
  EXPECT_EQ(sim::Processes()[1].ran, kExeFolder + "\\Sub\\tool.exe");
}

TEST_F(SimShell, NothingFoundStartsNothing) {
  SetLastError(0);
  EXPECT_EQ(Code(Open("tool")), 2u);  // SE_ERR_FNF
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = "C:\\Windows\\tool.exe";
  SetLastError(0);
  EXPECT_FALSE(ShellExecuteExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Code(info.hInstApp), 2u);
  EXPECT_EQ(info.hProcess, nullptr);
  EXPECT_TRUE(sim::Processes().empty());
}

// A net.exe anywhere but the system directory is some other program: the service stays as it is.
TEST_F(SimShell, OnlyTheSystemsNetControlsTheSpooler) {
  ASSERT_TRUE(sim::PutFile(kExeFolder + "\\net.exe", "MZ planted"));
  EXPECT_GT(Code(Open("net", "stop spooler")), 32u);
  sim::PassTime(sim::ServiceTimes().stop);
  EXPECT_EQ(sim::Spooler().service, sim::SpoolerState::Service::Running);
  EXPECT_GT(Code(Open("c:\\WINDOWS\\System32\\NET.exe", "stop spooler")), 32u);
  sim::PassTime(sim::ServiceTimes().stop);
  EXPECT_EQ(sim::Spooler().service, sim::SpoolerState::Service::Stopped);
}

}  // namespace
