// The file names of the still command: one JPEG per camera in the chosen
// folder, "YYYYMMDD_<title>-<position>.jpg", the date of the pair's start,
// the camera's own recording title (123456AN_F for 001_123456AN_F.MP4) and
// the play position in at least six digits.
#pragma once

#include <cstdint>
#include <string>

#include "recording/recordingentry.h"

namespace qv {

struct StillNames {
  std::string front;  // empty when the pair has no front file
  std::string rear;   // empty when the pair has no rear file
};

// False (nothing named) for a negative position or a pair with no file.
bool BuildStillNames(const std::string& folder, const RecordingEntry& pair, int64_t position, StillNames& out);

}  // namespace qv
