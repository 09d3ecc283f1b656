// A video pane's mouse clicks: a single click reaches the owner only once
// the double-click time has passed without a second click, and a double
// click never delivers the single click.
//
// The machine runs on the window thread.  It arms and kills the pane's two
// timers (200 after a press, 201 after a release, both for the double-click
// time) through PaneTimers, and the pane calls OnTimer when one fires; the
// tests drive it with a fake clock.
#pragma once

#include "platform/rect.h"

namespace qv::mainwnd {

class PaneTimers {
 public:
  virtual ~PaneTimers() = default;
  // Starts (or restarts) timer `id` to fire after `ms`.
  virtual void Start(int id, int ms) = 0;
  virtual void Kill(int id) = 0;
};

// What the pane does after an event.
struct PaneClickEffect {
  bool zoomAtPoint = false;      // call the owner's delayed single click with camera and point
  Point point;
  bool releaseCapture = false;
  bool toggleFullScreen = false; // ask the owner to toggle full screen
  bool fromPane = false;         // ... as a request from the pane
};

// What the owner says when a double click arrives.
struct PaneOwnerState {
  int frontPaneIndex = 0;   // which camera the front pane shows
  bool handCursor = false;  // zoom mode
  bool controlsEnabled = true;
  bool listHasRows = false;
  bool pairOpen = false;
};

class PaneClickMachine {
 public:
  PaneClickMachine(PaneTimers& timers, int cameraIndex, int doubleClickMs)
      : timers_(timers), camera_(cameraIndex), doubleClickMs_(doubleClickMs) {}

  void OnButtonDown(Point p);
  void OnButtonUp(Point p);
  PaneClickEffect OnDoubleClick(const PaneOwnerState& owner);
  PaneClickEffect OnTimer(int id);

 private:
  PaneTimers& timers_;
  int camera_;
  int doubleClickMs_;
  bool upSeen_ = false;
  bool delivered_ = false;
  bool doubleSeen_ = false;
  Point down_;
  Point up_;
};

}  // namespace qv::mainwnd
