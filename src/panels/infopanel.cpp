#include "panels/infopanel.h"

#include <cmath>
#include <cstdlib>

#include "platform/numtext.h"
#include "platform/uiscale.h"

namespace qv {

std::string FormatGValue(double g) {
  if (!std::isfinite(g)) g = 0.0;
  g = std::fmax(-1.0e6, std::fmin(1.0e6, g));
  const long long thousandths = std::llround(g * 1000.0);
  const long long hundredths = thousandths / 10;  // toward zero
  const long long a = std::llabs(hundredths);
  std::string out = thousandths < 0 ? "-" : "";
  out += FormatInt(a / 100);
  out += '.';
  if (a % 100 < 10) out += '0';
  out += FormatInt(a % 100);
  out += 'G';
  return out;
}

bool SpeedShown(double speed, int fix) { return fix && speed >= 0.0 && speed <= 999.0; }

std::string FormatSpeed(double speed) { return FormatFixed(speed, 0) + " "; }

std::string FormatVoltage(int tenths) { return FormatFixed(tenths / 10.0, 1); }

std::optional<CivilTime> PanelTimeAt(const CivilTime& start, int cursor, float slotMs, bool timeLapse, bool hasData) {
  if (!hasData || cursor < 0 || start.IsNone() || !std::isfinite(slotMs)) return std::nullopt;
  const double elapsed = static_cast<double>(cursor) * static_cast<double>(slotMs) * (timeLapse ? 15.0 : 1.0);
  if (!(std::fabs(elapsed) < 1.0e15)) return std::nullopt;
  const int64_t total = ToSeconds(start) * 1000 + start.milliseconds + std::llround(elapsed);
  int64_t seconds = total / 1000;
  int64_t ms = total % 1000;
  if (ms < 0) {
    ms += 1000;
    --seconds;
  }
  const CivilTime t = CivilFromSeconds(seconds, static_cast<uint16_t>(ms));
  if (t.IsNone()) return std::nullopt;
  return t;
}

namespace {
std::string Two(int v) { return FormatPadded(v, 2); }
}  // namespace

Rect InfoBandRect(const Rect& client, float s) {
  return Rect(ScaleInt(545, s), client.bottom - ScaleInt(28, s), client.right, client.bottom + ScaleInt(2, s));
}

std::string FormatPanelDateTime(const CivilTime& t) {
  const int year = t.year >= 2050 ? t.year - 35 : t.year;
  return Two(year) + "/" + Two(t.month) + "/" + Two(t.day) + " " + Two(t.hour) + ":" + Two(t.minute) + ":" +
         Two(t.second);
}

InfoLayout ComputeInfoLayout(float s, float f) {
  auto T = [s](int v) { return ScaleInt(v, s); };
  // The factor is a float and so are the products, as the panel keeps them.
  auto P = [&](int v) { return TruncToInt(static_cast<float>(T(v)) * f); };
  InfoLayout l;
  for (int i = 0; i < 3; ++i) {
    const int x = P(26) + T(22) + i * P(140);
    l.axisNames[i] = Rect::FromSize(x, T(40), T(150), T(40));
    l.gValues[i] = Rect::FromSize(x, T(62), T(58), T(20));
    l.buttons[i] = Rect::FromSize(P(26) + i * P(140), T(45), T(12), T(12));
  }
  l.dateTime = Rect::FromSize(P(26), T(7), T(200), T(19));
  l.rateText = Rect::FromSize(P(300), T(7), T(160), T(27));
  l.voltage = Rect::FromSize(P(560), T(50), T(60), T(27));
  l.speed = Rect::FromSize(TruncToInt(static_cast<float>(T(530)) * std::pow(f, 1.1f)), T(7), T(100), T(21));
  l.badge = Rect::FromSize(P(440), T(45), T(100), T(100));
  l.stateImage = {P(515), T(46)};
  l.stateCentreX = P(515) + T(30);
  l.fixImage = {P(580), T(45)};
  l.fixCentreX = P(580) + T(30);
  l.fixOff = Rect::FromSize(P(440), T(54), T(185), T(100));
  return l;
}

}  // namespace qv
