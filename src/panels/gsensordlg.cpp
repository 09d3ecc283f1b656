#include "panels/gsensordlg.h"

#include <QMouseEvent>
#include <QPainter>

#include "panels/eventmarks.h"
#include "panels/panelmessages.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "player/playerapi.h"
#include "skin/fonts.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"

namespace qv {
namespace {

constexpr int kTileImage = 162;
// The speeding band: colour 0x0000AA blended at constant alpha 127.
constexpr ColorRef kBandColour = 0x0000AA;
constexpr int kBandAlpha = 127;

float FontScaleOr(float s) { return FontScale > 0.0f ? FontScale : s; }

// A one-pixel line whose colour is ORed into a 32-bit picture (the curves' and the
// marks' merge-pen mode), from (x0, y0) up to but not including (x1, y1), as
// the window system draws lines, clipped to w × h.  Done on the pixels
// directly (`stride` pixels a line): the painter's raster-op path is far
// slower for many short lines.
void OrLine(QRgb* pixels, qsizetype stride, int x0, int y0, int x1, int y1, QRgb colour, int w, int h) {
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  const QRgb bits = colour & 0x00FFFFFFu;
  for (int guard = 0; guard <= dx - dy && !(x0 == x1 && y0 == y1); ++guard) {
    if (x0 >= 0 && x0 < w && y0 >= 0 && y0 < h) pixels[y0 * stride + x0] |= bits;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

// The background tile's design size, from the skin's manifest.
Size TileSize() {
  const SkinImageInfo* info = FindSkinImage(kTileImage);
  return info ? Size{info->width, info->height} : Size{656, 142};
}

}  // namespace

CGSensorDlg::CGSensorDlg(QWidget* parent) : QWidget(parent), series_(DefaultGraphSeries()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  geometry_.tileWidth = TileSize().width;
  geometry_.tileHeight = TileSize().height;
  setAutoFillBackground(false);
}

CGSensorDlg::~CGSensorDlg() = default;

void CGSensorDlg::OnScaleChanged() {
  imageScale_ = 0.0f;
  update();
}

int CGSensorDlg::TileSpacingFor(int margin) {
  const float s = CurrentUiScale();
  return ScaleInt(TileSize().width, s) - ScaleInt(7, s) - margin;
}

void CGSensorDlg::Visit(const std::function<void(const SlotRecords&)>& visit) const {
  if (source_) {
    source_(visit);
    return;
  }
  DriveDataView view;
  visit(SlotRecords(view.Sensors(), view.TimeIndex()));
}

double CGSensorDlg::GetPixelsPerSlot() {
  double ppx = 0.0;
  Visit([&](const SlotRecords& d) {
    ppx = qv::GetPixelsPerSlot(width(), geometry_.margin, CurrentUiScale(), d.SlotCount());
  });
  return ppx;
}

int CGSensorDlg::FindEventAt(std::vector<EventPoint>& list, long slot, int series) {
  int answer = 0;
  Visit([&](const SlotRecords& d) { answer = qv::FindEventAt(d, series_, list, slot, series); });
  return answer;
}

QImage& CGSensorDlg::Surface(int width, int height) {
  if (surface_ && surface_->IsValid() && surface_->Image().depth() == 32 && surface_->Image().width() >= width &&
      surface_->Image().height() >= height)
    return surface_->Image();
  if (ownSurface_.width() < width || ownSurface_.height() < height)
    ownSurface_ = QImage(width, height, QImage::Format_RGB32);
  return ownSurface_;
}

void CGSensorDlg::paintEvent(QPaintEvent*) {
  const float s = CurrentUiScale();
  geometry_.clientWidth = width();
  geometry_.clientHeight = height();
  geometry_.s = s;
  // The plan is made under the player's locks; the painting happens after.
  Visit([&](const SlotRecords& d) { PlanGraph(geometry_, d, series_, plan_); });
  if (!plan_.painted || height() <= 0) {
    // Nothing of the graph to show (no tile spacing yet): plain black
    // rather than what the window held before.
    QPainter(this).fillRect(rect(), Qt::black);
    return;
  }
  QImage& surface = Surface(width(), height());
  PaintPlan(surface, s);
  QPainter window(this);
  window.drawImage(QPoint(0, 0), surface, QRect(0, 0, width(), height()));
}

void CGSensorDlg::PaintPlan(QImage& surface, float s) {
  if (imageScale_ != s) {
    // Opaque, so that each tile is a plain copy.
    tile_ = ScaledSkinImage(kTileImage, s).convertToFormat(QImage::Format_RGB32);
    steering_ = ScaledSkinImage(FindEventMark(kMarkSupportSteering)->glyphImage, s);
    imageScale_ = s;
  }
  const int w = width();
  const int h = height();
  const QFont font = AppFont ? *AppFont : this->font();
  {
    QPainter p(&surface);
    p.setClipRect(0, 0, w, h);
    p.fillRect(0, 0, w, h, Qt::black);
    if (!tile_.isNull()) {
      for (int x : plan_.tiles)
        if (x < w) p.drawImage(QPoint(x, 0), tile_);
    }
    // The G scale.
    p.setFont(font);
    p.setPen(Qt::white);
    const int labelW = ScaleInt(38, s), labelH = ScaleInt(50, s);
    const char* labels[3] = {ScaleLabel(geometry_.scaleMode, true), "   0G", ScaleLabel(geometry_.scaleMode, false)};
    for (int i = 0; i < 3; ++i) {
      p.drawText(QRect(0, i * labelH, labelW, labelH), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip,
                 QString::fromLatin1(labels[i]));
    }
  }

  // Curves and mark lines are ORed onto the picture (32-bit surfaces only).
  QRgb* const pixels = reinterpret_cast<QRgb*>(surface.bits());
  const qsizetype stride = surface.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
  for (const GraphSegment& seg : plan_.segments) {
    OrLine(pixels, stride, seg.x0, seg.y0, seg.x1, seg.y1,
           ToQColor(series_[static_cast<size_t>(seg.axis)].pen).rgb(), w, h);
  }
  for (const GraphMark& m : plan_.marks) {
    if (const EventMarkInfo* info = FindEventMark(m.kind))
      OrLine(pixels, stride, m.x, m.y, m.x, 0, ToQColor(info->colour).rgb(), w, h);
  }

  QPainter p(&surface);
  p.setClipRect(0, 0, w, h);
  if (!plan_.band.empty()) {
    QColor band = ToQColor(kBandColour);
    band.setAlpha(kBandAlpha);
    for (const GraphBandColumn& b : plan_.band) p.fillRect(b.x, b.y, b.width, b.height, band);
  }
  p.setFont(font);
  p.setPen(Qt::white);
  const QFontMetrics fm(font);
  for (const GraphMark& m : plan_.marks) {
    const EventMarkInfo* info = FindEventMark(m.kind);
    if (!info) continue;
    // The glyph rows lie just below the plot; a row that would fall out of
    // the panel is lifted so the glyph stays whole.
    int top = GlyphRowTop(plan_.plotHeight, s, FontScaleOr(s), info->row);
    if (info->glyphImage) {
      top = std::min(top, h - steering_.height());
      p.drawImage(QPoint(m.x + 1, top), steering_);
    } else {
      top = std::min(top, h - fm.height());
      p.drawText(QPoint(m.x + 1, top + fm.ascent()), QString::fromUtf8(info->glyph));
    }
  }
  p.drawLine(plan_.cursorX, 0, plan_.cursorX, h);
}

void CGSensorDlg::mouseReleaseEvent(QMouseEvent* e) {
  QWidget* owner = parentWidget();
  if (owner && e->button() == Qt::LeftButton) PostAppMessage(owner, kMsgGraphPreviousEvent);
  if (owner && e->button() == Qt::RightButton) PostAppMessage(owner, kMsgGraphNextEvent);
  QWidget::mouseReleaseEvent(e);
}

}  // namespace qv
