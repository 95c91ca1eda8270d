// The simulated window system: dialogs from the program's template, controls, messages, the user.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "platform/sim/rc_script.h"
#include "platform/sim/state.h"

namespace sim::detail {

Window* Find(HWND window) {
  auto it = M().windows.find(reinterpret_cast<uintptr_t>(window));
  if (it == M().windows.end() || it->second->destroyed) return nullptr;
  return it->second.get();
}

Window& Create(HWND parent) {
  Machine& m = M();
  auto window = std::make_unique<Window>();
  window->handle = HandleOf(m.nextWindow);
  m.nextWindow += 4;
  window->parent = parent;
  window->process = m.process;
  Window& created = *window;
  m.windows[reinterpret_cast<uintptr_t>(created.handle)] = std::move(window);
  if (Window* p = Find(parent)) p->children.push_back(created.handle);
  return created;
}

namespace {

bool Is(const Window& w, const char* className) {
  return strcasecmp(w.className.c_str(), className) == 0;
}
DWORD ButtonType(const Window& w) {
  return w.style & BS_TYPEMASK;
}
bool IsAutoRadio(const Window& w) {
  return Is(w, "Button") && ButtonType(w) == BS_AUTORADIOBUTTON;
}

void SetFlag(Window& w, DWORD flag, bool on) {
  if (on) {
    w.style |= flag;
  } else {
    w.style &= ~flag;
  }
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Where the dialog manager puts dialogs, and the frame around their client area.
constexpr int kDialogLeft = 200, kDialogTop = 120, kBorder = 3, kCaptionBar = 20;

void SetDialogClient(Window& dialog, int width, int height) {
  dialog.client = RECT{0, 0, width, height};
  dialog.rect.right = dialog.rect.left + width + 2 * kBorder;
  dialog.rect.bottom = dialog.rect.top + height + 2 * kBorder + kCaptionBar;
}
// The screen position of a window's client area.
POINT ClientOrigin(const Window& w) {
  if (w.parent == nullptr) return POINT{w.rect.left + kBorder, w.rect.top + kBorder + kCaptionBar};
  const Window* parent = Find(w.parent);
  POINT origin = parent ? ClientOrigin(*parent) : POINT{0, 0};
  return POINT{origin.x + w.rect.left, origin.y + w.rect.top};
}

void Notify(Window& control, WORD code) {
  Send(control.parent, WM_COMMAND, MAKEWPARAM(control.id, code),
       reinterpret_cast<LPARAM>(control.handle));
}

LRESULT CopyText(const std::string& text, WPARAM size, LPARAM buffer) {
  if (size == 0 || buffer == 0) return 0;
  size_t copied = std::min<size_t>(text.size(), size - 1);
  char* out = reinterpret_cast<char*>(buffer);
  std::memcpy(out, text.data(), copied);
  out[copied] = '\0';
  return static_cast<LRESULT>(copied);
}

LRESULT TextMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT:
      return CopyText(w.text, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w.text.size());
  }
  handled = false;
  return 0;
}

LRESULT ListBoxMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  auto count = static_cast<int>(w.entries.size());
  int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  switch (message) {
    case LB_RESETCONTENT:
      w.entries.clear();
      w.selection = -1;
      return 0;
    case LB_ADDSTRING: {
      std::string text = reinterpret_cast<const char*>(lParam);
      auto at = w.entries.end();
      if (w.style & LBS_SORT) {
        at = std::find_if(w.entries.begin(), w.entries.end(), [&](const std::string& e) {
          return strcasecmp(e.c_str(), text.c_str()) > 0;
        });
      }
      auto position = static_cast<int>(at - w.entries.begin());
      w.entries.insert(at, text);
      if (w.selection >= position) ++w.selection;
      return position;
    }
    case LB_INSERTSTRING: {
      if (index < -1 || index > count) return LB_ERR;
      int position = index == -1 ? count : index;
      w.entries.insert(w.entries.begin() + position, reinterpret_cast<const char*>(lParam));
      if (w.selection >= position) ++w.selection;
      return position;
    }
    case LB_DELETESTRING:
      if (index < 0 || index >= count) return LB_ERR;
      w.entries.erase(w.entries.begin() + index);
      if (w.selection == index) w.selection = -1;
      if (w.selection > index) --w.selection;
      return count - 1;
    case LB_GETCOUNT:
      return count;
    case LB_SETCURSEL:
      if (index < 0 || index >= count) {
        w.selection = -1;
        return LB_ERR;
      }
      w.selection = index;
      return index;
    case LB_GETCURSEL:
      return w.selection;
    case LB_GETTEXT:
      if (index < 0 || index >= count) return LB_ERR;
      std::strcpy(reinterpret_cast<char*>(lParam), w.entries[index].c_str());
      return static_cast<LRESULT>(w.entries[index].size());
    case LB_GETTEXTLEN:
      if (index < 0 || index >= count) return LB_ERR;
      return static_cast<LRESULT>(w.entries[index].size());
    // Kept whatever the style; only a list made with WS_HSCROLL shows the scroll bar for it
    // (Microsoft's LB_SETHORIZONTALEXTENT page; Wine's listbox.c keeps the creation style).
    case LB_SETHORIZONTALEXTENT:
      w.horizontalExtent = static_cast<int>(wParam);
      return 0;  // LB_OKAY
    case LB_GETHORIZONTALEXTENT:
      return w.horizontalExtent;
  }
  return 0;
}

// A list shows its horizontal scroll bar while its extent is wider than its client area.
bool ShowsHorizontalBar(const Window& w) {
  return Is(w, "ListBox") && (w.style & WS_HSCROLL) && w.horizontalExtent > w.client.right;
}

LRESULT IpAddressMessage(Window& w, UINT message, LPARAM lParam) {
  switch (message) {
    case IPM_SETADDRESS: {
      auto address = static_cast<DWORD>(lParam);
      for (int i = 0; i < 4; ++i) w.ip[i] = static_cast<BYTE>(address >> (24 - 8 * i));
      w.ipBlank = 0;
      return TRUE;
    }
    case IPM_CLEARADDRESS:
      std::memset(w.ip, 0, sizeof w.ip);
      w.ipBlank = 0xF;
      return 0;
    case IPM_GETADDRESS: {
      DWORD address = 0;
      int filled = 0;
      for (int i = 0; i < 4; ++i) {
        bool blank = (w.ipBlank >> i) & 1;
        address = (address << 8) | (blank ? 0u : w.ip[i]);
        if (!blank) ++filled;
      }
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = address;
      return filled;
    }
    case IPM_ISBLANK:
      return w.ipBlank == 0xF;
  }
  return 0;
}

LRESULT ControlProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT text = TextMessage(w, message, wParam, lParam, handled);
  if (handled) return text;
  if (message == WM_GETFONT) return reinterpret_cast<LRESULT>(DialogFontHandle());
  if (message == WM_GETDLGCODE) {
    if (Is(w, "Static") || (Is(w, "Button") && ButtonType(w) == BS_GROUPBOX)) return DLGC_STATIC;
    if (!Is(w, "Button")) return 0;
    DWORD type = ButtonType(w);
    if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return DLGC_RADIOBUTTON | DLGC_BUTTON;
    if (type == BS_DEFPUSHBUTTON) return DLGC_DEFPUSHBUTTON | DLGC_BUTTON;
    if (type == BS_PUSHBUTTON) return DLGC_UNDEFPUSHBUTTON | DLGC_BUTTON;
    return DLGC_BUTTON;
  }
  if (Is(w, "Button")) {
    switch (message) {
      case BM_GETCHECK:
        return w.check;
      case BM_SETCHECK:
        w.check = static_cast<int>(wParam);
        return 0;
      case BM_CLICK:
        Click(w.handle);
        return 0;
    }
    return 0;
  }
  if (Is(w, "Edit") && (w.style & ES_MULTILINE) && message == EM_GETLINECOUNT)
    return EditLineCount(w.text, w.client.right);
  if (Is(w, "ListBox")) return ListBoxMessage(w, message, wParam, lParam);
  if (Is(w, WC_IPADDRESSA)) return IpAddressMessage(w, message, lParam);
  return 0;
}

bool ReturnsDirectly(UINT message) {
  return message == WM_INITDIALOG || message == WM_QUERYDRAGICON ||
         (message >= 0x0132 && message <= 0x0138) /* WM_CTLCOLOR* */;
}

Window* ChildById(Window& parent, int id) {
  for (HWND child : parent.children)
    if (Window* c = Find(child); c && c->id == id) return c;
  return nullptr;
}

LRESULT DefaultDialogProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT text = TextMessage(w, message, wParam, lParam, handled);
  if (handled) return text;
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) Send(w.handle, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE: {
      // A dialog whose cancel button is disabled cannot be closed this way.
      Window* cancel = ChildById(w, IDCANCEL);
      if (cancel && (cancel->style & WS_DISABLED)) return 0;
      Send(w.handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
           reinterpret_cast<LPARAM>(cancel ? cancel->handle : nullptr));
      return 0;
    }
    case WM_SETICON: {
      HICON& slot = wParam == ICON_BIG ? w.bigIcon : w.smallIcon;
      HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_PAINT:
      Gdi("DefaultPaint", Arg(static_cast<const void*>(w.handle)));
      return 0;
    case WM_ICONERASEBKGND:
      Gdi("DefaultEraseIconBackground", Arg(reinterpret_cast<const void*>(wParam)));
      return 0;
    case WM_SETCURSOR:
      M().cursor = StandardCursor(IDC_ARROW);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(DialogFontHandle());
  }
  return 0;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(window);
  if (w == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  if (w->dialogProc == nullptr) return ControlProc(*w, message, wParam, lParam);
  INT_PTR handled = w->dialogProc(window, message, wParam, lParam);
  w = Find(window);
  if (w == nullptr) return 0;
  if (handled) return ReturnsDirectly(message) ? handled : w->messageResult;
  return DefaultDialogProc(*w, message, wParam, lParam);
}

// What a user can touch: a live, shown, enabled control of a shown, enabled, running dialog.
Window* Reachable(HWND window) {
  Window* w = Find(window);
  if (w == nullptr) return nullptr;
  for (Window* v = w; v; v = v->parent ? Find(v->parent) : nullptr) {
    if (!(v->style & WS_VISIBLE) || (v->style & WS_DISABLED) || v->ended) return nullptr;
  }
  return w;
}

void DestroyTree(Window& w) {
  Send(w.handle, WM_DESTROY, 0, 0);
  for (HWND child : w.children)
    if (Window* c = Find(child)) DestroyTree(*c);
  Send(w.handle, WM_NCDESTROY, 0, 0);
  w.destroyed = true;
}

}  // namespace
}  // namespace sim::detail

using namespace sim::detail;

namespace sim {

void AddDialogTemplate(const rc::DialogTemplate& dialog) {
  M().extraDialogs[dialog.id] = dialog;
}

void SetModalDriver(ModalDriver driver) {
  M().modalDriver = std::move(driver);
}
bool ModalRunLeftOpen() {
  return M().modalLeftOpen;
}
void SetMessageBoxAnswer(MessageBoxAnswer answer) {
  M().messageBoxAnswer = std::move(answer);
}
const std::vector<MessageBoxRecord>& MessageBoxes() {
  return M().messageBoxes;
}

bool Click(HWND control) {
  Window* w = Reachable(control);
  if (w == nullptr) return false;
  if (Is(*w, "Button")) {
    DWORD type = ButtonType(*w);
    if (type == BS_GROUPBOX) return false;
    if (type == BS_AUTORADIOBUTTON) {
      // The group runs from the nearest WS_GROUP sibling at or before it to the next one.
      Window* parent = Find(w->parent);
      auto& siblings = parent->children;
      auto self = std::find(siblings.begin(), siblings.end(), w->handle);
      auto first = self;
      while (first != siblings.begin() && !(Find(*first)->style & WS_GROUP)) --first;
      for (auto it = first; it != siblings.end(); ++it) {
        Window* s = Find(*it);
        if (it != first && (s->style & WS_GROUP)) break;
        if (IsAutoRadio(*s)) s->check = s == w ? BST_CHECKED : BST_UNCHECKED;
      }
    } else if (type == BS_AUTOCHECKBOX) {
      w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    }
    Notify(*w, BN_CLICKED);
    return true;
  }
  if (Is(*w, "Static")) {
    if (w->style & SS_NOTIFY) Notify(*w, STN_CLICKED);
    return true;
  }
  return true;
}

bool DoubleClick(HWND control) {
  Window* w = Reachable(control);
  if (w == nullptr) return false;
  if (Is(*w, "Static")) {
    if (w->style & SS_NOTIFY) {
      Notify(*w, STN_CLICKED);
      Notify(*w, STN_DBLCLK);
    }
    return true;
  }
  if (Is(*w, "ListBox")) {
    if (w->style & LBS_NOTIFY) Notify(*w, LBN_DBLCLK);
    return true;
  }
  return Click(control) && Click(control);
}

bool PressKey(HWND dialog, int virtualKey) {
  Window* d = Reachable(dialog);
  if (d == nullptr) return false;
  Window* button = nullptr;
  if (virtualKey == VK_ESCAPE) {
    button = ChildById(*d, IDCANCEL);
  } else if (virtualKey == VK_RETURN) {
    for (HWND child : d->children) {
      Window* c = Find(child);
      if (c && Is(*c, "Button") && ButtonType(*c) == BS_DEFPUSHBUTTON) button = c;
    }
  } else {
    return false;
  }
  if (button && (button->style & WS_DISABLED)) return false;
  int id = button ? button->id : (virtualKey == VK_ESCAPE ? IDCANCEL : IDOK);
  Send(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
       reinterpret_cast<LPARAM>(button ? button->handle : nullptr));
  return true;
}

bool ClickCloseBox(HWND dialog) {
  // The caption stays live while the dialog is disabled only for the system; users are refused.
  if (Reachable(dialog) == nullptr) return false;
  Send(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  return true;
}

bool SelectListEntry(HWND list, int index) {
  Window* w = Reachable(list);
  if (w == nullptr || !Is(*w, "ListBox")) return false;
  if (index < 0 || index >= static_cast<int>(w->entries.size())) return false;
  w->selection = index;
  if (w->style & LBS_NOTIFY) Notify(*w, LBN_SELCHANGE);
  return true;
}

bool TypeIpField(HWND control, int field, int value) {
  Window* w = Reachable(control);
  if (w == nullptr || !Is(*w, WC_IPADDRESSA) || field < 0 || field > 3) return false;
  NMIPADDRESS notice{};
  notice.hdr.hwndFrom = control;
  notice.hdr.idFrom = static_cast<UINT_PTR>(w->id);
  notice.hdr.code = IPN_FIELDCHANGED;
  notice.iField = field;
  notice.iValue = value;
  Send(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&notice));
  // The control takes whatever value the parent left in the notice.
  if (notice.iValue < 0) {
    w->ip[field] = 0;
    w->ipBlank |= 1 << field;
  } else {
    w->ip[field] = static_cast<BYTE>(std::min(notice.iValue, 255));
    w->ipBlank &= ~(1 << field);
  }
  return true;
}

bool Minimize(HWND dialog) {
  Window* w = Find(dialog);
  if (w == nullptr) return false;
  w->iconic = true;
  w->style |= WS_MINIMIZE;
  // A minimised window gives the foreground to the window below it.
  if (M().foreground == dialog) M().foreground = nullptr;
  return true;
}

HWND AddOtherProgramWindow(const std::string& className, const std::string& title, bool hung) {
  Machine& m = M();
  DWORD previous = m.process;
  m.process = 0xFFFF;  // another program, which stays for the rest of the test
  Window& w = Create(nullptr);
  m.process = previous;
  w.className = className;
  w.text = title;
  w.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  w.rect = RECT{10, 10, 210, 110};
  w.client = RECT{0, 0, 200, 100};
  w.hung = hung;
  return w.handle;
}

HWND ForegroundWindow() {
  return M().foreground;
}

Monitor& TheMonitor() {
  return M().monitor;
}

void SetClientSize(HWND window, int width, int height) {
  if (Window* w = Find(window)) SetDialogClient(*w, width, height);
}

void Paint(HWND window) {
  Send(window, WM_PAINT, 0, 0);
}

LRESULT MoveMouseOver(HWND dialog, HWND under) {
  Window* u = Find(under);
  // Disabled controls take no mouse input: the request then comes for the dialog itself.
  HWND target = (u && !(u->style & WS_DISABLED)) ? under : dialog;
  return Send(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
              MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void BroadcastDeviceChange(WPARAM event, DWORD deviceType, const GUID& interfaceClass) {
  std::vector<HWND> targets;
  for (auto& [value, w] : M().windows) {
    if (w->destroyed || w->parent != nullptr || w->hung) continue;
    if (deviceType == DBT_DEVTYP_DEVICEINTERFACE && !w->allInterfaceClasses &&
        std::none_of(w->interfaceClasses.begin(), w->interfaceClasses.end(), [&](const GUID& g) {
          return std::memcmp(&g, &interfaceClass, sizeof g) == 0;
        }))
      continue;
    targets.push_back(w->handle);
  }
  DEV_BROADCAST_DEVICEINTERFACE_A notice{};
  notice.dbcc_size = sizeof notice;
  notice.dbcc_devicetype = deviceType;
  if (deviceType == DBT_DEVTYP_DEVICEINTERFACE) notice.dbcc_classguid = interfaceClass;
  for (HWND target : targets)
    Send(target, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&notice));
}

namespace {
int RoundedDiv(int value, int multiplier, int divisor) {
  long long product = static_cast<long long>(value) * multiplier;
  return static_cast<int>((product + (product >= 0 ? divisor / 2 : -divisor / 2)) / divisor);
}
}  // namespace

RECT DialogUnitsToPixels(const RECT& units) {
  int left = RoundedDiv(units.left, kDialogBaseX, 4), top = RoundedDiv(units.top, kDialogBaseY, 8);
  return RECT{left, top, left + RoundedDiv(units.right, kDialogBaseX, 4),
              top + RoundedDiv(units.bottom, kDialogBaseY, 8)};
}

std::vector<DrawnText> DrawnTexts(HWND control) {
  std::vector<DrawnText> drawn;
  Window* w = Find(control);
  if (w == nullptr) return drawn;
  // Scrolled as far as its bar goes, a list's client area shows its extent's right end
  // (Wine's listbox.c: LISTBOX_SetHorizontalPos stops at the extent less the width).
  int reach = ShowsHorizontalBar(*w) ? w->horizontalExtent : w->client.right;
  auto add = [&](const std::string& text, int left) {
    int width = detail::SingleLineWidth(text);
    drawn.push_back({text, width, std::clamp(w->client.right - left, 0, width),
                     std::clamp(reach - left, 0, width)});
  };
  if (Is(*w, "Button") && ButtonType(*w) == BS_GROUPBOX) {
    if (!w->text.empty()) add(w->text, 8);
  } else if (Is(*w, "ListBox")) {
    for (const std::string& entry : w->entries) add(entry, 1);
  }
  return drawn;
}

WindowInfo Inspect(HWND window) {
  WindowInfo info;
  Window* w = Find(window);
  if (w == nullptr) return info;
  info.id = w->id;
  info.className = w->className;
  info.text = w->text;
  info.style = w->style;
  info.exStyle = w->exStyle;
  info.dialogUnits = w->dialogUnits;
  info.rect = w->parent == nullptr ? w->client : w->rect;
  info.visible = (w->style & WS_VISIBLE) != 0;
  info.enabled = (w->style & WS_DISABLED) == 0;
  info.check = w->check;
  info.listEntries = w->entries;
  info.listSelection = w->selection;
  for (int i = 0; i < 4; ++i) info.ipAddress = (info.ipAddress << 8) | w->ip[i];
  info.ipBlankFields = w->ipBlank;
  info.bigIcon = w->bigIcon;
  info.smallIcon = w->smallIcon;
  info.iconic = w->iconic;
  if (w->parent == nullptr) {
    info.screenRect = w->rect;
  } else {
    POINT origin = ClientOrigin(*w);
    info.screenRect =
        RECT{origin.x, origin.y, origin.x + w->client.right, origin.y + w->client.bottom};
  }
  info.horizontalExtent = w->horizontalExtent;
  info.horizontalScrollBar = ShowsHorizontalBar(*w);
  info.stalePainting = w->stalePainting;
  return info;
}

std::vector<HWND> Children(HWND window) {
  Window* w = Find(window);
  return w ? w->children : std::vector<HWND>{};
}

HWND ActiveDialog() {
  return M().activeDialog;
}
HWND FocusedWindow() {
  return M().focus;
}
HCURSOR CurrentCursor() {
  return M().cursor;
}

HCURSOR StandardCursor(LPCSTR id) {
  return reinterpret_cast<HCURSOR>(0x30000 + reinterpret_cast<uintptr_t>(id));
}

HICON ResourceIcon(int id) {
  return reinterpret_cast<HICON>(uintptr_t{0x20000} + id);
}

}  // namespace sim

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  if (Enter("DialogBoxParamA", Args(static_cast<const void*>(instance), templateName,
                                    static_cast<const void*>(parent))))
    return -1;
  Machine& m = M();
  const sim::rc::DialogTemplate* found = nullptr;
  if (IS_INTRESOURCE(templateName)) {
    int id = static_cast<int>(reinterpret_cast<uintptr_t>(templateName));
    auto extra = m.extraDialogs.find(id);
    const auto& own = sim::rc::ProgramResources().dialogs;
    auto program = own.find(id);
    if (extra != m.extraDialogs.end()) {
      found = &extra->second;
    } else if (program != own.end()) {
      found = &program->second;
    }
  }
  if (found == nullptr || dialogProc == nullptr) {
    m.lastError = found == nullptr ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_INVALID_PARAMETER;
    return -1;
  }
  const sim::rc::DialogTemplate t = *found;
  for (const auto& c : t.controls) {
    if (strcasecmp(c.className.c_str(), WC_IPADDRESSA) == 0 && !m.commonControls) {
      m.lastError = ERROR_CANNOT_FIND_WND_CLASS;
      return -1;
    }
  }
  UINT codePage = m.system.ansiCodePage;
  Window& dialog = Create(nullptr);
  dialog.className = "#32770";
  dialog.text = sim::ToAnsi(t.caption, codePage);
  dialog.style = t.style & ~WS_VISIBLE;
  dialog.exStyle = t.exStyle;
  dialog.dialogUnits = RECT{t.x, t.y, t.cx, t.cy};
  dialog.rect = RECT{kDialogLeft, kDialogTop, kDialogLeft, kDialogTop};
  RECT size = sim::DialogUnitsToPixels(RECT{0, 0, t.cx, t.cy});
  SetDialogClient(dialog, size.right, size.bottom);
  dialog.dialogProc = dialogProc;
  HWND handle = dialog.handle;
  HWND firstTabStop = nullptr;
  for (const auto& c : t.controls) {
    Window& control = Create(handle);
    control.id = c.id;
    control.className = c.className;
    control.text = sim::ToAnsi(c.text, codePage);
    control.style = c.style;
    control.exStyle = c.exStyle;
    control.dialogUnits = RECT{c.x, c.y, c.cx, c.cy};
    control.rect = sim::DialogUnitsToPixels(control.dialogUnits);
    control.client =
        RECT{0, 0, control.rect.right - control.rect.left, control.rect.bottom - control.rect.top};
    if (!firstTabStop && (c.style & WS_TABSTOP) && (c.style & WS_VISIBLE) &&
        !(c.style & WS_DISABLED))
      firstTabStop = control.handle;
  }
  HWND previousDialog = m.activeDialog;
  m.activeDialog = handle;
  if (Send(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam))
    m.focus = firstTabStop;
  INT_PTR result = -1;
  Window* w = Find(handle);
  if (w && !w->ended) {
    w->style |= WS_VISIBLE;
    m.foreground = handle;
    if (m.modalDriver) {
      sim::ModalDriver driver = m.modalDriver;
      driver(handle);
    }
  }
  w = Find(handle);
  m.modalLeftOpen = w && !w->ended;
  if (w && w->ended) result = w->endResult;
  if (w) DestroyTree(*w);
  if (m.foreground == handle) m.foreground = nullptr;
  m.activeDialog = previousDialog;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  if (Enter("EndDialog", Args(static_cast<const void*>(dialog), static_cast<long long>(result))))
    return FALSE;
  Window* w = Find(dialog);
  if (w == nullptr || w->dialogProc == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  w->ended = true;
  w->endResult = result;
  w->style &= ~WS_VISIBLE;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* d = Find(dialog);
  if (d == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }
  if (Window* c = ChildById(*d, id)) return c->handle;
  M().lastError = 1421;  // ERROR_CONTROL_ID_NOT_FOUND
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  Window* w = Find(window);
  return w ? w->id : 0;
}

namespace sim::detail {
namespace {

// The parameters a message leaves unused: its documentation asks for zero there.
struct Unused {
  UINT message;
  bool wParam, lParam;
};
constexpr Unused kUnused[] = {
    {WM_GETFONT, true, true},         {WM_GETTEXTLENGTH, true, true},
    {WM_ICONERASEBKGND, false, true}, {BM_GETCHECK, true, true},
    {BM_SETCHECK, false, true},       {EM_GETLINECOUNT, true, true},
    {EM_GETMARGINS, true, true},      {LB_RESETCONTENT, true, true},
    {LB_ADDSTRING, true, false},      {LB_GETCOUNT, true, true},
    {LB_GETCURSEL, true, true},       {LB_SETCURSEL, false, true},
    {LB_GETTEXTLEN, false, true},     {IPM_SETADDRESS, true, false},
    {IPM_GETADDRESS, true, false},    {IPM_CLEARADDRESS, true, true},
    {IPM_ISBLANK, true, true},
};

void CheckUnused(UINT message, WPARAM wParam, LPARAM lParam) {
  for (const Unused& u : kUnused) {
    if (u.message != message) continue;
    if ((u.wParam && wParam != 0) || (u.lParam && lParam != 0))
      BrokenContract("SendMessageA(" + std::to_string(message) +
                     "): a parameter it leaves unused is not 0");
    return;
  }
}

}  // namespace
}  // namespace sim::detail

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(window);
  if (Enter("SendMessageA", Args(w ? w->id : -1, message, static_cast<unsigned long long>(wParam),
                                 static_cast<long long>(lParam))))
    return 0;
  CheckUnused(message, wParam, lParam);
  return Send(window, message, wParam, lParam);
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  Window* w = Find(window);
  if (Enter("SetWindowTextA", Args(w ? w->id : -1, text))) return FALSE;
  if (w == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  return Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  if (Enter("GetWindowTextA", "")) return 0;
  if (size > 0) buffer[0] = '\0';
  return static_cast<int>(
      Send(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND window) {
  return static_cast<int>(Send(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL ShowWindow(HWND window, int command) {
  Window* w = Find(window);
  if (Enter("ShowWindow", Args(w ? w->id : -1, command))) return FALSE;
  if (w == nullptr) return FALSE;
  BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
  if (command == SW_HIDE) {
    SetFlag(*w, WS_VISIBLE, false);
  } else if (command == SW_MINIMIZE) {
    w->iconic = true;
    SetFlag(*w, WS_MINIMIZE, true);
    if (M().foreground == window) M().foreground = nullptr;
  } else {
    SetFlag(*w, WS_VISIBLE, true);
    // Restored, a window is shown and activated within its own program, but it comes to the
    // foreground only where the system lets it (SetForegroundWindow's page): not here.
    if (command == SW_RESTORE || command == SW_SHOWNORMAL) {
      w->iconic = false;
      SetFlag(*w, WS_MINIMIZE, false);
    }
  }
  return wasVisible;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* w = Find(window);
  if (Enter("EnableWindow", Args(w ? w->id : -1, enable))) return FALSE;
  if (w == nullptr) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
  SetFlag(*w, WS_DISABLED, !enable);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  Window* w = Find(window);
  return w && !(w->style & WS_DISABLED);
}

BOOL IsWindowVisible(HWND window) {
  for (Window* w = Find(window); w; w = w->parent ? Find(w->parent) : nullptr) {
    if (!(w->style & WS_VISIBLE)) return FALSE;
    if (!w->parent) return TRUE;
  }
  return FALSE;
}

BOOL IsWindow(HWND window) {
  return Find(window) != nullptr;
}

BOOL IsIconic(HWND window) {
  Window* w = Find(window);
  return w && w->iconic;
}

HWND GetWindow(HWND window, UINT command) {
  Window* w = Find(window);
  if (w == nullptr) return nullptr;
  if (command == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  Window* parent = Find(w->parent);
  if (parent == nullptr) return nullptr;
  auto& siblings = parent->children;
  auto self = std::find(siblings.begin(), siblings.end(), window);
  if (command == GW_HWNDNEXT) return (self + 1) == siblings.end() ? nullptr : *(self + 1);
  if (command == GW_HWNDFIRST) return siblings.front();
  return nullptr;
}

HWND GetParent(HWND window) {
  Window* w = Find(window);
  return w ? w->parent : nullptr;
}

LONG GetWindowLongA(HWND window, int index) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
    case GWL_ID:
      return w->id;
  }
  return 0;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  if (index == GWLP_USERDATA) return w->userData;
  if (index == DWLP_MSGRESULT && w->dialogProc) return w->messageResult;
  return GetWindowLongA(window, index);
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  Window* w = Find(window);
  if (w == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  LONG_PTR previous = 0;
  if (index == GWLP_USERDATA) {
    previous = w->userData;
    w->userData = value;
  } else if (index == DWLP_MSGRESULT && w->dialogProc) {
    previous = w->messageResult;
    w->messageResult = value;
  } else if (index == GWL_STYLE) {
    previous = static_cast<LONG_PTR>(w->style);
    w->style = static_cast<DWORD>(value);
  }
  return previous;
}

int GetClassNameA(HWND window, LPSTR buffer, int size) {
  Window* w = Find(window);
  if (w == nullptr || size <= 0) return 0;
  return static_cast<int>(
      CopyText(w->className, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  if (Enter("GetClientRect", "")) return FALSE;
  Window* w = Find(window);
  if (w == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  *rect = w->client;
  return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  if (Enter("GetWindowRect", "")) return FALSE;
  Window* w = Find(window);
  if (w == nullptr || rect == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  if (w->parent == nullptr) {
    *rect = w->rect;
  } else {
    POINT origin = ClientOrigin(*w);
    *rect = RECT{origin.x, origin.y, origin.x + w->client.right, origin.y + w->client.bottom};
  }
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  if (Enter("MapWindowPoints", Args(count))) return 0;
  Window* f = from ? Find(from) : nullptr;
  Window* t = to ? Find(to) : nullptr;
  if ((from && f == nullptr) || (to && t == nullptr) || points == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  POINT a = f ? ClientOrigin(*f) : POINT{0, 0}, b = t ? ClientOrigin(*t) : POINT{0, 0};
  int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  // Windows gives the shift in one number; 0 is a real answer when nothing moves, and the last
  // error is left as it was, so a caller tells the two apart only by clearing it first.
  return MAKELONG(dx, dy);
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int cx, int cy, UINT flags) {
  if (Enter("SetWindowPos", Args(x, y, cx, cy, flags))) return FALSE;
  Window* w = Find(window);
  if (w == nullptr || ((flags & SWP_NOSIZE) == 0 && (cx < 0 || cy < 0))) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  // A control that moves or changes size on a shown dialog leaves its old frame on the screen
  // until the dialog and its controls are painted again: a group box paints no background
  // inside its frame (Wine's button.c, GB_Paint) and the dialog repaints under a control only
  // where something invalidates it. Seen under Wine as stale lines where the group boxes'
  // edges were; any move counts here, the stricter answer.
  RECT before = w->rect;
  if ((flags & SWP_NOMOVE) == 0) {
    LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    w->rect = RECT{x, y, x + width, y + height};
  }
  if ((flags & SWP_NOSIZE) == 0) {
    if (w->parent == nullptr) {
      SetDialogClient(*w, std::max(0, cx - 2 * kBorder),
                      std::max(0, cy - 2 * kBorder - kCaptionBar));
    } else {
      w->rect.right = w->rect.left + cx;
      w->rect.bottom = w->rect.top + cy;
      w->client = RECT{0, 0, cx, cy};
    }
  }
  bool moved = before.left != w->rect.left || before.top != w->rect.top ||
               before.right != w->rect.right || before.bottom != w->rect.bottom;
  if (moved && w->parent != nullptr && IsWindowVisible(w->parent))
    if (Window* parent = Find(w->parent)) parent->stalePainting = true;
  return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (Enter("MessageBoxA", Args(text, caption, type))) return 0;
  sim::MessageBoxRecord box;
  box.owner = owner;
  box.text = text ? text : "";
  box.caption = caption ? caption : "Error";
  box.type = type;
  Window* o = Find(owner);
  box.ownerWasEnabled = o && !(o->style & WS_DISABLED);
  M().messageBoxes.push_back(box);
  // The box is modal to its owner: the owner stays disabled while it is open.
  if (o) o->style |= WS_DISABLED;
  int answer = 0;
  if (M().messageBoxAnswer) {
    auto answerer = M().messageBoxAnswer;
    answer = answerer(box);
  } else {
    switch (type & MB_TYPEMASK) {
      case MB_YESNO:
      case MB_YESNOCANCEL:
        answer = IDYES;
        break;
      default:
        answer = IDOK;
    }
  }
  if ((o = Find(owner)) && box.ownerWasEnabled) o->style &= ~WS_DISABLED;
  return answer;
}

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
  auto* header = static_cast<DEV_BROADCAST_HDR*>(filter);
  if (Enter("RegisterDeviceNotificationA",
            header ? Args(header->dbch_size, header->dbch_devicetype, flags) : "null"))
    return nullptr;
  Window* w = Find(static_cast<HWND>(recipient));
  bool interfaces = header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
  DWORD allClasses = interfaces ? DEVICE_NOTIFY_ALL_INTERFACE_CLASSES : 0;
  if (w == nullptr || header == nullptr || (flags & ~allClasses) != DEVICE_NOTIFY_WINDOW_HANDLE ||
      header->dbch_size <
          (interfaces ? sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) : sizeof(DEV_BROADCAST_HDR))) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  // An interface filter names its class; the notices of other classes do not come.
  if (interfaces && (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)) w->allInterfaceClasses = true;
  if (interfaces && !(flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES))
    w->interfaceClasses.push_back(
        reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header)->dbcc_classguid);
  return reinterpret_cast<HDEVNOTIFY>(uintptr_t{0x60000} + reinterpret_cast<uintptr_t>(recipient));
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (Enter("BeginPaint", "")) return nullptr;
  Window* w = Find(window);
  if (w == nullptr || paint == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }
  std::memset(paint, 0, sizeof *paint);
  paint->hdc = reinterpret_cast<HDC>(uintptr_t{0x40000} + reinterpret_cast<uintptr_t>(window));
  paint->rcPaint = w->client;
  ++M().paintDepth;
  Gdi("BeginPaint", Arg(static_cast<const void*>(paint->hdc)));
  return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  Enter("EndPaint", "");
  --M().paintDepth;
  Gdi("EndPaint", Arg(static_cast<const void*>(paint ? paint->hdc : nullptr)));
  return TRUE;
}

int GetSystemMetrics(int index) {
  Enter("GetSystemMetrics", Args(index));
  if (index == SM_CXICON) return M().system.iconWidth;
  if (index == SM_CYICON) return M().system.iconHeight;
  return 0;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
  if (Enter("DrawIcon", "")) return FALSE;
  Gdi("DrawIcon", Args(static_cast<const void*>(dc), x, y, static_cast<const void*>(icon)));
  return TRUE;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (Enter("LoadIconA", Args(static_cast<const void*>(instance), name))) return nullptr;
  if (IS_INTRESOURCE(name) && instance == sim::detail::ModuleHandle()) {
    int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
    if (sim::rc::ProgramResources().icons.count(id)) return sim::ResourceIcon(id);
  }
  M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (Enter("LoadCursorA", Args(static_cast<const void*>(instance), name))) return nullptr;
  if (instance == nullptr && IS_INTRESOURCE(name)) return sim::StandardCursor(name);
  M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  Enter("SetCursor", Args(static_cast<const void*>(cursor)));
  HCURSOR previous = M().cursor;
  M().cursor = cursor;
  return previous;
}

// Top-level windows in the machine's z order, the newest on top; hidden ones too. Only the
// title is compared, as the window keeps it (no WM_GETTEXT is sent), and without regard to
// case as Wine's win32u/window.c (NtUserFindWindowEx) does; Wine's tests, user32 win.c
// test_FindWindowEx. Microsoft's FindWindowExA page: the search starts after `childAfter`.
HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName) {
  if (Enter("FindWindowExA", Args(static_cast<const void*>(parent),
                                  static_cast<const void*>(childAfter), className, windowName)))
    return nullptr;
  std::vector<HWND> candidates;
  if (parent != nullptr) {
    Window* p = Find(parent);
    if (p == nullptr) {
      M().lastError = ERROR_INVALID_WINDOW_HANDLE;
      return nullptr;
    }
    candidates = p->children;
  } else {
    for (auto it = M().windows.rbegin(); it != M().windows.rend(); ++it)
      if (!it->second->destroyed && it->second->parent == nullptr)
        candidates.push_back(it->second->handle);
  }
  auto start = candidates.begin();
  if (childAfter != nullptr) {
    start = std::find(candidates.begin(), candidates.end(), childAfter);
    if (start == candidates.end()) return nullptr;
    ++start;
  }
  for (auto it = start; it != candidates.end(); ++it) {
    Window* w = Find(*it);
    if (w == nullptr) continue;
    if (className != nullptr && strcasecmp(w->className.c_str(), className) != 0) continue;
    if (windowName != nullptr && !SameTextIgnoringCase(w->text, windowName)) continue;
    return w->handle;
  }
  return nullptr;
}

// Microsoft's RegisterWindowMessageA page: one value in 0xC000 to 0xFFFF for a name, the same
// for every program of the session, names compared without regard to case.
UINT RegisterWindowMessageA(LPCSTR name) {
  if (Enter("RegisterWindowMessageA", Args(name))) return 0;
  if (name == nullptr || *name == '\0') {
    M().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  auto& names = M().registeredMessages;
  for (size_t i = 0; i < names.size(); ++i)
    if (strcasecmp(names[i].c_str(), name) == 0) return static_cast<UINT>(0xC000 + i);
  names.push_back(name);
  return static_cast<UINT>(0xC000 + names.size() - 1);
}

// Microsoft's SendMessageTimeoutA page: 0 when the call fails or times out, then
// ERROR_TIMEOUT; with SMTO_ABORTIFHUNG it does not wait for a thread that does not respond.
// Another process's window answers at once here: its thread waits in its message loop, as the
// program's own does while its modal run is with the user.
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, DWORD_PTR* result) {
  Window* w = Find(window);
  if (Enter("SendMessageTimeoutA", Args(w ? w->id : -1, message, flags, timeout))) return 0;
  if (result) *result = 0;
  if (w == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  if (w->hung) {
    if (!(flags & SMTO_ABORTIFHUNG)) sim::detail::PassTime(timeout);
    M().lastError = ERROR_TIMEOUT;
    return 0;
  }
  LRESULT answer = Send(window, message, wParam, lParam);
  if (result) *result = static_cast<DWORD_PTR>(answer);
  return 1;
}

// The system lets a program started by the user set the foreground window (Microsoft's
// SetForegroundWindow page lists who may); every call here is such a program's.
BOOL SetForegroundWindow(HWND window) {
  if (Enter("SetForegroundWindow", Args(static_cast<const void*>(window)))) return FALSE;
  if (Find(window) == nullptr) return FALSE;
  M().foreground = window;
  return TRUE;
}

namespace {
HMONITOR TheMonitorHandle() {
  return reinterpret_cast<HMONITOR>(uintptr_t{0x50000});
}
}  // namespace

// One monitor: every window is nearest to it (Microsoft's MonitorFromWindow page; a window on
// no monitor gives null only with MONITOR_DEFAULTTONULL).
HMONITOR MonitorFromWindow(HWND window, DWORD flags) {
  if (Enter("MonitorFromWindow", Args(static_cast<const void*>(window), flags))) return nullptr;
  if (Find(window) == nullptr && flags == MONITOR_DEFAULTTONULL) return nullptr;
  return TheMonitorHandle();
}

// Microsoft's GetMonitorInfoA page: cbSize is that of MONITORINFO (or MONITORINFOEX, not
// simulated); rcWork is the monitor's work area, which the taskbar does not cover.
BOOL GetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info) {
  if (Enter("GetMonitorInfoA", Args(info ? info->cbSize : 0u))) return FALSE;
  if (monitor != TheMonitorHandle() || info == nullptr || info->cbSize != sizeof(MONITORINFO)) {
    M().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  info->rcMonitor = M().monitor.screen;
  info->rcWork = M().monitor.workArea;
  info->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}

// What SetWindowPos leaves stale goes once the whole window is invalidated with its background
// erased and its children painted again (Microsoft's RedrawWindow page: RDW_ALLCHILDREN
// includes the child windows).
BOOL RedrawWindow(HWND window, const RECT* update, HRGN region, UINT flags) {
  if (Enter("RedrawWindow", Args(static_cast<const void*>(window), flags))) return FALSE;
  Window* w = Find(window);
  if (w == nullptr) {
    M().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  constexpr UINT kAll = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN;
  if (update == nullptr && region == nullptr && (flags & kAll) == kAll) w->stalePainting = false;
  return TRUE;
}
