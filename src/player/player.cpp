#include "player/player.h"

#include <gst/gst.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <thread>
#include <vector>

#include "player/movieduration.h"
#include "player/soundoutput.h"

namespace qv {

namespace {

// playbin's flags.
constexpr guint kFlagVideo = 0x1;
constexpr guint kFlagAudio = 0x2;
constexpr guint kFlagSoftVolume = 0x10;
constexpr guint kFlagNativeVideo = 0x40;

// Decoding threads for one movie: enough for two cameras at rate 4 with
// room on a busy machine.  The decoder's default (one per processor, and one
// more) keeps a copy of its state and a picture in flight for each.
constexpr int kDecoderThreads = 4;

void OnElementSetup(GstElement*, GstElement* element, gpointer) {
  GstElementFactory* factory = gst_element_get_factory(element);
  if (!factory || !g_str_has_prefix(GST_OBJECT_NAME(factory), "avdec_")) return;
  if (!g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads")) return;
  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  g_object_set(element, "max-threads", std::min(kDecoderThreads, processors), nullptr);
}

std::atomic<GstClock*> g_playersClock{nullptr};  // set by SetPlayersClock (one reference)

// The one clock every pipeline runs on.
GstClock* SharedClock() {
  static GstClock* system = gst_system_clock_obtain();
  GstClock* chosen = g_playersClock.load();
  return chosen ? chosen : system;
}

uint64_t ClockNow() { return gst_clock_get_time(SharedClock()); }

thread_local PlayersInStep* g_group = nullptr;

// Held by the outermost group of a thread while it lives and by a start
// finishing on a player's thread; taken before any player's lock.
std::recursive_mutex g_stepLock;

struct FramesEnded {
  CPlayer* player;
  uint32_t generation;
  void (*handler)(CPlayer*, uint32_t);
};

}  // namespace

void EnsureGStreamer() {
  static std::once_flag once;
  std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

void SetPlayersClock(GstClock* clock) {
  EnsureGStreamer();
  if (clock) gst_object_ref(clock);
  if (GstClock* old = g_playersClock.exchange(clock)) gst_object_unref(old);
}

// A start of several players waiting for their prerolls.  The players
// waiting for it point to it; it goes ahead, on whichever thread the last
// preroll is reported (or a player's wait ends), with the players that still
// point to it.  Only under g_stepLock.
class StepStart : public std::enable_shared_from_this<StepStart> {
 public:
  void Add(CPlayer* player) { players_.push_back(player); }
  // A player that goes away: it is never looked at again.
  void Forget(CPlayer* player) {
    players_.erase(std::remove(players_.begin(), players_.end(), player), players_.end());
  }

  // Sets the players still waiting playing, with one base time, when every
  // one of them has prerolled, or `anyway`; false when one refused.
  bool TryFinish(bool anyway) {
    std::vector<CPlayer*> waiting;
    for (CPlayer* p : players_) {
      std::lock_guard<std::mutex> l(p->lock_);
      if (p->pendingStart_.get() != this) continue;
      if (!anyway && !p->PrerolledLocked()) return true;
      waiting.push_back(p);
    }
    // The players let go of this start below, which may be the last to hold it.
    const std::shared_ptr<StepStart> self = shared_from_this();
    players_.clear();
    const uint64_t now = ClockNow();
    bool ok = true;
    for (CPlayer* p : waiting) {
      std::lock_guard<std::mutex> l(p->lock_);
      if (p->pendingStart_.get() != this) continue;
      p->LeaveStartLocked();
      if (!p->GoPlayingLocked(now)) ok = false;
    }
    return ok;
  }

 private:
  std::vector<CPlayer*> players_;
};

PlayersInStep::PlayersInStep() : outer_(g_group) {
  if (outer_) return;
  EnsureGStreamer();
  g_stepLock.lock();
  g_group = this;
  now_ = ClockNow();
}

void PlayersInStep::Add(CPlayer* player) {
  PlayersInStep* root = Root();
  for (int i = 0; i < root->count_; ++i) {
    if (root->starting_[i] == player) return;
  }
  if (root->count_ < static_cast<int>(std::size(root->starting_))) root->starting_[root->count_++] = player;
}

void PlayersInStep::Remove(CPlayer* player) {
  PlayersInStep* root = Root();
  for (int i = 0; i < root->count_; ++i) {
    if (root->starting_[i] == player) {
      root->starting_[i] = root->starting_[--root->count_];
      return;
    }
  }
}

bool PlayersInStep::Finish() {
  if (outer_ || finished_) return true;
  finished_ = true;
  g_group = nullptr;
  // None goes to playing before all have prerolled, so that none starts
  // late behind the others; the start waits for them without holding anyone.
  if (count_ == 0) {
    g_stepLock.unlock();
    return true;
  }
  auto start = std::make_shared<StepStart>();
  for (int i = 0; i < count_; ++i) {
    CPlayer* p = starting_[i];
    std::lock_guard<std::mutex> l(p->lock_);
    if (!p->pipeline_ || p->state_ != PlayerState::kStarted || !p->wantPlaying_) continue;
    p->LeaveStartLocked();
    p->pendingStart_ = start;
    p->ArmPrerollWaitLocked();
    start->Add(p);
  }
  count_ = 0;
  const bool ok = start->TryFinish(false);
  g_stepLock.unlock();
  return ok;
}

CPlayer::CPlayer(AppMessagePort eventWindow, AppMessagePort videoWindow, PresenterFlags* saved, PlayerOptions options)
    : eventWindow_(std::move(eventWindow)),
      videoWindow_(std::move(videoWindow)),
      saved_(saved),
      options_(std::move(options)) {
  EnsureGStreamer();
}

CPlayer::~CPlayer() { CloseSession(); }

GstElement* CPlayer::BuildPipeline(bool withAudio, GstElement** appsink) {
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  GstElement* bin = gst_bin_new(nullptr);
  GstElement* queue = gst_element_factory_make("queue", nullptr);
  GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  GError* error = nullptr;
  gchar* uri = gst_filename_to_uri(path_.c_str(), &error);
  if (!playbin || !bin || !queue || !convert || !sink || !uri) {
    if (error) g_error_free(error);
    g_free(uri);
    for (GstElement* e : {playbin, bin, queue, convert, sink}) {
      if (e) gst_object_unref(gst_object_ref_sink(e));
    }
    return nullptr;
  }
  // The decoder's own formats pass untouched; the engine converts each frame
  // once, at the size it is shown.
  GstCaps* caps = gst_caps_from_string("video/x-raw,format=(string){I420,NV12,BGRx,BGRA}");
  // The presenter times the frames itself: the sink hands them over at once.
  g_object_set(sink, "caps", caps, "sync", FALSE, "enable-last-sample", FALSE, "qos", FALSE, nullptr);
  gst_caps_unref(caps);
  g_object_set(convert, "n-threads", 2u, nullptr);
  // A few decoded frames of slack between the decoder and the presenter's
  // two holders, so that a decoder held up for a moment (a busy machine)
  // does not hold up the picture.
  g_object_set(queue, "max-size-buffers", 4u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
  gst_bin_add_many(GST_BIN(bin), queue, convert, sink, nullptr);
  gst_element_link_many(queue, convert, sink, nullptr);
  GstPad* pad = gst_element_get_static_pad(queue, "sink");
  gst_element_add_pad(bin, gst_ghost_pad_new("sink", pad));
  gst_object_unref(pad);

  guint flags = kFlagVideo | kFlagNativeVideo;
  if (withAudio) flags |= kFlagAudio | kFlagSoftVolume;
  g_object_set(playbin, "uri", uri, "video-sink", bin, "flags", flags, nullptr);
  g_free(uri);
  if (withAudio) {
    GstElement* audio = options_.makeAudioSink ? options_.makeAudioSink() : MakeDefaultAudioSink();
    if (audio) g_object_set(playbin, "audio-sink", audio, nullptr);
    g_object_set(playbin, "volume", volume_ / 65535.0, nullptr);
  } else {
    // Never linked; it keeps playbin from opening the sound system.
    g_object_set(playbin, "audio-sink", MakeSilentSink(), nullptr);
  }
  g_signal_connect(playbin, "element-setup", G_CALLBACK(OnElementSetup), nullptr);
  // One clock for every player, and the base time is ours to give.
  gst_pipeline_use_clock(GST_PIPELINE(playbin), SharedClock());
  gst_element_set_start_time(playbin, GST_CLOCK_TIME_NONE);
  *appsink = sink;
  return GST_ELEMENT(gst_object_ref_sink(playbin));
}

PlayerResult CPlayer::Open(const std::string& path, int64_t duration) {
  CloseSession();
  std::unique_lock<std::mutex> l(lock_);
  path_ = path;
  duration_ = duration >= 0 ? duration : 0;
  if (duration < 0 && !ReadMovieDuration(path, &duration_)) duration_ = 0;
  state_ = PlayerState::kReady;
  readyPosted_ = busEnded_ = framesEnded_ = wantPlaying_ = openFailed_ = atEnd_ = playingSet_ = false;
  appliedRate_ = 1.0f;
  resumeRunning_ = 0;
  target_ = 0;
  GstElement* appsink = nullptr;
  pipeline_ = BuildPipeline(!noAudio_, &appsink);
  if (!pipeline_) {
    state_ = PlayerState::kClosed;
    return PlayerResult::kFailed;
  }
  context_ = g_main_context_new();
  loop_ = g_main_loop_new(context_, FALSE);
  WatchBus(pipeline_);
  GMainContext* context = context_;
  GMainLoop* loop = loop_;
  thread_ = std::thread([context, loop] {
    g_main_context_push_thread_default(context);
    g_main_loop_run(loop);
    g_main_context_pop_thread_default(context);
  });

  // One frame memory for every pipeline of the slot (of this player
  // without a slot).
  std::shared_ptr<FramePool>& frames = saved_ ? saved_->frames : frames_;
  if (!frames) frames = std::make_shared<FramePool>();
  presenter_ = std::make_unique<CustomPresenter>(frames);
  if (saved_) {
    presenter_->Engine().SetMirror(saved_->mirror != 0);
    presenter_->Engine().SetSecondFlag(saved_->second);
  }
  presenter_->SetVideoWindow(videoWindow_);
  presenter_->SetTestHooks(options_.presenterHooks);
  presenter_->Attach(appsink, pipeline_);
  presenter_->SetEndedCallback([this](uint32_t generation) { OnFramesEnded(generation); });
  presenter_->BeginStreaming();

  state_ = PlayerState::kOpenPending;
  // The open is decided by the first preroll: a movie that cannot be played,
  // with sound or without, fails here instead of never becoming ready.  So
  // does one that neither prerolls nor fails in time: the demuxer's error can
  // be lost inside the decoder bin while it is being set up, and the movie
  // would then never become ready.
  if (!StartPipeline() ||
      !openWait_.wait_for(l, kOpenWait, [this] { return readyPosted_ || openFailed_; }) || openFailed_) {
    // Closing from here on: a preroll that arrives before the close takes the
    // lock must not announce the failed movie as ready.
    state_ = PlayerState::kClosing;
    ready_ = false;
    l.unlock();
    CloseSession();
    return PlayerResult::kFailed;
  }
  return PlayerResult::kOk;
}

bool CPlayer::StartPipeline() {
  if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) return true;
  return !noAudio_ && RetryWithoutAudio();
}

bool CPlayer::RetryWithoutAudio() {
  // The failed output may stay inside the old pipeline: build a new one
  // without a sound branch.
  noAudio_ = true;
  presenter_->BeginFlushing();
  // Bounded like a close: an element that never lets the change to NULL
  // finish fails the open instead of holding it (and the window) for ever.
  if (!StopPipeline(pipeline_)) return false;
  presenter_->Detach();
  WatchBus(nullptr);
  gst_object_unref(pipeline_);
  GstElement* appsink = nullptr;
  pipeline_ = BuildPipeline(false, &appsink);
  if (!pipeline_) return false;
  presenter_->Attach(appsink, pipeline_);
  presenter_->EndFlushing();
  WatchBus(pipeline_);
  return gst_element_set_state(pipeline_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
}

void CPlayer::WatchBus(GstElement* pipeline) {
  if (busWatch_) {
    g_source_destroy(busWatch_);
    g_source_unref(busWatch_);
    busWatch_ = nullptr;
  }
  if (!pipeline) return;
  GstBus* bus = gst_element_get_bus(pipeline);
  busWatch_ = gst_bus_create_watch(bus);
  gst_object_unref(bus);
  g_source_set_callback(busWatch_, G_SOURCE_FUNC(&CPlayer::OnBusMessage), this, nullptr);
  g_source_attach(busWatch_, context_);
}

bool CPlayer::StopPipeline(GstElement* pipeline) {
  // The change to NULL runs on a thread of its own, which owns a reference:
  // an element that never lets it finish cannot hold the caller.
  struct Stop {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
  };
  auto stop = std::make_shared<Stop>();
  gst_object_ref(pipeline);
  std::thread worker([stop, pipeline] {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    std::lock_guard<std::mutex> l(stop->lock);
    stop->finished = true;
    stop->done.notify_all();
  });
  std::unique_lock<std::mutex> l(stop->lock);
  if (stop->done.wait_for(l, kCloseWait, [&] { return stop->finished; })) {
    l.unlock();
    worker.join();
    return true;
  }
  worker.detach();
  return false;
}

PlayerResult CPlayer::CloseSession() {
  {
    // Out of every start, before anything can wait for this player's lock.
    std::lock_guard<std::recursive_mutex> step(g_stepLock);
    if (g_group) g_group->Remove(this);
    std::shared_ptr<StepStart> start;
    {
      std::lock_guard<std::mutex> l(lock_);
      start = pendingStart_;
      LeaveStartLocked();
    }
    if (start) start->Forget(this);
  }
  std::unique_lock<std::mutex> l(lock_);
  ready_ = false;
  if (!presenter_) {
    state_ = PlayerState::kClosed;
    return PlayerResult::kOk;
  }
  state_ = PlayerState::kClosing;
  CancelEnd();
  // No streaming thread may be left waiting on the presenter: the change to
  // NULL waits for every streaming thread to stop.
  presenter_->Shutdown();
  GstElement* pipeline = pipeline_;
  pipeline_ = nullptr;
  std::unique_ptr<CustomPresenter> presenter = std::move(presenter_);
  if (pipeline && !StopPipeline(pipeline)) {
    // The pipeline did not stop in time: it keeps its reference and stops
    // on its own.  Its sink may still call the presenter, which is
    // therefore let go of without being freed.
    pipeline = nullptr;
    presenter->EndStreaming();
    (void)presenter.release();
  }
  std::thread thread = std::move(thread_);
  GMainLoop* loop = loop_;
  GMainContext* context = context_;
  GSource* busWatch = busWatch_;
  loop_ = nullptr;
  busWatch_ = nullptr;
  l.unlock();

  if (presenter) presenter->EndStreaming();  // no frame callbacks after this
  // Quit from inside the loop: a quit that came before the loop started
  // running would be lost.
  g_main_context_invoke(
      context,
      [](gpointer l) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(l));
        return G_SOURCE_REMOVE;
      },
      loop);
  thread.join();
  if (busWatch) {
    g_source_destroy(busWatch);
    g_source_unref(busWatch);
  }
  presenter.reset();
  if (pipeline) gst_object_unref(pipeline);
  g_main_loop_unref(loop);

  l.lock();
  context_ = nullptr;
  g_main_context_unref(context);
  state_ = PlayerState::kClosed;
  l.unlock();
  // The pipeline's threads freed their work memory into the heap's
  // per-thread pools, where the next pipeline's threads would not find it:
  // its free pages go back to the system.
  malloc_trim(0);
  return PlayerResult::kOk;
}

PlayerResult CPlayer::StartPlayback() {
  PlayersInStep group;
  {
    std::lock_guard<std::mutex> l(lock_);
    if (state_ != PlayerState::kPaused && state_ != PlayerState::kStopped) return PlayerResult::kInvalidRequest;
    if (!pipeline_) return PlayerResult::kUnexpected;
    if (atEnd_) {
      // The presentation ended: play it again from the beginning.
      SeekLocked(0, rate_);
    } else if (rate_ != appliedRate_) {
      int64_t position = target_;
      presenter_->ShownTime(&position);
      SeekLocked(position, rate_);
    }
    wantPlaying_ = true;
    state_ = PlayerState::kStarted;
    group.Add(this);
  }
  return group.Finish() ? PlayerResult::kOk : PlayerResult::kFailed;
}

PlayerResult CPlayer::Pause() {
  PlayersInStep group;
  std::lock_guard<std::mutex> l(lock_);
  if (!pipeline_ || !ready_) return PlayerResult::kInvalidRequest;
  wantPlaying_ = false;
  LeaveStartLocked();
  group.Remove(this);  // a start earlier in the same group is undone
  presenter_->SetClockRunning(false);
  if (!PauseLocked(group.Root()->now_)) return PlayerResult::kFailed;
  state_ = PlayerState::kPaused;
  return PlayerResult::kOk;
}

bool CPlayer::PauseLocked(uint64_t now) {
  if (playingSet_) {
    const GstClockTime base = gst_element_get_base_time(pipeline_);
    resumeRunning_ = now > base ? now - base : 0;
    playingSet_ = false;
  }
  return gst_element_set_state(pipeline_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
}

bool CPlayer::PrerolledLocked() const {
  // A pipeline whose change failed never prerolls: it is not waited for.
  return !pipeline_ || gst_element_get_state(pipeline_, nullptr, nullptr, 0) != GST_STATE_CHANGE_ASYNC;
}

void CPlayer::LeaveStartLocked() {
  pendingStart_.reset();
  if (prerollTimer_) {
    g_source_destroy(prerollTimer_);
    g_source_unref(prerollTimer_);
    prerollTimer_ = nullptr;
  }
}

void CPlayer::ArmPrerollWaitLocked() {
  if (!context_) return;
  prerollTimer_ = g_timeout_source_new(static_cast<guint>(std::max<int64_t>(0, options_.prerollWait.count())));
  g_source_set_callback(
      prerollTimer_,
      [](gpointer user) -> gboolean {
        auto* p = static_cast<CPlayer*>(user);
        std::lock_guard<std::recursive_mutex> step(g_stepLock);
        std::shared_ptr<StepStart> start;
        {
          std::lock_guard<std::mutex> l(p->lock_);
          // Left the start meanwhile (and perhaps joined another).
          if (!p->prerollTimer_ || p->prerollTimer_ != g_main_current_source()) return G_SOURCE_REMOVE;
          g_source_unref(p->prerollTimer_);
          p->prerollTimer_ = nullptr;
          start = p->pendingStart_;
        }
        // Waited long enough: the start goes ahead without this preroll.
        if (start) start->TryFinish(true);
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
  g_source_attach(prerollTimer_, context_);
}

bool CPlayer::GoPlayingLocked(uint64_t now) {
  if (!pipeline_ || state_ != PlayerState::kStarted || !wantPlaying_) return true;
  gst_element_set_base_time(pipeline_, now - std::min<uint64_t>(resumeRunning_, now));
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    wantPlaying_ = false;
    presenter_->SetClockRunning(false);
    state_ = PlayerState::kPaused;
    return false;
  }
  playingSet_ = true;
  // The frames are timed by the clock and the base time just given: they
  // need not wait for the pipeline's own word that it plays.
  presenter_->SetClockRunning(true);
  return true;
}

bool CPlayer::SeekLocked(int64_t position, float rate) {
  CancelEnd();
  atEnd_ = false;
  if (position < 0) position = 0;
  // The flushing seek waits for the streaming threads; none of them takes
  // lock_ or waits inside the presenter.
  const bool ok = gst_element_seek(pipeline_, rate, GST_FORMAT_TIME,
                                   static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                   GST_SEEK_TYPE_SET, position * 100, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
  if (ok) {
    target_ = position;
    appliedRate_ = rate;
    resumeRunning_ = 0;  // the flush starts the running time again
  }
  CancelEnd();
  return ok;
}

PlayerResult CPlayer::Seek(int64_t position) {
  PlayersInStep group;
  bool ok;
  {
    std::lock_guard<std::mutex> l(lock_);
    if (!pipeline_ || !ready_) return PlayerResult::kInvalidRequest;
    // A playing player pauses, seeks and prerolls, and then plays on from
    // the new position with a new base time (shared with its group).
    const bool playing = state_ == PlayerState::kStarted && wantPlaying_;
    if (playing) {
      presenter_->SetClockRunning(false);
      PauseLocked(group.Root()->now_);
    }
    ok = SeekLocked(position, rate_);
    if (playing) group.Add(this);
  }
  return group.Finish() && ok ? PlayerResult::kOk : PlayerResult::kFailed;
}

PlayerResult CPlayer::SetRate(float rate) {
  if (!(rate >= 0.25f && rate <= 4.0f)) return PlayerResult::kInvalidArg;
  std::lock_guard<std::mutex> l(lock_);
  rate_ = rate;
  return PlayerResult::kOk;
}

float CPlayer::Rate() const {
  std::lock_guard<std::mutex> l(lock_);
  return rate_;
}

PlayerResult CPlayer::SetVolume(int volume) {
  if (volume < 0 || volume > 65535) return PlayerResult::kInvalidArg;
  std::lock_guard<std::mutex> l(lock_);
  if (!pipeline_ || noAudio_) return PlayerResult::kPointer;
  g_object_set(pipeline_, "volume", volume / 65535.0, nullptr);
  volume_ = volume;
  return PlayerResult::kOk;
}

int CPlayer::Volume() const {
  std::lock_guard<std::mutex> l(lock_);
  return volume_;
}

bool CPlayer::GetPosition(int64_t* position) {
  std::lock_guard<std::mutex> l(lock_);
  *position = 0;
  if (!pipeline_ || !ready_) return true;
  // The frame on screen: the pipeline's own position runs ahead of it by the
  // frames queued for display.
  int64_t shown = 0;
  if (!presenter_->ShownTime(&shown)) shown = target_;  // the preroll frame stands for the target
  *position = shown < 0 ? 0 : shown;
  return true;
}

int64_t CPlayer::Duration() const {
  std::lock_guard<std::mutex> l(lock_);
  return duration_;
}

void CPlayer::SetVideoPosition(int x, int y, int width, int height) {
  std::lock_guard<std::mutex> l(lock_);
  if (!presenter_ || !ready_) return;
  const NormalizedRect whole;
  const Rect destination(x, y, x + width, y + height);
  presenter_->SetVideoPosition(&whole, &destination);
}

PlayerState CPlayer::State() const {
  std::lock_guard<std::mutex> l(lock_);
  return state_;
}

int CPlayer::OnBusMessage(GstBus*, GstMessage* message, void* user) {
  static_cast<CPlayer*>(user)->HandleBusMessage(message);
  return TRUE;
}

void CPlayer::HandleBusMessage(GstMessage* message) {
  bool prerolled = false;
  {
    std::lock_guard<std::mutex> l(lock_);
    HandleBusMessageLocked(message);
    // The pipeline's own state changed or its change finished: a start that
    // waits for this preroll may go ahead.
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    const bool fromPipeline = GST_MESSAGE_SRC(message) == reinterpret_cast<GstObject*>(pipeline_);
    prerolled =
        pendingStart_ && (type == GST_MESSAGE_ASYNC_DONE || (type == GST_MESSAGE_STATE_CHANGED && fromPipeline));
  }
  if (!prerolled) return;
  std::lock_guard<std::recursive_mutex> step(g_stepLock);
  std::shared_ptr<StepStart> start;
  {
    std::lock_guard<std::mutex> l(lock_);
    start = pendingStart_;
  }
  if (start) start->TryFinish(false);
}

void CPlayer::HandleBusMessageLocked(GstMessage* message) {
  if (!pipeline_ || state_ == PlayerState::kClosing || state_ == PlayerState::kClosed) return;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
      if (!readyPosted_ && !openFailed_ && !presenter_->Prerolled()) {
        // Prerolled without a picture: the video track was refused (the
        // sound alone prerolled).  The movie cannot be shown.
        openFailed_ = true;
        openWait_.notify_all();
      } else if (!readyPosted_ && !openFailed_) {
        // The first preroll: the movie is ready.  Later prerolls (after
        // seeks) are not reported.
        readyPosted_ = true;
        ready_ = true;
        state_ = PlayerState::kStopped;
        eventWindow_.Post(kMsgPlayerTopologyReady);
        openWait_.notify_all();
      }
      break;
    case GST_MESSAGE_ERROR:
      // An error before the first preroll may be the sound output's: try
      // once more without sound.  When that fails too the movie cannot be
      // played and the open fails.  Later errors are dropped.
      if (readyPosted_ || openFailed_) break;
      if (noAudio_ || !RetryWithoutAudio()) {
        openFailed_ = true;
        openWait_.notify_all();
      }
      break;
    case GST_MESSAGE_EOS:
      busEnded_ = true;
      MaybeScheduleEnd();
      break;
    default:
      break;
  }
}

void CPlayer::OnFramesEnded(uint32_t generation) {
  // Called on a streaming or scheduler thread: hand over to the player's
  // thread without taking lock_.
  auto* data = new FramesEnded{this, generation, [](CPlayer* p, uint32_t g) {
                                 std::lock_guard<std::mutex> l(p->lock_);
                                 if (!p->presenter_ || p->state_ == PlayerState::kClosing) return;
                                 if (g != p->presenter_->Generation()) return;  // a seek came in between
                                 p->framesEnded_ = true;
                                 p->MaybeScheduleEnd();
                               }};
  GSource* idle = g_idle_source_new();
  g_source_set_callback(
      idle,
      [](gpointer d) -> gboolean {
        auto* f = static_cast<FramesEnded*>(d);
        f->handler(f->player, f->generation);
        return G_SOURCE_REMOVE;
      },
      data, [](gpointer d) { delete static_cast<FramesEnded*>(d); });
  g_source_attach(idle, context_);
  g_source_unref(idle);
}

void CPlayer::MaybeScheduleEnd() {
  if (!busEnded_ || !framesEnded_ || endTimer_) return;
  // The presentation is over: the player stands still at the end, like a
  // paused one, until it is started or moved again.
  state_ = PlayerState::kStopped;
  busEnded_ = framesEnded_ = false;
  wantPlaying_ = false;
  LeaveStartLocked();
  atEnd_ = true;
  presenter_->SetClockRunning(false);
  PauseLocked(ClockNow());
  // The pane hears of the end 200 ms later; the player's thread goes on
  // handling messages meanwhile.
  endTimer_ = g_timeout_source_new(200);
  g_source_set_callback(
      endTimer_,
      [](gpointer user) -> gboolean {
        auto* p = static_cast<CPlayer*>(user);
        std::lock_guard<std::mutex> l(p->lock_);
        if (p->endTimer_) {
          g_source_unref(p->endTimer_);
          p->endTimer_ = nullptr;
        }
        if (p->state_ != PlayerState::kClosing) p->eventWindow_.Post(kMsgPlayerPresentationEnded);
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
  g_source_attach(endTimer_, context_);
}

void CPlayer::CancelEnd() {
  if (endTimer_) {
    g_source_destroy(endTimer_);
    g_source_unref(endTimer_);
    endTimer_ = nullptr;
  }
  busEnded_ = framesEnded_ = false;
}

}  // namespace qv
