#include "mainwnd/stillnames.h"

#include "platform/numtext.h"
#include "recording/recordingname.h"

namespace qv {
bool BuildStillNames(const std::string& folder, const RecordingEntry& pair, int64_t position, StillNames& out) {
  out = {};
  if (position < 0 || (pair.frontPath.empty() && pair.rearPath.empty())) return false;
  const CivilTime& t = pair.startTime;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  prefix += FormatPadded(t.year, 4) + FormatPadded(t.month, 2) + FormatPadded(t.day, 2) + "_";
  const std::string tail = "-" + FormatPadded(position, 6) + ".jpg";
  // Each camera's title from its own file, so each still carries its own camera letter.
  if (!pair.frontPath.empty()) out.front = prefix + GetRecordingTitle(pair.frontPath) + tail;
  if (!pair.rearPath.empty()) out.rear = prefix + GetRecordingTitle(pair.rearPath) + tail;
  return true;
}

}  // namespace qv
