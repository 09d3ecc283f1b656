#include "mainwnd/moviedialog.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QWindow>

#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "platform/qt/qtconvert.h"
#include "skin/skingeometry.h"

namespace qv {
namespace {

// The pop-out's own message: forward one painted notice for the paints so far.
constexpr uint32_t kMsgForwardPainted = kWmApp + 0x76D;

constexpr ColorRef kBorderColor = 0x8F8F8F;

}  // namespace

CMovieDialog::CMovieDialog(QWidget* owner) : CSkinDialog(owner) {
  // A tool window of the main window: kept above it and off the task bar;
  // showing it does not take the focus from the main window.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  self_.On(kMsgForwardPainted, [this](uintptr_t, intptr_t) {
    paintNoticeQueued_ = false;
    ++paintedNotices_;
    Notify(mainwnd::kMsgPopoutPainted, NoticeId());
  });
}

CMovieDialog::CMovieDialog(QWidget* owner, DetachedTag) : CMovieDialog(nullptr) { stackOwner_ = owner; }

CMovieDialog::~CMovieDialog() { self_.Detach(); }

void CMovieDialog::showEvent(QShowEvent* e) {
  // Made a tool window of the owner before the window system maps it.
  if (stackOwner_ && windowHandle()) windowHandle()->setTransientParent(stackOwner_->window()->windowHandle());
  CSkinDialog::showEvent(e);
}

void CMovieDialog::OnInitDialog() {
  if (!CloseButton()) CreateCloseButton(kCloseCommand);
  borderPen_ = 2 * mainwnd::T(Scale(), 4);
  update();
}

void CMovieDialog::OnScaleChanged() {
  CSkinDialog::OnScaleChanged();
  if (borderPen_ > 0) borderPen_ = 2 * mainwnd::T(Scale(), 4);
}

void CMovieDialog::InitScale(const std::string& section) {
  const Size design =
      section == kMapSection ? mainwnd::MapPopoutDesignSize(1.0f) : mainwnd::MoviePopoutDesignSize(1.0f);
  SetDesignSize(design);
  CSkinDialog::InitScale(section);
}

void CMovieDialog::SetCaption(UiText id) {
  setWindowTitle(QString::fromUtf8(GetUiText(id)));
  update();
}

void CMovieDialog::Notify(uint32_t message, intptr_t lParam) { owner_.Post(message, 0, lParam); }

void CMovieDialog::OnCommand(int id) {
  if (id != kCloseCommand) return CSkinDialog::OnCommand(id);
  Notify(mainwnd::kMsgPopoutClosed, 0);
  // The dialog's cancel: the pop-out only hides.
  reject();
}

void CMovieDialog::paintEvent(QPaintEvent* e) {
  ++paints_;
  {
    QPainter p(this);
    if (borderPen_ > 0) {
      QPen pen(ToQColor(kBorderColor));
      pen.setWidth(borderPen_);
      pen.setJoinStyle(Qt::MiterJoin);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      p.drawRect(rect());
    }
    DrawCaption(p);
  }
  // Only a paint of the pop-out's own frame (caption strip or border) is
  // told: the owner answers the notice by redrawing the pane inside, and
  // that paint must not come back as another notice.
  const Rect content = mainwnd::PopoutContentRect(FromQSize(size()), Scale());
  const bool framePainted = !e->region().subtracted(QRegion(ToQRect(content))).isEmpty();
  if (framePainted && !paintNoticeQueued_) {
    paintNoticeQueued_ = true;
    self_.Port().Post(kMsgForwardPainted);
  }
}

void CMovieDialog::resizeEvent(QResizeEvent* e) {
  CSkinDialog::resizeEvent(e);
  update();
  if (isVisible()) {
    lastRect_ = WindowRect();
    Notify(mainwnd::kMsgPopoutResized, NoticeId());
  }
}

void CMovieDialog::mouseReleaseEvent(QMouseEvent* e) {
  CSkinDialog::mouseReleaseEvent(e);
  if (e->button() == Qt::LeftButton) Notify(mainwnd::kMsgResetZoomView, mainwnd::kResetZoomRear);
}

void CMovieDialog::mouseDoubleClickEvent(QMouseEvent* e) {
  // The hit code is the press's, before the base looks again.
  if (e->button() == Qt::LeftButton && HitCode() == skin::kHitCaption)
    Notify(mainwnd::kMsgPopoutCaptionDoubleClick, 0);
  CSkinDialog::mouseDoubleClickEvent(e);
}

}  // namespace qv
