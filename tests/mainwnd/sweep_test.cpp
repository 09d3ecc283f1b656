// The start-up sweep of what stopped joins and Delete Folder moves left on
// a card, and the window's end while it runs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mainwnd/fileops.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/windowthreads.h"
#include "platform/atomicwrite.h"
#include "platform/inifile.h"
#include "platform/pathutil.h"
#include "fatcard.h"
#include "testsupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using mainwnd::kIniClaimed;
using mainwnd::kIniFolders;
using mainwnd::kIniJoinRunning;

using qvtest::FatCard;

// Runs a join's commit of `target` in a process of its own on a FatCard and
// answers how that process ended.
int JoinInAProcess(const std::string& settings, const std::string& target, bool killed) {
  const pid_t child = fork();
  if (child == 0) {
    FatCard card;
    card.killedAtRename = killed;
    card.readOnlyAfterClaim = !killed;
    JoinFolderRecord record(settings);
    SafeFileWriter file;
    file.NoteFolder([&](const std::string& folder) { record.Note(folder); });
    file.RecordClaims(record.Claims());
    const bool ok = file.Open(target, SafeFileWriter::Existing::kRefuse, SafeFileWriter::Temporary::kNamed) &&
                    file.Write("the joined movie") && file.Commit();
    _exit(ok ? 1 : file.Error() == EROFS ? 2 : 3);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A join killed between the claim and the rename, and one whose card turned
// read-only right after the claim, each leave an empty placeholder under
// the final name; one start's sweep removes both, and nothing else that
// stands under a claimed name.
TEST(JoinSweep, APlaceholderAStoppedJoinLeftGoesAtTheNextStart) {
  qvtest::TempDir dir;
  const std::string settings = dir / "Default_Folder.ini";
  const std::string out = dir / "card/out";
  fs::create_directories(out);
  ASSERT_EQ(JoinInAProcess(settings, out + "/F.MP4", true), 0);
  EXPECT_EQ(CountTemporaries(out), 1);  // the killed join's, which the next join's start removes
  ASSERT_EQ(JoinInAProcess(settings, out + "/R.MP4", false), 2);
  EXPECT_EQ(fs::file_size(out + "/F.MP4"), 0u);
  EXPECT_EQ(fs::file_size(out + "/R.MP4"), 0u);
  // Claims of ended programs whose names hold a user's files meanwhile.
  const std::string ended = std::to_string(qvtest::EndedProcessId()) + ":";
  qvtest::WriteText(out + "/N.MP4", "a recording");
  chmod((out + "/N.MP4").c_str(), 0600);
  qvtest::WriteText(out + "/E.MP4", "");
  chmod((out + "/E.MP4").c_str(), 0644);
  ASSERT_TRUE(UpdateIniList(kIniFolders, kIniClaimed, settings, [&](std::vector<std::string>& list) {
    list.push_back(ended + out + "/N.MP4");
    list.push_back(ended + out + "/E.MP4");
  }));
  ASSERT_EQ(ReadIniList(kIniFolders, kIniClaimed, settings).size(), 4u);

  SweepJoinFolders(settings, "");
  EXPECT_FALSE(fs::exists(out + "/F.MP4"));
  EXPECT_FALSE(fs::exists(out + "/R.MP4"));
  EXPECT_EQ(CountTemporaries(out), 0);
  EXPECT_EQ(qvtest::ReadText(out + "/N.MP4"), "a recording");
  EXPECT_TRUE(fs::exists(out + "/E.MP4"));
  EXPECT_TRUE(ReadIniList(kIniFolders, kIniClaimed, settings).empty());
  EXPECT_TRUE(ReadIniList(kIniFolders, kIniJoinRunning, settings).empty());
}

// A card whose listings (or removals) wait until the test lets them go.
// A listing held far beyond any real wait gives up, so that code which
// cannot go on while one is held fails instead of hanging.
class HeldCard : public SweepSteps {
 public:
  explicit HeldCard(bool holdRemovals) : holdRemovals_(holdRemovals) { SetSweepSteps(this); }
  ~HeldCard() override { SetSweepSteps(nullptr); }
  int RemoveStale(const std::string& folder) override {
    if (holdRemovals_) Hold();
    return SweepSteps::RemoveStale(folder);
  }
  int Count(const std::string& folder) override {
    if (!holdRemovals_) Hold();
    return SweepSteps::Count(folder);
  }
  void WaitHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool GaveUp() {
    std::lock_guard<std::mutex> lock(mutex_);
    return gaveUp_;
  }

 private:
  void Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    held_ = true;
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::seconds(60), [&] { return released_; })) gaveUp_ = true;
  }
  const bool holdRemovals_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false, released_ = false, gaveUp_ = false;
};

// The sweep lists the remembered folders without the settings file's lock:
// while a listing is held the settings read, and a join that begins then
// notes its folder, which the sweep then keeps.
TEST(JoinSweep, SettingsAreReadWhileAListingIsHeld) {
  qvtest::TempDir dir;
  const std::string settings = dir / "Default_Folder.ini";
  const std::string folder = dir / "card";
  fs::create_directories(folder);
  ASSERT_TRUE(WriteIniString(kIniFolders, kIniJoinRunning, folder, settings));
  ASSERT_TRUE(WriteIniString("SOURCE", "SELECT", "SD", settings));
  HeldCard card(false);
  std::thread sweep([&] { SweepJoinFolders(settings, ""); });
  card.WaitHeld();
  EXPECT_EQ(ReadIniString("SOURCE", "SELECT", settings), "SD");
  JoinFolderRecord join(settings);
  join.Note(folder);
  EXPECT_FALSE(card.GaveUp());
  card.Release();
  sweep.join();
  EXPECT_EQ(ReadIniList(kIniFolders, kIniJoinRunning, settings), std::vector<std::string>{folder});
  join.ForgetFinished();
  EXPECT_TRUE(ReadIniList(kIniFolders, kIniJoinRunning, settings).empty());
}

// A folder whose name no settings value holds as it is (a line break,
// a blank at its end) is remembered all the same, and swept; an entry an
// older version wrote reads as it always did.
TEST(JoinSweep, AFolderWithALineBreakIsRememberedAndSwept) {
  qvtest::TempDir dir;
  const std::string settings = dir / "Default_Folder.ini";
  const std::string odd = dir / "line\nbreak ";
  const std::string old = dir / "100%41";
  const std::string stale = "/.F.MP4.qvtmp-" + std::to_string(qvtest::EndedProcessId()) + "-0";
  for (const std::string& f : {odd, old}) {
    fs::create_directories(f);
    qvtest::WriteText(f + stale, "left by a killed join");
  }
  ASSERT_TRUE(WriteIniString(kIniFolders, kIniJoinRunning, old, settings));
  JoinFolderRecord join(settings);
  join.Note(odd);
  join.Note(old);
  const std::vector<std::string> stored = ReadIniList(kIniFolders, kIniJoinRunning, settings);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0], old);
  join.ForgetFinished();  // both still hold a file under construction
  EXPECT_EQ(ReadIniList(kIniFolders, kIniJoinRunning, settings), stored);

  SweepJoinFolders(settings, "");
  EXPECT_EQ(CountTemporaries(odd), 0);
  EXPECT_EQ(CountTemporaries(old), 0);
  EXPECT_TRUE(ReadIniList(kIniFolders, kIniJoinRunning, settings).empty());
}

// The window's end waits for a sweep a moment only: one held on a card
// that does not answer is left running, and the process knows it has one.
TEST(WindowThreads, TheEndLeavesAHeldSweepRunning) {
  qvtest::TempDir dir;
  fs::create_directories(dir / "card");
  HeldCard card(true);
  auto threads = std::make_unique<mainwnd::WindowThreads>();
  threads->StartChore([file = dir / "Default_Folder.ini", last = dir / "card"] { SweepJoinFolders(file, last); });
  card.WaitHeld();
  threads.reset();
  EXPECT_FALSE(card.GaveUp());
  EXPECT_EQ(mainwnd::WindowThreads::ChoresLeftRunning(), 1);
  card.Release();
  while (mainwnd::WindowThreads::ChoresLeftRunning() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace
}  // namespace qv
