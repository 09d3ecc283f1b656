// The G-sensor graph's drawing plan and event search on small synthetic
// sample sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "panels/eventmarks.h"
#include "panels/gsensorplan.h"

namespace qv {
namespace {

// Samples and a time index of `perRecord` slots per record (0: two records
// per slot, as in a normal-rate file with more records than frames).
struct Data {
  std::vector<SensorSample> samples;
  std::vector<SensorSample*> index;
  explicit Data(int records, int perRecord = 1) {
    samples.resize(static_cast<size_t>(records));
    for (int i = 0; i < records; ++i) samples[static_cast<size_t>(i)].recordIndex = i;
    if (perRecord == 0) {
      for (int i = 0; i < records; i += 2) index.push_back(&samples[static_cast<size_t>(i)]);
    } else {
      for (auto& s : samples)
        for (int k = 0; k < perRecord; ++k) index.push_back(&s);
    }
    for (int i = 0; i < records; ++i) samples[static_cast<size_t>(i)].time = perRecord ? i * perRecord : i / 2;
  }
  SlotRecords View() const { return SlotRecords(&samples, &index); }
  SensorSample& operator[](int i) { return samples[static_cast<size_t>(i)]; }
};

GraphGeometry Geometry(int width, int slots) {
  GraphGeometry g;
  g.clientWidth = width;
  g.clientHeight = 142;
  g.margin = 40;
  g.positionRange = slots;
  g.tileSpacing = 609;
  g.hasData = 1;
  return g;
}

std::vector<int> MarkKinds(const GraphPlan& p) {
  std::vector<int> k;
  for (const auto& m : p.marks) k.push_back(m.kind);
  return k;
}

TEST(GraphPlan, CurvesAreClampedAndFlatRunsThinned) {
  Data d(40, 3);
  for (int i = 0; i < 40; ++i) d[i].gX = 0.5;
  d[10].gY = 3.7;
  d[11].gY = -3.7;
  d[12].gY = 2.0;
  auto series = DefaultGraphSeries();
  GraphPlan p;
  PlanGraph(Geometry(40 + 1 + 120, 120), d.View(), series, p);  // one pixel per slot
  ASSERT_TRUE(p.painted);
  const int centre = 71, limit = 71 - 5;
  int xSegments = 0;
  std::vector<int> yTargets;
  for (const auto& s : p.segments) {
    EXPECT_GE(s.y1, centre - limit);
    EXPECT_LE(s.y1, centre + limit);
    if (s.axis == 0) ++xSegments;
    if (s.axis == 1 && s.y1 != centre) yTargets.push_back(s.y1);
  }
  // 40 equal X values: one segment per 7 records plus the closing one.
  EXPECT_EQ(xSegments, 40 / 7 + 1);
  // 3.7, -3.7 and 2.0 all land on the clamp limit.
  ASSERT_GE(yTargets.size(), 3u);
  EXPECT_EQ(yTargets[0], centre - limit);
  EXPECT_EQ(yTargets[1], centre + limit);
  EXPECT_EQ(yTargets[2], centre - limit);
  // Slots sharing a record make one step: no segment ends between records.
  for (const auto& s : p.segments)
    if (s.x1 != 40 + 120) {
      EXPECT_EQ((s.x1 - 40) % 3, 0) << s.x1;
    }
}

TEST(GraphPlan, MarksOnePerSlotLowerSeriesFirstWithSpeedingBand) {
  Data d(30, 2);
  d[3].axis = 1;  // an X event and a manual recording on one record
  d[3].kind = kEventManual;
  d[6].kind = kEventEmergencyStop;
  for (int i = 10; i < 15; ++i) d[i].overSpeed = kEventOverSpeed;
  auto series = DefaultGraphSeries();
  GraphPlan p;
  // 60 slots over 180 pixels: 3 pixels per slot, 6 per record.
  PlanGraph(Geometry(40 + 1 + 180, 60), d.View(), series, p);
  EXPECT_EQ(MarkKinds(p), (std::vector<int>{kMarkAcceleration, kMarkEmergencyStop, kMarkSpeeding}));
  EXPECT_EQ(p.marks[0].x, 40 + 3 * 6);
  EXPECT_EQ(p.marks[2].x, 40 + 10 * 6);
  EXPECT_EQ(p.marks[0].y, MarkLineBottom(142, 1.0f));
  // The band covers every column of the stretch, gaps included, 2 px wide.
  std::vector<int> cols;
  for (const auto& b : p.band) {
    EXPECT_EQ(b.width, 2);
    EXPECT_EQ(b.y + b.height, MarkLineBottom(142, 1.0f));
    cols.push_back(b.x);
  }
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
  for (int x = 40 + 60; x <= 40 + 84; ++x) EXPECT_TRUE(std::binary_search(cols.begin(), cols.end(), x)) << x;

  // Hidden series 4 stops its kind; hidden series 0 lets the manual mark through.
  series[4].shown = 0;
  series[0].shown = 0;
  PlanGraph(Geometry(40 + 1 + 180, 60), d.View(), series, p);
  EXPECT_EQ(MarkKinds(p), (std::vector<int>{kMarkManual, kMarkSpeeding}));
}

TEST(GraphPlan, WindowSlidesWhenSlotsOutnumberPixels) {
  Data d(1000, 3);
  d[900].kind = kEventParking;
  auto series = DefaultGraphSeries();
  GraphGeometry g = Geometry(40 + 1 + 300, 3000);
  g.cursor = 2800;
  GraphPlan p;
  PlanGraph(g, d.View(), series, p);
  const double start = (1.0 - 300.0 / 3000.0) * 2800;  // about 2520
  int i = 0;
  while (std::trunc(i + start) < 2700) ++i;
  ASSERT_EQ(MarkKinds(p), std::vector<int>{kMarkParking});
  EXPECT_EQ(p.marks[0].x, 40 + i);
  EXPECT_EQ(p.cursorX, 40 + static_cast<int>(2800 * (301.0f / 3000.0f)));
}

TEST(GraphPlan, DegenerateGeometryNeitherHangsNorReadsOutside) {
  Data d(10, 1);
  auto series = DefaultGraphSeries();
  GraphPlan p;
  GraphGeometry g = Geometry(200, 10);
  g.tileSpacing = 0;
  PlanGraph(g, d.View(), series, p);
  EXPECT_FALSE(p.painted);
  g.tileSpacing = -5;
  PlanGraph(g, d.View(), series, p);
  EXPECT_FALSE(p.painted);
  g = Geometry(200, 10);
  g.s = 0.1f;  // the tile grid and the mark rows round to 0 pixels
  g.clientHeight = 3;
  PlanGraph(g, d.View(), series, p);
  EXPECT_TRUE(p.painted);
  g.s = 0.02f;  // the mark-row and band units round to 0 pixels too
  d[4].kind = kEventManual;
  d[5].overSpeed = kEventOverSpeed;
  PlanGraph(g, d.View(), series, p);
  EXPECT_EQ(MarkKinds(p), (std::vector<int>{kMarkManual, kMarkSpeeding}));
  EXPECT_EQ(p.marks[0].y, 0);
  g = Geometry(30, 10);  // no drawable width
  g.cursor = -1;
  PlanGraph(g, d.View(), series, p);
  EXPECT_TRUE(p.segments.empty());
  g = Geometry(40 + 1 + 5, 100);  // cursor -1 with more slots than pixels
  g.cursor = -1;
  Data many(100, 1);
  PlanGraph(g, many.View(), series, p);
  EXPECT_FALSE(p.segments.empty());
  g.cursor = 100;  // beyond the index: background only
  PlanGraph(g, many.View(), series, p);
  EXPECT_TRUE(p.segments.empty());
  PlanGraph(Geometry(200, 10), SlotRecords(), series, p);
  EXPECT_TRUE(p.segments.empty());
  EXPECT_EQ(GetPixelsPerSlot(30, 40, 1.0f, 10), 0.0);
}

TEST(GraphPlan, ClosingMarkStaysInsideTheClient) {
  // 31 slots over 31 pixels at scale 0.75: the last slot's closing
  // duplicate would land at x = 71.
  Data d(31, 1);
  d[30].kind = kEventManual;
  auto series = DefaultGraphSeries();
  GraphPlan p;
  GraphGeometry g = Geometry(71, 31);
  g.s = 0.75f;
  PlanGraph(g, d.View(), series, p);
  for (const auto& m : p.marks) EXPECT_LT(m.x, 71);
  EXPECT_EQ(MarkKinds(p), std::vector<int>{kMarkManual});
}

TEST(GraphPlan, EventsOnRecordsTheIndexSkipsStillShow) {
  auto series = DefaultGraphSeries();
  GraphPlan p;
  // Two records per slot: the emergency stop on an odd record.
  Data twice(40, 0);
  twice[13].kind = kEventEmergencyStop;
  PlanGraph(Geometry(40 + 1 + 40, 20), twice.View(), series, p);
  ASSERT_EQ(MarkKinds(p), std::vector<int>{kMarkEmergencyStop});
  EXPECT_EQ(p.marks[0].x, 40 + 2 * 6);  // slot 6 holds records 12 and 13
  std::vector<EventPoint> points;
  EXPECT_EQ(FindEventAt(twice.View(), series, points, 6, 4), 0);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].record, 13);
  // A run continued on the next indexed record gives no second mark.
  twice[14].kind = kEventEmergencyStop;
  PlanGraph(Geometry(40 + 1 + 40, 20), twice.View(), series, p);
  EXPECT_EQ(MarkKinds(p).size(), 1u);

  // As many slots as records, the index one slot behind: the last record is
  // in no slot, its event shows at the last slot.
  Data lag(10, 1);
  for (int u = 1; u < 10; ++u) lag.index[static_cast<size_t>(u)] = &lag.samples[static_cast<size_t>(u - 1)];
  lag[9].kind = kEventSteering;
  PlanGraph(Geometry(40 + 1 + 100, 10), lag.View(), series, p);
  ASSERT_EQ(MarkKinds(p), std::vector<int>{kMarkSupportSteering});
  EXPECT_EQ(p.marks[0].x, 40 + 90);
}

TEST(GraphPlan, FindEventAtMarksRunStartsOfClickableKinds) {
  Data d(10, 2);
  for (int i = 2; i < 5; ++i) d[i].kind = kEventParking;
  d[7].axis = 2;
  auto series = DefaultGraphSeries();
  std::vector<EventPoint> points;
  for (long u = 0; u < 20; ++u)
    for (int s = 0; s < kGraphSeriesCount; ++s)
      if (FindEventAt(d.View(), series, points, u, s) == 0) break;
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].kind, kMarkParking);
  EXPECT_EQ(points[0].slot, 4);
  EXPECT_EQ(points[0].series, 5);
  EXPECT_EQ(points[1].kind, kMarkSteering);
  EXPECT_EQ(points[1].position, 14);
  // A kind whose series is not clickable answers 0 without a point.
  series[5].clickable = 0;
  points.clear();
  EXPECT_EQ(FindEventAt(d.View(), series, points, 4, 5), 0);
  EXPECT_TRUE(points.empty());
  EXPECT_EQ(FindEventAt(d.View(), series, points, 0, 5), 1);
  EXPECT_EQ(FindEventAt(SlotRecords(), series, points, 0, 5), 0);
}

TEST(GraphPlan, ScaleAndMarkTables) {
  EXPECT_EQ(ScaleModeForMaxG(1.5), 3);
  EXPECT_EQ(ScaleModeForMaxG(0.49), 0);
  EXPECT_EQ(GlyphRowTop(213, 1.5f, 1.5f, 2), 213 - 7 + 2 * 2);
  // The axis codes the decoder gives map to the graph's kinds 0, 2 and 3.
  SensorSample x;
  x.axis = 1;
  EXPECT_EQ(ClassifySample(0, x), kMarkAcceleration);
  x.axis = 3;
  EXPECT_EQ(ClassifySample(2, x), kMarkDrop);
  for (const auto& m : EventMarkTable()) EXPECT_NE(*EventMarkName(m.kind), '\0') << m.kind;
  EXPECT_EQ(FindEventMark(12), nullptr);
}

}  // namespace
}  // namespace qv
