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

#include "testsupport.h"
#include "platform/pathutil.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Existing = SafeFileWriter::Existing;
using Temporary = SafeFileWriter::Temporary;

size_t Entries(const std::string& folder) { return std::distance(fs::directory_iterator(folder), {}); }

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
    ASSERT_TRUE(w.Open(path, Existing::kRefuse, temporary) && w.Write("new"));
    EXPECT_FALSE(fs::exists(path));  // nothing under the name until committed
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(ModeOf(path), 0644u);  // the umask's mode for a new file
    // A name taken while the file was written is not replaced.
    ASSERT_TRUE(w.Open(dir / "late", Existing::kRefuse, temporary) && w.Write("mine"));
    qvtest::WriteText(dir / "late", "theirs");
    EXPECT_FALSE(w.Commit());
    EXPECT_EQ(w.Error(), EEXIST);
    EXPECT_EQ(qvtest::ReadText(dir / "late"), "theirs");
    // Replacing keeps the old file's mode; an abandoned write changes nothing.
    chmod(path.c_str(), 0600);
    ASSERT_TRUE(w.Open(path, Existing::kReplace, temporary) && w.Write("newer") && w.Commit());
    EXPECT_EQ(ModeOf(path), 0600u);
    ASSERT_TRUE(w.Open(path, Existing::kReplace, temporary) && w.Write("partial"));
    w.Abandon();
    EXPECT_EQ(qvtest::ReadText(path), "newer");
    EXPECT_EQ(Entries(dir.path()), 2u);  // no leftovers
  }
  umask(oldMask);
}

// Unnamed files vanish with a killed writer; named ones are removed by the
// next write into the folder, while those of running processes stay.
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
  const bool unnamed = close(open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600)) == 0;
  ASSERT_TRUE(killedWriter(Temporary::kUnnamedWhereSupported));
  EXPECT_EQ(Entries(dir.path()), unnamed ? 0u : 1u);
  ASSERT_TRUE(killedWriter(Temporary::kNamed));
  ASSERT_TRUE(killedWriter(Temporary::kNamed));  // whose open removed the first one's
  EXPECT_EQ(Entries(dir.path()), 1u);
  SafeFileWriter running;
  ASSERT_TRUE(running.Open(dir / "other.mp4", Existing::kReplace, Temporary::kNamed));
  qvtest::WriteText(dir / ".a.1-2.txt", "the user's");
  qvtest::WriteText(dir / ".notes.4194000-1", "the user's too, though no process 4194000 runs");
  ASSERT_TRUE(ReplaceFileContent(dir / "Default_Folder.ini", "[S]\n"));
  EXPECT_EQ(Entries(dir.path()), 4u);  // the settings, the user's two files, the running write
  EXPECT_TRUE(running.Write("ok") && running.Commit());
}

// Without the file system's no-replace flag, movers racing for one name:
// exactly one wins, every other file stays where it was.
TEST(PathUtil, NoReplaceRenameByClaimNeverLosesAFile) {
  qvtest::TempDir dir;
  constexpr int kMovers = 16;
  std::atomic<int> ready{0}, won{0};
  std::vector<std::thread> movers;
  for (int i = 0; i < kMovers; ++i) {
    qvtest::WriteText(dir / std::to_string(i), "");
    movers.emplace_back([&, i] {
      for (++ready; ready < kMovers;) std::this_thread::yield();
      won += RenameNoReplaceByClaim(dir / std::to_string(i), dir / "NTMP0000.DAT") == 0 ? 1 : 0;
    });
  }
  for (auto& t : movers) t.join();
  EXPECT_EQ(won, 1);
  EXPECT_EQ(Entries(dir.path()), static_cast<size_t>(kMovers));  // 15 left and the one moved
  fs::create_directories(dir / "folder/inside");  // a folder moves over a claimed empty one
  ASSERT_EQ(RenameNoReplaceByClaim(dir / "folder", dir / "moved"), 0);
  EXPECT_TRUE(fs::exists(dir / "moved/inside"));
}

}  // namespace
}  // namespace qv
