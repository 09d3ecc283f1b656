#include "testmovies.h"

#include <QProcess>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "recording/mp4movie.h"

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

GstElement* SilentAudioSink() {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
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

namespace {

// The payload offset of the first box of `type` at or after `from` (found
// by its type name, as the tree nests it); npos when none.
size_t PayloadOf(const std::string& b, const std::string& type, size_t from = 0) {
  const size_t at = b.find(type, from);
  return at == std::string::npos || at < 4 ? std::string::npos : at + 4;
}

}  // namespace

std::string DamagedCopy(const std::string& movie, Damage damage, const std::string& dir) {
  std::string b = ReadText(movie);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(b.data());
  const size_t moov = b.find("moov");
  if (moov == std::string::npos) return {};
  size_t p = std::string::npos;
  const char* name = "";
  switch (damage) {
    case Damage::kZeroedData:
    case Damage::kRandomData: {
      p = PayloadOf(b, "mdat");
      if (p == std::string::npos) return {};
      const size_t end = std::min(b.size(), p - 8 + qv::Be32(bytes + p - 8));
      uint32_t x = 2024;
      for (size_t i = p; i < end; ++i) b[i] = damage == Damage::kZeroedData ? 0 : char((x = x * 1103515245u + 12345u) >> 24);
      name = damage == Damage::kZeroedData ? "zeroed.mp4" : "random.mp4";
      break;
    }
    case Damage::kChunkMapFromZero:  // version and flags, entry count, first chunk
      if ((p = PayloadOf(b, "stsc", moov)) == std::string::npos) return {};
      qv::PutBe32(bytes + p + 8, 0);
      name = "stsc0.mp4";
      break;
    case Damage::kHugeFirstSample:  // version and flags, common size, count, first size
      if ((p = PayloadOf(b, "stsz", moov)) == std::string::npos) return {};
      qv::PutBe32(bytes + p + 12, 0x7ffffff0u);
      name = "stsz.mp4";
      break;
    case Damage::kTimeScaleZero:  // version 0: version and flags, two times, time scale
      if ((p = PayloadOf(b, "mdhd", moov)) == std::string::npos || b[p] != 0) return {};
      qv::PutBe32(bytes + p + 12, 0);
      name = "mdhd.mp4";
      break;
  }
  const std::string path = dir + "/" + name;
  return WriteText(path, b) ? path : std::string();
}

}  // namespace qvtest
