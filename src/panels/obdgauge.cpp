#include "panels/obdgauge.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/uiscale.h"

namespace qv {
namespace {

constexpr std::array<ObdItemInfo, kObdItemCount> kItems = {{
    {100, 2, 0, 320},
    {100, 2, 0, 307},
    {220, 6, 90, 309},
    {105, 2, 0, 321},
    {300, 8, 0, 325},
}};

struct Anchor {
  int value;
  double angle;  // degrees, 360 standing for 0 where the dial passes the top
};

// The dial rows the faces are drawn for; values between run on clockwise.
const std::vector<Anchor>& Anchors(int item) {
  static const std::vector<Anchor> a01 = {{0, 261.5}, {10, 282.0}, {25, 311.5}, {50, 360.0}, {75, 408.5}, {100, 459.0}};
  static const std::vector<Anchor> a2 = {{0, 251.5},   {10, 261.5},  {50, 301.5}, {100, 350.0},
                                         {110, 360.0}, {150, 399.0}, {200, 448.0}, {220, 468.0}};
  static const std::vector<Anchor> a3 = {{0, 261.5}, {50, 360.0}, {105, 468.0}};
  static const std::vector<Anchor> a4 = {{0, 261.5},   {10, 269.0},  {50, 294.5},  {100, 328.5},
                                         {150, 360.0}, {200, 391.0}, {250, 425.5}, {300, 459.0}};
  switch (item) {
    case 2: return a2;
    case 3: return a3;
    case 4: return a4;
    default: return a01;
  }
}

// The item's table: one angle per value, on half degrees.
std::vector<double> BuildTable(int item) {
  const auto& a = Anchors(item);
  std::vector<double> t(static_cast<size_t>(kItems[static_cast<size_t>(item)].maxValue) + 1);
  for (size_t k = 0; k + 1 < a.size(); ++k) {
    for (int v = a[k].value; v <= a[k + 1].value; ++v) {
      const double u = static_cast<double>(v - a[k].value) / (a[k + 1].value - a[k].value);
      double angle = std::round((a[k].angle + u * (a[k + 1].angle - a[k].angle)) * 2.0) / 2.0;
      if (angle >= 360.0) angle -= 360.0;
      t[static_cast<size_t>(v)] = angle;
    }
  }
  return t;
}

const std::vector<double>& Table(int item) {
  static const std::array<std::vector<double>, kObdItemCount> tables = {BuildTable(0), BuildTable(1), BuildTable(2),
                                                                        BuildTable(3), BuildTable(4)};
  return tables[static_cast<size_t>(item)];
}

}  // namespace

const ObdItemInfo* FindObdItem(int item) {
  return (item >= 0 && item < kObdItemCount) ? &kItems[static_cast<size_t>(item)] : nullptr;
}

int ClampItemValue(int value, int item) {
  const ObdItemInfo* info = FindObdItem(item);
  return info ? std::clamp(value, 0, info->maxValue) : value;
}

double NeedleAngle(int item, int value) {
  if (!FindObdItem(item)) return 0.0;
  return Table(item)[static_cast<size_t>(ClampItemValue(value, item))];
}

int StepNeedle(int item, int c, int t, bool rising) {
  const ObdItemInfo* info = FindObdItem(item);
  const int step = info ? info->step : 1;
  if (item == 4) {
    if (rising) return c + 8 <= t ? c + 8 : (c + 2 > t ? c + 1 : c + 2);
    return c - 8 >= t ? c - 8 : (c - 2 < t ? c - 1 : c - 2);
  }
  if (rising) return c + step <= t ? c + step : c + 1;
  return c - step >= t ? c - step : c - 1;
}

void ChooseGaugeItem(NeedleRecord& n, int item) {
  const ObdItemInfo* info = FindObdItem(item);
  n.drawn = 0;
  n.animating = 0;
  n.shown = info ? info->startValue : 0;
}

bool NeedleTick(NeedleRecord& n, int item, int value) {
  if (!FindObdItem(item)) return false;
  if (n.animating) {
    if (n.current != n.target) {
      n.current = StepNeedle(item, n.current, n.target, n.rising != 0);
      return true;
    }
    n.shown = n.current;
    n.rising = 0;
    n.animating = 0;
    return false;
  }
  const int v = ClampItemValue(value, item);
  if (v == n.shown && n.drawn) return false;
  n.current = n.shown;
  n.target = v;
  if (n.current != n.target) {
    n.rising = n.shown < v ? 1 : 0;
    n.current = StepNeedle(item, n.current, n.target, n.rising != 0);
    n.animating = 1;
  }
  n.drawn = 1;
  return true;
}

Rect GaugeRect(int g, float s, int top) {
  const int pitch = ScaleInt(210, s) + ScaleInt(2, s);
  return Rect(ScaleInt(2, s) + g * pitch, top, pitch * (g + 1), top + ScaleInt(151, s));
}

std::array<Point, 3> NeedleCorners(float s, Size face, Size needle, double angle) {
  const double cx = face.width * static_cast<double>(s) / 2.0;
  const int pivotX = TruncToInt(cx);
  const int pivotY = ScaleInt(108, s);
  const int x0 = TruncToInt(cx - needle.width * static_cast<double>(s) / 2.0);
  const int y0 = ScaleInt(20, s);
  const int w = TruncToInt(needle.width * static_cast<double>(s));
  const int h = TruncToInt(needle.height * static_cast<double>(s));
  const Point corners[3] = {{x0, y0}, {x0 + w, y0}, {x0, y0 + h}};
  const double a = angle * std::numbers::pi / 180.0;
  const double c = std::cos(a), sn = std::sin(a);
  std::array<Point, 3> out;
  for (int i = 0; i < 3; ++i) {
    const double dx = corners[i].x - pivotX, dy = corners[i].y - pivotY;
    out[static_cast<size_t>(i)] = {pivotX + TruncToInt(dx * c - dy * sn), pivotY + TruncToInt(dx * sn + dy * c)};
  }
  return out;
}

}  // namespace qv
