// Rules of the main window's own frame and of the command guard, as pure
// functions: the window has no system caption or borders, so it answers its
// own hit test, restores itself when a maximised window is dragged by the
// caption, and re-fits itself when its monitor's work area changes.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/rect.h"
#include "skin/skingeometry.h"

namespace qv::mainwnd {

struct FrameState {
  bool outlineExists = false;  // the resize outline has been made (end of start-up)
  bool fullScreen = false;
  bool maximised = false;
};

// The main window's own hit test for a point in screen coordinates, as the
// resizable dialog's hit codes (skin::kHitCaption, skin::kHitClient):
// nothing (the resizable dialog's own answer) before the outline exists;
// otherwise the caption band t(6)..t(27) below the top, t(6) in from either
// side, is the caption, and the rest (all of it in full screen, and the top
// t(27) while maximised) is client area.
std::optional<int> MainWindowHitTest(const Rect& window, Point cursor, float s, const FrameState& state);

// A maximised window dragged by its caption is restored once the cursor has
// moved more than t(4) from the press on either axis.
bool DragRestoreDue(Point press, Point cursor, float s);

// Whether the monitor re-fit runs: only after the first layout (a last-fit
// scale not below 0) and only when the work area under the window's top-left
// corner differs from the one stored.
bool MonitorRefitDue(float lastFitScale, const Rect& storedWorkArea, const Rect& workArea);

// Start-up maximises the window when fitting it to its monitor took the
// scale below 1.
bool MaximiseAfterFit(float fitFactor);

// ---------------------------------------------------------------- command guard

// The view factor used when the slots report 0: 1000 / 29.1.  View factors
// are floats, as the player keeps them.
constexpr float kDefaultViewFactor = 34.36426f;

// How far before the end of the movie commands are refused, in position
// units: trunc(k × 1000 / 29.1 / v) with k = 40 at rate index 2, 80 at 4,
// else 20, and v the view factor (0 counts as the default).  The quotient is
// taken in double over the float factor, so the default gives 19, 39 and 79
// (in float throughout it would be 20, 40 and 80).
int64_t GuardMargin(int rateIndex, float viewFactor);

// What the guard knows of the player and the window.
struct GuardInput {
  bool nearEndLatch = false;  // set by an earlier refusal, cleared by a new pair
  bool pairOpen = false;
  int playState = 0;          // 0 closed, 1 stopped, 2 playing, 3 paused
  int64_t position = 0;
  int64_t length = 0;
  int rateIndex = 0;
  float viewFactor = 0.0f;
};

// True when commands are refused; the caller then sets the latch and closes
// its own open context menu.
bool IsCommandBlocked(const GuardInput& in);

}  // namespace qv::mainwnd
