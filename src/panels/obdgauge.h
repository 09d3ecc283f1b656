// The gauge window's rules, as pure functions: the five vehicle items with
// their ranges, needle steps and dial angles, the needle's animation and the
// gauges' places.  No GUI library.
#pragma once

#include <array>

#include "platform/rect.h"

namespace qv {

constexpr int kObdItemCount = 5;
constexpr int kObdGaugeCount = 3;

struct ObdItemInfo {
  int maxValue;    // range 0..maxValue
  int step;        // needle step per timer tick
  int startValue;  // where the needle rests when the item is chosen
  int faceImage;   // skin image of the dial
};
// Items 0..4; null for any other number (a gauge without an item is -1).
const ObdItemInfo* FindObdItem(int item);

// The value clamped into the item's range; unchanged for an unknown item.
int ClampItemValue(int value, int item);
// The needle's angle in degrees (clockwise, 0 = upright) for a value of an
// item, from the item's dial table; 0 for an unknown item.
double NeedleAngle(int item, int value);

// One needle step from `current` toward `target`: the item's full step while
// it does not pass the target, then single units (item 4 steps 8, then 2,
// then 1), so the needle lands on the target exactly.
int StepNeedle(int item, int current, int target, bool rising);

// Where a gauge's needle rests and where it is while it swings.
struct NeedleRecord {
  int shown = 0;
  int current = 0;
  int target = 0;
  int rising = 0;
  int animating = 0;
  int drawn = 0;
  int Displayed() const { return animating ? current : shown; }
};
// A new item was chosen: the needle starts again at the item's start value.
void ChooseGaugeItem(NeedleRecord& n, int item);
// One 50 ms tick of a gauge showing `item` whose value is now `value`;
// true when the gauge must be painted again.
bool NeedleTick(NeedleRecord& n, int item, int value);

// The gauge's rectangle in the window at scale s, below `top`.
Rect GaugeRect(int gauge, float s, int top);

// The needle's three corners (top left, top right, bottom left of the
// upright needle image) turned by `angle` degrees about the dial's pivot.
std::array<Point, 3> NeedleCorners(float s, Size face, Size needle, double angle);

}  // namespace qv
