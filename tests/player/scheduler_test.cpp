#include "player/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "eventwait.h"

namespace qv {
namespace {

constexpr int64_t kFrame = 333333;  // 30 fps
constexpr int64_t kQuarter = 83333;

TEST(DecideSample, TimingRule) {
  EXPECT_EQ(FrameDurationFromRate(30, 1), kFrame);
  EXPECT_EQ(FrameDurationFromRate(0, 1), kFrame);  // missing rate: 30/1
  EXPECT_EQ(FrameDurationFromRate(25, 0), kFrame);
  EXPECT_EQ(FrameDurationFromRate(30000, 1001), 333666);
  constexpr auto kPresent = ScheduleStep::kPresent, kWait = ScheduleStep::kWait, kDrop = ScheduleStep::kDrop;
  const struct {
    int64_t sample, clock;
    float rate;
    ScheduleStep::Kind kind;
    int64_t waitUs;
  } cases[] = {// Due now, slightly early (within 3q) or late: present at once.
               {1000000, 1000000, 1.0f, kPresent, 0}, {1000000 + 3 * kQuarter, 1000000, 1.0f, kPresent, 0},
               {1000000, 1000000 + 2 * kFrame, 1.0f, kPresent, 0},
               // Over 3q early: wait (delta - 3q) of wall time, truncated to whole
               // microseconds (75000.1 us here), divided by the rate.
               {3 * kQuarter + 1, 0, 1.0f, kWait, 0}, {1000000, 0, 1.0f, kWait, (1000000 - 3 * kQuarter) / 10},
               {1000000, 0, 0.25f, kWait, 300000}, {1000000, 0, 4.0f, kWait, 18750},
               // At a negative rate the delta changes sign: a sample before the clock is early.
               {1000000, 0, -4.0f, kDrop, 0}, {0, 1000000, -1.0f, kWait, 75000},
               // Late at rate 1 and below: shown up to 100 ms of wall time late, dropped
               // beyond (133 ms at a quarter), so that a slow picture catches up with the clock.
               {0, kLateDropLimit, 1.0f, kPresent, 0}, {0, kLateDropLimit + 1, 1.0f, kDrop, 0},
               {0, 10 * kFrame, 1.0f, kDrop, 0}, {0, kLateDropLimit / 4, 0.25f, kPresent, 0},
               {0, kFrame, 0.25f, kDrop, 0},
               // Above rate 1 a frame more than one frame late is dropped; less late is shown.
               {0, kFrame + 1, 4.0f, kDrop, 0}, {0, kFrame, 4.0f, kPresent, 0},
               // Rate 0 (scrubbing): everything at once.
               {50000000, 0, 0.0f, kPresent, 0}};
  for (const auto& c : cases) {
    const ScheduleStep s = DecideSample(c.sample, c.clock, c.rate, kFrame);
    EXPECT_EQ(s.kind, c.kind) << c.sample << " at " << c.clock << " rate " << c.rate;
    EXPECT_EQ(s.kind == kWait ? s.waitUs : 0, c.waitUs) << c.sample << " at " << c.clock << " rate " << c.rate;
  }
}

class FakeClock : public PresentClock {
 public:
  bool StreamTimeNow(int64_t* t) override {
    std::lock_guard<std::mutex> l(m);
    *t = now;
    return running;
  }
  void Set(int64_t t, bool run = true) {
    std::lock_guard<std::mutex> l(m);
    now = t;
    running = run;
  }
  std::mutex m;
  int64_t now = 0;
  bool running = true;
};

class Recorder : public SchedulerCallback {
 public:
  void PresentSample(VideoSample* s, int64_t) override {
    std::lock_guard<std::mutex> l(m);
    presented.push_back(s->time);
  }
  void SampleDone(VideoSample*, bool presented) override {
    if (!presented) ++released;
    ++done;
  }
  std::vector<int64_t> Presented() {
    std::lock_guard<std::mutex> l(m);
    return presented;
  }
  std::mutex m;
  std::vector<int64_t> presented;
  std::atomic<int> released{0};
  std::atomic<int> done{0};
};

// A scheduler on a fake clock, recording what it presents and hands back.
struct SchedulerTest : ::testing::Test {
  void Start(int64_t now = 0, bool running = true) {
    clock.Set(now, running);
    sched.SetCallback(&rec);
    ASSERT_EQ(sched.StartScheduler(&clock), SchedResult::kOk);
  }
  // Schedules a frame at `time` and waits until `done` frames are through.
  void Through(VideoSample& s, int64_t time, int done) {
    s.time = time;
    sched.ScheduleSample(&s, false);
    ASSERT_TRUE(qvtest::WaitFor([&] { return rec.done.load() == done; }, 2000));
  }
  FakeClock clock;
  Recorder rec;
  Scheduler sched;
};

TEST_F(SchedulerTest, PresentsOnTheClockInOrder) {
  VideoSample s0, s1;
  s1.time = 10 * kFrame;
  EXPECT_EQ(sched.ScheduleSample(&s0, false), SchedResult::kNotInitialized);  // no callback
  sched.SetCallback(&rec);
  EXPECT_EQ(sched.ScheduleSample(&s0, false), SchedResult::kNotInitialized);  // no thread
  Start();
  EXPECT_EQ(sched.StartScheduler(&clock), SchedResult::kUnexpected);
  sched.SetFrameRate(30, 1);
  ASSERT_EQ(sched.ScheduleSample(&s0, false), SchedResult::kOk);
  ASSERT_EQ(sched.ScheduleSample(&s1, false), SchedResult::kOk);
  ASSERT_TRUE(qvtest::WaitFor([&] { return rec.Presented().size() == 1; }, 2000));
  // The second frame is 333 ms early: it stays queued at the front.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(rec.Presented().size(), 1u);
  EXPECT_EQ(sched.QueuedCount(), 1u);
  clock.Set(10 * kFrame - 2 * kQuarter);  // now within 3q
  // The thread sleeps about 258 ms, then looks again.
  ASSERT_TRUE(qvtest::WaitFor([&] { return rec.Presented().size() == 2; }, 10000));
  EXPECT_EQ(rec.Presented()[1], 10 * kFrame);
  sched.StopScheduler();
  EXPECT_EQ(rec.done.load(), 2);
}

TEST_F(SchedulerTest, StoppedClockHoldsFramesUntilPoked) {
  Start(0, false);
  VideoSample s;
  sched.ScheduleSample(&s, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(rec.Presented().empty());
  clock.Set(0, true);
  sched.Poke();
  ASSERT_TRUE(qvtest::WaitFor([&] { return rec.Presented().size() == 1; }, 2000));
}

TEST_F(SchedulerTest, FlushReleasesQueueAndKeepsRunning) {
  Start();
  VideoSample a, b, c;
  a.time = 100 * kFrame;
  b.time = 101 * kFrame;
  sched.ScheduleSample(&a, false);
  sched.ScheduleSample(&b, false);
  EXPECT_TRUE(sched.Flush());  // the thread confirmed it, the wait did not run out
  EXPECT_EQ(rec.released.load(), 2);
  EXPECT_EQ(sched.QueuedCount(), 0u);
  EXPECT_TRUE(sched.IsRunning());
  // Present-now frames skip the queue, on the caller's thread.
  c.time = 555;
  EXPECT_EQ(sched.ScheduleSample(&c, true), SchedResult::kOk);
  EXPECT_EQ(rec.Presented().back(), 555);
  // Queued frames are handed back when the thread stops.
  sched.ScheduleSample(&a, false);
  sched.StopScheduler();
  EXPECT_EQ(rec.released.load(), 3);
  EXPECT_EQ(sched.ScheduleSample(&a, false), SchedResult::kNotInitialized);
}

TEST_F(SchedulerTest, DropsLateFramesAtEveryRate) {
  Start(2 * kFrame);
  sched.SetClockRate(4.0f);
  VideoSample late;
  Through(late, 0, 1);
  EXPECT_TRUE(rec.Presented().empty());
  // Two frames (67 ms) late at rate 1 is still shown; 100 frames late is not.
  sched.SetClockRate(1.0f);
  Through(late, 0, 2);
  EXPECT_EQ(rec.Presented().size(), 1u);
  clock.Set(100 * kFrame);
  Through(late, 0, 3);
  EXPECT_EQ(rec.Presented().size(), 1u);
}

TEST(SamplePool, HandsOutTwoAndCountsPending) {
  SamplePool pool;
  VideoSample a, b;
  VideoSample* out = nullptr;
  EXPECT_EQ(pool.GetSample(&out), PoolResult::kNotInitialized);
  EXPECT_EQ(pool.ReturnSample(&a), PoolResult::kNotInitialized);
  ASSERT_EQ(pool.Initialize({&a, &b}), PoolResult::kOk);
  EXPECT_EQ(pool.Initialize({&a}), PoolResult::kInvalidRequest);
  EXPECT_FALSE(pool.AreSamplesPending());
  VideoSample *x = nullptr, *y = nullptr;
  ASSERT_EQ(pool.GetSample(&x), PoolResult::kOk);
  ASSERT_EQ(pool.GetSample(&y), PoolResult::kOk);
  EXPECT_EQ(x, &a);  // first in, first out
  EXPECT_EQ(pool.GetSample(&out), PoolResult::kEmpty);
  EXPECT_TRUE(pool.AreSamplesPending());
  pool.ReturnSample(&a);
  pool.ReturnSample(y);
  EXPECT_FALSE(pool.AreSamplesPending());
  pool.Clear();
  EXPECT_EQ(pool.GetSample(&out), PoolResult::kNotInitialized);
}

}  // namespace
}  // namespace qv
