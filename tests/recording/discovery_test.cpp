#include "recording/discovery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "mp4testfiles.h"
#include "recording/movieindex.h"
#include "recording/recordingname.h"
#include "testsupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The tree as "parent/name:flags" lines.
struct VectorTree : FolderTreeSink {
  std::vector<std::string> names;
  std::vector<uint32_t> flags;
  std::vector<Item> parents;
  Item InsertFolder(Item parent, const std::string& name) override {
    names.push_back(name);
    flags.push_back(0);
    parents.push_back(parent);
    return static_cast<Item>(names.size());
  }
  void SetFolderFlags(Item item, uint32_t mask) override { flags[static_cast<size_t>(item) - 1] = mask; }
};

RecordingEntry Row(const std::string& name) {
  RecordingEntry e;
  e.frontName = name;
  e.frontPath = "/c/" + name;
  return e;
}

std::vector<std::string> Names(const std::vector<RecordingEntry>& rows) {
  std::vector<std::string> out;
  for (const RecordingEntry& e : rows) out.push_back(e.frontName.empty() ? e.rearName : e.frontName);
  return out;
}

TEST(Discovery, CardFillPairsDateFoldersWithTheirTriggers) {
  const std::string card = qvtest::Fixture("card-root");
  ASSERT_FALSE(card.empty());
  ScanContext ctx;
  VectorTree tree;
  std::vector<RecordingEntry> entries, folderRows;
  int pairs = 0;
  ASSERT_TRUE(FillFolderTree(card, &tree, 0, entries, &folderRows, true, &pairs, 0, ctx));
  // "Delete Folder" is no date folder; both date folders hold pairs.
  EXPECT_EQ(tree.names, (std::vector<std::string>{"20250305_001", "20250305_002"}));
  EXPECT_EQ(tree.flags[0], kTriggerA | kTriggerG | kTriggerM);
  EXPECT_EQ(tree.flags[1], kTriggerA | kTriggerP | kTriggerS);
  ASSERT_EQ(entries.size(), 9u);
  ASSERT_EQ(folderRows.size(), 2u);
  EXPECT_EQ(folderRows[0].sequence, -1);
  EXPECT_EQ(folderRows[0].frontSize, ~uint64_t{0});
  for (const RecordingEntry& e : entries) {
    ASSERT_FALSE(e.frontPath.empty());
    ASSERT_FALSE(e.rearPath.empty());
    // The scan's own reading agrees with the movie index.
    uint32_t count = 0;
    EXPECT_EQ(e.frontSize, GetTrackDataSize(e.frontPath, &count)) << e.frontName;
    EXPECT_EQ(e.frontSamples, count);
    EXPECT_EQ(e.rearSize, GetTrackDataSize(e.rearPath, &count)) << e.rearName;
    EXPECT_GT(e.frontSize, 0u);
  }
  EXPECT_EQ(entries[5].parking, 0);
  EXPECT_EQ(entries[7].parking, 1);

  // Met again (a rescan into the same rows): listed once.
  ASSERT_TRUE(ScanFolderEntries(card, entries, nullptr, 0, ctx));
  EXPECT_EQ(entries.size(), 9u);
}

TEST(Discovery, FolderScanKeepsLoneFrontsAndSkipsIncompletePairs) {
  const std::string folder = qvtest::Fixture("folder-root");
  ASSERT_FALSE(folder.empty());
  ScanContext ctx;
  std::vector<RecordingEntry> entries;
  int files = 0;
  ASSERT_TRUE(ScanFolderEntries(folder, entries, &files, 0, ctx));
  EXPECT_GT(files, 8);
  bool loneFront = false;
  for (const RecordingEntry& e : entries) {
    EXPECT_NE(e.frontName, fs::path(qvtest::Fixture("no-block-F")).filename().string());
    if (e.frontPath == qvtest::Fixture("front-only-F")) {
      loneFront = true;
      EXPECT_TRUE(e.rearPath.empty());
      EXPECT_TRUE(e.rearName.empty());
    }
  }
  EXPECT_TRUE(loneFront);
  EXPECT_EQ(ctx.unreadablePath, "");  // the missing rear is no read failure
  // The moov-first layout is read as well as the recorder's own.
  for (const RecordingEntry& e : entries) {
    if (e.frontPath != qvtest::Fixture("faststart-F")) continue;
    EXPECT_EQ(e.frontSize, GetTrackDataSize(e.frontPath, nullptr));
  }
}

// A sample-size table of n sizes that differ.
std::string SizeTable(uint32_t n) {
  std::string t = std::string(4, '\0') + mp4test::Be32(0) + mp4test::Be32(n);
  for (uint32_t i = 0; i < n; ++i) t += mp4test::Be32(1000 + i % 977);
  return t;
}

TEST(Discovery, SummaryReadsTheVideoSizesOfEveryLayoutAsTheMovieIndexDoes) {
  using namespace mp4test;
  // Tables larger than one read: the video track lies past the first read,
  // or its sample sizes run past it.
  const std::string audio = Trak("soun", 0, 0, Stts({{1, 1}}), SizeTable(12000));
  const std::string video = Trak("vide", 320, 180, Stts({{9000, 1}}), SizeTable(9000));
  const std::string small = Trak("vide", 8, 8, Stts({{3, 1}}), Stsz({5, 6, 7}));
  const std::string mdat = Box("mdat", std::string(5000, 'x'));
  const std::string largeMdat =
      mp4test::Be32(1) + "mdat" + mp4test::Be32(0) + mp4test::Be32(16 + 5000) + std::string(5000, 'x');
  const std::string tail = DriveBlock(3);
  const std::vector<std::string> layouts = {
      Ftyp() + mdat + Box("moov", Mvhd(1000, 1) + audio + video) + tail,
      Ftyp() + mdat + Box("moov", Mvhd(1000, 1) + video + audio) + tail,
      Ftyp() + Box("moov", Mvhd(1000, 1) + small) + mdat + tail,  // within the head
      Ftyp() + Box("moov", Mvhd(1000, 1) + video) + mdat + tail,  // from the head on
      Ftyp() + Box("free", std::string(30000, '\0')) + mdat + Box("moov", audio + video) + tail,
      Ftyp() + largeMdat + Box("moov", video) + tail,
  };
  qvtest::TempDir dir;
  for (size_t i = 0; i < layouts.size(); ++i) {
    const std::string path = dir / ("layout" + std::to_string(i) + ".MP4");
    ASSERT_TRUE(qvtest::WriteText(path, layouts[i]));
    const MovieSummary s = ReadMovieSummary(path);
    uint32_t count = 0;
    const uint64_t size = GetTrackDataSize(path, &count);
    EXPECT_GT(size, 0u) << i;
    EXPECT_EQ(s.mediaBytes, size) << i;
    EXPECT_EQ(s.samples, count) << i;
    EXPECT_EQ(s.check, FileCheck::kComplete) << i;
  }
  // A movie index cut by the end of the file is not read at all.
  const std::string moov = Box("moov", video);
  const std::string cut = dir / "cut.MP4";
  ASSERT_TRUE(qvtest::WriteText(cut, Ftyp() + mdat + moov.substr(0, moov.size() - 100)));
  EXPECT_EQ(ReadMovieSummary(cut).mediaBytes, 0u);
  EXPECT_EQ(ReadMovieSummary(cut).samples, 0u);
}

TEST(Discovery, EachMovieIsReadOncePerScanAndItsIndexWhole) {
  using namespace mp4test;
  qvtest::TempDir dir;
  // One thread reads a movie with a small index, then ones with far larger
  // indexes past the first read's reach: each is read whole.
  const std::string mdat = Box("mdat", std::string(3000, 'x'));
  const std::vector<uint32_t> counts = {3, 9000, 40000, 5};
  for (size_t i = 0; i < counts.size(); ++i) {
    const std::string path = dir / ("index" + std::to_string(i) + ".MP4");
    const std::string video = Trak("vide", 320, 180, Stts({{counts[i], 1}}), SizeTable(counts[i]));
    ASSERT_TRUE(qvtest::WriteText(path, Ftyp() + mdat + Box("moov", Mvhd(1000, 1) + video) + DriveBlock(3)));
    uint32_t count = 0;
    const uint64_t size = GetTrackDataSize(path, &count);
    const MovieSummary s = ReadMovieSummary(path);
    EXPECT_EQ(s.mediaBytes, size) << counts[i];
    EXPECT_EQ(s.samples, count) << counts[i];
  }

  // The steps of one scan share what it read: the folder fill after the
  // card's scan shows what the scan saw, a new scan sees the file as it is.
  ASSERT_FALSE(qvtest::Fixture("run-1-F").empty() || qvtest::Fixture("truncated-F").empty());
  const std::string day = dir / "card/20240101_001";
  fs::create_directories(day);
  const std::string front = day + "/001_091520AN_F.MP4";
  fs::copy_file(qvtest::Fixture("run-1-F"), front);
  fs::copy_file(qvtest::Fixture("run-1-R"), day + "/001_091520AN_R.MP4");
  for (int readers : {0, 3}) {
    fs::copy_file(qvtest::Fixture("run-1-F"), front, fs::copy_options::overwrite_existing);
    ScanContext ctx;
    ctx.readers = readers;
    std::vector<RecordingEntry> card;
    ASSERT_TRUE(FillFolderTree(dir / "card", nullptr, 0, card, nullptr, true, nullptr, 0, ctx));
    ASSERT_EQ(card.size(), 1u);
    fs::copy_file(qvtest::Fixture("truncated-F"), front, fs::copy_options::overwrite_existing);
    std::vector<RecordingEntry> rows;
    ASSERT_TRUE(FillFolderTree(day, nullptr, 0, rows, nullptr, true, nullptr, 1, ctx));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].frontSize, card[0].frontSize);
    EXPECT_EQ(ctx.Summary(front).check, FileCheck::kComplete);
    ScanContext fresh;
    fresh.readers = readers;
    rows.clear();
    ASSERT_TRUE(ScanFolderEntries(day, rows, nullptr, 0, fresh));
    ASSERT_EQ(rows.size(), 1u);  // through its complete rear
    EXPECT_NE(rows[0].frontSize, card[0].frontSize);
    EXPECT_EQ(fresh.Summary(front).check, FileCheck::kIncomplete);
  }
}

TEST(Discovery, AFileThatCannotBeReadIsReportedNotTakenForCutShort) {
  // A link that loops stands in for a card that fails to read (the tests run
  // as root, so permissions cannot make a file unreadable).
  qvtest::TempDir dir;
  const std::string name = fs::path(qvtest::Fixture("run-1-F")).filename().string();
  ASSERT_FALSE(name.empty());
  const std::string looped = (fs::path(dir.path()) / name).string();
  fs::create_symlink(name, looped);
  ScanContext ctx;
  std::vector<RecordingEntry> entries;
  ScanFolderEntries(dir.path(), entries, nullptr, 0, ctx);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(ctx.unreadablePath, looped);
  EXPECT_EQ(ctx.unreadableError, ELOOP);
  ctx.Reset();
  EXPECT_TRUE(ctx.unreadablePath.empty());
}

// All a tree fill and a folder scan of `root` give, as text.
std::string ScanText(const std::string& root, int readers) {
  ScanContext ctx;
  ctx.readers = readers;
  VectorTree tree;
  std::vector<RecordingEntry> entries, folderRows;
  FillFolderTree(root, &tree, 0, entries, &folderRows, true, nullptr, 0, ctx);
  ScanContext fresh;
  fresh.readers = readers;
  std::vector<RecordingEntry> scanned;
  ScanFolderEntries(root, scanned, nullptr, 0, fresh);
  std::string text = ctx.unreadablePath + " " + std::to_string(ctx.unreadableError) + " " + fresh.unreadablePath + "\n";
  for (size_t i = 0; i < tree.names.size(); ++i) text += tree.names[i] + ":" + std::to_string(tree.flags[i]) + "\n";
  for (const auto* rows : {&entries, &folderRows, &scanned})
    for (const RecordingEntry& e : *rows)
      text += e.frontPath + "|" + e.rearPath + "|" + std::to_string(e.sequence) + "|" + std::to_string(e.frontSize) +
              "|" + std::to_string(e.rearSize) + "|" + std::to_string(e.frontSamples) + "\n";
  return text;
}

TEST(Discovery, ReadAheadThreadsChangeNothing) {
  // Three date folders of pairs, some cut short, some alone, and movies that
  // cannot be read in the second and third: the first of those met is the
  // one reported, whichever thread read what.
  qvtest::TempDir dir, copies;
  ASSERT_FALSE(qvtest::Fixture("run-1-F").empty() || qvtest::Fixture("truncated-F").empty());
  // Hard links to copies on the temporary folder's own file system (the
  // fixtures may lie on another).
  const std::string front = copies / "f", rear = copies / "r", cut = copies / "c";
  fs::copy_file(qvtest::Fixture("run-1-F"), front);
  fs::copy_file(qvtest::Fixture("run-1-R"), rear);
  fs::copy_file(qvtest::Fixture("truncated-F"), cut);
  for (int f = 1; f <= 3; ++f) {
    const std::string folder = dir / ("2024010" + std::to_string(f) + "_001");
    fs::create_directories(folder);
    for (int i = 10; i < 50; ++i) {
      const std::string stem = folder + "/0" + std::to_string(i) + "_0000" + std::to_string(i) + (i % 5 ? "A" : "G");
      if (i == 20 + f) {
        fs::create_symlink(stem + "N_F.MP4", stem + "N_F.MP4");
        continue;
      }
      fs::create_hard_link(i % 9 == 4 ? cut : front, stem + "N_F.MP4");
      if (i % 11 != 6 || i < 30) fs::create_hard_link(rear, stem + "N_R.MP4");
    }
  }
  const std::string alone = ScanText(dir.path(), 0);
  EXPECT_NE(alone.find("/20240101_001/021_000021AN_F.MP4 40"), std::string::npos) << alone.substr(0, 200);
  for (int run = 0; run < 4; ++run) EXPECT_EQ(ScanText(dir.path(), 3), alone);
  // A scan cancelled before it starts ends at once with nothing.
  std::atomic<bool> cancel{true};
  ScanContext ctx;
  ctx.cancel = &cancel;
  std::vector<RecordingEntry> rows;
  EXPECT_FALSE(FillFolderTree(dir.path(), nullptr, 0, rows, nullptr, true, nullptr, 0, ctx));
  EXPECT_TRUE(rows.empty());
}

// A card of three date folders holding one pair each, and a folder that is
// no date folder holding one more.
std::string CardOfThreeDays(const qvtest::TempDir& dir) {
  const std::string card = dir / "card";
  for (const char* folder : {"20240101_001", "20240102_001", "20240103_001", "misc"}) {
    fs::create_directories(card + "/" + folder);
    for (const char* role : {"run-1-F", "run-1-R"})
      fs::create_symlink(qvtest::Fixture(role), card + "/" + folder + "/" + fs::path(qvtest::Fixture(role)).filename().string());
  }
  return card;
}

// Clears an injected listing failure however the test ends.
struct ListFailure {
  ListFailure(const std::string& folder, int error, int afterEntries = -1) {
    InjectFolderListFailure(folder, error, afterEntries);
  }
  ~ListFailure() { InjectFolderListFailure("", 0); }
};

TEST(Discovery, AnUnreadableDateFolderIsReportedOnceAndLeftOutOfTheTree) {
  ASSERT_FALSE(qvtest::Fixture("run-1-F").empty());
  qvtest::TempDir dir;
  const std::string card = CardOfThreeDays(dir);
  struct Case {
    std::string folder;
    int error, afterEntries;
    bool reported;
  };
  const std::vector<Case> cases = {
      {card + "/20240102_001", EACCES, -1, true},  // cannot be opened
      {card + "/20240102_001", EIO, 3, true},      // fails part way: what was listed is not shown either
      {card + "/20240102_001", ENOENT, -1, false},  // gone meanwhile: no failing card
      {card + "/misc", EACCES, -1, false},          // no date folder: never entered by the fill
  };
  for (const Case& c : cases) {
    for (int readers : {0, 3}) {
      SCOPED_TRACE(c.folder + " " + std::to_string(c.error) + " readers " + std::to_string(readers));
      ListFailure failure(c.folder, c.error, c.afterEntries);
      ScanContext ctx;
      ctx.readers = readers;
      VectorTree tree;
      std::vector<RecordingEntry> entries, folderRows;
      ASSERT_TRUE(FillFolderTree(card, &tree, 0, entries, &folderRows, true, nullptr, 0, ctx));
      const bool dayGone = c.folder == card + "/20240102_001";
      EXPECT_EQ(tree.names, dayGone ? (std::vector<std::string>{"20240101_001", "20240103_001"})
                                    : (std::vector<std::string>{"20240101_001", "20240102_001", "20240103_001"}));
      EXPECT_EQ(entries.size(), tree.names.size());
      EXPECT_EQ(folderRows.size(), tree.names.size());
      EXPECT_EQ(ctx.unreadablePath, c.reported ? c.folder : "");
      EXPECT_EQ(ctx.unreadableError, c.reported ? c.error : 0);
      // The scan behind the commands tells the same.
      ScanContext fresh;
      fresh.readers = readers;
      std::vector<RecordingEntry> scanned;
      ASSERT_TRUE(ScanFolderEntries(card, scanned, nullptr, 0, fresh));
      EXPECT_EQ(fresh.unreadablePath, c.reported ? c.folder : "");
      EXPECT_EQ(scanned.size(), dayGone ? 3u : c.folder == card + "/misc" ? 3u : 4u);
    }
  }
  // A folder chosen in the tree that cannot be read tells as well.
  ListFailure failure(card + "/20240103_001", EIO);
  ScanContext ctx;
  std::vector<RecordingEntry> rows;
  ASSERT_TRUE(FillFolderTree(card + "/20240103_001", nullptr, 0, rows, nullptr, false, nullptr, 1, ctx));
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(ctx.unreadablePath, card + "/20240103_001");
}

TEST(Discovery, AFolderWithoutPermissionIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any folder";
  ASSERT_FALSE(qvtest::Fixture("run-1-F").empty());
  qvtest::TempDir dir;
  const std::string card = CardOfThreeDays(dir);
  fs::permissions(card + "/20240102_001", fs::perms::none);
  ScanContext ctx;
  VectorTree tree;
  std::vector<RecordingEntry> entries;
  const bool filled = FillFolderTree(card, &tree, 0, entries, nullptr, true, nullptr, 0, ctx);
  fs::permissions(card + "/20240102_001", fs::perms::owner_all);
  ASSERT_TRUE(filled);
  EXPECT_EQ(tree.names, (std::vector<std::string>{"20240101_001", "20240103_001"}));
  EXPECT_EQ(ctx.unreadablePath, card + "/20240102_001");
  EXPECT_EQ(ctx.unreadableError, EACCES);
}

TEST(Discovery, EmptyDateFoldersDepthAndItemCaps) {
  qvtest::TempDir dir;
  const std::string movie = qvtest::Fixture("run-1-F");
  ASSERT_FALSE(movie.empty());
  fs::create_directories(dir / "20240101_001");
  fs::create_directories(dir / "20240101_002");
  fs::copy_file(movie, dir / "20240101_002/001_091520AN_F.MP4");
  // Four levels down: not entered.
  fs::create_directories(dir / "a/b/c/20240101_003");
  fs::copy_file(movie, dir / "a/b/c/20240101_003/001_091520AN_F.MP4");
  ScanContext ctx;
  VectorTree tree;
  std::vector<RecordingEntry> entries;
  ASSERT_TRUE(FillFolderTree(dir.path(), &tree, 0, entries, nullptr, true, nullptr, 0, ctx));
  EXPECT_EQ(tree.names, std::vector<std::string>{"20240101_002"});
  EXPECT_EQ(tree.flags[0], kTriggerA);
  entries.clear();
  ASSERT_TRUE(ScanFolderEntries(dir.path(), entries, nullptr, 0, ctx));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].frontPath, dir / "20240101_002/001_091520AN_F.MP4");

  qvtest::TempDir many;
  for (int i = 0; i < 1001; ++i) fs::create_directory(many / ("d" + std::to_string(1000 + i)));
  VectorTree flat;
  ASSERT_TRUE(FillFolderTree(many.path(), &flat, 0, entries, nullptr, false, nullptr, 0, ctx));
  EXPECT_EQ(flat.names.size(), 999u);
}

TEST(Discovery, SortGroupsRemovalAndCapacityClasses) {
  std::vector<RecordingEntry> rows = {Row("003_100000PN_F.MP4"), Row("notes.MP4"), Row("002_100000AN_F.MP4"),
                                      Row("001_100000SN_F.MP4"), Row("001_090000GN_F.MP4")};
  SortEntries(rows);
  EXPECT_EQ(Names(rows), (std::vector<std::string>{"001_090000GN_F.MP4", "002_100000AN_F.MP4", "001_100000SN_F.MP4",
                                                   "003_100000PN_F.MP4", "notes.MP4"}));
  RemoveEntries(rows, {Row("002_100000AN_F.MP4"), Row("notes.MP4")});
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_EQ(DiskSizeClass(32000000000ull), 0);
  EXPECT_EQ(DiskSizeClass(64000000000ull), 1);
  EXPECT_EQ(DiskSizeClass(128000000000ull), 2);
}

TEST(Discovery, FormatConfigAndSourceFolderSplit) {
  FormatInfo info;
  info.version = "kept";
  std::string bytes(41, '\0');
  EXPECT_FALSE(ParseFormatConfig(bytes, info));
  EXPECT_EQ(info.version, "kept");
  bytes.resize(42, '\0');
  bytes.replace(16, 8, "QVCAM-01");
  bytes.replace(24, 3, "2x5");
  ASSERT_TRUE(ParseFormatConfig(bytes, info));
  EXPECT_EQ(info.version, "2.0.5");
  EXPECT_EQ(info.model, "QVCAM-01");
  bytes.replace(16, 8, std::string("CAM\xE9\0\0\0\0", 8));  // Latin-1 past ASCII, up to the first NUL
  ASSERT_TRUE(ParseFormatConfig(bytes, info));
  EXPECT_EQ(info.model, "CAM\xC3\xA9");

  EXPECT_EQ(SplitSourceFolder("/media/Videos/").parent, "/media");
  EXPECT_EQ(SplitSourceFolder("/media/Videos/").name, "Videos");
  EXPECT_EQ(SplitSourceFolder("/Videos").parent, "/");
  EXPECT_EQ(SplitSourceFolder("/").name, "/");
  EXPECT_EQ(JoinPath("/", "a"), "/a");
}

struct CountingPost : MessagePost {
  std::atomic<int> posts{0};
  bool Post(uint32_t message, uintptr_t, intptr_t) override {
    if (message == kMsgMovieResourceRemoved) ++posts;
    return true;
  }
};

bool WaitFor(const std::atomic<int>& v, int want, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (v.load() < want && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return v.load() >= want;
}

TEST(Discovery, WatcherPostsOncePerPathAndNoticesAnUnmount) {
  qvtest::TempDir dir;
  const std::string table = dir / "mountinfo";
  const std::string line = "36 35 98:0 / " + dir.path() + "/card rw - vfat /dev/sdz1 rw\n";
  ASSERT_TRUE(qvtest::WriteText(table, line));
  fs::create_directories(dir / "card");
  fs::create_directories(dir / "other");
  CountingPost post;
  {
    CMovieResource watcher(table, 20);
    watcher.SetOwner(&post);
    watcher.SetWatchPath(dir / "other");
    fs::remove(dir / "other");
    ASSERT_TRUE(WaitFor(post.posts, 1, 1000));
    EXPECT_EQ(watcher.removed.load(), 1);
    EXPECT_TRUE(watcher.WatchPath().empty());
    // A new path is watched again; the folder outlives its unmounted card.
    watcher.SetWatchPath(dir / "card", dir / "card");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(post.posts.load(), 1);
    ASSERT_TRUE(qvtest::WriteText(table, ""));
    ASSERT_TRUE(WaitFor(post.posts, 2, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    watcher.SetOwner(nullptr);
  }
  EXPECT_EQ(post.posts.load(), 2);
}

}  // namespace
}  // namespace qv
