// Rules of playback control as pure functions: which command buttons are
// enabled, the pair's default rate and its label, the counting of the
// players' notices, where a seek lands and where the tick moves the display.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mainwnd/mainlayout.h"

namespace qv::mainwnd {

// The browsing panel's five filter buttons as commands.
constexpr int kFilterButtonFirst = 38700;

// What the enable rules read.
struct ButtonStateInput {
  bool notACard = true;   // the source is no card (or none): CSV stays off
  int rows = 0;           // rows of the recording list
  int currentRow = -1;
  int playState = 0;      // 0 closed, 1 stopped, 2 playing, 3 paused
  bool dataReady = false; // the data slot holds its pair's drive data
  int rateIndex = 1;      // the data slot's rate code
  int sourceMode = 0;     // 1 card, 2 folder, 3 file
  int rearOpenResult = 0; // the rear slot's open result
};

// Enabled flags of the 16 command buttons, in the order of CommandButtons().
using ButtonStates = std::array<bool, kCommandButtonCount>;
ButtonStates DecideButtonStates(const ButtonStateInput& in);

// The normal rate (x1.0): the slots' rate before any pair and after a reset.
constexpr int kNormalRateCode = 1;

// The default rate code of a pair: -2 when the record-rate letter (the
// twelfth character) of the front or the rear file name is 'T', else 1.
int DefaultRateCode(const std::string& frontName, const std::string& rearName);
// Whether a file name carries the time-lapse rate letter.
bool TimeLapseName(const std::string& name);
// The UI entry of a rate code's label; 0 (no text) for a code without one.
int RateLabelEntry(int code);

// Counts one notice of a pair's players (ready or ended).  A pair counts one
// notice per opened player; true when the last one arrived, and the counter
// starts again.  A pair with no opened player never completes.
bool CountPairNotice(int& counter, int openedPlayers);

// The one message box of a pair that did not open in full: `head` (the
// open failed, or the pair is too short), the player's own text when it
// gave one, then the path of each movie that did not open, a line each.
std::string PairOpenMessage(const std::string& head, const std::string& playerText,
                            const std::vector<std::string>& failedPaths);

// How many units before the end a seek stops at this rate code: 40 at 2,
// 80 at 4, else 20.
int EndMargin(int rateCode);
// Where a seek to `pos` goes: at most `duration` minus the end margin, never
// below 0 (a movie shorter than the margin seeks to its start).
int64_t SeekTarget(int64_t pos, int64_t duration, int rateCode);
// A display position clamped to [minimum, maximum - 1] (minimum when the
// range is empty).
int64_t ClampDisplay(int64_t pos, int64_t minimum, int64_t maximum);

// The tick: the display position for the player's reported position `pos`,
// or -1 when the display stays (nothing reported yet, or the player has not
// reached the last requested position `pendingTarget`).
int64_t TickDisplayPosition(int64_t pos, int64_t pendingTarget, int64_t duration, int rateCode);

}  // namespace qv::mainwnd
