#include "panels/obddlg.h"

#include <QPainter>
#include <QTransform>

#include "panels/panelmessages.h"
#include "platform/numtext.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "player/playerapi.h"
#include "skin/fonts.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"
#include "skin/skingeometry.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

constexpr int kNeedleImage = 312;
constexpr int kNeedleMask = 313;
constexpr int kCaptionClose = 1;
// Three gauges of 210 + 2, a combo row and the caption, in design pixels.
constexpr Size kDesignSize{640, 206};
constexpr double kOpacity = 229.0 / 255.0;

}  // namespace

CObdDlg::CObdDlg(QWidget* parent, TimerClock* clock)
    : CSkinDialog(parent), timers_(this, [this](int id) { OnTimer(id); }, clock) {
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  setWindowTitle(QString::fromUtf8(GetUiText(UiText::VehicleInfo)));
  setWindowOpacity(kOpacity);
  setFont(SkinAppFont(this));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::black);
  pal.setColor(QPalette::WindowText, Qt::white);
  setPalette(pal);
  setAutoFillBackground(true);
  SetDesignSize(kDesignSize);
  for (int g = 0; g < kObdGaugeCount; ++g) {
    auto combo = std::make_unique<QComboBox>(this);
    combo->setObjectName(QString::fromStdString(FormatInt(kFirstComboId + g)));
    for (int i = 0; i < kObdItemCount; ++i) combo->addItem(QString::fromStdString(FormatInt(i + 1)));
    combo->setCurrentIndex(-1);
    connect(combo.get(), &QComboBox::currentIndexChanged, this, [this, g] { OnSelChangeItem(g); });
    combos_[static_cast<size_t>(g)] = std::move(combo);
  }
  CreateCloseButton(kCaptionClose);
  connect(this, &CSkinDialog::command, this, [this](int id) {
    if (id == kCaptionClose) hide();
  });
  resize(DesignWidth(), DesignHeight());
  PlaceControls();
}

CObdDlg::~CObdDlg() {
  timers_.KillAll();
  owner_.Post(kMsgGaugeWindowGone);
}

void CObdDlg::SetItemValue(int item, int value) {
  if (item >= 0 && item < kObdItemCount) values_[static_cast<size_t>(item)] = value;
}

int CObdDlg::GetItemValue(int item) const {
  if (item > 4) return 5;
  if (item < 0) return 0;
  return values_[static_cast<size_t>(item)];
}

int CObdDlg::GaugeTop() const { return skin::CaptionStripRect(FromQRect(rect()), Scale()).bottom; }

bool CObdDlg::Playing() const { return (state_ ? state_() : PlayerApi_GetState(2)) == 2; }

void CObdDlg::OnScaleChanged() {
  CSkinDialog::OnScaleChanged();
  PlaceControls();
  update();
}

void CObdDlg::PlaceControls() {
  const float s = Scale();
  for (int g = 0; g < kObdGaugeCount; ++g) {
    const Rect r = GaugeRect(g, s, GaugeTop());
    QComboBox* c = combos_[static_cast<size_t>(g)].get();
    c->setFont(SkinAppFont(this));
    c->setGeometry(r.left + ScaleInt(55, s), r.bottom + ScaleInt(4, s), ScaleInt(100, s), ScaleInt(24, s));
  }
}

void CObdDlg::OnSelChangeItem(int g) {
  QComboBox* c = combos_[static_cast<size_t>(g)].get();
  const int sel = c->currentIndex();
  if (sel >= 0 && sel < kObdItemCount) {
    ChooseGaugeItem(needles_[static_cast<size_t>(g)], sel);
    if (Playing()) c->setEnabled(false);
  }
  items_[static_cast<size_t>(g)] = sel;
  timers_.Set(kFirstTimerId + g, kTimerMs);
}

void CObdDlg::OnTimer(int id) {
  const bool playing = Playing();
  for (int g = 0; g < kObdGaugeCount; ++g) {
    QComboBox* c = combos_[static_cast<size_t>(g)].get();
    if (!playing && !c->isEnabled()) c->setEnabled(true);
    if (playing && items_[static_cast<size_t>(g)] >= 0 && c->isEnabled()) c->setEnabled(false);
  }
  const int g = id - kFirstTimerId;
  if (g < 0 || g >= kObdGaugeCount) return;
  const int sel = combos_[static_cast<size_t>(g)]->currentIndex();
  if (sel < 0 || sel >= kObdItemCount) return;
  const int item = items_[static_cast<size_t>(g)];
  if (NeedleTick(needles_[static_cast<size_t>(g)], item, GetItemValue(item))) update();
}

void CObdDlg::paintEvent(QPaintEvent* e) {
  CSkinDialog::paintEvent(e);
  QPainter p(this);
  const float s = Scale();
  for (int g = 0; g < kObdGaugeCount; ++g) {
    const int item = items_[static_cast<size_t>(g)];
    if (!FindObdItem(item)) continue;
    DrawGauge(p, g, GaugeRect(g, s, GaugeTop()), needles_[static_cast<size_t>(g)].Displayed());
  }
}

void CObdDlg::DrawGauge(QPainter& window, int g, const Rect& r, int value) {
  const float s = Scale();
  const int item = items_[static_cast<size_t>(g)];
  const ObdItemInfo* info = FindObdItem(item);
  auto image = [&](int id) { return images_ && images_->IsLoaded() ? images_->Image(id) : SkinImage(id); };
  const QImage face = image(info->faceImage);
  const QImage needle = image(kNeedleImage);
  QImage surface(std::max(1, ScaleInt(210, s)), std::max(1, ScaleInt(170, s)), QImage::Format_ARGB32_Premultiplied);
  surface.fill(Qt::black);
  QPainter p(&surface);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  if (!face.isNull()) p.drawImage(QRect(0, 0, ScaleInt(face.width(), s), ScaleInt(face.height(), s)), face);
  if (!face.isNull() && !needle.isNull()) {
    // The needle image mapped onto the turned parallelogram, through its
    // mask (applied once per needle image).
    if (needleKey_ != needle.cacheKey()) {
      maskedNeedle_ = needle.convertToFormat(QImage::Format_ARGB32);
      const QImage mask = image(kNeedleMask);
      if (mask.size() == maskedNeedle_.size()) {
        for (int y = 0; y < maskedNeedle_.height(); ++y) {
          QRgb* line = reinterpret_cast<QRgb*>(maskedNeedle_.scanLine(y));
          for (int x = 0; x < maskedNeedle_.width(); ++x)
            if (qGray(mask.pixel(x, y)) < 128) line[x] = 0;
        }
      }
      needleKey_ = needle.cacheKey();
    }
    const auto c = NeedleCorners(s, FromQSize(face.size()), FromQSize(needle.size()), NeedleAngle(item, value));
    const double w = needle.width(), h = needle.height();
    const QTransform t((c[1].x - c[0].x) / w, (c[1].y - c[0].y) / w, (c[2].x - c[0].x) / h, (c[2].y - c[0].y) / h,
                       c[0].x, c[0].y);
    p.setTransform(t);
    p.drawImage(QPoint(0, 0), maskedNeedle_);
  }
  p.end();
  window.drawImage(QPoint(r.left, r.top), surface, QRect(0, 0, r.Width(), r.Height()));
}

}  // namespace qv
