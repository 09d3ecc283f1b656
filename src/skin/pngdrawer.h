// Loading PNG images from the program's resources and drawing them scaled.
#pragma once

#include <QImage>
#include <QString>

class QPainter;

namespace qv {

class CDrawer {
 public:
  // The PNG image at a resource path (":/images/...") or file; a null image
  // when it is missing, empty or cannot be decoded.  The image is fully
  // decoded and owns its memory.
  QImage LoadPngResource(const QString& path) const;
  // Draws the image at (x, y) at trunc(size × zoom × UiScale).  Only inside
  // a paint event.
  void Draw(const QImage& image, QPainter& painter, int x, int y, double zoom) const;
};

// The program's one drawer.
CDrawer& GetDrawer();

}  // namespace qv
