#include "player/scheduler.h"

#include <cmath>

namespace qv {

ScheduleStep DecideSample(int64_t sampleTime, int64_t clockTime, float rate, int64_t frameDuration) {
  ScheduleStep step;
  if (rate == 0.0f) return step;  // scrubbing: everything at once
  int64_t delta = sampleTime - clockTime;
  if (rate < 0.0f) delta = -delta;
  const int64_t q = frameDuration / 4;
  const float speed = std::fabs(rate);
  if (delta < -q || delta <= 3 * q) {
    const bool tooLate = static_cast<double>(-delta) > static_cast<double>(kLateDropLimit) * speed;
    if (tooLate || (speed > 1.0f && delta < -frameDuration)) step.kind = ScheduleStep::kDrop;
    return step;
  }
  step.kind = ScheduleStep::kWait;
  step.waitUs = static_cast<int64_t>(static_cast<double>(delta - 3 * q) / 10.0 / speed);
  return step;
}

int64_t FrameDurationFromRate(int numerator, int denominator) {
  if (numerator <= 0 || denominator <= 0) {
    numerator = 30;
    denominator = 1;
  }
  // Rounded down like the system's conversion (30/1 -> 333333, 30000/1001 -> 333666).
  return static_cast<int64_t>(denominator) * kTimeUnitsPerSecond / numerator;
}

Scheduler::Scheduler() = default;

Scheduler::~Scheduler() { StopScheduler(); }

SchedResult Scheduler::StartScheduler(PresentClock* clock) {
  std::lock_guard<std::mutex> s(schedulerLock_);
  if (thread_.joinable()) return SchedResult::kUnexpected;
  clock_ = clock;
  {
    std::lock_guard<std::mutex> l(lock_);
    messages_.clear();
    running_ = true;
  }
  thread_ = std::thread([this] { ThreadMain(); });
  return SchedResult::kOk;
}

void Scheduler::StopScheduler() {
  std::lock_guard<std::mutex> s(schedulerLock_);
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> l(lock_);
    messages_.push_back(kTerminate);
  }
  wake_.notify_all();
  thread_.join();
  std::deque<VideoSample*> left;
  {
    std::lock_guard<std::mutex> l(lock_);
    left.swap(queue_);
    running_ = false;
  }
  ReleaseAll(&left);
  clock_ = nullptr;
}

bool Scheduler::Flush() {
  std::lock_guard<std::mutex> s(schedulerLock_);
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> l(lock_);
  const uint64_t seen = flushCount_;
  messages_.push_back(kFlush);
  wake_.notify_all();
  return flushed_.wait_for(l, std::chrono::milliseconds(5000), [&] { return flushCount_ != seen || !running_; });
}

void Scheduler::Poke() {
  {
    std::lock_guard<std::mutex> l(lock_);
    if (!running_) return;
    messages_.push_back(kSchedule);
  }
  wake_.notify_all();
}

SchedResult Scheduler::ScheduleSample(VideoSample* sample, bool presentNow) {
  if (!callback_) return SchedResult::kNotInitialized;
  {
    std::lock_guard<std::mutex> l(lock_);
    if (!running_) return SchedResult::kNotInitialized;
    if (!presentNow && clock_) {
      queue_.push_back(sample);
      messages_.push_back(kSchedule);
      wake_.notify_all();
      return SchedResult::kOk;
    }
  }
  callback_->PresentSample(sample, 0);
  callback_->SampleDone(sample, true);
  return SchedResult::kOk;
}

void Scheduler::SetFrameRate(int numerator, int denominator) {
  std::lock_guard<std::mutex> l(lock_);
  frameDuration_ = FrameDurationFromRate(numerator, denominator);
}

void Scheduler::SetClockRate(float rate) {
  std::lock_guard<std::mutex> l(lock_);
  rate_ = rate;
}

float Scheduler::ClockRate() const {
  std::lock_guard<std::mutex> l(lock_);
  return rate_;
}

int64_t Scheduler::FrameDuration() const {
  std::lock_guard<std::mutex> l(lock_);
  return frameDuration_;
}

bool Scheduler::IsRunning() const {
  std::lock_guard<std::mutex> l(lock_);
  return running_;
}

size_t Scheduler::QueuedCount() const {
  std::lock_guard<std::mutex> l(lock_);
  return queue_.size();
}

void Scheduler::ReleaseAll(std::deque<VideoSample*>* queue) {
  for (VideoSample* s : *queue) callback_->SampleDone(s, false);
  queue->clear();
}

void Scheduler::ThreadMain() {
  int64_t wait = -1;  // none: sleep until a message comes
  std::unique_lock<std::mutex> l(lock_);
  for (;;) {
    if (messages_.empty()) {
      bool timedOut = false;
      if (wait < 0) {
        wake_.wait(l, [&] { return !messages_.empty(); });
      } else {
        timedOut = !wake_.wait_for(l, std::chrono::microseconds(wait), [&] { return !messages_.empty(); });
      }
      if (timedOut) {
        l.unlock();
        wait = ProcessQueue();
        l.lock();
        continue;
      }
    }
    while (!messages_.empty()) {
      const Message m = messages_.front();
      messages_.pop_front();
      if (m == kTerminate) {
        running_ = false;
        flushed_.notify_all();
        return;
      }
      if (m == kSchedule) {
        l.unlock();
        wait = ProcessQueue();
        l.lock();
      } else {
        std::deque<VideoSample*> dropped;
        dropped.swap(queue_);
        l.unlock();
        ReleaseAll(&dropped);
        l.lock();
        wait = -1;
        ++flushCount_;
        flushed_.notify_all();
      }
    }
  }
}

int64_t Scheduler::ProcessQueue() {
  for (;;) {
    VideoSample* sample;
    float rate;
    int64_t frameDuration;
    {
      std::lock_guard<std::mutex> l(lock_);
      if (queue_.empty()) return -1;
      sample = queue_.front();
      queue_.pop_front();
      rate = rate_;
      frameDuration = frameDuration_;
    }
    ScheduleStep step;
    int64_t now = 0;
    if (clock_ && !clock_->StreamTimeNow(&now)) {
      // The clock stands still: the frame waits at the front until the
      // player pokes us (start) or a flush takes it away.
      std::lock_guard<std::mutex> l(lock_);
      queue_.push_front(sample);
      return -1;
    }
    if (clock_) step = DecideSample(sample->time, now, rate, frameDuration);
    switch (step.kind) {
      case ScheduleStep::kPresent:
        callback_->PresentSample(sample, sample->time);
        callback_->SampleDone(sample, true);
        break;
      case ScheduleStep::kDrop:
        callback_->SampleDone(sample, false);
        break;
      case ScheduleStep::kWait: {
        std::lock_guard<std::mutex> l(lock_);
        queue_.push_front(sample);
        return step.waitUs;
      }
    }
  }
}

PoolResult SamplePool::Initialize(std::deque<VideoSample*> samples) {
  std::lock_guard<std::mutex> l(lock_);
  if (initialized_) return PoolResult::kInvalidRequest;
  for (VideoSample* s : samples) free_.push_back(s);
  initialized_ = true;
  return PoolResult::kOk;
}

PoolResult SamplePool::GetSample(VideoSample** out) {
  std::lock_guard<std::mutex> l(lock_);
  if (!initialized_) return PoolResult::kNotInitialized;
  if (free_.empty()) return PoolResult::kEmpty;
  *out = free_.front();
  free_.pop_front();
  ++pending_;
  return PoolResult::kOk;
}

PoolResult SamplePool::ReturnSample(VideoSample* sample) {
  std::lock_guard<std::mutex> l(lock_);
  if (!initialized_) return PoolResult::kNotInitialized;
  free_.push_back(sample);
  --pending_;
  return PoolResult::kOk;
}

void SamplePool::Clear() {
  std::lock_guard<std::mutex> l(lock_);
  free_.clear();
  initialized_ = false;
  pending_ = 0;
}

bool SamplePool::AreSamplesPending() const {
  std::lock_guard<std::mutex> l(lock_);
  return initialized_ && pending_ > 0;
}

size_t SamplePool::FreeCount() const {
  std::lock_guard<std::mutex> l(lock_);
  return free_.size();
}

}  // namespace qv
