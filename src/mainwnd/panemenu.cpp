#include "mainwnd/panemenu.h"

#include "mainwnd/mainlayout.h"

namespace qv::mainwnd {
namespace {

// UI texts of the menu.
enum MenuText : int {
  kTextFast = 79,
  kTextBrowse = 81,
  kTextPause = 82,
  kTextPlay = 83,
  kTextSettings = 84,
  kTextSlow = 85,
  kTextStill = 86,
  kTextStop = 87,
  kTextFullScreenKeepAspect = 88,
  kTextFullScreenStretch = 89,
  kTextFrontRear = 147,
  kTextMirror = 169,
};

PaneMenuItem Item(int id, int text) { return PaneMenuItem{false, id, text, false, false}; }
PaneMenuItem Separator() { return PaneMenuItem{true, 0, 0, false, false}; }

}  // namespace

std::vector<PaneMenuItem> BuildPaneMenu(const PaneMenuInput& in) {
  std::vector<PaneMenuItem> m;
  if (in.playState == 2) {
    PaneMenuItem slow = Item(kCmdSlower, kTextSlow), fast = Item(kCmdFaster, kTextFast);
    if (!in.fastForwardLock && in.rateIndex < 2) {
      slow.disabled = in.rateIndex < 0;
    } else {
      fast.disabled = true;
    }
    m = {Item(kCmdPlayPause, kTextPause), Item(kCmdToStart, kTextStop), fast, slow};
  } else if (in.playState == 3) {
    m = {Item(kCmdPlayPause, kTextPlay), Item(kCmdToStart, kTextStop)};
  } else {
    m = {Item(kCmdPlayPause, kTextPlay)};
  }

  PaneMenuItem mirror = Item(kCmdMirror, kTextMirror);
  mirror.checked = in.mirrorChecked;
  mirror.disabled = in.frontPane;
  if (in.fullScreen) {
    if (in.frontAspectMode == 0 || in.frontAspectMode == 1) {
      m.push_back(Item(kCmdFullScreenMode,
                       in.frontAspectMode == 0 ? kTextFullScreenKeepAspect : kTextFullScreenStretch));
    }
    m.insert(m.end(), {Separator(), mirror, Item(kCmdFrontRear, kTextFrontRear)});
  } else {
    m.insert(m.end(), {Separator(), Item(kCmdStill, kTextStill), Item(kCmdSettings, kTextSettings), Separator(),
                       mirror, Item(kCmdFrontRear, kTextFrontRear), Separator(), Item(kCmdBrowse, kTextBrowse)});
  }
  return m;
}

Size MeasurePaneMenuItem(bool fullScreen, float s) { return {T(s, fullScreen ? 220 : 70), T(s, 20)}; }

int PaneMenuTextIndent(float s) { return T(s, 20); }

std::array<Point, 3> PaneMenuTick(const Rect& item, float s) {
  return {Point{item.left + T(s, 3), item.top + T(s, 4)},
          Point{item.left + T(s, 4), item.bottom - T(s, 1) - T(s, 5)},
          Point{item.left + item.Height() - T(s, 1) - T(s, 4), item.top + T(s, 3)}};
}

int PaneMenuTickPen(float s) { return T(s, 2); }

}  // namespace qv::mainwnd
