// The simulated GDI: memory and printer device contexts, bitmaps, text, and the page's raster.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "platform/sim/device_font.h"
#include "platform/sim/state.h"

using namespace sim::detail;

namespace {

// Unifont's glyphs: 8x16 for narrow characters, 16x16 for wide ones, drawn at twice the size.
class Font {
 public:
  static Font& Get() {
    static Font font;
    return font;
  }
  // Rows of the glyph as bits, 16 rows; `wide` tells 16 columns from 8.
  bool Glyph(uint32_t codePoint, std::vector<uint16_t>& rows, bool& wide) const {
    auto it = glyphs_.find(codePoint);
    if (it == glyphs_.end()) it = glyphs_.find(0xFFFD);
    if (it == glyphs_.end()) return false;
    rows = it->second.rows;
    wide = it->second.wide;
    return true;
  }

 private:
  struct Entry {
    std::vector<uint16_t> rows;
    bool wide;
  };
  Font() {
    std::ifstream in("/usr/share/unifont/unifont.hex");
    if (!in) {
      std::fprintf(stderr,
                   "simulated machine: the printer font needs /usr/share/unifont/unifont.hex"
                   " (Debian package unifont)\n");
      std::abort();
    }
    std::string line;
    while (std::getline(in, line)) {
      auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      uint32_t code = static_cast<uint32_t>(std::stoul(line.substr(0, colon), nullptr, 16));
      std::string bits = line.substr(colon + 1);
      Entry entry;
      entry.wide = bits.size() == 64;
      size_t step = entry.wide ? 4 : 2;
      for (size_t i = 0; i + step <= bits.size(); i += step)
        entry.rows.push_back(static_cast<uint16_t>(std::stoul(bits.substr(i, step), nullptr, 16)));
      glyphs_[code] = entry;
    }
  }
  std::map<uint32_t, Entry> glyphs_;
};

std::vector<uint32_t> CodePoints(const std::string& ansi) {
  std::string utf8 = sim::FromAnsi(ansi, M().system.ansiCodePage);
  std::vector<uint32_t> points;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t point = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
      point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    points.push_back(point);
    i += static_cast<size_t>(extra) + 1;
  }
  return points;
}

}  // namespace

namespace sim::detail {

struct Bitmap {
  int width = 0, height = 0;
  std::vector<unsigned char> gray;  // 0 black, 255 white
};

struct Dc {
  HWND window = nullptr;  // a window DC's window
  bool printer = false;
  std::string queue;
  PrinterFont font;  // a printer DC's font: its driver's default device font
  HGDIOBJ selected = nullptr;
  int job = -1;  // index in the jobs, while a document is open
  bool inPage = false;
};

struct GdiState {
  std::map<uintptr_t, Dc> dcs;
  std::map<uintptr_t, Bitmap> bitmaps;
  std::vector<sim::PrintJob> jobs;
  uintptr_t next = 0xC0000;
};

}  // namespace sim::detail

namespace {

GdiState& State() {
  Machine& m = M();
  if (!m.gdiState) m.gdiState = std::make_shared<GdiState>();
  return *m.gdiState;
}

Dc* FindDc(HDC dc) {
  auto it = State().dcs.find(reinterpret_cast<uintptr_t>(dc));
  return it == State().dcs.end() ? nullptr : &it->second;
}

sim::Page* CurrentPage(HDC dc) {
  Dc* d = FindDc(dc);
  if (d == nullptr || !d->printer || d->job < 0 || !d->inPage) return nullptr;
  auto& pages = State().jobs[static_cast<size_t>(d->job)].pages;
  return pages.empty() ? nullptr : &pages.back();
}

void Plot(sim::Page& page, int x, int y, unsigned char value) {
  if (x < 0 || y < 0 || x >= page.width || y >= page.height) return;
  page.dots[static_cast<size_t>(y) * page.width + x] = value;
}

// Draws one line of text with its cells' opaque white background; returns the width. Each
// glyph is unifont's, scaled into its cell's width and the font's em at the top of the cell.
int DrawLine(sim::Page& page, int x, int y, const std::string& ansi, const PrinterFont& font) {
  int pen = x;
  for (uint32_t point : CodePoints(ansi)) {
    std::vector<uint16_t> rows;
    bool wide = false;
    if (!Font::Get().Glyph(point, rows, wide)) continue;
    int columns = wide ? 16 : 8;
    int cell = wide ? font.wide : font.narrow;
    for (int dy = 0; dy < font.height; ++dy) {
      for (int dx = 0; dx < cell; ++dx) {
        bool ink = false;
        if (dy < font.em) {
          int row = dy * 16 / font.em, column = dx * columns / cell;
          ink = (rows[static_cast<size_t>(row)] >> (columns - 1 - column)) & 1;
        }
        Plot(page, pen + dx, y + dy, ink ? 0 : 255);
      }
    }
    pen += cell;
  }
  return pen - x;
}

bool LoadBmp(const std::string& path, Bitmap& out) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
  };
  if (bytes.size() < 62 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  uint32_t offset = u32(10);
  int width = static_cast<int>(u32(18));
  int height = static_cast<int>(u32(22));
  int bits = static_cast<unsigned char>(bytes[28]);
  if (bits != 1 || width <= 0 || height == 0) return false;
  bool bottomUp = height > 0;
  height = bottomUp ? height : -height;
  unsigned char palette[2];
  for (int i = 0; i < 2; ++i) {
    size_t at = 14 + u32(14) + static_cast<size_t>(i) * 4;
    palette[i] = static_cast<unsigned char>((static_cast<unsigned char>(bytes[at]) +
                                             static_cast<unsigned char>(bytes[at + 1]) +
                                             static_cast<unsigned char>(bytes[at + 2])) /
                                            3);
  }
  size_t stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
  if (offset + stride * static_cast<size_t>(height) > bytes.size()) return false;
  out.width = width;
  out.height = height;
  out.gray.assign(static_cast<size_t>(width) * height, 255);
  for (int y = 0; y < height; ++y) {
    size_t row = offset + stride * static_cast<size_t>(bottomUp ? height - 1 - y : y);
    for (int x = 0; x < width; ++x) {
      int bit = (static_cast<unsigned char>(bytes[row + x / 8]) >> (7 - x % 8)) & 1;
      out.gray[static_cast<size_t>(y) * width + x] = palette[bit];
    }
  }
  return true;
}

uintptr_t NewHandle() {
  return State().next += 4;
}

int Fail(DWORD error) {
  M().lastError = error;
  return 0;
}

}  // namespace

namespace sim {

const std::vector<PrintJob>& PrintJobs() {
  return State().jobs;
}

int WindowDcsHeld() {
  int held = 0;
  for (const auto& entry : State().dcs) held += entry.second.window != nullptr;
  return held;
}

int OpenDeviceContexts() {
  return static_cast<int>(State().dcs.size());
}
int LiveGdiObjects() {
  return static_cast<int>(State().bitmaps.size());
}

bool WritePng(const Page& page, const std::string& path) {
  std::string raw;
  for (int y = 0; y < page.height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(&page.dots[static_cast<size_t>(y) * page.width]),
               static_cast<size_t>(page.width));
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 9);
  packed.resize(size);
  auto be32 = [](uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
    return s;
  };
  auto chunk = [&](const char* type, const std::string& data) {
    std::string body = std::string(type, 4) + data;
    uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return be32(static_cast<uint32_t>(data.size())) + body + be32(static_cast<uint32_t>(crc));
  };
  std::string header = be32(static_cast<uint32_t>(page.width)) +
                       be32(static_cast<uint32_t>(page.height)) +
                       std::string("\x08\x00\x00\x00\x00", 5);
  std::ofstream out(path, std::ios::binary);
  out << std::string("\x89PNG\r\n\x1a\n", 8) << chunk("IHDR", header) << chunk("IDAT", packed)
      << chunk("IEND", "");
  return static_cast<bool>(out);
}

}  // namespace sim

int GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
  if (Enter("GetObjectA", Args(object, size))) return 0;
  auto it = State().bitmaps.find(reinterpret_cast<uintptr_t>(object));
  if (it == State().bitmaps.end() || buffer == nullptr || size < static_cast<int>(sizeof(BITMAP)))
    return Fail(ERROR_INVALID_PARAMETER);
  BITMAP info{};
  info.bmWidth = it->second.width;
  info.bmHeight = it->second.height;
  info.bmWidthBytes = ((it->second.width + 15) / 16) * 2;
  info.bmPlanes = 1;
  info.bmBitsPixel = 1;
  std::memcpy(buffer, &info, sizeof info);
  return sizeof info;
}

HDC CreateCompatibleDC(HDC dc) {
  if (Enter("CreateCompatibleDC", Args(static_cast<const void*>(dc)))) return nullptr;
  uintptr_t handle = NewHandle();
  State().dcs[handle] = Dc{};
  return reinterpret_cast<HDC>(handle);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (Enter("SelectObject", Args(static_cast<const void*>(dc), object))) return nullptr;
  Dc* d = FindDc(dc);
  if (d == nullptr) return Fail(ERROR_INVALID_HANDLE), nullptr;
  HGDIOBJ previous = d->selected ? d->selected : reinterpret_cast<HGDIOBJ>(uintptr_t{0xBEEF0});
  d->selected = object;
  return previous;
}

HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA*) {
  if (Enter("CreateDCA", Args(driver, device, output))) return nullptr;
  if (!SpoolerAnswers()) return nullptr;
  const auto& printers = M().spooler.printers;
  bool known = device && std::any_of(printers.begin(), printers.end(), [&](const auto& p) {
                 return strcasecmp(p.name.c_str(), device) == 0;
               });
  if (!known) return Fail(ERROR_INVALID_PRINTER_NAME), nullptr;
  uintptr_t handle = NewHandle();
  Dc d;
  d.printer = true;
  d.queue = device;
  // A Unidrv printer's context starts in its driver's default device font. Where the driver
  // declares none, what Unidrv takes is undocumented: unifont at twice its size stands in.
  if (std::optional<PrinterFont> font = DefaultDeviceFont(device)) d.font = *font;
  State().dcs[handle] = d;
  return reinterpret_cast<HDC>(handle);
}

int StartDocA(HDC dc, const DOCINFOA* info) {
  if (Enter("StartDocA", info ? Args(info->cbSize, info->lpszDocName, info->lpszOutput,
                                     info->lpszDatatype, info->fwType)
                              : "null"))
    return 0;
  Dc* d = FindDc(dc);
  if (d == nullptr || !d->printer || info == nullptr || info->cbSize != sizeof(DOCINFOA))
    return Fail(ERROR_INVALID_PARAMETER);
  sim::PrintJob job;
  job.queue = d->queue;
  job.documentName = info->lpszDocName ? info->lpszDocName : "";
  State().jobs.push_back(job);
  d->job = static_cast<int>(State().jobs.size() - 1);
  return d->job + 1;
}

int StartPage(HDC dc) {
  if (Enter("StartPage", "")) return 0;
  Dc* d = FindDc(dc);
  if (d == nullptr || d->job < 0) return Fail(ERROR_INVALID_HANDLE);
  sim::Page page;
  page.dots.assign(static_cast<size_t>(page.width) * page.height, 255);
  State().jobs[static_cast<size_t>(d->job)].pages.push_back(page);
  d->inPage = true;
  return 1;
}

HDC GetDC(HWND window) {
  if (Enter("GetDC", "")) return nullptr;
  if (Find(window) == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
  uintptr_t handle = NewHandle();
  Dc d;
  d.window = window;
  State().dcs[handle] = d;
  return reinterpret_cast<HDC>(handle);
}

int ReleaseDC(HWND window, HDC dc) {
  Enter("ReleaseDC", "");
  Dc* d = FindDc(dc);
  if (d == nullptr || d->window == nullptr || d->window != window) return 0;
  State().dcs.erase(reinterpret_cast<uintptr_t>(dc));
  return 1;
}

namespace {

// One unit of a text for line breaking: a single-byte run without blanks, a double-byte
// character, a run of blanks, or a line break.
struct Piece {
  enum Kind { kWord, kWide, kBlank, kBreak } kind;
  std::string bytes;
};

std::vector<Piece> Pieces(const std::string& text) {
  bool gbk = M().system.ansiCodePage == 936;
  std::vector<Piece> pieces;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      size_t n = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
      pieces.push_back({Piece::kBreak, text.substr(i, n)});
      i += n;
    } else if (gbk && c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
      pieces.push_back({Piece::kWide, text.substr(i, 2)});
      i += 2;
    } else {
      Piece::Kind kind = c == ' ' ? Piece::kBlank : Piece::kWord;
      if (pieces.empty() || pieces.back().kind != kind) pieces.push_back({kind, ""});
      pieces.back().bytes += text[i++];
    }
  }
  return pieces;
}

// The lines' widths of a text laid out like DrawTextA: one line under DT_SINGLELINE, else a
// line at each break and, with DT_WORDBREAK, wherever the next word would pass `width`
// (blanks at the end of a line take no room; with DT_EDITCONTROL a word wider than the line
// is broken between characters, as an edit control does).
std::vector<int> LineWidths(const std::string& text, int width, UINT format,
                            const sim::TextCells& cells) {
  auto span = [&](const Piece& p) {
    return p.kind == Piece::kWide ? cells.wide : static_cast<int>(p.bytes.size()) * cells.narrow;
  };
  std::vector<int> lines{0};
  int pendingBlanks = 0;
  for (const Piece& p : Pieces(text)) {
    if (p.kind == Piece::kBreak) {
      if (format & DT_SINGLELINE) continue;
      lines.push_back(0);
      pendingBlanks = 0;
      continue;
    }
    if (p.kind == Piece::kBlank) {
      pendingBlanks += span(p);
      continue;
    }
    int need = span(p);
    bool wraps = (format & (DT_WORDBREAK | DT_SINGLELINE)) == DT_WORDBREAK;
    if (wraps && lines.back() > 0 && lines.back() + pendingBlanks + need > width) {
      lines.push_back(0);
      pendingBlanks = 0;
    }
    if (lines.back() > 0 || (format & DT_SINGLELINE)) lines.back() += pendingBlanks;
    pendingBlanks = 0;
    if (wraps && (format & DT_EDITCONTROL) && p.kind == Piece::kWord) {
      for (size_t k = 0; k < p.bytes.size(); ++k) {
        if (lines.back() > 0 && lines.back() + cells.narrow > width) lines.push_back(0);
        lines.back() += cells.narrow;
      }
    } else {
      lines.back() += need;
    }
  }
  return lines;
}

}  // namespace

namespace sim::detail {

int EditLineCount(const std::string& text, int width) {
  return static_cast<int>(
      LineWidths(text, width, DT_WORDBREAK | DT_EDITCONTROL, sim::kDialogFont).size());
}

int SingleLineWidth(const std::string& text) {
  return LineWidths(text, 0, DT_SINGLELINE, sim::kDialogFont).front();
}

}  // namespace sim::detail

int DrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format) {
  std::string body =
      text ? std::string(text, count < 0 ? std::strlen(text) : static_cast<size_t>(count)) : "";
  if (Enter("DrawTextA", Args(body, count, rect ? rect->left : 0, rect ? rect->top : 0,
                              rect ? rect->right : 0, rect ? rect->bottom : 0, format)))
    return 0;
  if (format & DT_CALCRECT) {
    // Measuring is for window text, in the font selected into the window DC.
    Dc* d = FindDc(dc);
    if (d == nullptr || d->window == nullptr || rect == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const sim::TextCells& cells = d->selected == reinterpret_cast<HGDIOBJ>(DialogFontHandle())
                                      ? sim::kDialogFont
                                      : sim::kSystemFont;
    std::vector<int> lines = LineWidths(body, rect->right - rect->left, format, cells);
    int widest = 0;
    for (int line : lines) widest = std::max(widest, line);
    rect->right = rect->left + widest;
    rect->bottom = rect->top + static_cast<int>(lines.size()) * cells.line;
    return static_cast<int>(lines.size()) * cells.line;
  }
  sim::Page* page = CurrentPage(dc);
  if (page == nullptr || rect == nullptr) return Fail(ERROR_INVALID_HANDLE);
  const PrinterFont& font = FindDc(dc)->font;
  int y = rect->top;
  int lines = 0;
  size_t start = 0;
  // A line break is CR LF, CR or LF; nothing is wrapped or clipped under DT_NOCLIP.
  for (size_t i = 0; i <= body.size(); ++i) {
    if (i == body.size() || body[i] == '\r' || body[i] == '\n') {
      DrawLine(*page, rect->left, y, body.substr(start, i - start), font);
      ++lines;
      y += font.height;
      if (i + 1 < body.size() && body[i] == '\r' && body[i + 1] == '\n') ++i;
      start = i + 1;
      if (i + 1 == body.size()) break;  // a final break starts no further line
    }
  }
  return lines * font.height;
}

BOOL BitBlt(HDC dc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
  if (Enter("BitBlt", Args(x, y, width, height, sourceX, sourceY, rop))) return FALSE;
  sim::Page* page = CurrentPage(dc);
  Dc* from = FindDc(source);
  if (page == nullptr || from == nullptr || rop != SRCCOPY) return Fail(ERROR_INVALID_HANDLE);
  auto it = State().bitmaps.find(reinterpret_cast<uintptr_t>(from->selected));
  if (it == State().bitmaps.end()) return Fail(ERROR_INVALID_HANDLE);
  const Bitmap& b = it->second;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      int sx = sourceX + column, sy = sourceY + row;
      unsigned char value =
          sx < b.width && sy < b.height ? b.gray[static_cast<size_t>(sy) * b.width + sx] : 255;
      Plot(*page, x + column, y + row, value);
    }
  return TRUE;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
  std::string line = text ? std::string(text, static_cast<size_t>(count < 0 ? 0 : count)) : "";
  if (Enter("TextOutA", Args(x, y, line, count))) return FALSE;
  sim::Page* page = CurrentPage(dc);
  if (page == nullptr) return Fail(ERROR_INVALID_HANDLE);
  DrawLine(*page, x, y, line, FindDc(dc)->font);
  return TRUE;
}

int EndPage(HDC dc) {
  if (Enter("EndPage", "")) return 0;
  Dc* d = FindDc(dc);
  if (d == nullptr || !d->inPage) return Fail(ERROR_INVALID_HANDLE);
  d->inPage = false;
  return 1;
}

int EndDoc(HDC dc) {
  if (Enter("EndDoc", "")) return 0;
  Dc* d = FindDc(dc);
  if (d == nullptr || d->job < 0) return Fail(ERROR_INVALID_HANDLE);
  State().jobs[static_cast<size_t>(d->job)].ended = true;
  d->job = -1;
  return 1;
}

BOOL DeleteDC(HDC dc) {
  if (Enter("DeleteDC", Args(static_cast<const void*>(dc)))) return FALSE;
  return State().dcs.erase(reinterpret_cast<uintptr_t>(dc)) ? TRUE
                                                            : (Fail(ERROR_INVALID_HANDLE), FALSE);
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  if (Enter("LoadBitmapA", Args(static_cast<const void*>(instance), name))) return nullptr;
  const auto& bitmaps = sim::rc::ProgramResources().bitmaps;
  auto it = IS_INTRESOURCE(name) && instance == ModuleHandle()
                ? bitmaps.find(static_cast<int>(reinterpret_cast<uintptr_t>(name)))
                : bitmaps.end();
  Bitmap bitmap;
  if (it == bitmaps.end() || !LoadBmp(it->second, bitmap))
    return Fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
  uintptr_t handle = NewHandle();
  State().bitmaps[handle] = bitmap;
  return reinterpret_cast<HBITMAP>(handle);
}

BOOL DeleteObject(HGDIOBJ object) {
  if (Enter("DeleteObject", Args(object))) return FALSE;
  return State().bitmaps.erase(reinterpret_cast<uintptr_t>(object))
             ? TRUE
             : (Fail(ERROR_INVALID_HANDLE), FALSE);
}
