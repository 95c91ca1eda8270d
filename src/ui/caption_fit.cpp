// CCaptionFit: measuring each kind of control's caption room and growing it into free space.
#include "ui/caption_fit.h"

#include <algorithm>
#include <optional>
#include <string>

#include "ui/ascii.h"
#include "ui/paint_dc.h"

namespace ui {

namespace {

constexpr LONG kGap = 2;  // kept between a grown control and the next one
constexpr int kTextBuffer = 512;

enum Kind { kOther, kButton, kStatic, kEdit, kList };

Kind KindOf(HWND window) {
  char name[32] = {};  // left empty, and so no known class, when the window is gone
  ::GetClassNameA(window, name, sizeof name);
  if (EqualNoCase(name, "Button")) return kButton;
  if (EqualNoCase(name, "Static")) return kStatic;
  if (EqualNoCase(name, "Edit")) return kEdit;
  if (EqualNoCase(name, "ListBox")) return kList;
  return kOther;
}

bool Intersect(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool Contains(const RECT& outer, const RECT& inner) {
  return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
         inner.bottom <= outer.bottom;
}
bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// What the font gives the rooms: a digit's width and a line's height.
struct Metrics {
  LONG digit;
  LONG line;
};

// Nothing when the font cannot be measured: nothing is then fitted with a guess.
std::optional<Metrics> Measure(HDC dc) {
  RECT r{};
  if (::DrawTextA(dc, "0", 1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX) == 0)
    return std::nullopt;
  return Metrics{r.right - r.left, r.bottom - r.top};
}

// A group box (comctl32 6, as Wine's button.c draws it) puts its caption on one line 7 pixels
// in from its left edge plus a 1-pixel margin and wipes its frame under it. Unthemed
// (GB_Paint) it clips at its client area; themed, as Wine's default theme is
// (GB_ThemedPaint), at the caption's measured extent as well, so no room helps a glyph drawn
// past it. 8 pixels are kept on each side, or a digit and one at larger sizes.
LONG GroupInset(const Metrics& m) {
  return std::max<LONG>(8, m.digit + 1);
}

// A list box's widest entry, as its caption: each entry is drawn 1 pixel in from the entry's
// left edge and cut at its right one (Wine's listbox.c, LISTBOX_PaintItem), and the entries'
// edges are the client area's, inside the border and any scroll bar. Empty when an entry
// cannot be read.
std::string WidestEntry(HWND list, HDC dc, RECT* insets) {
  RECT window{}, client{};
  if (!::GetWindowRect(list, &window) || !::GetClientRect(list, &client)) return {};
  // On one line only the sum of the two sides counts.
  *insets = RECT{1 + (window.right - window.left) - client.right, 0, 0, 0};
  LRESULT count = ::SendMessageA(list, LB_GETCOUNT, 0, 0);
  std::string widest;
  LONG widestWidth = 0;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = ::SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0 || length >= kTextBuffer) return {};  // not read, so not judged
    char text[kTextBuffer] = {};
    if (::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text)) <
        0)
      return {};
    RECT r{};
    if (::DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX) == 0) return {};
    if (r.right - r.left > widestWidth) {
      widestWidth = r.right - r.left;
      widest = text;
    }
  }
  return widest;
}

// A caption and how its control lays it out; `insets` is what the control keeps for itself
// around the text on each side.
struct Caption {
  bool measured = false;
  bool wrapped = false;
  UINT format = 0;
  RECT insets{0, 0, 0, 0};
  std::string text;
  // An edit control wraps by rules of its own (Chinese line breaking among them), which
  // DrawText does not share: it is asked instead, sized to each candidate.
  HWND askedControl = nullptr;
  RECT* actual = nullptr;  // where that control is now
  LONG line = 0;
};

Caption CaptionOf(CCaptionFit::Control& c, DWORD style, const Metrics& m, HDC dc) {
  int kind = c.kind;
  Caption caption;
  if (kind == kButton) {
    caption.measured = true;
    caption.wrapped = (style & BS_MULTILINE) != 0;
    switch (style & BS_TYPEMASK) {
      case BS_GROUPBOX:
        caption.insets = RECT{GroupInset(m), 0, GroupInset(m), 0};
        break;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: {
        // The glyph is about a line high, then half a digit before the text.
        LONG glyph = m.line + m.digit / 2;
        caption.insets = (style & BS_LEFTTEXT) ? RECT{0, 1, glyph, 1} : RECT{glyph, 1, 0, 1};
        break;
      }
      default:
        caption.insets = RECT{4, 4, 4, 4};  // frame and focus rectangle
    }
  } else if (kind == kStatic) {
    switch (style & SS_TYPEMASK) {
      case SS_LEFT:
      case SS_CENTER:
      case SS_RIGHT:
        caption.measured = caption.wrapped = true;
        break;
      case SS_SIMPLE:
      case SS_LEFTNOWORDWRAP:
        caption.measured = true;
        break;
    }
  } else if (kind == kEdit && (style & ES_MULTILINE)) {
    // A single-line edit scrolls its text; a multi-line one wraps it like this.
    caption.measured = caption.wrapped = true;
    caption.format = DT_EDITCONTROL | DT_NOPREFIX;
    caption.askedControl = c.window;
    caption.actual = &c.current;
    caption.line = m.line;
    LRESULT margins = ::SendMessageA(c.window, EM_GETMARGINS, 0, 0);
    caption.insets = RECT{LOWORD(margins), 0, HIWORD(margins), 0};
  }
  if (kind == kList && !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE))) {
    caption.text = WidestEntry(c.window, dc, &caption.insets);
    caption.measured = true;
    caption.format = DT_NOPREFIX;
  }
  if (!caption.measured) return caption;
  // Drawn glyphs can reach a pixel or two past the measured extent at small sizes.
  caption.insets.right += m.digit / 2;
  caption.format |= DT_EXPANDTABS | (caption.wrapped ? DT_WORDBREAK : DT_SINGLELINE);
  if (kind != kList) {
    char text[kTextBuffer] = {};  // cut and ended within the buffer, or left empty
    ::GetWindowTextA(c.window, text, kTextBuffer);
    caption.text = text;
  }
  if (caption.text.find_first_not_of(" \t\r\n") == std::string::npos) caption.measured = false;
  return caption;
}

// The text's size when laid out in a control of rectangle `at`: false when it cannot be told.
bool TextSize(HDC dc, const Caption& c, const RECT& at, SIZE* size) {
  if (c.askedControl != nullptr) {
    RECT& now = *c.actual;
    LONG width = at.right - at.left, height = at.bottom - at.top;
    if (now.right - now.left != width || now.bottom - now.top != height) {
      if (!::SetWindowPos(c.askedControl, nullptr, 0, 0, width, height,
                          SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        return false;
      now.right = now.left + width;
      now.bottom = now.top + height;
    }
    // A control that cannot answer counts no lines, so it is left as it is.
    LRESULT lines = ::SendMessageA(c.askedControl, EM_GETLINECOUNT, 0, 0);
    size->cx = 0;  // it breaks a word too long for its line
    size->cy = static_cast<LONG>(lines) * c.line;
    return true;
  }
  RECT r{0, 0, at.right - at.left - c.insets.left - c.insets.right, 0};
  if (::DrawTextA(dc, c.text.c_str(), -1, &r, DT_CALCRECT | c.format) == 0) return false;
  size->cx = r.right - r.left;
  size->cy = r.bottom - r.top;
  return true;
}

// How much wider and taller the control must be; 0 and 0 when it fits or cannot be measured.
SIZE Shortfall(HDC dc, const Caption& c, const RECT& at) {
  SIZE text{};
  if (!TextSize(dc, c, at, &text)) return SIZE{0, 0};
  LONG width = at.right - at.left - c.insets.left - c.insets.right;
  LONG height = at.bottom - at.top - c.insets.top - c.insets.bottom;
  return SIZE{std::max<LONG>(0, text.cx - width),
              c.wrapped ? std::max<LONG>(0, text.cy - height) : 0};
}

bool Fits(HDC dc, const Caption& c, const RECT& at) {
  SIZE s = Shortfall(dc, c, at);
  return s.cx == 0 && s.cy == 0;
}

// The smallest rectangle within `box` (same top left as `at`, never smaller than `at`) that
// fits the caption, or the whole box when none does.
RECT Grow(HDC dc, const Caption& c, const RECT& at, const RECT& box) {
  RECT grown = at;
  if (!c.wrapped) {
    grown.right = std::min(box.right, at.right + Shortfall(dc, c, at).cx);
    return grown;
  }
  // Taller in the same width first, as far as needed.
  SIZE s = Shortfall(dc, c, at);
  if (s.cx == 0 && at.bottom + s.cy <= box.bottom) {
    grown.bottom = at.bottom + s.cy;
    return grown;
  }
  grown.bottom = box.bottom;
  RECT widest = grown;
  widest.right = box.right;
  if (!Fits(dc, c, widest)) return widest;
  // Then the narrowest width that fits, and only the height that one needs.
  LONG low = at.right, high = box.right;  // low does not fit, high does
  while (high - low > 1) {
    LONG middle = low + (high - low) / 2;
    grown.right = middle;
    (Fits(dc, c, grown) ? high : low) = middle;
  }
  grown.right = high;
  SIZE text{};
  if (TextSize(dc, c, grown, &text))
    grown.bottom = std::max(at.bottom, at.top + c.insets.top + text.cy + c.insets.bottom);
  return grown;
}

}  // namespace

void CCaptionFit::Capture(HWND dialog) {
  dialog_ = nullptr;
  controls_.clear();
  if (!::GetClientRect(dialog, &client_)) return;
  LONG right = 0, bottom = 0;
  for (HWND window = ::GetWindow(dialog, GW_CHILD); window != nullptr;
       window = ::GetWindow(window, GW_HWNDNEXT)) {
    RECT r{};
    if (!::GetWindowRect(window, &r)) return;
    // 0 is also the answer when the two origins coincide; the last error tells them apart.
    ::SetLastError(0);
    if (::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2) == 0 &&
        ::GetLastError() != 0)
      return;
    int kind = KindOf(window);
    bool groupBox = kind == kButton && (::GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) ==
                                           static_cast<LONG>(BS_GROUPBOX);
    controls_.push_back(Control{window, r, r, kind, groupBox, 0});
    right = std::max(right, r.right);
    bottom = std::max(bottom, r.bottom);
  }
  FindHolders();
  dialog_ = dialog;
  width_ = client_.right;
  rightMargin_ = std::max<LONG>(0, client_.right - right);
  bottomMargin_ = std::max<LONG>(0, client_.bottom - bottom);
}

void CCaptionFit::Fit(bool keepWidth) {
  if (dialog_ == nullptr) return;
  CClientDC dc(dialog_);
  if (dc.Get() == nullptr) return;
  Selected font(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageA(dialog_, WM_GETFONT, 0, 0)));
  std::optional<Metrics> measured = Measure(dc.Get());
  if (!measured) return;
  const Metrics& m = *measured;

  size_t count = controls_.size();
  LONG widthBefore = width_;
  std::vector<RECT> layout, before;
  std::vector<DWORD> styles;
  std::vector<bool> shown;
  for (const Control& c : controls_) {
    before.push_back(c.current);
    layout.push_back(c.original);
    styles.push_back(static_cast<DWORD>(::GetWindowLongA(c.window, GWL_STYLE)));
    // Its own style, not IsWindowVisible: before the dialog is first shown nothing is visible.
    shown.push_back((styles.back() & WS_VISIBLE) != 0);
  }
  LONG width = keepWidth ? std::max(client_.right, width_) : client_.right;
  // The dialog grows no wider than its monitor's work area; one that already is stays so.
  LONG limit = std::max(WidestClient(), width);
  std::vector<Caption> lists(count);  // each shown list's widest entry, for its extent
  for (size_t i = 0; i < count; ++i) {
    if (!shown[i]) continue;
    Caption caption = CaptionOf(controls_[i], styles[i], m, dc.Get());
    if (controls_[i].kind == kList) lists[i] = caption;
    if (!caption.measured || Fits(dc.Get(), caption, layout[i])) continue;

    // The smallest group box around it holds it in; a group box that no other holds may grow
    // wider with it, as the dialog may for a control outside any group.
    const RECT& original = controls_[i].original;
    size_t holder = controls_[i].holder;
    bool widens = holder == count || controls_[holder].holder == count;
    // Inside its group box it keeps a digit's room from the frame, or what the template kept
    // if that was less.
    LONG padRight = 0, padBottom = 0;
    if (holder < count) {
      const RECT& frame = controls_[holder].original;
      padRight = std::clamp<LONG>(frame.right - original.right, 0, m.digit);
      padBottom = std::clamp<LONG>(frame.bottom - original.bottom, 0, m.digit / 2);
    }
    RECT box = layout[i];
    LONG widest = limit - rightMargin_ - (holder < count ? padRight : 0);
    box.right = widens ? std::min(2 * client_.right, widest) : layout[holder].right - padRight;
    box.bottom =
        holder < count ? layout[holder].bottom - padBottom : client_.bottom - bottomMargin_;
    // Shown controls it did not already overlap stay clear of it.
    size_t blocker = count;  // the nearest one on its right
    for (bool moved = true; moved;) {
      moved = false;
      for (size_t j = 0; j < count; ++j) {
        if (j == i || j == holder || !shown[j] || Intersect(controls_[j].original, original) ||
            !Intersect(layout[j], box))
          continue;
        if (layout[j].top >= layout[i].bottom) {
          box.bottom = layout[j].top - kGap;
        } else {
          box.right = layout[j].left - kGap;
          blocker = j;
        }
        moved = true;
      }
    }
    box.right = std::max(box.right, layout[i].right);
    box.bottom = std::max(box.bottom, layout[i].bottom);
    layout[i] = Grow(dc.Get(), caption, layout[i], box);
    if (controls_[i].kind == kList && widens && holder < count && blocker < count &&
        controls_[blocker].holder == holder) {
      LONG still = Shortfall(dc.Get(), caption, layout[i]).cx;
      if (still > 0) width = std::max(width, MakeWay(i, blocker, still, m.digit, limit, layout));
    }
    size_t outer = i;
    if (holder < count && layout[i].right + padRight > layout[holder].right) {
      layout[holder].right = layout[i].right + padRight;
      outer = holder;
    }
    if (controls_[outer].holder == count)
      width = std::max(width, layout[outer].right + rightMargin_);
  }
  // What ran to the right margin stays there.
  LONG wider = width - client_.right;
  if (wider > 0) {
    for (size_t j = 0; j < count; ++j)
      if (controls_[j].original.right == client_.right - rightMargin_)
        layout[j].right = std::max(layout[j].right, controls_[j].original.right + wider);
  }

  if (width > width_) Resize(width);
  for (size_t i = 0; i < count; ++i) {
    Control& c = controls_[i];
    const RECT& r = layout[i];
    if (Same(r, c.current)) continue;
    if (::SetWindowPos(c.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE))
      c.current = r;
  }
  if (width < width_) Resize(width);

  // A list whose widest entry still does not fit scrolls sideways to it (with WS_HSCROLL): the
  // extent is the entry drawn 1 pixel in with half a digit to spare; 0 takes the bar away.
  for (size_t i = 0; i < count; ++i) {
    if (!shown[i] || controls_[i].kind != kList) continue;
    const Caption& caption = lists[i];
    SIZE text{};
    LONG extent = 0;
    if (caption.measured && Shortfall(dc.Get(), caption, layout[i]).cx > 0 &&
        TextSize(dc.Get(), caption, layout[i], &text))
      extent = 1 + text.cx + m.digit / 2;
    ::SendMessageA(controls_[i].window, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent), 0);
  }

  // A group box paints nothing inside its frame: where a frame or a control was, the dialog
  // must paint again, and its controls over it.
  bool moved = width_ != widthBefore;
  for (size_t i = 0; i < count && !moved; ++i) moved = !Same(controls_[i].current, before[i]);
  if (moved)
    ::RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// A list that its right-hand neighbour stops short takes the rest of its room by moving that
// neighbour right, with what shares its row from there on within the same group box (the
// contents of a group box go with it), as far as the dialog's `limit` lets the group box widen
// around them; what is still missing the list scrolls to. Gives the client width the moved
// controls need.
LONG CCaptionFit::MakeWay(size_t grown, size_t blocker, LONG by, LONG digit, LONG limit,
                          std::vector<RECT>& layout) const {
  size_t count = controls_.size(), holder = controls_[grown].holder;
  const RECT row = layout[blocker];
  std::vector<size_t> moving;
  LONG right = 0, padRight = 0;
  // The list itself lies left of the row, and the group box is not inside itself.
  for (size_t j = 0; j < count; ++j) {
    bool inside = false;
    for (size_t h = controls_[j].holder; h < count && !inside; h = controls_[h].holder)
      inside = h == holder;
    const RECT& r = layout[j];
    if (!inside || r.left < row.left || r.bottom <= row.top || r.top >= row.bottom) continue;
    moving.push_back(j);
    right = std::max(right, r.right);
    if (controls_[j].holder == holder)
      padRight = std::max(
          padRight, std::clamp<LONG>(controls_[holder].original.right - controls_[j].original.right,
                                     0, digit));
  }
  by = std::min(by, limit - rightMargin_ - padRight - right);
  if (by > 0) {
    for (size_t j : moving) {
      layout[j].left += by;
      layout[j].right += by;
    }
    layout[grown].right += by;
    layout[holder].right = std::max(layout[holder].right, right + by + padRight);
  }
  return layout[holder].right + rightMargin_;
}

void CCaptionFit::FindHolders() {
  size_t count = controls_.size();
  for (Control& c : controls_) {
    c.holder = count;
    for (size_t j = 0; j < count; ++j) {
      const Control& box = controls_[j];
      if (&box == &c || !box.groupBox || !Contains(box.original, c.original)) continue;
      if (c.holder == count || Contains(controls_[c.holder].original, box.original)) c.holder = j;
    }
  }
}

LONG CCaptionFit::WidestClient() {
  workKnown_ = false;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  RECT outer{};
  HMONITOR nearest = ::MonitorFromWindow(dialog_, MONITOR_DEFAULTTONEAREST);
  // Without its monitor's work area the dialog keeps the template's width.
  if (nearest == nullptr || !::GetMonitorInfoA(nearest, &monitor) ||
      !::GetWindowRect(dialog_, &outer))
    return client_.right;
  work_ = monitor.rcWork;
  workKnown_ = true;
  // The frame and caption bar around the client area stay as they are.
  return (work_.right - work_.left) - ((outer.right - outer.left) - width_);
}

void CCaptionFit::Resize(LONG width) {
  RECT outer{};
  if (!::GetWindowRect(dialog_, &outer)) return;
  LONG outerWidth = outer.right - outer.left + width - width_;
  // Wider, it keeps inside the work area: it moves left as far as its right edge needs, but
  // not past the work area's left edge.
  LONG left = outer.left;
  if (workKnown_ && width > width_ && left + outerWidth > work_.right)
    left = std::max(work_.left, work_.right - outerWidth);
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (left == outer.left ? SWP_NOMOVE : 0);
  if (::SetWindowPos(dialog_, nullptr, left, outer.top, outerWidth, outer.bottom - outer.top,
                     flags))
    width_ = width;
}

}  // namespace ui
