#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "testsupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class Trash : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir / "src"); }
  static std::string Info(const std::string& trash, const std::string& name) {
    return qvtest::ReadText(trash + "/info/" + name + ".trashinfo");
  }

  qvtest::TempDir dir;
  std::string dataHome = dir / "data";
  qvtest::ScopedEnv dataHomeEnv{"XDG_DATA_HOME", dataHome.c_str()};
};

TEST_F(Trash, HomeTrashOnTheSameDeviceWithRestoreInformation) {
  const std::string file = dir / "src/a b%.MP4";
  qvtest::WriteText(file, "movie");
  TrashResult r = MoveToTrash(file);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string trash = dataHome + "/Trash";
  EXPECT_EQ(r.trashedPath, trash + "/files/a b%.MP4");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(qvtest::ReadText(r.trashedPath), "movie");
  const std::string canonicalSrc = fs::canonical(dir / "src").string();
  std::string info = Info(trash, "a b%.MP4");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + canonicalSrc + "/a%20b%25.MP4\nDeletionDate=", 0), 0u) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$")));
  struct stat st;
  ASSERT_EQ(stat(trash.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The same name again gets a name of its own; folders go as a whole.
  qvtest::WriteText(file, "second");
  r = MoveToTrash(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.trashedPath, trash + "/files/a b%.MP4.2");
  EXPECT_EQ(qvtest::ReadText(trash + "/files/a b%.MP4"), "movie");
  fs::create_directories(dir / "src/folder/inner");
  r = MoveToTrash(dir / "src/folder");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(fs::is_directory(trash + "/files/folder/inner"));
}

TEST_F(Trash, RefusesClearlyAndDeletesNothingWhenTheTrashCannotTakeIt) {
  const std::string file = dir / "src/keep.MP4";
  qvtest::WriteText(file, "movie");
  fs::create_directories(dataHome);
  qvtest::WriteText(dataHome + "/Trash", "not a folder");
  TrashResult r = MoveToTrash(file);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("trash"), std::string::npos);
  EXPECT_NE(r.error.find("keep.MP4"), std::string::npos);
  EXPECT_EQ(qvtest::ReadText(file), "movie");

  r = MoveToTrash(dir / "src/missing.MP4");
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
  EXPECT_FALSE(MoveToTrash("").ok);
}

// A file on another file system goes to that file system's own trash, as a
// file on a memory card does.  Needs a second file system: a private tmpfs
// (when the tests may mount) or /dev/shm.
TEST_F(Trash, OtherFileSystemUsesTheTrashAtItsTop) {
  std::string top = dir / "card";
  fs::create_directories(top);
  bool mounted = mount("qvtest", top.c_str(), "tmpfs", 0, "size=1m") == 0;
  std::string createdShm;
  if (!mounted) {
    struct stat a, b;
    if (stat("/dev/shm", &a) != 0 || stat(dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
      GTEST_SKIP() << "no second file system to test with";
    top = "/dev/shm";
  }
  const std::string uid = std::to_string(getuid());
  const std::string trash = top + "/.Trash-" + uid;
  const bool trashExisted = fs::exists(trash);
  const std::string work = top + "/qvtest-" + std::to_string(getpid());
  fs::create_directories(work + "/DCIM");
  const std::string file = work + "/DCIM/001_120000AN_F.MP4";
  qvtest::WriteText(file, "front");

  TrashResult r = MoveToTrash(file);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string name = fs::path(r.trashedPath).filename().string();
  EXPECT_EQ(r.trashedPath, trash + "/files/" + name);
  EXPECT_FALSE(fs::exists(file));
  // Paths in a top directory's trash are relative to it.
  EXPECT_EQ(Info(trash, name).rfind("[Trash Info]\nPath=qvtest-" + std::to_string(getpid()) +
                                        "/DCIM/001_120000AN_F.MP4\n",
                                    0),
            0u);
  EXPECT_FALSE(fs::exists(dataHome + "/Trash/files/" + name));

  if (mounted) {
    // An administrator's shared .Trash is used only when it has the sticky bit.
    fs::create_directories(top + "/.Trash");
    chmod((top + "/.Trash").c_str(), 0777);
    qvtest::WriteText(file, "again");
    r = MoveToTrash(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(fs::path(r.trashedPath).parent_path().string(), trash + "/files");
    chmod((top + "/.Trash").c_str(), 01777);
    qvtest::WriteText(file, "third");
    r = MoveToTrash(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.trashedPath, top + "/.Trash/" + uid + "/files/001_120000AN_F.MP4");
    umount2(top.c_str(), MNT_DETACH);
  } else {
    fs::remove_all(work);
    if (trashExisted) {
      fs::remove(r.trashedPath);
      fs::remove(trash + "/info/" + name + ".trashinfo");
    } else {
      fs::remove_all(trash);
    }
  }
}

}  // namespace
}  // namespace qv
