#include "player/movieduration.h"

#include "recording/mp4movie.h"

namespace qv {

bool ReadMovieDuration(const std::string& path, int64_t* duration) {
  Mp4MoviePtr movie(OpenMp4Movie(path));
  return movie && MovieHeaderDuration(*movie, duration);
}

bool MovieHeaderDuration(const sMP4MOVIE& movie, int64_t* duration) {
  if (movie.mvhd.empty()) return false;
  uint32_t scale = 0;
  if (!ReadTimeScale(movie.mvhd.front(), scale) || scale == 0) return false;
  // 100 ns units; the product cannot overflow for any 64-bit duration.
  const unsigned __int128 t = static_cast<unsigned __int128>(movie.duration) * 10000000u / scale;
  if (t > static_cast<unsigned __int128>(INT64_MAX)) return false;
  *duration = static_cast<int64_t>(t);
  return true;
}

}  // namespace qv
