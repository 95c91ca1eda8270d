// The simulated spooler's names and ports where the probe cannot reach: other code pages, the
// monitor's refusals.
#include "text_helpers.h"

namespace {

class SimSpooler : public SimTest {};

// Names are read in the ANSI code page and compared as characters: a double-byte character's
// trail byte is no letter of its own, and letters beyond ASCII fold too.
TEST_F(SimSpooler, NamesCompareWithoutCaseInTheAnsiCodePage) {
  const struct {
    UINT codePage;
    const char *a, *b;
    bool same;
  } cases[] = {
      {1252, "kv-80c", "KV-80C", true},
      {1252, "\xE9", "\xC9", true},          // é, É
      {1252, "\x9C", "\x8C", true},          // œ, Œ
      {1252, "\xE9", "E", false},            // é, E
      {936, "\x81\x61", "\x81\x41", false},  // two characters whose trail bytes are a, A
      {936, "\xA3\xE1", "\xA3\xC1", true},   // full-width a, A
      {936, "KV-80C (\xB8\xB1\xB1\xBE 1)", "kv-80c (\xB8\xB1\xB1\xBE 1)", true},  // 副本
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.codePage) + " " + c.a + " " + c.b);
    sim::Reset();
    sim::System().ansiCodePage = c.codePage;
    EXPECT_EQ(lstrcmpiA(c.a, c.b) == 0, c.same);
    // The spooler refuses a second queue under the same name exactly then.
    sim::Spooler().drivers.push_back({"Model", "Windows x64", "D.DLL", "D.GPD", "U.DLL"});
    AddExistingPrinter(c.a);
    PRINTER_INFO_2A printer{};
    printer.pPrinterName = const_cast<LPSTR>(c.b);
    printer.pPortName = const_cast<LPSTR>("LPT1:");
    printer.pDriverName = const_cast<LPSTR>("Model");
    printer.pPrintProcessor = const_cast<LPSTR>("WinPrint");
    HANDLE made = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    EXPECT_EQ(made == nullptr, c.same);
    if (made) {
      ClosePrinter(made);
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS));
    }
  }
}

// The monitor's AddPort needs the administer right (XcvDataPort), a monitor handle and a name
// that ends within the bytes given.
TEST_F(SimSpooler, TheLocalPortMonitorRefusesWhatItMust) {
  std::vector<std::string> broken;
  sim::OnBrokenContract([&](const std::string& call) { broken.push_back(call); });
  sim::PutRegistryValue("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM1:", REG_SZ,
                        std::string("9600,n,8,1\0", 11));
  const WCHAR command[] = {'A', 'd', 'd', 'P', 'o', 'r', 't', 0};
  WCHAR port[] = {'C', 'O', 'M', '7', ':', 0};
  auto add = [&](HANDLE handle, DWORD size, DWORD& status) {
    DWORD needed = 0;
    status = 12345;
    return XcvDataW(handle, command, reinterpret_cast<BYTE*>(port), size, nullptr, 0, &needed,
                    &status);
  };
  char name[] = ",XcvMonitor Local Port";
  PRINTER_DEFAULTSA readOnly = {nullptr, nullptr, 0};
  HANDLE monitor = nullptr;
  ASSERT_TRUE(OpenPrinterA(name, &monitor, &readOnly));
  DWORD status = 0;
  EXPECT_TRUE(add(monitor, sizeof port, status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ClosePrinter(monitor));

  PRINTER_DEFAULTSA administer = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  ASSERT_TRUE(OpenPrinterA(name, &monitor, &administer));
  EXPECT_TRUE(add(monitor, sizeof port - 2, status));  // the NUL left out
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(broken.size(), 1u);
  EXPECT_FALSE(add(reinterpret_cast<HANDLE>(uintptr_t{0x1234}), sizeof port, status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(add(monitor, sizeof port, status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(sim::Spooler().ports.back(), "COM7:");
  EXPECT_TRUE(ClosePrinter(monitor));
  EXPECT_TRUE(sim::Spooler().openPrinters.empty());
  // Every other test fails on a broken contract, as test_main.cpp has it.
  sim::OnBrokenContract(
      [](const std::string& call) { ADD_FAILURE() << "broken contract: " << call; });
}

// AddPrinterDriver copies a named file into the version folder only when none is there or it is
// newer (AddPrinterDriverEx, APD_COPY_NEW_FILES): by file version when both files are versioned
// printer-driver files, else by last-write time; equal is not newer.
TEST_F(SimSpooler, AddingADriverCopiesOnlyFilesNewerThanTheVersionFoldersOwn) {
  struct File {
    std::string bytes;
    WORD year;
  };
  const std::string unversioned = "unversioned", other = "other bytes";
  const std::string v3_0 = VersionedImage(3, 0), v3_1 = VersionedImage(3, 0x10000),
                    v7601 = VersionedImage(3, 0x1DB1448A),
                    dll3_1 = VersionedImage(3, 0x10000, 2, 0);  // VFT_DLL
  const struct {
    const char* what;
    bool existing;
    File there, added;
    bool copied;
  } cases[] = {
      {"none there", false, {}, {unversioned, 1980}, true},
      {"newer time", true, {other, 2009}, {unversioned, 2010}, true},
      {"equal time", true, {other, 2009}, {unversioned, 2009}, false},
      {"older time", true, {other, 2009}, {unversioned, 2008}, false},
      {"higher version, older time", true, {v3_0, 2009}, {v3_1, 2008}, true},
      {"lower version, newer time", true, {v7601, 2009}, {v3_0, 2020}, false},
      {"equal version, newer time", true, {v3_1, 2009}, {v3_1 + "x", 2020}, false},
      {"only one versioned, newer time", true, {v7601, 2009}, {dll3_1, 2010}, true},
      {"only one versioned, older time", true, {dll3_1, 2009}, {v7601, 2008}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    const std::string directory = sim::DriverDirectory("Windows x64");
    const std::string copy = directory + "\\3\\D.DLL";
    if (c.existing) {
      sim::PutFile(copy, c.there.bytes);
      SetWriteTime(copy, c.there.year, 7, 14);
    }
    sim::PutFile(directory + "\\D.DLL", c.added.bytes);
    SetWriteTime(directory + "\\D.DLL", c.added.year, 7, 14);
    for (const char* file : {"D.GPD", "U.DLL"}) sim::PutFile(directory + "\\" + file, file);
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPSTR>("Model");
    driver.pEnvironment = const_cast<LPSTR>("Windows x64");
    driver.pDriverPath = const_cast<LPSTR>("D.DLL");
    driver.pDataFile = const_cast<LPSTR>("D.GPD");
    driver.pConfigFile = const_cast<LPSTR>("U.DLL");
    auto written = [](const std::string& path) {
      const FILETIME t = sim::TimesOf(path).write;
      return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
    };
    const uint64_t keptTime = written(c.copied ? directory + "\\D.DLL" : copy);
    ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)));
    EXPECT_TRUE(sim::FileBytes(copy) == (c.copied ? c.added.bytes : c.there.bytes))
        << (c.copied ? "not copied" : "replaced");
    // The copy keeps the time of what it copies, as CopyFile does, for the next comparison.
    EXPECT_EQ(written(copy), keptTime);
    EXPECT_EQ(sim::FileBytes(directory + "\\3\\D.GPD"), "D.GPD");
  }
}

}  // namespace
