// The simulated machine's core: reset, failure injection, call log, system information, text.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace detail {

Machine& M() {
  static Machine machine;
  return machine;
}

bool Enter(const char* function, const std::string& args) {
  Machine& m = M();
  // Paths match whichever separator the program joined them with.
  auto slashes = [](std::string text) {
    for (char& c : text)
      if (c == '/') c = '\\';
    return text;
  };
  for (auto it = m.hooks.begin(); it != m.hooks.end(); ++it) {
    if (!it->function.empty() && it->function != function) continue;
    if (slashes(args).find(slashes(it->argument)) == std::string::npos) continue;
    // Taken out first: the action may call the platform itself.
    std::function<void()> action = std::move(it->action);
    m.hooks.erase(it);
    action();
    break;
  }
  m.calls.push_back({function, args});
  for (auto it = m.failures.begin(); it != m.failures.end(); ++it) {
    if (it->function != function) continue;
    if (it->skip > 0) {
      --it->skip;
      return false;
    }
    m.lastError = it->error;
    if (it->times > 0 && --it->times == 0) m.failures.erase(it);
    return true;
  }
  return false;
}

std::function<void(const std::string&)>& BrokenContractReport() {
  static std::function<void(const std::string&)> report;
  return report;
}

void BrokenContract(const std::string& what) {
  if (BrokenContractReport()) BrokenContractReport()(what);
}

void Gdi(const std::string& call, const std::string& args) {
  M().gdi.push_back({call, args});
}

}  // namespace detail

using detail::M;

void Reset() {
  detail::M() = detail::Machine();
}

void FailCall(const std::string& function, DWORD error, int skip, int times) {
  M().failures.push_back({function, error, skip, times});
}

void OnBrokenContract(std::function<void(const std::string& call)> report) {
  detail::BrokenContractReport() = std::move(report);
}

void BeforeCall(const std::string& function, const std::string& argument,
                std::function<void()> action) {
  M().hooks.push_back({function, argument, std::move(action)});
}

const std::vector<CallRecord>& Calls() {
  return M().calls;
}

std::vector<std::string> CallsOf(const std::string& function) {
  std::vector<std::string> args;
  for (const auto& call : M().calls)
    if (call.function == function) args.push_back(call.args);
  return args;
}

int CountOf(const std::string& function) {
  return static_cast<int>(CallsOf(function).size());
}

std::vector<std::string> CallSequence(const std::vector<std::string>& functions) {
  std::vector<std::string> names;
  for (const auto& call : M().calls) {
    if (functions.empty() ||
        std::find(functions.begin(), functions.end(), call.function) != functions.end())
      names.push_back(call.function);
  }
  return names;
}

void ClearCalls() {
  M().calls.clear();
}

SystemState& System() {
  return M().system;
}

const std::vector<std::string>& DebugOutput() {
  return M().debugOutput;
}

const std::vector<GdiRecord>& GdiCalls() {
  return M().gdi;
}

static std::string Convert(const std::string& text, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  std::vector<char> input(text.begin(), text.end());
  char* in = input.data();
  size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // Unmappable, as the system's narrow conversion does it: a question mark.
      out += '?';
      unsigned char lead = static_cast<unsigned char>(*in);
      size_t skip = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      skip = std::min(skip, inLeft);
      in += skip;
      inLeft -= skip;
    }
  }
  iconv_close(cd);
  return out;
}

static const char* CodePageName(UINT codePage) {
  switch (codePage) {
    case 936:
      return "GBK";
    case 65001:
      return "UTF-8";
    default:
      return "CP1252";
  }
}

std::string ToAnsi(const std::string& utf8, UINT codePage) {
  return Convert(utf8, "UTF-8", CodePageName(codePage));
}

std::string FromAnsi(const std::string& ansi, UINT codePage) {
  return Convert(ansi, CodePageName(codePage), "UTF-8");
}

}  // namespace sim

using sim::detail::Args;
using sim::detail::Enter;
using sim::detail::M;

DWORD GetLastError() {
  return M().lastError;
}

void SetLastError(DWORD error) {
  M().lastError = error;
}

UINT GetACP() {
  return M().system.ansiCodePage;
}

LANGID GetUserDefaultUILanguage() {
  Enter("GetUserDefaultUILanguage", "");
  return M().system.uiLanguage;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (Enter("GetModuleFileNameA", Args(static_cast<const void*>(module), size))) return 0;
  const std::string& path = M().system.modulePath;
  if (size == 0) return 0;
  // Like the system: a path that does not fit is cut, terminated, and reported by its size.
  DWORD copied = static_cast<DWORD>(std::min<size_t>(path.size(), size - 1));
  std::memcpy(fileName, path.data(), copied);
  fileName[copied] = '\0';
  if (path.size() >= size) {
    M().lastError = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  return copied;
}

void OutputDebugStringA(LPCSTR text) {
  Enter("OutputDebugStringA", Args(text));
  M().debugOutput.push_back(text == nullptr ? "" : text);
}

void Sleep(DWORD milliseconds) {
  Enter("Sleep", Args(milliseconds));
  M().system.sleptMilliseconds += milliseconds;
  sim::detail::PassTime(milliseconds);
  if (M().system.realSleeps) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (Enter("GetVersionExA", Args(info == nullptr ? 0u : info->dwOSVersionInfoSize))) return FALSE;
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const auto& s = M().system;
  info->dwMajorVersion = s.majorVersion;
  info->dwMinorVersion = s.minorVersion;
  info->dwBuildNumber = s.buildNumber;
  info->dwPlatformId = 2;  // VER_PLATFORM_WIN32_NT
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

void GetNativeSystemInfo(LPSYSTEM_INFO info) {
  Enter("GetNativeSystemInfo", "");
  std::memset(info, 0, sizeof *info);
  info->wProcessorArchitecture = M().system.nativeArchitecture;
  info->dwPageSize = 4096;
  info->dwNumberOfProcessors = 2;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  if (Enter("InitCommonControlsEx", init == nullptr ? "null" : Args(init->dwSize, init->dwICC)))
    return FALSE;
  if (init == nullptr || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  // Version 6 of the common controls registers every class once it is initialised.
  M().commonControls = true;
  return TRUE;
}
