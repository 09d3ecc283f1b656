// Frame timing for the video presenter.
//
// The presenter hands every decoded frame to a Scheduler, whose own thread
// holds it until its presentation time on the stream clock and then gives it
// to the present engine.  A SamplePool of two frame holders limits how far
// decoding may run ahead of the display: a frame is taken from the decoder
// only into a free holder, so at most two frames are in flight.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

typedef struct _GstSample GstSample;

namespace qv {

// Times are in 100 ns units throughout.
constexpr int64_t kTimeUnitsPerSecond = 10000000;

// One decoded frame in flight between the decoder and the display.
struct VideoSample {
  GstSample* frame = nullptr;  // one reference while the holder is in use
  int64_t time = 0;            // stream time of the frame
  int64_t duration = 0;
  uint32_t generation = 0;     // the presenter's flush generation when it was filled
};

// The clock the frames are timed against: the stream time (the position in
// the movie) now.  False while the clock is not running (paused, or not yet
// started); frames then wait.
class PresentClock {
 public:
  virtual ~PresentClock() = default;
  virtual bool StreamTimeNow(int64_t* time) = 0;
};

// What the scheduler calls.  PresentSample runs on the scheduler thread for
// timed frames and on the caller's thread for immediate ones.  SampleDone is
// called once for every sample given to ScheduleSample, after it was
// presented, dropped as late or flushed.
class SchedulerCallback {
 public:
  virtual ~SchedulerCallback() = default;
  virtual void PresentSample(VideoSample* sample, int64_t targetTime) = 0;
  virtual void SampleDone(VideoSample* sample, bool presented) = 0;
};

// The timing rule for one frame.
struct ScheduleStep {
  enum Kind { kPresent, kWait, kDrop } kind = kPresent;
  int64_t waitUs = 0;  // for kWait, in microseconds
};

// delta = sample time - clock time, negated at a negative rate.  Due within
// three quarters of a frame, or late: present now.  Early: wait
// (delta - 3q) / |rate|, truncated to whole microseconds (a millisecond
// granularity would make the thread spin through the last millisecond).
// A frame that would be shown more than kLateDropLimit of wall time late is
// dropped at any rate, and above rate 1 one more than one whole frame late,
// so that the picture catches up with the clock instead of lagging behind it.
ScheduleStep DecideSample(int64_t sampleTime, int64_t clockTime, float rate, int64_t frameDuration);

// How late (wall time, 100 ns units) a frame may still be shown: 100 ms.
constexpr int64_t kLateDropLimit = 1000000;

// Average frame duration of numerator/denominator frames per second, in
// 100 ns units (30/1 -> 333333); 30/1 when either part is not positive.
int64_t FrameDurationFromRate(int numerator, int denominator);

enum class SchedResult { kOk, kUnexpected, kNotInitialized, kFailed };

class Scheduler {
 public:
  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  void SetCallback(SchedulerCallback* callback) { callback_ = callback; }

  // Starts the thread; kUnexpected when it already runs.  `clock` may be null
  // (every frame is then presented at once) and must outlive the thread.
  SchedResult StartScheduler(PresentClock* clock);
  // Ends the thread and releases every queued sample.  Nothing without a thread.
  void StopScheduler();
  // Releases the queued samples and waits (at most 5 s) for the thread to
  // have done so; false when it gave up waiting.  The thread keeps running.
  bool Flush();
  // Queues a frame, or with presentNow (or without a clock) presents it on the
  // caller's thread.  kNotInitialized without a callback or a thread.
  SchedResult ScheduleSample(VideoSample* sample, bool presentNow);
  // Wakes the thread to look at its queue again (the clock started).
  void Poke();

  void SetFrameRate(int numerator, int denominator);
  void SetClockRate(float rate);
  float ClockRate() const;
  int64_t FrameDuration() const;
  int64_t LastSampleTime() const { return 0; }
  bool IsRunning() const;
  size_t QueuedCount() const;

 private:
  enum Message { kTerminate, kSchedule, kFlush };
  void ThreadMain();
  // One pass over the queue; the wait asked for (microseconds), or -1 for
  // none (infinite).
  int64_t ProcessQueue();
  void ReleaseAll(std::deque<VideoSample*>* queue);

  SchedulerCallback* callback_ = nullptr;
  PresentClock* clock_ = nullptr;

  std::mutex schedulerLock_;  // start, stop, flush

  mutable std::mutex lock_;  // queue, messages, rate, frame duration
  std::condition_variable wake_;
  std::condition_variable flushed_;
  std::deque<VideoSample*> queue_;
  std::deque<Message> messages_;
  uint64_t flushCount_ = 0;
  float rate_ = 1.0f;
  int64_t frameDuration_ = 333333;
  bool running_ = false;
  std::thread thread_;
};

// The free frame holders.  The presenter fills one per decoded frame; it
// comes back after presentation.
enum class PoolResult { kOk, kInvalidRequest, kNotInitialized, kEmpty };

class SamplePool {
 public:
  // Takes the holders; kInvalidRequest when already initialised.
  PoolResult Initialize(std::deque<VideoSample*> samples);
  PoolResult GetSample(VideoSample** out);
  PoolResult ReturnSample(VideoSample* sample);
  void Clear();
  bool AreSamplesPending() const;
  size_t FreeCount() const;

 private:
  mutable std::mutex lock_;
  std::deque<VideoSample*> free_;
  bool initialized_ = false;
  int pending_ = 0;
};

}  // namespace qv
