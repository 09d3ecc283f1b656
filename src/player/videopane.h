// A video pane: the window a player slot's view draws into.
//
// It paints the slot's current frame (black around the picture) and then the
// slot's on-screen text layer over it, in device pixels, so that the picture
// is not scaled a second time on a screen with a device-pixel ratio above 1.
// The slot places the picture in ClientSize(), which is in device pixels too;
// zoom centres and offsets given to the slot for this pane are device pixels
// (ToDevice converts a point of the pane).
//
// The presenter's thread never touches the pane: it posts kMsgPresenterFrame
// to Port(), and the pane schedules a paint.  A paint only draws what is
// there and never asks for another paint, so a pane whose slot is paused or
// stopped is painted only when a frame arrives or the window system asks.
// This paint is also what a pane does for a slot that is not playing ("show
// its frame again"): callers must not ask the player to repaint from a paint.
//
// On a resize (or a move to a screen of another device-pixel ratio) the
// pane places its view again with the slot's zoom record
// (PlayerSlot_RedrawView); a pane showing a bare CPlayer gives it the whole
// client area.
//
// Window thread only.  The player behind a slot is only made and dropped on
// the window thread, so the pane reads it without the slot mutex (a pair
// thread loading drive data may hold that mutex for a while).
#pragma once

#include <QWidget>

#include <cstdint>

#include "platform/qt/appmessage.h"
#include "platform/rect.h"
#include "player/slotwindow.h"

class QPainter;

namespace qv {

class CPlayer;
class CustomPresenter;
struct PlayerSlot;

class VideoPane : public QWidget, public SlotWindow {
 public:
  explicit VideoPane(QWidget* parent = nullptr);
  ~VideoPane() override;

  // Shows view `view` of `slot` (null: nothing).  The slot is given the
  // pane as that view's window separately (PlayerApi_InitSlots,
  // PlayerSlot_SetWindows).
  void ShowSlot(PlayerSlot* slot, int view = 0);
  // Shows a player that no slot drives (its picture fills the pane).
  void ShowPlayer(CPlayer* player);

  // The pane's messages.  kMsgPresenterFrame is the pane's own; the owner
  // sets handlers for the player's notices (ready, ended, graph event).
  AppMessageSink& Messages() { return messages_; }
  // Where the tick worker's messages go; the pane itself until set.
  void SetParentPort(AppMessagePort port) { parentPort_ = std::move(port); }

  // SlotWindow.
  AppMessagePort Port() const override { return messages_.Port(); }
  AppMessagePort ParentPort() const override;
  // The client area in device pixels.
  Size ClientSize() const override;
  // A point of the pane (logical pixels) in device pixels.
  int ToDevice(int logical) const;

  // Paints so far, and those that showed a frame.
  uint64_t Paints() const { return paints_; }
  uint64_t FramesPainted() const { return framesPainted_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  // What an empty pane shows (no player, or no frame yet): black.
  virtual void PaintEmpty(QPainter& painter);

 private:
  CustomPresenter* Presenter() const;
  // Places the picture in the client area again (after a resize or a move
  // to a screen of another device-pixel ratio).
  void Place();

  AppMessageSink messages_;
  AppMessagePort parentPort_;
  PlayerSlot* slot_ = nullptr;
  int view_ = 0;
  CPlayer* player_ = nullptr;
  uint64_t paints_ = 0;
  uint64_t framesPainted_ = 0;
};

}  // namespace qv
