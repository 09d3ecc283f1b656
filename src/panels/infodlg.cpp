#include "panels/infodlg.h"

#include <QFontMetrics>
#include <QPainter>

#include "panels/panelmessages.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"
#include "skin/ninepatch.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"
#include "skin/skinbutton.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

constexpr int kBackgroundImage = 201;
constexpr int kBandBackgroundImage = 202;
constexpr int kBandFrameImage = 351;
constexpr int kDatePlaceholder = 207;
constexpr int kGPlaceholder[3] = {209, 210, 208};  // X, Y, Z
constexpr int kSpeedPlaceholder = 211;
constexpr int kBandSpeedPlaceholder = 367;
constexpr int kVoltagePlaceholder = 213;
constexpr int kStateImages[3] = {203, 204, 205};  // 'R', 'r', any other letter
constexpr int kFixImage = 350;
// Badges of resolution classes 1 to 12.
constexpr int kBadgeImages[12] = {198, 199, 196, 197, 192, 195, 358, 359, 360, 361, 363, 364};
constexpr ColorRef kAxisColours[3] = {Rgb(0x00, 0xFF, 0x00), Rgb(0xFF, 0x00, 0x00), Rgb(0x80, 0x80, 0xFF)};
constexpr UiText kAxisNames[3] = {UiText::AxisFrontBack, UiText::AxisLeftRight, UiText::AxisUpDown};
constexpr char kOffText[] = "OFF";
constexpr char kSpeedUnit[] = "km/h";

QFont FontOr(QFont* shared, const QWidget* w) { return shared ? *shared : w->font(); }
QRect Q(const Rect& r) { return ToQRect(r); }

// An image drawn at trunc(size × s).
void DrawScaled(QPainter& p, const QImage& image, int x, int y, float s) {
  if (image.isNull()) return;
  p.drawImage(QRect(x, y, ScaleInt(image.width(), s), ScaleInt(image.height(), s)), image);
}

}  // namespace

CInfoDlg::CInfoDlg(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  for (int i = 0; i < 3; ++i) {
    auto b = std::make_unique<CSkinButton>(this);
    b->setText(QStringLiteral("button"));
    b->setObjectName(QString::number(kFirstToggleId + i));
    connect(b.get(), &QAbstractButton::clicked, this, [this, i] { OnToggle(i); });
    buttons_[static_cast<size_t>(i)] = std::move(b);
  }
  PlaceButtons();
}

CInfoDlg::~CInfoDlg() = default;

void CInfoDlg::SetG(double x, double y, double z) {
  g_[0] = x;
  g_[1] = y;
  g_[2] = z;
  hasG_ = true;
}

void CInfoDlg::ClearG() { hasG_ = false; }

void CInfoDlg::SetHorizontalFactor(float f) {
  factor_ = f;
  PlaceButtons();
}

void CInfoDlg::OnScaleChanged() {
  PlaceButtons();
  update();
}

void CInfoDlg::PlaceButtons() {
  const float s = CurrentUiScale();
  const InfoLayout l = ComputeInfoLayout(s, factor_);
  for (int i = 0; i < 3; ++i) {
    CSkinButton* b = buttons_[static_cast<size_t>(i)].get();
    b->LoadSkin(kSkinCheck, l.buttons[i]);
    b->setGeometry(Q(l.buttons[i]));
    b->SetLatched(toggles_[static_cast<size_t>(i)] != 0);
    b->show();
  }
}

void CInfoDlg::OnToggle(int i) {
  int& t = toggles_[static_cast<size_t>(i)];
  t = t ? 0 : 1;
  buttons_[static_cast<size_t>(i)]->SetLatched(t != 0);
  if (QWidget* owner = parentWidget()) PostAppMessage(owner, kMsgInfoToggle, static_cast<uintptr_t>(i), t);
}

void CInfoDlg::ResetValues() {
  speed_ = -1.0;
  hasG_ = false;
  cursor_ = -1;
  stateLetter_ = 77;
  voltage_ = -1;
  resolutionClass_ = 0;
  fix_ = 0;
  repaint();
}

void CInfoDlg::PaintPanel() { repaint(); }

QImage CInfoDlg::Image(int id) const {
  if (images_ && images_->IsLoaded()) return images_->Image(id);
  return SkinImage(id);
}

QString CInfoDlg::DateTimeText() const {
  const auto t = PanelTimeAt(startTime_, cursor_, slotMs_, timeLapse_ != 0, hasData_ != 0);
  return t ? QString::fromStdString(FormatPanelDateTime(*t)) : QString();
}

QString CInfoDlg::BandText() const {
  const QString speed = !speedShown_             ? QString::fromLatin1(kOffText)
                        : SpeedShown(speed_, fix_) ? QString::fromStdString(FormatSpeed(speed_))
                                                   : QString();
  return rateText_ + QLatin1Char('|') + DateTimeText() + QLatin1Char('|') + speed;
}

void CInfoDlg::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  QImage* target = nullptr;
  if (surface_ && surface_->IsValid() && surface_->Image().width() >= width() &&
      surface_->Image().height() >= height()) {
    target = &surface_->Image();
  } else {
    if (ownSurface_.width() < width() || ownSurface_.height() < height())
      ownSurface_ = QImage(width(), height(), QImage::Format_ARGB32_Premultiplied);
    target = &ownSurface_;
  }
  // The background stretched over black, made again only when the panel's
  // size or the image changes.
  const QImage bg = Image(kBackgroundImage);
  if (background_.size() != size() || backgroundKey_ != bg.cacheKey()) {
    background_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    background_.fill(Qt::black);
    if (!bg.isNull()) QPainter(&background_).drawImage(QRect(QPoint(0, 0), size()), bg);
    backgroundKey_ = bg.cacheKey();
  }
  {
    QPainter p(target);
    p.setClipRect(0, 0, width(), height());
    p.drawImage(QPoint(0, 0), background_);
    DrawPanel(p, CurrentUiScale());
  }
  QPainter window(this);
  window.drawImage(QPoint(0, 0), *target, QRect(0, 0, width(), height()));
}

void CInfoDlg::DrawTemplate(QPainter& p, const Rect& r, const char* text, bool right) const {
  const QFontMetrics fm(p.font());
  const QString t = QString::fromLatin1(text);
  const int x0 = right ? r.right - fm.horizontalAdvance(t) : r.left;
  for (int i = 0; i < t.size(); ++i) {
    if (!TemplateCharDrawn(text[i])) continue;
    p.drawText(QPoint(x0 + fm.horizontalAdvance(t.left(i)), r.top + fm.ascent()), t.mid(i, 1));
  }
}

bool CInfoDlg::DrawDateTime(QPainter& p, const Rect& r) const {
  const QString text = DateTimeText();
  if (text.isEmpty()) return false;
  p.drawText(Q(r), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, text);
  return true;
}

void CInfoDlg::DrawDatePlaceholder(QPainter& p, const Rect& r, float s) const {
  const QImage image = Image(kDatePlaceholder);
  const int w = QFontMetrics(p.font()).horizontalAdvance(QString::fromLatin1(kDateTemplate));
  if (!image.isNull()) p.drawImage(QRect(r.left, r.top, w, ScaleInt(image.height(), s)), image);
  DrawTemplate(p, r, kDateTemplate, false);
}

bool CInfoDlg::DrawSpeed(QPainter& p, const Rect& r, int gap, int drop, const QFont& unitFont) const {
  bool drawn = false;
  if (SpeedShown(speed_, fix_)) {
    Rect n = r;
    n.right -= gap;
    p.drawText(Q(n), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, QString::fromStdString(FormatSpeed(speed_)));
    drawn = true;
  }
  const QFont old = p.font();
  p.setFont(unitFont);
  p.drawText(Q(r.Offsetted(0, drop)), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine,
             QString::fromLatin1(kSpeedUnit));
  p.setFont(old);
  return drawn;
}

void CInfoDlg::DrawPanel(QPainter& p, float s) const {
  const InfoLayout l = ComputeInfoLayout(s, factor_);
  const QFont font13 = FontOr(Font13pt, this);
  const QFont small = FontOr(AppFont, this);
  auto T = [s](int v) { return ScaleInt(v, s); };
  p.setFont(font13);

  for (int i = 0; i < 3; ++i) {
    p.setPen(ToQColor(kAxisColours[i]));
    p.drawText(Q(l.axisNames[i]), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, QString::fromUtf8(GetUiText(kAxisNames[i])));
    if (hasG_) {
      p.drawText(Q(l.gValues[i]), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine,
                 QString::fromStdString(FormatGValue(g_[i])));
    } else {
      const int tw = QFontMetrics(font13).horizontalAdvance(QString::fromLatin1(kGTemplate));
      DrawScaled(p, Image(kGPlaceholder[i]), l.gValues[i].right - tw, l.gValues[i].top, s);
      p.setPen(Qt::white);
      DrawTemplate(p, l.gValues[i], kGTemplate, true);
    }
  }

  p.setPen(Qt::white);
  if (!DrawDateTime(p, l.dateTime)) DrawDatePlaceholder(p, l.dateTime, s);
  p.drawText(Q(l.rateText), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, rateText_);

  if (voltageShown_[0] && voltageShown_[1]) {
    if (voltage_ != -1) {
      p.drawText(Q(l.voltage), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine,
                 QString::fromStdString(FormatVoltage(voltage_)));
    } else {
      const QImage v = Image(kVoltagePlaceholder);
      DrawScaled(p, v, l.voltage.right - ScaleInt(v.width(), s), l.voltage.top, s);
    }
    p.drawText(Q(l.voltage.Offsetted(T(18), 0)), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip, QStringLiteral("V"));
  }

  if (!speedShown_) {
    Rect off = l.speed;
    off.right -= T(20);
    p.drawText(Q(off.Offsetted(0, T(4))), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip, QString::fromLatin1(kOffText));
  } else if (!DrawSpeed(p, l.speed, T(35), T(4), small)) {
    DrawScaled(p, Image(kSpeedPlaceholder), l.speed.left + T(19), l.speed.top, s);
  }

  if (resolutionClass_ >= 1 && resolutionClass_ <= 12) {
    const QImage badge = Image(kBadgeImages[resolutionClass_ - 1]);
    DrawScaled(p, badge, l.badge.left, l.badge.top, s);
  }

  const int state = stateLetter_ == 'R' ? 0 : stateLetter_ == 'r' ? 1 : 2;
  const QImage stateImage = Image(kStateImages[state]);
  if (!stateImage.isNull()) {
    DrawScaled(p, stateImage, l.stateCentreX - ScaleInt(stateImage.width(), s) / 2, l.stateImage.y, s);
  }

  if (!fixImageShown_) {
    p.drawText(Q(l.fixOff), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip, QString::fromLatin1(kOffText));
  } else if (fix_) {
    const QImage fixImage = Image(kFixImage);
    DrawScaled(p, fixImage, l.fixCentreX - ScaleInt(fixImage.width(), s) / 2, l.fixImage.y, s);
  }
}

void CInfoDlg::DrawBandBackground(QPainter& p, const Rect& client) const {
  const float s = CurrentUiScale();
  DrawScaled(p, Image(kBandBackgroundImage), ScaleInt(545, s), client.bottom - ScaleInt(28, s), s);
}

void CInfoDlg::DrawBandInfo(QPainter& p, const Rect& client) const {
  const float s = CurrentUiScale();
  auto T = [s](int v) { return ScaleInt(v, s); };
  const Rect band = InfoBandRect(client, s);
  if (band.IsEmpty()) return;
  p.save();
  p.setClipRect(Q(band));

  // The frame image as a nine-patch the size of the main window, of which
  // the band shows its share: the window's bottom edge and corner.
  QImage frame = KeyedImage(kBandFrameImage).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < frame.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
    for (int x = 0; x < frame.width(); ++x)
      if ((line[x] & 0xFFFFFF) == 0x010101) line[x] = 0;  // the frame's transparent colour
  }
  for (const ImageTile& t : NinePatchTiles(Size{frame.width(), frame.height()}, client, s, &band))
    p.drawImage(Q(t.target), frame, Q(t.source));

  p.setFont(FontOr(Font13pt, this));
  p.setPen(Qt::white);
  p.drawText(QRect(band.left, band.top, T(150), band.Height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, rateText_);
  const Rect date(band.left + T(130), band.top, band.left + T(380), band.bottom);
  if (!DrawDateTime(p, date)) DrawDatePlaceholder(p, date, s);
  if (!speedShown_) {
    p.drawText(QRect(band.left, band.top, T(400), band.Height()), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip,
               QString::fromLatin1(kOffText));
  } else {
    const Rect speed = Rect::FromSize(band.left + T(190), band.top, T(220), band.Height());
    if (!DrawSpeed(p, speed, T(40), 0, FontOr(AppFont, this)))
      DrawScaled(p, Image(kBandSpeedPlaceholder), speed.left + T(19), speed.top, s);
  }
  p.restore();
}

}  // namespace qv
