// The base of every borderless window: a design size times the display
// scale, a per-axis scale kept in the settings file, a caption strip that
// moves the window and borders that resize it through an outline window.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <string>

#include "platform/rect.h"
#include "platform/uiscale.h"
#include "skin/skingeometry.h"

namespace qv {

// The thin coloured frame that follows the cursor during a border drag: a
// top-level, always-on-top window that takes no input and shows only a
// one-pixel ring.
class OutlineWindow : public QWidget {
  Q_OBJECT
 public:
  OutlineWindow();
  static QColor FrameColor();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
};

// Owns the outline window; destroying it destroys the window.
class CResizeFrameWindow {
 public:
  OutlineWindow* Window() const { return window_.get(); }
  void Create() { window_ = std::make_unique<OutlineWindow>(); }

 private:
  std::unique_ptr<OutlineWindow> window_;
};

class CResizeDialog : public QDialog {
  Q_OBJECT
 public:
  // The window takes the display scale in use (1.0 before it is known) and
  // the main window's design size; both may be given again later.
  explicit CResizeDialog(QWidget* parent = nullptr);
  ~CResizeDialog() override;

  // Takes a new display scale: the design and pane sizes, the edge zones and
  // what the derived window places by the scale (OnScaleChanged) follow it.
  // The window's own size is left to its owner (InitScale).
  void SetScale(float s);
  // The design size in design pixels; the window keeps it times its scale.
  void SetDesignSize(Size designPixels);

  // Lays the window out for its current scale (after a resize).
  virtual void Relayout() {}
  // Remembers the settings section, loads the saved scale and sizes the
  // window to design size x scale at its current top-left corner.
  virtual void InitScale(const std::string& section);

  // Reads the saved scales, each held between 1.0 and what the work area
  // allows; a missing or unusable value keeps the scale as it is.
  void LoadScale();
  void SaveScale();
  // Makes the outline window: from then on the window resizes by its borders.
  void CreateFrameWindow();
  // Puts the outline over the window and hides it.
  void SyncFrameWindow();

  // The window rectangle in screen coordinates.
  Rect WindowRect() const;
  // The work area of the monitor nearest the window's top-left corner.
  Rect WorkArea() const;

  float Scale() const { return scale_; }
  int DesignWidth() const { return designWidth_; }
  int DesignHeight() const { return designHeight_; }
  float ScaleX() const { return scaleX_; }
  float ScaleY() const { return scaleY_; }
  void SetScales(float x, float y) {
    scaleX_ = x;
    scaleY_ = y;
  }
  float ThirdScale() const { return thirdScale_; }
  void SetThirdScale(float v) { thirdScale_ = v; }
  Size PaneSize(int layout) const { return panes_[layout]; }
  const std::string& Section() const { return section_; }

  // Flags the main window sets.
  void SetMoveLock(bool on) { moveLock_ = on; }
  void SetNoResize(bool on) { noResize_ = on; }
  void SetMaximised(bool on) { maximised_ = on; }
  void SetMinimised(bool on) { minimised_ = on; }
  void SetSkipRememberOnce(bool on) { skipRememberOnce_ = on; }
  bool Maximised() const { return maximised_; }
  int OwnerFlag() const { return ownerFlag_; }
  void SetOwnerFlag(int v) { ownerFlag_ = v; }
  // Set when a press lands in the caption strip; the owner clears it.
  bool TakeCaptionClick() {
    const bool was = captionClick_;
    captionClick_ = false;
    return was;
  }

  bool Dragging() const { return dragging_; }
  int HitCode() const { return hitCode_; }
  int DragEdgeCode() const { return dragEdge_; }
  Rect DragRect() const { return dragRect_; }
  Rect LastRestored() const { return lastRestored_; }
  OutlineWindow* Outline() const { return outline_.Window(); }

 protected:
  // Takes the scale from the released rectangle, lays out and saves.
  void ApplyDrag(Point cursor);
  void ClearDragEdge() { dragEdge_ = skin::kEdgeNone; }
  void SetDragRect(const Rect& r) { dragRect_ = r; }

  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  // The base's release handling (without applying a resize).
  void BaseRelease();
  // Called by SetScale once the new metrics are in place.
  virtual void OnScaleChanged() {}

 private:
  double Now() const { return clock_.elapsed() / 1000.0; }
  void RememberRestored();
  void UpdateCursorShape(Point global);
  void ApplyMetrics();

  float scale_;
  Size designPixels_{kDesignWidth, kDesignHeight};
  int designWidth_ = 0;
  int designHeight_ = 0;
  float scaleX_ = 1.0f;
  float scaleY_ = 1.0f;
  float thirdScale_ = -1.0f;
  Rect lastRestored_;
  Rect dragRect_;
  Size panes_[3];
  bool dragging_ = false;
  bool moveLock_ = false;
  bool noResize_ = false;
  bool maximised_ = false;
  bool minimised_ = false;
  int ownerFlag_ = 0;
  bool skipRememberOnce_ = false;
  int hitCode_ = skin::kHitNowhere;
  int dragEdge_ = skin::kEdgeNone;
  CResizeFrameWindow outline_;
  Point dragStart_;
  std::string section_;
  bool captionClick_ = false;
  double lastOutlineTick_ = 0;
  skin::DragTracking releaseTracking_;
  skin::DragTracking moveTracking_;
  QElapsedTimer clock_;
};

// The display scale in use: UiScale once it is set, 1.0 before.
float CurrentUiScale();
// The shared 10-point font once it exists, else the widget's own.
QFont SkinAppFont(const QWidget* widget);

}  // namespace qv
