// The movie-index questions of the player layer, kept apart from the
// drive-data headers (the index and the drive-data block name their sizes
// alike).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace qv {

struct sMP4MOVIE;

// The frame timing of a movie from its index.  1: read (the figures are
// set); 0: the index was read but holds no frames; -1: no index could be read.
int ProbeMovieTiming(const std::string& path, float* durationSec, float* frameMs);
// Sum of the video track's sample sizes and its sample count (0 when the
// movie cannot be read).
uint64_t MovieTrackDataSize(const std::string& path, uint32_t* entryCount);

std::pair<int, int> PlayerApi_GetMovieFrameSize(const sMP4MOVIE& movie);
int64_t PlayerApi_GetMovieSampleCount(const sMP4MOVIE& movie);
float PlayerApi_GetSampleRate(const sMP4MOVIE& movie);

}  // namespace qv
