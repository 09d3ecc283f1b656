// Geometry of the skinned window toolkit, as pure functions.
//
// Everything here works on window-style rectangles (right and bottom
// exclusive) and the display scale s: t(x) is x design pixels on screen,
// x * s computed in float and truncated toward zero.  The widgets only feed
// these functions with their event positions and rectangles, so every rule
// can be checked without a display.
#pragma once

#include <string>
#include <string_view>

#include "platform/rect.h"

namespace qv::skin {

// x design pixels at scale s: trunc(x * s), the product in float.
int T(float s, int x);

// ---------------------------------------------------------------- resizable dialog

// Hit codes, as the window system numbers them.
enum HitCode : int {
  kHitNowhere = 0,
  kHitClient = 1,
  kHitCaption = 2,
  kHitLeft = 10,
  kHitRight = 11,
  kHitTop = 12,
  kHitTopLeft = 13,
  kHitTopRight = 14,
  kHitBottom = 15,
  kHitBottomLeft = 16,
  kHitBottomRight = 17,
};

// Dragged edge: 0 none, 1 left, 2 top, 3 right, 4 bottom, 5 top-left,
// 6 bottom-right, 7 bottom-left, 8 top-right.
enum DragEdge : int {
  kEdgeNone = 0,
  kEdgeLeft = 1,
  kEdgeTop = 2,
  kEdgeRight = 3,
  kEdgeBottom = 4,
  kEdgeTopLeft = 5,
  kEdgeBottomRight = 6,
  kEdgeBottomLeft = 7,
  kEdgeTopRight = 8,
};

// Design size and the three video-pane sizes of the main window's layouts.
struct DialogMetrics {
  int designWidth = 0;
  int designHeight = 0;
  Size panes[3];
};
DialogMetrics ComputeDialogMetrics(float s);

struct HitTestFlags {
  bool noResize = false;
  bool maximised = false;
};
// Which part of the window `cursor` (screen coordinates) is over; `window` is
// the window rectangle in screen coordinates.
int HitTestEdge(const Rect& window, Point cursor, float s, HitTestFlags flags);

// The edge a press with this hit code drags (kEdgeNone for the rest).
int EdgeFromHitCode(int hitCode);

// The drag rectangle with the edges named by the hit code moved to the cursor.
Rect GetDragRect(const Rect& drag, int hitCode, Point cursor);

// The scales the rectangle asks for, held between 1.0 and what the work area
// allows; answers the limit code (0 none, 1..8, see the .cpp).
int ClampScale(const Rect& rect, const Rect& workArea, int designWidth, int designHeight, int edge,
               float& scaleX, float& scaleY);

// Keeps the side opposite the dragged edge where `start` has it and applies
// the size.
Rect PlaceFromEdge(int edge, const Rect& start, int width, int height);

// Where an outline or release drag last was.
struct DragTracking {
  bool inside = false;
  Point last{-2147483647 - 1, -2147483647 - 1};
};

// One step of a border drag: moves the dragged edges to the cursor, clamps
// the scale and re-places the rectangle at a limit.  False (and nothing
// changed) when the step has nothing to do.
bool TrackDrag(Rect& rect, DragTracking& tracking, Point cursor, int edge, const Rect& workArea,
               int designWidth, int designHeight, float& scaleX, float& scaleY);

// The window size for a design size and scale: each product in float,
// truncated.
Size ScaledWindowSize(int designWidth, int designHeight, float scaleX, float scaleY);

// A scale read from the settings file, held between 1.0 and the largest that
// fits the work area (1.0 when not even the design size fits).
float ClampLoadedScale(float scale, int workExtent, int designExtent);

// Scales as the settings file keeps them: "%f" text, locale-free.
std::string FormatScale(float scale);
// The scale from its text; false (out unchanged) when the text is no number
// above 0.
bool ParseScale(std::string_view text, float& scale);

// The cursor shape of a hit code.
enum class CursorShape { kArrow, kSizeWE, kSizeNS, kSizeNWSE, kSizeNESW };
CursorShape CursorForHitCode(int hitCode);

// Whether the outline may follow the cursor again: more than 0.08888 s since
// the last update.
bool OutlineDue(double nowSeconds, double lastSeconds);

// ---------------------------------------------------------------- skinned dialog and buttons

// Item state bits of an owner-drawn button.
enum ItemState : unsigned {
  kStateSelected = 0x1,
  kStateGrayed = 0x2,
  kStateDisabled = 0x4,
  kStateChecked = 0x8,
};

// The cell of a four-cell button strip for the item state: 0 normal, 1 hover,
// 2 pressed or checked, 3 disabled.  `pressed` is set or cleared as the rule
// says (left alone for grayed, disabled and checked).
int ButtonImageIndex(unsigned state, bool latched, bool& pressed);
// The cell a skin button shows, hover included: hover shows 1 unless the
// button is pressed, latched or the rule already chose another cell.
int SkinButtonCell(unsigned state, bool latched, bool hovered, bool& pressed);
// The check image of a check button (no pressed flag).
int CheckImageIndex(unsigned state, bool checked);

// Caption close button of a skinned dialog, from its client rectangle.
Rect CloseButtonRect(const Rect& client, float s);
// The grey caption strip and the rectangle its text is drawn in.
Rect CaptionStripRect(const Rect& client, float s);
Rect CaptionTextRect(float s);
// Check button: the check image square and the text rectangle.
Rect CheckImageRect(float s);
Rect CheckTextRect(const Rect& item, float s);

// ---------------------------------------------------------------- list, progress bar, slider

// State images of a check list: 1 unchecked, 2 unchecked under the cursor,
// 3 checked.
int ListStateAfterClick(int state);
int ListStateOnHoverEnter(int state);
int ListStateOnHoverLeave(int state);

// Filled width of the progress bar: position / (maximum - minimum) of the
// width, 0 for an empty range.
int ProgressFillWidth(int width, int minimum, int maximum, int position);
// Rectangle the percentage is centred in.
Rect ProgressTextRect(int width, int height, float s);
// Where the progress bar goes: across the bottom of `reference`, in the
// parent's window coordinates.
Rect ProgressPlaceBelow(const Rect& parentWindow, const Rect& referenceWindow, float s);

struct SliderImages {
  Size played;  // design size of the played-part image
  Size rest;
  Size thumb;
};
struct SliderBar {
  Rect playedSource, playedDest;
  Rect restSource, restDest;
  Rect thumbDest;
};
// The slider's drawing rectangles for a client width and position.
SliderBar ComputeSliderBar(int clientWidth, int clientTop, int minimum, int maximum, int position,
                           const SliderImages& images, float s);
// The position under x (client coordinates) for a window width; `previous`
// when the window has no width.
int SliderPosFromX(int x, int windowWidth, int minimum, int maximum, int previous);
// Whether x counts as on the slider: a margin of t(10) either side.
bool SliderAcceptsX(int x, int clientWidth, float s);
// Whether x lies on the thumb (the press will drag it from where it is) or
// on the track (the press jumps).
bool SliderXOnThumb(int x, int clientWidth, int minimum, int maximum, int position, const SliderImages& images,
                    float s);

// ---------------------------------------------------------------- message box

struct MsgBoxLayout {
  Rect window;  // screen coordinates
  Rect text;    // client coordinates
  Rect ok;
  Rect cancel;  // empty for type 0
  Rect whiteArea;
};
// The box for a text of the given size in screen pixels (widest line, sum of
// line heights, measured in the box's own font), centred on `parent` (the
// screen when there is no parent window).  The box is at least as wide as
// its buttons need.
MsgBoxLayout ComputeMsgBoxLayout(Size text, float s, int type, const Rect& parent);

// ---------------------------------------------------------------- logo

// The logo's place in R: aspect-fitted, centred, never above or left of R.
Rect FitLogo(const Rect& r, int imageWidth, int imageHeight);

// Back buffer size: the largest monitor, in device pixels.
Size BackBufferSize(const Size* monitors, int count);

}  // namespace qv::skin
