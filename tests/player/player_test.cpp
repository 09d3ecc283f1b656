#include "player/player.h"

#include <gtest/gtest.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <QDir>
#include <QElapsedTimer>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "eventwait.h"
#include "player/soundoutput.h"
#include "player/videopane.h"
#include "testmovies.h"
#include "testsupport.h"

namespace qv {
namespace {

using qvtest::App;
using qvtest::Pump;
using qvtest::WaitFor;

constexpr int kW = 320;
constexpr int kH = 180;
constexpr int64_t kSecond = 10000000;
constexpr int64_t kFrame = kSecond / 30;

// The video pane, counting the player's notices; a paint marks when the
// last frame was shown.
class TestPane : public VideoPane {
 public:
  TestPane() {
    Messages().On(kMsgPlayerTopologyReady, [this](uintptr_t, intptr_t) { ++ready; });
    Messages().On(kMsgPlayerPresentationEnded, [this](uintptr_t, intptr_t) {
      ++ended;
      endedAt.start();
      msSinceLastFrameAtEnd = lastFrame.isValid() ? lastFrame.elapsed() : -1;
    });
    resize(kW, kH);
  }
  void paintEvent(QPaintEvent* e) override {
    const uint64_t before = FramesPainted();
    VideoPane::paintEvent(e);
    if (FramesPainted() != before) lastFrame.start();
  }

  int ready = 0;
  int ended = 0;
  QElapsedTimer lastFrame;
  QElapsedTimer endedAt;
  qint64 msSinceLastFrameAtEnd = -1;
};

PlayerOptions TestOptions() {
  PlayerOptions o;
  o.makeAudioSink = qvtest::SilentAudioSink;
  return o;
}

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    movie_ = qvtest::Fixture("run-1-F");  // 10 s, 320x180, 30 fps, sound
    ASSERT_FALSE(movie_.empty()) << "no fixture recordings (mkrec tests)";
    pane_ = std::make_unique<TestPane>();
    pane_->show();
    player_ = std::make_unique<CPlayer>(pane_->Port(), pane_->Port(), &saved_, TestOptions());
    pane_->ShowPlayer(player_.get());
  }
  void TearDown() override {
    if (player_) player_->CloseSession();
    player_.reset();
    pane_.reset();
  }
  void OpenReady(const std::string& path) {
    ASSERT_EQ(player_->Open(path), PlayerResult::kOk);
    ASSERT_TRUE(WaitFor([&] { return pane_->ready >= 1; }, 20000));
    player_->SetVideoPosition(0, 0, kW, kH);
  }
  int64_t Position() {
    int64_t p = -1;
    EXPECT_TRUE(player_->GetPosition(&p));
    return p;
  }
  // Waits until the picture has passed `position`, and checks that it never
  // ran ahead of the clock: playing from `from` at `rate`, started after
  // `since` (a busy machine can only make the picture later).
  void PlaysPast(int64_t position, int64_t from, double rate, const QElapsedTimer& since) {
    ASSERT_TRUE(WaitFor([&] { return Position() > position; }, 20000)) << "stands at " << Position();
    const int64_t p = Position();
    const double clockAllows = static_cast<double>(since.nsecsElapsed()) / 100.0 * rate;
    EXPECT_LE(static_cast<double>(p - from), clockAllows + 3 * kFrame / 4) << "ahead of the clock";
  }
  // The frame on screen (or `shown`) is the ffmpeg frame at `seconds` and not
  // its neighbours.
  void ExpectShowsFrameAt(double seconds, QImage shown = QImage()) {
    if (shown.isNull()) shown = player_->Presenter()->GetCurrentImage();
    const double d = qvtest::MeanDifference(shown, qvtest::FrameAt(movie_, seconds, kW, kH));
    const double before =
        seconds < 1.0 / 30 ? 255.0 : qvtest::MeanDifference(shown, qvtest::FrameAt(movie_, seconds - 1.0 / 30, kW, kH));
    const QImage next = qvtest::FrameAt(movie_, seconds + 1.0 / 30, kW, kH);
    const double after = next.isNull() ? 255.0 : qvtest::MeanDifference(shown, next);
    EXPECT_LT(d, 4.0);
    EXPECT_LT(d, before);
    EXPECT_LT(d, after);
  }

  std::string movie_;
  PresenterFlags saved_;
  std::unique_ptr<TestPane> pane_;
  std::unique_ptr<CPlayer> player_;
};

TEST_F(PlayerTest, ReadyOncePlayPauseAndPosition) {
  // The open returns once the movie prerolled; the message follows.
  ASSERT_EQ(player_->Open(movie_), PlayerResult::kOk);
  EXPECT_TRUE(player_->IsReady());
  EXPECT_EQ(player_->State(), PlayerState::kStopped);
  EXPECT_NEAR(player_->Duration(), 10 * kSecond, kSecond / 10);  // from the movie header
  ASSERT_TRUE(WaitFor([&] { return pane_->ready == 1; }, 20000));
  EXPECT_FALSE(player_->NoAudio());
  EXPECT_EQ(Position(), 0);
  Size size;
  ASSERT_TRUE(player_->Presenter()->GetNativeVideoSize(&size, nullptr));
  EXPECT_EQ(size, (Size{kW, kH}));

  QElapsedTimer t;
  t.start();
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  EXPECT_EQ(player_->StartPlayback(), PlayerResult::kInvalidRequest);  // already started
  PlaysPast(3 * kSecond / 10, 0, 1.0, t);
  EXPECT_GT(player_->Presenter()->Stats().presented, 0u);

  // Pause holds exactly one frame: nothing new is presented, the clock stands.
  ASSERT_EQ(player_->Pause(), PlayerResult::kOk);
  Pump(100);
  const uint64_t shown = player_->Presenter()->Engine().PresentedCount();
  const int64_t held = Position();
  const QImage frame = player_->Presenter()->GetCurrentImage();
  Pump(400);
  EXPECT_EQ(player_->Presenter()->Engine().PresentedCount(), shown);
  EXPECT_EQ(Position(), held);
  EXPECT_EQ(player_->Presenter()->GetCurrentImage(), frame);
  EXPECT_EQ(player_->State(), PlayerState::kPaused);
  // The position is the frame on screen, not the frames queued behind it.
  ExpectShowsFrameAt(double(held) / kSecond);

  // A seek prerolls again but does not report ready again.
  ASSERT_EQ(player_->Seek(kSecond / 2), PlayerResult::kOk);
  Pump(300);
  EXPECT_EQ(pane_->ready, 1);
  t.restart();
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  PlaysPast(kSecond / 2 + kSecond / 10, kSecond / 2, 1.0, t);
  // While playing as well: a position read between two identical pictures
  // names that picture's frame.
  QImage a, b;
  int64_t p = 0;
  for (int tries = 0; tries < 50 && (a.isNull() || a != b); ++tries) {
    Pump(7);
    a = player_->Presenter()->GetCurrentImage();
    p = Position();
    b = player_->Presenter()->GetCurrentImage();
  }
  ASSERT_EQ(a, b);
  ExpectShowsFrameAt(double(p) / kSecond, a);
}

TEST_F(PlayerTest, PausedSeekShowsTheTargetFrame) {
  OpenReady(movie_);
  ExpectShowsFrameAt(0.0);
  // Seek into the middle of a frame's display time: that frame is shown.
  for (int frame : {48, 63, 61}) {  // none of them a key frame (one every 15)
    const int64_t target = (2 * frame + 1) * kSecond / 60;
    ASSERT_EQ(player_->Seek(target), PlayerResult::kOk);
    // The flush is over when Seek returns; the new preroll frame follows.
    ASSERT_TRUE(WaitFor([&] { return player_->Presenter()->Prerolled() && std::abs(Position() - target) < 10000; },
                        20000))
        << frame;
    Pump(50);
    ExpectShowsFrameAt(frame / 30.0);
  }
  // A seek while playing keeps playing from there.
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  QElapsedTimer t;
  t.start();
  ASSERT_EQ(player_->Seek(kSecond / 2), PlayerResult::kOk);
  PlaysPast(kSecond / 2 + kSecond / 5, kSecond / 2, 1.0, t);
  EXPECT_EQ(player_->State(), PlayerState::kStarted);
}

// A seek whose flush begins while the scheduler thread is between painting a
// frame and taking its time as the position: the position is the seek's
// target, not the old frame's time written after the flush took it back.
TEST_F(PlayerTest, SeekDuringAPaintLeavesNoOldPosition) {
  struct Hold {
    std::atomic<bool> armed{false};
    std::atomic<bool> holding{false};
  };
  auto hold = std::make_shared<Hold>();
  PlayerOptions o = TestOptions();
  o.presenterHooks.painted = [hold](CustomPresenter& p) {
    if (!hold->armed.exchange(false)) return;
    const uint32_t generation = p.Generation();
    hold->holding = true;
    // Until the flush begins (bounded, so that a failed step cannot hang).
    for (int i = 0; i < 20000 && p.Generation() == generation; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  player_ = std::make_unique<CPlayer>(pane_->Port(), pane_->Port(), &saved_, o);
  pane_->ShowPlayer(player_.get());
  OpenReady(movie_);
  hold->armed = true;
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return hold->holding.load(); }, 20000));
  ASSERT_EQ(player_->Pause(), PlayerResult::kOk);
  const int64_t target = 5 * kSecond;
  ASSERT_EQ(player_->Seek(target), PlayerResult::kOk);
  EXPECT_EQ(Position(), target);
  ASSERT_TRUE(WaitFor([&] { return player_->Presenter()->Prerolled(); }, 20000));
  Pump(100);
  EXPECT_EQ(Position(), target);
}

// The sink queues a frame before it announces it: a holder that comes back in
// between takes the frame first (here the announcing thread takes it itself,
// just before the announcement).  The frames counted in the sink stay right,
// and the picture plays on, after a seek as well.
TEST_F(PlayerTest, FramesTakenBeforeTheSinkAnnouncesThemKeepThePicturePlaying) {
  PlayerOptions o = TestOptions();
  o.presenterHooks.queued = [](CustomPresenter& p) { p.TakeFrames(); };
  player_ = std::make_unique<CPlayer>(pane_->Port(), pane_->Port(), &saved_, o);
  pane_->ShowPlayer(player_.get());
  OpenReady(movie_);
  QElapsedTimer t;
  t.start();
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  ASSERT_NO_FATAL_FAILURE(PlaysPast(kSecond / 2, 0, 1.0, t));
  t.restart();
  ASSERT_EQ(player_->Seek(3 * kSecond), PlayerResult::kOk);
  PlaysPast(3 * kSecond + kSecond / 2, 3 * kSecond, 1.0, t);
}

TEST_F(PlayerTest, RateAndVolume) {
  OpenReady(movie_);
  EXPECT_EQ(player_->SetRate(5.0f), PlayerResult::kInvalidArg);
  EXPECT_EQ(player_->SetRate(0.1f), PlayerResult::kInvalidArg);
  ASSERT_EQ(player_->SetRate(2.0f), PlayerResult::kOk);
  QElapsedTimer t;
  t.start();
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);  // applies the rate
  PlaysPast(kSecond, 0, 2.0, t);
  EXPECT_EQ(player_->Presenter()->GetScheduler().ClockRate(), 2.0f);

  ASSERT_EQ(player_->Pause(), PlayerResult::kOk);
  ASSERT_EQ(player_->SetRate(0.25f), PlayerResult::kOk);
  ASSERT_EQ(player_->Seek(kSecond / 10), PlayerResult::kOk);  // applied through the seek
  t.restart();
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  PlaysPast(kSecond / 10 + kSecond / 10, kSecond / 10, 0.25, t);
  EXPECT_EQ(player_->Presenter()->GetScheduler().ClockRate(), 0.25f);

  EXPECT_EQ(player_->SetVolume(32768), PlayerResult::kOk);
  EXPECT_EQ(player_->Volume(), 32768);
  EXPECT_EQ(player_->SetVolume(70000), PlayerResult::kInvalidArg);
  EXPECT_EQ(player_->Volume(), 32768);
}

// An audio output that keeps time and remembers the loudest sample of each
// buffer by the buffer's time in the movie.
struct LevelMeter {
  std::mutex lock;
  std::vector<std::pair<GstClockTime, int>> peaks;  // time, loudest sample

  // The loudest sample of the sound from `from` on, until `to`.
  int Peak(GstClockTime from, GstClockTime to = GST_CLOCK_TIME_NONE) {
    std::lock_guard<std::mutex> l(lock);
    int most = 0;
    for (const auto& [time, peak] : peaks)
      if (time >= from && time < to) most = std::max(most, peak);
    return most;
  }
  // The time of the last buffer played (0 before the first).
  GstClockTime Last() {
    std::lock_guard<std::mutex> l(lock);
    return peaks.empty() ? 0 : peaks.back().first;
  }
  GstElement* Make() {
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    GstCaps* caps = gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved");
    g_object_set(sink, "caps", caps, "sync", TRUE, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* s, gpointer user) -> GstFlowReturn {
      GstSample* sample = gst_app_sink_pull_sample(s);
      if (!sample) return GST_FLOW_OK;
      GstBuffer* buffer = gst_sample_get_buffer(sample);
      GstMapInfo map;
      if (GST_BUFFER_PTS_IS_VALID(buffer) && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        auto* meter = static_cast<LevelMeter*>(user);
        const auto* pcm = reinterpret_cast<const int16_t*>(map.data);
        int peak = 0;
        for (size_t i = 0; i < map.size / 2; ++i) peak = std::max(peak, std::abs(int(pcm[i])));
        gst_buffer_unmap(buffer, &map);
        std::lock_guard<std::mutex> l(meter->lock);
        meter->peaks.emplace_back(GST_BUFFER_PTS(buffer), peak);
      }
      gst_sample_unref(sample);
      return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    return sink;
  }
};

// The volume scales the sound from the change on, by the sound's own time
// (what had passed the volume control already plays out first).
TEST_F(PlayerTest, VolumeScalesTheSound) {
  constexpr GstClockTime kQueued = 300 * GST_MSECOND;
  constexpr GstClockTime kHeard = 400 * GST_MSECOND;
  LevelMeter meter;
  PlayerOptions options;
  options.makeAudioSink = [&meter] { return meter.Make(); };
  player_ = std::make_unique<CPlayer>(pane_->Port(), pane_->Port(), nullptr, options);
  pane_->ShowPlayer(player_.get());
  OpenReady(movie_);
  ASSERT_EQ(player_->SetVolume(65535), PlayerResult::kOk);
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return meter.Last() >= kHeard; }, 20000));
  const int full = meter.Peak(0);
  ASSERT_GT(full, 1000);
  GstClockTime change = meter.Last();
  ASSERT_EQ(player_->SetVolume(6554), PlayerResult::kOk);  // a tenth, linear
  ASSERT_TRUE(WaitFor([&] { return meter.Last() >= change + kQueued + kHeard; }, 20000));
  EXPECT_NEAR(meter.Peak(change + kQueued, change + kQueued + kHeard), full / 10, full / 30);
  change = meter.Last();
  ASSERT_EQ(player_->SetVolume(0), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return meter.Last() >= change + kQueued + kHeard; }, 20000));
  EXPECT_LE(meter.Peak(change + kQueued), 1);
}

TEST_F(PlayerTest, MirrorAndCaptureMatchTheScreen) {
  OpenReady(movie_);
  ASSERT_EQ(player_->Seek(kSecond), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return player_->Presenter()->Prerolled() && Position() == kSecond; }, 20000));
  Pump(200);
  const QImage capture = player_->Presenter()->GetCurrentImage();
  ASSERT_EQ(capture.size(), QSize(kW, kH));
  const QImage screen = pane_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_LT(qvtest::MeanDifference(screen, capture), 0.5);

  EXPECT_TRUE(player_->Presenter()->Engine().ToggleMirror());
  player_->Presenter()->RepaintVideo();
  const QImage mirrored = player_->Presenter()->GetCurrentImage();
  EXPECT_EQ(mirrored, capture.mirrored(true, false));
  const QImage screen2 = pane_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_LT(qvtest::MeanDifference(screen2, mirrored), 0.5);

  // A smaller destination leaves the capture at the movie's own size.
  player_->SetVideoPosition(40, 30, kW / 2, kH / 2);
  EXPECT_EQ(player_->Presenter()->GetCurrentImage().size(), QSize(kW, kH));

  // The flags survive into the next movie through the slot's saved flags.
  saved_.mirror = player_->Presenter()->Engine().Mirror();
  saved_.second = 7;
  OpenReady(movie_);
  EXPECT_TRUE(player_->Presenter()->Engine().Mirror());
  EXPECT_EQ(player_->Presenter()->Engine().SecondFlag(), 7);
}

TEST_F(PlayerTest, EndedOnceAfterTheLastFrame) {
  movie_ = qvtest::Fixture("parking-F");  // 4 s
  ASSERT_FALSE(movie_.empty());
  OpenReady(movie_);
  ASSERT_EQ(player_->Seek(3 * kSecond), PlayerResult::kOk);
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return pane_->ended == 1; }, 20000));
  // After the last frame was shown.
  EXPECT_GE(pane_->msSinceLastFrameAtEnd, 0);
  ExpectShowsFrameAt(119.0 / 30);
  EXPECT_EQ(player_->State(), PlayerState::kStopped);
  Pump(500);
  EXPECT_EQ(pane_->ended, 1);
  // After the end the player stands: a seek shows its frame and stays there.
  ASSERT_EQ(player_->Seek(35 * kSecond / 10), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return player_->Presenter()->Prerolled(); }, 20000));
  Pump(300);
  EXPECT_EQ(Position(), 35 * kSecond / 10);
  EXPECT_EQ(player_->State(), PlayerState::kStopped);
  // Started again, the new end is reported again, once.
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  ASSERT_TRUE(WaitFor([&] { return pane_->ended == 2; }, 20000));
  Pump(400);
  EXPECT_EQ(pane_->ended, 2);
  // Started at the end, it plays again from the beginning.
  QElapsedTimer t;
  t.start();
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  EXPECT_EQ(player_->State(), PlayerState::kStarted);
  PlaysPast(kSecond / 10, 0, 1.0, t);
  EXPECT_EQ(pane_->ended, 2);
}

// A sound output that fails makes the player retry without sound; the
// system's own output (or a silent one on a machine without sound) plays.
TEST_F(PlayerTest, FailingAndDefaultAudioOutputsPlay) {
  PlayerOptions broken;
  broken.makeAudioSink = [] {
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    g_object_set(sink, "location", "/nonexistent-dir/qv/audio.raw", nullptr);
    return sink;
  };
  for (bool failing : {true, false}) {
    SCOPED_TRACE(failing);
    player_->CloseSession();
    player_ = failing ? std::make_unique<CPlayer>(pane_->Port(), pane_->Port(), nullptr, broken)
                      : std::make_unique<CPlayer>(pane_->Port(), pane_->Port());
    pane_->ShowPlayer(player_.get());
    pane_->ready = 0;
    OpenReady(movie_);
    EXPECT_EQ(pane_->ready, 1);
    EXPECT_EQ(player_->NoAudio(), failing);
    EXPECT_EQ(player_->SetVolume(1000), failing ? PlayerResult::kPointer : PlayerResult::kOk);
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
    PlaysPast(kSecond / 5, 0, 1.0, t);
  }
}

TEST(SoundOutput, NoDeviceIsRecognisedWithoutAskingTheAudioLibraries) {
  // A capture device alone plays nothing; any one of the others may.
  for (const std::string made : {"", "run/pulse/native", "run/pipewire-0", "snd/pcmC1D3p", "home/.asoundrc",
                                 "asound.conf", "PULSE_SERVER"}) {
    SCOPED_TRACE(made);
    qvtest::TempDir d;
    d.Write("snd/pcmC0D0c", "");
    SoundPlaces p{"", d / "run", d / "home", d / "snd", d / "asound.conf"};
    if (made == "PULSE_SERVER") p.pulseServer = "tcp:127.0.0.1:4713";
    else if (!made.empty()) d.Write(made, "");
    EXPECT_EQ(SoundOutputLikely(p), !made.empty());
  }
}

TEST_F(PlayerTest, UnplayableFilesFailTheOpen) {
  // Cut short (no movie header), or damaged behind an intact index: the
  // open fails, also without sound, every time, and nothing becomes ready.
  std::vector<std::string> files = {qvtest::Fixture("truncated-F")};
  const QString dir = QDir::tempPath() + "/qv-damaged-" + QString::fromStdString(std::to_string(getpid()));
  QDir().mkpath(dir);
  for (qvtest::Damage d : qvtest::kAllDamage) files.push_back(qvtest::DamagedCopy(movie_, d, dir.toStdString()));
  for (const std::string& file : files) {
    ASSERT_FALSE(file.empty());
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(player_->Open(file), PlayerResult::kFailed) << file;
      EXPECT_EQ(player_->State(), PlayerState::kClosed);
    }
  }
  Pump(200);
  EXPECT_EQ(pane_->ready, 0);
  EXPECT_EQ(player_->StartPlayback(), PlayerResult::kInvalidRequest);
  OpenReady(movie_);  // the same player then opens a good movie
  QDir(dir).removeRecursively();
}

TEST_F(PlayerTest, CloseIsBoundedWhenThePipelineDoesNotAnswer) {
  // A sound output whose streaming thread is held: the change to NULL waits
  // for it for ever.
  static std::atomic<bool> release{false};
  release = false;
  PlayerOptions stuck;
  stuck.makeAudioSink = [] {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer) {
                       while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
                     }),
                     nullptr);
    return sink;
  };
  player_ = std::make_unique<CPlayer>(pane_->Port(), pane_->Port(), nullptr, stuck);
  pane_->ShowPlayer(player_.get());
  OpenReady(movie_);
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  Pump(300);
  QElapsedTimer t;
  t.start();
  EXPECT_EQ(player_->CloseSession(), PlayerResult::kOk);
  EXPECT_GE(t.elapsed(), 4000);  // it did wait for the pipeline
  EXPECT_EQ(player_->State(), PlayerState::kClosed);
  release = true;  // the pipeline left behind stops on its own, after the close
}

// The decoder renders into the slot's frame memory, which a new pipeline
// takes over: playing the movie again maps no new block.
TEST_F(PlayerTest, NewPipelinesReuseTheFrameMemory) {
  auto playOnce = [&] {
    pane_->ready = 0;
    OpenReady(movie_);
    player_->StartPlayback();
    ASSERT_TRUE(WaitFor([&] { return player_->Presenter()->Stats().presented > 5; }, 20000));
    ASSERT_NE(saved_.frames, nullptr);
    // Decoded pictures and scaled pictures in use come from the pool.
    EXPECT_GT(saved_.frames->Counts().inUse, 2u);
    player_->CloseSession();
  };
  playOnce();
  const FramePool::Figures first = saved_.frames->Counts();
  EXPECT_GT(first.mapped, 4u);
  EXPECT_EQ(first.inUse, 0u);  // everything came back with the pipeline
  for (int i = 0; i < 2; ++i) playOnce();
  const FramePool::Figures later = saved_.frames->Counts();
  EXPECT_LE(later.mapped, first.mapped + 2);  // a decoder may ask for a block or two more
  EXPECT_GT(later.reused, first.reused + first.kept);
  EXPECT_EQ(later.inUse, 0u);
}

// A burst of pauses and starts, as fast presses of the play button: the
// decoder waits in the video sink's small queue, never inside the presenter,
// so no state change waits for it and no frame is kept beyond the two
// holders (frames that came during state changes used to be queued ahead of
// the clock, one or more per press).  Afterwards the movie plays on.
TEST_F(PlayerTest, PauseStartBurstKeepsTheFramesInFlightBounded) {
  OpenReady(movie_);
  ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
  Pump(200);
  const Scheduler& scheduler = player_->Presenter()->GetScheduler();
  size_t most = 0;
  for (int press = 0; press < 60; ++press) {
    ASSERT_EQ(player_->Pause(), PlayerResult::kOk);
    most = std::max(most, scheduler.QueuedCount());
    Pump(press % 3);
    ASSERT_EQ(player_->StartPlayback(), PlayerResult::kOk);
    most = std::max(most, scheduler.QueuedCount());
    Pump(press % 4);
  }
  EXPECT_LE(most, 2u);
  const int64_t p = Position();
  EXPECT_TRUE(WaitFor([&] { return Position() > p + kSecond / 2; }, 20000));
  EXPECT_LE(scheduler.QueuedCount(), 2u);
}

// A hang would show as the test's time-out.
TEST_F(PlayerTest, OpenSeekCloseLoopDoesNotHang) {
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(player_->Open(movie_), PlayerResult::kOk);
    if (i % 3 == 0) continue;  // closed by the next open before it is ready
    ASSERT_TRUE(WaitFor([&] { return player_->IsReady(); }, 20000));
    player_->StartPlayback();
    Pump(20 + i * 5);
    player_->Seek((i * 7700000) % (10 * kSecond));
    player_->Seek(kSecond / 3);
    Pump(10);
    if (i % 2) player_->Pause();
    player_->Seek(2 * kSecond);
    player_->CloseSession();
    EXPECT_EQ(player_->State(), PlayerState::kClosed);
  }
  player_->CloseSession();
}

}  // namespace
}  // namespace qv
