// The movie-index questions of the player layer, kept apart from the
// drive-data headers (the index and the drive-data block name their sizes
// alike).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace qv {

struct sMP4MOVIE;

// What a slot's open needs from a movie's index, read in one pass.
struct MovieIndexFacts {
  // 1: the frame timing was read; 0: the index was read but holds no
  // frames; -1: no index could be read.
  int timing = -1;
  float durationSec = 0;
  float frameMs = 0;
  // The movie header's duration in 100 ns units (0 when it has none); the
  // player takes it instead of reading the file again.
  int64_t duration = 0;
};
MovieIndexFacts ReadMovieIndex(const std::string& path);
// Sum of the video track's sample sizes and its sample count (0 when the
// movie cannot be read).
uint64_t MovieTrackDataSize(const std::string& path, uint32_t* entryCount);

std::pair<int, int> PlayerApi_GetMovieFrameSize(const sMP4MOVIE& movie);
int64_t PlayerApi_GetMovieSampleCount(const sMP4MOVIE& movie);
float PlayerApi_GetSampleRate(const sMP4MOVIE& movie);

}  // namespace qv
