// The drive data of the recordings made by the fixture tool (mkrec), read
// back through the names and the reader as the viewer reads a card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "recording/drivedatareader.h"
#include "recording/recordingname.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

struct Movie {
  std::string role;
  std::string path;
  std::map<std::string, std::string> facts;
  int Int(const std::string& key) const { return std::atoi(facts.at(key).c_str()); }
};

std::string FixtureDir() {
  const char* env = std::getenv("QV_FIXTURE_DIR");
  return env && *env ? env : QV_FIXTURE_DIR;
}

std::vector<Movie> Movies() {
  std::vector<Movie> out;
  std::ifstream in(FixtureDir() + "/MANIFEST.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Movie m;
    std::string rel, facts;
    std::getline(fields, m.role, '\t');
    std::getline(fields, rel, '\t');
    std::getline(fields, facts);
    m.path = FixtureDir() + "/" + rel;
    std::istringstream words(facts);
    for (std::string w; words >> w;) {
      const size_t eq = w.find('=');
      if (eq != std::string::npos) m.facts[w.substr(0, eq)] = w.substr(eq + 1);
    }
    if (m.facts.count("camera")) out.push_back(m);
  }
  return out;
}

// "2025-03-05T09:15:20"
CivilTime ParseStart(const std::string& s) {
  auto n = [&](size_t at, size_t len) { return std::atoi(s.substr(at, len).c_str()); };
  return NormalizeCivil(n(0, 4), n(5, 2), n(8, 2), n(11, 2), n(14, 2), n(17, 2));
}

bool HasKind(const CDriveDataReader& r, int kind) {
  for (const SensorSample& s : *r.sensors)
    if (s.kind == kind) return true;
  return false;
}

TEST(FixtureRecordings, NamesTimesAndDriveDataMatchTheManifest) {
  const std::vector<Movie> movies = Movies();
  ASSERT_GE(movies.size(), 20u) << "no MANIFEST.txt under " << FixtureDir();
  for (const Movie& m : movies) {
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
    if (records == 1000) {
      EXPECT_EQ(r.mapCount, 1) << "the fast path reads the block alone";
    }
    const bool lapse = m.facts.at("rate") == "T";
    if (records > 0) {
      EXPECT_EQ(r.msPerRecord, lapse ? kMsPerRecordTimeLapse : kMsPerRecordNormal);
      EXPECT_EQ(r.head.rateLetter, lapse ? 'T' : 'N');
      EXPECT_EQ(r.gps->front().localTime, ParseStart(m.facts.at("start")));
      for (size_t i = 1; i < r.gps->size(); ++i)
        ASSERT_LE(ToSeconds((*r.gps)[i - 1].localTime), ToSeconds((*r.gps)[i].localTime)) << i;
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
  std::map<std::string, Movie> byRole;
  for (const Movie& m : Movies()) byRole[m.role] = m;
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

  ASSERT_TRUE(r.Open(byRole["shock-F"].path));
  EXPECT_TRUE(HasKind(r, kEventEmergencyStop));
  ASSERT_TRUE(r.Open(byRole["manual-F"].path));
  EXPECT_TRUE(HasKind(r, kEventManual));
  ASSERT_TRUE(r.Open(byRole["parking-F"].path));
  EXPECT_EQ(r.sensors->front().kind, kEventParking);

  // The run of four pairs holds the drive's turn, braking, pulling away and over-speed spans.
  bool overSpeed = false, steering = false, braking = false, accelerating = false;
  for (int i = 1; i <= 4; ++i) {
    ASSERT_TRUE(r.Open(byRole["run-" + std::to_string(i) + "-F"].path));
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
