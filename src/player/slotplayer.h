// What a player slot needs from its movie player and from the window it plays
// into, as interfaces, so that the slot's rules can be exercised with a fake
// player and a fake clock and no pipeline.
//
// The real player is CPlayer (player.h); MakeGstSlotPlayer wraps one.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/qt/appmessage.h"
#include "platform/rect.h"
#include "player/player.h"
#include "player/slotwindow.h"

namespace qv {

class CustomPresenter;

// One movie player as the slot drives it.  Positions and durations in 100 ns
// units.  Calls come from the window thread under the slot's mutex.
class SlotPlayer {
 public:
  virtual ~SlotPlayer() = default;
  // `duration` is the movie header's (100 ns units) that the slot has
  // already read from the index, so that the file is not read again.
  virtual PlayerResult Open(const std::string& path, int64_t duration) = 0;
  virtual PlayerResult CloseSession() = 0;
  virtual PlayerResult StartPlayback() = 0;
  virtual PlayerResult Pause() = 0;
  // Flushing seek that keeps the playing or paused state.
  virtual PlayerResult Seek(int64_t position) = 0;
  virtual PlayerResult SetRate(float rate) = 0;
  virtual PlayerResult SetVolume(int volume) = 0;
  virtual bool GetPosition(int64_t* position) = 0;
  virtual int64_t Duration() const = 0;
  virtual PlayerState State() const = 0;
  // Prerolled with its display services: the slot's "player ready".
  virtual bool IsReady() const = 0;

  // Display control (no effect before the player is ready).
  virtual void SetVideoPosition(const Rect& destination) = 0;
  virtual bool GetVideoPosition(Rect* destination) = 0;
  virtual bool GetNativeVideoSize(Size* size) = 0;
  virtual void SetAspectRatioMode(int mode) = 0;
  virtual bool RepaintVideo() = 0;
  // The current frame at its native size; null when there is none.
  virtual QImage GetCurrentImage() = 0;
  // Toggles the mirror flag; the new flag, or -1 without a presenter.
  virtual int ToggleMirror() = 0;
  // The presenter's flags that the slot keeps across a close; false (and
  // nothing written) without a presenter.
  virtual bool ReadFlags(PresenterFlags* flags) = 0;
  // The presenter that paints the frame (null for fakes).
  virtual CustomPresenter* Presenter() = 0;
};

// Makes a slot's player: `window` gets its messages, `saved` is the slot's
// kept presenter flags.
using SlotPlayerFactory = std::function<std::unique_ptr<SlotPlayer>(const SlotWindow* window, PresenterFlags* saved)>;

// A factory for CPlayer-backed players.
SlotPlayerFactory GstSlotPlayerFactory(PlayerOptions options = {});

// The slot's clock: sleeps of the position retry, the rate change pause and
// the tick worker.  Tests replace it.
using SlotSleep = std::function<void(int milliseconds)>;
void RealSleep(int milliseconds);

// The frame rate and duration GStreamer's discoverer finds in a movie (for
// files whose index cannot be read); false when it finds no video.
bool DiscoverFrameTiming(const std::string& path, double* framesPerSecond, double* durationSec);

// Whether the GStreamer elements a slot plays through are installed.
bool PlaybackPluginsPresent();

}  // namespace qv
