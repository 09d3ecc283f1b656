// The two pop-out windows and the two video panes as the main window makes
// them: a skinned tool window owned by the main window, and a video pane
// that relays its player's notices to the main window by direct call.
//
// Window thread only.  Kept small and apart so that richer pop-outs and
// panes (context menu, click machine, placeholders) can take their place
// without touching the main window's code beyond these two names.
#pragma once

#include "player/videopane.h"
#include "skin/skindialog.h"

namespace qv {

class CtesselDlg;

class PopoutWindow : public CSkinDialog {
  Q_OBJECT
 public:
  // A hidden tool window of `owner` with its caption and close button.
  explicit PopoutWindow(CtesselDlg* owner);
  void SetCaption(const char* text);

 protected:
  void OnCommand(int id) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  CtesselDlg* owner_;
};

class PaneWindow : public VideoPane {
  Q_OBJECT
 public:
  PaneWindow(CtesselDlg* owner, int cameraIndex, QWidget* parent);
  int CameraIndex() const { return camera_; }

 protected:
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  CtesselDlg* owner_;
  int camera_;
};

}  // namespace qv
