// Window timers known by number.
//
// A window sets timers by an id of its own (100, 101, ...); Set on an id that
// is already running restarts it with the new period, Kill is harmless on an
// id that is not running, and a timer fires periodically until it is killed
// (a one-shot timer is one whose handler kills it).  Timers belong to the
// window's thread: Set and Kill from any other thread are refused.
//
// What drives them is a TimerClock: by default real Qt timers, in tests a
// FakeTimerClock whose time moves only when the test advances it.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace qv {

class TimerClock {
 public:
  virtual ~TimerClock() = default;
  // Starts a periodic timer; the returned handle (> 0) stops it.
  virtual int Start(int periodMs, std::function<void()> fire) = 0;
  virtual void Stop(int handle) = 0;
};

// Time that moves only by Advance: due timers fire in order of their due
// time (ties in the order they were started), as often as they fall due.
class FakeTimerClock : public TimerClock {
 public:
  int Start(int periodMs, std::function<void()> fire) override;
  void Stop(int handle) override;

  int64_t NowMs() const { return now_; }
  void Advance(int64_t ms);
  size_t ActiveCount() const { return timers_.size(); }

 private:
  struct Timer {
    int64_t due;
    int period;
    std::function<void()> fire;
  };
  int64_t now_ = 0;
  int next_ = 1;
  std::map<int, Timer> timers_;
};

class WindowTimers {
 public:
  using Handler = std::function<void(int id)>;
  // The shortest period: shorter (and zero or negative) periods are raised to it.
  static constexpr int kMinimumPeriodMs = 10;

  // `window` gives the owning thread; `clock` (not owned, must outlive this)
  // replaces the real timers when given.
  WindowTimers(QObject* window, Handler onTimer, TimerClock* clock = nullptr);
  ~WindowTimers();
  WindowTimers(const WindowTimers&) = delete;
  WindowTimers& operator=(const WindowTimers&) = delete;

  // Starts or restarts timer `id`; false when called off the window thread.
  bool Set(int id, int periodMs);
  // Stops timer `id` if it runs; false when called off the window thread.
  bool Kill(int id);
  void KillAll();
  bool IsSet(int id) const { return timers_.count(id) != 0; }
  // The period of a running timer, 0 when it is not set.
  int Period(int id) const;

 private:
  struct Entry {
    int handle;
    int period;
  };
  bool OnOwnThread() const;

  QObject* window_;
  Handler onTimer_;
  std::unique_ptr<TimerClock> ownClock_;
  TimerClock* clock_;
  std::map<int, Entry> timers_;
};

}  // namespace qv
