// The recordings made by `mkrec tests` (the `recordings` fixture): their
// names, boxes and drive-data blocks, and that ffprobe and GStreamer read them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "blockwriter.h"
#include "mp4layout.h"
#include "platform/civiltime.h"
#include "platform/filesource.h"
#include "platform/numtext.h"
#include "runprogram.h"

namespace fs = std::filesystem;
using namespace qv;
using namespace qv::rec;

namespace {

struct Entry {
  std::string role, path;
  std::map<std::string, std::string> facts;
  int64_t Int(const std::string& key) const {
    int64_t v = -1;
    auto it = facts.find(key);
    return it != facts.end() && ParseInt64(it->second, v) ? v : -1;
  }
  const std::string& Fact(const std::string& key) const {
    static const std::string none;
    auto it = facts.find(key);
    return it == facts.end() ? none : it->second;
  }
};

const std::string kRoot = QV_FIXTURE_DIR;

std::vector<Entry> ReadManifest() {
  std::vector<Entry> out;
  std::ifstream in(kRoot + "/MANIFEST.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    Entry e;
    std::istringstream fields(line);
    std::string facts;
    std::getline(fields, e.role, '\t');
    std::getline(fields, e.path, '\t');
    std::getline(fields, facts);
    std::istringstream words(facts);
    std::string word;
    while (words >> word) {
      size_t eq = word.find('=');
      if (eq != std::string::npos) e.facts[word.substr(0, eq)] = word.substr(eq + 1);
    }
    out.push_back(e);
  }
  return out;
}

const std::vector<Entry>& Manifest() {
  static const std::vector<Entry> entries = ReadManifest();
  return entries;
}

const Entry* Find(const std::string& role) {
  for (const Entry& e : Manifest())
    if (e.role == role) return &e;
  return nullptr;
}

std::vector<const Entry*> Movies() {
  std::vector<const Entry*> out;
  for (const Entry& e : Manifest())
    if (e.facts.count("camera")) out.push_back(&e);
  return out;
}

std::string Path(const Entry& e) { return kRoot + "/" + e.path; }

std::string ReadRange(const std::string& path, uint64_t offset, size_t len) {
  FileSource f(path);
  std::string buf(len, '\0');
  if (!f.ReadExact(offset, buf.data(), len)) return {};
  return buf;
}

struct Block {
  std::string head;
  int count = -1;
  std::vector<std::string> records;
};

// The block as it stands at the end of the file (size from the manifest).
bool ReadBlockAtEnd(const Entry& e, Block& b) {
  b = Block{};
  const int64_t size = e.Int("size"), blockSize = e.Int("block");
  std::string data = ReadRange(Path(e), static_cast<uint64_t>(size - blockSize), static_cast<size_t>(blockSize));
  if (data.size() < kBlockOverhead || data.compare(0, 6, "CSODAT") != 0 ||
      data.compare(data.size() - 6, 6, "CSOEND") != 0)
    return false;
  b.head = data.substr(6, kHeadSize);
  b.count = uint8_t(data[41]) * 256 + uint8_t(data[42]);
  for (size_t at = 43; at + kRecordSize + 6 <= data.size(); at += kRecordSize) b.records.push_back(data.substr(at, kRecordSize));
  return true;
}

// Seconds since 1970 of a record's date and time plus its seconds to add.
int64_t RecordSeconds(const std::string& r) {
  auto two = [&](size_t at) { return ReadIntField(r.substr(at, 2)); };
  int64_t s = CivilSeconds(2000 + two(34), two(36), two(38), two(40), two(42), two(44));
  if (r[47] != '*') s += ReadIntField(r.substr(47, 3));
  return s;
}

int64_t StartSeconds(const Entry& e) {
  const std::string& t = e.Fact("start");  // yyyy-MM-ddThh:mm:ss
  auto num = [&](size_t at, size_t n) { return ReadIntField(t.substr(at, n)); };
  return CivilSeconds(num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2));
}

double Degrees(const std::string& r, size_t at, size_t width, size_t hemisphere) {
  double v = ReadFloatField(r.substr(at, width));
  double d = static_cast<double>(static_cast<int64_t>(v) / 100) + std::fmod(v, 100.0) / 60.0;
  return r[hemisphere] == 'S' || r[hemisphere] == 'W' ? -d : d;
}

bool Have(const std::string& program) { return ProgramAvailable(program); }

}  // namespace

TEST(Fixtures, ManifestAndTree) {
  ASSERT_FALSE(Manifest().empty()) << "no " << kRoot << "/MANIFEST.txt; run the make_fixtures test";
  const char* roles[] = {"card-root",      "delete-folder", "format-config", "folder-root",     "run-1-F",
                         "run-1-R",        "run-4-F",       "run-4-R",       "stsc-multi-F",    "shock-F",
                         "shock-R",        "manual-F",      "manual-R",      "timelapse-F",     "timelapse-R",
                         "parking-F",      "parking-R",     "parking-shock-F", "parking-shock-R", "front-only-F",
                         "south-west-F",   "no-block-F",    "no-block-R",    "truncated-F",     "truncated-R",
                         "faststart-F",    "faststart-R",   "fast-path-F",   "fast-path-R",     "underscore-F",
                         "underscore-R"};
  for (const char* role : roles) EXPECT_NE(Find(role), nullptr) << role;
  EXPECT_TRUE(fs::is_directory(kRoot + "/card/Delete Folder"));
  EXPECT_EQ(ReadRange(kRoot + "/card/DRFormatConfig.dfc", 16, 11), "QVTEST01102");

  // Every file of the tree is listed, and nothing half-made is left behind.
  std::set<std::string> listed;
  for (const Entry& e : Manifest()) listed.insert(e.path);
  for (const auto& item : fs::recursive_directory_iterator(kRoot)) {
    const std::string rel = fs::relative(item.path(), kRoot).string();
    EXPECT_NE(item.path().filename().string()[0], '.') << rel;
    if (item.is_regular_file() && rel != "MANIFEST.txt") {
      EXPECT_TRUE(listed.count(rel)) << rel;
    }
  }
  const Entry* front = Find("front-only-F");
  ASSERT_NE(front, nullptr);
  std::string rear = Path(*front);
  rear.replace(rear.size() - 5, 1, "R");
  EXPECT_FALSE(fs::exists(rear));
}

TEST(Fixtures, NamesBoxesAndBlocks) {
  for (const Entry* e : Movies()) {
    SCOPED_TRACE(e->role + " " + e->path);
    const std::string path = Path(*e);
    ASSERT_EQ(static_cast<int64_t>(fs::file_size(path)), e->Int("size"));

    // Name: NNN_hhmmssXY_C.MP4 in a yyyyMMdd_nnn folder, matching the start.
    const std::string name = fs::path(path).filename().string();
    const std::string folder = fs::path(path).parent_path().filename().string();
    const std::string& start = e->Fact("start");
    ASSERT_EQ(name.size(), 18u);
    EXPECT_EQ(name.substr(4, 6), start.substr(11, 2) + start.substr(14, 2) + start.substr(17, 2));
    EXPECT_EQ(name.substr(10, 1), e->Fact("trigger"));
    EXPECT_EQ(name.substr(11, 1), e->Fact("rate"));
    EXPECT_EQ(name.substr(13), e->Fact("camera") + ".MP4");
    EXPECT_EQ(folder.substr(0, 8), start.substr(0, 4) + start.substr(5, 2) + start.substr(8, 2));
    EXPECT_EQ(folder.size(), 12u);

    std::vector<TopBox> boxes;
    std::string error;
    ASSERT_TRUE(ListTopBoxes(path, boxes, error, true)) << error;
    const int64_t size = e->Int("size"), blockSize = e->Int("block");
    if (e->Fact("layout") == "truncated") {
      for (const TopBox& b : boxes) EXPECT_NE(b.type, "moov");
      continue;
    }
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].type, "ftyp");
    const bool fast = e->Fact("layout") == "ftyp-moov-mdat";
    EXPECT_EQ(boxes[1].type, fast ? "moov" : "mdat");
    EXPECT_EQ(boxes[2].type, fast ? "mdat" : "moov");
    // The block (or nothing) follows the last box up to the end of the file.
    EXPECT_EQ(static_cast<int64_t>(boxes[2].offset + boxes[2].size), size - blockSize);
    if (blockSize == 0) continue;

    const int64_t records = e->Int("records");
    EXPECT_EQ(blockSize, static_cast<int64_t>(BlockSize(static_cast<uint64_t>(records))));
    EXPECT_GE(size - blockSize, (3 * size) / 4) << "block outside the file's last quarter";
    Block b;
    ASSERT_TRUE(ReadBlockAtEnd(*e, b));
    EXPECT_EQ(b.count, records);
    ASSERT_EQ(static_cast<int64_t>(b.records.size()), records);
    EXPECT_EQ(RecordSeconds(b.records.front()), StartSeconds(*e));
    const int perSecond = e->Fact("rate") == "T" ? 15 : 10;
    EXPECT_EQ(records, e->Int("seconds") * perSecond);
    const double realPerRecord = e->Fact("rate") == "T" ? 1.0 : 0.1;
    EXPECT_EQ(RecordSeconds(b.records.back()) - StartSeconds(*e),
              static_cast<int64_t>(std::floor((records - 1) * realPerRecord + 1e-9)));
    for (const std::string& r : b.records) {  // a car, not a rocket
      EXPECT_LT(std::fabs(ReadFloatField(r.substr(63, 5))), 1200) << r;
      EXPECT_LT(std::fabs(ReadFloatField(r.substr(68, 5))), 1200) << r;
      EXPECT_NEAR(ReadFloatField(r.substr(73, 5)), 1000, 400) << r;
      EXPECT_LE(ReadIntField(r.substr(30, 4)), 80) << r;
    }
    if (e->role == "fast-path-F") {
      EXPECT_EQ(blockSize, 91049);
      EXPECT_GT(size, 91049);
    }
  }
}

TEST(Fixtures, DriveDataTellsADrive) {
  // The four run pairs are one drive: times and positions continue, and the
  // drive holds over-speed spans, a hard braking, a sharp turn and a press.
  bool overSpeed = false, brake = false, turn = false, manual = false;
  int64_t expectStart = -1;
  std::string last;
  for (int i = 1; i <= 4; ++i) {
    const Entry* e = Find("run-" + std::to_string(i) + "-F");
    ASSERT_NE(e, nullptr);
    Block b, rear;
    ASSERT_TRUE(ReadBlockAtEnd(*e, b));
    ASSERT_TRUE(ReadBlockAtEnd(*Find("run-" + std::to_string(i) + "-R"), rear));
    EXPECT_EQ(b.records, rear.records);  // both cameras carry the same drive data
    if (expectStart >= 0) {
      EXPECT_EQ(StartSeconds(*e), expectStart);
    }
    expectStart = StartSeconds(*e) + e->Int("seconds");
    if (!last.empty()) {
      const std::string& first = b.records.front();
      EXPECT_NEAR(Degrees(first, 9, 9, 18), Degrees(last, 9, 9, 18), 0.0003);
      EXPECT_NEAR(Degrees(first, 19, 10, 29), Degrees(last, 19, 10, 29), 0.0003);
    }
    last = b.records.back();
    for (size_t k = 0; k < b.records.size(); ++k) {
      const std::string& r = b.records[k];
      EXPECT_EQ(r[8], i == 1 && k < 10 ? 'V' : 'A') << i << " " << k;
      overSpeed |= r[83] == 'D' && ReadIntField(r.substr(30, 4)) > 60;
      brake |= r[79] == 'X' && ReadFloatField(r.substr(68, 5)) < -350;
      turn |= r[79] == 'Y';
      manual |= r[78] == 'D';
    }
  }
  EXPECT_TRUE(overSpeed);
  EXPECT_TRUE(brake);
  EXPECT_TRUE(turn);
  EXPECT_TRUE(manual);

  Block b;
  ASSERT_TRUE(ReadBlockAtEnd(*Find("shock-F"), b));
  int emergencies = 0;
  for (const std::string& r : b.records) emergencies += r[81] == 'D';
  EXPECT_EQ(emergencies, 1);
  ASSERT_TRUE(ReadBlockAtEnd(*Find("parking-F"), b));
  EXPECT_EQ(b.records.front()[82], 'D');
  EXPECT_EQ(ReadIntField(b.records.back().substr(30, 4)), 0);
  ASSERT_TRUE(ReadBlockAtEnd(*Find("manual-F"), b));
  EXPECT_EQ(b.records.back().substr(34, 12), b.records.front().substr(34, 12));  // date + seconds to add
  EXPECT_EQ(b.records.back().substr(47, 3), "005");
  ASSERT_TRUE(ReadBlockAtEnd(*Find("south-west-F"), b));
  EXPECT_EQ(b.records.front()[18], 'S');
  EXPECT_EQ(b.records.front()[29], 'W');
}

TEST(Fixtures, FfprobeReadsEveryRecording) {
  if (!Have("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
  for (const Entry* e : Movies()) {
    SCOPED_TRACE(e->path);
    std::string out, error;
    bool ok = RunProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height,time_base", "-of",
                          "csv=p=0", Path(*e)},
                         error, &out);
    if (e->Fact("layout") == "truncated") {
      EXPECT_FALSE(ok);
      continue;
    }
    ASSERT_TRUE(ok) << error << out;
    std::string expected = "h264," + e->Fact("width") + "," + e->Fact("height") + ",1/1000000\n";
    if (e->Fact("audio") == "1") expected += "aac,1/48000\n";
    EXPECT_EQ(out, expected);
  }
  // A key frame every 15 frames.
  std::string out, error;
  ASSERT_TRUE(RunProgram({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=flags", "-of",
                          "csv=p=0", Path(*Find("run-1-F"))},
                         error, &out))
      << error;
  std::istringstream lines(out);
  std::string line;
  int index = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line[0] == 'K', index % 15 == 0) << index;
    ++index;
  }
  EXPECT_EQ(index, Find("run-1-F")->Int("seconds") * 30);
}

TEST(Fixtures, GStreamerPlaysRecordings) {
  if (!Have("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 not installed";
  for (const char* role : {"run-1-F", "run-1-R", "manual-F", "timelapse-F", "faststart-F", "fast-path-R",
                           "no-block-F", "underscore-R"}) {
    const Entry* e = Find(role);
    ASSERT_NE(e, nullptr) << role;
    SCOPED_TRACE(e->path);
    std::vector<std::string> argv = {"gst-launch-1.0", "-q", "filesrc", "location=" + Path(*e), "!", "qtdemux",
                                     "name=d", "d.video_0", "!", "queue", "!", "h264parse", "!", "avdec_h264", "!",
                                     "fakesink"};
    if (e->Fact("audio") == "1")
      argv.insert(argv.end(), {"d.audio_0", "!", "queue", "!", "aacparse", "!", "avdec_aac", "!", "fakesink"});
    std::string out, error;
    EXPECT_TRUE(RunProgram(argv, error, &out)) << error << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
  }
}

TEST(Mkrec, PairIsDeterministicAndNeverOverwrites) {
  const fs::path base = fs::temp_directory_path() / ("qv_mkrec_pair." + std::to_string(::getpid()));
  fs::remove_all(base);
  const std::vector<std::string> args = {"--count", "2", "--seconds", "2", "--front", "160x90",
                                         "--rear", "128x72", "--seed", "7"};
  auto run = [&](const fs::path& dir, std::vector<std::string> extra, std::string* out = nullptr) {
    std::vector<std::string> argv = {QV_MKREC, "pair", dir.string()};
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
    SCOPED_TRACE(n);
    const std::string a = (base / "a" / n).string(), b = (base / "b" / n).string();
    const uint64_t size = fs::file_size(a);
    ASSERT_EQ(size, fs::file_size(b));
    EXPECT_EQ(ReadRange(a, 0, size), ReadRange(b, 0, size));
    EXPECT_EQ(ReadRange(a, size - 6, 6), "CSOEND");
  }
  // A second run into the same place refuses and leaves the files alone.
  const std::string first = (base / "a" / names[0]).string();
  const std::string before = ReadRange(first, 0, fs::file_size(first));
  std::string out;
  EXPECT_FALSE(run(base / "a", args, &out));
  EXPECT_NE(out.find("not overwritten"), std::string::npos) << out;
  EXPECT_EQ(ReadRange(first, 0, fs::file_size(first)), before);
  // Bad options make nothing.
  EXPECT_FALSE(run(base / "c", {"--front", "160x"}));
  EXPECT_FALSE(run(base / "c", {"--trigger", "Q"}));
  EXPECT_FALSE(run(base / "c", {"--count", "0"}));
  EXPECT_FALSE(fs::exists(base / "c"));
  fs::remove_all(base);
}

TEST(Mkrec, TreesReplaceOnlyWhatMkrecMade) {
  const fs::path base = fs::temp_directory_path() / ("qv_mkrec_tree." + std::to_string(::getpid()));
  fs::remove_all(base);
  fs::create_directories(base / "mine");
  { std::ofstream(base / "mine" / "notes.txt") << "keep"; }
  for (const char* cmd : {"tests", "demo"}) {
    std::string out, error;
    EXPECT_FALSE(RunProgram({QV_MKREC, cmd, (base / "mine").string()}, error, &out)) << cmd;
    EXPECT_NE(out.find("remove it first"), std::string::npos) << out;
  }
  EXPECT_EQ(ReadRange((base / "mine" / "notes.txt").string(), 0, 4), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);  // no work folders left
  fs::remove_all(base);
}
