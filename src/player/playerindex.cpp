#include "player/playerindex.h"

#include "recording/movieindex.h"

namespace qv {

int ProbeMovieTiming(const std::string& path, float* durationSec, float* frameMs) {
  Mp4MoviePtr movie(OpenMp4Movie(path, true));
  if (!movie) return -1;
  const FrameTiming t = ProbeFrameTiming(*movie);
  if (t.answer == 0) return 0;
  *durationSec = t.durationSec;
  *frameMs = t.frameMs;
  return 1;
}

uint64_t MovieTrackDataSize(const std::string& path, uint32_t* entryCount) { return GetTrackDataSize(path, entryCount); }

std::pair<int, int> PlayerApi_GetMovieFrameSize(const sMP4MOVIE& movie) { return GetMovieFrameSize(movie); }
int64_t PlayerApi_GetMovieSampleCount(const sMP4MOVIE& movie) { return GetMovieSampleCount(movie); }
float PlayerApi_GetSampleRate(const sMP4MOVIE& movie) { return GetSampleRate(movie); }

}  // namespace qv
