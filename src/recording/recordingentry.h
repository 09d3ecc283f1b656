// One recording pair as every list of the program holds it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/civiltime.h"

namespace qv {

struct RecordingEntry {
  std::string frontPath;  // full path of the front movie, empty when there is none
  std::string frontName;  // its file name
  std::string rearPath;   // the same for the rear movie
  std::string rearName;
  int32_t sequence = 0;    // running number of the scan; -1 for a folder row
  int32_t sortLetter = 0;  // first character of the front name for a recording name, else 0
  int32_t joined = 0;      // 1 once the join command has joined this row
  int32_t parking = 0;     // 1 for trigger letters "P" and "S"
  int32_t duration = 0;
  float sortValue = 0.0f;
  CivilTime startTime;
  CivilTime endTime;
  uint64_t frontSize = 0;     // media bytes per camera; all bits set for a folder row
  uint64_t rearSize = 0;
  uint64_t frontSamples = 0;  // samples of the first track per camera
  uint64_t rearSamples = 0;
};

}  // namespace qv
