// qmdrive: drives another process's dialog in the same Wine prefix, by window title and control id.
//
// Texts cross the process boundary as UTF-16 (the W calls): under Wine the narrow calls
// return only part of another process's strings. Output is UTF-8, one tab-separated record
// per line, texts in double quotes with C escapes:
//   title  "<caption>"
//   ctrl   <id> <class> visible|hidden enabled|disabled checked|unchecked|- "<text>"
//   item   <list id> <index> selected|- "<text>"         (list box entries)
//   fields <ip control id> "<f0>.<f1>.<f2>.<f3>"          (what the four fields show)
// Exit codes: 0 done, 1 the awaited state did not come, 2 bad usage, 3 the window or
// control is missing or a user could not operate it now.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>

namespace {

constexpr int kDone = 0;
constexpr int kTimedOut = 1;
constexpr int kUsage = 2;
constexpr int kRefused = 3;

constexpr DWORD kPollMs = 50;
// A sent message to a dialog whose thread is stuck must not hang the test.
constexpr UINT kSendTimeoutMs = 3000;

// To a console as UTF-16, to a pipe or file as UTF-8 bytes.
void WriteTo(DWORD stream, const std::wstring& text) {
  HANDLE handle = GetStdHandle(stream);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  int length = static_cast<int>(text.size());
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &bytes[0], size, nullptr, nullptr);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Write(const std::wstring& text) {
  WriteTo(STD_OUTPUT_HANDLE, text);
}
void Fail(const std::wstring& text) {
  WriteTo(STD_ERROR_HANDLE, L"qmdrive: " + text + L"\n");
}

// Quoted with C escapes so that leading and trailing blanks stay visible and every record
// keeps to one line.
std::wstring Quote(const std::wstring& text) {
  std::wstring quoted = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'\\':
        quoted += L"\\\\";
        break;
      case L'"':
        quoted += L"\\\"";
        break;
      case L'\n':
        quoted += L"\\n";
        break;
      case L'\r':
        quoted += L"\\r";
        break;
      case L'\t':
        quoted += L"\\t";
        break;
      default:
        if (c < 0x20) {
          wchar_t escape[8];
          swprintf(escape, 8, L"\\x%02x", static_cast<unsigned>(c));
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + L"\"";
}

bool ParseNumber(const wchar_t* text, unsigned long* value) {
  if (text == nullptr || *text == L'\0') return false;
  wchar_t* end = nullptr;
  *value = wcstoul(text, &end, 10);
  return *end == L'\0';
}

// Sends and waits at most kSendTimeoutMs; false when the target did not answer.
bool SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
  *result = 0;
  return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             result) != 0;
}

// WM_GETTEXT first: for another process's window GetWindowTextW returns only the caption
// stored with the window, which an edit control does not keep up to date.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (SendBounded(window, WM_GETTEXTLENGTH, 0, 0, &length)) {
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &copied)) {
      text.resize(copied);
      return text;
    }
  }
  wchar_t buffer[1024] = {};
  int copied = GetWindowTextW(window, buffer, 1024);
  return std::wstring(buffer, copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// The first visible top-level window with exactly this title: a dialog being built is
// not visible yet, and its captions may still change.
HWND FindShown(const wchar_t* title) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, nullptr, title)) != nullptr) {
    if (IsWindowVisible(window)) return window;
  }
  return nullptr;
}

HWND RequireShown(const wchar_t* title) {
  HWND window = FindShown(title);
  if (window == nullptr) Fail(std::wstring(L"no visible window titled ") + Quote(title));
  return window;
}

// A control a user could operate now: visible, enabled, in a window that is enabled
// (a window is disabled while its message box is open).
HWND RequireOperable(HWND dialog, const wchar_t* idText) {
  unsigned long id = 0;
  if (!ParseNumber(idText, &id)) {
    Fail(std::wstring(L"bad control id ") + idText);
    return nullptr;
  }
  HWND control = GetDlgItem(dialog, static_cast<int>(id));
  if (control == nullptr) {
    Fail(std::wstring(L"no control ") + idText);
  } else if (!IsWindowEnabled(dialog)) {
    Fail(L"the window is disabled");
  } else if (!IsWindowVisible(control)) {
    Fail(std::wstring(L"control ") + idText + L" is hidden");
  } else if (!IsWindowEnabled(control)) {
    Fail(std::wstring(L"control ") + idText + L" is disabled");
  } else {
    return control;
  }
  return nullptr;
}

bool IsCheckable(HWND control) {
  if (ClassOf(control) != L"Button") return false;
  switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return true;
    default:
      return false;
  }
}

std::wstring CheckState(HWND control) {
  if (!IsCheckable(control)) return L"-";
  DWORD_PTR state = 0;
  if (!SendBounded(control, BM_GETCHECK, 0, 0, &state)) return L"?";
  return state == BST_CHECKED         ? L"checked"
         : state == BST_INDETERMINATE ? L"indeterminate"
                                      : L"unchecked";
}

void DumpListItems(HWND list, int id) {
  DWORD_PTR count = 0;
  DWORD_PTR selected = 0;
  if (!SendBounded(list, LB_GETCOUNT, 0, 0, &count)) return;
  SendBounded(list, LB_GETCURSEL, 0, 0, &selected);
  for (DWORD_PTR i = 0; i < count && static_cast<LRESULT>(count) != LB_ERR; ++i) {
    DWORD_PTR length = 0;
    if (!SendBounded(list, LB_GETTEXTLEN, i, 0, &length) || static_cast<LRESULT>(length) == LB_ERR)
      continue;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendBounded(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]), &copied);
    text.resize(static_cast<LRESULT>(copied) == LB_ERR ? 0 : copied);
    wchar_t head[64];
    swprintf(head, 64, L"item\t%d\t%u\t%ls\t", id, static_cast<unsigned>(i),
             i == selected ? L"selected" : L"-");
    Write(head + Quote(text) + L"\n");
  }
}

// The four fields of an IP address control are edit children; their texts show what the
// user sees ("" for a blank field).
void DumpAddressFields(HWND control, int id) {
  std::wstring fields;
  int n = 0;
  for (HWND field = GetWindow(control, GW_CHILD); field != nullptr;
       field = GetWindow(field, GW_HWNDNEXT), ++n) {
    if (n > 0) fields += L".";
    fields += TextOf(field);
  }
  wchar_t head[32];
  swprintf(head, 32, L"fields\t%d\t", id);
  Write(head + Quote(fields) + L"\n");
}

int WaitWindow(wchar_t** args) {
  unsigned long timeout = 0;
  if (!ParseNumber(args[1], &timeout)) return kUsage;
  DWORD start = GetTickCount();
  while (FindShown(args[0]) == nullptr) {
    if (GetTickCount() - start >= timeout) {
      Fail(std::wstring(L"no visible window titled ") + Quote(args[0]) + L" within " + args[1] +
           L" ms");
      return kTimedOut;
    }
    Sleep(kPollMs);
  }
  return kDone;
}

int WaitGone(wchar_t** args) {
  unsigned long timeout = 0;
  if (!ParseNumber(args[1], &timeout)) return kUsage;
  DWORD start = GetTickCount();
  while (FindWindowW(nullptr, args[0]) != nullptr) {
    if (GetTickCount() - start >= timeout) {
      Fail(std::wstring(L"a window titled ") + Quote(args[0]) + L" still exists after " + args[1] +
           L" ms");
      return kTimedOut;
    }
    Sleep(kPollMs);
  }
  return kDone;
}

// Children in z order, which for a dialog template is creation order.
int Dump(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  Write(L"title\t" + Quote(TextOf(dialog)) + L"\n");
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    int id = GetDlgCtrlID(control);
    std::wstring kind = ClassOf(control);
    wchar_t head[64];
    swprintf(head, 64, L"ctrl\t%d\t", id);
    Write(head + kind + L"\t" + (IsWindowVisible(control) ? L"visible" : L"hidden") + L"\t" +
          (IsWindowEnabled(control) ? L"enabled" : L"disabled") + L"\t" + CheckState(control) +
          L"\t" + Quote(TextOf(control)) + L"\n");
    if (kind == L"ListBox") DumpListItems(control, id);
    if (kind == WC_IPADDRESSW) DumpAddressFields(control, id);
  }
  return kDone;
}

// Posted, not sent: a handler may open a modal message box, and the click must not wait
// for it to be answered. BM_CLICK lets an automatic radio button check itself as a real
// click would.
int Click(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  HWND control = RequireOperable(dialog, args[1]);
  if (control == nullptr) return kRefused;
  return PostMessageW(control, BM_CLICK, 0, 0) ? kDone : kRefused;
}

// The close box sends SC_CLOSE; the dialog turns it into IDCANCEL.
int Close(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  if (!IsWindowEnabled(dialog)) {
    Fail(L"the window is disabled");
    return kRefused;
  }
  return PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) ? kDone : kRefused;
}

// A key goes to the focused control through the dialog's own message loop, where
// IsDialogMessage turns Esc into IDCANCEL.
int PostKey(const wchar_t* title, UINT virtualKey) {
  HWND dialog = RequireShown(title);
  if (dialog == nullptr) return kRefused;
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) &&
      info.hwndFocus != nullptr && (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus))) {
    target = info.hwndFocus;
  }
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  bool posted = PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1) &&
                PostMessageW(target, WM_KEYUP, virtualKey, scan | 1 | (3u << 30));
  return posted ? kDone : kRefused;
}

int KeyEscape(wchar_t** args) {
  return PostKey(args[0], VK_ESCAPE);
}

// What the prefix reports to programs: the tests check it before judging captions.
int Locale(wchar_t**) {
  wchar_t line[128];
  swprintf(line, 128, L"ui=%u acp=%u oemcp=%u lcid=%lu\n",
           static_cast<unsigned>(GetUserDefaultUILanguage()), GetACP(), GetOEMCP(),
           static_cast<unsigned long>(GetUserDefaultLCID()));
  Write(line);
  return kDone;
}

struct Command {
  const wchar_t* name;
  int argumentCount;
  const wchar_t* usage;
  int (*run)(wchar_t** args);
};

const Command kCommands[] = {
    {L"wait-window", 2, L"wait-window <title> <timeout-ms>", WaitWindow},
    {L"wait-gone", 2, L"wait-gone <title> <timeout-ms>", WaitGone},
    {L"dump", 1, L"dump <title>", Dump},
    {L"click", 2, L"click <title> <control-id>", Click},
    {L"close", 1, L"close <title>", Close},
    {L"key-escape", 1, L"key-escape <title>", KeyEscape},
    {L"locale", 0, L"locale", Locale},
};

int Usage() {
  std::wstring text = L"usage:\n";
  for (const Command& command : kCommands)
    text += std::wstring(L"  qmdrive ") + command.usage + L"\n";
  Fail(text);
  return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  for (const Command& command : kCommands) {
    if (std::wcscmp(argv[1], command.name) != 0) continue;
    if (argc - 2 != command.argumentCount) return Usage();
    int result = command.run(argv + 2);
    if (result == kUsage) Usage();
    return result;
  }
  return Usage();
}
