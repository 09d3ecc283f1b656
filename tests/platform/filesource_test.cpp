#include "platform/filesource.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "platform/atomicwrite.h"
#include "platform/inifile.h"
#include "testsupport.h"

namespace {

TEST(FileSource, ReadsRangesAndReportsShortReads) {
  const qvtest::TempDir dir;
  qv::FileSource f(dir.Write("f", "0123456789"));
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
  const qvtest::TempDir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(f.Open(fifo));
  std::string text;
  EXPECT_FALSE(qv::ReadWholeFile(fifo, text));
  EXPECT_EQ(qv::ReadIniString("S", "k", fifo, "d"), "d");
}

}  // namespace
