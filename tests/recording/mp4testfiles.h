// Test movies: the fixture tool's recordings, hand-built box bytes, and the
// outside tools' view of a joined file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "recording/mp4join.h"
#include "testsupport.h"

namespace mp4test {

// The shared folder, file and fixture helpers, under the names these tests use.
using qvtest::Fixture;
using qvtest::FixtureFact;
using qvtest::FixtureMovies;
using qvtest::FixtureText;
using qvtest::NewFolder;
inline std::string ReadAll(const std::string& path) { return qvtest::ReadText(path); }
inline bool WriteAll(const std::string& path, const std::string& bytes) { return qvtest::WriteText(path, bytes); }

// A drive-data block of `n` records (record i starts with its number).
std::string DriveBlock(int n, bool countToEnd = false);

// A box: 32-bit size, type, payload.
std::string Box(const std::string& type, const std::string& payload);
std::string Be32(uint32_t v);
std::string Be16(uint16_t v);
// A full box: version, three flag bytes, body.
std::string Full(const std::string& type, int version, const std::string& body);
std::string Mvhd(uint32_t scale, uint32_t duration);
std::string Ftyp();
// A minimal track: handler, a visual sample entry of w × h, the time-to-sample
// and sample-size payloads given, one chunk per sample, the chunk offsets given
// (big-endian words; none by default).
std::string Trak(const std::string& handler, int w, int h, const std::string& stts, const std::string& stsz,
                 uint32_t timeScale = 1000000, const std::string& chunkOffsets = "");
std::string Stts(std::initializer_list<std::pair<uint32_t, uint32_t>> runs);
std::string Stsz(std::initializer_list<uint32_t> sizes);

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
  void SetUp() override;
  void TearDown() override;
  std::string Put(const std::string& name, const std::string& bytes);
  // Writes `bytes` to a file and opens it.
  qv::Mp4MoviePtr Open(const std::string& bytes);
  std::string dir_;
};

// Checks a joined file against its inputs: ffmpeg decodes it without a word,
// frame count, duration and every packet are those of the parts, GStreamer
// plays it to the end, and our reader finds the summed durations and the
// merged drive-data block.
void ExpectJoined(const std::string& joined, const std::vector<std::string>& parts);

}  // namespace mp4test
