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
}  // namespace sim

namespace sim::detail {
bool CloseProcess(HANDLE handle) {
  return M().processHandles.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
}
}  // namespace sim::detail

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

// The spooler's service commands act on the simulated spooler when they end.
void RunServiceCommand(const sim::ProcessRecord& record) {
  if (record.endsNever || record.file != "net") return;
  auto& spooler = M().spooler;
  if (record.parameters == "stop spooler") spooler.running = false;
  if (record.parameters == "start spooler" && !spooler.running) {
    spooler.running = true;
    // A restarted spooler learns the Standard TCP/IP ports written meanwhile.
    const std::string ports =
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
    for (const auto& name : sim::RegistrySubkeys(ports)) {
      if (std::find(spooler.ports.begin(), spooler.ports.end(), name) == spooler.ports.end())
        spooler.ports.push_back(name);
    }
  }
}

bool NeverEnds(const std::string& file, const std::string& parameters) {
  for (const auto& [f, p] : M().neverEnding)
    if (f == file && p == parameters) return true;
  return false;
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
  M().processes.push_back(record);
  RunServiceCommand(record);
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
  M().processes.push_back(record);
  RunServiceCommand(record);
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
  if (!process.endsNever) return WAIT_OBJECT_0;
  if (milliseconds == INFINITE) {
    // The real program would hang here for ever; the test learns of it instead.
    std::fprintf(stderr, "simulated machine: infinite wait on a process that never ends\n");
    std::abort();
  }
  M().waitedMilliseconds += milliseconds;
  return WAIT_TIMEOUT;
}
