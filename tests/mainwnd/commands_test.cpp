// The file and view commands: the CSV list, the still names, the zoom
// clicks, the delete and join jobs against the fixture recordings (copied
// where a job changes them), and the window running the commands.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include <QTreeWidgetItem>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "mainwnd/csvexport.h"
#include "mainwnd/fileops.h"
#include "mainwnd/stillnames.h"
#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/moviestatic.h"
#include "mainwnd/tesseldlg.h"
#include "mainwnd/zoomclick.h"
#include "platform/apphelpers.h"
#include "platform/atomicwrite.h"
#include "platform/inifile.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "recording/recordingname.h"
#include "skin/helpers.h"
#include "skin/skinbutton.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using namespace qv;
using namespace qv::mainwnd;

namespace {

RecordingEntry Pair(const std::string& front, const std::string& rear) {
  RecordingEntry e;
  e.frontPath = front;
  e.frontName = BaseName(front);
  e.rearPath = rear;
  e.rearName = BaseName(rear);
  return e;
}

RecordingEntry FixturePair(const std::string& stem) {
  return Pair(qvtest::Fixture(stem + "-F"), qvtest::Fixture(stem + "-R"));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    out.push_back(text.substr(at, end - at));
  EXPECT_EQ(at, text.size()) << "every line ends in CR LF";
  return out;
}

bool HasEntries(const std::string& folder) { return fs::exists(folder) && !fs::is_empty(folder); }

// The folder prompt answers with `folder` and records its start key.
class FixedFolder : public FolderBrowser {
 public:
  Choice Browse(QWidget*, const std::string&, const std::string&) override { return {true, folder}; }
  std::string folder;
};

// The writers' steps as a FAT card below `root` takes them: no unnamed
// files, what the join record of the settings file holds when a file there
// is flushed, and, once `readOnly`, a card that turned read-only (no flush,
// no removal).
class CardSteps : public WriterSteps {
 public:
  explicit CardSteps(std::string root) : root_(std::move(root)) { SetWriterSteps(this); }
  ~CardSteps() override { SetWriterSteps(nullptr); }
  int MakeUnnamed(const std::string& folder) override {
    if (!Below(folder + "/")) return WriterSteps::MakeUnnamed(folder);
    errno = EOPNOTSUPP;
    return -1;
  }
  int Sync(int fd, const std::string& target) override {
    if (!Below(target)) return WriterSteps::Sync(fd, target);
    recordAtSync.push_back(ReadIniList(kIniFolders, kIniJoinRunning, GetSettingsFilePath()));
    return readOnly ? Refuse() : WriterSteps::Sync(fd, target);
  }
  int Remove(const std::string& path) override {
    return readOnly && Below(path) ? Refuse() : WriterSteps::Remove(path);
  }
  std::atomic<bool> readOnly{false};
  std::vector<std::vector<std::string>> recordAtSync;

 private:
  bool Below(const std::string& path) const { return path.compare(0, root_.size() + 1, root_ + "/") == 0; }
  static int Refuse() {
    errno = EROFS;
    return -1;
  }
  std::string root_;
};

// Copies pairs of the fixture card into `folder` (jobs that change files work on copies).
std::vector<RecordingEntry> CopiedPairs(const std::string& folder, std::initializer_list<const char*> stems) {
  fs::create_directories(folder);
  std::vector<RecordingEntry> out;
  for (const char* stem : stems) {
    RecordingEntry p = FixturePair(stem);
    for (std::string* path : {&p.frontPath, &p.rearPath}) {
      const std::string copy = folder + "/" + BaseName(*path);
      fs::copy_file(*path, copy);
      *path = copy;
    }
    out.push_back(p);
  }
  return out;
}

}  // namespace

TEST(CsvList, FixtureCardGivesOneLinePerPairWithItsFacts) {
  if (qvtest::Fixture("run-1-F").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::TempDir dir;
  RecordingEntry rearOnly = Pair("", qvtest::Fixture("shock-R"));
  std::vector<RecordingEntry> rows = {FixturePair("run-1"), FixturePair("shock"), FixturePair("timelapse"),
                                      FixturePair("parking-shock"), rearOnly,
                                      Pair(dir / "001_120000AN_F.MP4", "")};
  const std::string name = CsvFileName(rows, CivilTime{});
  EXPECT_EQ(name, "Dv_20250305_091520.csv");
  std::vector<std::pair<int, int>> seen;
  std::atomic<bool> cancel{false};
  ASSERT_EQ(WriteCsvList(dir / name, rows, cancel, [&](int d, int t) { seen.emplace_back(d, t); }),
            CsvResult::kDone);
  EXPECT_EQ(seen.size(), rows.size() + 1);
  EXPECT_EQ(seen.back(), std::make_pair(6, 6));

  const std::string text = qvtest::ReadText(dir / name);
  ASSERT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0) << "UTF-8 byte-order mark";
  const std::vector<std::string> lines = Lines(text.substr(3));
  ASSERT_EQ(lines.size(), rows.size() + 1);
  EXPECT_EQ(lines[0],
            "ファイル名,日付,開始時刻,録画時間,録画トリガー,録画サイズ,画質,フレームレート,"
            "フロントカメラデータサイズ,リヤカメラデータサイズ");
  EXPECT_EQ(lines[1], "001_091520AN_F.MP4,2025/03/05,09:15:20,00:00:10,常時,,,30.0fps,0MB,0MB");
  EXPECT_EQ(lines[2], "005_092104GN_F.MP4,2025/03/05,09:21:04,00:00:08,衝撃,,,30.0fps,0MB,0MB");
  // 4 s of time-lapse picture stand for 15 times as long.
  EXPECT_EQ(lines[3], "007_100200AT_F.MP4,2025/03/05,10:02:00,00:01:00,常時タイムラプス,,,タイムラプス,0MB,0MB");
  EXPECT_EQ(lines[4], "009_184117SN_F.MP4,2025/03/05,18:41:17,00:00:04,駐車衝撃,,,30.0fps,0MB,0MB");
  // A rear-only pair is named after its rear file and has no front size.
  EXPECT_EQ(lines[5], "005_092104GN_R.MP4,2025/03/05,09:21:04,00:00:08,衝撃,,,30.0fps,0MB,0MB");
  EXPECT_EQ(lines[6], "001_120000AN_F.MP4,-,-,-,-,-,-,fps,0MB,0MB");
}

TEST(CsvList, ColumnsFromTheMoviesFacts) {
  // Exact lengths in any time scale; the integer frame-rate quotient used to
  // lose a second of an exact minute and all of a one-second clip.
  EXPECT_EQ(CsvRecordingTime(60 * 90000, 90000, false), "00:01:00");
  EXPECT_EQ(CsvRecordingTime(1000, 1000, false), "00:00:01");
  EXPECT_EQ(CsvRecordingTime(10 * 30000, 30000, true), "00:02:30");
  EXPECT_EQ(CsvRecordingTime(uint64_t{100} * 3600 * 1000000 + 59'999'999, 1000000, false), "100:00:59");
  EXPECT_EQ(CsvRecordingTime(5, 0, false), "00:00:00");

  CsvRowFacts f;
  f.readable = true;
  f.name = "001_091520AN_F.MP4";
  f.height = 1080;
  f.qualityLetter = 'H';
  f.frameRate = 27.96f;
  f.frontBytes = 2097151;
  f.rearBytes = uint64_t{5} << 40;
  f.recordTime = CivilTime{2024, 1, 5, 5, 7, 8, 9, 0};
  EXPECT_EQ(FormatCsvRow(f), "001_091520AN_F.MP4,2024/01/05,07:08:09,00:00:00,,FHD,高画質,28.0fps,1MB,5242880MB\r\n");
  f.height = 1200;
  f.recordTime = {};
  EXPECT_EQ(FormatCsvRow(f), "001_091520AN_F.MP4,--/--/--,--:--:--,00:00:00,,,,28.0fps,1MB,5242880MB\r\n");
  f.height = 720;
  f.qualityLetter = 'L';
  EXPECT_NE(FormatCsvRow(f).find(",HD,低画質,"), std::string::npos);
}

TEST(CsvList, FileNameFromTheFirstRecordingInADateFolder) {
  const CivilTime now{2026, 12, 0, 6, 21, 5, 9, 0};
  // A recording at the card root used to give a date from nothing (1999-11-30).
  std::vector<RecordingEntry> rows = {Pair("/card/001_091520AN_F.MP4", "")};
  EXPECT_EQ(CsvFileName(rows, now), "Dv_20261206_210509.csv");
  rows.push_back(Pair("", "/card/20240105_002/002_235958GN_R.MP4"));
  EXPECT_EQ(CsvFileName(rows, now), "Dv_20240105_235958.csv");
}

TEST(CsvList, ACancelledExportLeavesTheOldFile) {
  qvtest::TempDir dir;
  qvtest::WriteText(dir / "b.csv", "old");
  std::atomic<bool> cancel{false};
  std::vector<RecordingEntry> rows(3, Pair("/x/001_091520AN_F.MP4", ""));
  EXPECT_EQ(WriteCsvList(dir / "b.csv", rows, cancel, [&](int d, int) { cancel = d == 1; }), CsvResult::kCancelled);
  EXPECT_EQ(qvtest::ReadText(dir / "b.csv"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(StillNames, EachCameraGetsItsOwnLetterAndThePosition) {
  RecordingEntry pair = Pair("/c/20240105_001/001_123456AN_F.MP4", "/c/20240105_001/001_123456AN_R.MP4");
  pair.startTime = CivilTime{2024, 1, 5, 5, 12, 34, 56, 0};
  StillNames s;
  ASSERT_TRUE(BuildStillNames("/out", pair, 123, s));
  EXPECT_EQ(s.front, "/out/20240105_123456AN_F-000123.jpg");
  EXPECT_EQ(s.rear, "/out/20240105_123456AN_R-000123.jpg");
  // Seven digits used to make both stills one path.
  ASSERT_TRUE(BuildStillNames("/out/", pair, 1234567, s));
  EXPECT_EQ(s.rear, "/out/20240105_123456AN_R-1234567.jpg");
  ASSERT_TRUE(BuildStillNames("/out/", pair, 0, s));
  EXPECT_EQ(s.front, "/out/20240105_123456AN_F-000000.jpg");
  // A rear-only pair makes only the rear still, with the rear letter.
  ASSERT_TRUE(BuildStillNames("/out", Pair("", pair.rearPath), 5, s));
  EXPECT_TRUE(s.front.empty());
  EXPECT_EQ(BaseName(s.rear), "00000000_123456AN_R-000005.jpg");
  EXPECT_FALSE(BuildStillNames("/out", pair, -1, s));
  EXPECT_TRUE(s.front.empty() && s.rear.empty());
}

TEST(ZoomClicks, EachClickZoomsAtThePictureUnderItAndTheThirdReturns) {
  const Size pane{640, 360};
  ZoomRecord v = UnzoomedView(pane);
  ASSERT_TRUE(ZoomAtClick(v, {100, 50}, pane));
  EXPECT_EQ(v.x, 100);
  EXPECT_EQ(v.factor, 2.0f);
  // At factor 2 about (100, 50), the pane point (200, 50) shows picture x 150.
  ASSERT_TRUE(ZoomAtClick(v, {200, 50}, pane));
  EXPECT_EQ(v.x, 150);
  EXPECT_EQ(v.y, 50);
  EXPECT_EQ(v.factor, 3.0f);
  ASSERT_TRUE(ZoomAtClick(v, {10, 10}, pane));
  EXPECT_EQ(v.factor, 1.0f);
  EXPECT_EQ(v.x, 320);
  // A pane of no size takes no click; the camera switch does not scale from one.
  ZoomRecord z{10, 20, 4, 6, 2.0f};
  EXPECT_FALSE(ZoomAtClick(z, {1, 1}, {0, 360}));
  RescaleZoomView(z, {0, 0}, pane);
  EXPECT_EQ(z.x, 10);
  RescaleZoomView(z, {320, 180}, pane);
  EXPECT_EQ(z.x + z.y + z.offsetX + z.offsetY, 20 + 40 + 8 + 12);
  EXPECT_EQ(z.factor, 2.0f);
}

TEST(JoinJob, ThreePairsIntoTheFolderAndCancelLeavesNothing) {
  if (qvtest::Fixture("run-1-F").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::TempDir dir;
  const std::vector<RecordingEntry> pairs = {FixturePair("run-1"), FixturePair("run-2"), FixturePair("run-3")};
  std::string front, rear;
  JoinOutputPaths(dir / "cancelled", pairs[0], front, rear);
  fs::create_directories(dir / "cancelled");
  std::atomic<bool> cancel{false};
  // A cancel between two pairs, and one that only the writer sees.
  for (const std::pair<int64_t, int64_t>& at : {std::pair<int64_t, int64_t>{1, 6}, {10, 100}}) {
    cancel = false;
    const JoinOutcome out = JoinPairs(pairs, front, rear, cancel, [&](int64_t d, int64_t t) {
      if (d == at.first && t == at.second) cancel = true;
    });
    EXPECT_EQ(out.result, FileOpResult::kCancelled);
    EXPECT_FALSE(HasEntries(dir / "cancelled"));
  }

  cancel = false;
  JoinOutcome out;
  JoinOutputPaths(dir.path(), pairs[0], front, rear);
  EXPECT_EQ(front, dir / "001_091520AN_F.MP4");
  std::vector<std::pair<int64_t, int64_t>> seen;
  out = JoinPairs(pairs, front, rear, cancel, [&](int64_t d, int64_t t) { seen.emplace_back(d, t); });
  ASSERT_EQ(out.result, FileOpResult::kDone);
  EXPECT_EQ(seen, (std::vector<std::pair<int64_t, int64_t>>{
                      {1, 3}, {1, 6}, {2, 6}, {50, 100}, {10, 100}, {40, 100}, {100, 100}, {3, 3}}));
  for (const std::string& path : {front, rear})
    EXPECT_EQ(std::system(("ffprobe -v error -show_streams '" + path + "' >/dev/null 2>&1").c_str()), 0)
        << path;
  // An output that names an input is refused with its reason; nothing changes.
  out = JoinPairs(pairs, pairs[0].frontPath, dir / "x_R.MP4", cancel, {});
  EXPECT_EQ(out.result, FileOpResult::kFailed);
  EXPECT_EQ(out.fault, JoinFault::kOutputIsInput);
  EXPECT_FALSE(fs::exists(dir / "x_R.MP4"));

  std::vector<RecordingEntry> playlist = {FixturePair("run-1"), FixturePair("run-4"), FixturePair("run-3")};
  MarkJoined(playlist, {pairs[0], pairs[2]});
  EXPECT_EQ(playlist[0].joined + playlist[1].joined * 2 + playlist[2].joined * 4, 5);
  RecordingEntry big = pairs[0];
  big.frontSize = ~uint64_t{0};
  EXPECT_EQ(JoinNeededBytes({pairs[0], big}), ~uint64_t{0});
}

std::vector<std::string> Contents(const std::vector<RecordingEntry>& pairs) {
  std::vector<std::string> out;
  for (const RecordingEntry& p : pairs)
    for (const std::string& path : {p.frontPath, p.rearPath}) out.push_back(qvtest::ReadText(path));
  return out;
}

// A card image mounted through FUSE (FAT by fusefat, exFAT by exfat-fuse on a
// loop device) and bound a second time elsewhere; unmounted at the end.
class MountedCard {
 public:
  MountedCard(const std::string& root, bool exfat) : root_(root) { why_ = Mount(exfat); }
  ~MountedCard() {
    if (bound_) std::system(("umount '" + root_ + "/bind'").c_str());
    if (mounted_) std::system(("umount '" + root_ + "/card' || umount -l '" + root_ + "/card'").c_str());
    if (!loop_.empty()) std::system(("losetup -d '" + loop_ + "'").c_str());
  }
  // Empty when the card and its bind mount are up, else why not.
  const std::string& Why() const { return why_; }

 private:
  std::string Mount(bool exfat) {
    fs::create_directories(root_ + "/card");
    fs::create_directories(root_ + "/bind");
    const std::string image = root_ + "/card.img";
    auto run = [](const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; };
    if (!run("truncate -s 48M '" + image + "'")) return "no image";
    if (exfat) {
      if (!run("mkfs.exfat '" + image + "'")) return "no mkfs.exfat";
      FILE* p = popen(("losetup -f --show '" + image + "' 2>/dev/null").c_str(), "r");
      char line[256] = {};
      if (p && fgets(line, sizeof line, p)) loop_ = std::string(line, strcspn(line, "\n"));
      if (p) pclose(p);
      if (loop_.empty()) return "no loop device";
      if (!(mounted_ = run("mount.exfat-fuse '" + loop_ + "' '" + root_ + "/card'"))) return "exfat-fuse cannot mount";
    } else {
      if (!run("mkfs.fat '" + image + "'")) return "no mkfs.fat";
      if (!(mounted_ = run("fusefat -o rw+ '" + image + "' '" + root_ + "/card'"))) return "fusefat cannot mount";
    }
    if (!(bound_ = run("mount --bind '" + root_ + "/card' '" + root_ + "/bind'"))) return "no bind mount";
    return {};
  }

  std::string root_, loop_, why_;
  bool mounted_ = false, bound_ = false;
};

// On FAT and exFAT cards through FUSE every spelling of a path has an inode
// of its own: the folder of the inputs reached in another letter case
// (exFAT folds "Ä" as well) or through a bind mount of the card.  Such an
// output is refused by the command's check and by the writer alone, and
// every input stays as it was.
TEST(JoinJob, ACardFolderReachedUnderAnotherPathKeepsEveryInput) {
  if (qvtest::Fixture("run-1-F").empty()) GTEST_SKIP() << "no fixture recordings";
  if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "mounting a card needs root and /dev/fuse";
  int tried = 0;
  std::string skipped;
  for (bool exfat : {false, true}) {
    SCOPED_TRACE(exfat ? "exFAT" : "FAT");
    qvtest::TempDir dir;
    MountedCard card(dir.path(), exfat);
    if (!card.Why().empty()) {
      skipped += card.Why() + "; ";
      continue;
    }
    // fusefat takes ASCII names only.
    const std::string inputs = exfat ? "FAHRT-Ä" : "CASEB";
    const std::vector<RecordingEntry> originals = {FixturePair("run-1"), FixturePair("run-2"), FixturePair("run-3")};
    fs::create_directories(dir / ("card/" + inputs));
    std::vector<RecordingEntry> pairs = originals;
    for (RecordingEntry& p : pairs)
      for (std::string* path : {&p.frontPath, &p.rearPath}) {
        const std::string copy = dir / ("card/" + inputs + "/" + BaseName(*path));
        ASSERT_TRUE(qvtest::WriteText(copy, qvtest::ReadText(*path)));  // fusefat has no copy_file_range
        *path = copy;
      }
    std::vector<std::string> folders = {dir / ("bind/" + inputs), dir / (exfat ? "bind/fahrt-Ä" : "bind/caseb")};
    if (exfat) folders.push_back(dir / "card/fahrt-ä");
    for (const std::string& folder : folders) {
      SCOPED_TRACE(folder);
      ++tried;
      std::string front, rear;
      JoinOutputPaths(folder, pairs[0], front, rear);
      EXPECT_TRUE(JoinOutputIsInput(front, rear, pairs));
      std::atomic<bool> cancel{false};
      const JoinOutcome out = JoinPairs(pairs, front, rear, cancel, {});
      EXPECT_EQ(out.fault, JoinFault::kOutputIsInput);
      // The rear output alone names an input too.
      const JoinOutcome rearOnly = JoinPairs(pairs, folder + "/joined_F.MP4", rear, cancel, {});
      EXPECT_EQ(rearOnly.fault, JoinFault::kOutputIsInput);
    }
    EXPECT_TRUE(Contents(pairs) == Contents(originals));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / ("card/" + inputs)), {}), 6);  // no temporary left
    // A folder of its own on the card takes the join.
    fs::create_directories(dir / "card/OUT");
    std::string front, rear;
    JoinOutputPaths(dir / "bind/out", pairs[0], front, rear);
    std::atomic<bool> cancel{false};
    EXPECT_EQ(JoinPairs(pairs, front, rear, cancel, {}).result, FileOpResult::kDone);
  }
  if (tried == 0) GTEST_SKIP() << skipped;
}

// The window runs each command on its worker and answers on its own thread:
// the completion box, the remembered folder, the lists, the controls back on.
TEST(CommandsWindow, CsvDeleteAndJoinRunToTheirCompletion) {
  if (qvtest::Fixture("run-1-F").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::App();
  qvtest::TempDir dir;
  const std::string old = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  FixedFolder browser;
  SetFolderBrowser(&browser);
  std::vector<std::string> boxes;
  int answer = 1;
  CtesselDlg w;
  w.OnInitDialog(dir.path());
  w.SetCommandBox([&](const std::string& text, const std::string&, int) {
    boxes.push_back(text);
    return answer;
  });
  auto finished = [&] { return qvtest::WaitFor([&] { return !w.FileWorkRunning(); }, 20000); };
  const std::string done = GetUiText(UiText::Done);

  // CSV: nothing to list is two errors and no file; then the fixture pairs.
  browser.folder = dir / "csv";
  fs::create_directories(browser.folder);
  w.OnCsvCommand();
  EXPECT_EQ(boxes, (std::vector<std::string>{GetUiText(UiText::NoMovies), GetUiText(UiText::CsvFailed)}));
  EXPECT_FALSE(HasEntries(browser.folder));
  boxes.clear();
  w.SetSourceRows({FixturePair("run-1"), FixturePair("shock")});
  w.OnCsvCommand();
  ASSERT_TRUE(finished());
  EXPECT_EQ(boxes, std::vector<std::string>{done});
  EXPECT_TRUE(fs::exists(browser.folder + "/Dv_20250305_091520.csv"));
  EXPECT_EQ(ReadDefaultFolderIni("FOLDERPATH", "CSV_FOLDER"), browser.folder);
  EXPECT_EQ(w.ProgressPercent(), 100);
  EXPECT_TRUE(w.FrameButton(0)->isEnabled());
  // The same name again asks first; Cancel starts nothing.
  boxes.clear();
  answer = 2;
  w.OnCsvCommand();
  EXPECT_EQ(boxes, std::vector<std::string>{GetUiText(UiText::SameNameExists)});
  EXPECT_FALSE(w.FileWorkRunning());
  answer = 1;

  // Delete: the chosen pairs go to the trash and leave the rows by their path.
  std::vector<RecordingEntry> rows = CopiedPairs(dir / "src/20250305_001", {"run-1", "run-2", "run-3"});
  w.SetSourceRows(rows);
  boxes.clear();
  int modes = 0;
  w.SetRowChooser([&](int mode, const std::vector<RecordingEntry>& offered, std::vector<RecordingEntry>& chosen) {
    modes = modes * 10 + mode + 1;
    EXPECT_EQ(offered.size(), 3u);
    chosen = mode == 0 ? std::vector<RecordingEntry>{rows[2], rows[0]}
                       : std::vector<RecordingEntry>{FixturePair("run-1"), FixturePair("run-2"), FixturePair("run-3")};
    return true;
  });
  std::vector<std::pair<uintptr_t, intptr_t>> progress;
  w.SetMessageObserver([&](uint32_t m, uintptr_t d, intptr_t t) {
    if (m == kMsgProgress) progress.emplace_back(d, t);
  });
  w.OnDeleteCommand();
  EXPECT_FALSE(w.FrameButton(0)->isEnabled());
  ASSERT_TRUE(finished());
  EXPECT_EQ(progress, (std::vector<std::pair<uintptr_t, intptr_t>>{{0, 2}, {1, 2}, {2, 2}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "data/Trash/files"), fs::directory_iterator()), 4);
  EXPECT_EQ(boxes, std::vector<std::string>{done});
  ASSERT_EQ(w.SourceRows().size(), 1u);
  EXPECT_EQ(w.SourceRows()[0].frontPath, rows[1].frontPath);
  EXPECT_FALSE(fs::exists(rows[0].frontPath) || fs::exists(rows[2].rearPath));

  // Join: both outputs in the chosen folder, which is remembered; a second
  // join into it asks before anything starts.  While the join runs its
  // folder is remembered as unfinished (for the next start to sweep, should
  // the program be killed), from before the writer makes its files to its
  // end.
  browser.folder = dir / "joined";
  fs::create_directories(browser.folder);
  boxes.clear();
  {
    CardSteps steps(browser.folder);
    w.SetSourceRows(rows);  // the chooser is offered the source's three rows again
    w.OnJoinCommand();
    EXPECT_EQ(modes, 13);  // delete, then join
    ASSERT_TRUE(finished());
    EXPECT_EQ(steps.recordAtSync, std::vector<std::vector<std::string>>(2, {browser.folder}));
  }
  EXPECT_EQ(boxes, std::vector<std::string>{done});
  EXPECT_TRUE(fs::exists(browser.folder + "/001_091520AN_F.MP4") && fs::exists(browser.folder + "/001_091520AN_R.MP4"));
  EXPECT_EQ(ReadDefaultFolderIni("FOLDERPATH", "CONNECT_FOLDER"), browser.folder);
  EXPECT_EQ(ReadDefaultFolderIni("FOLDERPATH", "CONNECT_UNFINISHED"), "");
  boxes.clear();
  answer = 2;
  EXPECT_FALSE(w.StartJoin({FixturePair("run-1"), FixturePair("run-2")}));
  EXPECT_EQ(boxes, std::vector<std::string>{GetUiText(UiText::SameNameExists)});
  // Into the recordings' own folder, or that folder spelled in another letter
  // case (one folder on a card; planted here on a disk that keeps case
  // apart): the output would replace its input, which is refused with the
  // reason before any question, and the input stays.
  answer = 1;
  w.SetRowChooser([&](int, const std::vector<RecordingEntry>&, std::vector<RecordingEntry>& chosen) {
    chosen = {rows[1]};
    return true;
  });
  fs::create_directories(dir / "SRC/20250305_001");
  for (const std::string& folder : {ParentFolder(rows[1].frontPath), dir / "SRC/20250305_001"}) {
    browser.folder = folder;
    boxes.clear();
    w.OnJoinCommand();
    ASSERT_TRUE(finished());
    EXPECT_EQ(boxes, std::vector<std::string>{std::string(GetUiText(UiText::JoinFailed)) + "\n" +
                                              JoinFaultText(JoinFault::kOutputIsInput)});
  }
  EXPECT_EQ(fs::file_size(rows[1].frontPath), fs::file_size(qvtest::Fixture("run-2-F")));
  EXPECT_TRUE(fs::is_empty(dir / "SRC/20250305_001"));

  w.Shutdown();
  SetFolderBrowser(nullptr);
  if (old.empty()) unsetenv("XDG_DATA_HOME"); else setenv("XDG_DATA_HOME", old.c_str(), 1);
}

// A card that turns read-only during a join (FAT drivers do so after an I/O
// error): the join fails with its reason and its temporaries cannot be
// removed, the front one beside the target of the output name, a link into
// another folder.  Both folders stay remembered, and once the program has
// ended the next start removes the temporaries and forgets the folders.
TEST(CommandsWindow, TemporariesACardTurnedReadOnlyKeptGoAtTheNextStart) {
  if (qvtest::Fixture("run-1-F").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::App();
  qvtest::TempDir dir;
  FixedFolder browser;
  SetFolderBrowser(&browser);
  browser.folder = dir / "card/out";
  const std::string older = dir.Write("card/older/001_091520AN_F.MP4", "an older join");
  fs::create_directories(browser.folder);
  ASSERT_EQ(symlink("../older/001_091520AN_F.MP4", (browser.folder + "/001_091520AN_F.MP4").c_str()), 0);
  const std::string linked = fs::canonical(dir / "card/older");
  const std::string settings = dir / "Default_Folder.ini";
  auto record = [&] {
    std::vector<std::string> r = ReadIniList(kIniFolders, kIniJoinRunning, settings);
    std::sort(r.begin(), r.end());
    return r;
  };
  {
    std::vector<std::string> boxes;
    CtesselDlg w;
    w.OnInitDialog(dir.path());
    w.SetCommandBox([&](const std::string& text, const std::string&, int) {
      boxes.push_back(text);
      return 1;  // a join over the older one
    });
    w.SetRowChooser([&](int, const std::vector<RecordingEntry>&, std::vector<RecordingEntry>& chosen) {
      chosen = {FixturePair("run-1"), FixturePair("run-2")};
      return true;
    });
    w.SetSourceRows({FixturePair("run-1"), FixturePair("run-2")});
    CardSteps card(dir / "card");
    card.readOnly = true;
    w.OnJoinCommand();
    ASSERT_TRUE(qvtest::WaitFor([&] { return !w.FileWorkRunning(); }, 20000));
    EXPECT_EQ(boxes, (std::vector<std::string>{GetUiText(UiText::SameNameExists),
                                               std::string(GetUiText(UiText::JoinFailed)) + "\n" +
                                                   JoinFaultText(JoinFault::kReadOnly)}));
    EXPECT_GE(CountTemporaries(linked), 1);
    EXPECT_EQ(CountTemporaries(browser.folder), 1);  // the rear's
    EXPECT_EQ(record(), (std::vector<std::string>{linked, browser.folder}));  // "older" before "out"
    w.Shutdown();
  }
  EXPECT_EQ(qvtest::ReadText(older), "an older join");
  EXPECT_TRUE(fs::is_symlink(browser.folder + "/001_091520AN_F.MP4"));

  // The program ends; the card is writable again at the next start.
  for (const std::string& folder : {linked, browser.folder})
    EXPECT_GE(qvtest::HandTemporariesToAnEndedProcess(folder), 1);
  CtesselDlg w;
  w.OnInitDialog(dir.path());
  EXPECT_TRUE(qvtest::WaitFor(
      [&] { return CountTemporaries(linked) == 0 && CountTemporaries(browser.folder) == 0 && record().empty(); }, 5000));
  EXPECT_EQ(qvtest::ReadText(older), "an older join");
  w.Shutdown();
  SetFolderBrowser(nullptr);
}

// The source's rows are read on a worker: the command returns at once with
// the controls off and goes on when the rows are posted; a source that goes
// meanwhile, or the window's end, drops them.
TEST(CommandsWindow, SourceRowsAreReadOffTheWindowThread) {
  if (qvtest::Fixture("card-root").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::App();
  qvtest::TempDir dir;
  CtesselDlg w;
  w.OnInitDialog(dir.path());
  ASSERT_TRUE(qvtest::WaitFor([&] { return w.PostInitRuns() == 1; }, 5000));
  std::vector<size_t> offered;
  w.SetRowChooser([&](int, const std::vector<RecordingEntry>& rows, std::vector<RecordingEntry>&) {
    offered.push_back(rows.size());
    return false;
  });
  auto openCard = [&] {
    w.Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
    w.Browser()->FinishScan();
  };
  openCard();
  w.OnDeleteCommand();
  EXPECT_TRUE(offered.empty() && w.ReadingCommandRows());
  EXPECT_FALSE(w.FrameButton(0)->isEnabled());
  w.OnDeleteCommand();  // ignored while the rows are read
  ASSERT_TRUE(qvtest::WaitFor([&] { return !offered.empty(); }, 20000));
  qvtest::Pump(50);
  EXPECT_EQ(offered, std::vector<size_t>{9});  // every pair of the card, once
  EXPECT_TRUE(w.FrameButton(0)->isEnabled());

  w.OnDeleteCommand();
  w.OnSourceGone();
  ASSERT_TRUE(qvtest::WaitFor([&] { return !w.ReadingCommandRows(); }, 20000));
  EXPECT_TRUE(w.FrameButton(0)->isEnabled());
  openCard();
  w.OnDeleteCommand();
  w.Shutdown();
  EXPECT_FALSE(w.Browser()->Rebuilding());
  qvtest::Pump(50);
  EXPECT_EQ(offered.size(), 1u);
}

// With a pair bound: the stills of both cameras at the play position, asked
// about before they are written again; the camera switch; play and pause.
TEST(CommandsWindow, StillsCameraSwitchAndPlayOnABoundPair) {
  if (qvtest::Fixture("card-root").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::App();
  qvtest::TempDir dir;
  FixedFolder browser;
  SetFolderBrowser(&browser);
  std::vector<std::string> boxes;
  int answer = 1;
  CtesselDlg w;
  w.OnInitDialog(dir.path());
  w.show();
  ASSERT_TRUE(qvtest::WaitFor([&] { return w.PostInitRuns() == 1; }, 5000));
  w.SetCommandBox([&](const std::string& text, const std::string&, int) {
    boxes.push_back(text);
    return answer;
  });
  w.Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
  w.Browser()->FinishScan();
  QTreeWidgetItem* top = w.Browser()->Tree()->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
  w.Browser()->Tree()->SelectQuietly(folder);
  w.OnFolderSelected(folder, true);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w.PairBound() && !w.Opening(); }, 8000));
  ASSERT_EQ(w.CurrentIndex(), 0);
  w.SeekToPosition(123);
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - 123) <= 2; }, 3000));
  const std::string position = FormatInt(PlayerApi_GetPosition(2));

  browser.folder = dir / "stills";
  fs::create_directories(browser.folder);
  ASSERT_TRUE(w.RunCommand(kCmdStill));
  EXPECT_EQ(boxes, std::vector<std::string>{GetUiText(UiText::Done)});
  const std::string tail = "-" + std::string(6 - position.size(), '0') + position + ".jpg";
  const std::string front = browser.folder + "/20250305_091520AN_F" + tail;
  const std::string rear = browser.folder + "/20250305_091520AN_R" + tail;
  ASSERT_TRUE(fs::exists(front) && fs::exists(rear));
  EXPECT_EQ(qvtest::ReadText(front).substr(0, 3), "\xFF\xD8\xFF");
  // The same position again: asked first; Cancel leaves both stills as they are.
  qvtest::WriteText(rear, "kept");
  boxes.clear();
  answer = 2;
  ASSERT_TRUE(w.RunCommand(kCmdStill));
  EXPECT_EQ(boxes, std::vector<std::string>{GetUiText(UiText::SameNameExists)});
  EXPECT_EQ(qvtest::ReadText(rear), "kept");
  EXPECT_EQ(ReadDefaultFolderIni("FOLDERPATH", "SNAPSHOT_FOLDER"), browser.folder);

  // The camera switch shows the rear camera in the main window and back.
  auto mainCamera = [&] { return static_cast<CMovieStatic*>(w.Pane(0))->CameraIndex(); };
  ASSERT_TRUE(w.RunCommand(kCmdFrontRear));
  EXPECT_EQ(mainCamera(), 1);
  EXPECT_EQ(static_cast<CMovieStatic*>(w.Pane(1))->CameraIndex(), 0);
  ASSERT_TRUE(w.RunCommand(kCmdFrontRear));
  EXPECT_EQ(mainCamera(), 0);

  // Play, then pause.
  ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPlaying);
  ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPaused);

  // A burst of presses, as fast as a user clicks: every press is taken at
  // once, and the last one decides, the button agreeing.
  auto showsPause = [&] { return w.CommandButton(2)->toolTip().toStdString() == GetUiTextIn(UiLanguage, 11); };
  for (int press = 0; press < 21; ++press) {
    ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
    qvtest::Pump(press % 3);
  }
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPlaying);
  EXPECT_TRUE(showsPause());
  const int32_t burstEnd = PlayerApi_GetPosition(2);
  EXPECT_TRUE(qvtest::WaitFor([&] { return PlayerApi_GetPosition(2) > burstEnd + 5; }, 10000));
  ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPaused);
  EXPECT_FALSE(showsPause());

  // The play button shows the pair's state after the scaled images are made
  // again, after the still command (which pauses) and after full screen.
  ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
  w.RebuildScaledResources();
  EXPECT_TRUE(showsPause());
  ASSERT_TRUE(w.RunCommand(kCmdStill));
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPaused);
  EXPECT_FALSE(showsPause());
  ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
  w.ToggleFullScreen(true);
  ASSERT_TRUE(w.RunCommand(kCmdPlayPause));
  w.ToggleFullScreen(true);
  EXPECT_FALSE(showsPause());

  // The map command: off at start (nothing probed); one press turns the
  // map on in its shown pop-out, the next turns it off and hides it.
  QWidget* mapPopout = w.Child("map")->window();
  EXPECT_EQ(w.MapWrap().MapDisplayOn(), 0);
  ASSERT_TRUE(w.RunCommand(kCmdMap));
  EXPECT_EQ(w.MapWrap().MapDisplayOn(), 1);
  EXPECT_TRUE(mapPopout->isVisible());
  ASSERT_TRUE(w.RunCommand(kCmdMap));
  EXPECT_EQ(w.MapWrap().MapDisplayOn(), 0);
  EXPECT_FALSE(mapPopout->isVisible());

  w.Shutdown();
  SetFolderBrowser(nullptr);
}
