// Device contexts given back on every path: a window's (CPaintDC with BeginPaint / EndPaint,
// CClientDC with GetDC / ReleaseDC), and an object kept selected into one (Selected).
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
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  CClientDC(const CClientDC&) = delete;
  CClientDC& operator=(const CClientDC&) = delete;

  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Keeps an object selected into a device context, and puts the old one back.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(dc ? ::SelectObject(dc, object) : nullptr) {}
  ~Selected() {
    if (dc_ && previous_) ::SelectObject(dc_, previous_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace ui
