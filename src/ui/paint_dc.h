// A window's DCs: CPaintDC (BeginPaint / EndPaint) and CClientDC (GetDC / ReleaseDC, with
// the font it was given put back before it goes).
#pragma once

#include "platform/win32.h"

namespace ui {

class CPaintDC {
 public:
  explicit CPaintDC(HWND window) : window_(window) { dc_ = ::BeginPaint(window_, &paint_); }
  ~CPaintDC() {
    if (dc_ != nullptr) ::EndPaint(window_, &paint_);
  }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  HDC Get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

class CClientDC {
 public:
  explicit CClientDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~CClientDC() {
    if (dc_ == nullptr) return;
    if (font_) ::SelectObject(dc_, previous_);
    ::ReleaseDC(window_, dc_);
  }
  CClientDC(const CClientDC&) = delete;
  CClientDC& operator=(const CClientDC&) = delete;

  HDC Get() const { return dc_; }
  // Selects a font for the DC's lifetime; the first font it held goes back at the end.
  void SelectFont(HGDIOBJ font) {
    if (dc_ == nullptr || font == nullptr) return;
    HGDIOBJ previous = ::SelectObject(dc_, font);
    if (previous != nullptr && !font_) {
      previous_ = previous;
      font_ = true;
    }
  }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
  bool font_ = false;
};

}  // namespace ui
