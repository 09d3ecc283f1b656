#include "mainwnd/playbackrules.h"

#include <algorithm>

namespace qv::mainwnd {

namespace {

constexpr int Index(int id) { return id - kCmdToStart; }

}  // namespace

ButtonStates DecideButtonStates(const ButtonStateInput& in) {
  ButtonStates on{};
  const bool csv = !in.notACard;  // the CSV list is a card's
  if (in.rows <= 0) {
    on[Index(kCmdBrowse)] = true;
    on[Index(kCmdCsv)] = csv;
    return on;
  }
  const bool firstOrOnly = in.rows == 1 || in.currentRow == 0;
  const bool lastOrOnly = in.rows == 1 || in.currentRow == in.rows - 1;
  on[Index(kCmdPrevious)] = !firstOrOnly;
  on[Index(kCmdNext)] = !lastOrOnly;
  if (in.playState == 2) {
    on[Index(kCmdToStart)] = true;
    on[Index(kCmdPlayPause)] = true;
    on[Index(kCmdSlower)] = in.rateIndex > -2;
    on[Index(kCmdFaster)] = in.rateIndex < 2;
  } else {
    on[Index(kCmdToStart)] = in.playState == 3;
    on[Index(kCmdPlayPause)] = in.dataReady;
  }
  on[Index(kCmdStill)] = in.dataReady;
  on[Index(kCmdZoom)] = in.dataReady;
  on[Index(kCmdJoin)] = in.sourceMode == 1;
  on[Index(kCmdMirror)] = in.rearOpenResult != 0;
  on[Index(kCmdDelete)] = in.sourceMode != 3;
  on[Index(kCmdCsv)] = csv;
  for (int id : {kCmdMap, kCmdBrowse, kCmdSettings, kCmdFrontRear}) on[Index(id)] = true;
  return on;
}

bool TimeLapseName(const std::string& name) { return name.size() > 11 && name[11] == 'T'; }

int DefaultRateCode(const std::string& frontName, const std::string& rearName) {
  return TimeLapseName(frontName) || TimeLapseName(rearName) ? -2 : kNormalRateCode;
}

int RateLabelEntry(int code) {
  switch (code) {
    case -4: return 61;
    case -2: return 60;
    case 1: return 57;
    case 2: return 58;
    case 4: return 59;
    default: return 0;
  }
}

bool CountPairNotice(int& counter, int openedPlayers) {
  ++counter;
  if (openedPlayers <= 0 || counter < openedPlayers) return false;
  counter = 0;
  return true;
}

std::string PairOpenMessage(const std::string& head, const std::string& playerText,
                            const std::vector<std::string>& failedPaths) {
  std::string text = head;
  if (!playerText.empty()) text += "\n" + playerText;
  for (const std::string& path : failedPaths) text += "\n" + path;
  return text;
}

int EndMargin(int rateCode) { return rateCode == 2 ? 40 : rateCode == 4 ? 80 : 20; }

int64_t SeekTarget(int64_t pos, int64_t duration, int rateCode) {
  return std::max<int64_t>(0, std::min(pos, duration - EndMargin(rateCode)));
}

int64_t ClampDisplay(int64_t pos, int64_t minimum, int64_t maximum) {
  return std::max(minimum, std::min(pos, maximum - 1));
}

int64_t TickDisplayPosition(int64_t pos, int64_t pendingTarget, int64_t duration, int rateCode) {
  if (pos <= 0) return -1;
  const int step = rateCode == 1 ? 2 : rateCode == 2 ? 3 : 1;
  const int64_t margin = duration / 1000 + 30;
  if (pendingTarget != -1 && (pos <= pendingTarget - margin || pos >= pendingTarget + margin)) return -1;
  return pos + 3 * step;
}

}  // namespace qv::mainwnd
