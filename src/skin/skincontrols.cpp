#include "skin/skincontrols.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include "platform/numtext.h"
#include "platform/qt/qtconvert.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"
#include "skin/skinids.h"

namespace qv {

namespace {
constexpr int kStateRole = Qt::UserRole + 17;
}

// ---------------------------------------------------------------- list

CSkinListCtrl::CSkinListCtrl(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setMouseTracking(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  LoadStateImages();
}

void CSkinListCtrl::LoadStateImages() {
  const int side = skin::T(CurrentUiScale(), 12);
  QImage strip = RenderSkinImage(kSkinCheck, QSize(side * 4, side));
  if (strip.isNull()) return;
  strip_ = strip;
  setIconSize(QSize(side, side));
  for (int i = 0; i < topLevelItemCount(); ++i) SetStateImage(i, StateImage(i));
}

int CSkinListCtrl::InsertRow(const QStringList& texts, int state) {
  auto* item = new QTreeWidgetItem(this, texts);
  item->setData(0, kStateRole, 0);
  const int row = indexOfTopLevelItem(item);
  SetStateImage(row, state);
  return row;
}

int CSkinListCtrl::StateImage(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->data(0, kStateRole).toInt() : 0;
}

void CSkinListCtrl::SetStateImage(int row, int state) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return;
  const int old = item->data(0, kStateRole).toInt();
  item->setData(0, kStateRole, state);
  const int side = strip_.height();
  if (state >= 1 && state <= 4 && !strip_.isNull())
    item->setIcon(0, QIcon(QPixmap::fromImage(strip_.copy((state - 1) * side, 0, side, side))));
  else
    item->setIcon(0, QIcon());
  if (old != state) emit stateChanged(row, old, state);
}

int CSkinListCtrl::RowAt(const QPoint& pos) const {
  QTreeWidgetItem* item = itemAt(pos);
  return item ? indexOfTopLevelItem(item) : -1;
}

void CSkinListCtrl::UpdateHotItem(int row) {
  if (hot_ >= 0 && hot_ != row && StateImage(hot_) == 2) SetStateImage(hot_, skin::ListStateOnHoverLeave(2));
  hot_ = row;
  if (hot_ >= 0) SetStateImage(hot_, skin::ListStateOnHoverEnter(StateImage(hot_)));
}

void CSkinListCtrl::mouseMoveEvent(QMouseEvent* e) {
  UpdateHotItem(RowAt(e->position().toPoint()));
  QTreeWidget::mouseMoveEvent(e);
}

void CSkinListCtrl::leaveEvent(QEvent* e) {
  UpdateHotItem(-1);
  QTreeWidget::leaveEvent(e);
}

void CSkinListCtrl::mousePressEvent(QMouseEvent* e) {
  QTreeWidget::mousePressEvent(e);
  pressRow_ = e->button() == Qt::LeftButton ? RowAt(e->position().toPoint()) : -1;
}

void CSkinListCtrl::mouseReleaseEvent(QMouseEvent* e) {
  QTreeWidget::mouseReleaseEvent(e);
  if (e->button() != Qt::LeftButton) return;
  // A click (press and release on the same row) toggles the row's check.
  const int row = RowAt(e->position().toPoint());
  const bool click = row == pressRow_;
  pressRow_ = -1;
  hot_ = row;
  if (click && row >= 0) SetStateImage(row, skin::ListStateAfterClick(StateImage(row)));
}

// ---------------------------------------------------------------- progress bar

CSkinProgressBarCtrl::CSkinProgressBarCtrl(QWidget* parent) : QWidget(parent) {}

void CSkinProgressBarCtrl::PlaceBelow(QWidget* parentWindow, QWidget* reference) {
  if (!parentWindow || !reference) return;
  const QPoint pg = parentWindow->mapToGlobal(QPoint(0, 0));
  const QPoint rg = reference->mapToGlobal(QPoint(0, 0));
  const Rect p = Rect::FromSize(pg.x(), pg.y(), parentWindow->width(), parentWindow->height());
  const Rect r = Rect::FromSize(rg.x(), rg.y(), reference->width(), reference->height());
  setGeometry(ToQRect(skin::ProgressPlaceBelow(p, r, CurrentUiScale())));
  update();
}

void CSkinProgressBarCtrl::paintEvent(QPaintEvent*) {
  const int w = width();
  if (w == 0) return;
  const float s = CurrentUiScale();
  const int h = skin::T(s, 22);
  const int f = std::clamp(skin::ProgressFillWidth(w, minimum, maximum, position), 0, w);
  QPainter p(this);
  const QColor blue = ToQColor(0xFF0000), white = ToQColor(0xFFFFFF);
  p.fillRect(QRect(0, 0, f, h), blue);
  p.fillRect(QRect(f, 0, w - f, h), white);
  const QString text = QString::fromStdString(FormatInt(position) + " %");
  const QRect textRect = ToQRect(skin::ProgressTextRect(w, h, s));
  p.setFont(font());
  p.setClipRect(QRect(0, 0, f, h));
  p.setPen(white);
  p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text);
  p.setClipRect(QRect(f, 0, w - f, h));
  p.setPen(blue);
  p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text);
}

// ---------------------------------------------------------------- slider

CSkinSliderCtrl::CSkinSliderCtrl(QWidget* parent) : QWidget(parent) { setCursor(Qt::ArrowCursor); }

bool CSkinSliderCtrl::Create(int controlId, QWidget* parent) {
  id_ = controlId;
  if (!parent || parent->width() == 0) return false;
  setParent(parent);
  setObjectName(QStringLiteral("movie slider"));
  setGeometry(0, parent->height(), parent->width(), skin::T(CurrentUiScale(), 10));
  show();
  return true;
}

bool CSkinSliderCtrl::LoadImages(int playedId, int restId, int thumbId, int thumbDragId) {
  ids_[0] = playedId;
  ids_[1] = restId;
  ids_[2] = thumbId;
  ids_[3] = thumbDragId;
  played_ = SkinImage(playedId);
  rest_ = SkinImage(restId);
  thumb_ = SkinImage(thumbId);
  thumbDrag_ = SkinImage(thumbDragId);
  images_ = {{played_.width(), played_.height()}, {rest_.width(), rest_.height()}, {thumb_.width(), thumb_.height()}};
  update();
  return !played_.isNull() && !rest_.isNull() && !thumb_.isNull() && !thumbDrag_.isNull();
}

void CSkinSliderCtrl::FitHeight() { update(); }

void CSkinSliderCtrl::PaintNow(int pos) {
  position_ = pos;
  if (width() == 0) return;
  repaint();
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*) {
  if (width() == 0) return;
  const skin::SliderBar b =
      skin::ComputeSliderBar(width(), 0, minimum_, maximum_, position_, images_, CurrentUiScale());
  QPainter p(this);
  p.fillRect(rect(), QColor(0x12, 0x15, 0x1b));
  if (!played_.isNull() && !b.playedSource.IsEmpty())
    p.drawImage(ToQRect(b.playedDest), played_, ToQRect(b.playedSource));
  if (!rest_.isNull() && !b.restSource.IsEmpty()) p.drawImage(ToQRect(b.restDest), rest_, ToQRect(b.restSource));
  const QImage& thumb = dragging_ ? thumbDrag_ : thumb_;
  if (!thumb.isNull()) p.drawImage(ToQRect(b.thumbDest), thumb);
}

void CSkinSliderCtrl::Post(uint32_t message) {
  PostAppMessage(parentWidget(), message, static_cast<uintptr_t>(id_), dragPos_);
}

void CSkinSliderCtrl::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const int x = static_cast<int>(e->position().x());
  const float s = CurrentUiScale();
  if (enabled_ && skin::SliderAcceptsX(x, width(), s)) {
    pressOnThumb_ = skin::SliderXOnThumb(x, width(), minimum_, maximum_, position_, images_, s);
    dragPos_ = skin::SliderPosFromX(x, width(), minimum_, maximum_, dragPos_);
    dragging_ = true;
    Post(kMsgSliderDown);
  }
}

void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* e) {
  const int x = static_cast<int>(e->position().x());
  if (enabled_ && dragging_ && skin::SliderAcceptsX(x, width(), CurrentUiScale()) && static_cast<int64_t>(maximum_) - minimum_ + 1 > 0) {
    dragPos_ = skin::SliderPosFromX(x, width(), minimum_, maximum_, dragPos_);
    Post(kMsgSliderMove);
  } else if (!enabled_ && dragging_) {
    dragging_ = false;
  }
}

void CSkinSliderCtrl::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  if (enabled_ && dragging_) {
    dragging_ = false;
    Post(kMsgSliderUp);
    update();
  }
}

}  // namespace qv
