// The event points of the fixture drive, from the recordings' own drive data
// through the time index to the graph's event finder, walked as the main
// window walks them (the speeding series first, then the others in order).
#include <gtest/gtest.h>

#include <set>

#include "panels/eventmarks.h"
#include "panels/gsensorplan.h"
#include "recording/drivedatareader.h"
#include "testsupport.h"

namespace qv {
namespace {

// With `only` a series, the points of that series alone.
std::vector<EventPoint> PointsOf(const std::string& path, int only = -1) {
  CDriveDataReader reader;
  EXPECT_TRUE(reader.Open(path)) << path;
  reader.msPerSlot = 1000.0f / 30.0f;
  EXPECT_TRUE(reader.BuildTimeIndex(303));
  const SlotRecords data(reader.sensors.get(), reader.timeIndex.get());
  const auto series = DefaultGraphSeries();
  std::vector<EventPoint> points;
  for (long u = 0; u < data.SlotCount(); ++u) {
    if (only >= 0) {
      FindEventAt(data, series, points, u, only);
      continue;
    }
    FindEventAt(data, series, points, u, kSeriesSpeeding);
    for (int s = 0; s < kGraphSeriesCount; ++s) {
      if (s == kSeriesSpeeding) continue;
      const size_t before = points.size();
      FindEventAt(data, series, points, u, s);
      if (points.size() != before) break;
    }
  }
  return points;
}

TEST(FixtureMarks, TheDriveShowsEveryKindItHolds) {
  std::set<int> kinds;
  for (const char* role : {"run-1-F", "run-2-F", "run-3-F", "run-4-F"}) {
    const std::string path = qvtest::Fixture(role);
    ASSERT_FALSE(path.empty()) << "no fixture recordings (mkrec tests)";
    for (const EventPoint& p : PointsOf(path)) {
      kinds.insert(p.kind);
      EXPECT_GE(p.position, 0);
      EXPECT_LT(p.position, 303);
    }
  }
  // Over speed, the manual press, drive-support acceleration (a record of
  // its own) and the G excursions of the turn and the braking.  Axis letter
  // X gives the steering kind and Y the drop kind.
  for (int k : {kMarkSpeeding, kMarkManual, kMarkSupportAcceleration, kMarkSteering, kMarkDrop})
    EXPECT_TRUE(kinds.count(k)) << k;
  // The support steering and braking records also carry an axis letter: one
  // mark per slot, and the lower (axis) series wins.
  EXPECT_FALSE(kinds.count(kMarkSupportSteering));
  EXPECT_FALSE(kinds.count(kMarkSupportBraking));
  // Asked for the drive-support series alone, the finder lists them.
  const std::vector<EventPoint> support = PointsOf(qvtest::Fixture("run-3-F"), 7);
  ASSERT_FALSE(support.empty());
  EXPECT_EQ(support[0].kind, kMarkSupportBraking);
}

}  // namespace
}  // namespace qv
