#include "mainwnd/paneclicks.h"

#include "mainwnd/mainmessages.h"

namespace qv::mainwnd {

void PaneClickMachine::OnButtonDown(Point p) {
  upSeen_ = false;
  if (doubleSeen_) return;
  delivered_ = false;
  if (camera_ == 0 || camera_ == 1) {
    down_ = p;
    timers_.Start(kTimerPaneDown, doubleClickMs_);
  }
}

void PaneClickMachine::OnButtonUp(Point p) {
  upSeen_ = true;
  if (doubleSeen_) {
    doubleSeen_ = false;
    return;
  }
  up_ = p;
  timers_.Start(kTimerPaneUp, doubleClickMs_);
}

PaneClickEffect PaneClickMachine::OnDoubleClick(const PaneOwnerState& owner) {
  PaneClickEffect e;
  timers_.Kill(kTimerPaneDown);
  timers_.Kill(kTimerPaneUp);
  delivered_ = false;
  doubleSeen_ = true;
  e.releaseCapture = true;
  if (camera_ == owner.frontPaneIndex && !owner.handCursor) {
    e.toggleFullScreen = true;
    e.fromPane = owner.controlsEnabled && owner.listHasRows && owner.pairOpen;
  }
  // The first click's release has been seen: the release that ends the
  // double click arms timer 201 as for any click, and it finds nothing
  // delivered.
  if (upSeen_) doubleSeen_ = false;
  return e;
}

PaneClickEffect PaneClickMachine::OnTimer(int id) {
  PaneClickEffect e;
  if (id == kTimerPaneDown) {
    timers_.Kill(kTimerPaneDown);
    if (!delivered_) {
      delivered_ = true;
      e.zoomAtPoint = true;
      e.point = down_;
    }
  } else if (id == kTimerPaneUp) {
    timers_.Kill(kTimerPaneUp);
    if (delivered_) {
      delivered_ = false;
      e.releaseCapture = true;
    }
  }
  return e;
}

}  // namespace qv::mainwnd
