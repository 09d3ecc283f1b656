#include "skin/logodlg.h"

#include <QKeyEvent>
#include <QPainter>

#include "platform/qt/qtconvert.h"
#include "skin/resourceimage.h"
#include "skin/skingeometry.h"
#include "skin/skinids.h"

namespace qv {

CLogoDlg::CLogoDlg(CResourceImage* images, QWidget* parent) : QWidget(parent), images_(images) {
  messages_.On(kMsgLogoShow, [this](uintptr_t, intptr_t) { OnShowLogo(); });
}

void CLogoDlg::OnShowLogo() {
  if (showFlag_) {
    showNormal();
  } else {
    hide();
  }
}

void CLogoDlg::DrawLogoFitted(QPainter& p, const QImage& logo, const Rect& r) {
  p.fillRect(ToQRect(r), Qt::black);
  if (logo.isNull()) return;
  const Rect place = skin::FitLogo(r, logo.width(), logo.height());
  p.drawImage(ToQRect(place), logo);
}

void CLogoDlg::paintEvent(QPaintEvent*) {
  if (!images_) return;
  const QImage logo = images_->Image(frameFlag_ ? kSkinLogo : kSkinLogoOffline);
  if (logo.isNull()) return;
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  const Rect client = FromQRect(rect());
  DrawLogoFitted(p, logo, client);
  p.setPen(CResourceImage::FrameColor());
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// Enter and Escape never close it.
void CLogoDlg::keyPressEvent(QKeyEvent* e) { e->accept(); }

}  // namespace qv
