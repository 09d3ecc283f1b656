// Buttons drawn from four-cell image strips: 0 normal, 1 hover, 2 pressed or
// checked, 3 disabled.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QString>

#include "platform/rect.h"

namespace qv {

class CSkinButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit CSkinButton(QWidget* parent = nullptr);

  // Takes the strip `id` with cells of the size of `rect` (the owner places
  // the button).  A strip that does not load leaves everything as it was.
  bool LoadSkin(int id, const Rect& rect);
  // Same with an image the caller made (four cells side by side).
  bool LoadSkinImage(const QImage& strip, int width, int height);

  void SetLatched(bool on);
  bool Latched() const { return latched_; }
  void SetLoading(bool on) { loading_ = on; }
  bool Loading() const { return loading_; }
  bool Pressed() const { return pressed_; }
  bool Hovered() const { return hovered_; }
  // The cell the button shows now (-1 while loading or without images).
  int CurrentCell() const;
  QImage Cell(int index) const;
  QSize ImageSize() const { return QSize(imageWidth_, imageHeight_); }

  QSize sizeHint() const override { return QSize(imageWidth_, imageHeight_); }

  // Free text fields owners may use.
  QString text1, text2, text3;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;

 private:
  unsigned ItemState() const;

  QImage strip_;
  int imageWidth_ = 0;
  int imageHeight_ = 0;
  bool loading_ = false;
  bool latched_ = false;
  mutable bool pressed_ = false;
  bool hovered_ = false;
};

// A check box whose check image comes from a four-cell strip of t(12)
// squares (strip 217) and whose text stands t(16) to its right.
class CSkinCheckButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit CSkinCheckButton(QWidget* parent = nullptr);

  // The check images: strip `id` at t(12) per cell (the loading flag is set
  // meanwhile).
  bool LoadCheckImages(int id);
  void SetChecked(bool on);
  bool Checked() const { return checked_; }
  void SetLoading(bool on) { loading_ = on; }
  int CurrentCell() const;

  QString text1, text2, text3;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;

 private:
  QImage strip_;
  bool loading_ = false;
  bool checked_ = false;
  bool overCheck_ = false;
};

}  // namespace qv
