// One movie player: a GStreamer pipeline whose video goes through the
// CustomPresenter into a video pane and whose sound goes to the audio sink.
//
// The window thread drives it (open, start, pause, seek, rate, volume,
// close).  Pipeline messages are handled on the player's own thread (a GLib
// main loop per open movie) and reach the pane only as posted app messages:
// kMsgPlayerTopologyReady once per open, when the movie first prerolled, and
// kMsgPlayerPresentationEnded 200 ms after the end of the presentation, once
// its last frame was shown.
//
// Streaming threads never take the player's lock, so the window thread may
// hold it across a flushing seek or the change to NULL.
//
// Every pipeline runs on one clock (the system clock) and keeps its base
// time as the player sets it (the pipeline never picks its own): playback
// resumes at the running time where it was paused (0 after a flushing seek),
// and players started together (PlayersInStep) share one base time, so that
// they are in step because they share running time.  Nobody waits for a
// pipeline to preroll: a start whose pipelines have not prerolled yet is
// finished on the players' own threads when they have.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/rect.h"
#include "player/playermessages.h"
#include "player/framepool.h"
#include "player/presenter.h"

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;
typedef struct _GstBus GstBus;
typedef struct _GstClock GstClock;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GSource GSource;

namespace qv {

enum class PlayerState { kClosed, kReady, kOpenPending, kStarted, kPaused, kStopped, kClosing };

enum class PlayerResult { kOk, kInvalidRequest, kInvalidArg, kUnexpected, kPointer, kFailed };

// What the slot keeps of its presenters across a close: the mirror flag, the
// second flag and the frame memory.  Given to each new presenter.
struct PresenterFlags {
  int mirror = 0;
  int second = 0;
  std::shared_ptr<FramePool> frames;  // made by the slot's first player
};

struct PlayerOptions {
  // Makes the audio sink for each pipeline; empty: the default sink (a silent
  // one when the machine has no usable sound output).
  std::function<GstElement*()> makeAudioSink;
  // How long a start waits for the pipeline to preroll before it sets it
  // playing all the same (its partners with it).
  std::chrono::milliseconds prerollWait{5000};
  // Given to every presenter made (tests only).
  PresenterTestHooks presenterHooks{};
};

// Initialises GStreamer once for the process.
void EnsureGStreamer();

// The clock every pipeline made from now on runs on; null: the system clock
// (the default).  Tests drive a clock of their own through it.  Set it while
// no player is open.
void SetPlayersClock(GstClock* clock);

class CPlayer;
class StepStart;

// Moves several players as one.  While a group lives on a thread, the
// players started, paused or moved on that thread read the clock once (when
// the outermost group was made), and those that are to play go to playing
// together, all with one base time, once every one of them has prerolled:
// when the group finishes if they all have, else on the players' own
// threads, when the last of them reports its preroll (or when one of them
// has waited its PlayerOptions::prerollWait).  A start never waits for a
// preroll, and a later pause, seek or start of a player takes it out of a
// start still waiting.  A player's own start, pause and seek make a group
// of one; a group made inside another joins the outer one.  Window thread
// only.  While a group lives no waiting start goes ahead, so that a pause
// or a seek of several players is never split by one.
class PlayersInStep {
 public:
  PlayersInStep();
  ~PlayersInStep() { Finish(); }
  PlayersInStep(const PlayersInStep&) = delete;
  PlayersInStep& operator=(const PlayersInStep&) = delete;

  // Starts the players that are to play, or leaves them waiting for their
  // prerolls (once; a joined group does nothing); false when one of them
  // refused to go to playing.
  bool Finish();

 private:
  friend class CPlayer;
  // The group players on this thread join (the outermost).
  PlayersInStep* Root() { return outer_ ? outer_ : this; }
  void Add(CPlayer* player);
  void Remove(CPlayer* player);

  PlayersInStep* outer_ = nullptr;
  uint64_t now_ = 0;  // the shared clock reading, nanoseconds
  bool finished_ = false;
  CPlayer* starting_[4] = {};
  int count_ = 0;
};

class CPlayer {
 public:
  // `eventWindow` gets the ready and ended messages, `videoWindow` the
  // presenter's repaint requests; `saved` (may be null) is the slot's kept
  // presenter flags.
  CPlayer(AppMessagePort eventWindow, AppMessagePort videoWindow, PresenterFlags* saved = nullptr,
          PlayerOptions options = {});
  ~CPlayer();
  CPlayer(const CPlayer&) = delete;
  CPlayer& operator=(const CPlayer&) = delete;

  // Closes any open movie and opens `path`, waiting for its first preroll:
  // then state Stopped, and the ready message follows.  kFailed when the
  // pipeline cannot be made or started, when the movie cannot be played with
  // sound or without (a damaged movie) or shows no picture, or when it has
  // not prerolled within kOpenWait; the state is then Closed.
  // `duration` (100 ns units) is the movie header's, when the caller has
  // already read the index; otherwise (-1) the header is read here.
  PlayerResult Open(const std::string& path, int64_t duration = -1);
  static constexpr std::chrono::milliseconds kOpenWait{5000};
  // Tears the pipeline down; state Closed.  Takes at most kCloseWait even
  // when the pipeline does not answer (it is then left to stop on its own).
  PlayerResult CloseSession();
  static constexpr std::chrono::milliseconds kCloseWait{5000};
  // From Paused or Stopped only (kInvalidRequest otherwise); applies the
  // rate.  After the end of the presentation it plays from the beginning.
  // Returns at once: the state is Started, and the pipeline goes to playing
  // as soon as it has prerolled (PlayersInStep).
  PlayerResult StartPlayback();
  // Pauses (also the slot's stop); kInvalidRequest unless ready.
  PlayerResult Pause();
  // Accurate flushing seek to `position` (100 ns units) at the current rate;
  // a paused player shows exactly the frame at that time.
  PlayerResult Seek(int64_t position);
  // The rate for the next start or seek: 0.25 to 4.0, else kInvalidArg.
  PlayerResult SetRate(float rate);
  float Rate() const;
  // Volume 0..65535 (linear); kPointer when the movie plays without sound.
  PlayerResult SetVolume(int volume);
  int Volume() const;
  // Position in 100 ns units: the time stamp of the frame on screen once
  // playback has shown one since the open or the last seek, else the last
  // seek's target (0 after the open); 0 before the movie is ready.  Always
  // true (the slot's clock-error path stays for other players).
  bool GetPosition(int64_t* position);
  // Duration in 100 ns units from the movie header (0 when unknown).
  int64_t Duration() const;
  // The destination rectangle in the pane (x, y, width, height).
  void SetVideoPosition(int x, int y, int width, int height);

  PlayerState State() const;
  // Whether the movie is ready (prerolled and its services gathered).
  bool IsReady() const { return ready_.load(); }
  bool NoAudio() const { return noAudio_.load(); }
  // The presenter of the open movie, or null.  Window thread only.
  CustomPresenter* Presenter() { return presenter_.get(); }

 private:
  friend class PlayersInStep;
  friend class StepStart;
  GstElement* BuildPipeline(bool withAudio, GstElement** appsink);
  bool StartPipeline();
  bool RetryWithoutAudio();
  // Takes `pipeline` to NULL; false when it did not get there in kCloseWait.
  static bool StopPipeline(GstElement* pipeline);
  // Watches `pipeline`'s bus on the player's thread (null: stops watching).
  void WatchBus(GstElement* pipeline);
  static int OnBusMessage(GstBus* bus, GstMessage* message, void* user);
  void HandleBusMessage(GstMessage* message);
  void HandleBusMessageLocked(GstMessage* message);
  void OnFramesEnded(uint32_t generation);
  void MaybeScheduleEnd();
  void CancelEnd();
  bool SeekLocked(int64_t position, float rate);
  // Pauses a playing pipeline, keeping the running time reached at `now`;
  // false when the pipeline refused.
  bool PauseLocked(uint64_t now);
  // Whether the pipeline has prerolled (no state change of it is still
  // waiting for its sinks).
  bool PrerolledLocked() const;
  // Playing with the running time resumed at clock time `now`; false when
  // the pipeline refused.
  bool GoPlayingLocked(uint64_t now);
  // Takes the player out of the start waiting for its preroll, if any (the
  // start may still go ahead with its other players).
  void LeaveStartLocked();
  // Arms the preroll wait of a start waiting for this player.
  void ArmPrerollWaitLocked();

  AppMessagePort eventWindow_;
  AppMessagePort videoWindow_;
  PresenterFlags* saved_;
  PlayerOptions options_;

  mutable std::mutex lock_;
  PlayerState state_ = PlayerState::kClosed;
  GstElement* pipeline_ = nullptr;
  std::unique_ptr<CustomPresenter> presenter_;
  std::shared_ptr<FramePool> frames_;  // the frame memory when no slot keeps it
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
  GSource* busWatch_ = nullptr;
  GSource* endTimer_ = nullptr;
  bool readyPosted_ = false;
  bool busEnded_ = false;
  bool framesEnded_ = false;
  bool wantPlaying_ = false;
  bool openFailed_ = false;  // the open's pipeline failed, also without sound
  bool atEnd_ = false;       // the presentation ended; no seek since
  std::condition_variable openWait_;  // with lock_: readyPosted_ or openFailed_
  std::string path_;
  int64_t duration_ = 0;
  float rate_ = 1.0f;
  float appliedRate_ = 1.0f;
  int64_t target_ = 0;          // the last seek's target (100 ns units)
  uint64_t resumeRunning_ = 0;  // the running time playback resumes at (ns)
  bool playingSet_ = false;     // the pipeline was last set to playing
  std::shared_ptr<StepStart> pendingStart_;  // the start waiting for this player's preroll
  GSource* prerollTimer_ = nullptr;          // its wait, on the player's thread
  int volume_ = 65535;
  std::atomic<bool> ready_{false};
  std::atomic<bool> noAudio_{false};
};

}  // namespace qv
