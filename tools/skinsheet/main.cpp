// Writes every skin image on one sheet (PNG) so that a person can look at
// them: each image on a checkerboard (its transparent pixels show), framed,
// with its id and size beneath.  Usage: qv_skinsheet OUT.png [SCALE [ID...]]
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/numtext.h"
#include "skin/resourceimage.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png [SCALE [ID...]]\n", argv[0]);
    return 2;
  }
  // The sheet is drawn into an image: no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  double zoom = 1.0;
  if (argc > 2 && (!qv::ParseDouble(argv[2], zoom) || zoom <= 0 || zoom > 8)) {
    std::fprintf(stderr, "bad scale %s\n", argv[2]);
    return 2;
  }
  const auto& manifest = qv::SkinManifest();
  if (manifest.empty()) {
    std::fprintf(stderr, "no skin manifest in the resources\n");
    return 1;
  }
  const int sheetWidth = static_cast<int>(1400 * zoom), pad = 10, label = 16;
  // Lay the images out in rows.
  struct Place { const qv::SkinImageInfo* info; int x, y, w, h; };
  std::vector<Place> places;
  int x = pad, y = pad, rowHeight = 0;
  std::vector<int> only;
  for (int i = 3; i < argc; ++i) {
    int64_t id = 0;
    if (qv::ParseInt64(argv[i], id)) only.push_back(static_cast<int>(id));
  }
  for (const auto& info : manifest) {
    if (!only.empty() && std::find(only.begin(), only.end(), info.id) == only.end()) continue;
    const int w = static_cast<int>(info.width * zoom), h = static_cast<int>(info.height * zoom);
    const int cellW = std::max(w, 70);
    if (x + cellW + pad > sheetWidth && x > pad) {
      x = pad;
      y += rowHeight + label + pad;
      rowHeight = 0;
    }
    places.push_back({&info, x, y, w, h});
    x += cellW + pad;
    rowHeight = std::max(rowHeight, h);
  }
  const int sheetHeight = y + rowHeight + label + pad;
  QImage sheet(sheetWidth, sheetHeight, QImage::Format_RGB32);
  sheet.fill(QColor(0x50, 0x50, 0x58));
  QPainter p(&sheet);
  QFont font = p.font();
  font.setPixelSize(11);
  p.setFont(font);
  int missing = 0;
  for (const auto& pl : places) {
    QImage image = qv::RenderSkinImage(pl.info->id, QSize(pl.w, pl.h));
    const QRect r(pl.x, pl.y, pl.w, pl.h);
    for (int cy = 0; cy < pl.h; cy += 8)
      for (int cx = 0; cx < pl.w; cx += 8)
        p.fillRect(QRect(pl.x + cx, pl.y + cy, 8, 8).intersected(r),
                   ((cx + cy) / 8) % 2 ? QColor(0x2a, 0x2a, 0x2a) : QColor(0x3a, 0x3a, 0x3a));
    if (image.isNull()) {
      ++missing;
      p.fillRect(r, Qt::red);
    } else {
      p.drawImage(pl.x, pl.y, image);
    }
    p.setPen(QColor(0x90, 0x90, 0x98));
    p.drawRect(r.adjusted(-1, -1, 0, 0));
    p.setPen(Qt::white);
    p.drawText(QPoint(pl.x, pl.y + pl.h + 12),
               QString("%1  %2x%3").arg(pl.info->id).arg(pl.info->width).arg(pl.info->height));
  }
  p.end();
  if (!sheet.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%zu images, %d missing, sheet %dx%d\n", places.size(), missing, sheetWidth, sheetHeight);
  return missing ? 1 : 0;
}
