// The gauge window's rules: ranges, needle steps, dial angles and places.
#include <gtest/gtest.h>

#include <vector>

#include "panels/obdgauge.h"

namespace qv {
namespace {

std::vector<int> Swing(NeedleRecord& n, int item, int value) {
  std::vector<int> shown;
  for (int tick = 0; tick < 100; ++tick) {
    if (NeedleTick(n, item, value)) shown.push_back(n.Displayed());
    if (!n.animating && n.drawn && n.shown == ClampItemValue(value, item)) break;
  }
  return shown;
}

TEST(ObdGauge, NeedleStepsLandOnTheTarget) {
  NeedleRecord n;
  ChooseGaugeItem(n, 2);
  EXPECT_EQ(n.shown, 90);
  EXPECT_EQ(Swing(n, 2, 97), (std::vector<int>{96, 97}));
  EXPECT_EQ(n.shown, 97);
  EXPECT_FALSE(NeedleTick(n, 2, 97));  // nothing moves, nothing to paint

  ChooseGaugeItem(n, 4);
  EXPECT_EQ(Swing(n, 4, 3), (std::vector<int>{2, 3}));
  EXPECT_EQ(Swing(n, 4, 0), (std::vector<int>{1, 0}));
  EXPECT_EQ(Swing(n, 4, 20), (std::vector<int>{8, 16, 18, 20}));

  // Out-of-range values rest at the ends; a new item starts from its start.
  ChooseGaugeItem(n, 1);
  Swing(n, 1, 250);
  EXPECT_EQ(n.shown, 100);
  Swing(n, 1, -7);
  EXPECT_EQ(n.shown, 0);
  ChooseGaugeItem(n, 2);
  EXPECT_EQ(n.shown, 90);
  EXPECT_EQ(n.drawn, 0);
  EXPECT_TRUE(NeedleTick(n, 2, 90));  // drawn once for the new item
  EXPECT_FALSE(n.animating);

  // No item: nothing happens and nothing is read.
  EXPECT_FALSE(NeedleTick(n, -1, 5));
  EXPECT_EQ(ClampItemValue(500, -1), 500);
}

TEST(ObdGauge, DialAnglesFollowTheAnchors) {
  // Between the anchors the needle runs on; past the top 360 counts as 0.
  EXPECT_DOUBLE_EQ(NeedleAngle(0, 0), 261.5);
  EXPECT_DOUBLE_EQ(NeedleAngle(1, 50), 0.0);
  EXPECT_DOUBLE_EQ(NeedleAngle(2, 150), 39.0);
  EXPECT_DOUBLE_EQ(NeedleAngle(4, 999), 99.0);  // clamped to the last value
  // Clockwise through the top, in steps of 0.5 to 4 degrees.
  for (int item = 0; item < kObdItemCount; ++item) {
    for (int v = 1; v <= FindObdItem(item)->maxValue; ++v) {
      double step = NeedleAngle(item, v) - NeedleAngle(item, v - 1);
      if (step < 0) step += 360.0;
      EXPECT_GE(step, 0.5) << item << " " << v;
      EXPECT_LE(step, 4.0) << item << " " << v;
    }
  }
}

TEST(ObdGauge, GaugePlacesAndNeedleCorners) {
  EXPECT_EQ(GaugeRect(0, 1.0f, 20), Rect(2, 20, 212, 171));
  EXPECT_EQ(GaugeRect(2, 1.0f, 20), Rect(2 + 2 * 212, 20, 636, 171));
  EXPECT_EQ(GaugeRect(1, 1.5f, 30), Rect(3 + 318, 30, 636, 30 + 226));
  // Upright, the needle stands centred over the pivot (105, 108).
  auto c = NeedleCorners(1.0f, {210, 151}, {22, 106}, 0.0);
  EXPECT_EQ(c[0], (Point{94, 20}));
  EXPECT_EQ(c[1], (Point{116, 20}));
  EXPECT_EQ(c[2], (Point{94, 126}));
  // A quarter turn clockwise lays it to the right of the pivot.
  c = NeedleCorners(1.0f, {210, 151}, {22, 106}, 90.0);
  EXPECT_EQ(c[0], (Point{105 + 88, 108 - 11}));
}

}  // namespace
}  // namespace qv
