// Test movies: the fixture tool's recordings, hand-built box bytes, and the
// outside tools' view of a joined file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "blockbuilder.h"
#include "boxbuilder.h"
#include "recording/mp4join.h"
#include "testsupport.h"

namespace mp4test {

// The shared folder, file, fixture and box helpers, under the names these tests use.
using namespace qvtest;
inline std::string ReadAll(const std::string& path) { return qvtest::ReadText(path); }
inline bool WriteAll(const std::string& path, const std::string& bytes) { return qvtest::WriteText(path, bytes); }
// A drive-data block of `n` records ("to the end mark" counted).
inline std::string DriveBlock(int n, bool countToEnd = false) { return NumberedBlock(n, countToEnd ? 0xFFFF : -1); }

// Runs a shell command; its exit status and what it printed (stdout and stderr).
int RunCommand(const std::string& command, std::string* output = nullptr);

// What the writer produces, in memory.  With copyBytes the copied ranges are
// read from their file; without, only "[offset+length]" is noted.
class MemoryOutput : public qv::Mp4Output {
 public:
  explicit MemoryOutput(bool copyBytes = true) : copyBytes_(copyBytes) {}
  std::string bytes;
  bool Write(const void* data, size_t len) override;
  bool Copy(qv::FileSource& src, uint64_t offset, uint64_t len) override;

 private:
  bool copyBytes_;
};

// A test with a folder of its own for the files it writes.
class Mp4Folder : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& bytes);
  // Writes `bytes` to a file and opens it.
  qv::Mp4MoviePtr Open(const std::string& bytes);
  TempDir folder_;
  std::string dir_ = folder_.path();
};

// Checks a joined file against its inputs: ffmpeg decodes it without a word,
// frame count, duration and every packet are those of the parts, GStreamer
// plays it to the end, and our reader finds the summed durations and the
// merged drive-data block.
void ExpectJoined(const std::string& joined, const std::vector<std::string>& parts);

}  // namespace mp4test
