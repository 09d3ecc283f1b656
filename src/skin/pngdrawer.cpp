#include "skin/pngdrawer.h"

#include <QFile>
#include <QPainter>

#include "platform/uiscale.h"

namespace qv {

QImage CDrawer::LoadPngResource(const QString& path) const {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  if (bytes.isEmpty()) return {};
  QImage image;
  if (!image.loadFromData(bytes, "PNG")) return {};
  return image;
}

void CDrawer::Draw(const QImage& image, QPainter& painter, int x, int y, double zoom) const {
  if (image.isNull()) return;
  const Size s = ScaledDrawSize(image.width(), image.height(), zoom, UiScale);
  if (s.width <= 0 || s.height <= 0) return;
  painter.drawImage(QRect(x, y, s.width, s.height), image);
}

CDrawer& GetDrawer() {
  static CDrawer drawer;
  return drawer;
}

}  // namespace qv
