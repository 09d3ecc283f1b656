#include "platform/qt/wintimer.h"

#include <QThread>
#include <QTimer>

#include <limits>

namespace qv {

namespace {

class QtTimerClock : public TimerClock {
 public:
  int Start(int periodMs, std::function<void()> fire) override {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(periodMs);
    QObject::connect(timer.get(), &QTimer::timeout, std::move(fire));
    timer->start();
    int handle = next_++;
    timers_[handle] = std::move(timer);
    return handle;
  }
  void Stop(int handle) override {
    auto it = timers_.find(handle);
    if (it == timers_.end()) return;
    it->second->stop();
    // The timer may be the one whose timeout is running right now.
    it->second.release()->deleteLater();
    timers_.erase(it);
  }

 private:
  int next_ = 1;
  std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace

int FakeTimerClock::Start(int periodMs, std::function<void()> fire) {
  int handle = next_++;
  timers_[handle] = Timer{now_ + periodMs, periodMs, std::move(fire)};
  return handle;
}

void FakeTimerClock::Stop(int handle) { timers_.erase(handle); }

void FakeTimerClock::Advance(int64_t ms) {
  const int64_t end = now_ + ms;
  for (;;) {
    // The earliest due timer; handles grow with start order, so the first
    // found at equal due times is the one started first.
    int pick = 0;
    int64_t due = std::numeric_limits<int64_t>::max();
    for (const auto& [handle, t] : timers_) {
      if (t.due < due) {
        due = t.due;
        pick = handle;
      }
    }
    if (pick == 0 || due > end) break;
    now_ = due;
    Timer& t = timers_[pick];
    t.due += t.period;
    std::function<void()> fire = t.fire;  // the handler may stop or restart it
    fire();
  }
  now_ = end;
}

WindowTimers::WindowTimers(QObject* window, Handler onTimer, TimerClock* clock)
    : window_(window), onTimer_(std::move(onTimer)), clock_(clock) {
  if (!clock_) {
    ownClock_ = std::make_unique<QtTimerClock>();
    clock_ = ownClock_.get();
  }
}

WindowTimers::~WindowTimers() {
  for (const auto& [id, e] : timers_) clock_->Stop(e.handle);
}

bool WindowTimers::OnOwnThread() const { return !window_ || QThread::currentThread() == window_->thread(); }

bool WindowTimers::Set(int id, int periodMs) {
  if (!OnOwnThread()) return false;
  if (periodMs < kMinimumPeriodMs) periodMs = kMinimumPeriodMs;
  if (auto it = timers_.find(id); it != timers_.end()) clock_->Stop(it->second.handle);
  int handle = clock_->Start(periodMs, [this, id] {
    if (onTimer_) onTimer_(id);
  });
  timers_[id] = Entry{handle, periodMs};
  return true;
}

bool WindowTimers::Kill(int id) {
  if (!OnOwnThread()) return false;
  auto it = timers_.find(id);
  if (it == timers_.end()) return true;
  clock_->Stop(it->second.handle);
  timers_.erase(it);
  return true;
}

void WindowTimers::KillAll() {
  if (!OnOwnThread()) return;
  for (const auto& [id, e] : timers_) clock_->Stop(e.handle);
  timers_.clear();
}

int WindowTimers::Period(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.period;
}

}  // namespace qv
