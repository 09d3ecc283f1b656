#include "mainwnd/popoutseam.h"

#include <QMouseEvent>
#include <QPainter>

#include "mainwnd/mainmessages.h"
#include "mainwnd/tesseldlg.h"
#include "platform/uiscale.h"
#include "player/playermessages.h"

namespace qv {

namespace {
constexpr int kPopoutClose = 23;
}

PopoutWindow::PopoutWindow(CtesselDlg* owner) : CSkinDialog(owner), owner_(owner) {
  // A tool window of the main window: it stays with it and has no task-bar
  // entry of its own.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  CreateCloseButton(kPopoutClose);
  hide();
}

void PopoutWindow::SetCaption(const char* text) {
  setWindowTitle(QString::fromUtf8(text));
  update();
}

void PopoutWindow::OnCommand(int id) {
  if (id != kPopoutClose) return CSkinDialog::OnCommand(id);
  owner_->Port().Post(mainwnd::kMsgPopoutClosed);
  hide();
}

void PopoutWindow::paintEvent(QPaintEvent* e) {
  CSkinDialog::paintEvent(e);
  {
    QPainter p(this);
    p.setPen(QPen(QColor(0x8F, 0x8F, 0x8F), 2 * ScaleInt(4, Scale())));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect());
  }
  owner_->Port().Post(mainwnd::kMsgPopoutPainted, 0, reinterpret_cast<intptr_t>(this));
}

void PopoutWindow::resizeEvent(QResizeEvent* e) {
  CSkinDialog::resizeEvent(e);
  if (isVisible()) owner_->Port().Post(mainwnd::kMsgPopoutResized, 0, reinterpret_cast<intptr_t>(this));
}

void PopoutWindow::mouseReleaseEvent(QMouseEvent* e) {
  CSkinDialog::mouseReleaseEvent(e);
  if (e->button() == Qt::LeftButton) owner_->Port().Post(mainwnd::kMsgResetZoomView, 0, mainwnd::kResetZoomRear);
}

void PopoutWindow::mouseDoubleClickEvent(QMouseEvent* e) {
  const bool caption = HitCode() == skin::kHitCaption;
  CSkinDialog::mouseDoubleClickEvent(e);
  if (caption) owner_->Port().Post(mainwnd::kMsgPopoutCaptionDoubleClick);
}

PaneWindow::PaneWindow(CtesselDlg* owner, int cameraIndex, QWidget* parent)
    : VideoPane(parent), owner_(owner), camera_(cameraIndex) {
  setObjectName(cameraIndex == 0 ? QStringLiteral("frontPane") : QStringLiteral("rearPane"));
  Messages().On(kMsgPlayerPresentationEnded,
                [this](uintptr_t w, intptr_t) { owner_->OnPanePresentationEnded(w, camera_); });
  Messages().On(kMsgPlayerTopologyReady, [this](uintptr_t w, intptr_t) { owner_->OnPaneTopologyReady(w, camera_); });
  // The tick worker's messages go to the main window.
  SetParentPort(owner->Port());
}

void PaneWindow::mouseDoubleClickEvent(QMouseEvent* e) {
  e->accept();
  const mainwnd::PaneOwnerState st = owner_->PaneOwnerStateNow();
  if (camera_ == st.frontPaneIndex) owner_->ToggleFullScreen(st.controlsEnabled && st.listHasRows && st.pairOpen);
}

}  // namespace qv
