#include "testmovies.h"

#include <QProcess>

#include <cstdlib>
#include <cstring>

namespace qvtest {

QImage FrameAt(const std::string& movie, double seconds, int width, int height) {
  QProcess p;
  p.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-ss", QString::number(seconds - 0.001, 'f', 4), "-i",
                     QString::fromStdString(movie), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-"});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return QImage();
  const QByteArray raw = p.readAllStandardOutput();
  if (raw.size() != width * height * 4) return QImage();
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) memcpy(image.scanLine(y), raw.constData() + y * width * 4, width * 4);
  return image;
}

double MeanDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 255.0;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row) {
    const uchar* p = x.constScanLine(row);
    const uchar* q = y.constScanLine(row);
    for (int i = 0; i < x.width() * 4; ++i) {
      if (i % 4 == 3) continue;
      sum += std::abs(int(p[i]) - int(q[i]));
    }
  }
  return sum / (double(x.width()) * x.height() * 3);
}

}  // namespace qvtest
