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
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fatcard.h"
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

// A card that turns read-only in the middle of a write: the new file cannot
// be flushed, and its file under construction cannot be removed.
class ReadOnlyCard : public WriterSteps {
 public:
  ReadOnlyCard() { SetWriterSteps(this); }
  ~ReadOnlyCard() override { SetWriterSteps(nullptr); }
  int Sync(int, const std::string&) override { return Refuse(); }
  int Remove(const std::string&) override { return Refuse(); }

 private:
  static int Refuse() {
    errno = EROFS;
    return -1;
  }
};

// The writer names the folder its file under construction goes to before the
// file exists: the folder of a link's target when the name is a link.  What
// a card that turned read-only keeps there goes with the next sweep after
// its program ended, and nothing but such files does.
TEST(SafeFileWriter, NamesTheFolderOfItsFileBeforeMakingIt) {
  qvtest::TempDir dir;
  const std::string older = dir.Write("older/001_F.MP4", "an older join");
  fs::create_directories(dir / "out");
  ASSERT_EQ(symlink("../older/001_F.MP4", (dir / "out/001_F.MP4").c_str()), 0);
  const std::string olderFolder = fs::canonical(dir / "older");
  std::vector<std::pair<std::string, int>> noted;  // the folder, and its files under construction then
  SafeFileWriter w;
  w.NoteFolder([&](const std::string& folder) { noted.emplace_back(folder, CountTemporaries(folder)); });
  {
    ReadOnlyCard card;
    ASSERT_TRUE(w.Open(dir / "out/001_F.MP4", Existing::kReplace, Temporary::kNamed) && w.Write("new"));
    EXPECT_FALSE(w.Commit());
    EXPECT_EQ(w.Error(), EROFS);
  }
  EXPECT_EQ(noted, (std::vector<std::pair<std::string, int>>{{olderFolder, 0}}));
  EXPECT_EQ(qvtest::ReadText(older), "an older join");
  EXPECT_TRUE(fs::is_symlink(dir / "out/001_F.MP4"));
  // Left beside the target, and kept while its program runs.
  EXPECT_EQ(RemoveStaleTemporaries(olderFolder), 0);
  EXPECT_EQ(CountTemporaries(olderFolder), 1);
  EXPECT_EQ(CountTemporaries(dir / "out"), 0);
  EXPECT_EQ(CountTemporaries(dir / "missing"), -1);

  // Its program ends.  Beside it: links named like such files, to a user's
  // file and to a folder, and a folder of such a name.
  ASSERT_EQ(qvtest::HandTemporariesToAnEndedProcess(olderFolder), 1);
  const std::string gone = std::to_string(qvtest::EndedProcessId());
  const std::string users = dir.Write("user/notes.txt", "the user's");
  ASSERT_EQ(symlink(users.c_str(), (dir / ("older/.a.MP4.qvtmp-" + gone + "-1")).c_str()), 0);
  ASSERT_EQ(symlink((dir / "user").c_str(), (dir / ("older/.b.MP4.qvtmp-" + gone + "-2")).c_str()), 0);
  fs::create_directories(dir / ("older/.c.MP4.qvtmp-" + gone + "-3"));
  EXPECT_EQ(CountTemporaries(olderFolder), 1);
  EXPECT_EQ(RemoveStaleTemporaries(olderFolder), 1);
  EXPECT_EQ(CountTemporaries(olderFolder), 0);
  EXPECT_EQ(Entries(olderFolder), 4u);  // the older join, both links, the folder
  EXPECT_EQ(qvtest::ReadText(users), "the user's");
  EXPECT_EQ(Entries(dir / "user"), 1u);
}

// A card mounted through FUSE as the tests stand it in: names compare by the
// file system's own letter-case rule (FAT folds ASCII letters only, exFAT
// also the others), every spelling of a path gets an inode of its own, and
// a bind mount reaches the same volume under another prefix.
class FakeCard : public FileLookups {
 public:
  explicit FakeCard(bool exfat) : exfat_(exfat) {}
  void Mount(const std::string& prefix) { mounts_.push_back(prefix + "/"); }
  void Put(const std::string& path, off_t size, time_t mtime) { files_[Key(path)] = {size, mtime}; }
  void Drop(const std::string& path) { files_.erase(Key(path)); }
  // A descriptor of the file opened under `path`.
  int Open(const std::string& path) {
    opened_.push_back(path);
    return static_cast<int>(opened_.size()) + 99;
  }

  int Stat(const std::string& path, struct stat& st) const override {
    const auto it = files_.find(Key(path));
    if (it == files_.end()) {
      errno = ENOENT;
      return -1;
    }
    st = {};
    st.st_dev = 7;
    st.st_ino = std::hash<std::string>()(path);  // per spelling, as FUSE hands them out
    st.st_size = it->second.first;
    st.st_mtim.tv_sec = it->second.second;
    return 0;
  }
  int StatOpen(int fd, struct stat& st) const override { return Stat(PathOfOpen(fd), st); }
  bool Exists(const std::string& path) const override { return files_.count(Key(path)) != 0; }
  std::string PathOfOpen(int fd) const override { return opened_.at(static_cast<size_t>(fd - 100)); }

 private:
  // The path inside the volume, folded as the volume compares names.
  std::string Key(const std::string& path) const {
    for (const std::string& m : mounts_) {
      if (path.compare(0, m.size(), m) != 0) continue;
      std::string key;
      for (size_t i = m.size(); i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
        // Latin-1 small letters à..þ (two bytes, C3 A0..C3 BE) but ÷.
        if (exfat_ && c == 0xC3 && i + 1 < path.size()) {
          unsigned char d = static_cast<unsigned char>(path[i + 1]);
          if (d >= 0xA0 && d <= 0xBE && d != 0xB7) d = static_cast<unsigned char>(d - 0x20);
          key += static_cast<char>(c);
          key += static_cast<char>(d);
          ++i;
          continue;
        }
        key += static_cast<char>(c);
      }
      return key;
    }
    return "?" + path;  // outside the card
  }

  bool exfat_;
  std::vector<std::string> mounts_;
  std::vector<std::string> opened_;
  std::map<std::string, std::pair<off_t, time_t>> files_;
};

// Whether a name reaches an input, as the card's file system finds it:
// folders in another letter case by FAT's and exFAT's rules, and a bind
// mount of the card.
TEST(PathUtil, ANameReachesAnOpenFileWhereTheCardFindsItsFolder) {
  for (bool exfat : {false, true}) {
    SCOPED_TRACE(exfat ? "exFAT" : "FAT");
    FakeCard card(exfat);
    card.Mount("/media/card");
    card.Mount("/bind");  // the card's root bound there as well
    card.Put("/media/card/FAHRT-Ä/001_F.MP4", 1000, 50);
    card.Put("/media/card/FAHRT-Ä/002_F.MP4", 900, 60);
    card.Put("/media/card/COPY/001_F.MP4", 1000, 50);  // a copy that kept its time
    const int inputs[] = {card.Open("/media/card/FAHRT-Ä/001_F.MP4"), card.Open("/media/card/FAHRT-Ä/002_F.MP4")};
    const std::string probe = ".001_F.MP4.qvtmp-1-1";
    struct Case {
      std::string target;
      bool reached;
    };
    const std::vector<Case> cases = {
        {"/media/card/FAHRT-Ä/001_F.MP4", true},   // the input's own name, another inode
        {"/bind/FAHRT-Ä/001_f.mp4", true},        // through the bind mount, the name in another case
        {"/media/card/fahrt-Ä/002_F.mp4", true},   // ASCII letters of the folder
        {"/media/card/fahrt-ä/001_F.MP4", exfat},  // exFAT folds Ä as well; on FAT no such file
        {"/bind/fahrt-ä/002_F.MP4", exfat},
        {"/media/card/COPY/001_F.MP4", false},     // same size and time, other folder
        {"/media/card/FAHRT-Ä/003_F.MP4", false},  // no such file
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.target);
      const std::string made = JoinPath(ParentFolder(c.target), probe);  // beside the target
      card.Put(made, 0, 99);
      EXPECT_EQ(ReachesOpenFile(c.target, made, inputs, card), c.reached);
      card.Drop(made);
    }
    // Without a probe only the inode speaks, and FUSE's differ.
    EXPECT_FALSE(ReachesOpenFile("/bind/FAHRT-Ä/001_F.MP4", "", inputs, card));
  }
}

// Protected files are never replaced, whatever name reaches them; any
// other file is, as before.
TEST(SafeFileWriter, NeverReplacesAProtectedFile) {
  for (Temporary temporary : {Temporary::kUnnamedWhereSupported, Temporary::kNamed}) {
    qvtest::TempDir dir;
    const std::string input = dir.Write("in/001_F.MP4", "the recording");
    const int fd = OpenRegularFile(input, nullptr);
    ASSERT_GE(fd, 0);
    const int protect[] = {fd};
    ASSERT_EQ(link(input.c_str(), (dir / "hard.MP4").c_str()), 0);
    ASSERT_EQ(symlink(input.c_str(), (dir / "soft.MP4").c_str()), 0);
    for (const std::string& name : {std::string("in/001_F.MP4"), std::string("hard.MP4"), std::string("soft.MP4")}) {
      SCOPED_TRACE(name);
      SafeFileWriter w;
      w.Protect(protect);
      EXPECT_FALSE(w.Open(dir / name, Existing::kReplace, temporary));
      EXPECT_TRUE(w.ReachedProtected());
      EXPECT_EQ(w.Error(), EEXIST);
    }
    // A name that comes to reach the input while the file is written is
    // refused when the file takes it.
    SafeFileWriter late;
    late.Protect(protect);
    ASSERT_TRUE(late.Open(dir / "late.MP4", Existing::kReplace, temporary) && late.Write("joined"));
    ASSERT_EQ(link(input.c_str(), (dir / "late.MP4").c_str()), 0);
    EXPECT_FALSE(late.Commit());
    EXPECT_TRUE(late.ReachedProtected());
    // Another file under the name is replaced, one made meanwhile too.
    qvtest::WriteText(dir / "other.MP4", "an older join");
    SafeFileWriter other;
    other.Protect(protect);
    ASSERT_TRUE(other.Open(dir / "other.MP4", Existing::kReplace, temporary) && other.Write("joined"));
    qvtest::WriteText(dir / "meanwhile.MP4", "theirs");
    SafeFileWriter meanwhile;
    meanwhile.Protect(protect);
    ASSERT_TRUE(meanwhile.Open(dir / "meanwhile.MP4", Existing::kReplace, temporary) && meanwhile.Write("mine"));
    EXPECT_TRUE(other.Commit() && meanwhile.Commit());
    EXPECT_FALSE(other.ReachedProtected());
    EXPECT_EQ(qvtest::ReadText(dir / "other.MP4") + qvtest::ReadText(dir / "meanwhile.MP4"), "joinedmine");
    EXPECT_EQ(qvtest::ReadText(input), "the recording");
    EXPECT_EQ(Entries(dir.path()), 6u);  // in, hard, soft, late, other, meanwhile: no leftovers
    EXPECT_EQ(Entries(dir / "in"), 1u);
    close(fd);
  }
}

using qvtest::FatCard;

// The names claimed and not yet settled, and whether each was recorded
// before its placeholder existed.
class ClaimList : public ClaimRecord {
 public:
  void Claiming(const std::string& name) override {
    recordedBeforeMade = recordedBeforeMade && !fs::exists(fs::symlink_status(name));
    open.push_back(name);
  }
  void Settled(const std::string& name) override { std::erase(open, name); }
  std::vector<std::string> open;
  bool recordedBeforeMade = true;
};

// A claim the card kept from being filled stays recorded, and the removal
// of unfilled claims takes only such an empty placeholder, never a user's
// file or folder of a claimed name.
TEST(PathUtil, AnUnfilledClaimStaysRecordedAndOnlyAPlaceholderIsRemoved) {
  qvtest::TempDir dir;
  FatCard card;
  ClaimList claims;
  qvtest::WriteText(dir / "joined", "the joined movie");
  ASSERT_EQ(RenameNoReplace(dir / "joined", dir / "F.MP4", &claims), 0);  // the claim path, filled
  EXPECT_EQ(qvtest::ReadText(dir / "F.MP4"), "the joined movie");
  EXPECT_TRUE(claims.open.empty());

  card.readOnlyAfterClaim = true;
  qvtest::WriteText(dir / "second", "another movie");
  EXPECT_NE(RenameNoReplace(dir / "second", dir / "R.MP4", &claims), 0);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(fs::file_size(dir / "R.MP4"), 0u);
  EXPECT_EQ(claims.open, std::vector<std::string>{dir / "R.MP4"});
  EXPECT_TRUE(claims.recordedBeforeMade);
  EXPECT_EQ(RemoveUnfilledClaim(dir / "R.MP4"), -1);  // still read-only
  card.readOnlyAfterClaim = false;
  EXPECT_EQ(RemoveUnfilledClaim(dir / "R.MP4"), 1);
  EXPECT_FALSE(fs::exists(dir / "R.MP4"));
  EXPECT_EQ(qvtest::ReadText(dir / "second"), "another movie");

  // Whatever else stands under a claimed name stays.
  auto keeps = [&](const std::string& name) {
    const std::string path = dir / name;
    return RemoveUnfilledClaim(path) == 0 && fs::exists(fs::symlink_status(path));
  };
  qvtest::WriteText(dir / "written", "x");
  chmod((dir / "written").c_str(), 0600);
  EXPECT_TRUE(keeps("written"));
  qvtest::WriteText(dir / "empty0644", "");
  chmod((dir / "empty0644").c_str(), 0644);
  EXPECT_TRUE(keeps("empty0644"));
  qvtest::WriteText(dir / "linked", "");
  chmod((dir / "linked").c_str(), 0600);
  ASSERT_EQ(link((dir / "linked").c_str(), (dir / "second name").c_str()), 0);
  EXPECT_TRUE(keeps("linked"));
  qvtest::WriteText(dir / "target", "");
  chmod((dir / "target").c_str(), 0600);
  ASSERT_EQ(symlink("target", (dir / "symlink").c_str()), 0);
  EXPECT_TRUE(keeps("symlink"));
  EXPECT_TRUE(fs::exists(dir / "target"));
  fs::create_directories(dir / "full/inside");
  chmod((dir / "full").c_str(), 0700);
  EXPECT_TRUE(keeps("full"));
  fs::create_directory(dir / "open");
  chmod((dir / "open").c_str(), 0755);
  EXPECT_TRUE(keeps("open"));
  EXPECT_EQ(RemoveUnfilledClaim(dir / "free"), 0);
  EXPECT_EQ(RemoveUnfilledClaim(dir / "gone/F.MP4"), -1);  // its folder is not there: the card is out

  // A folder's claim is an empty folder.
  card.readOnlyAfterClaim = true;
  fs::create_directories(dir / "moved/inside");
  EXPECT_NE(RenameNoReplace(dir / "moved", dir / "NTMP0000.DAT", &claims), 0);
  EXPECT_TRUE(fs::is_directory(dir / "NTMP0000.DAT"));
  card.readOnlyAfterClaim = false;
  EXPECT_EQ(RemoveUnfilledClaim(dir / "NTMP0000.DAT"), 1);
  EXPECT_TRUE(fs::exists(dir / "moved/inside"));

  // A card that keeps no modes: its placeholders show the card's own, and
  // only emptiness and the one name tell them.
  card.keepsModes = false;
  card.readOnlyAfterClaim = true;
  qvtest::WriteText(dir / "third", "a third movie");
  EXPECT_NE(RenameNoReplace(dir / "third", dir / "X.MP4", &claims), 0);
  fs::create_directories(dir / "moved2/inside");
  EXPECT_NE(RenameNoReplace(dir / "moved2", dir / "NTMP0001.DAT", &claims), 0);
  card.readOnlyAfterClaim = false;
  EXPECT_EQ(RemoveUnfilledClaim(dir / "X.MP4"), 1);
  EXPECT_EQ(RemoveUnfilledClaim(dir / "NTMP0001.DAT"), 1);
  EXPECT_TRUE(keeps("written"));
  EXPECT_TRUE(keeps("linked"));
  EXPECT_TRUE(keeps("symlink"));
  EXPECT_TRUE(keeps("full"));
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
