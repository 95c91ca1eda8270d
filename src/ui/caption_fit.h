// CCaptionFit: gives a shown control whose caption its template rectangle would clip the room
// it needs, out of the dialog's free space.
//
// Dialog units round down while text grows by the full dpi factor, and a translated caption
// can be longer than the one the template was drawn for; both clip captions. The template
// stays as it is: each Fit starts again from where it put the controls, grows a single-line
// caption to the right and wrapped text downwards and then to the right, never over another
// shown control. A control stays inside the group box that holds it, which may widen in turn
// when no other group box holds it; what is outside any group box may widen the dialog,
// keeping its right margin, and the controls that ran to that margin stretch with it. The
// dialog never grows past the work area of its monitor: a list entry wider than the room its
// list can get is scrolled to with the list's horizontal scroll bar instead.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace ui {

class CCaptionFit {
 public:
  // Remembers where the dialog's controls are now: the layout every Fit starts from.
  void Capture(HWND dialog);
  // Lays the controls out again for their current captions and visibility. With `keepWidth`
  // the dialog stays at least as wide as it is, so that its edge does not move back and forth
  // while only the shown controls change. What moved is painted again.
  void Fit(bool keepWidth = false);

  struct Control {
    HWND window;
    RECT original;  // in the dialog's client area
    RECT current;
    int kind;  // button, static, edit or another class
    bool groupBox;
    size_t holder;  // the smallest group box around it, or the number of controls if none
  };

 private:
  // The widest client area the dialog may take on its monitor now; the work area is kept.
  LONG WidestClient();
  void Resize(LONG width);
  LONG MakeWay(size_t grown, size_t blocker, LONG by, LONG digit, LONG limit,
               std::vector<RECT>& layout) const;
  // Finds each control's holder, once the template's layout is known.
  void FindHolders();

  HWND dialog_ = nullptr;
  std::vector<Control> controls_;
  RECT client_{};   // the dialog's client area as the template made it
  LONG width_ = 0;  // the client width now
  LONG rightMargin_ = 0, bottomMargin_ = 0;
  RECT work_{};  // the work area of the dialog's monitor, when known
  bool workKnown_ = false;
};

}  // namespace ui
