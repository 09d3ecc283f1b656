#include "player/playerindex.h"

#include "recording/movieindex.h"

namespace qv {

MovieOpening ProbeMovieTiming(const std::string& path, float* durationSec, float* frameMs) {
  Mp4MoviePtr movie(OpenMp4Movie(path, true));
  if (!movie) return MovieOpening::kNoIndex;
  const FrameTiming t = ProbeFrameTiming(*movie);
  if (t.answer == 0) return MovieOpening::kFailed;
  *durationSec = t.durationSec;
  *frameMs = t.frameMs;
  return MovieOpening::kOpens;
}

uint64_t MovieTrackDataSize(const std::string& path, uint32_t* entryCount) { return GetTrackDataSize(path, entryCount); }

std::pair<int, int> PlayerApi_GetMovieFrameSize(const sMP4MOVIE& movie) { return GetMovieFrameSize(movie); }
int64_t PlayerApi_GetMovieSampleCount(const sMP4MOVIE& movie) { return GetMovieSampleCount(movie); }
float PlayerApi_GetSampleRate(const sMP4MOVIE& movie) { return GetSampleRate(movie); }

}  // namespace qv
