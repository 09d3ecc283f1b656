// Three small skinned controls: a check list, a flat progress bar with a
// centred percentage and the bitmap slider of the main window.
#pragma once

#include <QImage>
#include <QTreeWidget>
#include <QWidget>

#include "platform/qt/appmessage.h"
#include "platform/rect.h"
#include "skin/skingeometry.h"

namespace qv {

// What the slider posts to its parent: control id / drag position.
enum SliderMessage : uint32_t {
  kMsgSliderMove = kWmApp + 0x65,  // the thumb is being dragged
  kMsgSliderDown = kWmApp + 0x66,  // the slider was pressed
  kMsgSliderUp = kWmApp + 0x67,    // released after a press
};

// A report list whose rows carry a check image (state 1 unchecked, 2
// unchecked under the cursor, 3 checked; 0 none) from strip 217.  A click
// toggles the row; every change of a row's state is announced by
// stateChanged, which stands in for the list's item-changed notice.
class CSkinListCtrl : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CSkinListCtrl(QWidget* parent = nullptr);

  // Appends a row with the given texts and state image; answers its index.
  int InsertRow(const QStringList& texts, int state);
  int StateImage(int row) const;
  void SetStateImage(int row, int state);
  int HotItem() const { return hot_; }
  // The row under a point of the viewport, -1 for none.
  int RowAt(const QPoint& viewportPos) const;
  // Reloads the check images for the current scale.
  void LoadStateImages();

 signals:
  void stateChanged(int row, int oldState, int newState);

 protected:
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  void UpdateHotItem(int row);

  int hot_ = -1;
  int pressRow_ = -1;
  QImage strip_;
};

// The progress bar of file operations: blue fill, white rest, the position
// as "N %" centred, white over the fill and blue over the rest.
class CSkinProgressBarCtrl : public QWidget {
  Q_OBJECT
 public:
  explicit CSkinProgressBarCtrl(QWidget* parent = nullptr);

  int minimum = 0;
  int maximum = 0;
  int position = 0;

  // Puts the bar across the bottom of `reference` (both windows' rectangles
  // in screen coordinates; the bar is a child of `parentWindow`).
  void PlaceBelow(QWidget* parentWindow, QWidget* reference);

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// The slider: four images (played part, rest, thumb, thumb while dragging);
// presses, drags and releases are posted to the parent window as
// kMsgSliderDown, kMsgSliderMove and kMsgSliderUp.
// The slider never moves its own thumb: the parent answers with PaintNow.
class CSkinSliderCtrl : public QWidget {
  Q_OBJECT
 public:
  explicit CSkinSliderCtrl(QWidget* parent = nullptr);

  // Stores the id and places the slider below the parent's client area;
  // false (nothing made) when the parent has no width.
  bool Create(int controlId, QWidget* parent);
  // Loads the four images by id (played, rest, thumb, thumb while dragging).
  bool LoadImages(int playedId, int restId, int thumbId, int thumbDragId);
  // Renders the images again for the current scale.
  void FitHeight();
  // Stores the position and draws at once.
  void PaintNow(int pos);

  void SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
  }
  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  int Position() const { return position_; }
  int DragPosition() const { return dragPos_; }
  bool Dragging() const { return dragging_; }
  int ControlId() const { return id_; }
  // The mouse is ignored while the slider is disabled this way.
  void SetSliderEnabled(bool on) { enabled_ = on; }
  bool SliderEnabled() const { return enabled_; }
  // Whether the last accepted press was on the thumb (else on the track).
  bool PressOnThumb() const { return pressOnThumb_; }
  skin::SliderImages Images() const { return images_; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void Post(uint32_t message);

  int ids_[4] = {0, 0, 0, 0};
  QImage played_, rest_, thumb_, thumbDrag_;
  skin::SliderImages images_;
  bool dragging_ = false;
  int minimum_ = 0;
  int maximum_ = 0;
  int position_ = 0;
  int dragPos_ = 0;
  int id_ = 0;
  bool enabled_ = true;
  bool pressOnThumb_ = false;
};

}  // namespace qv
