#include "mp4testfiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/drivedatareader.h"
#include "recording/mp4movie.h"

namespace mp4test {

int RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = pclose(p);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// What ffmpeg and ffprobe read in one movie: the video frames decoded, the
// duration, every packet's (size, md5) per stream (edits ignored), and per
// video packet in decoding order whether it is a key frame and the distance
// from its decoding to its presentation time ("K 2000").  Kept per file
// version, as the join tests ask about the same parts again and again.
struct ToolFacts {
  int frames = -1;
  double seconds = -1;
  std::map<int, std::vector<std::string>> packets;
  std::vector<std::string> keys;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

const ToolFacts& FactsOf(const std::string& path) {
  static std::map<std::string, ToolFacts> cache;
  struct stat st {};
  stat(path.c_str(), &st);
  const std::string key = path + "|" + qv::FormatInt(st.st_size) + "|" + qv::FormatInt(st.st_mtim.tv_sec) + "." +
                          qv::FormatInt(st.st_mtim.tv_nsec);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  ToolFacts f;
  const std::string file = " '" + path + "'";
  std::string out;
  int64_t n;
  if (RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0" +
                     file, &out) == 0 && qv::ParseInt64(out, n))
    f.frames = static_cast<int>(n);
  if (RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0" + file, &out) == 0)
    qv::ParseDouble(out, f.seconds);
  if (RunCommand("ffmpeg -nostdin -v error -ignore_editlist 1 -i" + file + " -map 0 -c copy -f framemd5 -", &out) == 0)
    for (const std::string& line : Lines(out)) {
      const size_t comma = line.find(','), last = line.rfind(',');
      if (line.empty() || line[0] == '#' || comma == std::string::npos || !qv::ParseInt64(line.substr(0, comma), n))
        continue;
      f.packets[static_cast<int>(n)].push_back(line.substr(line.rfind(',', last - 1) + 1));  // size and hash
    }
  if (RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts,dts,flags -of csv=p=0" + file,
                 &out) == 0)
    for (const std::string& line : Lines(out)) {
      const size_t a = line.find(','), b = line.find(',', a + 1);
      int64_t pts = 0, dts = 0;
      if (b == std::string::npos) continue;
      if (!qv::ParseInt64(line.substr(0, a), pts) || !qv::ParseInt64(line.substr(a + 1, b - a - 1), dts))
        f.keys.push_back("bad " + line);
      else
        f.keys.push_back(std::string(line.compare(b + 1, 1, "K") == 0 ? "K " : "_ ") + qv::FormatInt(pts - dts));
    }
  return cache[key] = std::move(f);
}

// The sync-sample numbers of a track raised by `first`; none without a
// sync-sample table (every sample is one).
std::vector<uint64_t> SyncSamples(const qv::Mp4Track& t, uint64_t first) {
  std::vector<uint64_t> v;
  if (!t.stss || !t.stss->loaded || t.stss->payload.size() < 8) return v;
  const uint8_t* p = t.stss->payload.data();
  for (uint32_t i = 0; i < qv::Be32(p + 4) && 8 + 4 * (i + uint64_t{1}) <= t.stss->payload.size(); ++i)
    v.push_back(first + qv::Be32(p + 8 + 4 * i));
  return v;
}

uint64_t SampleCount(const qv::Mp4Track& t) {
  return t.stsz && t.stsz->loaded && t.stsz->payload.size() >= 12 ? qv::Be32(t.stsz->payload.data() + 8) : 0;
}

uint64_t Duration(const qv::sTAGNODE* n) {
  uint64_t d = 0;
  EXPECT_TRUE(qv::ReadBoxDuration(n, d)) << n->type;
  return d;
}

// The leading samples of a track that its first edit skips, and their
// time: sound whose every sample is a sync sample.
std::pair<uint32_t, uint64_t> Skipped(const qv::Mp4Track& t) {
  if (!t.elst || t.stss || t.ctts) return {0, 0};
  const std::vector<uint8_t>& e = t.elst->payload;
  const int64_t start = e[0] == 1 ? static_cast<int64_t>(qv::Be64(&e[16])) : static_cast<int32_t>(qv::Be32(&e[12]));
  const std::vector<uint8_t>& p = t.stts->payload;
  uint32_t n = 0;
  uint64_t time = 0;
  for (size_t at = 8; at + 8 <= p.size(); at += 8)
    for (uint32_t k = 0, d = qv::Be32(&p[at + 4]); k < qv::Be32(&p[at]) && static_cast<int64_t>(time + d) <= start; ++k) {
      ++n;
      time += d;
    }
  return {n, time};
}

}  // namespace

bool MemoryOutput::Write(const void* data, size_t len) {
  bytes.append(static_cast<const char*>(data), len);
  return true;
}

bool MemoryOutput::Copy(qv::FileSource& src, uint64_t offset, uint64_t len) {
  if (!copyBytes_) {
    bytes.push_back('[');
    bytes.append(qv::FormatInt(static_cast<int64_t>(offset)));
    bytes.push_back('+');
    bytes.append(qv::FormatInt(static_cast<int64_t>(len)));
    bytes.push_back(']');
    return true;
  }
  std::string buf(len, '\0');
  if (!src.ReadExact(offset, buf.data(), len)) return false;
  bytes += buf;
  return true;
}

std::string Mp4Folder::Put(const std::string& name, const std::string& bytes) {
  std::string p = dir_ + "/" + name;
  EXPECT_TRUE(WriteAll(p, bytes));
  return p;
}

qv::Mp4MoviePtr Mp4Folder::Open(const std::string& bytes) {
  return qv::Mp4MoviePtr(qv::OpenMp4Movie(Put("m.mp4", bytes)));
}

void ExpectJoined(const std::string& joined, const std::vector<std::string>& parts) {
  SCOPED_TRACE(joined);
  std::string errors;
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + joined + "' -f null -", &errors), 0);
  EXPECT_EQ(errors, "");
  ToolFacts expected;
  expected.frames = 0;
  expected.seconds = 0;
  uint32_t records = 0;
  uint64_t mvhd = 0;
  std::vector<uint64_t> tkhd, mdhd, elst, samples;
  std::vector<std::vector<uint64_t>> sync;
  for (const std::string& p : parts) {
    const ToolFacts& f = FactsOf(p);
    expected.frames += f.frames;
    expected.seconds += f.seconds;
    expected.keys.insert(expected.keys.end(), f.keys.begin(), f.keys.end());
    qv::Mp4MoviePtr m(qv::OpenMp4Movie(p));
    ASSERT_TRUE(m);
    // Sound samples before a later part's edit (AAC priming) are left out.
    for (const auto& [s, v] : f.packets) {
      const uint32_t skip =
          &p == &parts[0] || s >= static_cast<int>(m->tracks.size()) ? 0 : Skipped(m->tracks[s]).first;
      expected.packets[s].insert(expected.packets[s].end(), v.begin() + std::min<size_t>(skip, v.size()), v.end());
    }
    records += m->blockCount;
    mvhd += m->duration;
    for (auto* v : {&tkhd, &mdhd, &elst, &samples}) v->resize(m->tracks.size());
    sync.resize(m->tracks.size());
    for (size_t i = 0; i < m->tracks.size(); ++i) {
      tkhd[i] += Duration(m->tracks[i].tkhd);
      const auto [skipped, skippedTime] = &p == &parts[0] ? std::pair<uint32_t, uint64_t>{} : Skipped(m->tracks[i]);
      mdhd[i] += Duration(m->tracks[i].mdhd) - skippedTime;
      if (m->tracks[i].elst) elst[i] += Duration(m->tracks[i].elst);
      std::vector<uint64_t> s = SyncSamples(m->tracks[i], samples[i]);
      sync[i].insert(sync[i].end(), s.begin(), s.end());
      samples[i] += SampleCount(m->tracks[i]) - skipped;
    }
  }
  const ToolFacts& got = FactsOf(joined);
  EXPECT_EQ(got.frames, expected.frames);
  EXPECT_NEAR(got.seconds, expected.seconds, 0.002 * parts.size());
  // Every packet of every stream, in order, with the same bytes.
  EXPECT_EQ(got.packets, expected.packets);
  // Key frames stay key frames (sync-sample numbers continue) and each frame
  // keeps its presentation offset.
  EXPECT_FALSE(expected.keys.empty());
  EXPECT_EQ(got.keys, expected.keys);
  // GStreamer plays it to the end: every frame reaches the video sink.
  std::string played;
  EXPECT_EQ(RunCommand("gst-launch-1.0 -v playbin uri='file://" + joined +
                           "' video-sink='fakesink name=vsink silent=false' audio-sink=fakesink",
                       &played),
            0);
  EXPECT_NE(played.find("Got EOS"), std::string::npos);
  int shown = 0;
  for (size_t at = played.find("vsink: last-message = chain"); at != std::string::npos;
       at = played.find("vsink: last-message = chain", at + 1))
    ++shown;
  EXPECT_EQ(shown, expected.frames);

  EXPECT_TRUE(qv::CheckFile(joined));
  qv::Mp4MoviePtr j(qv::OpenMp4Movie(joined));
  ASSERT_TRUE(j);
  EXPECT_TRUE(j->hasBlock);
  EXPECT_EQ(j->blockCount, records);
  EXPECT_EQ(qv::Be16(j->blockHead + 41), records);
  EXPECT_EQ(j->duration, mvhd);
  // The drive-data reader finds the merged block from the file's tail.
  qv::CDriveDataReader reader;
  ASSERT_TRUE(reader.Open(joined));
  ASSERT_TRUE(reader.gps);
  EXPECT_EQ(reader.gps->size(), records);
  ASSERT_EQ(j->tracks.size(), tkhd.size());
  for (size_t i = 0; i < j->tracks.size(); ++i) {
    EXPECT_EQ(Duration(j->tracks[i].tkhd), tkhd[i]);
    EXPECT_EQ(Duration(j->tracks[i].mdhd), mdhd[i]);
    if (j->tracks[i].elst) {
      EXPECT_EQ(Duration(j->tracks[i].elst), elst[i]);
    }
    EXPECT_EQ(SampleCount(j->tracks[i]), samples[i]);
    EXPECT_EQ(SyncSamples(j->tracks[i], 0), sync[i]);
  }
}

}  // namespace mp4test
