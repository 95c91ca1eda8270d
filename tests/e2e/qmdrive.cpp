// qmdrive: drives the program's dialogs in the same Wine prefix; reads its spooler and registry.
//
// Texts cross the process boundary as UTF-16 (the W calls): under Wine the narrow calls
// return only part of another process's strings. Output is UTF-8, one tab-separated record
// per line, texts in double quotes with C escapes:
//   title   "<caption>"
//   ctrl    <id> <class> visible|hidden enabled|disabled checked|unchecked|- "<text>"
//   item    <list id> <index> selected|- "<text>"         (list box entries)
//   fields  <ip control id> "<f0>.<f1>.<f2>.<f3>"          (what the four fields show)
//   message "<caption>" "<text>"                           (a message box of the program)
//   printer "<name>" "<port>" "<driver>"
//   port    "<name>"
//   default "<name>"
//   error   "<text>"                                       (the system's text for an error)
//   driver  "<name>" "<environment>" "<driver file>" "<data file>" "<configuration file>"
//   value   "<name>" <type> <size> <data>     (text quoted; a DWORD in decimal; else hex bytes)
//   font    "<face>" <height> <dpi> <base x> <base y>
//   program <process id>                                   (a process of the program)
//   window  <process id> <class> visible|hidden "<title>"
//   client  <w>x<h> <w>x<h>          (the dialog's client area, and what its units give)
//   frame   <l>,<t>,<r>,<b> <l>,<t>,<r>,<b> <l>,<t>,<r>,<b>
//           (the dialog's window, its monitor's work area and screen, in screen pixels)
//   place   <id> <l>,<t>,<r>,<b> inside|outside
//           (a shown control on the screen; inside: within the dialog's client area, the work
//           area and the screen)
//   state   <process id> visible|hidden iconic|restored foreground|background
//           (each top-level window with a title)
//   stale   <pixels> <l>,<t>,<r>,<b>|-  (what a full repaint of the dialog changes)
//   scroll  <list id> <extent> <dx> <missing>/<columns>
//           (a list scrolled a page further right: where its twin lies then, what it shows)
//   fit     <id> <kind> fits|clipped|outside <needed w>x<h> <room w>x<h> "<text>"
//           (the needed width is the measured extent or the ink of the drawn glyphs, the wider)
//   drawn   <id> <entry>|- <kind> shown|clipped|cut|scrolled|unseen <missing>/<columns> <first>|-
//           "<text>"
//           (the glyph columns the control shows on screen, against its twin drawn here with
//           room to spare; a list box has one per entry in view)
// Exit codes: 0 done, 1 the awaited state did not come, 2 bad usage, 3 the window, control,
// key or printer is missing or a user could not operate it now.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <winspool.h>

#include "drawn_text.h"

#include <algorithm>
#include <iterator>
#include <cwchar>
#include <string>
#include <vector>

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

std::wstring RectText(const RECT& r) {
  wchar_t text[64];
  swprintf(text, 64, L"%ld,%ld,%ld,%ld", static_cast<long>(r.left), static_cast<long>(r.top),
           static_cast<long>(r.right), static_cast<long>(r.bottom));
  return text;
}

bool Within(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
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

// Asks `done` every kPollMs until it says true (then true) or `timeoutMs` have passed (false).
template <class Done>
bool PollUntil(unsigned long timeoutMs, Done done) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

int WaitWindow(wchar_t** args) {
  unsigned long timeout = 0;
  if (!ParseNumber(args[1], &timeout)) return kUsage;
  if (PollUntil(timeout, [&] { return FindShown(args[0]) != nullptr; })) return kDone;
  Fail(std::wstring(L"no visible window titled ") + Quote(args[0]) + L" within " + args[1] +
       L" ms");
  return kTimedOut;
}

int WaitGone(wchar_t** args) {
  unsigned long timeout = 0;
  if (!ParseNumber(args[1], &timeout)) return kUsage;
  if (PollUntil(timeout, [&] { return FindWindowW(nullptr, args[0]) == nullptr; })) return kDone;
  Fail(std::wstring(L"a window titled ") + Quote(args[0]) + L" still exists after " + args[1] +
       L" ms");
  return kTimedOut;
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

// Decimal, and within [low, high].
bool ParseInRange(const wchar_t* text, unsigned long low, unsigned long high,
                  unsigned long* value) {
  return ParseNumber(text, value) && *value >= low && *value <= high;
}

// --- the dialog, continued -----------------------------------------------------------------

int SetIp(wchar_t** args) {
  unsigned long part[4] = {};
  for (int i = 0; i < 4; ++i)
    if (!ParseInRange(args[2 + i], 0, 255, &part[i])) return kUsage;
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  HWND control = RequireOperable(dialog, args[1]);
  if (control == nullptr) return kRefused;
  if (ClassOf(control) != WC_IPADDRESSW) {
    Fail(std::wstring(L"control ") + args[1] + L" is no IP address control");
    return kRefused;
  }
  DWORD_PTR result = 0;
  LPARAM address = static_cast<LPARAM>(MAKEIPADDRESS(part[0], part[1], part[2], part[3]));
  return SendBounded(control, IPM_SETADDRESS, 0, address, &result) ? kDone : kRefused;
}

// As a user's choice in the list: the selection moves, and the parent hears of it as from
// a click (LB_SETCURSEL alone notifies nobody).
int Select(wchar_t** args) {
  unsigned long index = 0;
  if (!ParseNumber(args[2], &index)) return kUsage;
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  HWND list = RequireOperable(dialog, args[1]);
  if (list == nullptr) return kRefused;
  DWORD_PTR count = 0;
  if (!SendBounded(list, LB_GETCOUNT, 0, 0, &count) || static_cast<LRESULT>(count) == LB_ERR ||
      index >= count) {
    Fail(std::wstring(L"list ") + args[1] + L" has no entry " + args[2]);
    return kRefused;
  }
  DWORD_PTR result = 0;
  if (!SendBounded(list, LB_SETCURSEL, index, 0, &result) || static_cast<LRESULT>(result) == LB_ERR)
    return kRefused;
  WPARAM command = MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE);
  return SendBounded(dialog, WM_COMMAND, command, reinterpret_cast<LPARAM>(list), &result)
             ? kDone
             : kRefused;
}

int List(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  unsigned long id = 0;
  HWND list = ParseNumber(args[1], &id) ? GetDlgItem(dialog, static_cast<int>(id)) : nullptr;
  if (list == nullptr || ClassOf(list) != L"ListBox") {
    Fail(std::wstring(L"no list box ") + args[1]);
    return kRefused;
  }
  DumpListItems(list, static_cast<int>(id));
  return kDone;
}

// --- message boxes -------------------------------------------------------------------------

// The process whose message boxes count: the program under test, by its image name.
constexpr wchar_t kProgramImage[] = L"Quillmate.exe";
// A message box's text is the static with this id; the main dialog has no such control.
constexpr int kMessageTextId = 0xFFFF;
constexpr DWORD kAnswerTimeoutMs = 5000;

std::vector<DWORD> ProgramProcesses() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    const wchar_t* base = std::wcsrchr(entry.szExeFile, L'\\');
    base = base ? base + 1 : entry.szExeFile;
    if (_wcsicmp(base, kProgramImage) == 0) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return ids;
}

struct BoxSearch {
  std::vector<DWORD> processes;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<BoxSearch*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  bool ours = false;
  for (DWORD id : search->processes) ours = ours || id == process;
  if (!ours || !IsWindowVisible(window) || ClassOf(window) != L"#32770") return TRUE;
  HWND text = GetDlgItem(window, kMessageTextId);
  if (text == nullptr || ClassOf(text) != L"Static") return TRUE;
  search->found = window;
  return FALSE;  // windows come topmost first: the box being shown now
}

BOOL CALLBACK PrintTopWindow(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t head[64];
  swprintf(head, 64, L"window\t%lu\t", static_cast<unsigned long>(process));
  Write(head + ClassOf(window) + L"\t" + (IsWindowVisible(window) ? L"visible" : L"hidden") +
        L"\t" + Quote(TextOf(window)) + L"\n");
  return TRUE;
}

// Every top-level window, topmost first: what is on the desktop when a wait fails.
int Windows(wchar_t**) {
  std::vector<DWORD> ours = ProgramProcesses();
  for (DWORD id : ours) Write(L"program\t" + std::to_wstring(id) + L"\n");
  EnumWindows(PrintTopWindow, 0);
  return kDone;
}

HWND FindMessageBox() {
  BoxSearch search{ProgramProcesses(), nullptr};
  if (!search.processes.empty()) EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits for a message box of the program, optionally one whose text holds a given part,
// and prints it. A box with other text is printed to stderr, so that a failed wait shows
// what the program said instead.
int WaitMessage(wchar_t** args) {
  unsigned long timeout = 0;
  if (!ParseNumber(args[0], &timeout)) return kUsage;
  const wchar_t* part = args[1] != nullptr ? args[1] : L"";  // argv ends with a null
  HWND reported = nullptr;
  int result = kTimedOut;
  bool ended = PollUntil(timeout, [&] {
    // A program that has ended, or died, will show nothing more.
    if (ProgramProcesses().empty()) {
      Fail(std::wstring(L"no ") + kProgramImage + L" is running");
      return true;
    }
    HWND box = FindMessageBox();
    if (box == nullptr) return false;
    std::wstring text = TextOf(GetDlgItem(box, kMessageTextId));
    if (text.find(part) != std::wstring::npos) {
      Write(L"message\t" + Quote(TextOf(box)) + L"\t" + Quote(text) + L"\n");
      result = kDone;
      return true;
    }
    if (box != reported) Fail(L"a message box says " + Quote(text));
    reported = box;
    return false;
  });
  if (!ended)
    Fail(std::wstring(L"no message box") + (*part ? L" saying " + Quote(part) : L"") + L" within " +
         args[0] + L" ms");
  return result;
}

// Clicks one of the box's buttons and waits for the box to go, so that a following
// wait-message sees the next box and not this one again.
int AnswerMessage(wchar_t** args) {
  unsigned long id = 0;
  if (!ParseNumber(args[0], &id)) return kUsage;
  HWND box = FindMessageBox();
  if (box == nullptr) {
    Fail(L"no message box is open");
    return kRefused;
  }
  HWND button = GetDlgItem(box, static_cast<int>(id));
  if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
    Fail(std::wstring(L"the message box has no button ") + args[0]);
    return kRefused;
  }
  if (!PostMessageW(button, BM_CLICK, 0, 0)) return kRefused;
  if (PollUntil(kAnswerTimeoutMs, [&] { return !IsWindow(box); })) return kDone;
  Fail(L"the message box stays open after its button " + std::wstring(args[0]));
  return kTimedOut;
}

// --- the spooler ---------------------------------------------------------------------------

std::wstring OrEmpty(const wchar_t* text) {
  return text ? text : L"";
}

int Printers(wchar_t**) {
  DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 4);
  if (!EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &count)) {
    Fail(L"EnumPrintersW failed with error " + std::to_wstring(GetLastError()));
    return kRefused;
  }
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    Write(L"printer\t" + Quote(OrEmpty(printers[i].pPrinterName)) + L"\t" +
          Quote(OrEmpty(printers[i].pPortName)) + L"\t" + Quote(OrEmpty(printers[i].pDriverName)) +
          L"\n");
  }
  return kDone;
}

int DefaultPrinter(wchar_t**) {
  DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  std::wstring name(size + 1, L'\0');
  if (size == 0 || !GetDefaultPrinterW(&name[0], &size)) {
    Fail(L"no default printer (error " + std::to_wstring(GetLastError()) + L")");
    return kRefused;
  }
  name.resize(std::wcslen(name.c_str()));
  Write(L"default\t" + Quote(name) + L"\n");
  return kDone;
}

int Drivers(wchar_t** args) {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, args[0], 3, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 4);
  if (!EnumPrinterDriversW(nullptr, args[0], 3, buffer.data(), needed, &needed, &count)) {
    Fail(L"EnumPrinterDriversW failed with error " + std::to_wstring(GetLastError()));
    return kRefused;
  }
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    Write(L"driver\t" + Quote(OrEmpty(drivers[i].pName)) + L"\t" +
          Quote(OrEmpty(drivers[i].pEnvironment)) + L"\t" + Quote(OrEmpty(drivers[i].pDriverPath)) +
          L"\t" + Quote(OrEmpty(drivers[i].pDataFile)) + L"\t" +
          Quote(OrEmpty(drivers[i].pConfigFile)) + L"\n");
  }
  return kDone;
}

// Removes a queue, so that a later installation starts from a known set of printers.
int DeletePrinterCommand(wchar_t** args) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(args[0], &printer, &access)) {
    Fail(std::wstring(L"no printer ") + Quote(args[0]) + L" (error " +
         std::to_wstring(GetLastError()) + L")");
    return kRefused;
  }
  BOOL deleted = DeletePrinter(printer);
  DWORD error = GetLastError();
  ClosePrinter(printer);
  if (!deleted) {
    Fail(std::wstring(L"cannot delete ") + Quote(args[0]) + L" (error " + std::to_wstring(error) +
         L")");
    return kRefused;
  }
  return kDone;
}

// Makes a queue on a port with an installed driver, unless the spooler has a printer of that
// name already: one that another program made before the installer ran.
int AddPrinterCommand(wchar_t** args) {
  HANDLE existing = nullptr;
  if (OpenPrinterW(args[0], &existing, nullptr)) {
    ClosePrinter(existing);
    return kDone;
  }
  PRINTER_INFO_2W info{};
  info.pPrinterName = args[0];
  info.pPortName = args[1];
  info.pDriverName = args[2];
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer == nullptr) {
    Fail(std::wstring(L"cannot add ") + Quote(args[0]) + L" (error " +
         std::to_wstring(GetLastError()) + L")");
    return kRefused;
  }
  ClosePrinter(printer);
  return kDone;
}

// The ports the spooler lists, level 1, in its order.
int Ports(wchar_t**) {
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 4);
  if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) {
    Fail(L"EnumPortsW failed with error " + std::to_wstring(GetLastError()));
    return kRefused;
  }
  const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) Write(L"port\t" + Quote(OrEmpty(ports[i].pName)) + L"\n");
  return kDone;
}

// The system's text for an error code in the user's language, as a program would show it.
int ErrorText(wchar_t** args) {
  unsigned long code = 0;
  if (!ParseNumber(args[0], &code)) return kUsage;
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) {
    Fail(std::wstring(L"the system has no text for error ") + args[0]);
    return kRefused;
  }
  Write(L"error\t" + Quote(std::wstring(text, length)) + L"\n");
  LocalFree(text);
  return kDone;
}

// --- files, as another program of the user ------------------------------------------------

// Tries what another program of the same user can do to a file: write it in place, delete it,
// rename it away, and rename the folder it lies in; one line for each, "done" or "refused"
// with the error. Always done: the caller judges the outcome.
int Tamper(wchar_t** args) {
  std::wstring path = args[0];
  auto report = [](const wchar_t* what, bool done) {
    Write(std::wstring(L"tamper\t") + what + L"\t" +
          (done ? L"done" : L"refused\t" + std::to_wstring(GetLastError())) + L"\n");
  };
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  bool wrote = false;
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    wrote = WriteFile(file, "planted", 7, &written, nullptr) && SetEndOfFile(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
  }
  report(L"write", wrote);
  report(L"delete", DeleteFileW(path.c_str()) != FALSE);
  report(L"rename", MoveFileW(path.c_str(), (path + L".away").c_str()) != FALSE);
  std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  report(L"rename-folder", MoveFileW(folder.c_str(), (folder + L".away").c_str()) != FALSE);
  return kDone;
}

// --- the registry --------------------------------------------------------------------------

std::wstring TypeName(DWORD type) {
  switch (type) {
    case REG_SZ:
      return L"REG_SZ";
    case REG_EXPAND_SZ:
      return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ:
      return L"REG_MULTI_SZ";
    case REG_DWORD:
      return L"REG_DWORD";
    case REG_BINARY:
      return L"REG_BINARY";
    case REG_NONE:
      return L"REG_NONE";
    default:
      return L"type" + std::to_wstring(type);
  }
}

std::wstring DataText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    // The stored characters up to the first NUL; the size column shows whether one was stored.
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    return Quote(text.substr(0, text.find(L'\0')));
  }
  if (type == REG_DWORD && size == 4) {
    DWORD value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
    return std::to_wstring(value);
  }
  std::wstring hex;
  for (DWORD i = 0; i < size; ++i) {
    wchar_t byte[4];
    swprintf(byte, 4, L"%02x", static_cast<unsigned>(data[i]));
    hex += byte;
  }
  return hex;
}

// Values of a key below HKEY_LOCAL_MACHINE in the registry's order. The size is the
// stored size in bytes as a W call reports it (two bytes a character for texts).
int RegValues(wchar_t** args) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, args[0], 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) {
    Fail(std::wstring(L"cannot open HKLM\\") + args[0] + L" (error " + std::to_wstring(status) +
         L")");
    return kRefused;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = 16384, type = 0, size = 0;
    status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size + 2);
    nameLength = 16384;
    status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS) break;
    Write(L"value\t" + Quote(std::wstring(name, nameLength)) + L"\t" + TypeName(type) + L"\t" +
          std::to_wstring(size) + L"\t" + DataText(type, data, size) + L"\n");
  }
  RegCloseKey(key);
  return status == ERROR_NO_MORE_ITEMS ? kDone : kRefused;
}

// --- captions that fit ---------------------------------------------------------------------

// The dialog template's font, as the dialog manager makes it.
struct TemplateFont {
  std::wstring face;
  int pointSize = 0;
  int weight = 0;
  bool italic = false;
  BYTE charset = DEFAULT_CHARSET;
  int width = 0;  // the dialog's size in dialog units
  int height = 0;
};

// A string or ordinal field of a template: 0 for none, 0xFFFF and a number, or a string.
const WORD* SkipField(const WORD* p, const WORD* end) {
  if (p >= end) return end;
  if (*p == 0) return p + 1;
  if (*p == 0xFFFF) return p + 2;
  while (p < end && *p != 0) ++p;
  return p + 1;
}

bool ParseTemplate(const BYTE* data, DWORD size, TemplateFont* font) {
  const WORD* p = reinterpret_cast<const WORD*>(data);
  const WORD* end = p + size / sizeof(WORD);
  // DLGTEMPLATEEX: version 1, signature 0xFFFF; then help id, extended style, style.
  if (size < 26 || p[0] != 1 || p[1] != 0xFFFF) return false;
  DWORD style = p[6] | (static_cast<DWORD>(p[7]) << 16);
  font->width = static_cast<short>(p[11]);
  font->height = static_cast<short>(p[12]);
  p = SkipField(p + 13, end);  // menu
  p = SkipField(p, end);       // window class
  p = SkipField(p, end);       // title
  if (!(style & DS_SETFONT) || p + 3 > end) return false;
  font->pointSize = p[0];
  font->weight = p[1];
  font->italic = (p[2] & 0xFF) != 0;
  font->charset = static_cast<BYTE>(p[2] >> 8);
  const WORD* face = p + 3;
  while (face < end && *face != 0) font->face += static_cast<wchar_t>(*face++);
  return !font->face.empty();
}

BOOL CALLBACK AddResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context) {
  auto* names = reinterpret_cast<std::vector<std::wstring>*>(context);
  names->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                        : std::wstring(name));
  return TRUE;
}

// The template from the program's own file. It has one dialog; with more there would be
// no telling which one is on screen.
bool ReadDialogTemplate(HWND dialog, TemplateFont* font) {
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  wchar_t path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  bool named = process != nullptr && QueryFullProcessImageNameW(process, 0, path, &length);
  if (process != nullptr) CloseHandle(process);
  if (!named) {
    Fail(L"cannot name the dialog's program");
    return false;
  }
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    Fail(std::wstring(L"cannot read ") + path);
    return false;
  }
  std::vector<std::wstring> names;
  EnumResourceNamesW(module, RT_DIALOG, AddResourceName, reinterpret_cast<LONG_PTR>(&names));
  bool parsed = false;
  if (names.size() == 1) {
    HRSRC resource = FindResourceW(module, names[0].c_str(), RT_DIALOG);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    parsed = data != nullptr &&
             ParseTemplate(static_cast<const BYTE*>(data), SizeofResource(module, resource), font);
    if (!parsed) Fail(L"the dialog template has no font of its own");
  } else {
    Fail(std::wstring(path) + L" holds " + std::to_wstring(names.size()) +
         L" dialog templates, not one");
  }
  FreeLibrary(module);
  return parsed;
}

enum class Layout { kSingleLine, kWrapped };

struct Room {
  RECT rect;  // where the text may go, in the control's client coordinates
  Layout layout;
  UINT extraFlags;
  bool measured;  // false: a kind of control whose caption is not judged
};

// Where each kind of control draws its caption, after Wine's own controls (comctl32 6):
// a push button keeps 2 pixels for its frame (3 for the default one) and 1 of text margin;
// a check box or radio button puts its glyph (12 pixels at 96 dpi, plus 1), half a digit and
// 1 pixel of margin before the text, which may then run up to the control's right edge; a
// group box keeps 8 pixels each side of its caption.
Room RoomFor(HWND control, HDC dc, int dpi) {
  Room room{};
  GetClientRect(control, &room.rect);
  room.layout = Layout::kSingleLine;
  room.measured = true;
  LONG style = GetWindowLongW(control, GWL_STYLE);
  std::wstring kind = ClassOf(control);
  if (kind == L"Button") {
    if (style & BS_MULTILINE) room.layout = Layout::kWrapped;
    switch (style & BS_TYPEMASK) {
      case BS_DEFPUSHBUTTON:
        InflateRect(&room.rect, -1, -1);
        [[fallthrough]];
      case BS_PUSHBUTTON:
        InflateRect(&room.rect, -3, -3);
        break;
      case BS_GROUPBOX:
        InflateRect(&room.rect, -8, 0);
        break;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: {
        INT digit = 0;
        GetCharWidthW(dc, L'0', L'0', &digit);
        int glyph = 12 * dpi / 96 + 1 + digit / 2 + 1;
        if ((style & BS_LEFTTEXT) != 0) {
          room.rect.right -= glyph;
        } else {
          room.rect.left += glyph;
        }
        InflateRect(&room.rect, 0, -1);
        break;
      }
      default:
        room.measured = false;
    }
  } else if (kind == L"Static") {
    switch (style & SS_TYPEMASK) {
      case SS_LEFT:
      case SS_CENTER:
      case SS_RIGHT:
        room.layout = Layout::kWrapped;
        break;
      case SS_LEFTNOWORDWRAP:
      case SS_SIMPLE:
        break;
      default:
        room.measured = false;  // pictures and frames
    }
  } else if (kind == L"Edit") {
    DWORD_PTR margins = 0;
    SendBounded(control, EM_GETMARGINS, 0, 0, &margins);
    room.rect.left += LOWORD(margins);
    room.rect.right -= HIWORD(margins);
    if (style & ES_MULTILINE) {
      room.layout = Layout::kWrapped;
      room.extraFlags = DT_EDITCONTROL;
    }
  } else {
    room.measured = false;  // lists and address fields have no caption
  }
  return room;
}

// How far the drawn glyphs reach from the text's left edge, laid out `width` pixels wide: at
// small sizes the last glyph's ink can pass the measured extent, and that part is clipped.
int InkWidth(HDC dc, HFONT font, const std::wstring& text, int width, int height, UINT flags) {
  const int spare = 64;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width + spare, height);
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  HGDIOBJ oldFont = SelectObject(memory, font);
  RECT all = {0, 0, width + spare, height};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetTextColor(memory, RGB(0, 0, 0));
  SetBkMode(memory, TRANSPARENT);
  RECT layout = {0, 0, width, height};
  DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &layout, flags | DT_NOCLIP);
  int ink = 0;
  for (int x = width + spare - 1; x >= 0 && ink == 0; --x)
    for (int y = 0; y < height; ++y)
      if (GetPixel(memory, x, y) != RGB(255, 255, 255)) {
        ink = x + 1;
        break;
      }
  SelectObject(memory, oldFont);
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return ink;
}

bool IsBlank(const std::wstring& text) {
  return text.find_first_not_of(L" \t\r\n") == std::wstring::npos;
}

// A list box's entries, its selection and the first entry in view.
void ReadList(HWND list, drawn::Twin* twin) {
  DWORD_PTR count = 0, selected = 0, top = 0;
  if (!SendBounded(list, LB_GETCOUNT, 0, 0, &count) || static_cast<LRESULT>(count) == LB_ERR)
    return;
  SendBounded(list, LB_GETCURSEL, 0, 0, &selected);
  SendBounded(list, LB_GETTOPINDEX, 0, 0, &top);
  twin->selected = static_cast<int>(static_cast<LRESULT>(selected));
  twin->top = static_cast<int>(top);
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0, copied = 0;
    std::wstring text;
    if (SendBounded(list, LB_GETTEXTLEN, i, 0, &length) && static_cast<LRESULT>(length) != LB_ERR) {
      text.assign(length + 1, L'\0');
      SendBounded(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]), &copied);
      text.resize(static_cast<LRESULT>(copied) == LB_ERR ? 0 : copied);
    }
    twin->items.push_back(text);
  }
}

// Whether the control lays its text out in lines of its own width (and so gets a taller
// twin), on one line (a wider twin), or shows no text this check can judge.
enum class Shape { kNone, kLine, kWrapped, kList };

Shape ShapeOf(const std::wstring& kind, LONG style) {
  if (kind == L"Button") {
    switch (style & BS_TYPEMASK) {
      case BS_GROUPBOX:
        return Shape::kLine;  // always one line, whatever BS_MULTILINE says
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return (style & BS_MULTILINE) ? Shape::kWrapped : Shape::kLine;
      default:
        return Shape::kNone;
    }
  }
  if (kind == L"Static") {
    switch (style & SS_TYPEMASK) {
      case SS_LEFT:
      case SS_CENTER:
      case SS_RIGHT:
        return Shape::kWrapped;
      case SS_LEFTNOWORDWRAP:
      case SS_SIMPLE:
        return Shape::kLine;
      default:
        return Shape::kNone;
    }
  }
  if (kind == L"Edit") return (style & ES_MULTILINE) ? Shape::kWrapped : Shape::kLine;
  if (kind == L"ListBox")
    return (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) ? Shape::kNone : Shape::kList;
  return Shape::kNone;
}

// "clipped": the control shows less than its twin, so the layout cuts it; "cut": the twin,
// with all the room it asks for, already shows less than the bare text, so the control cuts
// its own text and no layout can help; "scrolled": a list entry cut at the list's right edge
// whose every column shows once the list is scrolled to its right end.
void WriteDrawn(int id, int entry, const std::wstring& kind, const drawn::Line& line,
                const std::wstring& text, bool cut = false, bool scrolled = false) {
  const wchar_t* verdict = line.columns == 0  ? L"unseen"
                           : scrolled         ? L"scrolled"
                           : line.missing > 0 ? (cut ? L"cut" : L"clipped")
                                              : L"shown";
  wchar_t head[160];
  wchar_t entryText[16] = L"-", first[16] = L"-";
  if (entry >= 0) swprintf(entryText, 16, L"%d", entry);
  if (line.firstMissing >= 0) swprintf(first, 16, L"%d", line.firstMissing);
  swprintf(head, 160, L"drawn\t%d\t%ls\t%ls\t%ls\t%d/%d\t%ls\t", id, entryText, kind.c_str(),
           verdict, line.missing, line.columns, first);
  Write(head + Quote(text) + L"\n");
}

// What one control shows of its text on screen, against its twin: the same class, styles,
// font and state, made in this process with room to spare. A text laid out on one line gets
// all the width it asks for; a wrapped text keeps its control's width (its lines break
// there) and gets all the height; a list box's entries get all the width. Single words too
// long for a wrapped line are left to the measured check.
bool CheckDrawn(HWND control, HDC dc, HFONT font, int lineHeight) {
  std::wstring kind = ClassOf(control);
  LONG style = GetWindowLongW(control, GWL_STYLE);
  Shape shape = ShapeOf(kind, style);
  drawn::Twin twin;
  twin.text = TextOf(control);
  if (shape == Shape::kNone || (shape != Shape::kList && IsBlank(twin.text))) return true;
  twin.className = kind;
  twin.style = static_cast<DWORD>(style);
  twin.exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
  twin.font = font;
  if (IsCheckable(control)) {
    DWORD_PTR state = 0;
    SendBounded(control, BM_GETCHECK, 0, 0, &state);
    twin.check = state;
  }
  DWORD_PTR margins = 0;
  if (kind == L"Edit" && SendBounded(control, EM_GETMARGINS, 0, 0, &margins))
    twin.margins = static_cast<DWORD>(margins);
  if (shape == Shape::kList) ReadList(control, &twin);

  RECT client = {};
  GetClientRect(control, &client);
  POINT origin = {0, 0};
  ClientToScreen(control, &origin);
  RECT onScreen = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  drawn::Pixels real, full, blank;
  if (!drawn::CaptureScreen(onScreen, &real)) {
    Fail(L"cannot read the screen under control " + std::to_wstring(GetDlgCtrlID(control)));
    return false;
  }
  twin.width = client.right;
  twin.height = client.bottom;
  int line = client.bottom;  // one line: the whole height
  std::vector<std::wstring> texts =
      shape == Shape::kList ? twin.items : std::vector<std::wstring>{twin.text};
  int widest = 0;
  for (const std::wstring& text : texts) {
    RECT extent = {0, 0, client.right, 0};
    UINT flags = DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX |
                 (shape == Shape::kWrapped ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, flags);
    widest = std::max<int>(widest, extent.right);
    if (shape == Shape::kWrapped) twin.height = client.bottom + extent.bottom + lineHeight;
  }
  if (shape == Shape::kWrapped) {
    line = lineHeight;
  } else {
    twin.width = client.right + widest + 2 * lineHeight;
  }
  DWORD_PTR itemHeight = 0;
  if (shape == Shape::kList) {
    if (!SendBounded(control, LB_GETITEMHEIGHT, 0, 0, &itemHeight) ||
        static_cast<LRESULT>(itemHeight) <= 0) {
      Fail(L"list " + std::to_wstring(GetDlgCtrlID(control)) + L" tells no entry height");
      return false;
    }
    line = static_cast<int>(itemHeight);
  }
  if (!drawn::Render(twin, &full, &blank)) {
    Fail(L"cannot draw a twin of control " + std::to_wstring(GetDlgCtrlID(control)));
    return false;
  }
  drawn::Verdict verdict = drawn::Compare(real, full, blank, line);
  int id = GetDlgCtrlID(control);
  if (shape != Shape::kList) {
    drawn::Line all;
    all.columns = verdict.columns;
    all.missing = verdict.missing;
    for (const drawn::Line& l : verdict.lines)
      if (all.firstMissing < 0) all.firstMissing = l.firstMissing;
    // On one line the twin is held in turn against the bare text: a control may cut its own
    // text short of its edge (Wine's buttons show a caption only within its measured extent,
    // and some glyphs are drawn wider than measured). Disabled text is drawn in other colours.
    if (shape == Shape::kLine && kind != L"Edit" && IsWindowEnabled(control)) {
      bool groupOrStatic = kind == L"Static" || (style & BS_TYPEMASK) == BS_GROUPBOX;
      drawn::Pixels free, bare;
      if (!drawn::RenderFree(twin.text, font,
                             GetSysColor(groupOrStatic ? COLOR_WINDOWTEXT : COLOR_BTNTEXT),
                             drawn::BackgroundOfText(full, blank), widest + 2 * lineHeight,
                             lineHeight, &free, &bare)) {
        Fail(L"cannot draw the text of control " + std::to_wstring(id));
        return false;
      }
      drawn::Verdict own = drawn::Compare(full, free, bare, lineHeight);
      if (own.columns == 0) {
        all.columns = 0;  // the bare text left no ink: nothing was judged
      } else if (all.missing == 0 && own.missing > 0) {
        all.missing = own.missing;
        all.columns = own.columns;
        all.firstMissing = own.lines.empty() ? -1 : own.lines[0].firstMissing;
        WriteDrawn(id, -1, kind, all, twin.text, true);
        return true;
      }
    }
    WriteDrawn(id, -1, kind, all, twin.text);
    return true;
  }
  // A list that scrolls sideways (its extent passes its client area) shows the rest of an entry
  // cut at its right edge a page at a time: looked at after each page to the right, then
  // scrolled back. A column counts as seen when one of the views shows it.
  DWORD_PTR extent = 0, ignored = 0;
  bool cutAtEdge = false;
  for (const drawn::Line& l : verdict.lines) cutAtEdge = cutAtEdge || l.missing > 0;
  std::vector<drawn::Verdict> views;
  if (cutAtEdge && (style & WS_HSCROLL) && client.right > 0 &&
      SendBounded(control, LB_GETHORIZONTALEXTENT, 0, 0, &extent) &&
      static_cast<LONG>(extent) > client.right) {
    LONG pages = (static_cast<LONG>(extent) - client.right + client.right - 1) / client.right;
    for (LONG page = 0; page < pages; ++page) {
      drawn::Pixels moved;
      SendBounded(control, WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), 0, &ignored);
      Sleep(400);  // the list paints in its own thread
      if (!drawn::CaptureScreen(onScreen, &moved)) break;
      views.push_back(drawn::Compare(moved, full, blank, line));
      wchar_t view[96];
      swprintf(view, 96, L"scroll\t%d\t%lu\t%d\t%d/%d\n", id, static_cast<unsigned long>(extent),
               views.back().dx, views.back().missing, views.back().columns);
      Write(view);
    }
    SendBounded(control, WM_HSCROLL, MAKEWPARAM(SB_LEFT, 0), 0, &ignored);
    Sleep(300);
  }
  // The twin shows the same entries in view as the list, one per line from its top.
  for (size_t l = 0; l < verdict.lines.size(); ++l) {
    size_t entry = static_cast<size_t>(twin.top) + l;
    if (entry >= twin.items.size() || IsBlank(twin.items[entry])) continue;
    if ((static_cast<int>(l) + 1) * line > client.bottom) break;  // only partly in view
    const drawn::Line& here = verdict.lines[l];
    std::vector<int> unseen = here.missingColumns;
    for (const drawn::Verdict& v : views) {
      if (l >= v.lines.size()) continue;
      std::vector<int> still;
      std::set_intersection(unseen.begin(), unseen.end(), v.lines[l].missingColumns.begin(),
                            v.lines[l].missingColumns.end(), std::back_inserter(still));
      // A view that shows none of the line's ink is no view of it.
      if (v.lines[l].columns > v.lines[l].missing) unseen = still;
    }
    bool seenScrolled = here.missing > 0 && !views.empty() && unseen.empty();
    WriteDrawn(id, static_cast<int>(entry), kind, here, twin.items[entry], false, seenScrolled);
  }
  return true;
}

// For every visible control with a caption: the caption measured with the dialog's font,
// made again here from the dialog template, against the room its kind of control leaves for
// it. WM_GETFONT cannot tell the font: Wine does not carry that message between processes,
// and a font handle means nothing outside its own process; the program gives its controls no
// fonts of their own, so each has the dialog's. "clipped" means part of the text cannot be
// seen: too wide for one line, or too tall once wrapped. A control reaching out of the
// dialog's client area is "outside".
int Fit(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  TemplateFont font;
  if (!ReadDialogTemplate(dialog, &font)) return kRefused;

  HDC dc = GetDC(dialog);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  HFONT made = CreateFontW(-MulDiv(font.pointSize, dpi, 72), 0, 0, 0, font.weight, font.italic,
                           FALSE, FALSE, font.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           PROOF_QUALITY, FF_DONTCARE, font.face.c_str());
  HGDIOBJ old = SelectObject(dc, made);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE alphabet = {};
  GetTextExtentPoint32W(dc, kAlphabet, 52, &alphabet);
  int baseX = (alphabet.cx / 26 + 1) / 2;
  int baseY = metrics.tmHeight;
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  wchar_t head[160];
  swprintf(head, 160, L"\t%ld\t%d\t%d\t%d\n", static_cast<long>(metrics.tmHeight), dpi, baseX,
           baseY);
  Write(L"font\t" + Quote(face) + head);

  // The dialog's size in pixels comes from the same base units: if it does not match, the
  // font made here is not the one the dialog was laid out with.
  RECT client = {};
  GetClientRect(dialog, &client);
  int result = kDone;
  // The program may widen the dialog to give a caption room, never narrow it or change its
  // height.
  if (client.right < MulDiv(font.width, baseX, 4) ||
      client.bottom != MulDiv(font.height, baseY, 8)) {
    Fail(L"the dialog's client area is " + std::to_wstring(client.right) + L"x" +
         std::to_wstring(client.bottom) + L", not what its font gives: " +
         std::to_wstring(MulDiv(font.width, baseX, 4)) + L"x" +
         std::to_wstring(MulDiv(font.height, baseY, 8)));
    result = kRefused;
  }
  wchar_t size[80];
  swprintf(size, 80, L"client\t%ldx%ld\t%dx%d\n", static_cast<long>(client.right),
           static_cast<long>(client.bottom), MulDiv(font.width, baseX, 4),
           MulDiv(font.height, baseY, 8));
  Write(size);

  // Where the dialog and its shown controls lie on the screen.
  RECT window = {}, clientOnScreen = client;
  GetWindowRect(dialog, &window);
  MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&clientOnScreen), 2);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
    Fail(L"the dialog's monitor tells no work area");
    result = kRefused;
  }
  Write(L"frame\t" + RectText(window) + L"\t" + RectText(monitor.rcWork) + L"\t" +
        RectText(monitor.rcMonitor) + L"\n");
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    if (!IsWindowVisible(control)) continue;
    RECT at = {};
    GetWindowRect(control, &at);
    bool inside =
        Within(clientOnScreen, at) && Within(monitor.rcWork, at) && Within(monitor.rcMonitor, at);
    Write(L"place\t" + std::to_wstring(GetDlgCtrlID(control)) + L"\t" + RectText(at) + L"\t" +
          (inside ? L"inside" : L"outside") + L"\n");
  }

  for (HWND control = GetWindow(dialog, GW_CHILD); result == kDone && control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    if (!IsWindowVisible(control)) continue;
    std::wstring text = TextOf(control);
    if (IsBlank(text)) continue;  // nothing to see, nothing to clip
    Room room = RoomFor(control, dc, dpi);
    if (!room.measured) continue;
    int roomWidth = room.rect.right - room.rect.left;
    int roomHeight = room.rect.bottom - room.rect.top;
    RECT needed = {0, 0, roomWidth, 0};
    UINT flags = DT_CALCRECT | DT_EXPANDTABS | room.extraFlags |
                 (room.layout == Layout::kWrapped ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed, flags);
    int neededWidth = needed.right - needed.left;
    int neededHeight = needed.bottom - needed.top;
    // A multi-line edit wraps by its own rules (Chinese line breaking among them): its own
    // line count, not DrawText's, tells how tall its text is.
    bool edit = ClassOf(control) == L"Edit";
    DWORD_PTR lines = 0;
    if (edit && (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE) &&
        SendBounded(control, EM_GETLINECOUNT, 0, 0, &lines) && lines > 0)
      neededHeight = static_cast<int>(lines) * metrics.tmHeight;
    // The ink may pass the text's room as long as the control still shows it: an edit paints
    // into its right margin too.
    RECT own = {};
    GetClientRect(control, &own);
    int inkRoom = edit ? own.right - room.rect.left : roomWidth;
    int ink = InkWidth(dc, made, text, room.layout == Layout::kWrapped ? roomWidth : neededWidth,
                       neededHeight, flags & ~DT_CALCRECT);
    neededWidth = std::max(neededWidth, ink - (inkRoom - roomWidth));

    RECT outer = {};
    GetWindowRect(control, &outer);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&outer), 2);
    RECT inside = {};
    IntersectRect(&inside, &outer, &client);
    const wchar_t* verdict = !EqualRect(&inside, &outer)                            ? L"outside"
                             : neededWidth > roomWidth || neededHeight > roomHeight ? L"clipped"
                                                                                    : L"fits";
    wchar_t line[160];
    swprintf(line, 160, L"fit\t%d\t%ls\t%ls\t%dx%d\t%dx%d\t", GetDlgCtrlID(control),
             ClassOf(control).c_str(), verdict, neededWidth, neededHeight, roomWidth, roomHeight);
    Write(line + Quote(text) + L"\n");
  }
  // The same controls again, from what they drew.
  for (HWND control = GetWindow(dialog, GW_CHILD); result == kDone && control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    if (IsWindowVisible(control) && !CheckDrawn(control, dc, made, metrics.tmHeight))
      result = kRefused;
  }
  SelectObject(dc, old);
  DeleteObject(made);
  ReleaseDC(dialog, dc);
  return result;
}

// The minimise box, as a user clicks it; done once the window is minimised.
int Minimize(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  if (!PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0)) return kRefused;
  if (PollUntil(5000, [&] { return IsIconic(dialog) != FALSE; })) return kDone;
  Fail(L"the window is not minimised");
  return kTimedOut;
}

// Every top-level window with exactly this title, shown or not, and the user's foreground.
int WindowState(wchar_t** args) {
  HWND foreground = GetForegroundWindow();
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, nullptr, args[0])) != nullptr) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    Write(L"state\t" + std::to_wstring(process) + L"\t" +
          (IsWindowVisible(window) ? L"visible" : L"hidden") + L"\t" +
          (IsIconic(window) ? L"iconic" : L"restored") + L"\t" +
          (window == foreground ? L"foreground" : L"background") + L"\n");
  }
  return kDone;
}

// The dialog's client area as the screen shows it, against the same area once the dialog and
// its controls have all been painted again: any difference is painting left from before.
int Stale(wchar_t** args) {
  HWND dialog = RequireShown(args[0]);
  if (dialog == nullptr) return kRefused;
  RECT area = {};
  GetClientRect(dialog, &area);
  MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&area), 2);
  drawn::Pixels before, after;
  if (!drawn::CaptureScreen(area, &before)) {
    Fail(L"cannot read the screen under the dialog");
    return kRefused;
  }
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  Sleep(1000);  // the dialog paints in its own thread
  if (!drawn::CaptureScreen(area, &after) || after.width != before.width ||
      after.height != before.height) {
    Fail(L"cannot read the screen under the dialog again");
    return kRefused;
  }
  long count = 0;
  RECT changed = {after.width, after.height, 0, 0};
  for (int y = 0; y < after.height; ++y)
    for (int x = 0; x < after.width; ++x) {
      if (before.At(x, y) == after.At(x, y)) continue;
      ++count;
      changed.left = std::min<LONG>(changed.left, x);
      changed.top = std::min<LONG>(changed.top, y);
      changed.right = std::max<LONG>(changed.right, x + 1);
      changed.bottom = std::max<LONG>(changed.bottom, y + 1);
    }
  Write(L"stale\t" + std::to_wstring(count) + L"\t" + (count ? RectText(changed) : L"-") + L"\n");
  return kDone;
}

struct Command {
  const wchar_t* name;
  int minimumArguments;
  int maximumArguments;
  const wchar_t* usage;
  int (*run)(wchar_t** args);
};

const Command kCommands[] = {
    {L"wait-window", 2, 2, L"wait-window <title> <timeout-ms>", WaitWindow},
    {L"wait-gone", 2, 2, L"wait-gone <title> <timeout-ms>", WaitGone},
    {L"dump", 1, 1, L"dump <title>", Dump},
    {L"click", 2, 2, L"click <title> <control-id>", Click},
    {L"close", 1, 1, L"close <title>", Close},
    {L"key-escape", 1, 1, L"key-escape <title>", KeyEscape},
    {L"set-ip", 6, 6, L"set-ip <title> <control-id> <a> <b> <c> <d>", SetIp},
    {L"select", 3, 3, L"select <title> <list-id> <index>", Select},
    {L"list", 2, 2, L"list <title> <list-id>", List},
    {L"wait-message", 1, 2, L"wait-message <timeout-ms> [text-part]", WaitMessage},
    {L"answer-message", 1, 1, L"answer-message <button-id>", AnswerMessage},
    {L"printers", 0, 0, L"printers", Printers},
    {L"default-printer", 0, 0, L"default-printer", DefaultPrinter},
    {L"drivers", 1, 1, L"drivers <environment>", Drivers},
    {L"delete-printer", 1, 1, L"delete-printer <name>", DeletePrinterCommand},
    {L"add-printer", 3, 3, L"add-printer <name> <port> <driver>", AddPrinterCommand},
    {L"ports", 0, 0, L"ports", Ports},
    {L"error-text", 1, 1, L"error-text <code>", ErrorText},
    {L"tamper", 1, 1, L"tamper <file>", Tamper},
    {L"reg-values", 1, 1, L"reg-values <HKLM-subkey>", RegValues},
    {L"fit", 1, 1, L"fit <title>", Fit},
    {L"windows", 0, 0, L"windows", Windows},
    {L"minimize", 1, 1, L"minimize <title>", Minimize},
    {L"window-state", 1, 1, L"window-state <title>", WindowState},
    {L"stale", 1, 1, L"stale <title>", Stale},
    {L"locale", 0, 0, L"locale", Locale},
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
    int count = argc - 2;
    if (count < command.minimumArguments || count > command.maximumArguments) return Usage();
    // Window positions and fonts in pixels, as the DPI-aware program sees them.
    SetProcessDPIAware();
    int result = command.run(argv + 2);
    if (result == kUsage) Usage();
    return result;
  }
  return Usage();
}
