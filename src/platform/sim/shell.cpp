// The simulated shell: programs started through ShellExecute, recorded with what they were given.
#include "platform/sim/state.h"

using namespace sim::detail;

namespace sim {
const std::vector<ProcessRecord>& Processes() { return M().processes; }
}  // namespace sim

namespace sim::detail {
// The shell hands out no process handles yet.
bool CloseProcess(HANDLE) { return false; }
}  // namespace sim::detail

namespace {

std::string Text(LPCSTR text) { return text ? text : ""; }

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

}  // namespace

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT showCommand) {
  if (Enter("ShellExecuteA", Args(static_cast<const void*>(owner), verb, file, parameters,
                                  directory, showCommand)))
    return reinterpret_cast<HINSTANCE>(uintptr_t{2});  // SE_ERR_FNF
  if (file == nullptr || *file == '\0') {
    M().lastError = ERROR_FILE_NOT_FOUND;
    return reinterpret_cast<HINSTANCE>(uintptr_t{2});
  }
  M().processes.push_back(
      Record("ShellExecuteA", owner, verb, file, parameters, directory, showCommand));
  return reinterpret_cast<HINSTANCE>(uintptr_t{42});  // above 32: started
}
