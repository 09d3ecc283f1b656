#include "skin/skinbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/qt/qtconvert.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"
#include "skin/skingeometry.h"

namespace qv {

CSkinButton::CSkinButton(QWidget* parent) : QAbstractButton(parent) {
  setAttribute(Qt::WA_Hover);
  setFocusPolicy(Qt::NoFocus);
}

bool CSkinButton::LoadSkin(int id, const Rect& rect) {
  const SkinImageInfo* info = FindSkinImage(id);
  if (!info || rect.IsEmpty()) return false;
  const QImage strip = RenderSkinImage(id, QSize(rect.Width() * info->cells, rect.Height()));
  if (strip.isNull()) return false;
  return LoadSkinImage(strip, rect.Width(), rect.Height());
}

bool CSkinButton::LoadSkinImage(const QImage& strip, int width, int height) {
  if (strip.isNull() || width <= 0 || height <= 0) return false;
  loading_ = true;
  strip_ = strip;
  imageWidth_ = width;
  imageHeight_ = height;
  loading_ = false;
  update();
  return true;
}

void CSkinButton::SetLatched(bool on) {
  latched_ = on;
  update();
}

unsigned CSkinButton::ItemState() const {
  unsigned state = 0;
  if (!isEnabled()) state |= skin::kStateDisabled;
  if (isDown()) state |= skin::kStateSelected;
  if (isCheckable() && isChecked()) state |= skin::kStateChecked;
  return state;
}

int CSkinButton::CurrentCell() const {
  if (loading_ || strip_.isNull()) return -1;
  return skin::SkinButtonCell(ItemState(), latched_, hovered_, pressed_);
}

QImage CSkinButton::Cell(int index) const {
  if (strip_.isNull() || imageWidth_ <= 0) return QImage();
  return strip_.copy(index * imageWidth_, 0, imageWidth_, imageHeight_);
}

void CSkinButton::paintEvent(QPaintEvent*) {
  const int cell = CurrentCell();
  if (cell < 0) return;
  QPainter p(this);
  p.drawImage(QRect(0, 0, imageWidth_, imageHeight_), strip_,
              QRect(cell * imageWidth_, 0, imageWidth_, imageHeight_));
}

void CSkinButton::enterEvent(QEnterEvent* e) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(e);
}

void CSkinButton::leaveEvent(QEvent* e) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(e);
}

// Keys do nothing on a skin button.
void CSkinButton::keyPressEvent(QKeyEvent* e) { e->accept(); }
void CSkinButton::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

// ---------------------------------------------------------------- check button

CSkinCheckButton::CSkinCheckButton(QWidget* parent) : QAbstractButton(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
}

bool CSkinCheckButton::LoadCheckImages(int id) {
  const SkinImageInfo* info = FindSkinImage(id);
  const int side = skin::T(CurrentUiScale(), 12);
  if (!info || side <= 0) return false;
  loading_ = true;
  QImage strip = RenderSkinImage(id, QSize(side * info->cells, side));
  if (!strip.isNull()) strip_ = strip;
  loading_ = false;
  update();
  return !strip.isNull();
}

void CSkinCheckButton::SetChecked(bool on) {
  checked_ = on;
  update();
}

int CSkinCheckButton::CurrentCell() const {
  if (loading_ || strip_.isNull()) return -1;
  unsigned state = 0;
  if (!isEnabled()) state |= skin::kStateDisabled;
  if (isDown()) state |= skin::kStateSelected;
  const int cell = skin::CheckImageIndex(state, checked_);
  if (cell == 0 && overCheck_) return 1;
  return cell;
}

void CSkinCheckButton::paintEvent(QPaintEvent*) {
  const int cell = CurrentCell();
  if (cell < 0) return;
  const float s = CurrentUiScale();
  const QRect check = ToQRect(skin::CheckImageRect(s));
  QPainter p(this);
  const int side = strip_.height();
  p.drawImage(QRect(check.x(), check.y(), side, side), strip_, QRect(cell * side, 0, side, side));
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(ToQRect(skin::CheckTextRect(FromQRect(rect()), s)), Qt::AlignLeft | Qt::AlignTop, text());
}

void CSkinCheckButton::mouseMoveEvent(QMouseEvent* e) {
  const bool over = ToQRect(skin::CheckImageRect(CurrentUiScale())).contains(e->position().toPoint());
  if (over != overCheck_) {
    overCheck_ = over;
    update();
  }
  QAbstractButton::mouseMoveEvent(e);
}

void CSkinCheckButton::leaveEvent(QEvent* e) {
  overCheck_ = false;
  update();
  QAbstractButton::leaveEvent(e);
}

void CSkinCheckButton::keyPressEvent(QKeyEvent* e) { e->accept(); }
void CSkinCheckButton::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

}  // namespace qv
