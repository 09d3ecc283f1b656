// Test movies: ffmpeg-made recordings with a drive-data block, hand-built
// box bytes, and the external tools' views of a file.
#pragma once

#include <cstdint>
#include <map>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

namespace mp4test {

// A fresh empty folder under the system's temporary folder.
std::string NewFolder(const std::string& tag);

struct MovieSpec {
  double seconds = 1.0;
  int fps = 30;
  int width = 160;
  int height = 120;
  bool audio = true;
  bool faststart = false;
  int videoTimeScale = 0;  // 0: ffmpeg's choice
  int records = 10;        // drive-data records; -1: no block
  bool countToEnd = false; // write 0xFFFF as the record count
  int seed = 0;            // varies the picture
};

// Encodes a movie with ffmpeg and appends a drive-data block; false when
// ffmpeg fails.
bool MakeMovie(const std::string& path, const MovieSpec& spec);
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

std::string ReadAll(const std::string& path);
bool WriteAll(const std::string& path, const std::string& bytes);

// Runs a shell command; its exit status and what it printed (stdout and stderr).
int RunCommand(const std::string& command, std::string* output = nullptr);

// ffprobe's figures for a file.
int CountVideoFrames(const std::string& path);   // -1 on failure
double FormatDuration(const std::string& path);  // -1 on failure

// Per stream, the (size, md5) of every packet as ffmpeg reads it (edit lists ignored).
std::map<int, std::vector<std::string>> Packets(const std::string& path);

// Checks a joined file against its inputs: ffmpeg decodes it without a word,
// frame count, duration and every packet are those of the parts, GStreamer
// plays it to the end, and our reader finds the summed durations and the
// merged drive-data block.
void ExpectJoined(const std::string& joined, const std::vector<std::string>& parts);

}  // namespace mp4test
