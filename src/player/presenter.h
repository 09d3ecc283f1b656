// The video presenter: takes decoded frames from the pipeline's video sink,
// has them timed by its Scheduler and drawn by its PresentEngine, and offers
// the player the display controls (destination and source rectangles, native
// size, repaint, current image).
//
// Frames come in on the pipeline's streaming thread.  The preroll frame is
// shown at once.  Stream frames wait in the video sink's queue until one of
// the pool's two holders is free: the presenter takes them from there when
// the sink announces one and whenever a holder comes back.  While a frame
// waits there, the next one waits at the sink's pad, before the sink takes
// the lock that its state changes take: so decoding is throttled to the
// display, no state change ever waits for a streaming thread, and no frame
// is dropped or kept beyond the holders to let one through.  A flush (seek)
// raises the generation so that frames of the old position are dropped.
#pragma once

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <QImage>

#include "platform/rect.h"
#include "player/framepool.h"
#include "player/presentengine.h"
#include "player/scheduler.h"

typedef struct _GstElement GstElement;
typedef struct _GstBuffer GstBuffer;
typedef struct _GstPad GstPad;
typedef struct _GstSegment GstSegment;
typedef struct _GstQuery GstQuery;

namespace qv {

enum class PresenterResult { kOk, kPointer, kInvalidArg, kShutdown, kNotReady };

class CustomPresenter;

// Points where a test can hold a thread of the presenter, to bring about an
// order of events that is otherwise left to the scheduling of the threads.
// Empty in the program.
struct PresenterTestHooks {
  // Scheduler thread: a frame was painted; its time is not yet the position.
  std::function<void(CustomPresenter&)> painted;
  // Streaming thread: the sink queued a frame; the presenter has not yet
  // heard of it.
  std::function<void(CustomPresenter&)> queued;
};

// Presentation figures (for measurements).
struct PresenterStats {
  uint64_t presented = 0;      // frames drawn by the scheduler thread
  uint64_t dropped = 0;        // frames dropped as late
  uint64_t lateOverFrame = 0;  // presented more than one frame after their time
  double latenessSumMs = 0;    // wall-clock lateness of the presented frames (early: negative)
  double latenessMaxMs = 0;    // the latest one (0 when none was late)
};

class CustomPresenter : public SchedulerCallback, private PresentClock {
 public:
  // `frames` is where the decoder's pictures and the scaled pictures come
  // from (a pool of the presenter's own when null).
  explicit CustomPresenter(std::shared_ptr<FramePool> frames = nullptr);
  ~CustomPresenter() override;
  CustomPresenter(const CustomPresenter&) = delete;
  CustomPresenter& operator=(const CustomPresenter&) = delete;

  // Connects to the pipeline's video sink (an appsink giving BGRx frames) and
  // to the pipeline whose clock times the frames.
  void Attach(GstElement* appsink, GstElement* pipeline);
  // Disconnects from the sink (the pipeline must be stopped).
  void Detach();

  // The scheduler thread lives between these two.
  void BeginStreaming();
  void EndStreaming();
  // Drops every frame in flight and refuses new ones until EndFlushing.
  // Called before the pipeline is torn down or rebuilt.
  void BeginFlushing();
  void EndFlushing();
  // Final: refuses frames for good (before the pipeline goes to NULL).
  void Shutdown();

  // Whether the pipeline clock runs (the player says so when it gives the
  // pipeline its base time and sets it playing, and when it pauses); frames
  // wait while it stands still.
  void SetClockRunning(bool running);

  // Called once, from any thread, when the end of the stream was reached and
  // every frame before it was presented.  The argument is the generation the
  // end belongs to.
  void SetEndedCallback(std::function<void(uint32_t generation)> ended) { ended_ = std::move(ended); }
  // Before Attach.
  void SetTestHooks(PresenterTestHooks hooks) { hooks_ = std::move(hooks); }
  uint32_t Generation() const { return generation_.load(); }

  // Display control.
  void SetVideoWindow(AppMessagePort port) { engine_.SetVideoWindow(std::move(port)); }
  PresenterResult SetVideoPosition(const NormalizedRect* source, const Rect* destination);
  PresenterResult GetVideoPosition(NormalizedRect* source, Rect* destination) const;
  // The frame size and its ratio reduced by the greatest common divisor;
  // false before the first frame.
  bool GetNativeVideoSize(Size* size, Size* aspect) const;
  void SetAspectRatioMode(int mode) { aspectMode_ = mode; }
  int AspectRatioMode() const { return aspectMode_; }
  PresenterResult RepaintVideo();
  // The last frame at its native size, mirrored when the mirror flag is set.
  QImage GetCurrentImage() const { return engine_.CaptureFrame(); }

  PresentEngine& Engine() { return engine_; }
  // The pipeline whose clock times the frames (not owned; null when detached).
  GstElement* Pipeline() const { return pipeline_.load(); }
  const Scheduler& GetScheduler() const { return scheduler_; }
  PresenterStats Stats() const;
  bool Prerolled() const { return prerolled_.load(); }
  // The stream time (100 ns units) of the frame on screen, once playback has
  // presented one since the open or the last flush; false before that (the
  // preroll frame of a seek does not count: the seek's target stands for it).
  bool ShownTime(int64_t* time) const;

  // SchedulerCallback.
  void PresentSample(VideoSample* sample, int64_t targetTime) override;
  void SampleDone(VideoSample* sample, bool presented) override;

  // Streaming-thread entry points (public for the sink's C callbacks).
  // The sink prerolled on the last frame that passed its pad.
  void OnPreroll();
  // The sink queued a frame.
  void OnSampleQueued();
  // A frame at the sink's pad: waits while another one waits in the sink
  // (until a flush, or the pad's deactivation), and is kept for a preroll.
  void OnBufferAtPad(GstPad* pad, GstBuffer* buffer);
  // Takes the frames waiting in the sink while holders are free (the sink
  // announced one, or a holder came back).  Any thread; never waits.
  void TakeFrames();
  void OnFlushStart();
  void OnFlushStop();
  void OnEndOfStream();
  // The video sink's allocation query: answered with the frame pool.
  bool OnAllocationQuery(GstQuery* query);

 private:
  bool StreamTimeNow(int64_t* time) override;
  // The pipeline's running time now (ns); false while its clock stands still.
  bool RunningNow(uint64_t* running) const;
  // The stream time (100 ns units) at running time `running`.
  bool StreamTimeAt(uint64_t running, int64_t* time);
  // Tells the decoder through the sink how late `sample` came to the screen
  // at running time `now` (upstream quality-of-service event), so that it
  // skips work when behind.
  void ReportLateness(const VideoSample* sample, uint64_t now);
  void CheckEndOfStream();
  bool Refusing(uint32_t generation) const;
  void WaitForRoom(GstPad* pad);
  // Wakes the frames waiting at the pad; `sinkEmptied`: the sink's queue
  // was emptied (a flush).
  void WakeRoomWaiters(bool sinkEmptied);
  // A frame of flush generation `gen` for the screen: the preroll frame at
  // once, a stream frame in `holder` (given back when the frame is not
  // shown).
  void Accept(GstSample* frame, bool preroll, uint32_t gen, VideoSample* holder);

  std::shared_ptr<FramePool> frames_;
  PresentEngine engine_;
  Scheduler scheduler_;
  SamplePool pool_;
  VideoSample holders_[2];

  // Taking frames from the sink, one thread at a time and in order (taken
  // again when a frame given up at once brings its holder back).
  std::recursive_mutex intakeLock_;
  GstElement* appsink_ = nullptr;   // owned by the pipeline; with intakeLock_
  std::atomic<GstElement*> pipeline_{nullptr};  // not owned; read by the scheduler thread
  unsigned long probeId_ = 0;
  unsigned long queryProbeId_ = 0;
  unsigned long bufferProbeId_ = 0;
  std::mutex roomLock_;  // taken last, alone
  std::condition_variable roomFreed_;
  // Frames the sink announced less frames taken from it.  The sink queues a
  // frame before it announces it, so a holder that comes back meanwhile can
  // take the frame first: the count is then -1 until the announcement.  It
  // is the number of frames in the sink whenever the streaming thread is at
  // the pad, as it announces every frame it queued before it returns.  The
  // end of a flush, which no frame passes, empties the sink and sets it to 0.
  int waitingInSink_ = 0;
  GstBuffer* padBuffer_ = nullptr;  // the last frame that passed the sink's pad (with roomLock_)
  std::mutex sinkPadLock_;
  GstPad* sinkPad_ = nullptr;  // the sink's pad, for the lateness reports
  // The position and the generation it belongs to change together: a frame
  // of the old generation cannot make its time the position after a flush
  // began.  Taken last, alone.
  mutable std::mutex shownLock_;
  int64_t shownTime_ = INT64_MIN;  // none yet

  std::atomic<bool> shutdown_{false};
  std::atomic<bool> flushing_{false};
  std::atomic<uint32_t> generation_{0};
  std::atomic<bool> prerolled_{false};
  std::atomic<bool> clockRunning_{false};
  std::atomic<bool> endOfStream_{false};
  std::atomic<int> aspectMode_{1};
  std::function<void(uint32_t)> ended_;
  PresenterTestHooks hooks_;

  mutable std::mutex segmentLock_;  // the segment the clock converts with
  GstSegment* segment_ = nullptr;
  GstBuffer* prerollBuffer_ = nullptr;  // the frame already shown as preroll
  int frameRateNum_ = 0;
  int frameRateDen_ = 0;

  mutable std::mutex statsLock_;
  PresenterStats stats_;
};

}  // namespace qv
