// The movie-index questions of the player layer, kept apart from the
// drive-data headers (the index and the drive-data block name their sizes
// alike).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "player/slotrules.h"

namespace qv {

struct sMP4MOVIE;

// What a slot's open needs from a movie's index, read in one pass.
struct MovieIndexFacts {
  // kOpens: the frame timing was read (the figures are set; the length rule
  // is the caller's); kFailed: the index was read but has no video track or
  // no usable frame timing; kNoIndex: no index could be read.
  MovieOpening timing = MovieOpening::kNoIndex;
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
