#include "platform/atomicwrite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>
#include <vector>

#include "plat_tempdir.h"
#include "platform/pathutil.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Existing = SafeFileWriter::Existing;
using Temporary = SafeFileWriter::Temporary;

size_t Entries(const std::string& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(SafeFileWriter, TheTargetHoldsTheOldOrTheWholeNewFile) {
  const mode_t oldMask = umask(022);
  for (Temporary temporary : {Temporary::kUnnamedWhereSupported, Temporary::kNamed}) {
    qvtest::TempDir dir;
    const std::string path = dir / "still.jpg";
    SafeFileWriter w;
    ASSERT_TRUE(w.Open(path, Existing::kRefuse, temporary));
    ASSERT_TRUE(w.Write("new"));
    EXPECT_FALSE(fs::exists(path));  // nothing under the name until committed
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(qvtest::ReadText(path), "new");
    EXPECT_EQ(ModeOf(path), 0644u);  // the umask's mode for a new file

    // Refusing an existing name, at open and (taken meanwhile) at commit.
    EXPECT_FALSE(w.Open(path, Existing::kRefuse, temporary));
    EXPECT_EQ(w.Error(), EEXIST);
    ASSERT_TRUE(w.Open(dir / "late", Existing::kRefuse, temporary));
    ASSERT_TRUE(w.Write("mine"));
    qvtest::WriteText(dir / "late", "theirs");
    EXPECT_FALSE(w.Commit());
    EXPECT_EQ(w.Error(), EEXIST);
    EXPECT_EQ(qvtest::ReadText(dir / "late"), "theirs");

    // Replacing keeps the old file's mode; an abandoned write changes nothing.
    chmod(path.c_str(), 0600);
    ASSERT_TRUE(w.Open(path, Existing::kReplace, temporary));
    ASSERT_TRUE(w.Write("newer"));
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(qvtest::ReadText(path), "newer");
    EXPECT_EQ(ModeOf(path), 0600u);
    {
      SafeFileWriter dropped;
      ASSERT_TRUE(dropped.Open(path, Existing::kReplace, temporary));
      ASSERT_TRUE(dropped.Write("partial"));
    }
    EXPECT_EQ(qvtest::ReadText(path), "newer");
    EXPECT_EQ(Entries(dir.path()), 2u);  // still.jpg and late: no leftovers
    // A folder or FIFO in the target's place is not replaced.
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(w.Open(dir / "sub", Existing::kReplace, temporary));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(w.Open(dir / "fifo", Existing::kReplace, temporary));
  }
  umask(oldMask);
}

// A writer killed in the middle: unnamed files vanish with the process;
// named ones are removed by the next write into the folder, while those of
// running processes stay.
TEST(SafeFileWriter, KilledWritersLeaveNothingOnceTheNextWriteRan) {
  qvtest::TempDir dir;
  auto killedWriter = [&](Temporary temporary) {
    const pid_t child = fork();
    if (child == 0) {
      SafeFileWriter w;
      if (w.Open(dir / "joined.mp4", Existing::kReplace, temporary) && w.Write(std::string(1 << 16, 'x')))
        raise(SIGKILL);
      _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  };
  const int probe = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe >= 0) {
    close(probe);
    ASSERT_TRUE(killedWriter(Temporary::kUnnamedWhereSupported));
    EXPECT_EQ(Entries(dir.path()), 0u);
  }
  ASSERT_TRUE(killedWriter(Temporary::kNamed));
  EXPECT_EQ(Entries(dir.path()), 1u);
  ASSERT_TRUE(killedWriter(Temporary::kNamed));  // whose open removed the first one's
  EXPECT_EQ(Entries(dir.path()), 1u);

  SafeFileWriter running;  // this process's own file under construction
  ASSERT_TRUE(running.Open(dir / "other.mp4", Existing::kReplace, Temporary::kNamed));
  qvtest::WriteText(dir / ".notes.txt", "user's");
  qvtest::WriteText(dir / ".a.1-2.txt", "user's");
  ASSERT_TRUE(ReplaceFileContent(dir / "Default_Folder.ini", "[S]\n"));
  EXPECT_EQ(Entries(dir.path()), 4u);  // ini, the user's two, the running one
  ASSERT_TRUE(running.Write("ok"));
  ASSERT_TRUE(running.Commit());
  EXPECT_EQ(qvtest::ReadText(dir / "other.mp4"), "ok");
}

// Without the file system's no-replace flag, movers racing for one name:
// exactly one wins, every other file stays where it was.
TEST(PathUtil, NoReplaceRenameByClaimNeverLosesAFile) {
  qvtest::TempDir dir;
  constexpr int kMovers = 16;
  for (int round = 0; round < 10; ++round) {
    const std::string target = dir / ("NTMP000" + std::to_string(round) + ".DAT");
    std::vector<std::string> sources;
    for (int i = 0; i < kMovers; ++i) {
      sources.push_back(dir / ("src" + std::to_string(i)));
      qvtest::WriteText(sources.back(), std::to_string(i));
    }
    std::atomic<int> ready{0}, won{0};
    std::vector<std::thread> movers;
    for (int i = 0; i < kMovers; ++i)
      movers.emplace_back([&, i] {
        ++ready;
        while (ready < kMovers) std::this_thread::yield();
        if (RenameNoReplaceByClaim(sources[i], target) == 0) ++won;
        else EXPECT_EQ(errno, EEXIST);
      });
    for (auto& t : movers) t.join();
    ASSERT_EQ(won, 1);
    int left = 0;
    for (const auto& s : sources) left += fs::exists(s) ? 1 : 0;
    EXPECT_EQ(left, kMovers - 1);
    for (const auto& s : sources) fs::remove(s);
  }
  // Folders move over a claimed empty folder; a taken name stays refused.
  fs::create_directories(dir / "folder/inside");
  ASSERT_EQ(RenameNoReplaceByClaim(dir / "folder", dir / "moved"), 0);
  EXPECT_TRUE(fs::exists(dir / "moved/inside"));
  fs::create_directories(dir / "folder2");
  EXPECT_NE(RenameNoReplaceByClaim(dir / "folder2", dir / "moved"), 0);
  EXPECT_TRUE(fs::exists(dir / "folder2"));
}

}  // namespace
}  // namespace qv
