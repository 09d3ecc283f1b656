#include "platform/qt/wintimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace qv {
namespace {

TEST(WindowTimers, FireByIdInTimeOrderUntilKilled) {
  QObject window;
  FakeTimerClock clock;
  std::vector<std::pair<int64_t, int>> fired;
  WindowTimers timers(&window, [&](int id) { fired.push_back({clock.NowMs(), id}); }, &clock);
  EXPECT_TRUE(timers.Set(100, 30));
  EXPECT_TRUE(timers.Set(103, 1000));
  clock.Advance(100);
  EXPECT_EQ(fired, (std::vector<std::pair<int64_t, int>>{{30, 100}, {60, 100}, {90, 100}}));
  fired.clear();
  clock.Advance(900);
  EXPECT_EQ(fired.size(), 31u);
  EXPECT_EQ(fired.back(), (std::pair<int64_t, int>{1000, 103}));  // 100 also fired at 990
  EXPECT_TRUE(timers.Kill(100));
  EXPECT_TRUE(timers.Kill(100));  // harmless twice
  EXPECT_TRUE(timers.Kill(42));   // and for an id never set
  EXPECT_FALSE(timers.IsSet(100));
  EXPECT_EQ(timers.Period(103), 1000);
  EXPECT_EQ(timers.Period(100), 0);
  fired.clear();
  clock.Advance(1000);
  EXPECT_EQ(fired, (std::vector<std::pair<int64_t, int>>{{2000, 103}}));
}

TEST(WindowTimers, SetRestartsAndOneShotKillsItself) {
  QObject window;
  FakeTimerClock clock;
  std::vector<std::pair<int64_t, int>> fired;
  WindowTimers* self = nullptr;
  WindowTimers timers(
      &window,
      [&](int id) {
        fired.push_back({clock.NowMs(), id});
        if (id == 101) self->Kill(101);  // one shot
      },
      &clock);
  self = &timers;
  timers.Set(101, 500);
  clock.Advance(400);
  timers.Set(101, 500);  // a new selection restarts the wait
  clock.Advance(400);
  EXPECT_TRUE(fired.empty());
  clock.Advance(2000);
  EXPECT_EQ(fired, (std::vector<std::pair<int64_t, int>>{{900, 101}}));
  EXPECT_EQ(clock.ActiveCount(), 0u);
  // A zero period is raised to the minimum instead of spinning.
  timers.Set(7, 0);
  EXPECT_EQ(timers.Period(7), WindowTimers::kMinimumPeriodMs);
  timers.KillAll();
  EXPECT_EQ(clock.ActiveCount(), 0u);
}

TEST(WindowTimers, RefusedOffTheWindowThreadAndStoppedWithTheWindow) {
  QObject window;
  FakeTimerClock clock;
  int count = 0;
  {
    WindowTimers timers(&window, [&](int) { ++count; }, &clock);
    bool setFromWorker = true, killFromWorker = true;
    timers.Set(5, 100);
    std::thread([&] {
      setFromWorker = timers.Set(6, 100);
      killFromWorker = timers.Kill(5);
    }).join();
    EXPECT_FALSE(setFromWorker);
    EXPECT_FALSE(killFromWorker);
    EXPECT_FALSE(timers.IsSet(6));
    EXPECT_TRUE(timers.IsSet(5));
  }
  EXPECT_EQ(clock.ActiveCount(), 0u);
  clock.Advance(1000);
  EXPECT_EQ(count, 0);
}

TEST(WindowTimers, RealTimersFireOnTheEventLoop) {
  QObject window;
  std::vector<int> fired;
  WindowTimers timers(&window, [&](int id) {
    fired.push_back(id);
    if (id == 1) timers.Kill(1);
  });
  timers.Set(1, 20);
  timers.Set(2, 15);
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 2000 && fired.size() < 4) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  timers.Kill(2);
  EXPECT_GE(fired.size(), 4u);
  EXPECT_EQ(std::count(fired.begin(), fired.end(), 1), 1);
}

}  // namespace
}  // namespace qv
