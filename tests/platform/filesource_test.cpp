#include "platform/filesource.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomicwrite.h"
#include "platform/inifile.h"

namespace {

std::string MakeTemp(const std::string& content) {
  char name[] = "/tmp/qv_fs_XXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
  return name;
}

TEST(FileSource, ReadsRangesAndReportsShortReads) {
  std::string path = MakeTemp("0123456789");
  qv::FileSource f(path);
  ASSERT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Size(), 10u);
  char buf[8] = {};
  ASSERT_TRUE(f.ReadExact(3, buf, 4));
  EXPECT_EQ(std::string(buf, 4), "3456");
  EXPECT_FALSE(f.ReadExact(8, buf, 4));
  EXPECT_EQ(f.LastError(), EIO);
  EXPECT_EQ(f.Read(8, buf, 4), 2);
  EXPECT_EQ(f.Read(100, buf, 4), 0);
  qv::FileSource moved(std::move(f));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_TRUE(moved.ReadExact(0, buf, 1));
  unlink(path.c_str());
}

TEST(FileSource, RefusesMissingFilesAndFolders) {
  qv::FileSource f;
  EXPECT_FALSE(f.Open("/nonexistent/qv/file.mp4"));
  EXPECT_EQ(f.LastError(), ENOENT);
  EXPECT_FALSE(f.Open("/tmp"));
  EXPECT_EQ(f.LastError(), EISDIR);
  char c;
  EXPECT_EQ(f.Read(0, &c, 1), -1);
  // A FIFO named like a recording or a settings file is refused at once
  // instead of waiting for a writer that never comes.
  const std::string fifo = "/tmp/qv_fifo_" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(f.Open(fifo));
  std::string text;
  EXPECT_FALSE(qv::ReadWholeFile(fifo, text));
  EXPECT_EQ(qv::ReadIniString("S", "k", fifo, "d"), "d");
  unlink(fifo.c_str());
}

}  // namespace
