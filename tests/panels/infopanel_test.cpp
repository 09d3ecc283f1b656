// The information panel's texts and element places.
#include <gtest/gtest.h>

#include "panels/infopanel.h"

namespace qv {
namespace {

CivilTime At(int y, int mo, int d, int h, int mi, int s) { return NormalizeCivil(y, mo, d, h, mi, s); }

std::string Clock(const CivilTime& start, int cursor, float slotMs, bool timeLapse = false) {
  const auto t = PanelTimeAt(start, cursor, slotMs, timeLapse, true);
  return t ? FormatPanelDateTime(*t) : "none";
}

TEST(InfoPanel, ValueTexts) {
  // G values as the decoder makes them: thousandths as a float, over 1000 in
  // double; they truncate.  -5.00G is a real hard impact, not "no value".
  auto g = [](int thousandths) { return static_cast<double>(static_cast<float>(thousandths)) / 1000.0; };
  for (auto [thousandths, text] : {std::pair{290, "0.29G"}, {1150, "1.15G"}, {-999, "-0.99G"}, {-5000, "-5.00G"},
                                   {1999, "1.99G"}, {7, "0.00G"}, {-9999, "-9.99G"}})
    EXPECT_EQ(FormatGValue(g(thousandths)), text) << thousandths;
  EXPECT_TRUE(SpeedShown(999.0, 1));
  EXPECT_FALSE(SpeedShown(1000.0, 1));
  EXPECT_FALSE(SpeedShown(-1.0, 1));
  EXPECT_FALSE(SpeedShown(42.0, 0));
  EXPECT_EQ(FormatSpeed(42.4), "42 ");
  EXPECT_EQ(FormatVoltage(124), "12.4");
}

TEST(InfoPanel, ClockAtThePlayPosition) {
  const CivilTime start = At(2025, 3, 5, 14, 22, 33);
  EXPECT_EQ(Clock(start, 0, 100.0f), "2025/03/05 14:22:33");
  // Exactly one hour, at 100 ms and at 30 fps slots.
  EXPECT_EQ(Clock(start, 36000, 100.0f), "2025/03/05 15:22:33");
  EXPECT_EQ(Clock(start, 108000, 1000.0f / 30.0f), "2025/03/05 15:22:33");
  // Time lapse: each slot is 15 slot times.
  EXPECT_EQ(Clock(start, 10, 66.666664f, true), "2025/03/05 14:22:43");
  // Over midnight and into the next year.
  EXPECT_EQ(Clock(At(2025, 12, 31, 23, 59, 59), 10, 100.0f), "2026/01/01 00:00:00");
  // A clock at 2050 or later shows 35 years less.
  EXPECT_EQ(Clock(At(2058, 1, 2, 3, 4, 5), 0, 100.0f), "2023/01/02 03:04:05");
  // No clock: all-zero start, nothing playing, no data.
  EXPECT_EQ(Clock(CivilTime{}, 10, 100.0f), "none");
  EXPECT_EQ(Clock(start, -1, 100.0f), "none");
  EXPECT_FALSE(PanelTimeAt(start, 5, 100.0f, false, false));
}

TEST(InfoPanel, ElementPlacesAtOneAndMaximised) {
  const InfoLayout a = ComputeInfoLayout(1.0f, 1.0f);
  EXPECT_EQ(a.axisNames[2], Rect::FromSize(26 + 22 + 280, 40, 150, 40));
  EXPECT_EQ(a.gValues[1], Rect::FromSize(26 + 22 + 140, 62, 58, 20));
  EXPECT_EQ(a.speed, Rect::FromSize(530, 7, 100, 21));
  EXPECT_EQ(a.buttons[1], Rect::FromSize(166, 45, 12, 12));
  EXPECT_EQ(a.stateCentreX, 545);

  // Maximised: every product truncated where it is formed.
  const InfoLayout m = ComputeInfoLayout(1.0f, kInfoMaximisedFactor);
  EXPECT_EQ(m.axisNames[0].left, 29 + 22);         // trunc(26 × 1.15) = 29
  EXPECT_EQ(m.gValues[2].left, 29 + 22 + 2 * 161);  // trunc(140 × 1.15) = 161
  EXPECT_EQ(m.speed.left, 618);                    // trunc(530 × 1.15^1.1)
  EXPECT_EQ(m.badge.left, 506);                    // 440 × 1.15 in single precision
  EXPECT_EQ(m.fixOff, Rect::FromSize(506, 54, 185, 100));

  const InfoLayout small = ComputeInfoLayout(0.7272f, 1.0f);
  EXPECT_EQ(small.gValues[2], Rect::FromSize(18 + 15 + 2 * 101, 45, 42, 14));
}

}  // namespace
}  // namespace qv
