// The reader, the index helpers and the join on the fixture tool's recordings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "mp4testfiles.h"
#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/movieindex.h"
#include "recording/mp4join.h"

using namespace mp4test;

namespace {

struct Entry {
  std::string path;
  std::map<std::string, std::string> facts;
  int64_t Int(const std::string& key) const {
    int64_t v = -1;
    auto it = facts.find(key);
    if (it != facts.end()) qv::ParseInt64(it->second, v);
    return v;
  }
};

std::string FixtureDir() {
  const char* d = std::getenv("QV_FIXTURE_DIR");
  return d && *d ? d : QV_FIXTURE_DIR;
}

std::map<std::string, Entry> Manifest() {
  std::map<std::string, Entry> roles;
  std::ifstream in(FixtureDir() + "/MANIFEST.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream cols(line);
    std::string role, path, facts;
    std::getline(cols, role, '\t');
    std::getline(cols, path, '\t');
    std::getline(cols, facts);
    Entry e;
    e.path = FixtureDir() + "/" + path;
    std::istringstream words(facts);
    std::string w;
    while (words >> w) {
      size_t eq = w.find('=');
      if (eq != std::string::npos) e.facts[w.substr(0, eq)] = w.substr(eq + 1);
    }
    roles[role] = e;
  }
  return roles;
}

TEST(Mp4Fixtures, ReaderAndIndexAgreeWithTheManifest) {
  auto roles = Manifest();
  ASSERT_GT(roles.size(), 20u);
  int movies = 0;
  for (const auto& [role, e] : roles) {
    if (e.facts.count("camera") == 0) continue;
    SCOPED_TRACE(role);
    ++movies;
    const bool truncated = e.facts.at("layout") == "truncated";
    EXPECT_EQ(qv::CheckFile(e.path), !truncated && e.Int("block") > 0);
    qv::Mp4MoviePtr m(qv::OpenMp4Movie(e.path));
    if (truncated) {
      // The media data runs past the end of the file.
      EXPECT_FALSE(m);
      continue;
    }
    ASSERT_TRUE(m);
    EXPECT_EQ(m->blockCount, static_cast<uint32_t>(e.Int("records")));
    EXPECT_EQ(m->hasBlock, e.Int("block") > 0);
    EXPECT_EQ(qv::GetMovieFrameSize(*m), std::make_pair(static_cast<int>(e.Int("width")),
                                                         static_cast<int>(e.Int("height"))));
    EXPECT_EQ(qv::GetMovieSampleCount(*m), e.Int("seconds") * e.Int("fps"));
    EXPECT_NEAR(qv::GetSampleRate(*m), static_cast<double>(e.Int("fps")), 0.01);
    qv::FrameTiming t = qv::ProbeFrameTiming(*m);
    EXPECT_EQ(t.answer, 1);
    EXPECT_FLOAT_EQ(t.frameMs, static_cast<float>(1000 / e.Int("fps")));
    EXPECT_NEAR(t.durationSec, static_cast<double>(e.Int("seconds")), 0.01);
    uint32_t count = 0;
    EXPECT_GT(qv::GetTrackDataSize(e.path, &count), 0u);
    EXPECT_EQ(count, static_cast<uint32_t>(e.Int("seconds") * e.Int("fps")));
  }
  EXPECT_GT(movies, 20);
}

class Mp4FixtureJoin : public ::testing::Test {
 protected:
  void SetUp() override { out_ = NewFolder("mp4fixture"); }
  void TearDown() override { RunCommand("rm -rf '" + out_ + "'"); }
  std::string out_;
};

TEST_F(Mp4FixtureJoin, JoinsTheFourRunPairs) {
  auto roles = Manifest();
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(roles["run-1-F"].path, roles["run-1-R"].path));
  for (int i = 2; i <= 4; ++i) {
    std::string n = qv::FormatInt(i);
    ASSERT_TRUE(join.AppendMovie(roles["run-" + n + "-F"].path, roles["run-" + n + "-R"].path));
  }
  ASSERT_EQ(join.rearOk, 1);
  std::string f = out_ + "/001_091520AN_F.MP4", r = out_ + "/001_091520AN_R.MP4";
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, f));
  ASSERT_TRUE(qv::WriteMp4Movie(*join.rear, r));
  ExpectJoined(f, {roles["run-1-F"].path, roles["run-2-F"].path, roles["run-3-F"].path, roles["run-4-F"].path});
  ExpectJoined(r, {roles["run-1-R"].path, roles["run-2-R"].path, roles["run-3-R"].path, roles["run-4-R"].path});
}

TEST_F(Mp4FixtureJoin, JoinsMoovFirstWithRecorderLayoutAndSkipsAMissingRear) {
  auto roles = Manifest();
  qv::sMULTIMOVIE join;
  ASSERT_TRUE(join.OpenPair(roles["faststart-F"].path, roles["faststart-R"].path));
  // front-only has no rear: the rear output is dropped, the front goes on.
  ASSERT_TRUE(join.AppendMovie(roles["front-only-F"].path, roles["front-only-F"].path + ".rear-missing"));
  EXPECT_EQ(join.rearOk, 0);
  ASSERT_TRUE(join.AppendMovie(roles["no-block-F"].path, roles["no-block-R"].path));
  std::string f = out_ + "/013_083000AN_F.MP4";
  ASSERT_TRUE(qv::WriteMp4Movie(*join.front, f));
  ExpectJoined(f, {roles["faststart-F"].path, roles["front-only-F"].path, roles["no-block-F"].path});
  // The truncated recording cannot be appended.
  EXPECT_FALSE(join.AppendMovie(roles["truncated-F"].path, roles["truncated-R"].path));
}

}  // namespace
