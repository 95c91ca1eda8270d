// What a control drew on screen, held against a twin of it drawn here with room to spare.
#include "drawn_text.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace drawn {

namespace {

constexpr wchar_t kHostClass[] = L"QmdriveTwinHost";
// Antialiased ink on the screen and in a bitmap comes from the same rasteriser; this much
// difference per channel still counts as the same colour.
constexpr int kTolerance = 8;

bool SameColour(DWORD a, DWORD b) {
  for (int shift = 0; shift < 24; shift += 8) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > kTolerance) return false;
  }
  return true;
}

// A 32-bit top-down bitmap selected into a memory DC; released on every path.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (dc_ != nullptr && bitmap_ != nullptr) old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    if (old_ != nullptr) SelectObject(dc_, old_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return old_ != nullptr ? dc_ : nullptr; }
  void CopyTo(Pixels* out) const {
    GdiFlush();
    out->width = width_;
    out->height = height_;
    out->bits.assign(static_cast<size_t>(width_) * height_, 0);
    const DWORD* from = static_cast<const DWORD*>(bits_);
    for (size_t i = 0; i < out->bits.size(); ++i) out->bits[i] = from[i] & 0x00FFFFFF;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// A hidden top-level window the twins are children of. Its controls ask it for their colours
// as the program's controls ask the program's dialog, which leaves them to the default too.
HWND Host() {
  static HWND host = nullptr;
  if (host != nullptr) return host;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kHostClass;
  RegisterClassW(&windowClass);
  host = CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, L"", WS_POPUP, -32000, -32000, 4000, 4000,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return host;
}

bool Paint(const Twin& twin, bool blank, Pixels* out) {
  HWND host = Host();
  if (host == nullptr || twin.width <= 0 || twin.height <= 0) return false;
  DWORD style = (twin.style | WS_CHILD | WS_VISIBLE) & ~(WS_POPUP | WS_TABSTOP);
  bool list = _wcsicmp(twin.className.c_str(), L"ListBox") == 0;
  if (list) style &= ~LBS_SORT;  // the entries go in as the list holds them
  HWND control = CreateWindowExW(twin.exStyle, twin.className.c_str(),
                                 blank ? L"" : twin.text.c_str(), style, 0, 0, twin.width,
                                 twin.height, host, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr) return false;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(twin.font), FALSE);
  // Borders and scroll bars come out of the window: the client area is what is compared.
  RECT client = {};
  GetClientRect(control, &client);
  SetWindowPos(control, nullptr, 0, 0, 2 * twin.width - client.right,
               2 * twin.height - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetClientRect(control, &client);
  bool ok = client.right == twin.width && client.bottom == twin.height;
  if (list) {
    for (const std::wstring& item : twin.items)
      SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(blank ? L"" : item.c_str()));
    SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(twin.selected), 0);
    SendMessageW(control, LB_SETTOPINDEX, static_cast<WPARAM>(twin.top), 0);
  } else if (_wcsicmp(twin.className.c_str(), L"Edit") == 0) {
    SendMessageW(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, twin.margins);
  } else if (_wcsicmp(twin.className.c_str(), L"Button") == 0) {
    SendMessageW(control, BM_SETCHECK, twin.check, 0);
  }
  Canvas canvas(twin.width, twin.height);
  ok = ok && canvas.dc() != nullptr;
  if (ok) {
    RECT all = {0, 0, twin.width, twin.height};
    FillRect(canvas.dc(), &all, GetSysColorBrush(COLOR_BTNFACE));
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()),
                 PRF_CLIENT | PRF_ERASEBKGND);
    canvas.CopyTo(out);
  }
  DestroyWindow(control);
  return ok;
}

}  // namespace

bool CaptureScreen(const RECT& area, Pixels* out) {
  int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  Canvas canvas(width, height);
  HDC screen = GetDC(nullptr);
  bool ok = screen != nullptr && canvas.dc() != nullptr &&
            BitBlt(canvas.dc(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  if (ok) canvas.CopyTo(out);
  return ok;
}

bool Render(const Twin& twin, Pixels* full, Pixels* blank) {
  return Paint(twin, false, full) && Paint(twin, true, blank);
}

COLORREF BackgroundOfText(const Pixels& full, const Pixels& blank) {
  for (size_t i = 0; i < full.bits.size() && i < blank.bits.size(); ++i)
    if (full.bits[i] != blank.bits[i]) {
      DWORD v = blank.bits[i];
      return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
  return GetSysColor(COLOR_BTNFACE);
}

bool RenderFree(const std::wstring& text, HFONT font, COLORREF colour, COLORREF background,
                int width, int height, Pixels* full, Pixels* blank) {
  Canvas canvas(width, height);
  if (canvas.dc() == nullptr) return false;
  RECT all = {0, 0, width, height};
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(canvas.dc(), &all, brush);
  DeleteObject(brush);
  canvas.CopyTo(blank);
  HGDIOBJ old = SelectObject(canvas.dc(), font);
  SetTextColor(canvas.dc(), colour);
  SetBkMode(canvas.dc(), TRANSPARENT);
  DrawTextW(canvas.dc(), text.c_str(), static_cast<int>(text.size()), &all,
            DT_SINGLELINE | DT_NOCLIP | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(canvas.dc(), old);
  canvas.CopyTo(full);
  return true;
}

Verdict Compare(const Pixels& real, const Pixels& full, const Pixels& blank, int line) {
  Verdict verdict;
  if (line <= 0 || full.width != blank.width || full.height != blank.height) return verdict;
  // The text's ink: what the text adds to the twin, less what only clears the background
  // (a group box wipes its frame under its caption).
  DWORD face = GetSysColor(COLOR_BTNFACE);
  face = RGB(GetBValue(face), GetGValue(face), GetRValue(face));  // as a DIB holds it
  std::vector<POINT> ink;
  for (int y = 0; y < full.height; ++y)
    for (int x = 0; x < full.width; ++x)
      if (full.At(x, y) != blank.At(x, y) && !SameColour(full.At(x, y), face))
        ink.push_back(POINT{x, y});
  if (ink.empty()) return verdict;

  auto shown = [&](const POINT& p, int dx, int dy) {
    int x = p.x + dx, y = p.y + dy;
    return x >= 0 && y >= 0 && x < real.width && y < real.height &&
           SameColour(real.At(x, y), full.At(p.x, p.y));
  };
  // The text may lie anywhere in the control: at the same place as in a larger twin (left or
  // top aligned), moved by up to the difference (centred or right aligned), or after a glyph
  // or frame the free text does not have.
  // Every offset is first judged by a sample of the ink, then the promising ones by all of it.
  size_t step = std::max<size_t>(1, ink.size() / 32);
  auto score = [&](int dx, int dy, size_t every) {
    size_t count = 0;
    for (size_t i = 0; i < ink.size(); i += every) count += shown(ink[i], dx, dy) ? 1 : 0;
    return count;
  };
  int dyLow = std::min(0, real.height - full.height) - 2;
  int dyHigh = std::max(2, real.height - full.height + 2);
  std::vector<std::pair<size_t, POINT>> sampled;
  size_t bestSample = 0;
  for (int dy = dyLow; dy <= dyHigh; ++dy)
    for (int dx = -full.width; dx <= real.width; ++dx) {
      size_t count = score(dx, dy, step);
      bestSample = std::max(bestSample, count);
      if (count > 0) sampled.push_back({count, POINT{dx, dy}});
    }
  size_t best = score(0, 0, 1);
  for (const auto& [count, at] : sampled) {
    if (2 * count < bestSample) continue;
    size_t all = score(at.x, at.y, 1);
    if (all > best) {
      best = all;
      verdict.dx = at.x;
      verdict.dy = at.y;
    }
  }

  // Per line and column: ink pixels, and how many of them are shown.
  std::map<std::pair<int, int>, std::pair<int, int>> columns;
  for (const POINT& p : ink) {
    auto& c = columns[{p.y / line, p.x}];
    ++c.first;
    if (shown(p, verdict.dx, verdict.dy)) ++c.second;
  }
  verdict.lines.assign(static_cast<size_t>((full.height + line - 1) / line), Line{});
  for (const auto& [where, count] : columns) {
    Line& l = verdict.lines[static_cast<size_t>(where.first)];
    ++l.columns;
    ++verdict.columns;
    if (2 * count.second >= count.first) continue;
    ++l.missing;
    ++verdict.missing;
    if (l.firstMissing < 0) l.firstMissing = where.second;
    l.missingColumns.push_back(where.second);  // the map walks each line's columns in order
  }
  return verdict;
}

}  // namespace drawn
