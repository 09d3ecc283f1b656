// Values the recording list, the CSV export and the player take from a
// movie's index: sample sizes and counts, picture size, frame rate and timing.
// All of them read the first video track ("vide" handler).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "recording/mp4movie.h"

namespace qv {

// The first track whose handler is "vide"; null when there is none.
const Mp4Track* VideoTrack(const sMP4MOVIE& movie);

// Sum of the video track's sample sizes; `entryCount` (when given) receives
// the sample count.  A count with its top bit set counts as empty.  0 and a
// count of 0 when the movie cannot be read.
uint64_t GetTrackDataSize(const std::string& path, uint32_t* entryCount);
uint64_t GetTrackDataSize(const sMP4MOVIE& movie, uint32_t* entryCount);

// Width and height of the first visual sample entry; (-1, -1) when missing.
std::pair<int, int> GetMovieFrameSize(const sMP4MOVIE& movie);
// The video sample count; -1 when the movie has no sample-size table.
int64_t GetMovieSampleCount(const sMP4MOVIE& movie);
// Frames per second from the video time-to-sample table: time scale divided
// by the mean sample duration; -1 when there is no usable table.
float GetSampleRate(const sMP4MOVIE& movie);

// The player's frame-timing probe.  answer: 1 usable, 2 too short (2.0 s or
// less, unless the rate is 15 frames a second), 0 the index cannot be read.
struct FrameTiming {
  int answer = 0;
  float durationSec = 0;
  float frameMs = 0;  // whole milliseconds per frame
};
FrameTiming ProbeFrameTiming(const sMP4MOVIE& movie);
FrameTiming ProbeFrameTiming(const std::string& path);

}  // namespace qv
