#include "mainwnd/stillnames.h"

#include "platform/numtext.h"
#include "recording/recordingname.h"

namespace qv {
namespace {

std::string Padded(int64_t v, size_t width) {
  std::string s = FormatInt(v);
  return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

}  // namespace

bool BuildStillNames(const std::string& folder, const RecordingEntry& pair, int64_t position, StillNames& out) {
  out = {};
  if (position < 0 || (pair.frontPath.empty() && pair.rearPath.empty())) return false;
  const CivilTime& t = pair.startTime;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  prefix += Padded(t.year, 4) + Padded(t.month, 2) + Padded(t.day, 2) + "_";
  const std::string tail = "-" + Padded(position, 6) + ".jpg";
  // Each camera's title from its own file, so each still carries its own camera letter.
  if (!pair.frontPath.empty()) out.front = prefix + GetRecordingTitle(pair.frontPath) + tail;
  if (!pair.rearPath.empty()) out.rear = prefix + GetRecordingTitle(pair.rearPath) + tail;
  return true;
}

}  // namespace qv
