// The player slots' rules as pure functions: frame timing, rate codes, frame
// arithmetic, the picture's placement in its window and the on-screen text's
// place, the start rule of a pair, the resolution class and error texts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rect.h"

namespace qv {

// Whether a movie can be opened, as the slot's open and its checks answer.
// The open's result is one of kFailed, kOpens and kTooShort, as a number
// (0, 1, 2) that the callers rely on.
enum class MovieOpening : int {
  kNoIndex = -1,  // the movie's index cannot be read: its timing is asked of GStreamer
  kFailed = 0,    // cannot be played: no video track, no usable frame timing, a failing player
  kOpens = 1,
  kTooShort = 2,  // refused as too short; the caller tells the user
};

// Open's length rule: kOpens when the movie may be opened (longer than
// 2.0 s, or 15 frames a second), kTooShort when it is too short.  A frame
// time of 0 is no usable timing: kFailed.
MovieOpening FrameTimingVerdict(float durationSec, float frameMs);

// Rate codes: 1 normal, 2 and 4 fast, -1 slow toggle, -2 and -4 slow (or
// backwards where the player can play backwards).
struct RateChoice {
  int code = 1;     // the code the slot keeps
  float rate = 1;   // the rate given to the player
};
// The rate for `code` given the slot's current code; -1 without backwards
// play toggles between normal (from -2) and half speed (from 1).
RateChoice RateForCode(int code, int currentCode, bool canPlayBackwards);
// The next code for the faster or slower command while playing.  Slower
// follows the primary (session) path's column.
int NextRateCode(int currentCode, bool faster, bool canPlayBackwards);

// Frames from a time in 100 ns units (single precision, truncated, as the
// position display counts them); 0 for a frame time of 0.
int64_t FramesFromTime(int64_t time, float frameMs);
// The time in 100 ns units of frame `frames`.
int64_t TimeFromFrames(int64_t frames, float frameMs);

// Scales a rectangle about the point (x, y), measured from its left and top,
// so that the point keeps its relative place: a factor above 1 enlarges, below
// 1 shrinks.  False, with the rectangle unchanged, for a factor of 0, an empty
// rectangle, or a result whose left would pass its right.
bool ZoomRectAt(Rect& rect, int x, int y, float factor);

// The zoomed and shifted destination of a view in a window of `client` size:
// the client area zoomed by `factor` about (zoomX, zoomY), then shifted.
// False for an empty client area or a factor that makes no rectangle.
bool ZoomedViewRect(Size client, int zoomX, int zoomY, float factor, int offsetX, int offsetY, Rect* out);
// Fits `r` to the video's aspect ratio (letterbox), centred; the right and
// bottom edges gain 2 pixels as the renderer expects.  False for an empty
// video size, client area or rectangle.
bool LetterboxFit(const Rect& r, Size video, Size client, Rect* out);

// Where the 300 x 120 on-screen text layer goes, in fractions of the
// picture: scaled by the ratio of the video size to the window, against the
// right and bottom edges.  The whole picture for an empty size.
struct OsdPlace {
  float left = 0, top = 0, right = 1, bottom = 1;
};
constexpr int kOsdWidth = 300;
constexpr int kOsdHeight = 120;
OsdPlace OsdPlacement(Size video, Size client);

// The start rule of a pair: a slot is only marked playing, not restarted,
// when the pair's lengths differ by more than 40 frames, it is the shorter
// movie and its position is within 60 frames of its end.
bool StartOnlyMarks(int64_t duration, int64_t position, int64_t otherDuration);

// The resolution class: 3 (720 lines) or 5 (1080 lines), one more unless the
// drive-data head's byte 27 is 'H'; 0 for any other height.
int ResolutionClass(int height, uint8_t headByte27);

// Result codes the player layer shows.  Negative (top bit set) are failures.
constexpr uint32_t kCodeNotImpl = 0x80004001;
constexpr uint32_t kCodeNoInterface = 0x80004002;
constexpr uint32_t kCodePointer = 0x80004003;
constexpr uint32_t kCodeFail = 0x80004005;
constexpr uint32_t kCodeUnexpected = 0x8000FFFF;
constexpr uint32_t kCodeOutOfMemory = 0x8007000E;
constexpr uint32_t kCodeInvalidArg = 0x80070057;
constexpr uint32_t kCodeNotConnected = 0x80040209;
constexpr uint32_t kCodeWrongState = 0x80040227;
constexpr uint32_t kCodeInvalidRequest = 0xC00D36B2;
// A GStreamer element the playback needs is not installed.
constexpr uint32_t kCodePluginMissing = 0x80040200;

// The message text for a failure code; `pluginText` is the UI text shown for
// a missing plugin (its code is shown as any other when the text is empty).
std::string ErrorText(uint32_t code, const std::string& pluginText);

}  // namespace qv
