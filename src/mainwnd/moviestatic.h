// The video panes: the front pane in the main window and the rear pane in
// the movie pop-out.  A pane is the window its player slot draws into
// (VideoPane); on top of that it turns mouse clicks into a delayed single
// click (zoom at a point) or a double click (full screen), hands the
// player's ready and ended notices and its context menu to its owner by
// direct call, and paints black or a red notice when its slot has nothing
// to show.
//
// The player's graph-event notice of the other playback path has no sender
// here (mainmessages.h), so a pane forwards only ready and ended.
//
// Window thread only.  The owner (the main window) implements IMovieOwner
// and outlives its panes.
#pragma once

#include <cstdint>
#include <memory>

#include "mainwnd/paneclicks.h"
#include "mainwnd/panefill.h"
#include "platform/qt/wintimer.h"
#include "platform/rect.h"
#include "player/videopane.h"

namespace qv {

class CMovieStatic;

// What a video pane asks of its owner.  Every call comes on the window
// thread, from inside the pane's event handling.
class IMovieOwner {
 public:
  virtual ~IMovieOwner() = default;
  // A right click (or the menu key) on `pane`, at `screen` (screen
  // coordinates): show the context menu.
  virtual void OnPaneContextMenu(Point screen, CMovieStatic* pane) = 0;
  // A single click, delivered once the double-click time has passed without
  // a second click: zoom `camera`'s view at `point` (the press, in the
  // pane's device pixels, as VideoPane::ClientSize).
  virtual void OnPaneZoomClick(int camera, Point point) = 0;
  // The player's notices to the pane, with the player's wParam.
  virtual void OnPanePresentationEnded(uintptr_t wParam, int camera) = 0;
  virtual void OnPaneTopologyReady(uintptr_t wParam, int camera) = 0;
  // A double click on the front pane: toggle full screen; `fromPane` when
  // no file operation runs, the list has rows and a pair is open.
  virtual void ToggleFullScreen(bool fromPane) = 0;
  // What a double click needs to know of the owner (its handCursor field is
  // the pane's own and is ignored).
  virtual mainwnd::PaneOwnerState PaneOwnerStateNow() const = 0;
};

class CMovieStatic : public VideoPane {
 public:
  // `clock` replaces the real timers of the click machine (tests); not
  // owned.  The double-click time is the system's unless given (> 0).
  explicit CMovieStatic(QWidget* parent = nullptr, TimerClock* clock = nullptr, int doubleClickMs = 0);
  ~CMovieStatic() override;

  // Set by the main window right after creating the pane.
  void SetOwner(IMovieOwner* owner) { owner_ = owner; }
  // 0 the front pane, 1 the rear pane (-1 until set).  Resets the click
  // machine.
  void SetCameraIndex(int camera);
  int CameraIndex() const { return camera_; }

  // Zoom mode: the hand cursor shows over the pane and a double click does
  // not toggle full screen.
  void SetHandCursor(bool on);
  // The check of the context menu's mirror item.
  void SetMirrorChecked(bool on) { mirrorChecked_ = on; }
  bool MirrorChecked() const { return mirrorChecked_; }
  // While set the pane paints black whatever its slot shows.
  void SetBlackOut(bool on);

  // What the pane paints now, from its slot's and the other slot's state.
  mainwnd::PaneFill Fill() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  class Timers;
  void OnTimer(int id);
  void Apply(const mainwnd::PaneClickEffect& effect);
  Point DevicePoint(const QPoint& logical) const;

  bool handCursor_ = false;
  bool mirrorChecked_ = false;
  bool blackOut_ = false;
  int camera_ = -1;
  int doubleClickMs_ = 0;
  IMovieOwner* owner_ = nullptr;
  std::unique_ptr<Timers> timerAdapter_;
  std::unique_ptr<WindowTimers> timers_;
  std::unique_ptr<mainwnd::PaneClickMachine> clicks_;
};

// What zoom mode changes besides the panes; the main window implements it.
class IZoomModeHost {
 public:
  virtual ~IZoomModeHost() = default;
  // The browser's zoom mark; it shows its children only while zoom mode is off.
  virtual void SetBrowserZoomMode(bool on) = 0;
  // Repaints the information band into the main window.
  virtual void RepaintInformationBand() = 0;
  // Shows the browser unless it is marked as in full screen.
  virtual void ShowBrowserUnlessFullScreen() = 0;
  // Leaving zoom mode: both panes' view records back to the whole picture,
  // then the views drawn again.
  virtual void ResetPaneViews() = 0;
  virtual void RedrawVideoViews() = 0;
};

// Turns zoom mode on or off: the hand cursor on each pane that exists, then
// the browser, the information band and, when leaving, the views.
void SetZoomMode(bool on, CMovieStatic* frontPane, CMovieStatic* rearPane, IZoomModeHost& host);

}  // namespace qv
