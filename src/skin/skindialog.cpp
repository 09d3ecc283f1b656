#include "skin/skindialog.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "platform/qt/qtconvert.h"
#include "skin/skinids.h"

namespace qv {

CSkinDialog::CSkinDialog(QWidget* parent) : CResizeDialog(parent) {}

CSkinDialog::~CSkinDialog() { close_.reset(); }

void CSkinDialog::Relayout() {
  ClearDragEdge();
  if (HitCode() != skin::kHitCaption) setGeometry(ToQRect(DragRect()));
}

void CSkinDialog::CreateCloseButton(int commandId) {
  close_ = std::make_unique<CSkinButton>(this);
  close_->setText(QStringLiteral("button"));
  PlaceCloseButton();
  connect(close_.get(), &QAbstractButton::clicked, this, [this, commandId] { OnCommand(commandId); });
  close_->show();
}

void CSkinDialog::PlaceCloseButton() {
  if (!close_) return;
  const Rect r = skin::CloseButtonRect(FromQRect(rect()), Scale());
  if (close_->ImageSize() != QSize(r.Width(), r.Height())) close_->LoadSkin(kSkinCaptionClose, r);
  close_->setGeometry(ToQRect(r));
}

void CSkinDialog::resizeEvent(QResizeEvent* e) {
  CResizeDialog::resizeEvent(e);
  PlaceCloseButton();
}

void CSkinDialog::OnScaleChanged() { PlaceCloseButton(); }

void CSkinDialog::DrawCaption(QPainter& p) {
  p.fillRect(ToQRect(skin::CaptionStripRect(FromQRect(rect()), Scale())), QColor(128, 128, 128));
  p.setFont(SkinAppFont(this));
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(ToQRect(skin::CaptionTextRect(Scale())), Qt::AlignLeft | Qt::AlignTop, windowTitle());
}

void CSkinDialog::keyPressEvent(QKeyEvent* e) {
  // Enter and Escape never end a skinned dialog.  Keys reach the focused
  // control first, so text fields still take their typing.
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: e->accept(); return;
    default: CResizeDialog::keyPressEvent(e);
  }
}

void CSkinDialog::showEvent(QShowEvent* e) {
  // A dialog's push buttons take Enter themselves when they have the focus
  // (auto-default): that would let Enter press OK or Cancel and end the
  // dialog.  Buttons still answer clicks and the space bar.
  for (QPushButton* b : findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  CResizeDialog::showEvent(e);
}

void CSkinDialog::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return CResizeDialog::mouseReleaseEvent(e);
  BaseRelease();
  QDialog::mouseReleaseEvent(e);
  ApplyDrag(FromQPoint(e->globalPosition().toPoint()));
}

void CSkinDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  DrawCaption(p);
}

}  // namespace qv
