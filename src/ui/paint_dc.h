// CPaintDC: BeginPaint in the constructor, EndPaint in the destructor.
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

}  // namespace ui
