#include "recording/recording_files.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/drives.h"
#include "recording/delete_folder.h"
#include "testsupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

int Next(const std::vector<int>& taken, const std::set<int>& present) {
  return ChooseDeleteFolderNumber(taken, [&](int n) { return present.count(n) != 0; });
}

TEST(DeleteFolder, Numbering) {
  // A free number below the largest first, else one above it.  The name
  // 0000 taken by something unlisted (hidden, a folder): fail rather than
  // count from a name that is not there.
  const struct {
    std::vector<int> taken;
    std::set<int> present;
    int next;
  } cases[] = {{{}, {}, 0},         {{0, 1}, {0, 1}, 2}, {{5}, {5}, 4},   {{3, 4}, {3, 4}, 2},
               {{0, 2}, {0, 2}, 1}, {{0, 9999}, {0, 9999}, 9998},        {{}, {0}, -1}};
  for (const auto& c : cases) EXPECT_EQ(Next(c.taken, c.present), c.next) << c.next;
  // Past 9999 there is no four-digit name.
  std::vector<int> all;
  std::set<int> present;
  for (int i = 0; i <= 9999; ++i) {
    all.push_back(i);
    present.insert(i);
  }
  EXPECT_EQ(Next(all, present), -1);

  EXPECT_EQ(DeleteFolderName('P', 1234), "PTMP1234.DAT");
  // Cards ignore letter case, and so does the count.
  for (auto [name, n] : {std::pair{"NTMP0003.DAT", 3}, {"ntmp0002.dat", 2}, {"NTMP0003.dat", 3}, {"NTMP003.DAT", -1},
                         {"NTMP00003.DAT", -1}, {"NTMPabcd.DAT", -1}, {"NTMP0003.DATX", -1}, {"ptmp0003.dat", -1},
                         {"N", -1}})
    EXPECT_EQ(DeleteFolderNumber(name, 'N'), n) << name;
  EXPECT_EQ(DeleteFolderNumber("NTMP0003.DAT", 'P'), -1);
  // Parking recordings (P and S) count in a series of their own: the card's moves below.
  EXPECT_EQ(DeleteFolderPrefix("/c/DCIM/001_120000SN_R.MP4"), 'P');
  EXPECT_EQ(DeleteFolderPrefix("short.MP4"), 'N');
}

// A fake card: the Delete Folder is looked for at the top of the file system
// holding the files, so these tests use a folder that is its own mount
// (a private tmpfs) when the tests may mount, and skip otherwise.
class Card : public ::testing::Test {
 protected:
  void SetUp() override {
    top = dir / "card";
    fs::create_directories(top);
    if (mount("qvtest", top.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "cannot mount a test card";
    mounted = true;
    fs::create_directories(top + "/DCIM/20240131_001");
    deleteFolder = top + "/Delete Folder";
  }
  void TearDown() override {
    if (mounted) umount2(top.c_str(), MNT_DETACH);
  }
  std::string File(const std::string& name, const std::string& content = "m") {
    std::string p = top + "/DCIM/20240131_001/" + name;
    qvtest::WriteText(p, content);
    return p;
  }
  std::set<std::string> DeleteFolderNames() {
    std::set<std::string> out;
    for (auto& e : fs::directory_iterator(deleteFolder)) out.insert(e.path().filename().string());
    return out;
  }

  qvtest::TempDir dir;
  qvtest::ScopedEnv dataHome{"XDG_DATA_HOME", (dir / "data").c_str()};
  std::string top, deleteFolder;
  bool mounted = false;
};

TEST_F(Card, PairsGoIntoTheDeleteFolderUnderNumberedNames) {
  fs::create_directories(deleteFolder);
  qvtest::WriteText(deleteFolder + "/NTMP0000.DAT", "");
  qvtest::WriteText(deleteFolder + "/NTMP0001.DAT", "");
  qvtest::WriteText(deleteFolder + "/Nstray.txt", "");
  qvtest::WriteText(deleteFolder + "/PTMP0005.DAT", "");
  std::string front = File("001_120000AN_F.MP4", "front"), rear = File("001_120000AN_R.MP4", "rear");
  std::string error;
  ASSERT_TRUE(DeleteRecordingPair(front, rear, &error)) << error;
  EXPECT_FALSE(fs::exists(front));
  EXPECT_FALSE(fs::exists(rear));
  EXPECT_EQ(qvtest::ReadText(deleteFolder + "/NTMP0002.DAT"), "front");
  EXPECT_EQ(qvtest::ReadText(deleteFolder + "/NTMP0003.DAT"), "rear");
  // Parking recordings count in their own series.
  std::string parking = File("002_130000PN_F.MP4", "parking");
  ASSERT_TRUE(MoveToDeleteFolder(parking, &error)) << error;
  EXPECT_EQ(qvtest::ReadText(deleteFolder + "/PTMP0004.DAT"), "parking");
  EXPECT_EQ(DeleteFolderNames(), (std::set<std::string>{"NTMP0000.DAT", "NTMP0001.DAT", "NTMP0002.DAT",
                                                        "NTMP0003.DAT", "Nstray.txt", "PTMP0004.DAT",
                                                        "PTMP0005.DAT"}));
  // A missing file counts as deleted; a name that is no recording is skipped.
  EXPECT_TRUE(MoveToDeleteFolder(top + "/DCIM/none.MP4"));
  std::string other = File("notes.MP4");
  EXPECT_TRUE(DeleteRecordingPair(other, top + "/DCIM/20240131_001/003_140000AN_R.MP4"));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(Card, LowerCaseNamesAndConcurrentMovesTakeNoNumberTwice) {
  fs::create_directories(deleteFolder);
  qvtest::WriteText(deleteFolder + "/ntmp0000.dat", "old");
  std::set<std::string> expected{"ntmp0000.dat"};
  std::vector<std::thread> movers;
  for (int n = 1; n <= 16; ++n) {
    expected.insert(DeleteFolderName('N', n));
    movers.emplace_back([f = File(std::to_string(100 + n) + "_120000AN_F.MP4")] {
      std::string error;
      EXPECT_TRUE(MoveToDeleteFolder(f, &error)) << error;
    });
  }
  for (auto& t : movers) t.join();
  EXPECT_EQ(DeleteFolderNames(), expected);
}

TEST_F(Card, FailuresAreReportedAndTheFileStays) {
  fs::create_directories(deleteFolder);
  // The only candidate name is taken by a folder the listing does not count.
  fs::create_directories(deleteFolder + "/NTMP0000.DAT");
  std::string front = File("001_120000AN_F.MP4", "front"), rear = File("001_120000AN_R.MP4", "rear");
  std::string error;
  EXPECT_FALSE(DeleteRecordingPair(front, rear, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::exists(front));
  EXPECT_TRUE(fs::exists(rear));  // the rear is not touched after the front failed
  // Without a Delete Folder a direct move fails instead of reporting success.
  fs::remove_all(deleteFolder);
  EXPECT_FALSE(MoveToDeleteFolder(front, &error));
  EXPECT_NE(error.find("Delete Folder"), std::string::npos);
  EXPECT_TRUE(fs::exists(front));
}

TEST_F(Card, WithoutADeleteFolderThePairGoesToTheCardsTrash) {
  std::string front = File("001_120000AN_F.MP4", "front"), rear = File("001_120000AN_R.MP4", "rear");
  std::string error;
  ASSERT_TRUE(DeleteRecordingPair(front, rear, &error)) << error;
  EXPECT_FALSE(fs::exists(front));
  EXPECT_FALSE(fs::exists(deleteFolder));  // never created
  const std::string trash = top + "/.Trash-" + std::to_string(getuid());
  EXPECT_EQ(qvtest::ReadText(trash + "/files/001_120000AN_F.MP4"), "front");
  EXPECT_EQ(qvtest::ReadText(trash + "/files/001_120000AN_R.MP4"), "rear");
  EXPECT_TRUE(fs::exists(trash + "/info/001_120000AN_R.MP4.trashinfo"));
}

TEST(RecordingFiles, ListFolderSortedSkipsFoldersHiddenAndOtherLetters) {
  qvtest::TempDir dir;
  for (const char* n : {"NTMP0003.DAT", "NTMP0001.DAT", "Nb", "PTMP0000.DAT", ".NTMP0000.DAT", "N日本"})
    qvtest::WriteText(dir / n, "");
  fs::create_directories(dir / "NTMP0002.DAT");
  std::vector<std::string> names{"kept"};
  ASSERT_TRUE(ListFolderSorted(dir.path(), names, U'N'));
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "NTMP0001.DAT", "NTMP0003.DAT", "Nb", "N日本"}));
  names.clear();
  ASSERT_TRUE(ListFolderSorted(dir.path(), names, U'日'));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(ListFolderSorted(dir / "missing", names, U'N'));
}

}  // namespace
}  // namespace qv
