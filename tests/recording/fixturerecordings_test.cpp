// The recordings made by the fixture tool (mkrec), read back through the
// names, the drive-data reader and the movie index as the viewer reads a card.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/drivedatareader.h"
#include "recording/movieindex.h"
#include "recording/recordingname.h"
#include "testsupport.h"

namespace qv {
namespace {

using qvtest::FixtureEntry;

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

TEST(FixtureRecordings, NamesDriveDataAndIndexMatchTheManifest) {
  ASSERT_GE(qvtest::FixtureMovies().size(), 20u) << "no MANIFEST.txt under " << qvtest::FixtureDir();
  for (const FixtureEntry* e : qvtest::FixtureMovies()) {
    const FixtureEntry& m = *e;
    SCOPED_TRACE(m.role + " " + m.path);
    const std::string trigger = m.facts.at("trigger");
    const bool front = m.facts.at("camera") == "F";
    const CivilTime start = ParseStart(m.facts.at("start"));
    EXPECT_EQ(IsFrontRecordingFileName(m.path), front && trigger != "_");
    EXPECT_EQ(IsRearRecordingFileName(m.path), !front && trigger != "_");
    EXPECT_EQ(GetRecordingDateTime(m.path), start);

    CDriveDataReader r;
    ASSERT_TRUE(r.Open(m.path));
    const bool truncated = m.Text("layout") == "truncated";
    const int records = m.Int("block") > 0 && !truncated ? m.Int("records") : 0;
    ASSERT_EQ(static_cast<int>(r.gps->size()), records);
    const bool lapse = m.facts.at("rate") == "T";
    if (records > 0) {
      EXPECT_EQ(r.head.rateLetter, lapse ? 'T' : 'N');
      // Ten records a second; in time-lapse files one a second of real time.
      for (size_t i = 0; i < r.gps->size(); ++i)
        ASSERT_EQ(ToSeconds((*r.gps)[i].localTime) - ToSeconds(start), static_cast<int64_t>(lapse ? i : i / 10)) << i;
    }
    // One time slot per video frame.
    const int fps = m.Int("fps"), frames = m.Int("seconds") * fps;
    r.msPerSlot = 1000.0f / static_cast<float>(fps);
    ASSERT_TRUE(r.BuildTimeIndex(frames));
    if (records > 0) {
      EXPECT_EQ(r.timeIndex->size(), static_cast<size_t>(frames));
      for (const SensorSample* s : *r.timeIndex) ASSERT_NE(s, nullptr);
      // The index follows a slot behind where a record's slot number was
      // truncated; it still ends on the last samples.
      EXPECT_GE(r.timeIndex->back()->recordIndex, records - 2);
      EXPECT_GT(r.maxAbsG, 0.0);
    } else {
      EXPECT_TRUE(r.timeIndex->empty());
    }

    EXPECT_EQ(CheckFile(m.path), !truncated && m.Int("block") > 0);
    Mp4MoviePtr movie(OpenMp4Movie(m.path));
    if (truncated) {
      EXPECT_FALSE(movie);  // the media data runs past the end of the file
      continue;
    }
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->blockCount, m.Int("records"));
    EXPECT_EQ(GetMovieFrameSize(*movie), std::make_pair(int(m.Int("width")), int(m.Int("height"))));
    EXPECT_EQ(GetMovieSampleCount(*movie), frames);
    EXPECT_NEAR(GetSampleRate(*movie), fps, 0.01);
    const FrameTiming t = ProbeFrameTiming(m.path);
    EXPECT_EQ(t.answer, 1);
    EXPECT_FLOAT_EQ(t.frameMs, static_cast<float>(1000 / fps));
    uint32_t count = 0;
    EXPECT_GT(GetTrackDataSize(m.path, &count), 0u);
    EXPECT_EQ(count, frames);
  }
}

TEST(FixtureRecordings, EventsAndHemispheres) {
  CDriveDataReader r;
  ASSERT_TRUE(r.Open(qvtest::Fixture("south-west-F")));
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
  for (auto [role, k] :
       {std::pair{"shock-F", kEventEmergencyStop}, {"manual-F", kEventManual}, {"parking-F", kEventParking}}) {
    ASSERT_TRUE(r.Open(qvtest::Fixture(role)));
    EXPECT_EQ(Count(r, kind(k)), 1) << role;
  }
  EXPECT_EQ(r.sensors->front().kind, kEventParking);
  for (const GpsSample& g : *r.gps) EXPECT_EQ(g.speed, 0.0);
  ASSERT_TRUE(r.Open(qvtest::Fixture("parking-shock-F")));
  EXPECT_EQ(Count(r, [](const SensorSample& s) { return s.axis != 0; }), 1);
  ASSERT_TRUE(r.Open(qvtest::Fixture("front-only-F")));
  EXPECT_EQ(Count(r, [](const SensorSample& s) { return s.axis || std::fabs(s.gX) >= 0.2 || std::fabs(s.gY) >= 0.2; }),
            0);

  // The run of four pairs is one drive: both cameras carry the same drive
  // data, times and positions continue from pair to pair, the first second has
  // no fix, and the drive holds a turn, braking, pulling away and over-speed spans.
  bool overSpeed = false, steering = false, braking = false, accelerating = false;
  GpsSample last;
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(i);
    CDriveDataReader rear;
    ASSERT_TRUE(rear.Open(qvtest::Fixture("run-" + std::to_string(i) + "-R")));
    ASSERT_TRUE(r.Open(qvtest::Fixture("run-" + std::to_string(i) + "-F")));
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
}

}  // namespace
}  // namespace qv
