// Port discovery and the network port, on the simulated registry and device interfaces.
#include <algorithm>
#include <tuple>

#include "install/driver_installer.h"
#include "ports/usb_printer_ports.h"
#include "text_helpers.h"

namespace {

std::string UsbPath(const std::string& vendor, const std::string& instance = "7&1a2b") {
  return "\\\\?\\usb#" + vendor + "&pid_5011#" + instance +
         "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

void Attach(const std::string& path, DWORD port) {
  sim::UsbPrinterInterfaces().push_back({path, SPINT_ACTIVE, true});
  sim::PutRegistryDword(sim::InterfaceParametersKey(path), "Port Number", port);
}

class UsbPorts : public SimTest {
 protected:
  std::vector<std::string> Found(bool expectedResult = true) {
    std::vector<std::string> found;
    EXPECT_EQ(CUsbPrinterPorts::Enumerate(found), expectedResult);
    EXPECT_EQ(sim::OpenDeviceInfoSets(), 0) << "the set is released";
    EXPECT_EQ(sim::OpenRegistryKeys(), 0) << "every key is closed";
    return found;
  }
};

TEST_F(UsbPorts, NoPrinterAttached) {
  EXPECT_TRUE(Found().empty());
}

TEST_F(UsbPorts, OnlySupportedVendorsInAnyCase) {
  Attach(UsbPath("vid_04b8", "a"), 1);
  Attach(UsbPath("vid_1fc9", "b"), 2);
  Attach(UsbPath("VID_1FC9", "c"), 3);
  Attach(UsbPath("VID_0416", "d"), 4);
  std::vector<std::string> expected = {"USB002", "USB003", "USB004"};
  EXPECT_EQ(Found(), expected);
  EXPECT_TRUE(CUsbPrinterPorts::IsSupportedVendor(UsbPath("vid_067b").c_str()));
  EXPECT_FALSE(CUsbPrinterPorts::IsSupportedVendor("\\\\?\\usb#vid_067"));
  // Every one of the eight characters counts, the first and the last too.
  EXPECT_FALSE(CUsbPrinterPorts::IsSupportedVendor(UsbPath("xid_067b").c_str()));
  EXPECT_FALSE(CUsbPrinterPorts::IsSupportedVendor(UsbPath("vid_067c").c_str()));
  EXPECT_FALSE(CUsbPrinterPorts::IsSupportedVendor(""));
  EXPECT_FALSE(CUsbPrinterPorts::IsSupportedVendor(nullptr));
}

TEST_F(UsbPorts, PortNamesUseTheWholeNumberInThreeDigits) {
  Attach(UsbPath("vid_0416", "a"), 3);
  Attach(UsbPath("vid_0416", "b"), 10);
  Attach(UsbPath("vid_0416", "c"), 261);
  std::vector<std::string> expected = {"USB003", "USB010", "USB261"};
  EXPECT_EQ(Found(), expected);
}

TEST_F(UsbPorts, DiscoveryOrderIsKept) {
  Attach(UsbPath("vid_0416", "a"), 2);
  Attach(UsbPath("vid_0483", "b"), 1);
  EXPECT_EQ(Found(), (std::vector<std::string>{"USB002", "USB001"}));
}

TEST_F(UsbPorts, InterfacesThatAreNotJustActiveAreSkipped) {
  Attach(UsbPath("vid_0416", "a"), 1);
  sim::UsbPrinterInterfaces()[0].flags = SPINT_ACTIVE | SPINT_DEFAULT;
  Attach(UsbPath("vid_0416", "b"), 2);
  EXPECT_EQ(Found(), std::vector<std::string>{"USB002"});
}

TEST_F(UsbPorts, OnlyTheFirst255InterfacesAreExamined) {
  for (int i = 0; i < 255; ++i) Attach(UsbPath("vid_04b8", std::to_string(i)), 1);
  Attach(UsbPath("vid_0416", "late"), 9);
  EXPECT_TRUE(Found().empty());
  EXPECT_EQ(sim::CountOf("SetupDiEnumDeviceInterfaces"), 255);
}

TEST_F(UsbPorts, PrintersSeenBeforeButUnpluggedTakeNoPlaceOfAPresentOne) {
  for (int i = 0; i < 260; ++i) {
    sim::PlugUsbPrinter(UsbPath("vid_0416", "old" + std::to_string(i)), i);
    sim::UnplugUsbPrinter(UsbPath("vid_0416", "old" + std::to_string(i)));
  }
  Attach(UsbPath("vid_0416", "now"), 9);
  EXPECT_EQ(Found(), std::vector<std::string>{"USB009"});
  EXPECT_EQ(sim::CallsOf("SetupDiGetClassDevsA"), std::vector<std::string>{"null, 18"});
}

TEST_F(UsbPorts, UnreadableDetailStopsWithEarlierNamesKept) {
  Attach(UsbPath("vid_0416", "a"), 1);
  Attach(UsbPath("vid_0416", "b"), 2);
  sim::UsbPrinterInterfaces()[1].detailReadable = false;
  Attach(UsbPath("vid_0416", "c"), 3);
  EXPECT_EQ(Found(false), std::vector<std::string>{"USB001"});
  // The same when the size is told but the detail itself cannot be read.
  sim::UsbPrinterInterfaces()[1].detailReadable = true;
  sim::FailCall("SetupDiGetDeviceInterfaceDetailA", ERROR_ACCESS_DENIED, 3);
  EXPECT_EQ(Found(false), std::vector<std::string>{"USB001"});
}

TEST_F(UsbPorts, MissingKeyOrOddValueSkipsOneInterfaceWithTraces) {
  sim::UsbPrinterInterfaces().push_back({UsbPath("vid_0416", "nokey"), SPINT_ACTIVE, true});
  sim::UsbPrinterInterfaces().push_back({UsbPath("vid_0416", "novalue"), SPINT_ACTIVE, true});
  sim::PutRegistryDword(sim::InterfaceParametersKey(UsbPath("vid_0416", "novalue")), "Other", 4);
  Attach(UsbPath("vid_0416", "word"), 1);
  sim::PutRegistryValue(sim::InterfaceParametersKey(UsbPath("vid_0416", "word")), "Port Number",
                        REG_BINARY, std::string("\x05", 1));
  Attach(UsbPath("vid_0416", "ok"), 7);
  EXPECT_EQ(Found(), std::vector<std::string>{"USB007"});
  std::vector<std::string> expected = {Gbk("打开键失败"),
                                       "read regkey failed",
                                       Gbk("读取键失败"),
                                       "read regkey failed",
                                       "read regkey failed",
                                       "USB007",
                                       "USB007"};
  EXPECT_EQ(sim::DebugOutput(), expected);
}

// Only a REG_DWORD counts: the bytes of a text or of another type name no port, whatever
// their length ("002" with its NUL is four bytes too).
TEST_F(UsbPorts, APortNumberOfAnotherTypeIsLeftOutAsUnreadable) {
  const std::pair<DWORD, std::string> odd[] = {{REG_SZ, std::string("002\0", 4)},
                                               {REG_BINARY, std::string("\x02\0\0\0", 4)},
                                               {REG_EXPAND_SZ, std::string("7\0", 2)}};
  for (const auto& [type, data] : odd) {
    std::string path = UsbPath("vid_0416", "t" + std::to_string(type));
    Attach(path, 1);
    sim::PutRegistryValue(sim::InterfaceParametersKey(path), "Port Number", type, data);
  }
  Attach(UsbPath("vid_0416", "dword"), 2);
  EXPECT_EQ(Found(), std::vector<std::string>{"USB002"});
  std::vector<std::string> expected = {"read regkey failed", "read regkey failed",
                                       "read regkey failed", "USB002", "USB002"};
  EXPECT_EQ(sim::DebugOutput(), expected);
}

TEST_F(UsbPorts, NoDeviceSetMeansFalseAndNothing) {
  sim::FailCall("SetupDiGetClassDevsA", ERROR_ACCESS_DENIED);
  Attach(UsbPath("vid_0416"), 1);
  EXPECT_TRUE(Found(false).empty());
}

TEST_F(UsbPorts, KeyPathKeepsGbkTrailBytes) {
  sim::System().ansiCodePage = 936;
  std::string path = "\\\\?\\usb#vid_0416&pid_5011#\x95\x5c#{g}";
  std::string key = CUsbPrinterPorts::InterfaceKeyPath(path.c_str(), "Device Parameters");
  EXPECT_NE(key.find("##?#usb#vid_0416&pid_5011#\x95\x5c#{g}\\#\\Device Parameters"),
            std::string::npos)
      << key;
}

class DeviceMaps : public SimTest {
 protected:
  CDriverInstaller installer_;
};

TEST_F(DeviceMaps, SerialNamesAreTheWholeDataWithAColon) {
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial3", REG_SZ,
                        std::string("COM4\0", 5));
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM1\0", 5));
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial9", REG_SZ,
                        std::string("COM10\0", 6));
  std::vector<std::string> found;
  installer_.EnumerateSerialPorts(found);
  installer_.EnumerateSerialPorts(found);
  std::vector<std::string> expected = {"COM4:", "COM1:", "COM10:", "COM4:", "COM1:", "COM10:"};
  EXPECT_EQ(found, expected);
  EXPECT_EQ(sim::DebugOutput(), expected) << "each name found is traced";
  EXPECT_EQ(sim::OpenRegistryKeys(), 0);
}

TEST_F(DeviceMaps, ParallelNamesTakeTheLastCharacter) {
  const std::string key = "HARDWARE\\DEVICEMAP\\PARALLEL PORTS";
  sim::PutRegistryValue(key, "\\Device\\Parallel0", REG_SZ,
                        std::string("\\DosDevices\\LPT1\0", 17));
  sim::PutRegistryValue(key, "\\Device\\Parallel1", REG_SZ,
                        std::string("\\DosDevices\\LPT10\0", 18));
  sim::PutRegistryValue(key, "\\Device\\Parallel2", REG_SZ, std::string());
  sim::PutRegistryValue(key, "\\Device\\Parallel3", REG_SZ, std::string(300, 'x') + "9");
  std::vector<std::string> found;
  installer_.EnumerateParallelPorts(found);
  std::vector<std::string> expected = {"LPT1:", "LPT0:"};
  EXPECT_EQ(found, expected) << "empty and over-long data give no entry";
  EXPECT_EQ(sim::DebugOutput(), expected);
}

// Only a REG_SZ's text counts: a DWORD 5 would be "LPT\x05:", and no port name may hold a
// control character, whatever the map's type.
TEST_F(DeviceMaps, OnlyTextsWithoutControlCharactersNamePorts) {
  const std::string parallel = "HARDWARE\\DEVICEMAP\\PARALLEL PORTS";
  const std::string serial = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
  for (const std::string& key : {parallel, serial}) {
    sim::PutRegistryDword(key, "\\Device\\Dword", 5);
    sim::PutRegistryValue(key, "\\Device\\Binary", REG_BINARY, std::string("COM2\0", 5));
    sim::PutRegistryValue(key, "\\Device\\Expand", REG_EXPAND_SZ, std::string("COM3\0", 5));
    sim::PutRegistryValue(key, "\\Device\\Multi", REG_MULTI_SZ, std::string("COM4\0\0", 6));
    sim::PutRegistryValue(key, "\\Device\\Tab", REG_SZ, std::string("COM\t5\0", 6));
    sim::PutRegistryValue(key, "\\Device\\Escape", REG_SZ, std::string("COM6\x1b\0", 6));
    sim::PutRegistryValue(key, "\\Device\\Delete", REG_SZ, std::string("COM7\x7f\0", 6));
    sim::PutRegistryValue(key, "\\Device\\Text", REG_SZ, std::string("COM8\0", 5));
  }
  std::vector<std::string> found;
  installer_.EnumerateParallelPorts(found);
  installer_.EnumerateSerialPorts(found);
  // The parallel name takes the last character only: a control character before it is no
  // part of the name.
  std::vector<std::string> expected = {"LPT5:", "LPT8:", "COM8:"};
  EXPECT_EQ(found, expected);
  EXPECT_EQ(sim::DebugOutput(), expected);
  EXPECT_EQ(sim::OpenRegistryKeys(), 0);
}

TEST_F(DeviceMaps, AMissingMapGivesNothing) {
  std::vector<std::string> found;
  installer_.EnumerateSerialPorts(found);
  installer_.EnumerateParallelPorts(found);
  EXPECT_TRUE(found.empty());
}

TEST_F(DeviceMaps, AMapThatFailsToReadStopsInsteadOfSpinning) {
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "a", REG_SZ, std::string("COM1\0", 5));
  sim::FailCall("RegEnumValueA", ERROR_ACCESS_DENIED, 0, -1);
  std::vector<std::string> found;
  installer_.EnumerateSerialPorts(found);
  EXPECT_TRUE(found.empty());
}

const std::string kPorts =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

class NetworkPort : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::PutRegistryValue(kPorts, "StatusUpdateInterval", REG_DWORD, std::string(4, '\0'));
  }
  std::vector<std::string> ServiceCommands() {
    std::vector<std::string> commands;
    for (const auto& p : sim::Processes())
      if (p.ran == kSystemNet) commands.push_back(p.parameters + (p.waitedFor ? " waited" : ""));
    return commands;
  }
  CDriverInstaller installer_;
};

std::string Dword(DWORD v) {
  return std::string(reinterpret_cast<const char*>(&v), 4);
}

TEST_F(NetworkPort, TenValuesInOrderThenTheRestart) {
  installer_.CreateNetworkPort("192.168.1.100");
  auto values = sim::RegistryValues(kPorts + "\\IP_[192.168.1.100]");
  std::vector<std::tuple<std::string, DWORD, std::string>> expected = {
      {"HostName", REG_SZ, std::string("192.168.1.100\0", 14)},
      {"HWAddress", REG_SZ, std::string("\0", 1)},
      {"IPAddress", REG_SZ, std::string("\0", 1)},
      {"PortMonMibPortIndex", REG_DWORD, Dword(0)},
      {"PortNumber", REG_DWORD, Dword(9100)},
      {"Protocol", REG_DWORD, Dword(1)},
      {"SNMP Community", REG_SZ, std::string("tarnel\0", 7)},
      {"SNMP Enabled", REG_DWORD, Dword(0)},
      {"SNMP Index", REG_DWORD, Dword(1)},
      {"Version", REG_DWORD, Dword(2)},
  };
  ASSERT_EQ(values.size(), expected.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(values[i].name, std::get<0>(expected[i]));
    EXPECT_EQ(values[i].type, std::get<1>(expected[i])) << values[i].name;
    EXPECT_EQ(values[i].data, std::get<2>(expected[i])) << values[i].name;
  }
  // The key is written and closed before the stop; stop and start are each waited for, with
  // the pause between.
  std::vector<std::string> restart = {
      "RegCloseKey()",
      "GetSystemDirectoryA(260)",
      "ShellExecuteExA(" + std::to_string(sizeof(SHELLEXECUTEINFOA)) +
          ", 64, \"open\", \"C:\\Windows\\system32\\net.exe\", \"stop spooler\", 0)",
      "WaitForSingleObject(60000)",
      "CloseHandle(0xb0004)",
      "Sleep(20)",
      "ShellExecuteExA(" + std::to_string(sizeof(SHELLEXECUTEINFOA)) +
          ", 64, \"open\", \"C:\\Windows\\system32\\net.exe\", \"start spooler\", 0)",
      "WaitForSingleObject(60000)",
      "CloseHandle(0xb0008)"};
  auto log = CallLog();
  ASSERT_GE(log.size(), restart.size());
  EXPECT_EQ(std::vector<std::string>(log.end() - restart.size(), log.end()), restart);
  EXPECT_EQ(sim::CallsOf("RegCreateKeyExA"),
            std::vector<std::string>{"\"IP_[192.168.1.100]\", 0, 131103"});
  ASSERT_EQ(sim::Processes().size(), 2u);
  for (const auto& p : sim::Processes()) {
    EXPECT_EQ(p.file, kSystemNet);
    EXPECT_EQ(p.ran, kSystemNet);
    EXPECT_EQ(p.directory, kSystemFolder);
    EXPECT_EQ(p.owner, nullptr);
  }
  EXPECT_EQ(sim::OpenProcessHandles(), 0);
  EXPECT_EQ(sim::OpenRegistryKeys(), 0);
  EXPECT_EQ(sim::Spooler().service, sim::SpoolerState::Service::Running);
  auto& ports = sim::Spooler().ports;
  EXPECT_NE(std::find(ports.begin(), ports.end(), "IP_[192.168.1.100]"), ports.end())
      << "the restarted spooler knows the port";
  // The port is the machine's for good: it outlives the next start of Windows.
  sim::RestartMachine();
  EXPECT_EQ(sim::RegistryValues(kPorts + "\\IP_[192.168.1.100]").size(), 10u);
  EXPECT_NE(std::find(ports.begin(), ports.end(), "IP_[192.168.1.100]"), ports.end());
}

// The restart runs from the staging folder; a net.exe planted there or beside the exe is another
// program, never started. Without the system directory no net is started and none waited for.
TEST_F(NetworkPort, OnlyTheSystemsNetRestartsTheSpooler) {
  const std::vector<std::string> restart = {kSystemNet + " stop spooler",
                                            kSystemNet + " start spooler"};
  const struct {
    std::string planted;
    bool systemDirectory;
  } cases[] = {{kExeFolder, true}, {kStagingFolder, true}, {kExeFolder, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.planted + (c.systemDirectory ? "" : ", no system directory"));
    sim::Reset();
    SetUp();
    sim::System().currentDirectory = kStagingFolder;
    ASSERT_TRUE(sim::PutFile(c.planted + "\\net.exe", "MZ planted"));
    if (!c.systemDirectory) sim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
    installer_.CreateNetworkPort("10.0.0.7");
    std::vector<std::string> ran;
    for (const auto& p : sim::Processes()) ran.push_back(p.ran + " " + p.parameters);
    EXPECT_EQ(ran, c.systemDirectory ? restart : std::vector<std::string>{});
    EXPECT_EQ(sim::CountOf("WaitForSingleObject"), c.systemDirectory ? 2 : 0);
    EXPECT_EQ(sim::RegistryValues(kPorts + "\\IP_[10.0.0.7]").size(), 10u);
    EXPECT_EQ(sim::Spooler().service, sim::SpoolerState::Service::Running);
    auto& ports = sim::Spooler().ports;
    EXPECT_EQ(std::find(ports.begin(), ports.end(), "IP_[10.0.0.7]") != ports.end(),
              c.systemDirectory)
        << "only a restart by the system's net teaches the spooler the port";
  }
}

TEST_F(NetworkPort, AValueThatCannotBeWrittenIsSkippedAndTheNextStillWritten) {
  sim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 4);
  installer_.CreateNetworkPort("10.0.0.7");
  std::vector<std::string> names;
  for (const auto& v : sim::RegistryValues(kPorts + "\\IP_[10.0.0.7]")) names.push_back(v.name);
  std::vector<std::string> expected = {
      "HostName", "HWAddress",      "IPAddress",    "PortMonMibPortIndex",
      "Protocol", "SNMP Community", "SNMP Enabled", "SNMP Index",
      "Version"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(ServiceCommands().size(), 2u);
}

TEST_F(NetworkPort, WindowsXpGetsVersionOne) {
  sim::System().majorVersion = 5;
  installer_.CreateNetworkPort("10.0.0.7");
  EXPECT_EQ(sim::RegistryValues(kPorts + "\\IP_[10.0.0.7]").back().data, Dword(1));
}

TEST_F(NetworkPort, AnExistingKeyKeepsItsOtherValues) {
  sim::PutRegistryValue(kPorts + "\\IP_[10.0.0.7]", "Extra", REG_SZ, "kept");
  sim::PutRegistryValue(kPorts + "\\IP_[10.0.0.7]", "PortNumber", REG_DWORD, Dword(515));
  installer_.CreateNetworkPort("10.0.0.7");
  auto values = sim::RegistryValues(kPorts + "\\IP_[10.0.0.7]");
  ASSERT_EQ(values.size(), 11u);
  EXPECT_EQ(values[0].data, "kept");
  EXPECT_EQ(values[1].data, Dword(9100));
}

TEST_F(NetworkPort, FailedVersionQueryLeavesNineValuesAndNoRestart) {
  sim::FailCall("GetVersionExA", ERROR_ACCESS_DENIED);
  installer_.CreateNetworkPort("10.0.0.7");
  EXPECT_EQ(sim::RegistryValues(kPorts + "\\IP_[10.0.0.7]").size(), 9u);
  EXPECT_TRUE(ServiceCommands().empty());
  EXPECT_EQ(sim::OpenRegistryKeys(), 0);
}

TEST_F(NetworkPort, UnopenablePortsKeyWritesNothingButStillRestarts) {
  sim::DenyRegistryWrites(kPorts);
  installer_.CreateNetworkPort("10.0.0.7");
  EXPECT_FALSE(sim::RegistryKeyExists(kPorts + "\\IP_[10.0.0.7]"));
  EXPECT_EQ(sim::CountOf("RegSetValueExA"), 0);
  EXPECT_EQ(ServiceCommands().size(), 2u);
}

TEST_F(NetworkPort, ACommandThatNeverEndsIsGivenUpAfterTheBound) {
  sim::ScriptNeverEnding(kSystemNet, "stop spooler");
  installer_.CreateNetworkPort("10.0.0.7");
  EXPECT_EQ(sim::WaitedMilliseconds(), 60000u);
  EXPECT_EQ(ServiceCommands().size(), 2u) << "the start still follows";
  EXPECT_NE(std::find(sim::DebugOutput().begin(), sim::DebugOutput().end(),
                      "net stop spooler did not end within 60 s"),
            sim::DebugOutput().end());
  EXPECT_EQ(sim::OpenProcessHandles(), 0);
}

}  // namespace
