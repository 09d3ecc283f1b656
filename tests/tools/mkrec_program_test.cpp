// The fixture tool as a program: what it writes and what it never
// overwrites.  The recordings of `mkrec tests` are checked by their users:
// the recording library's readers (tests/recording), the player, slot and
// join tests, which decode them with GStreamer and ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "runprogram.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using namespace qv::rec;
using qvtest::ReadText;

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
