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

}  // namespace

CGSensorDlg::CGSensorDlg(QWidget* parent) : QWidget(parent), series_(DefaultGraphSeries()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

CGSensorDlg::~CGSensorDlg() = default;

void CGSensorDlg::OnScaleChanged() {
  imageScale_ = 0.0f;
  update();
}

int CGSensorDlg::TileSpacingFor(int margin) {
  const float s = CurrentUiScale();
  return ScaleInt(656, s) - ScaleInt(7, s) - margin;
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
  if (surface_ && surface_->IsValid() && surface_->Image().width() >= width && surface_->Image().height() >= height)
    return surface_->Image();
  if (ownSurface_.width() < width || ownSurface_.height() < height)
    ownSurface_ = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
  return ownSurface_;
}

void CGSensorDlg::paintEvent(QPaintEvent*) {
  const float s = CurrentUiScale();
  geometry_.clientWidth = width();
  geometry_.clientHeight = height();
  geometry_.s = s;
  // The plan is made under the player's locks; the painting happens after.
  Visit([&](const SlotRecords& d) { PlanGraph(geometry_, d, series_, plan_); });
  if (!plan_.painted || height() <= 0) return;
  QImage& surface = Surface(width(), height());
  PaintPlan(surface, s);
  QPainter window(this);
  window.drawImage(QPoint(0, 0), surface, QRect(0, 0, width(), height()));
}

void CGSensorDlg::PaintPlan(QImage& surface, float s) {
  if (imageScale_ != s) {
    tile_ = ScaledSkinImage(kTileImage, s);
    steering_ = ScaledSkinImage(FindEventMark(kMarkSupportSteering)->glyphImage, s);
    imageScale_ = s;
  }
  const int w = width();
  const int h = height();
  QPainter p(&surface);
  p.setClipRect(0, 0, w, h);
  p.fillRect(0, 0, w, h, Qt::black);
  if (!tile_.isNull()) {
    for (int x : plan_.tiles) p.drawImage(QPoint(x, 0), tile_);
  }

  // The G scale.
  const QFont font = AppFont ? *AppFont : this->font();
  p.setFont(font);
  p.setPen(Qt::white);
  const int labelW = ScaleInt(38, s), labelH = ScaleInt(50, s);
  const char* labels[3] = {ScaleLabel(geometry_.scaleMode, true), "   0G", ScaleLabel(geometry_.scaleMode, false)};
  for (int i = 0; i < 3; ++i) {
    p.drawText(QRect(0, i * labelH, labelW, labelH), Qt::AlignRight | Qt::AlignTop, QString::fromLatin1(labels[i]));
  }

  // Curves and mark lines are ORed onto the picture (and the mode stays).
  p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
  QPen pens[3];
  for (int a = 0; a < 3; ++a) pens[a] = QPen(ToQColor(series_[static_cast<size_t>(a)].pen), 1);
  for (const GraphSegment& seg : plan_.segments) {
    p.setPen(pens[seg.axis]);
    p.drawLine(seg.x0, seg.y0, seg.x1, seg.y1);
  }
  if (!plan_.band.empty()) {
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QColor band = ToQColor(kBandColour);
    band.setAlpha(kBandAlpha);
    for (const GraphBandColumn& b : plan_.band) p.fillRect(b.x, b.y, b.width, b.height, band);
  }

  const QFontMetrics fm(font);
  for (const GraphMark& m : plan_.marks) {
    const EventMarkInfo* info = FindEventMark(m.kind);
    if (!info) continue;
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    p.setPen(QPen(ToQColor(info->colour), 1));
    p.drawLine(m.x, m.y, m.x, 0);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // The glyph rows lie just below the plot; a row that would fall out of
    // the panel is lifted so the glyph stays whole.
    int top = GlyphRowTop(plan_.plotHeight, s, FontScaleOr(s), info->row);
    if (info->glyphImage) {
      top = std::min(top, h - steering_.height());
      p.drawImage(QPoint(m.x + 1, top), steering_);
    } else {
      top = std::min(top, h - fm.height());
      p.setPen(Qt::white);
      p.drawText(QPoint(m.x + 1, top + fm.ascent()), QString::fromUtf8(info->glyph));
    }
  }

  p.setCompositionMode(QPainter::CompositionMode_SourceOver);  // white either way
  p.setPen(QPen(Qt::white, 1));
  p.drawLine(plan_.cursorX, 0, plan_.cursorX, h);
}

void CGSensorDlg::mouseReleaseEvent(QMouseEvent* e) {
  QWidget* owner = parentWidget();
  if (owner && e->button() == Qt::LeftButton) PostAppMessage(owner, kMsgGraphPreviousEvent);
  if (owner && e->button() == Qt::RightButton) PostAppMessage(owner, kMsgGraphNextEvent);
  QWidget::mouseReleaseEvent(e);
}

}  // namespace qv
