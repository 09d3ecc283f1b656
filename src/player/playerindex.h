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

// The frame timing of a movie from its index.  kOpens: read (the figures
// are set; the length rule is the caller's); kFailed: the index was read but
// has no video track or no usable frame timing; kNoIndex: no index could be
// read.
MovieOpening ProbeMovieTiming(const std::string& path, float* durationSec, float* frameMs);
// Sum of the video track's sample sizes and its sample count (0 when the
// movie cannot be read).
uint64_t MovieTrackDataSize(const std::string& path, uint32_t* entryCount);

std::pair<int, int> PlayerApi_GetMovieFrameSize(const sMP4MOVIE& movie);
int64_t PlayerApi_GetMovieSampleCount(const sMP4MOVIE& movie);
float PlayerApi_GetSampleRate(const sMP4MOVIE& movie);

}  // namespace qv
