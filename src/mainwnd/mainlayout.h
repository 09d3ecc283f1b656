// Geometry of the main window, as pure functions.
//
// The main window is laid out in design pixels (1120 × 697) times the
// display scale s; every product is truncated toward zero before it is
// combined, written t(x) below.  Rectangles are window-style (right and
// bottom exclusive) in the main window's client coordinates unless said.
// The window only feeds these functions its client rectangle and scale and
// moves its children where they say.
#pragma once

#include <array>
#include <optional>

#include "platform/rect.h"
#include "skin/skingeometry.h"

namespace qv::mainwnd {

// x design pixels at scale s: trunc(x × s), the product in float.
using skin::T;

// ---------------------------------------------------------------- buttons

constexpr int kCommandButtonCount = 16;
constexpr int kFrameButtonCount = 3;

// Control ids of the command buttons, in their order on the window.
enum CommandId : int {
  kCmdToStart = 38000,
  kCmdPrevious = 38001,
  kCmdPlayPause = 38002,
  kCmdSlower = 38003,
  kCmdFaster = 38004,
  kCmdNext = 38005,
  kCmdStill = 38006,
  kCmdJoin = 38007,
  kCmdZoom = 38008,
  kCmdMirror = 38009,
  kCmdMap = 38010,
  kCmdBrowse = 38011,
  kCmdDelete = 38012,
  kCmdSettings = 38013,
  kCmdCsv = 38014,
  kCmdFrontRear = 38015,
  // Context-menu only.
  kCmdFullScreenMode = 38200,
};

// Control ids of the frame buttons.
enum FrameId : int {
  kFrameClose = 16,
  kFrameMaximise = 17,
  kFrameMinimise = 18,
};

// Controls the main window makes besides the buttons.
enum ControlId : int {
  kCtlPane = 1000,  // both video panes
  kCtlPositionSlider = 38100,
  kCtlVolumeSlider = 38101,
  kCtlProgressBar = 38102,
};

struct ButtonRow {
  int id;
  int bitmap;          // skin strip of four cells
  int tooltip;         // UI text
  int playingBitmap;   // 0: the same in every state
  int playingTooltip;  // 0: the same in every state
  int designWidth;     // the height is 32 for command buttons, 18 for frame buttons
};

// The 16 command buttons, left to right.
const std::array<ButtonRow, kCommandButtonCount>& CommandButtons();
// Close, maximise/restore, minimise.  The maximise button's second bitmap
// and tooltip are its restore face (while maximised).
const std::array<ButtonRow, kFrameButtonCount>& FrameButtons();

// ---------------------------------------------------------------- layout

// Pane metrics from the client rectangle: W0 × H0 is the front pane's area.
struct LayoutMetrics {
  int w0 = 0;
  int h0 = 0;
  int w2 = 0;
  int h2 = 0;
};
LayoutMetrics ComputeLayoutMetrics(const Rect& client, float s);

// Where LayoutChildren puts every child.
struct MainLayout {
  Rect frontPane;
  // The front pane widened to W0 and one pixel lower: the sliders, panels,
  // browser and pop-outs line up with it.
  Rect paneArea;
  Rect positionSlider;
  Rect infoPanel;
  Rect graph;
  Rect browser;
  std::array<Rect, kCommandButtonCount> commandButtons;
  std::array<Rect, kFrameButtonCount> frameButtons;
  Rect volumeSlider;
};

// The children's places for a client rectangle, or nothing when the client
// rectangle or the front pane would be empty (then the window leaves its
// children where they are).
std::optional<MainLayout> LayoutChildren(const Rect& client, float s);

// The progress bar while a file operation runs: over the bottom t(22) of the
// pane area, t(2) in from its left, as wide as the pane.
Rect BusyProgressBar(const Rect& paneArea, float s);

// The main window's size for a scale and the window's own stretch factors:
// trunc(t(1120) × scaleX) × trunc(t(697) × scaleY).
Size MainWindowSize(float s, float scaleX, float scaleY);

// ---------------------------------------------------------------- pop-outs

// Design sizes of the pop-outs (before their own stretch factors).
Size MapPopoutDesignSize(float s);
Size MoviePopoutDesignSize(float s);
// A design size times a pop-out's stretch factors, each product truncated.
Size PopoutWindowSize(Size design, float scaleX, float scaleY);

// Screen positions of the pop-outs: beside the pane area, the map one at the
// browser's top, the movie one above the browser's bottom.
Point MapPopoutOrigin(Point windowOrigin, const MainLayout& layout);
Point MoviePopoutOrigin(Point windowOrigin, const MainLayout& layout, float s);

// What fills a pop-out of this window size (the rear pane, the map, the
// logo), in the pop-out's client coordinates: inset t(4) left, right and
// bottom, t(20) at the top for the caption.
Rect PopoutContentRect(Size popout, float s);

// A dialog of `size` centred on `monitor` (a monitor's whole area); at
// `fallback` when there is no monitor area.
Rect CentreOnMonitor(const Rect& monitor, Size size, Point fallback);

// ---------------------------------------------------------------- logo and map

// What the logo-and-map rule knows when it runs.
struct LogoMapInput {
  bool trackShown = false;        // the map wrap shows a track
  bool connectTest = false;       // the map page can be reached
  bool trackEmpty = true;         // the shared GPS track has no points
  bool currentRowValid = false;   // the current list index is a row
  bool parking = false;           // the current recording was made while parked
  bool invalidPosition = false;   // the pair's first track point is no position
  bool connected = false;         // the map answered while a pair's data was shown
  bool mapEnabled = true;
  bool mapShown = false;          // the map command's state
  bool firstRun = false;          // set once start-up has finished
  bool fullScreen = false;
  bool mapDialogExists = false;
  // A map can show here at all (the web engine runs): without it the map
  // has nothing to show and the logo stands in, whatever the probe says.
  bool mapAvailable = true;
  bool mapDialogVisible = false;
  bool logoVisible = false;
  int logoFrameFlag = 1;          // the logo's current frame flag
};

enum class LogoAction {
  kNone,
  kShow,     // set the logo's show flag and send it kMsgLogoShow
  kHide,     // clear the logo's show flag and send it kMsgLogoShow
  kHideNow,  // hide the logo window at once (full screen)
};

struct LogoMapDecision {
  bool hideMap = false;   // show the map dialog with 0
  bool showMap = false;   // show the map dialog (and focus it when that worked)
  bool logoShown = false; // the window's logo-shown flag afterwards
  LogoAction logo = LogoAction::kNone;
  int logoFrameFlag = 1;
  bool redrawLogo = false;  // the frame flag changed
};

LogoMapDecision DecideLogoAndMap(const LogoMapInput& in, bool logoShownBefore);

}  // namespace qv::mainwnd
