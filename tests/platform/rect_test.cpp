#include "platform/rect.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "platform/monitors.h"

namespace qv {
namespace {

TEST(Rect, EdgesAreExclusive) {
  Rect r = Rect::FromSize(10, 20, 30, 40);
  EXPECT_EQ(r, Rect(10, 20, 40, 60));
  EXPECT_EQ(r.Width(), 30);
  EXPECT_EQ(r.Height(), 40);
  for (auto [x, y, in] : {std::tuple{10, 20, true}, {39, 59, true}, {40, 59, false}, {39, 60, false}, {9, 20, false}})
    EXPECT_EQ(r.Contains(x, y), in) << x << "," << y;
  EXPECT_TRUE(Rect(0, 0, 0, 10).IsEmpty());
  EXPECT_TRUE(Rect(5, 0, 4, 10).IsEmpty());
  EXPECT_FALSE(Rect(0, 0, 1, 1).IsEmpty());
  EXPECT_FALSE(Rect(0, 0, 0, 0).Contains(0, 0));
}

TEST(Rect, IntersectAndUnion) {
  Rect a(0, 0, 100, 100), b(50, 60, 150, 160);
  EXPECT_EQ(IntersectRects(a, b), Rect(50, 60, 100, 100));
  EXPECT_EQ(UnionRects(a, b), Rect(0, 0, 150, 160));
  // Touching edges share no pixel.
  EXPECT_EQ(IntersectRects(a, Rect(100, 0, 200, 100)), Rect());
  EXPECT_FALSE(RectsOverlap(a, Rect(100, 0, 200, 100)));
  EXPECT_TRUE(RectsOverlap(a, Rect(99, 99, 200, 200)));
  // An empty rectangle does not widen a union.
  EXPECT_EQ(UnionRects(a, Rect(500, 500, 500, 900)), a);
  EXPECT_EQ(UnionRects(Rect(1, 1, 1, 1), Rect(2, 2, 2, 2)), Rect());
}

TEST(Rect, MulDivRoundsHalfAwayFromZeroWith64BitProduct) {
  // The product goes beyond 32 bits in the fifth; -1 for no divisor or no room.
  for (auto [a, b, c, q] : {std::tuple{10, 96, 72, 13}, {9, 96, 72, 12}, {3, 1, 2, 2}, {-3, 1, 2, -2}, {5, 1, -2, -3},
                            {1, 1, 3, 0}, {100000, 100000, 100000, 100000}, {1, 1, 0, -1}, {INT_MAX, 2, 1, -1}})
    EXPECT_EQ(MulDiv(a, b, c), q) << a << "*" << b << "/" << c;
}

TEST(Monitors, NearestPrefersContainingThenClosest) {
  std::vector<MonitorInfo> ms(2);
  ms[0].area = Rect(0, 0, 1920, 1080);
  ms[1].area = Rect(1920, 0, 3200, 1024);
  // Just below the second, just below the first, off to the top left.
  for (auto [x, y, i] : {std::tuple{100, 100, 0}, {1919, 0, 0}, {1920, 0, 1}, {5000, 500, 1}, {2000, 1070, 1},
                         {1900, 1100, 0}, {-10, -10, 0}})
    EXPECT_EQ(NearestMonitorIndex(ms, {x, y}), i) << x << "," << y;
  EXPECT_EQ(NearestMonitorIndex({}, {0, 0}), -1);
  FixedMonitorProvider none({});
  EXPECT_EQ(none.Nearest({0, 0}).area, Rect());
  EXPECT_EQ(none.Nearest({0, 0}).dpiY, 96);
}

}  // namespace
}  // namespace qv
