// The drive data of the recordings made by the fixture tool (mkrec), read
// back through the names and the reader as the viewer reads a card.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "platform/numtext.h"
#include "recording/drivedatareader.h"
#include "recording/recordingname.h"
#include "testsupport.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

using qvtest::FixtureEntry;

std::vector<const FixtureEntry*> Movies() {
  std::vector<const FixtureEntry*> out;
  for (const FixtureEntry& e : qvtest::FixtureManifest())
    if (e.facts.count("camera")) out.push_back(&e);
  return out;
}

// "2025-03-05T09:15:20"
CivilTime ParseStart(const std::string& s) {
  auto n = [&](size_t at, size_t len) { return ReadIntField(s.substr(at, len)); };
  return NormalizeCivil(n(0, 4), n(5, 2), n(8, 2), n(11, 2), n(14, 2), n(17, 2));
}

template <class F>
int Count(const CDriveDataReader& r, F pred) {
  int n = 0;
  for (const SensorSample& s : *r.sensors) n += pred(s) ? 1 : 0;
  return n;
}

TEST(FixtureRecordings, NamesTimesAndDriveDataMatchTheManifest) {
  const std::vector<const FixtureEntry*> movies = Movies();
  ASSERT_GE(movies.size(), 20u) << "no MANIFEST.txt under " << qvtest::FixtureDir();
  for (const FixtureEntry* e : movies) {
    const FixtureEntry& m = *e;
    SCOPED_TRACE(m.role + " " + m.path);
    const std::string trigger = m.facts.at("trigger");
    const bool front = m.facts.at("camera") == "F";
    EXPECT_EQ(IsRecordingFileName(m.path), trigger != "_");
    EXPECT_EQ(IsFrontRecordingFileName(m.path), front && trigger != "_");
    EXPECT_EQ(IsRearRecordingFileName(m.path), !front && trigger != "_");
    EXPECT_EQ(GetRecordingDateTime(m.path), ParseStart(m.facts.at("start")));

    CDriveDataReader r;
    ASSERT_TRUE(r.Open(m.path));
    const bool hasBlock = m.Int("block") > 0 && m.facts.at("layout") != "truncated";
    const int records = hasBlock ? m.Int("records") : 0;
    ASSERT_EQ(static_cast<int>(r.gps->size()), records);
    const bool lapse = m.facts.at("rate") == "T";
    if (records > 0) {
      EXPECT_EQ(r.head.rateLetter, lapse ? 'T' : 'N');
      EXPECT_EQ(r.gps->front().localTime, ParseStart(m.facts.at("start")));
      // Ten records a second; in time-lapse files one a second of real time.
      const int64_t start = ToSeconds(ParseStart(m.Text("start")));
      for (size_t i = 0; i < r.gps->size(); ++i)
        ASSERT_EQ(ToSeconds((*r.gps)[i].localTime) - start, static_cast<int64_t>(lapse ? i : i / 10)) << i;
    }

    // One time slot per video frame.
    const int fps = m.Int("fps");
    r.msPerSlot = 1000.0f / static_cast<float>(fps);
    ASSERT_TRUE(r.BuildTimeIndex(m.Int("seconds") * fps));
    if (records > 0) {
      EXPECT_EQ(r.timeIndex->size(), static_cast<size_t>(m.Int("seconds") * fps));
      for (const SensorSample* s : *r.timeIndex) ASSERT_NE(s, nullptr);
      // The index follows a slot behind where a record's slot number was
      // truncated; it still ends on the last samples.
      EXPECT_GE(r.timeIndex->back()->recordIndex, records - 2);
      EXPECT_GT(r.maxAbsG, 0.0);
    } else {
      EXPECT_TRUE(r.timeIndex->empty());
    }
  }
}

TEST(FixtureRecordings, EventsHemispheresAndTriggerTexts) {
  std::map<std::string, FixtureEntry> byRole;
  for (const FixtureEntry* m : Movies()) byRole[m->role] = *m;
  ASSERT_TRUE(byRole.count("south-west-F") && byRole.count("shock-F") && byRole.count("run-1-F"));

  CDriveDataReader r;
  ASSERT_TRUE(r.Open(byRole["south-west-F"].path));
  int valid = 0;
  for (const GpsSample& g : *r.gps) {
    if (!g.valid) continue;
    ++valid;
    EXPECT_LT(g.latitude, -30.0);
    EXPECT_LT(g.longitude, -60.0);
  }
  EXPECT_GT(valid, 0);

  // One mark per trigger; a parked car stands still; a short drive is a
  // gentle cruise without marks.
  auto kind = [](int k) { return [k](const SensorSample& s) { return s.kind == k; }; };
  ASSERT_TRUE(r.Open(byRole["shock-F"].path));
  EXPECT_EQ(Count(r, kind(kEventEmergencyStop)), 1);
  ASSERT_TRUE(r.Open(byRole["manual-F"].path));
  EXPECT_EQ(Count(r, kind(kEventManual)), 1);
  ASSERT_TRUE(r.Open(byRole["parking-F"].path));
  EXPECT_EQ(r.sensors->front().kind, kEventParking);
  EXPECT_EQ(Count(r, kind(kEventParking)), 1);
  for (const GpsSample& g : *r.gps) EXPECT_EQ(g.speed, 0.0);
  ASSERT_TRUE(r.Open(byRole["parking-shock-F"].path));
  EXPECT_EQ(Count(r, [](const SensorSample& s) { return s.axis != 0; }), 1);
  ASSERT_TRUE(r.Open(byRole["front-only-F"].path));
  EXPECT_EQ(Count(r, [](const SensorSample& s) { return s.axis || std::fabs(s.gX) >= 0.2 || std::fabs(s.gY) >= 0.2; }),
            0);

  // The run of four pairs is one drive: both cameras carry the same drive
  // data, times and positions continue from pair to pair, the first second has
  // no fix, and the drive holds a turn, braking, pulling away and over-speed spans.
  bool overSpeed = false, steering = false, braking = false, accelerating = false;
  GpsSample last;
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(i);
    const FixtureEntry& front = byRole["run-" + std::to_string(i) + "-F"];
    CDriveDataReader rear;
    ASSERT_TRUE(rear.Open(byRole["run-" + std::to_string(i) + "-R"].path));
    ASSERT_TRUE(r.Open(front.path));
    ASSERT_EQ(r.gps->size(), rear.gps->size());
    for (size_t k = 0; k < r.gps->size(); ++k) {
      EXPECT_EQ((*r.gps)[k].latitude, (*rear.gps)[k].latitude) << k;
      EXPECT_EQ((*r.gps)[k].localTime, (*rear.gps)[k].localTime) << k;
      EXPECT_EQ((*r.gps)[k].valid, i > 1 || k >= 10) << k;
    }
    if (i > 1) {
      EXPECT_EQ(ToSeconds(r.gps->front().localTime), ToSeconds(last.localTime) + 1);
      EXPECT_NEAR(r.gps->front().latitude, last.latitude, 0.0003);
      EXPECT_NEAR(r.gps->front().longitude, last.longitude, 0.0003);
    }
    last = r.gps->back();
    for (const SensorSample& s : *r.sensors) {
      overSpeed |= s.overSpeed == kEventOverSpeed;
      steering |= s.kind == kEventSteering;
      braking |= s.kind == kEventBraking;
      accelerating |= s.kind == kEventAcceleration;
    }
  }
  EXPECT_TRUE(overSpeed && steering && braking && accelerating);

  EXPECT_EQ(GetTriggerText(byRole["run-1-F"].path), GetUiText(UiText::TriggerNormal));
  EXPECT_EQ(GetTriggerText(byRole["timelapse-F"].path), GetUiText(UiText::TriggerTimeLapse));
  EXPECT_EQ(GetTriggerText(byRole["parking-shock-R"].path), GetUiText(UiText::TriggerParkingShock));

  std::string front, rear;
  ASSERT_EQ(ResolvePair(byRole["run-2-R"].path, {}, front, rear), 1);
  EXPECT_EQ(front, byRole["run-2-F"].path);
  EXPECT_EQ(rear, byRole["run-2-R"].path);
}

}  // namespace
}  // namespace qv
