#include "recording/movieindex.h"

#include <cstring>

namespace qv {

namespace {

// Recorder files count time in microseconds; the fallback when a track has
// no readable time scale.
constexpr uint32_t kRecorderTimeScale = 1000000;

const uint8_t* Payload(const sTAGNODE* node, size_t need) {
  if (!node || !node->loaded || node->payload.size() < need) return nullptr;
  return node->payload.data();
}

uint32_t TrackTimeScale(const Mp4Track& t) {
  uint32_t ts = 0;
  if (ReadTimeScale(t.mdhd, ts) && ts != 0) return ts;
  return kRecorderTimeScale;
}

// S = sum of sample counts, T = sum of count × delta, over the whole table.
bool SumTimeToSample(const sTAGNODE* stts, uint64_t& samples, uint64_t& ticks) {
  const uint8_t* p = Payload(stts, 8);
  if (!p) return false;
  uint64_t n = Be32(p + 4);
  uint64_t present = (stts->payload.size() - 8) / 8;
  if (n > present) n = present;
  samples = ticks = 0;
  for (uint64_t i = 0; i < n; ++i) {
    const uint8_t* e = p + 8 + 8 * i;
    uint64_t count = Be32(e), delta = Be32(e + 4);
    samples += count;
    ticks += count * delta;
  }
  return true;
}

}  // namespace

const Mp4Track* VideoTrack(const sMP4MOVIE& movie) {
  for (const Mp4Track& t : movie.tracks)
    if (std::memcmp(t.handler, "vide", 4) == 0) return &t;
  return nullptr;
}

uint64_t GetTrackDataSize(const sMP4MOVIE& movie, uint32_t* entryCount) {
  if (entryCount) *entryCount = 0;
  const Mp4Track* t = VideoTrack(movie);
  const uint8_t* p = t ? Payload(t->stsz, 12) : nullptr;
  if (!p) return 0;
  uint32_t fixed = Be32(p + 4), count = Be32(p + 8);
  if (count & 0x80000000u) return 0;
  if (entryCount) *entryCount = count;
  if (fixed) return uint64_t{fixed} * count;
  uint64_t present = (t->stsz->payload.size() - 12) / 4;
  uint64_t n = count < present ? count : present;
  return SumBe32(p + 12, n);
}

uint64_t GetTrackDataSize(const std::string& path, uint32_t* entryCount) {
  if (entryCount) *entryCount = 0;
  Mp4MoviePtr movie(OpenMp4Movie(path));
  return movie ? GetTrackDataSize(*movie, entryCount) : 0;
}

std::pair<int, int> GetMovieFrameSize(const sMP4MOVIE& movie) {
  const Mp4Track* t = VideoTrack(movie);
  const uint8_t* p = t ? Payload(t->stsd, 44) : nullptr;
  if (!p || Be32(p + 4) == 0) return {-1, -1};
  return {Be16(p + 40), Be16(p + 42)};
}

int64_t GetMovieSampleCount(const sMP4MOVIE& movie) {
  const Mp4Track* t = VideoTrack(movie);
  const uint8_t* p = t ? Payload(t->stsz, 12) : nullptr;
  return p ? int64_t{Be32(p + 8)} : -1;
}

float GetSampleRate(const sMP4MOVIE& movie) {
  const Mp4Track* t = VideoTrack(movie);
  uint64_t s, ticks;
  if (!t || !SumTimeToSample(t->stts, s, ticks) || s == 0 || ticks / s == 0) return -1.0f;
  return static_cast<float>(static_cast<double>(TrackTimeScale(*t)) / static_cast<double>(ticks / s));
}

FrameTiming ProbeFrameTiming(const sMP4MOVIE& movie) {
  FrameTiming r;
  const Mp4Track* t = VideoTrack(movie);
  uint64_t s, ticks;
  if (!t || !SumTimeToSample(t->stts, s, ticks) || s == 0) return r;
  const uint32_t ts = TrackTimeScale(*t);
  const uint64_t ms = (ticks / s) * 1000 / ts;
  if (ms == 0) return r;  // under a millisecond a frame: not a recording
  r.durationSec = static_cast<float>(static_cast<double>(ticks) / ts);
  r.frameMs = static_cast<float>(ms);
  const bool fifteen = static_cast<int>(1000.0 / r.frameMs) == 15;
  r.answer = (r.durationSec > 2.0f || fifteen) ? 1 : 2;
  return r;
}

FrameTiming ProbeFrameTiming(const std::string& path) {
  Mp4MoviePtr movie(OpenMp4Movie(path));
  return movie ? ProbeFrameTiming(*movie) : FrameTiming{};
}

}  // namespace qv
