// What a control drew on screen, held against a twin of it drawn here with room to spare.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace drawn {

// 32-bit pixels, top row first.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<DWORD> bits;
  DWORD At(int x, int y) const { return bits[static_cast<size_t>(y) * width + x]; }
};

// The screen's pixels in `area` (screen coordinates): what the user sees there now.
bool CaptureScreen(const RECT& area, Pixels* out);

// A control to make again in this process: its class, styles, font and state.
struct Twin {
  std::wstring className;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::wstring text;
  std::vector<std::wstring> items;  // a list box's entries, with its selection and top entry
  int selected = -1;
  int top = 0;
  WPARAM check = BST_UNCHECKED;
  DWORD margins = 0;  // an edit's, as EM_GETMARGINS gives them
  HFONT font = nullptr;
  int width = 0;  // its client area
  int height = 0;
};

// The twin's client area as it paints it (WM_PRINTCLIENT), and again with every text blank:
// what differs between the two is the text's ink.
bool Render(const Twin& twin, Pixels* full, Pixels* blank);

// The text alone, as DrawText lays it out on one line from the top left with nothing to clip
// it, in `colour` on `background`; and the bare canvas.
bool RenderFree(const std::wstring& text, HFONT font, COLORREF colour, COLORREF background,
                int width, int height, Pixels* full, Pixels* blank);

// What lies under a twin's text: the blank twin's colour where the text's first ink is.
COLORREF BackgroundOfText(const Pixels& full, const Pixels& blank);

// How much of the twin's text ink the real control shows. The twin is laid over the real
// control at the offset where most of its ink pixels find the same colour; each column of
// each text line (`line` pixels high) then counts as shown when at least half of its ink is
// there. Columns past the real control's edge count as missing.
struct Line {
  int columns = 0;  // columns holding ink
  int missing = 0;
  int firstMissing = -1;            // in the twin, from its left edge; -1 when none is missing
  std::vector<int> missingColumns;  // the same, every one, from the left
};
struct Verdict {
  int columns = 0;  // over all lines
  int missing = 0;
  std::vector<Line> lines;  // from the twin's top
  int dx = 0;               // where the twin's origin lies in the real control
  int dy = 0;
};
Verdict Compare(const Pixels& real, const Pixels& full, const Pixels& blank, int line);

}  // namespace drawn
