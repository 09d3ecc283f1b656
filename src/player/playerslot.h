// One camera's player slot: tests and opens one recording movie, plays it
// through its SlotPlayer, counts position and duration in video frames,
// changes speed, runs the one-frame-a-second tick worker, places and shapes
// the picture in its window, and holds the recording's drive data in three
// readers (current: what the accessors read; loading: the pair being opened;
// prefetch: the next pair read ahead).
//
// Every entry runs under the slot mutex `mutexA` (recursive: entries call
// each other and PlayerApi_LockAll holds it across drive-data walks).
// `mutexB` serialises drive-data loading and prefetching.  Lock order: the
// slot mutex before the load mutex, never the other way round.
//
// Positions and durations are frames: a time in 100 ns units divided by the
// movie's frame time (view 0's frameMs x 10000, single precision, truncated).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rect.h"
#include "player/osdlayer.h"
#include "player/playermessages.h"
#include "player/slotplayer.h"
#include "player/slotstate.h"
#include "recording/drivedatareader.h"

namespace qv {

// One view: the video pane (view 0) or the second window (view 1).
struct SlotView {
  const SlotWindow* window = nullptr;
  int zoomX = 0;
  int zoomY = 0;
  float zoomFactor = 0.0f;  // 0 until the first SetZoom: no placement
  Rect viewRect;            // the last destination given to the player
  int offsetX = 0;
  int offsetY = 0;
  int keepAspect = 0;       // 1 letterbox, 0 stretch
  float frameMs = 0.0f;     // the movie's frame time (view 0, set at open)
  float durationSec = 0.0f;
};

struct PlayerSlot {
  PlayerSlot() = default;
  ~PlayerSlot();
  PlayerSlot(const PlayerSlot&) = delete;
  PlayerSlot& operator=(const PlayerSlot&) = delete;

  uint16_t volume = 0;
  int32_t flip = 0;              // stored by SetVideoRect
  int32_t canPlayBackwards = 0;  // the session path never plays backwards
  int32_t flag15 = 0;            // table entry 15: stored only
  int32_t hardwareDecode = 0;    // table entry 17: stored only
  std::atomic<int32_t> tickRun{0};
  int32_t rateCode = 0;
  SlotView views[2];
  std::thread tickThread;
  std::atomic<int32_t> state{kSlotClosed};
  int64_t lastPosition = 0;

  // Owned by the player layer (playerapi.h).
  // dataReady is set on a pair thread (PlayerApi_LoadDriveData) while the
  // window thread picks the data slot by it.
  int32_t initialised = 0;
  std::atomic<int32_t> dataReady{0};
  std::atomic<int32_t> opened{0};

  std::string osdFace;  // the on-screen text's font face
  OsdLayer osd;

  // Made by Init; a default-built slot (a work area) has none.
  std::unique_ptr<std::recursive_mutex> mutexA;  // the slot mutex: every entry, DriveDataView
  std::unique_ptr<std::mutex> mutexB;            // the drive-data load mutex: load and prefetch

  CDriveDataReader current;
  CDriveDataReader loading;
  CDriveDataReader prefetch;
  std::string prefetchPath;          // the path the prefetch was asked for
  std::atomic<int32_t> prefetchBusy{0};

  PresenterFlags saved;  // the presenter flags kept across a close
  std::unique_ptr<SlotPlayer> player;

  std::atomic<int32_t> tickLimit{0};
  std::atomic<int32_t> tickCounter{0};
  AppMessagePort tickTarget;

  std::unique_ptr<std::vector<GpsSample>> ownedTrack;

  // How players are made and how the slot sleeps; tests replace them.
  SlotPlayerFactory factory;
  SlotSleep sleep;
};

// The slot mutex of `slot` while in scope (nothing for a slot without one).
class SlotLock {
 public:
  explicit SlotLock(PlayerSlot* slot) : mutex_(slot->mutexA.get()) {
    if (mutex_) mutex_->lock();
  }
  ~SlotLock() {
    if (mutex_) mutex_->unlock();
  }
  SlotLock(const SlotLock&) = delete;
  SlotLock& operator=(const SlotLock&) = delete;

 private:
  std::recursive_mutex* mutex_;
};

// Entries 0 to 14, 19, 20 and 22 to 25.
int PlayerSlot_Init(PlayerSlot* slot, const SlotWindow* pane, const SlotWindow* second, const std::string& face);
int PlayerSlot_Release(PlayerSlot* slot);
// The completeness test (recording/checkfile.h) under the slot mutex.
int PlayerSlot_CheckFile(PlayerSlot* slot, const std::string& path);
int PlayerSlot_SetWindows(PlayerSlot* slot, const SlotWindow* pane, const SlotWindow* second);
// 1 opened (ready follows as the player's message to the pane), 0 failed,
// 2 refused as too short.
int PlayerSlot_Open(PlayerSlot* slot, int index, const std::string& path, const SlotWindow* pane,
                    const SlotWindow* second);
int PlayerSlot_Close(PlayerSlot* slot);
// Close without closing the player's session: the slot is closed and hands
// its player (null when none), still open, to the caller.
std::unique_ptr<SlotPlayer> PlayerSlot_LetGo(PlayerSlot* slot);
// Loads the recording's drive data into the loading reader and builds its
// time index (one slot per frame).  0 when the file holds no GPS samples.
int PlayerSlot_LoadDriveData(PlayerSlot* slot, const std::string& path);
int PlayerSlot_FreeDriveData(PlayerSlot* slot);
int PlayerSlot_Play(PlayerSlot* slot);
int PlayerSlot_SeekPlaying(PlayerSlot* slot, int32_t position);
int PlayerSlot_Pause(PlayerSlot* slot);
int PlayerSlot_Stop(PlayerSlot* slot);
// The position in frames; -1 on a clock error.
int32_t PlayerSlot_GetPosition(PlayerSlot* slot, int view);
int PlayerSlot_SeekTo(PlayerSlot* slot, int view, int64_t position);
int PlayerSlot_SetRate(PlayerSlot* slot, int code);
int PlayerSlot_StartTickWorker(PlayerSlot* slot, int view, int run);
int64_t PlayerSlot_GetDuration(PlayerSlot* slot, int view);
float PlayerSlot_GetViewFactor(PlayerSlot* slot, int view);
void PlayerSlot_SetFlag(PlayerSlot* slot, int32_t flag);
void PlayerSlot_SetHardwareDecode(PlayerSlot* slot, int32_t flag);

// Picture and sound: entries 21, 27 to 32, 35, 40 to 42.
int PlayerSlot_SetAspectMode(PlayerSlot* slot, int view, int mode);
int PlayerSlot_GetVideoSize(PlayerSlot* slot, int view, int* width, int* height);
int PlayerSlot_SetVolume(PlayerSlot* slot, int volume);
void PlayerSlot_DrawOsd(PlayerSlot* slot, int view, const std::string& text);
int PlayerSlot_RedrawOsd(PlayerSlot* slot);
void PlayerSlot_SetVideoRect(PlayerSlot* slot, int flip);
int PlayerSlot_SetZoom(PlayerSlot* slot, int view, int zoomX, int zoomY, int offsetX, int offsetY, float factor,
                       int repaint);
int PlayerSlot_SetMirror(PlayerSlot* slot);
int PlayerSlot_SaveSnapshot(PlayerSlot* slot, int view, const std::string& path);
int PlayerSlot_RefreshFrame(PlayerSlot* slot, int view);
int PlayerSlot_RedrawView(PlayerSlot* slot, int view);

// The open in parts, so that what reads the movie and waits for its first
// preroll can run off the window thread: PlayerSlot_ReadMovie and then
// PlayerSlot_OpenPlayerApart on any thread, touching nothing of the slot
// but its player factory and its kept presenter flags (which nothing
// changes while the slot is closed), then PlayerSlot_TakeOpened on the
// window thread.  PlayerSlot_Open is all three in one (its old player
// closed before the new one opens).
struct MovieOpened {
  int result = 0;  // as PlayerSlot_Open: 1 opens, 0 failed, 2 refused as too short
  float durationSec = 0;
  float frameMs = 0;
  int64_t duration = 0;  // the movie header's, 100 ns units (0 when none)
  std::unique_ptr<SlotPlayer> player;  // null when the player could not be opened
};
// The movie's frame timing and the verdict on it.
MovieOpened PlayerSlot_ReadMovie(const std::string& path);
// Opens the player of a movie whose verdict is 1 (the player stays null
// when it fails); `window` gets the player's messages.  A raised `cancel`
// closes a player opened meanwhile.
void PlayerSlot_OpenPlayerApart(PlayerSlot* slot, MovieOpened& opened, const std::string& path,
                                const SlotWindow* window, const std::atomic<bool>* cancel = nullptr);
int PlayerSlot_TakeOpened(PlayerSlot* slot, MovieOpened opened, const SlotWindow* pane, const SlotWindow* second);

// Called by the main window and the player layer directly.
// Moves the loading reader's data into the current one; true when the
// current reader then has GPS samples.
bool PlayerSlot_CopyDriveData(PlayerSlot* slot);
// Reads the next pair's drive data ahead (null or empty: forget it).
int PlayerSlot_Prefetch(PlayerSlot* slot, const char* path);

// The player-ready test of the transport entries.
bool PlayerSlot_PlayerReady(PlayerSlot* slot);

}  // namespace qv
