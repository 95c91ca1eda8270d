// The simulated shell: programs started through ShellExecute, recorded with what they were given.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "platform/sim/state.h"

using namespace sim::detail;

namespace sim {
const std::vector<ProcessRecord>& Processes() {
  return M().processes;
}
}  // namespace sim

namespace sim {
void ScriptNeverEnding(const std::string& path, const std::string& parameters) {
  M().neverEnding.push_back({path, parameters});
}
DWORD WaitedMilliseconds() {
  return M().waitedMilliseconds;
}
int OpenProcessHandles() {
  return static_cast<int>(M().processHandles.size());
}
DWORD Uptime() {
  return M().now;
}
void PassTime(DWORD milliseconds) {
  detail::PassTime(milliseconds);
}
ServiceCommandTimes& ServiceTimes() {
  return M().serviceTimes;
}
}  // namespace sim

namespace {

using Service = sim::SpoolerState::Service;

constexpr const char* kTcpPorts =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
constexpr const char* kLocalPorts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// A starting spooler asks each monitor for its ports ("Initializing a Print Monitor" in
// Microsoft's print monitor documentation): the Standard TCP/IP monitor's are its keys, the
// Local Port monitor's the values of the Ports key. Written while the spooler runs, neither
// is known to it before its next start.
void LoadPorts() {
  auto& ports = M().spooler.ports;
  auto learn = [&](const std::string& name) {
    if (std::none_of(ports.begin(), ports.end(), [&](const std::string& p) {
          return strcasecmp(p.c_str(), name.c_str()) == 0;
        }))
      ports.push_back(name);
  };
  for (const auto& name : sim::RegistrySubkeys(kTcpPorts)) learn(name);
  for (const auto& value : sim::RegistryValues(kLocalPorts))
    if (!value.name.empty()) learn(value.name);
}

bool SamePath(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Only the system's own net.exe controls the service: a net.exe anywhere else is another
// program that happens to bear the name.
bool IsServiceCommand(const sim::ProcessRecord& record, const char* parameters) {
  return SamePath(record.ran, M().system.systemDirectory + "\\net.exe") &&
         record.parameters == parameters;
}

// A service command acts when it starts (the service goes pending) and when it ends; a command
// that finds the service in another state than it needs changes nothing and fails.
void StartServiceCommand(sim::ProcessRecord& record) {
  auto& spooler = M().spooler;
  const auto& times = M().serviceTimes;
  DWORD duration = 0;
  if (IsServiceCommand(record, "stop spooler")) {
    bool acts = spooler.service == Service::Running;
    if (acts) spooler.service = Service::StopPending;
    duration = acts ? times.stop : times.refused;
    record.exitCode = acts ? 0 : 2;
  } else if (IsServiceCommand(record, "start spooler")) {
    bool acts = spooler.service == Service::Stopped;
    if (acts) spooler.service = Service::StartPending;
    duration = acts ? times.start : times.refused;
    record.exitCode = acts ? 0 : 2;
  }
  record.endsAt = record.startedAt + duration;
}

void EndProcess(sim::ProcessRecord& record) {
  record.ended = true;
  if (record.exitCode != 0) return;
  auto& spooler = M().spooler;
  if (IsServiceCommand(record, "stop spooler") && spooler.service == Service::StopPending)
    spooler.service = Service::Stopped;
  if (IsServiceCommand(record, "start spooler") && spooler.service == Service::StartPending) {
    spooler.service = Service::Running;
    LoadPorts();
  }
}

// Ends, in the order of their ends, the programs that end by `now`.
void EndProcessesDueBy(DWORD now) {
  for (;;) {
    sim::ProcessRecord* next = nullptr;
    for (auto& p : M().processes)
      if (!p.ended && !p.endsNever && p.endsAt <= now && (!next || p.endsAt < next->endsAt))
        next = &p;
    if (next == nullptr) return;
    EndProcess(*next);
  }
}

}  // namespace

namespace sim::detail {
bool CloseProcess(HANDLE handle) {
  return M().processHandles.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
}

void PassTime(DWORD milliseconds) {
  M().now += milliseconds;
  EndProcessesDueBy(M().now);
}

bool SpoolerAnswers() {
  if (M().spooler.service == Service::Running) return true;
  M().lastError = RPC_S_SERVER_UNAVAILABLE;
  return false;
}
}  // namespace sim::detail

namespace sim {
void RestartMachine() {
  auto& m = M();
  for (auto& p : m.processes) p.ended = true;
  m.processHandles.clear();
  m.openKeys.clear();
  m.deviceSets.clear();
  m.spooler.openPrinters.clear();
  m.spooler.monitorHandles.clear();
  detail::DropVolatileKeys();
  m.spooler.service = Service::Running;
  // What the spooler knew of ports it learns again from the monitor's keys.
  auto& ports = m.spooler.ports;
  ports.erase(std::remove_if(ports.begin(), ports.end(),
                             [](const std::string& p) { return p.rfind("IP_", 0) == 0; }),
              ports.end());
  LoadPorts();
}
}  // namespace sim

namespace {

std::string Text(LPCSTR text) {
  return text ? text : "";
}

sim::ProcessRecord Record(const char* via, HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                          LPCSTR directory, int show) {
  sim::ProcessRecord record;
  record.via = via;
  record.owner = owner;
  record.verb = Text(verb);
  record.verbNull = verb == nullptr;
  record.file = Text(file);
  record.parameters = Text(parameters);
  record.parametersNull = parameters == nullptr;
  record.directory = Text(directory);
  record.directoryNull = directory == nullptr;
  record.show = show;
  return record;
}

bool NeverEnds(const std::string& ran, const std::string& parameters) {
  for (const auto& [path, p] : M().neverEnding)
    if (SamePath(path, ran) && p == parameters) return true;
  return false;
}

bool HasSeparator(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos;
}

// ".exe" goes onto a name whose last part has no extension.
std::string WithExtension(const std::string& name) {
  size_t last = name.find_last_of("\\/:");
  size_t dot = name.find('.', last == std::string::npos ? 0 : last + 1);
  return dot == std::string::npos ? name + ".exe" : name;
}

// The full path of the program the shell starts for `file`, or "" when there is none.
// Microsoft's documentation of CreateProcess (lpCommandLine) and LoadModule gives the search
// for a name without a folder: the folder the application was loaded from, the current
// directory, the system directory, the 16-bit system directory ("System" in the Windows
// directory), the Windows directory, then PATH; a name without extension is looked for with
// ".exe" (SearchPath's lpExtension). Measured on the real exe under Wine: ShellExecute of a bare
// "net" or "rundll32" runs a net.exe or rundll32.exe in the exe's folder or the current
// directory before the system's. lpDirectory is documented only as the new program's working
// directory, so it is not searched; the machine has no PATH.
std::string FindProgram(const std::string& file) {
  std::string name = WithExtension(file);
  // A name with a folder or drive in it is looked for there alone, relative to the current
  // directory.
  if (HasSeparator(file)) return ExistingFile(name);
  const auto& system = M().system;
  std::string moduleFolder = system.modulePath.substr(0, system.modulePath.find_last_of('\\'));
  for (const std::string& folder :
       {moduleFolder, system.currentDirectory, system.systemDirectory,
        system.windowsDirectory + "\\System", system.windowsDirectory}) {
    std::string found = ExistingFile(folder + "\\" + name);
    if (!found.empty()) return found;
  }
  return {};
}

// Starts a program now; one that takes no time ends at once.
void Launch(sim::ProcessRecord record) {
  record.startedAt = M().now;
  StartServiceCommand(record);
  M().processes.push_back(record);
  EndProcessesDueBy(M().now);
}

}  // namespace

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT showCommand) {
  if (Enter("ShellExecuteA",
            Args(static_cast<const void*>(owner), verb, file, parameters, directory, showCommand)))
    return reinterpret_cast<HINSTANCE>(uintptr_t{2});  // SE_ERR_FNF
  if (file == nullptr || *file == '\0') {
    M().lastError = ERROR_FILE_NOT_FOUND;
    return reinterpret_cast<HINSTANCE>(uintptr_t{2});
  }
  sim::ProcessRecord record =
      Record("ShellExecuteA", owner, verb, file, parameters, directory, showCommand);
  record.ran = FindProgram(record.file);
  if (record.ran.empty()) {
    M().lastError = ERROR_FILE_NOT_FOUND;
    return reinterpret_cast<HINSTANCE>(uintptr_t{2});  // SE_ERR_FNF
  }
  record.endsNever = NeverEnds(record.ran, record.parameters);
  Launch(record);
  return reinterpret_cast<HINSTANCE>(uintptr_t{42});  // above 32: started
}

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (Enter("ShellExecuteExA", info ? Args(info->cbSize, info->fMask, info->lpVerb, info->lpFile,
                                           info->lpParameters, info->nShow)
                                    : "null"))
    return FALSE;
  if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  info->hProcess = nullptr;
  if (info->lpFile == nullptr || *info->lpFile == '\0') {
    M().lastError = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  sim::ProcessRecord record = Record("ShellExecuteExA", info->hwnd, info->lpVerb, info->lpFile,
                                     info->lpParameters, info->lpDirectory, info->nShow);
  record.handleRequested = (info->fMask & SEE_MASK_NOCLOSEPROCESS) != 0;
  record.ran = FindProgram(record.file);
  if (record.ran.empty()) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t{2});  // SE_ERR_FNF
    M().lastError = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  record.endsNever = NeverEnds(record.ran, record.parameters);
  Launch(record);
  info->hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t{42});
  if (record.handleRequested) {
    uintptr_t handle = M().nextProcess += 4;
    M().processHandles[handle] = M().processes.size() - 1;
    info->hProcess = reinterpret_cast<HANDLE>(handle);
  }
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (Enter("WaitForSingleObject", Args(milliseconds))) return WAIT_FAILED;
  DWORD result = WAIT_FAILED;
  if (sim::detail::WaitForKernelObject(handle, milliseconds, &result)) return result;
  auto it = M().processHandles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == M().processHandles.end()) {
    M().lastError = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  sim::ProcessRecord& process = M().processes[it->second];
  process.waitedFor = true;
  if (process.ended) return WAIT_OBJECT_0;
  if (process.endsNever || process.endsAt - M().now > milliseconds) {
    if (milliseconds == INFINITE) {
      // The real program would hang here for ever; the test learns of it instead.
      std::fprintf(stderr, "simulated machine: infinite wait on a process that never ends\n");
      std::abort();
    }
    M().waitedMilliseconds += milliseconds;
    sim::detail::PassTime(milliseconds);
    return WAIT_TIMEOUT;
  }
  sim::detail::PassTime(process.endsAt - M().now);
  return WAIT_OBJECT_0;
}
