#include "player/playerindex.h"

#include "player/movieduration.h"
#include "recording/movieindex.h"

namespace qv {

MovieIndexFacts ReadMovieIndex(const std::string& path) {
  MovieIndexFacts facts;
  Mp4MoviePtr movie(OpenMp4Movie(path, true));
  if (!movie) return facts;
  if (!MovieHeaderDuration(*movie, &facts.duration)) facts.duration = 0;
  const FrameTiming t = ProbeFrameTiming(*movie);
  if (t.answer == 0) {
    facts.timing = MovieOpening::kFailed;
    return facts;
  }
  facts.timing = MovieOpening::kOpens;
  facts.durationSec = t.durationSec;
  facts.frameMs = t.frameMs;
  return facts;
}

uint64_t MovieTrackDataSize(const std::string& path, uint32_t* entryCount) { return GetTrackDataSize(path, entryCount); }

std::pair<int, int> PlayerApi_GetMovieFrameSize(const sMP4MOVIE& movie) { return GetMovieFrameSize(movie); }
int64_t PlayerApi_GetMovieSampleCount(const sMP4MOVIE& movie) { return GetMovieSampleCount(movie); }
float PlayerApi_GetSampleRate(const sMP4MOVIE& movie) { return GetSampleRate(movie); }

}  // namespace qv
