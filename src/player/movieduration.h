// The movie's duration from its movie header, read at open time.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct sMP4MOVIE;

// Duration in 100 ns units from the top-level movie box's header; false when
// the file cannot be read or has no usable header (zero time scale).
bool ReadMovieDuration(const std::string& path, int64_t* duration);
// The same from a movie already read.
bool MovieHeaderDuration(const sMP4MOVIE& movie, int64_t* duration);

}  // namespace qv
