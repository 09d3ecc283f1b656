#include "mainwnd/moviestatic.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleHints>

#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "platform/qt/qtconvert.h"
#include "player/playerapi.h"
#include "player/playermessages.h"
#include "skin/fonts.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

// The click machine's timers are the pane's window timers.
class CMovieStatic::Timers : public mainwnd::PaneTimers {
 public:
  explicit Timers(CMovieStatic* pane) : pane_(pane) {}
  void Start(int id, int ms) override { pane_->timers_->Set(id, ms); }
  void Kill(int id) override { pane_->timers_->Kill(id); }

 private:
  CMovieStatic* pane_;
};

CMovieStatic::CMovieStatic(QWidget* parent, TimerClock* clock, int doubleClickMs)
    : VideoPane(parent),
      doubleClickMs_(doubleClickMs > 0 ? doubleClickMs : QGuiApplication::styleHints()->mouseDoubleClickInterval()),
      timerAdapter_(std::make_unique<Timers>(this)),
      timers_(std::make_unique<WindowTimers>(this, [this](int id) { OnTimer(id); }, clock)) {
  SetCameraIndex(-1);
  Messages().On(kMsgPlayerPresentationEnded, [this](uintptr_t w, intptr_t) {
    if (owner_) owner_->OnPanePresentationEnded(w, camera_);
  });
  Messages().On(kMsgPlayerTopologyReady, [this](uintptr_t w, intptr_t) {
    if (owner_) owner_->OnPaneTopologyReady(w, camera_);
  });
}

CMovieStatic::~CMovieStatic() {
  // The timers call back into the machine: stop them first.
  timers_->KillAll();
  clicks_.reset();
}

void CMovieStatic::SetCameraIndex(int camera) {
  camera_ = camera;
  timers_->Kill(mainwnd::kTimerPaneDown);
  timers_->Kill(mainwnd::kTimerPaneUp);
  clicks_ = std::make_unique<mainwnd::PaneClickMachine>(*timerAdapter_, camera_, doubleClickMs_);
  update();
}

void CMovieStatic::SetHandCursor(bool on) {
  handCursor_ = on;
  if (!on) {
    unsetCursor();
    return;
  }
  // Cursor 191 at t(32) square, its hot spot in the middle.
  const int side = mainwnd::T(CurrentUiScale(), 32);
  const QImage hand = RenderSkinImage(kSkinHandCursor, QSize(side, side));
  if (hand.isNull()) {
    setCursor(Qt::PointingHandCursor);
  } else {
    setCursor(QCursor(QPixmap::fromImage(hand), side / 2, side / 2));
  }
}

void CMovieStatic::SetBlackOut(bool on) {
  if (blackOut_ == on) return;
  blackOut_ = on;
  update();
}

mainwnd::PaneFill CMovieStatic::Fill() const {
  mainwnd::PaneFillInput in;
  in.camera = camera_;
  in.blackOut = blackOut_;
  in.frontOpen = PlayerApi_GetState(0) != kSlotClosed;
  in.rearOpen = PlayerApi_GetState(1) != kSlotClosed;
  return mainwnd::DecidePaneFill(in);
}

void CMovieStatic::paintEvent(QPaintEvent* event) {
  const mainwnd::PaneFill fill = Fill();
  if (fill == mainwnd::PaneFill::kPicture) {
    VideoPane::paintEvent(event);
    return;
  }
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (fill != mainwnd::PaneFill::kNoFrontText && fill != mainwnd::PaneFill::kNoRearText) return;
  const UiText text = fill == mainwnd::PaneFill::kNoRearText ? UiText::NoRearMovie : UiText::NoFrontMovie;
  if (Font13pt) p.setFont(*Font13pt);
  p.setPen(ToQColor(0x0000FF));
  p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, QString::fromUtf8(GetUiText(text)));
}

Point CMovieStatic::DevicePoint(const QPoint& logical) const {
  return Point{ToDevice(logical.x()), ToDevice(logical.y())};
}

void CMovieStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return VideoPane::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  clicks_->OnButtonDown(DevicePoint(event->position().toPoint()));
  event->accept();
}

void CMovieStatic::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return VideoPane::mouseReleaseEvent(event);
  clicks_->OnButtonUp(DevicePoint(event->position().toPoint()));
  event->accept();
}

void CMovieStatic::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return VideoPane::mouseDoubleClickEvent(event);
  mainwnd::PaneOwnerState state;
  if (owner_) state = owner_->PaneOwnerStateNow();
  state.handCursor = handCursor_;
  Apply(clicks_->OnDoubleClick(state));
  event->accept();
}

void CMovieStatic::contextMenuEvent(QContextMenuEvent* event) {
  if (owner_) owner_->OnPaneContextMenu(FromQPoint(event->globalPos()), this);
  event->accept();
}

void CMovieStatic::OnTimer(int id) { Apply(clicks_->OnTimer(id)); }

void CMovieStatic::Apply(const mainwnd::PaneClickEffect& effect) {
  // Qt grabs the mouse only while a button is down and lets go on release:
  // there is no capture left to release.
  if (effect.zoomAtPoint && owner_) owner_->OnPaneZoomClick(camera_, effect.point);
  if (effect.toggleFullScreen && owner_) owner_->ToggleFullScreen(effect.fromPane);
}

void SetZoomMode(bool on, CMovieStatic* frontPane, CMovieStatic* rearPane, IZoomModeHost& host) {
  for (CMovieStatic* pane : {frontPane, rearPane}) {
    if (pane) pane->SetHandCursor(on);
  }
  host.SetBrowserZoomMode(on);
  host.RepaintInformationBand();
  host.ShowBrowserUnlessFullScreen();
  if (!on) {
    host.ResetPaneViews();
    host.RedrawVideoViews();
  }
}

}  // namespace qv
