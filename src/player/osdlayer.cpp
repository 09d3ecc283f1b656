#include "player/osdlayer.h"

#include <QFont>
#include <QPainter>

namespace qv {

void OsdLayer::Draw(const std::string& text, const std::string& face) {
  QImage surface(kOsdWidth, kOsdHeight, QImage::Format_RGB32);
  surface.fill(Qt::black);
  {
    QPainter p(&surface);
    QFont font(QString::fromStdString(face));
    font.setPointSize(42);
    font.setWeight(QFont::Bold);
    p.setFont(font);
    p.setPen(QColor(0, 255, 0));
    p.drawText(QRect(0, 0, kOsdWidth, kOsdHeight), Qt::TextWordWrap, QString::fromUtf8(text.c_str()));
  }
  QImage keyed = surface.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < keyed.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
    for (int x = 0; x < keyed.width(); ++x) {
      if ((line[x] & 0x00FFFFFFu) == 0) line[x] = 0;
    }
  }
  std::lock_guard<std::mutex> l(lock_);
  surface_ = std::move(surface);
  keyed_ = std::move(keyed);
}

void OsdLayer::SetPlace(const OsdPlace& place) {
  std::lock_guard<std::mutex> l(lock_);
  place_ = place;
}

void OsdLayer::Clear() {
  std::lock_guard<std::mutex> l(lock_);
  surface_ = QImage();
  keyed_ = QImage();
}

bool OsdLayer::Visible() const {
  std::lock_guard<std::mutex> l(lock_);
  return !keyed_.isNull();
}

QImage OsdLayer::Surface() const {
  std::lock_guard<std::mutex> l(lock_);
  return surface_;
}

void OsdLayer::Paint(QPainter& painter, const Rect& picture) const {
  std::lock_guard<std::mutex> l(lock_);
  if (keyed_.isNull() || picture.IsEmpty()) return;
  const double w = picture.Width();
  const double h = picture.Height();
  const QRectF target(picture.left + place_.left * w, picture.top + place_.top * h,
                      (place_.right - place_.left) * w, (place_.bottom - place_.top) * h);
  painter.drawImage(target, keyed_);
}

}  // namespace qv
