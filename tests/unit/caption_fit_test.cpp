// Room for clipped captions: the fitter on small dialogs of the test's own, then the program's
// dialog in both languages and in each state of its port area.
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <tuple>

#include "app/quillmate_app.h"
#include "app/quillmate_dlg.h"
#include "platform/sim/rc_script.h"
#include "text_helpers.h"
#include "ui/caption_fit.h"

namespace {

constexpr int kFitDialog = 902;

struct Place {
  int id;
  const char* className;
  DWORD style;
  int x, y, cx, cy;
  const char* text;
};

sim::rc::DialogTemplate Template(std::initializer_list<Place> places, int cx = 200, int cy = 100) {
  sim::rc::DialogTemplate t;
  t.id = kFitDialog;
  t.style = WS_POPUP | WS_CAPTION;
  t.cx = cx;
  t.cy = cy;
  for (const Place& p : places)
    t.controls.push_back(
        TestControl(p.id, p.className, p.style, RECT{p.x, p.y, p.cx, p.cy}, p.text));
  return t;
}

INT_PTR CALLBACK PlainProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

RECT RectOf(HWND d, int id) {
  return sim::Inspect(GetDlgItem(d, id)).rect;
}
RECT ClientOf(HWND d) {
  return sim::Inspect(d).rect;
}
bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
std::string Show(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

// The text's size in the dialog's font, laid out `width` pixels wide by the window system.
SIZE TextSize(HWND d, const std::string& text, int width, UINT format) {
  HDC dc = GetDC(d);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(d, WM_GETFONT, 0, 0)));
  RECT r{0, 0, width, 0};
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | format);
  SelectObject(dc, old);
  ReleaseDC(d, dc);
  return SIZE{r.right, r.bottom};
}
bool WrappedTextFits(HWND d, int id) {
  RECT r = RectOf(d, id);
  SIZE s = TextSize(d, sim::Inspect(GetDlgItem(d, id)).text, r.right - r.left,
                    DT_WORDBREAK | DT_EDITCONTROL);
  return s.cx <= r.right - r.left && s.cy <= r.bottom - r.top;
}

// Half a digit: the room every measured caption keeps to spare on its right.
LONG Spare(HWND d) {
  return TextSize(d, "0", 1000, DT_SINGLELINE).cx / 2;
}
// The height of `text` wrapped in a static of rectangle `r`.
LONG WrappedHeight(HWND d, const char* text, const RECT& r) {
  return TextSize(d, text, r.right - r.left - Spare(d), DT_WORDBREAK).cy;
}
// Moves control `id` to (x, y) of the client area, its size kept.
void MoveTo(HWND d, int id, LONG x, LONG y) {
  SetWindowPos(GetDlgItem(d, id), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

class CaptionFit : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
  }
  void Run(const sim::rc::DialogTemplate& t,
           const std::function<void(HWND, ui::CCaptionFit&)>& body) {
    sim::AddDialogTemplate(t);
    bool shown = false;
    sim::SetModalDriver([&](HWND d) {
      shown = true;
      ui::CCaptionFit fit;
      fit.Capture(d);
      body(d, fit);
      EndDialog(d, 0);
    });
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kFitDialog), nullptr, PlainProc, 0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(sim::WindowDcsHeld(), 0) << "every DC taken for measuring is given back";
  }
};

const char kLongText[] =
    "A notice long enough that four template lines of this edit cannot hold it, however it wraps.";

TEST_F(CaptionFit, CaptionsThatFitMoveNothing) {
  Run(Template({{1, "Button", BS_GROUPBOX, 5, 5, 150, 60, "Group"},
                {2, "Button", BS_AUTORADIOBUTTON, 10, 15, 40, 10, "Yes"},
                {3, "Edit", ES_MULTILINE, 60, 15, 80, 30, "Short notice."},
                {4, "Button", BS_PUSHBUTTON, 10, 70, 40, 14, "Exit"},
                {5, "Static", SS_LEFT, 60, 70, 80, 8, "Label"},
                // A list's window text is no caption, nor are blanks.
                {6, "ListBox", LBS_NOTIFY, 150, 15, 20, 30, "A text much longer than the list"},
                {7, "Static", SS_LEFTNOWORDWRAP, 150, 50, 4, 8, " \t\r\n  "}}),
      [](HWND d, ui::CCaptionFit& fit) {
        RECT client = ClientOf(d);
        fit.Fit();
        EXPECT_EQ(sim::CountOf("SetWindowPos"), 0);
        for (int id : {1, 2, 3, 4, 5, 6, 7})
          EXPECT_TRUE(Same(RectOf(d, id),
                           sim::DialogUnitsToPixels(sim::Inspect(GetDlgItem(d, id)).dialogUnits)))
              << id;
        EXPECT_TRUE(Same(ClientOf(d), client));
      });
}

TEST_F(CaptionFit, WrappedTextThatExactlyFillsItsLineStaysOneLine) {
  Run(Template({{1, "Static", SS_LEFT, 10, 10, 30, 8, "Exactly filled"}}),
      [](HWND d, ui::CCaptionFit& fit) {
        // The line's text and half a digit to spare, to the pixel; captured again from there,
        // the template's narrower room forgotten.
        SIZE text = TextSize(d, "Exactly filled", 1000, DT_SINGLELINE);
        LONG spare = Spare(d);
        RECT r = RectOf(d, 1);
        SetWindowPos(GetDlgItem(d, 1), nullptr, r.left, r.top, text.cx + spare, r.bottom - r.top,
                     SWP_NOZORDER);
        r = RectOf(d, 1);
        fit.Capture(d);
        sim::ClearCalls();
        fit.Fit();
        EXPECT_EQ(sim::CountOf("SetWindowPos"), 0);
        EXPECT_TRUE(Same(RectOf(d, 1), r)) << Show(RectOf(d, 1));
      });
}

TEST_F(CaptionFit, WrappedTextTakesTheRoomBelowToTheLastPixel) {
  // A static keeps no frame around its text, a wrapping push button 4 pixels on each side.
  const char text[] = "A caption of many words that wraps";
  for (auto [className, style, frame] : {std::tuple<const char*, DWORD, LONG>{"Static", SS_LEFT, 0},
                                         {"Button", BS_PUSHBUTTON | BS_MULTILINE, 4}}) {
    SCOPED_TRACE(className);
    sim::Reset();
    SetUp();
    Run(Template({{1, className, style, 10, 10, 40, 14, text},
                  {2, "Button", BS_PUSHBUTTON, 10, 80, 40, 14, "OK"}}),
        [&, frame = frame](HWND d, ui::CCaptionFit& fit) {
          RECT r = RectOf(d, 1), ok = RectOf(d, 2);
          LONG needed = 2 * frame +
                        TextSize(d, text, r.right - r.left - 2 * frame - Spare(d), DT_WORDBREAK).cy;
          // The button moved up to leave exactly that room and the gap kept before it.
          MoveTo(d, 2, ok.left, r.top + needed + 2);
          fit.Capture(d);
          fit.Fit();
          RECT grown = RectOf(d, 1);
          EXPECT_EQ(grown.right, r.right) << Show(grown);
          EXPECT_EQ(grown.bottom, r.top + needed);
        });
  }
}

TEST_F(CaptionFit, OutsideAnyGroupTextGrowsToTheClientsBottomAndTwiceItsWidth) {
  const char text[] = "Words that wrap onto a few lines here";
  std::string endless(400, 'w');
  Run(Template({{1, "Static", SS_LEFT, 60, 10, 60, 8, text},
                {2, "Button", BS_PUSHBUTTON, 5, 80, 40, 14, "OK"},
                {3, "Button", BS_AUTORADIOBUTTON, 130, 10, 20, 10, endless.c_str()}}),
      [&](HWND d, ui::CCaptionFit& fit) {
        RECT client = ClientOf(d), r = RectOf(d, 1), ok = RectOf(d, 2);
        LONG needed = WrappedHeight(d, text, r);
        // The text needs exactly the room down to the client's bottom, where the button on its
        // left ends.
        MoveTo(d, 1, r.left, client.bottom - needed);
        MoveTo(d, 2, ok.left, client.bottom - (ok.bottom - ok.top));
        r = RectOf(d, 1);
        fit.Capture(d);
        fit.Fit();
        RECT grown = RectOf(d, 1);
        EXPECT_EQ(grown.right, r.right) << Show(grown);
        EXPECT_EQ(grown.bottom, client.bottom);
        // A line that could never fit takes twice the dialog's width, no more.
        EXPECT_EQ(RectOf(d, 3).right, 2 * client.right);
      });
}

TEST_F(CaptionFit, InsideAGroupBoxHalfADigitStaysFreeAboveItsFrame) {
  const char text[] = "Words that wrap onto a few lines here";
  Run(Template({{1, "Button", BS_GROUPBOX, 5, 5, 150, 60, "Group"},
                {2, "Static", SS_LEFT, 10, 15, 60, 8, text}}),
      [&](HWND d, ui::CCaptionFit& fit) {
        RECT r = RectOf(d, 2), group = RectOf(d, 1);
        LONG needed = WrappedHeight(d, text, r);
        // Down to two pixels above the frame the text would fit in its width: one too many.
        MoveTo(d, 2, r.left, group.bottom - 2 - needed);
        r = RectOf(d, 2);
        fit.Capture(d);
        fit.Fit();
        RECT grown = RectOf(d, 2);
        EXPECT_GT(grown.right, r.right) << Show(grown);
        EXPECT_LE(grown.bottom, group.bottom - Spare(d));
      });
}

TEST_F(CaptionFit, AControlOnItsGroupBoxsRightEdgeTakesTheFrameAlongExactly) {
  Run(Template(
          {{1, "Button", BS_GROUPBOX, 5, 5, 60, 30, "Group"},
           {2, "Button", BS_AUTORADIOBUTTON, 10, 15, 55, 10, "A radio caption a little longer"},
           {3, "Static", SS_LEFT, 140, 15, 40, 8, "Right"}}),
      [](HWND d, ui::CCaptionFit& fit) {
        RECT radio = RectOf(d, 2);
        ASSERT_EQ(RectOf(d, 1).right, radio.right);
        fit.Fit();
        EXPECT_GT(RectOf(d, 2).right, radio.right) << Show(RectOf(d, 2));
        EXPECT_EQ(RectOf(d, 1).right, RectOf(d, 2).right) << Show(RectOf(d, 1));
      });
}

TEST_F(CaptionFit, SingleLineGrowsRightAsFarAsTheShownNeighbourLets) {
  Run(Template({{1, "Button", BS_AUTORADIOBUTTON, 10, 10, 30, 10, "A rather long caption"},
                {2, "Static", SS_LEFT, 60, 10, 40, 10, "Next"},
                {3, "Static", SS_LEFT, 10, 40, 150, 8, "Below, not in the way"}}),
      [](HWND d, ui::CCaptionFit& fit) {
        RECT before = RectOf(d, 1);
        RECT neighbour = RectOf(d, 2);
        fit.Fit();
        RECT grown = RectOf(d, 1);
        EXPECT_GT(grown.right, before.right);
        EXPECT_LT(grown.right, neighbour.left) << "stops short of the shown neighbour";
        EXPECT_EQ(grown.left, before.left);
        EXPECT_EQ(grown.top, before.top);
        EXPECT_EQ(grown.bottom, before.bottom) << "a single line grows sideways only";

        // A hidden neighbour is not in the way; each fit starts again from the template.
        ShowWindow(GetDlgItem(d, 2), SW_HIDE);
        fit.Fit();
        RECT free = RectOf(d, 1);
        SIZE text = TextSize(d, "A rather long caption", 1000, DT_SINGLELINE);
        EXPECT_GT(free.right, neighbour.left);
        EXPECT_GE(free.right - free.left, text.cx) << Show(free);
        // The text, the glyph (a line high, then half a digit) and half a digit to spare.
        SIZE digit = TextSize(d, "0", 1000, DT_SINGLELINE);
        EXPECT_EQ(free.right - free.left, text.cx + digit.cy + digit.cx / 2 + digit.cx / 2);
        ShowWindow(GetDlgItem(d, 2), SW_SHOWNORMAL);
        fit.Fit();
        EXPECT_TRUE(Same(RectOf(d, 1), grown)) << Show(RectOf(d, 1));
      });
}

// A list's caption is its widest entry, drawn 1 pixel in from its left edge.
TEST_F(CaptionFit, AListGrowsForItsWidestEntryWithinItsGroupBoxUpToAShownNeighbour) {
  Run(Template({{1, "Button", BS_GROUPBOX, 5, 5, 190, 60, "Ports"},
                {2, "ListBox", LBS_NOTIFY, 10, 15, 30, 40, ""},
                {3, "Static", SS_LEFT, 150, 15, 40, 10, "Next"}}),
      [](HWND d, ui::CCaptionFit& fit) {
        HWND list = GetDlgItem(d, 2);
        RECT before = RectOf(d, 2), group = RectOf(d, 1);
        fit.Fit();
        EXPECT_TRUE(Same(RectOf(d, 2), before)) << "an empty list keeps its place";
        const char kWide[] = "Please select parallel port:";
        for (const char* entry : {"LPT1:", kWide, "COM2:"})
          SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        fit.Fit();
        RECT grown = RectOf(d, 2);
        SIZE text = TextSize(d, kWide, 1000, DT_SINGLELINE);
        EXPECT_EQ(grown.right - grown.left, 1 + text.cx + Spare(d)) << Show(grown);
        EXPECT_TRUE(Same(RectOf(d, 1), group)) << "the group box had room enough";

        // Up to the shown static and no further; hidden, it leaves the frame's room.
        SendMessageA(list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>("An entry wider than any room this group box has"));
        fit.Fit();
        EXPECT_EQ(RectOf(d, 2).right, RectOf(d, 3).left - 2) << Show(RectOf(d, 2));
        ShowWindow(GetDlgItem(d, 3), SW_HIDE);
        fit.Fit();
        EXPECT_GT(RectOf(d, 2).right, RectOf(d, 3).left);
        EXPECT_LE(RectOf(d, 2).right, group.right) << Show(RectOf(d, 1));

        // An entry too long for the fitter's 512-byte buffer with its end leaves the list as
        // the template has it.
        SendMessageA(list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(std::string(512, 'W').c_str()));
        fit.Fit();
        EXPECT_TRUE(Same(RectOf(d, 2), before)) << Show(RectOf(d, 2));
      });
}

// The serial state's layout: the baud group box stands right beside the list.
TEST_F(CaptionFit, AListStoppedByAGroupBoxBesideItMovesThatBoxAndItsContentsRight) {
  Run(Template({{1, "Button", BS_GROUPBOX, 5, 5, 109, 60, "Connection"},
                {2, "ListBox", LBS_NOTIFY, 10, 15, 60, 35, ""},
                {3, "Button", BS_GROUPBOX, 72, 12, 40, 40, "Baud"},
                {4, "Button", BS_AUTORADIOBUTTON, 75, 22, 30, 10, "9600"},
                {5, "Static", SS_LEFT, 72, 52, 40, 8, "Just below"},
                {6, "Static", SS_LEFT, 5, 70, 100, 8, "Outside"},
                {7, "Static", SS_LEFT, 160, 20, 30, 8, "Beside"}}),
      [](HWND d, ui::CCaptionFit& fit) {
        const char kWide[] = "Please select serial port:";
        SendMessageA(GetDlgItem(d, 2), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kWide));
        RECT list = RectOf(d, 2), baud = RectOf(d, 3), radio = RectOf(d, 4), outer = RectOf(d, 1);
        RECT below = RectOf(d, 5), outside = RectOf(d, 6), beside = RectOf(d, 7);
        RECT client = ClientOf(d);
        LONG by =
            1 + TextSize(d, kWide, 1000, DT_SINGLELINE).cx + Spare(d) - (list.right - list.left);
        ASSERT_GT(by, 0);
        fit.Fit();
        EXPECT_EQ(RectOf(d, 2).right, list.right + by) << Show(RectOf(d, 2));
        RECT moved = RectOf(d, 3);
        EXPECT_EQ(moved.left, RectOf(d, 2).right + 2) << "as far as the list needs, and no more";
        EXPECT_EQ(moved.right - moved.left, baud.right - baud.left) << "moved, not resized";
        EXPECT_EQ(RectOf(d, 4).left - radio.left, moved.left - baud.left)
            << "the group box's contents go with it";
        LONG digit = TextSize(d, "0", 1000, DT_SINGLELINE).cx;
        EXPECT_EQ(RectOf(d, 1).right, moved.right + std::min(outer.right - baud.right, digit))
            << Show(RectOf(d, 1));
        EXPECT_TRUE(Same(RectOf(d, 5), below)) << "another row stays, even touching this one";
        EXPECT_TRUE(Same(RectOf(d, 6), outside));
        EXPECT_TRUE(Same(RectOf(d, 7), beside)) << "what is outside the group box stays";
        EXPECT_GE(ClientOf(d).right, client.right);
      });
}

TEST_F(CaptionFit, WrappedTextGrowsDownThenRightInsideItsGroupBox) {
  Run(Template({{1, "Button", BS_GROUPBOX, 5, 5, 150, 70, "Group"},
                {2, "Edit", ES_MULTILINE | ES_READONLY, 10, 15, 40, 16, kLongText},
                {3, "ListBox", LBS_NOTIFY, 10, 55, 60, 12, ""}}),
      [](HWND d, ui::CCaptionFit& fit) {
        ASSERT_FALSE(WrappedTextFits(d, 2)) << "the test needs a notice that is clipped";
        RECT before = RectOf(d, 2), group = RectOf(d, 1), list = RectOf(d, 3);
        fit.Fit();
        RECT grown = RectOf(d, 2);
        EXPECT_TRUE(WrappedTextFits(d, 2)) << Show(grown);
        LRESULT lines = SendMessageA(GetDlgItem(d, 2), EM_GETLINECOUNT, 0, 0);
        EXPECT_EQ(grown.bottom - grown.top, lines * TextSize(d, "0", 100, DT_SINGLELINE).cy)
            << "the room of the lines it shows, no more";
        EXPECT_EQ(grown.left, before.left);
        EXPECT_EQ(grown.top, before.top);
        EXPECT_FALSE(Overlap(grown, list)) << "the list below stays clear";
        EXPECT_LT(grown.right, group.right) << "stays inside its group box";
        EXPECT_GT(grown.right, before.right) << "too long for the room below alone";
        EXPECT_TRUE(Same(RectOf(d, 3), list));

        // It takes about the width it needs, not all there is: a few pixels less would not do.
        SIZE s =
            TextSize(d, kLongText, grown.right - grown.left - 8, DT_WORDBREAK | DT_EDITCONTROL);
        EXPECT_GT(s.cy, grown.bottom - grown.top) << "about the narrowest width that fits";
      });
}

TEST_F(CaptionFit, AnEditThatRefusedOneSizeIsAskedAgainAtTheNext) {
  sim::rc::DialogTemplate t =
      Template({{1, "Button", BS_GROUPBOX, 5, 5, 150, 70, "Group"},
                {2, "Edit", ES_MULTILINE | ES_READONLY, 10, 15, 40, 16, kLongText},
                {3, "ListBox", LBS_NOTIFY, 10, 55, 60, 12, ""}});
  RECT asked{};
  Run(t, [&](HWND d, ui::CCaptionFit& fit) {
    fit.Fit();
    asked = RectOf(d, 2);
  });
  sim::Reset();
  SetUp();
  Run(t, [&](HWND d, ui::CCaptionFit& fit) {
    // The first resize is the one asking about the widest room: its answer is unknown, not
    // "too narrow", so the narrower sizes are still tried.
    sim::FailCall("SetWindowPos", ERROR_ACCESS_DENIED, 0, 1);
    fit.Fit();
    EXPECT_TRUE(Same(RectOf(d, 2), asked)) << Show(RectOf(d, 2)) << " " << Show(asked);
  });
}

TEST_F(CaptionFit, StaticsAndButtonsTakeExactlyTheRoomOfTheirText) {
  Run(Template({{1, "Static", SS_LEFTNOWORDWRAP, 10, 10, 30, 8, "A label on one line only"},
                {5, "Button", BS_PUSHBUTTON, 10, 90, 20, 14, "A longer button caption"},
                // Radio buttons whose captions wrap, the glyph on either side.
                {6, "Button", BS_AUTORADIOBUTTON | BS_MULTILINE, 110, 10, 40, 10,
                 "A radio caption of many words"},
                {7, "Button", BS_AUTORADIOBUTTON | BS_MULTILINE | BS_LEFTTEXT, 155, 10, 40, 10,
                 "A radio caption of many words"},
                {8, "Button", BS_AUTORADIOBUTTON | BS_LEFTTEXT, 110, 50, 20, 10, "Glyph after"},
                {2, "Static", SS_LEFT, 10, 30, 60, 8, "Words that wrap onto a few lines here"},
                {3, "Static", SS_LEFT, 10, 70, 30, 8, "Unbreakablewordwiderthanitsroom"},
                {4, "Button", BS_PUSHBUTTON, 150, 100, 40, 14, "OK"}},
               200, 120),
      [](HWND d, ui::CCaptionFit& fit) {
        RECT single = RectOf(d, 1), wrapped = RectOf(d, 2), word = RectOf(d, 3);
        fit.Fit();
        // Statics keep no room around their text but half a digit to spare on the right.
        LONG spare = Spare(d);
        SIZE line = TextSize(d, "A label on one line only", 1000, DT_SINGLELINE);
        RECT grown = RectOf(d, 1);
        EXPECT_EQ(grown.right - grown.left, line.cx + spare) << Show(grown);
        EXPECT_EQ(grown.bottom, single.bottom);
        // Taller in the same width when only height is missing.
        grown = RectOf(d, 2);
        SIZE lines = TextSize(d, "Words that wrap onto a few lines here",
                              wrapped.right - wrapped.left - spare, DT_WORDBREAK);
        EXPECT_EQ(grown.right, wrapped.right) << Show(grown);
        EXPECT_EQ(grown.bottom - grown.top, lines.cy);
        // A word wider than the line widens it to the word.
        grown = RectOf(d, 3);
        SIZE wide = TextSize(d, "Unbreakablewordwiderthanitsroom", 1000, DT_SINGLELINE);
        EXPECT_EQ(grown.right - grown.left, wide.cx + spare) << Show(grown);
        EXPECT_EQ(grown.bottom - grown.top, wide.cy);
        EXPECT_EQ(word.bottom - word.top, wide.cy);
        // A radio button keeps a line and half a digit for its glyph, a pixel above and below.
        for (int id : {6, 7}) {
          RECT radio = RectOf(d, id);
          LONG glyph = TextSize(d, "0", 1000, DT_SINGLELINE).cy + spare;
          SIZE rows = TextSize(d, "A radio caption of many words",
                               radio.right - radio.left - glyph - spare, DT_WORDBREAK);
          EXPECT_EQ(radio.bottom - radio.top, 1 + rows.cy + 1) << id << Show(radio);
        }
        RECT after = RectOf(d, 8);
        EXPECT_EQ(after.right - after.left, TextSize(d, "Glyph after", 1000, DT_SINGLELINE).cx +
                                                TextSize(d, "0", 1000, DT_SINGLELINE).cy +
                                                2 * spare)
            << Show(after);
        // A push button keeps 4 pixels each side for its frame and focus rectangle.
        grown = RectOf(d, 5);
        SIZE button = TextSize(d, "A longer button caption", 1000, DT_SINGLELINE);
        EXPECT_EQ(grown.right - grown.left, 4 + button.cx + spare + 4) << Show(grown);
      });
}

TEST_F(CaptionFit, AWidthWhoseHeightCannotBeToldKeepsAllTheRoomBelow) {
  sim::rc::DialogTemplate t =
      Template({{1, "Button", BS_PUSHBUTTON, 10, 60, 40, 14, "OK"},
                {2, "Static", SS_LEFT, 10, 10, 30, 8, "Unbreakablewordwiderthanitsroom"}});
  RECT fitted{};
  int measures = 0;
  Run(t, [&](HWND d, ui::CCaptionFit& fit) {
    sim::ClearCalls();
    fit.Fit();
    fitted = RectOf(d, 2);
    measures = sim::CountOf("DrawTextA");
  });
  sim::Reset();
  SetUp();
  Run(t, [&](HWND d, ui::CCaptionFit& fit) {
    // The last measure is the height at the narrowest width that fits.
    sim::FailCall("DrawTextA", ERROR_ACCESS_DENIED, measures - 1, 1);
    fit.Fit();
    RECT grown = RectOf(d, 2);
    EXPECT_EQ(grown.right, fitted.right);
    EXPECT_GT(fitted.bottom - fitted.top, 0);
    EXPECT_EQ(grown.bottom, RectOf(d, 1).top - 2) << Show(grown);
  });
}

TEST_F(CaptionFit, ADialogWhoseClientAreaStartsAtTheScreenCornerIsFitted) {
  // Mapping then shifts nothing and answers 0, with an older error still set.
  sim::AddDialogTemplate(
      Template({{1, "Button", BS_AUTORADIOBUTTON, 10, 10, 30, 10, "A rather long caption"}}));
  sim::SetModalDriver([&](HWND d) {
    RECT window{};
    GetWindowRect(d, &window);
    POINT origin{0, 0};
    MapWindowPoints(d, nullptr, &origin, 1);
    SetWindowPos(d, nullptr, window.left - origin.x, window.top - origin.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    origin = POINT{0, 0};
    MapWindowPoints(d, nullptr, &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    RECT before = RectOf(d, 1);
    ui::CCaptionFit fit;
    SetLastError(ERROR_FILE_NOT_FOUND);
    fit.Capture(d);
    fit.Fit();
    EXPECT_GT(RectOf(d, 1).right, before.right);
    EndDialog(d, 0);
  });
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kFitDialog), nullptr, PlainProc, 0);
}

TEST_F(CaptionFit, AGroupBoxWidensForTextItCouldNotHoldAndTheDialogWithIt) {
  // A control on the box's left and top edges is inside it too.
  for (RECT box : {RECT{5, 5, 100, 40}, RECT{10, 15, 95, 30}}) {
    SCOPED_TRACE(box.left);
    sim::Reset();
    SetUp();
    Run(Template({{1, "Button", BS_GROUPBOX, box.left, box.top, box.right, box.bottom, "Group"},
                  {2, "Edit", ES_MULTILINE | ES_READONLY, 10, 15, 40, 16, kLongText},
                  {3, "ListBox", LBS_NOTIFY, 10, 35, 30, 8, ""}},
                 110, 60),
        [](HWND d, ui::CCaptionFit& fit) {
          RECT client = ClientOf(d), group = RectOf(d, 1), edit = RectOf(d, 2);
          LONG margin = client.right - group.right;
          fit.Fit();
          RECT notice = RectOf(d, 2), grown = RectOf(d, 1), wider = ClientOf(d);
          EXPECT_TRUE(WrappedTextFits(d, 2)) << Show(notice);
          EXPECT_FALSE(Overlap(notice, RectOf(d, 3)));
          EXPECT_GT(grown.right, group.right);
          // The group box still holds it, a digit from its frame or as close as it was.
          LONG digit = TextSize(d, "0", 100, DT_SINGLELINE).cx;
          EXPECT_EQ(grown.right - notice.right, std::min(group.right - edit.right, digit));
          EXPECT_EQ(wider.right - grown.right, margin);
          EXPECT_EQ(grown.bottom, group.bottom);
        });
  }
}

// A group box's caption starts 8 pixels in and is cut at the box's edge, as Wine draws it.
TEST_F(CaptionFit, AGroupBoxCaptionIsShownWholeWithEightPixelsEachSide) {
  const char kCaption[] = "2.How does your printer connect to your computer?";
  Run(Template({{1, "Button", BS_GROUPBOX, 5, 5, 60, 30, kCaption}}, 250, 60),
      [&](HWND d, ui::CCaptionFit& fit) {
        std::vector<sim::DrawnText> before = sim::DrawnTexts(GetDlgItem(d, 1));
        ASSERT_EQ(before.size(), 1u);
        EXPECT_EQ(before[0].shown, RectOf(d, 1).right - RectOf(d, 1).left - 8);
        fit.Fit();
        SIZE text = TextSize(d, kCaption, 1000, DT_SINGLELINE);
        LONG digit = TextSize(d, "0", 1000, DT_SINGLELINE).cx;
        RECT grown = RectOf(d, 1);
        EXPECT_EQ(grown.right - grown.left, 2 * std::max<LONG>(8, digit + 1) + text.cx + Spare(d));
        std::vector<sim::DrawnText> after = sim::DrawnTexts(GetDlgItem(d, 1));
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].width, text.cx);
        EXPECT_EQ(after[0].shown, after[0].width);
      });
}

TEST_F(CaptionFit, TextThatCannotFitTakesAllTheRoomAndNoMore) {
  std::string endless;
  for (int i = 0; i < 40; ++i) endless += "word ";
  sim::rc::DialogTemplate t = Template({{1, "Button", BS_GROUPBOX, 5, 5, 100, 50, "Group"},
                                        {2, "Static", SS_LEFT, 10, 15, 30, 10, ""},
                                        {3, "Button", BS_PUSHBUTTON, 60, 15, 40, 14, "OK"},
                                        {4, "Button", BS_PUSHBUTTON, 10, 35, 40, 14, "Cancel"}});
  Run(t, [&](HWND d, ui::CCaptionFit& fit) {
    SetWindowTextA(GetDlgItem(d, 2), endless.c_str());
    fit.Fit();
    RECT grown = RectOf(d, 2);
    EXPECT_LT(grown.right, RectOf(d, 3).left);
    EXPECT_LT(grown.bottom, RectOf(d, 4).top);
    EXPECT_GT(grown.bottom,
              sim::DialogUnitsToPixels(sim::Inspect(GetDlgItem(d, 2)).dialogUnits).bottom);
    RECT client = ClientOf(d);
    EXPECT_TRUE(grown.right <= client.right && grown.bottom <= client.bottom);
  });
}

TEST_F(CaptionFit, OutsideAnyGroupTheDialogWidensAndTheRightColumnFollows) {
  // A right margin of 7 dialog units, or none: the right column on the dialog's edge.
  for (int edge : {93, 100}) {
    SCOPED_TRACE(edge);
    sim::Reset();
    SetUp();
    Run(Template({{1, "Button", BS_GROUPBOX, 7, 4, edge - 7, 20, "Short"},
                  {2, "Button", BS_PUSHBUTTON, edge - 40, 30, 40, 14, "Exit"},
                  {3, "Static", SS_LEFT, 7, 30, 40, 8, "Left"}},
                 100, 50),
        [](HWND d, ui::CCaptionFit& fit) {
          RECT client = ClientOf(d), group = RectOf(d, 1), exit = RectOf(d, 2), left = RectOf(d, 3);
          LONG margin = client.right - group.right;
          SetWindowTextA(GetDlgItem(d, 1), "A caption much longer than its group box can show");
          fit.Fit();
          RECT wider = ClientOf(d), grown = RectOf(d, 1);
          EXPECT_GT(wider.right, client.right);
          EXPECT_EQ(wider.bottom, client.bottom);
          EXPECT_EQ(wider.right - grown.right, margin) << "the right margin is kept";
          EXPECT_EQ(RectOf(d, 2).right, grown.right) << "the button at the margin stretches";
          EXPECT_EQ(RectOf(d, 2).left, exit.left);
          EXPECT_TRUE(Same(RectOf(d, 3), left)) << "what did not reach the margin stays";
          SIZE text =
              TextSize(d, "A caption much longer than its group box can show", 1000, DT_SINGLELINE);
          EXPECT_GT(grown.right - grown.left, text.cx);
          SIZE digit = TextSize(d, "0", 1000, DT_SINGLELINE);
          // The frame keeps 8 pixels each side at this font (a digit and one, when that is more),
          // and half a digit to spare.
          EXPECT_EQ(grown.right - grown.left,
                    text.cx + 2 * std::max(8, digit.cx + 1) + digit.cx / 2);

          // A caption that fits again gives back the template's layout and size.
          SetWindowTextA(GetDlgItem(d, 1), "Short");
          fit.Fit();
          EXPECT_TRUE(Same(ClientOf(d), client)) << Show(ClientOf(d));
          EXPECT_TRUE(Same(RectOf(d, 1), group));
          EXPECT_TRUE(Same(RectOf(d, 2), exit));
        });
  }
}

TEST_F(CaptionFit, FailingCallsLeaveTheLayoutAsItIs) {
  // Once: the font's digit cannot be measured, and nothing is fitted with a guess.
  for (auto [call, times] : {std::pair{"GetDC", -1},
                             {"DrawTextA", -1},
                             {"DrawTextA", 1},
                             {"SetWindowPos", -1},
                             {"GetWindowTextA", -1}}) {
    SCOPED_TRACE(std::string(call) + " " + std::to_string(times));
    sim::Reset();
    SetUp();
    Run(Template({{1, "Button", BS_AUTORADIOBUTTON, 10, 10, 30, 10, "A rather long caption"}}),
        [&](HWND d, ui::CCaptionFit& fit) {
          RECT before = RectOf(d, 1);
          sim::FailCall(call, ERROR_ACCESS_DENIED, 0, times);
          fit.Fit();
          EXPECT_TRUE(Same(RectOf(d, 1), before));
        });
  }
}

TEST_F(CaptionFit, ALayoutThatCannotBeReadIsNotFitted) {
  for (const char* call : {"MapWindowPoints", "GetWindowRect", "GetClientRect"}) {
    SCOPED_TRACE(call);
    sim::Reset();
    SetUp();
    sim::AddDialogTemplate(
        Template({{1, "Button", BS_AUTORADIOBUTTON, 10, 10, 30, 10, "A rather long caption"}}));
    sim::SetModalDriver([&](HWND d) {
      RECT before = RectOf(d, 1);
      ui::CCaptionFit fit;
      sim::FailCall(call, ERROR_ACCESS_DENIED, 0, -1);
      fit.Capture(d);
      fit.Fit();
      EXPECT_TRUE(Same(RectOf(d, 1), before));
      EndDialog(d, 0);
    });
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kFitDialog), nullptr, PlainProc, 0);
  }
}

// The program's own dialog, with the texts it really shows.
class ProgramDialogFit : public SimTest {
 protected:
  void Run(const std::function<void(HWND)>& user) {
    EXPECT_TRUE(RunProgramThenEscape(user));
    EXPECT_EQ(sim::WindowDcsHeld(), 0);
  }
  // The dialog stays inside the work area, its shown controls inside its client area and clear
  // of every shown control they were clear of in the template; group box captions and list
  // entries show whole as Wine's controls draw them, or in a list with its horizontal scroll
  // bar, scrolled to.
  static void ExpectTidy(HWND d) {
    RECT client = ClientOf(d), work = sim::TheMonitor().workArea,
         outer = sim::Inspect(d).screenRect;
    EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                outer.bottom <= work.bottom)
        << Show(outer);
    std::vector<HWND> shown;
    for (HWND c : sim::Children(d))
      if (sim::Inspect(c).visible) shown.push_back(c);
    for (HWND c : shown) {
      bool scrolls = sim::Inspect(c).horizontalScrollBar;
      for (const sim::DrawnText& t : sim::DrawnTexts(c))
        EXPECT_EQ(scrolls ? t.reachable : t.shown, t.width)
            << sim::Inspect(c).id << " \"" << t.text << "\"";
    }
    for (HWND a : shown) {
      auto ia = sim::Inspect(a);
      EXPECT_TRUE(ia.rect.left >= 0 && ia.rect.top >= 0 && ia.rect.right <= client.right &&
                  ia.rect.bottom <= client.bottom)
          << ia.id << " " << Show(ia.rect);
      for (HWND b : shown) {
        auto ib = sim::Inspect(b);
        if (ia.id >= ib.id || Overlap(sim::DialogUnitsToPixels(ia.dialogUnits),
                                      sim::DialogUnitsToPixels(ib.dialogUnits)))
          continue;
        EXPECT_FALSE(Overlap(ia.rect, ib.rect)) << ia.id << " and " << ib.id;
      }
    }
  }
  static RECT TemplateRect(HWND d, int id) {
    return sim::DialogUnitsToPixels(sim::Inspect(GetDlgItem(d, id)).dialogUnits);
  }
};

TEST_F(ProgramDialogFit, EnglishUsbNoticeAndCaptionsGetTheirRoom) {
  Run([](HWND d) {
    ASSERT_TRUE(sim::Inspect(GetDlgItem(d, IDC_STATUS_TEXT)).visible);
    EXPECT_TRUE(WrappedTextFits(d, IDC_STATUS_TEXT)) << Show(RectOf(d, IDC_STATUS_TEXT));
    EXPECT_FALSE(Same(RectOf(d, IDC_STATUS_TEXT), TemplateRect(d, IDC_STATUS_TEXT)));
    RECT notice = RectOf(d, IDC_STATUS_TEXT), group = RectOf(d, IDC_CONNECTION_GROUP);
    EXPECT_LT(notice.right, group.right);
    EXPECT_LT(notice.bottom, RectOf(d, IDC_IP_ADDRESS).top) << "the address control stays shown";
    // The English captions of the two questions and the wizard link are wider than the
    // template's 172 units in this font: the dialog widens and the right column with it.
    RECT client = ClientOf(d);
    EXPECT_GT(client.right, sim::DialogUnitsToPixels(sim::Inspect(d).dialogUnits).right);
    for (int id : {IDC_DEFAULT_GROUP, IDC_CONNECTION_GROUP, IDCANCEL, IDC_WIZARD_LINK})
      EXPECT_EQ(RectOf(d, id).right, RectOf(d, IDC_DEFAULT_GROUP).right) << id;
    SIZE link = TextSize(d, sim::Inspect(GetDlgItem(d, IDC_WIZARD_LINK)).text, 1000, DT_SINGLELINE);
    EXPECT_GT(RectOf(d, IDC_WIZARD_LINK).right - RectOf(d, IDC_WIZARD_LINK).left, link.cx);
    ExpectTidy(d);

    // The serial notice fits the template's rectangle: the notice goes back to it, while the
    // dialog keeps its width as the user goes through the connection types.
    sim::Click(GetDlgItem(d, IDC_SERIAL));
    EXPECT_EQ(ClientOf(d).right, client.right);
    ASSERT_TRUE(sim::Inspect(GetDlgItem(d, IDC_STATUS_TEXT)).visible);
    EXPECT_TRUE(Same(RectOf(d, IDC_STATUS_TEXT), TemplateRect(d, IDC_STATUS_TEXT)))
        << Show(RectOf(d, IDC_STATUS_TEXT));
    sim::Click(GetDlgItem(d, IDC_NETWORK));
    EXPECT_EQ(ClientOf(d).right, client.right);
    ExpectTidy(d);
  });
}

// A serial port of 250 characters, as a virtual port driver may name one: the dialog widens no
// further than the work area and stays inside it, moving left; the list scrolls sideways to
// the whole name, which is selected and installed whole; what moved is painted again.
TEST_F(ProgramDialogFit, AVeryLongPortNameScrollsInsteadOfWideningPastTheWorkArea) {
  const std::string serial = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
  const std::string name = "COM" + std::string(247, 'V');
  sim::PutRegistryValue(serial, "\\Device\\Serial0", REG_SZ, std::string("COM1\0", 5));
  sim::PutRegistryValue(serial, "\\Device\\Virtual0", REG_SZ, name + '\0');
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", "\\Device\\Parallel0", REG_SZ,
                        std::string("\\DosDevices\\LPT1\0", 17));
  // The system's port settings, where the Local Port monitor adds the port.
  sim::PutRegistryValue("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM1:", REG_SZ,
                        std::string("9600,n,8,1\0", 11));
  sim::PutFolder(kTempFolder);
  bool installed = false;
  Run([&](HWND d) {
    RECT work = sim::TheMonitor().workArea;
    ASSERT_FALSE(sim::Inspect(d).stalePainting);
    ASSERT_TRUE(sim::Click(GetDlgItem(d, IDC_SERIAL)));
    HWND list = GetDlgItem(d, IDC_PORT_LIST);
    ASSERT_EQ(sim::Inspect(list).listEntries.at(2), name + ":");
    RECT outer = sim::Inspect(d).screenRect;
    EXPECT_EQ(outer.right - outer.left, work.right - work.left) << Show(outer);
    ExpectTidy(d);
    EXPECT_TRUE(sim::Inspect(GetDlgItem(d, IDC_BAUD_GROUP)).visible);
    EXPECT_TRUE(sim::Inspect(list).horizontalScrollBar);
    std::vector<sim::DrawnText> entries = sim::DrawnTexts(list);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_LT(entries[2].shown, entries[2].width) << "the name needs scrolling";
    EXPECT_FALSE(sim::Inspect(d).stalePainting) << "what moved is painted again";

    // Back on a state whose entries fit, the scroll bar goes; the width is kept.
    ASSERT_TRUE(sim::Click(GetDlgItem(d, IDC_PARALLEL)));
    EXPECT_EQ(sim::Inspect(list).horizontalExtent, 0);
    ASSERT_TRUE(sim::Click(GetDlgItem(d, IDC_SERIAL)));

    ASSERT_TRUE(sim::SelectListEntry(list, 2));
    ASSERT_TRUE(sim::Click(GetDlgItem(d, IDOK)));
    installed = !IsWindowVisible(d);
  });
  EXPECT_TRUE(installed);
  ASSERT_EQ(sim::Spooler().printers.size(), 1u);
  EXPECT_EQ(sim::Spooler().printers[0].port, name + ":");
}

TEST_F(ProgramDialogFit, ChineseKeepsTheTemplateWidthAndTheSwitchLaysOutAgain) {
  sim::System().uiLanguage = 2052;
  sim::System().ansiCodePage = 936;
  sim::PutRegistryValue("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0", REG_SZ,
                        std::string("COM1\0", 5));
  Run([](HWND d) {
    RECT templateClient = sim::DialogUnitsToPixels(sim::Inspect(d).dialogUnits);
    EXPECT_EQ(ClientOf(d).right, templateClient.right) << "the Chinese captions fit";
    std::vector<RECT> chinese;
    for (HWND c : sim::Children(d)) chinese.push_back(sim::Inspect(c).rect);
    EXPECT_TRUE(WrappedTextFits(d, IDC_STATUS_TEXT));
    ExpectTidy(d);
    sim::Click(GetDlgItem(d, IDC_SERIAL));
    ExpectTidy(d);
    // Five double-clicks on the hot spot switch to English, which needs the wider dialog.
    for (int i = 0; i < 5; ++i) sim::DoubleClick(GetDlgItem(d, IDC_LANGUAGE_HOTSPOT));
    ASSERT_EQ(sim::Inspect(GetDlgItem(d, IDC_CONNECTION_GROUP)).text,
              "2.How does your printer connect to your computer?");
    EXPECT_GT(ClientOf(d).right, templateClient.right);
    ExpectTidy(d);
    for (int i = 0; i < 5; ++i) sim::DoubleClick(GetDlgItem(d, IDC_LANGUAGE_HOTSPOT));
    EXPECT_EQ(ClientOf(d).right, templateClient.right);
    // Back on USB, the Chinese layout is the one the dialog opened with.
    sim::Click(GetDlgItem(d, IDC_USB));
    std::vector<HWND> children = sim::Children(d);
    for (size_t i = 0; i < children.size(); ++i)
      EXPECT_TRUE(Same(sim::Inspect(children[i]).rect, chinese[i])) << sim::Inspect(children[i]).id;
  });
}

}  // namespace
