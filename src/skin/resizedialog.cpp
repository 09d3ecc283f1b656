#include "skin/resizedialog.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include "platform/apphelpers.h"
#include "platform/qt/monitor.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"

namespace qv {

float CurrentUiScale() { return UiScale > 0.0f ? UiScale : 1.0f; }

QFont SkinAppFont(const QWidget* widget) { return AppFont ? *AppFont : widget->font(); }

// ---------------------------------------------------------------- outline

OutlineWindow::OutlineWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground);
  setWindowTitle(QString());
}

QColor OutlineWindow::FrameColor() { return ToQColor(0xA85D70); }

void OutlineWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(FrameColor());
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void OutlineWindow::resizeEvent(QResizeEvent*) {
  // Only the one-pixel ring belongs to the window.
  const QRegion outer(rect());
  setMask(outer.subtracted(QRegion(rect().adjusted(1, 1, -1, -1))));
}

// ---------------------------------------------------------------- dialog

CResizeDialog::CResizeDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), scale_(CurrentUiScale()) {
  ApplyMetrics();
  setMouseTracking(true);
  clock_.start();
}

void CResizeDialog::ApplyMetrics() {
  const skin::DialogMetrics m = skin::ComputeDialogMetrics(scale_);
  for (int i = 0; i < 3; ++i) panes_[i] = m.panes[i];
  designWidth_ = skin::T(scale_, designPixels_.width);
  designHeight_ = skin::T(scale_, designPixels_.height);
  if (outline_.Window()) setMinimumSize(designWidth_, designHeight_);
}

void CResizeDialog::SetScale(float s) {
  scale_ = s > 0.0f ? s : 1.0f;
  ApplyMetrics();
  OnScaleChanged();
  update();
}

void CResizeDialog::SetDesignSize(Size designPixels) {
  designPixels_ = designPixels;
  ApplyMetrics();
}

CResizeDialog::~CResizeDialog() = default;

Rect CResizeDialog::WindowRect() const { return FromQRect(geometry()); }

Rect CResizeDialog::WorkArea() const {
  const Rect w = WindowRect();
  const MonitorInfo m = CurrentMonitors().Nearest(w.TopLeft());
  return m.workArea.IsEmpty() ? m.area : m.workArea;
}

void CResizeDialog::InitScale(const std::string& section) {
  section_ = section;
  LoadScale();
  const Size s = skin::ScaledWindowSize(designWidth_, designHeight_, scaleX_, scaleY_);
  setGeometry(x(), y(), s.width, s.height);
}

void CResizeDialog::LoadScale() {
  if (section_.empty()) return;
  const Rect work = WorkArea();
  if (float x = 0; skin::ParseScale(ReadDefaultFolderIni(section_, "SCALEX"), x))
    scaleX_ = skin::ClampLoadedScale(x, work.Width(), designWidth_);
  if (float y = 0; skin::ParseScale(ReadDefaultFolderIni(section_, "SCALEY"), y))
    scaleY_ = skin::ClampLoadedScale(y, work.Height(), designHeight_);
}

void CResizeDialog::SaveScale() {
  if (section_.empty()) return;
  WriteDefaultFolderIni(section_, "SCALEX", skin::FormatScale(scaleX_));
  WriteDefaultFolderIni(section_, "SCALEY", skin::FormatScale(scaleY_));
}

void CResizeDialog::CreateFrameWindow() {
  outline_.Create();
  if (scaleX_ <= 1.0f) scaleX_ = 1.0f;
  if (scaleY_ <= 1.0f) scaleY_ = 1.0f;
  setMinimumSize(designWidth_, designHeight_);
  outline_.Window()->hide();
}

void CResizeDialog::SyncFrameWindow() {
  OutlineWindow* o = outline_.Window();
  if (!o) return;
  dragRect_ = WindowRect();
  o->setGeometry(ToQRect(dragRect_));
  o->setWindowFlag(Qt::WindowStaysOnTopHint, false);
  if (o->isVisible()) o->hide();
}

void CResizeDialog::RememberRestored() {
  if (maximised_ || minimised_ || isMinimized() || isMaximized()) return;
  if (skipRememberOnce_) {
    skipRememberOnce_ = false;
    return;
  }
  lastRestored_ = WindowRect();
}

void CResizeDialog::moveEvent(QMoveEvent* e) {
  QDialog::moveEvent(e);
  RememberRestored();
}

void CResizeDialog::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  RememberRestored();
}

void CResizeDialog::UpdateCursorShape(Point global) {
  if (!outline_.Window()) return;
  const int hit = skin::HitTestEdge(WindowRect(), global, scale_, {noResize_, maximised_});
  switch (skin::CursorForHitCode(hit)) {
    case skin::CursorShape::kSizeWE: setCursor(Qt::SizeHorCursor); break;
    case skin::CursorShape::kSizeNS: setCursor(Qt::SizeVerCursor); break;
    case skin::CursorShape::kSizeNWSE: setCursor(Qt::SizeFDiagCursor); break;
    case skin::CursorShape::kSizeNESW: setCursor(Qt::SizeBDiagCursor); break;
    default: setCursor(Qt::ArrowCursor); break;
  }
}

void CResizeDialog::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
  dragStart_ = FromQPoint(e->position().toPoint());
  dragging_ = true;
  // Each press starts its own tracking, so that a release never reuses the
  // state of an earlier drag.
  releaseTracking_ = skin::DragTracking();
  moveTracking_ = skin::DragTracking();
  if (maximised_) return;
  const Point global = FromQPoint(e->globalPosition().toPoint());
  hitCode_ = skin::HitTestEdge(WindowRect(), global, scale_, {noResize_, maximised_});
  dragEdge_ = skin::EdgeFromHitCode(hitCode_);
  OutlineWindow* o = outline_.Window();
  if (hitCode_ == skin::kHitCaption) captionClick_ = true;
  if (dragEdge_ != skin::kEdgeNone && o) {
    dragRect_ = WindowRect();
    o->setGeometry(ToQRect(dragRect_));
    o->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    o->show();
    lastOutlineTick_ = Now();
  } else if (o) {
    o->hide();
  }
  QDialog::mousePressEvent(e);
}

void CResizeDialog::mouseMoveEvent(QMouseEvent* e) {
  const Point global = FromQPoint(e->globalPosition().toPoint());
  UpdateCursorShape(global);
  if (hitCode_ == skin::kHitClient) return QDialog::mouseMoveEvent(e);
  if (hitCode_ == skin::kHitCaption) {
    if (dragging_ && !moveLock_ && !noResize_ && !maximised_) {
      const QPoint delta = e->position().toPoint() - ToQPoint(dragStart_);
      const Rect moved = WindowRect().Offsetted(delta.x(), delta.y());
      if (OutlineWindow* o = outline_.Window()) o->setGeometry(ToQRect(moved));
      move(moved.left, moved.top);
    } else {
      hitCode_ = skin::HitTestEdge(WindowRect(), global, scale_, {noResize_, maximised_});
    }
    return;
  }
  OutlineWindow* o = outline_.Window();
  if (!o || !dragging_) return QDialog::mouseMoveEvent(e);
  const double now = Now();
  if (skin::OutlineDue(now, lastOutlineTick_)) {
    Rect r = skin::GetDragRect(dragRect_, hitCode_, global);
    float sx = scaleX_, sy = scaleY_;
    if (skin::TrackDrag(r, moveTracking_, global, dragEdge_, WorkArea(), designWidth_, designHeight_, sx, sy))
      o->setGeometry(ToQRect(r));
    lastOutlineTick_ = now;
  }
}

void CResizeDialog::BaseRelease() {
  dragging_ = false;
  if (!maximised_) SyncFrameWindow();
}

void CResizeDialog::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QDialog::mouseReleaseEvent(e);
  BaseRelease();
  QDialog::mouseReleaseEvent(e);
}

void CResizeDialog::mouseDoubleClickEvent(QMouseEvent* e) {
  dragging_ = false;
  SyncFrameWindow();
  if (outline_.Window())
    hitCode_ = skin::HitTestEdge(WindowRect(), FromQPoint(e->globalPosition().toPoint()), scale_,
                                 {noResize_, maximised_});
  // Not the base handler: it would take the double click for a new press and
  // start dragging (and show the outline) again.
  e->accept();
}

void CResizeDialog::ApplyDrag(Point cursor) {
  if (!outline_.Window() || maximised_ || noResize_ || dragEdge_ == skin::kEdgeNone) return;
  if (hitCode_ == skin::kHitCaption) return;
  dragRect_ = skin::GetDragRect(dragRect_, hitCode_, cursor);
  releaseTracking_ = skin::DragTracking();
  skin::TrackDrag(dragRect_, releaseTracking_, cursor, dragEdge_, WorkArea(), designWidth_, designHeight_,
                  scaleX_, scaleY_);
  Relayout();
  SaveScale();
}

}  // namespace qv
