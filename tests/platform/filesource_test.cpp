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

// Small reads close together cost one read of the file; a range past the
// end fails as ReadExact does, and one larger than the window is read on its
// own.
TEST(FileSource, AWindowServesNearbyReadsFromOneRead) {
  const qvtest::TempDir dir;
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>('a' + i % 26);
  qv::FileSource f(dir.Write("f", bytes));
  qv::ReadWindow window(f, 256);
  const int64_t before = qvtest::ReadCallsSoFar();
  for (uint64_t at = 0; at + 4 <= 256; at += 5) {
    const uint8_t* p = window.Bytes(at, 4);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(p), 4), bytes.substr(at, 4)) << at;
  }
  if (before >= 0) {
    EXPECT_LE(qvtest::ReadCallsSoFar() - before, 2);  // the window's read and the count's own
  }
  // Across the window's end, to the file's end, past it.
  const uint8_t* p = window.Bytes(254, 4);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 4), bytes.substr(254, 4));
  ASSERT_NE(p = window.Bytes(996, 4), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 4), "ijkl");
  EXPECT_EQ(window.Bytes(998, 4), nullptr);
  EXPECT_EQ(f.LastError(), EIO);
  std::string big(600, '\0');
  ASSERT_TRUE(window.ReadExact(100, big.data(), big.size()));
  EXPECT_EQ(big, bytes.substr(100, 600));
  EXPECT_FALSE(window.ReadExact(500, big.data(), big.size()));
  char c = 0;
  ASSERT_TRUE(window.ReadExact(999, &c, 1));
  EXPECT_EQ(c, bytes[999]);
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
