// The display scale: windows are laid out in design pixels, and one factor,
// UiScale, turns them into screen pixels (truncated toward zero where used).
// FontScale multiplies the point sizes of the shared fonts.  The values are
// set on the window thread by the font set-up (skin/fonts.h) and read
// everywhere; this header holds them and the pure formulas behind them.
#pragma once

#include "platform/rect.h"

namespace qv {

// Design pixels to screen pixels; 0 until the fonts are created.
extern float UiScale;
// UiScale × 96 / dots per inch, possibly shrunk to fit the monitor.
extern float FontScale;

// The main window's design size.
constexpr int kDesignWidth = 1120;
constexpr int kDesignHeight = 697;

struct UiScales {
  float uiScale = 0;
  float fontScale = 0;
};

// The scales for a monitor's work area: a landscape area (width / height
// above 1) scales by height / 1056 with the horizontal dots per inch; a
// square or portrait one by width / 1056 × 7/8 with the vertical ones.  No
// usable dots per inch gives a font scale of 0.
UiScales ComputeUiScales(int workWidth, int workHeight, int dpiX, int dpiY);

// The factor that makes the scaled design height fit a work area this high:
// work height / trunc(uiScale × 697) when it is lower, else 1.
float FitFactor(float uiScale, int workHeight);

// The pixel height (negative: the character height) of a font of `points`
// at `fontScale` on a screen of `dpiY` dots per inch:
// -MulDiv(trunc(fontScale × points), dpiY, 72).
int FontHeight(float fontScale, int points, int dpiY);

// trunc(value × scale), the rule for every scaled layout constant.
int ScaleInt(int value, float scale);

// Where a dialog's control goes when the whole dialog is scaled: its offset
// from the dialog's window origin and its client size, each scaled.
Rect ScaledChildRect(const Rect& childWindow, const Rect& parentWindow, Size clientSize, float scale);

// A child's window rectangle in its parent's window coordinates, one pixel
// higher than the plain difference (as the layout code expects).
Rect ChildRectInParent(const Rect& childWindow, const Rect& parentWindow);

// The size a bitmap of w × h loads at: height trunc(h × scale); a strip of
// square cells (w a whole multiple of h) keeps its cells equally wide, any
// other bitmap gets trunc(w × scale).  A height of 0 gives 0 × 0.
Size ScaledBitmapSize(int w, int h, float scale);

// The drawn size of an image of w × h at a zoom: trunc(w × zoom × scale),
// in double precision.
Size ScaledDrawSize(int w, int h, double zoom, double scale);

}  // namespace qv
