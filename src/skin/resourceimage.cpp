#include "skin/resourceimage.h"

#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>

#include <algorithm>
#include <utility>

#include "platform/numtext.h"
#include "platform/uiscale.h"
#include "skin/skingeometry.h"

static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace qv {

namespace {

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return out;
}

bool ToInt(std::string_view text, int& out) {
  int64_t v = 0;
  if (!ParseInt64(text, v) || v < 0 || v > 100000) return false;
  out = static_cast<int>(v);
  return true;
}

QMutex& CacheMutex() {
  static QMutex m;
  return m;
}

}  // namespace

std::vector<SkinImageInfo> ParseSkinManifest(std::string_view text, std::string* error) {
  std::vector<SkinImageInfo> out;
  int lineNo = 0;
  size_t pos = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "manifest line " + std::to_string(lineNo) + ": " + why;
    return std::vector<SkinImageInfo>();
  };
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const auto f = SplitTabs(line);
    if (f.size() != 9) return fail("expected 9 tab-separated fields");
    SkinImageInfo info;
    if (!ToInt(f[0], info.id) || !ToInt(f[2], info.width) || !ToInt(f[3], info.height) || !ToInt(f[4], info.bits) ||
        !ToInt(f[5], info.cells))
      return fail("bad number");
    if (info.width == 0 || info.height == 0 || info.cells == 0 || info.width % info.cells != 0)
      return fail("bad size or cell count");
    info.kind = std::string(f[1]);
    info.key = std::string(f[6]);
    info.source = std::string(f[7]);
    info.role = std::string(f[8]);
    for (const auto& other : out)
      if (other.id == info.id) return fail("duplicate id " + std::to_string(info.id));
    out.push_back(std::move(info));
  }
  if (error) error->clear();
  return out;
}

const std::vector<SkinImageInfo>& SkinManifest() {
  static const std::vector<SkinImageInfo> manifest = [] {
    InitSkinResources();
    QFile f(QStringLiteral(":/skin/manifest.txt"));
    if (!f.open(QIODevice::ReadOnly)) return std::vector<SkinImageInfo>();
    const QByteArray bytes = f.readAll();
    return ParseSkinManifest(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), nullptr);
  }();
  return manifest;
}

const SkinImageInfo* FindSkinImage(int id) {
  for (const auto& info : SkinManifest())
    if (info.id == id) return &info;
  return nullptr;
}

QColor SkinKeyColor(const SkinImageInfo& info) {
  if (info.key == "white") return QColor(255, 255, 255);
  if (info.key == "0x010101") return QColor(1, 1, 1);
  return QColor(0, 0, 0);
}

QImage RenderSkinImage(int id, QSize size) {
  const SkinImageInfo* info = FindSkinImage(id);
  if (!info) return QImage();
  if (size.isEmpty()) size = QSize(info->width, info->height);
  QSvgRenderer svg(QString::fromStdString(":/skin/" + info->source));
  if (!svg.isValid()) return QImage();
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  svg.render(&p, QRectF(0, 0, size.width(), size.height()));
  p.end();
  if (info->kind == "mask") {
    // A monochrome mask: every pixel fully white or black.
    QImage mono = image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    return mono.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  return image;
}

QImage SkinImage(int id) {
  static std::map<int, QImage> cache;
  {
    QMutexLocker lock(&CacheMutex());
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
  }
  QImage image = RenderSkinImage(id);
  QMutexLocker lock(&CacheMutex());
  cache.emplace(id, image);
  return image;
}

QImage KeyedImage(int id) {
  const SkinImageInfo* info = FindSkinImage(id);
  const QImage src = SkinImage(id);
  if (!info || src.isNull()) return QImage();
  QImage out(src.size(), QImage::Format_RGB32);
  out.fill(info->key == "none" || info->key == "alpha" ? QColor(0, 0, 0) : SkinKeyColor(*info));
  QPainter p(&out);
  p.drawImage(0, 0, src);
  return out;
}

QSize ScaledSkinSize(int w, int h, float s) {
  const Size size = ScaledBitmapSize(w, h, s);
  return QSize(size.width, size.height);
}

QImage ScaledSkinImage(int id, float s) {
  const SkinImageInfo* info = FindSkinImage(id);
  if (!info) return QImage();
  const QSize size = ScaledSkinSize(info->width, info->height, s);
  if (size.isEmpty()) return QImage();
  if (size == QSize(info->width, info->height)) return SkinImage(id);
  return RenderSkinImage(id, size);
}

QImage SkinCell(const QImage& strip, int cells, int index) {
  if (strip.isNull() || cells <= 0 || index < 0 || index >= cells) return QImage();
  const int w = strip.width() / cells;
  return strip.copy(index * w, 0, w, strip.height());
}

const std::vector<int>& CResourceImage::LoadOrder() {
  static const std::vector<int> order = {
      129, 164, 324, 320, 307, 309, 321, 325, 312, 313, 198, 199, 196, 197, 192, 195, 358, 359, 360,
      361, 363, 364, 201, 207, 206, 218, 202, 209, 210, 208, 203, 204, 205, 213, 211, 350, 219, 351,
      212, 171, 190, 214, 215, 367, 348, 331, 332, 333, 334, 335, 336, 337, 338, 339, 340, 341, 342,
      343, 344, 345, 349};
  return order;
}

void CResourceImage::Load(float s) {
  gaugeSurface_ = QImage(std::max(1, skin::T(s, 210)), std::max(1, skin::T(s, 170)),
                         QImage::Format_ARGB32_Premultiplied);
  gaugeSurface_.fill(Qt::black);
  for (int id : LoadOrder()) {
    QImage image = SkinImage(id);
    if (image.isNull()) continue;  // the slot stays empty
    if (id == 171) appIcon_ = QIcon(QPixmap::fromImage(image));
    images_[id] = std::move(image);
  }
  loaded_ = true;
}

QImage CResourceImage::Image(int id) const {
  auto it = images_.find(id);
  return it == images_.end() ? QImage() : it->second;
}

QSize CResourceImage::ImageSize(int id) const { return Image(id).size(); }

bool COffScreenDC::Create(int width, int height) {
  if (width <= 0 || height <= 0) {
    std::vector<Size> sizes;
    for (QScreen* screen : QGuiApplication::screens()) {
      const QSize px = screen->geometry().size() * screen->devicePixelRatio();
      sizes.push_back({px.width(), px.height()});
    }
    const Size big = skin::BackBufferSize(sizes.data(), static_cast<int>(sizes.size()));
    width = std::max(big.width, 1920);
    height = std::max(big.height, 1080);
  }
  image_ = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
  if (image_.isNull()) return false;
  image_.fill(Qt::black);
  return true;
}

}  // namespace qv
