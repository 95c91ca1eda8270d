// The simulated shell: programs started through ShellExecute, recorded with what they were given.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/sim/state.h"

using namespace sim::detail;

namespace sim {
const std::vector<ProcessRecord>& Processes() {
  return M().processes;
}
}  // namespace sim

namespace sim {
void ScriptNeverEnding(const std::string& file, const std::string& parameters) {
  M().neverEnding.push_back({file, parameters});
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

// A started spooler learns the Standard TCP/IP ports written while it was not running.
void LoadNetworkPorts() {
  auto& ports = M().spooler.ports;
  for (const auto& name : sim::RegistrySubkeys(kTcpPorts)) {
    if (std::find(ports.begin(), ports.end(), name) == ports.end()) ports.push_back(name);
  }
}

bool IsServiceCommand(const sim::ProcessRecord& record, const char* parameters) {
  return record.file == "net" && record.parameters == parameters;
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
    LoadNetworkPorts();
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
  detail::DropVolatileKeys();
  m.spooler.service = Service::Running;
  // What the spooler knew of ports it learns again from the monitor's keys.
  auto& ports = m.spooler.ports;
  ports.erase(std::remove_if(ports.begin(), ports.end(),
                             [](const std::string& p) { return p.rfind("IP_", 0) == 0; }),
              ports.end());
  LoadNetworkPorts();
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

bool NeverEnds(const std::string& file, const std::string& parameters) {
  for (const auto& [f, p] : M().neverEnding)
    if (f == file && p == parameters) return true;
  return false;
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
  record.endsNever = NeverEnds(record.file, record.parameters);
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
  record.endsNever = NeverEnds(record.file, record.parameters);
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
