// The video presenter: takes decoded frames from the pipeline's video sink,
// has them timed by its Scheduler and drawn by its PresentEngine, and offers
// the player the display controls (destination and source rectangles, native
// size, repaint, current image).
//
// Frames come in on the pipeline's streaming thread.  The preroll frame is
// shown at once; stream frames wait for one of the pool's two holders, which
// throttles decoding to the display.  A flush (seek) raises the generation so
// that frames of the old position are dropped, and wakes a streaming thread
// that waits for a holder so that the seek can never deadlock on it.
//
// The sink calls the frame callback holding the lock its state changes take,
// so a streaming thread that waits there for a holder holds up any state
// change of the pipeline.  While the clock stands still no holder comes back,
// and the sink may still hand over frames when paused (after a start quickly
// followed by a pause it can stay paused without prerolling).  So every state
// change the player makes runs inside BeginStateChange/EndStateChange, which
// lets a waiting streaming thread go.
#pragma once

#include <atomic>
#include <climits>
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
  // Between these two the player changes the pipeline's state, and the sink's
  // change waits for a streaming thread inside the frame callback: one that
  // waits for a frame holder is woken, and meanwhile frames that find no free
  // holder are queued in spare ones instead.  Outside them a streaming thread
  // waits for a holder even while the clock stands still, so that a sink that
  // keeps handing over frames when paused cannot run the decoder ahead
  // without bound.  Calls may nest.
  void BeginStateChange();
  void EndStateChange();

  // Called once, from any thread, when the end of the stream was reached and
  // every frame before it was presented.  The argument is the generation the
  // end belongs to.
  void SetEndedCallback(std::function<void(uint32_t generation)> ended) { ended_ = std::move(ended); }
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
  void OnFrame(GstSample* frame, bool preroll);
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

  std::shared_ptr<FramePool> frames_;
  PresentEngine engine_;
  Scheduler scheduler_;
  SamplePool pool_;
  VideoSample holders_[2];
  std::atomic<int> spares_{0};  // spare holders in use (made during state changes)

  GstElement* appsink_ = nullptr;   // owned by the pipeline
  std::atomic<GstElement*> pipeline_{nullptr};  // not owned; read by the scheduler thread
  unsigned long probeId_ = 0;
  unsigned long queryProbeId_ = 0;
  std::mutex sinkPadLock_;
  GstPad* sinkPad_ = nullptr;  // the sink's pad, for the lateness reports
  std::atomic<int64_t> shownTime_{INT64_MIN};  // none yet

  std::atomic<bool> shutdown_{false};
  std::atomic<bool> flushing_{false};
  std::atomic<uint32_t> generation_{0};
  std::atomic<bool> prerolled_{false};
  std::atomic<bool> clockRunning_{false};
  std::atomic<int> changingState_{0};  // state changes under way
  std::atomic<bool> endOfStream_{false};
  std::atomic<int> aspectMode_{1};
  std::function<void(uint32_t)> ended_;

  mutable std::mutex segmentLock_;  // the segment the clock converts with
  GstSegment* segment_ = nullptr;
  GstBuffer* prerollBuffer_ = nullptr;  // the frame already shown as preroll
  int frameRateNum_ = 0;
  int frameRateDen_ = 0;

  mutable std::mutex statsLock_;
  PresenterStats stats_;
};

}  // namespace qv
