// The recordings made by `mkrec tests` (the `recordings` fixture) as files:
// the tree, the box layouts, and that ffprobe reads them.  What they hold is
// checked through the recording library's readers (tests/recording); the
// player, slot and join tests play them through GStreamer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mp4layout.h"
#include "runprogram.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using namespace qv::rec;
using qvtest::FixtureEntry;
using qvtest::FixtureManifest;
using qvtest::ReadText;

TEST(Fixtures, TreeAndBoxLayouts) {
  const std::string root = qvtest::FixtureDir();
  ASSERT_FALSE(FixtureManifest().empty()) << "no " << root << "/MANIFEST.txt; run the make_fixtures test";
  EXPECT_TRUE(fs::is_directory(root + "/card/Delete Folder"));
  EXPECT_EQ(ReadText(root + "/card/DRFormatConfig.dfc").substr(16, 11), "QVTEST01102");
  // Every file of the tree is listed, and nothing half-made is left behind.
  std::set<std::string> listed;
  for (const FixtureEntry& e : FixtureManifest()) listed.insert(fs::relative(e.path, root).string());
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(item.path(), root).string();
    EXPECT_NE(item.path().filename().string()[0], '.') << rel;
    if (item.is_regular_file() && rel != "MANIFEST.txt") {
      EXPECT_TRUE(listed.count(rel)) << rel;
    }
  }
  std::string rear = qvtest::Fixture("front-only-F");
  ASSERT_FALSE(rear.empty());
  rear.replace(rear.size() - 5, 1, "R");
  EXPECT_FALSE(fs::exists(rear));

  // ftyp, then mdat and moov in the layout's order; the block (or nothing)
  // follows the last box up to the end of the file.
  for (const FixtureEntry* e : qvtest::FixtureMovies()) {
    SCOPED_TRACE(e->role);
    std::vector<TopBox> boxes;
    std::string error;
    ASSERT_TRUE(ListTopBoxes(e->path, boxes, error, true)) << error;
    if (e->Text("layout") == "truncated") {
      for (const TopBox& b : boxes) EXPECT_NE(b.type, "moov");
      continue;
    }
    ASSERT_EQ(boxes.size(), 3u);
    const bool fast = e->Text("layout") == "ftyp-moov-mdat";
    EXPECT_EQ(boxes[0].type + boxes[1].type + boxes[2].type, fast ? "ftypmoovmdat" : "ftypmdatmoov");
    EXPECT_EQ(static_cast<int64_t>(boxes[2].offset + boxes[2].size), e->Int("size") - e->Int("block"));
  }
}

TEST(Fixtures, FfprobeReadsEveryRecording) {
  if (!ProgramAvailable("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
  for (const FixtureEntry* e : qvtest::FixtureMovies()) {
    SCOPED_TRACE(e->path);
    std::string out, error;
    bool ok = RunProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height,time_base", "-of",
                          "csv=p=0", e->path},
                         error, &out);
    if (e->Text("layout") == "truncated") {
      EXPECT_FALSE(ok);
      continue;
    }
    ASSERT_TRUE(ok) << error << out;
    std::string expected = "h264," + e->Text("width") + "," + e->Text("height") + ",1/1000000\n";
    if (e->Text("audio") == "1") expected += "aac,1/48000\n";
    EXPECT_EQ(out, expected);
  }
  // A key frame every 15 frames.
  std::string out, error;
  ASSERT_TRUE(RunProgram({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=flags", "-of",
                          "csv=p=0", qvtest::Fixture("run-1-F")},
                         error, &out))
      << error;
  std::istringstream lines(out);
  int index = 0;
  for (std::string line; std::getline(lines, line); ++index) EXPECT_EQ(line[0] == 'K', index % 15 == 0) << index;
  EXPECT_EQ(index, qvtest::FixtureFact("run-1-F", "seconds") * 30);
}

TEST(Mkrec, PairIsDeterministicAndNeverOverwrites) {
  const qvtest::TempDir dir;
  const fs::path base = dir.path();
  const std::vector<std::string> args = {"--count", "2", "--seconds", "2", "--front", "160x90",
                                         "--rear", "128x72", "--seed", "7"};
  auto run = [&](const fs::path& to, std::vector<std::string> extra, std::string* out = nullptr) {
    std::vector<std::string> argv = {QV_MKREC, "pair", to.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::string error, sink;
    return RunProgram(argv, error, out ? out : &sink);
  };
  ASSERT_TRUE(run(base / "a", args));
  ASSERT_TRUE(run(base / "b", args));
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(base / "a"))
    if (item.is_regular_file()) names.push_back(fs::relative(item.path(), base / "a").string());
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {"20250408_001/001_080000AN_F.MP4", "20250408_001/001_080000AN_R.MP4",
                                             "20250408_001/002_080002AN_F.MP4", "20250408_001/002_080002AN_R.MP4"};
  EXPECT_EQ(names, expected);
  for (const std::string& n : names) {
    const std::string a = ReadText((base / "a" / n).string());
    EXPECT_EQ(a, ReadText((base / "b" / n).string())) << n;
    EXPECT_EQ(a.substr(a.size() - 6), "CSOEND") << n;
  }
  // A second run into the same place refuses and leaves the files alone.
  const std::string first = (base / "a" / names[0]).string();
  const std::string before = ReadText(first);
  std::string out;
  EXPECT_FALSE(run(base / "a", args, &out));
  EXPECT_NE(out.find("not overwritten"), std::string::npos) << out;
  EXPECT_EQ(ReadText(first), before);
  // Bad options make nothing.
  EXPECT_FALSE(run(base / "c", {"--front", "160x"}));
  EXPECT_FALSE(run(base / "c", {"--trigger", "Q"}));
  EXPECT_FALSE(run(base / "c", {"--count", "0"}));
  EXPECT_FALSE(fs::exists(base / "c"));
}

TEST(Mkrec, TreesReplaceOnlyWhatMkrecMade) {
  const qvtest::TempDir dir;
  const fs::path base = dir.path();
  fs::create_directories(base / "mine");
  ASSERT_TRUE(qvtest::WriteText((base / "mine" / "notes.txt").string(), "keep"));
  for (const char* cmd : {"tests", "demo"}) {
    std::string out, error;
    EXPECT_FALSE(RunProgram({QV_MKREC, cmd, (base / "mine").string()}, error, &out)) << cmd;
    EXPECT_NE(out.find("remove it first"), std::string::npos) << out;
  }
  EXPECT_EQ(ReadText((base / "mine" / "notes.txt").string()), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);  // no work folders left
}
