// The video panes' context menu as data: which items it holds for the play
// state, which are checked or greyed, and the sizes and colours it is drawn
// with.  The menu widget only shows what BuildPaneMenu answers.
#pragma once

#include <array>
#include <vector>

#include "platform/colorref.h"
#include "platform/rect.h"

namespace qv::mainwnd {

struct PaneMenuItem {
  bool separator = false;
  int id = 0;      // command id (mainlayout.h)
  int text = 0;    // UI text
  bool checked = false;
  bool disabled = false;
  friend bool operator==(const PaneMenuItem&, const PaneMenuItem&) = default;
};

struct PaneMenuInput {
  int playState = 0;         // of the selected slots: 0 closed, 1 stopped, 2 playing, 3 paused
  bool fullScreen = false;
  int frontAspectMode = 0;   // the front slot's full-screen mode: 0 keep aspect, 1 stretch
  bool mirrorChecked = false;  // the pane's mirror state
  bool frontPane = false;    // the menu belongs to the front pane
  bool fastForwardLock = false;
  int rateIndex = 0;         // the data slot's rate index
};

std::vector<PaneMenuItem> BuildPaneMenu(const PaneMenuInput& in);

// Item size: t(220) wide in full screen, else t(70); t(20) high.
Size MeasurePaneMenuItem(bool fullScreen, float s);
// Where an item's text starts, from the item's left.
int PaneMenuTextIndent(float s);
// The three points of a checked item's tick, in item coordinates offset by
// the item's top, and the pen width.
std::array<Point, 3> PaneMenuTick(const Rect& item, float s);
int PaneMenuTickPen(float s);

// Colours (window-system order 0x00BBGGRR).
constexpr ColorRef kMenuSelectedFill = 0xFF0000;
constexpr ColorRef kMenuSelectedText = 0xFFFFFF;
constexpr ColorRef kMenuSelectedGreyFill = 0xFFC3C3;
constexpr ColorRef kMenuGreyText = 0x7F7F7F;

}  // namespace qv::mainwnd
