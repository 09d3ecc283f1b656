// The main window's own frame: full screen, maximise, minimise and restore
// together with the pop-outs, the fit to the monitor, the caption's mouse
// handling and the window's paint.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "browser/filercontainerdlg.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/tesseldlg.h"
#include "panels/infodlg.h"
#include "platform/apphelpers.h"
#include "platform/qt/monitor.h"
#include "platform/qt/qtconvert.h"
#include "player/playerslot.h"
#include "player/slotstate.h"
#include "skin/fonts.h"
#include "skin/logodlg.h"
#include "skin/ninepatch.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"

namespace qv {

using namespace mainwnd;

namespace {
constexpr int kBackgroundImage = 129;
}

// ---------------------------------------------------------------- full screen

void CtesselDlg::ToggleFullScreen(bool fromPane) {
  if (!fullScreen_ && PlayerApi_GetPosition(2) + 10 >= PlayerApi_GetDuration(2)) return;
  if (fromPane) {
    fullScreen_ = !fullScreen_;
  } else {
    // The player's own request only ever leaves, and only without a pair.
    if (!fullScreen_ || PlayerApi_GetState(selector_) != kSlotClosed) return;
    fullScreen_ = false;
  }
  ApplyFullScreen();
}

void CtesselDlg::ApplyFullScreen() {
  if (fullScreen_) {
    maximiseAfterFullScreen_ = Maximised();
    ShowNormalChildren(false);
    if (browser_) browser_->SetHidden(true);
    ApplyLogoAndMapRule();
    const MonitorInfo m = CurrentMonitors().Nearest(WindowRect().TopLeft());
    const Rect area = m.area.IsEmpty() ? WindowRect() : m.area;
    setGeometry(ToQRect(area));
    panes_[0]->setGeometry(0, 0, area.Width(), area.Height());
    panes_[0]->raise();
    panes_[0]->setFocus();
    RedrawViews();
    mapPopout_->hide();
    moviePopout_->hide();
    raise();
    return;
  }

  hide();
  if (browser_) browser_->SetHidden(false);
  keepAspect_ = true;
  SetSlotAspect(0, true);
  PlayerApi_RefreshFrame(0);
  WriteDefaultFolderIni(kIniDisplay, kIniAspect, kIniOn);
  if (MapPopoutOn() && mapPopout_) mapPopout_->show();
  ResetView(frontPaneIndex_);
  if (maximiseAfterFullScreen_) {
    SetMaximised(false);
    Maximise();
  } else {
    const Rect drag = DragRect();
    setGeometry(origin_.left, origin_.top, drag.Width(), drag.Height());
    ShowNormalChildren(true);
    LayoutChildren();
  }
  showNormal();
  moviePopout_->show();
  // The button was left alone in full screen: it shows the pair's state again.
  SetPlayButtonState(PlayerApi_GetState(selector_) == kSlotPlaying);
  update();
}

// ---------------------------------------------------------------- size states

void CtesselDlg::Maximise() {
  if (Maximised()) return;
  SetMaximised(true);
  if (infoDlg_) infoDlg_->SetHorizontalFactor(kInfoMaximisedFactor);
  ResetView(frontPaneIndex_);
  FitMaximised();
}

void CtesselDlg::FitMaximised() {
  if (fitting_) return;
  fitting_ = true;
  // Qt gives the work area without the panels, so no edge is given up here
  // for a panel that hides itself.
  const Rect work = WorkArea();
  if (OutlineWindow* o = Outline()) o->setGeometry(ToQRect(work));
  setGeometry(ToQRect(work));
  LayoutChildren();
  fitting_ = false;
}

void CtesselDlg::Restore() {
  if (isMinimized()) showNormal();
  if (!Maximised()) return;
  SetMaximised(false);
  if (infoDlg_) infoDlg_->SetHorizontalFactor(1.0f);
  ResetView(frontPaneIndex_);
  Rect r = LastRestored();
  if (r.IsEmpty()) r = Rect::FromSize(origin_.left, origin_.top, DesignWidth(), DesignHeight());
  setGeometry(ToQRect(r));
  LayoutChildren();
  UpdateMaximiseTooltip();
  // The pop-outs keep their places and come to the top.
  for (CMovieDialog* p : {mapPopout_.get(), moviePopout_.get()}) {
    if (p && p->isVisible()) p->raise();
  }
}

void CtesselDlg::Minimise() { showMinimized(); }

void CtesselDlg::changeEvent(QEvent* e) {
  CResizeDialog::changeEvent(e);
  if (e->type() != QEvent::WindowStateChange || closing_) return;
  // Tool windows have no minimised state of their own: they hide with the
  // main window and come back with it.
  if (isMinimized()) {
    SetMinimised(true);
    popoutsShown_[0] = mapPopout_->isVisible();
    popoutsShown_[1] = moviePopout_->isVisible();
    mapPopout_->hide();
    moviePopout_->hide();
  } else if (auto* change = static_cast<QWindowStateChangeEvent*>(e);
             change->oldState() & Qt::WindowMinimized) {
    SetMinimised(false);
    if (popoutsShown_[0]) mapPopout_->show();
    if (popoutsShown_[1]) moviePopout_->show();
  }
}

void CtesselDlg::RefitToMonitor() {
  if (!panes_[0]) return;
  const Rect work = WorkArea();
  if (!MonitorRefitDue(lastFitScale_, workArea_, work)) return;
  workArea_ = work;
  RebuildScaledResources();
  const Size size = MainWindowSize(S(), ScaleX(), ScaleY());
  const Rect r = WindowRect();
  setGeometry(r.left, r.top, size.width, size.height);
  SetDragRect(WindowRect());
  setUpdatesEnabled(false);
  LayoutChildren();
  setUpdatesEnabled(true);
  ResetView(frontPaneIndex_);
  update();
  // The pop-outs keep their places and take their sizes for the new scale.
  const Size movie = PopoutWindowSize(MoviePopoutDesignSize(S()), moviePopout_->ScaleX(), moviePopout_->ScaleY());
  moviePopout_->resize(movie.width, movie.height);
  panes_[1]->setGeometry(ToQRect(PopoutContentRect(movie, S())));
  if (moviePopout_->isHidden() && !fullScreen_) moviePopout_->show();
  const Size map = PopoutWindowSize(MapPopoutDesignSize(S()), mapPopout_->ScaleX(), mapPopout_->ScaleY());
  mapPopout_->resize(map.width, map.height);
  const QRect content = ToQRect(PopoutContentRect(map, S()));
  if (QWidget* m = mapWrap_.Dialog()) m->setGeometry(content);
  if (logo_) logo_->setGeometry(content);
  lastFitScale_ = CurrentUiScale();
}

// ---------------------------------------------------------------- mouse

void CtesselDlg::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    pressPoint_ = FromQPoint(e->globalPosition().toPoint());
    const std::optional<int> hit =
        MainWindowHitTest(WindowRect(), pressPoint_, S(), {Outline() != nullptr, fullScreen_, Maximised()});
    pressOnCaption_ = hit && *hit == skin::kHitCaption;
    // A maximised window is dragged from its caption only once restored.
    if (Maximised() && !pressOnCaption_) {
      const Rect w = WindowRect();
      pressOnCaption_ = pressPoint_.y < w.top + T(S(), 27) && pressPoint_.y >= w.top;
    }
  }
  CResizeDialog::mousePressEvent(e);
}

void CtesselDlg::mouseMoveEvent(QMouseEvent* e) {
  const Point cursor = FromQPoint(e->globalPosition().toPoint());
  if (Maximised() && pressOnCaption_ && (e->buttons() & Qt::LeftButton) &&
      DragRestoreDue(pressPoint_, cursor, S())) {
    // Restored under the cursor, at the same share of the caption's width,
    // and from there dragged by the caption as any press on it would be.
    const Rect max = WindowRect();
    Restore();
    pressOnCaption_ = false;
    const Rect r = WindowRect();
    const int64_t share = max.Width() > 0 ? int64_t(pressPoint_.x - max.left) * r.Width() / max.Width() : 0;
    move(cursor.x - static_cast<int>(share), cursor.y - (pressPoint_.y - max.top));
    const QPointF local = e->globalPosition() - QPointF(pos());
    QMouseEvent press(QEvent::MouseButtonPress, local, e->globalPosition(), Qt::LeftButton, Qt::LeftButton,
                      e->modifiers());
    CResizeDialog::mousePressEvent(&press);
    return;
  }
  CResizeDialog::mouseMoveEvent(e);
}

void CtesselDlg::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return CResizeDialog::mouseReleaseEvent(e);
  BaseRelease();
  ApplyDrag(FromQPoint(e->globalPosition().toPoint()));
  pressOnCaption_ = false;
  if (!Maximised() && !fullScreen_) timers_.Set(kTimerAfterMove, AfterMoveMs(QApplication::doubleClickInterval()));
}

void CtesselDlg::mouseDoubleClickEvent(QMouseEvent* e) {
  CResizeDialog::mouseDoubleClickEvent(e);
  timers_.Kill(kTimerAfterMove);
  const std::optional<int> hit = MainWindowHitTest(WindowRect(), FromQPoint(e->globalPosition().toPoint()), S(),
                                                   {Outline() != nullptr, fullScreen_, Maximised()});
  const Rect w = WindowRect();
  const bool caption = (hit && *hit == skin::kHitCaption) ||
                       (Maximised() && e->globalPosition().y() < w.top + T(S(), 27));
  if (!caption || fullScreen_) return;
  if (Maximised()) {
    Restore();
  } else {
    Maximise();
  }
}

void CtesselDlg::moveEvent(QMoveEvent* e) {
  if (fullScreen_) return QWidget::moveEvent(e);
  CResizeDialog::moveEvent(e);
  origin_ = WindowRect();
  if (!Maximised() && DragEdgeCode() == skin::kEdgeNone && !isMinimized()) SetDragRect(WindowRect());
}

void CtesselDlg::resizeEvent(QResizeEvent* e) {
  // The full-screen size is never remembered as the restored one.
  if (fullScreen_) return QWidget::resizeEvent(e);
  CResizeDialog::resizeEvent(e);
  if (isMinimized()) return;
  // Whatever asked for the new size (the corner drag, a maximise, the window
  // manager's tiling), the children follow it, and a later drag starts from it.
  if (!Maximised() && DragEdgeCode() == skin::kEdgeNone) SetDragRect(WindowRect());
  LayoutChildren();
}

// ---------------------------------------------------------------- paint

void CtesselDlg::paintEvent(QPaintEvent*) {
  if (isMinimized()) return;
  QPainter p(this);
  if (fullScreen_) {
    p.fillRect(rect(), Qt::black);
    return;
  }
  const QImage background = images_.Image(kBackgroundImage).isNull() ? SkinImage(kBackgroundImage)
                                                                     : images_.Image(kBackgroundImage);
  p.fillRect(rect(), QColor(0x3F, 0x3F, 0x3F));
  for (const ImageTile& t : NinePatchTiles(FromQSize(background.size()), ClientRect(), S()))
    p.drawImage(ToQRect(t.target), background, ToQRect(t.source));
  p.setPen(Qt::white);
  p.setFont(SkinAppFont(this));
  const int left = T(S(), 4) + T(S(), 6), top = T(S(), 4);
  p.drawText(QRect(QPoint(left, top), QPoint(T(S(), 400) - 1, T(S(), 30) - 1)), Qt::AlignLeft | Qt::AlignTop,
             windowTitle());
  // The information band along the bottom: rate, date and time, speed.
  if (infoDlg_) {
    infoDlg_->DrawBandBackground(p, ClientRect());
    infoDlg_->DrawBandInfo(p, ClientRect());
  }
}

void CtesselDlg::RepaintInformationBand(bool always) {
  if (fullScreen_ || !infoDlg_) return;
  // The tick comes 33 times a second; the band's texts change far less often.
  QString text = infoDlg_->BandText();
  if (!always && text == bandText_) return;
  bandText_ = std::move(text);
  update(ToQRect(InfoBandRect(ClientRect(), S())));
}

}  // namespace qv
