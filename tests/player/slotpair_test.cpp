// Two slots on the fixture recordings through GStreamer: a pair opens, both
// players report ready, the drive data binds, and both play in step.
//
// Built four times: QV_SLOT_RATE 0 runs the open, drive-data and transport
// cases, 1, 2 and 4 the in-step run at that rate code (so that CTest runs
// them side by side).
#include <gtest/gtest.h>
#include <gst/check/gsttestclock.h>
#include <gst/gst.h>

#include <QImageReader>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "player/playerapi.h"
#include "player/playerslot.h"
#include "player/videopane.h"
#include "eventwait.h"
#include "player/presenter.h"
#include "testmovies.h"

#ifndef QV_SLOT_RATE
#define QV_SLOT_RATE 0
#endif

namespace qv {
namespace {

// The slot's video pane, counting the player's ready messages.
class Pane : public VideoPane {
 public:
  explicit Pane(int index) {
    Messages().On(kMsgPlayerTopologyReady, [this](uintptr_t, intptr_t) { ++ready; });
    resize(320, 180);
    ShowSlot(&PlayerApi_Slot(index));
  }
  int ready = 0;
};

class SlotPairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::App();
    front_ = qvtest::Fixture("run-1-F");  // 10 s, 30 fps, drive data
    rear_ = qvtest::Fixture("run-1-R");
    ASSERT_FALSE(front_.empty()) << "no fixture recordings (mkrec tests)";
    PlayerOptions options;
    options.makeAudioSink = qvtest::SilentAudioSink;
    // A start waits for its prerolls for as long as they take (a test holds
    // them back).
    options.prerollWait = std::chrono::minutes(10);
    for (int i = 0; i < 2; ++i) {
      panes_[i] = std::make_unique<Pane>(i);
      panes_[i]->show();
      PlayerApi_Slot(i).factory = GstSlotPlayerFactory(options);
    }
    ASSERT_EQ(PlayerApi_InitSlots(panes_[0].get(), panes_[1].get(), "Sans"), 1);
  }
  void TearDown() override {
    PlayerApi_Close();
    PlayerApi_FreeDriveData();
    for (int i = 0; i < 2; ++i) {
      PlayerApi_Table(i).release(&PlayerApi_Slot(i));
      PlayerApi_Slot(i).initialised = 0;
      PlayerApi_Slot(i).factory = nullptr;
    }
    for (auto& p : panes_) p.reset();
  }
  void OpenReady(const std::string& front, const std::string& rear) {
    ASSERT_EQ(PlayerApi_OpenPair(front, rear), 1);
    ASSERT_EQ(PlayerApi_Slot(0).opened, 1);
    ASSERT_EQ(PlayerApi_Slot(1).opened, 1);
    ASSERT_TRUE(qvtest::WaitFor([&] { return panes_[0]->ready >= 1 && panes_[1]->ready >= 1; }, 20000));
    ASSERT_TRUE(PlayerSlot_PlayerReady(&PlayerApi_Slot(0)));
    ASSERT_TRUE(PlayerSlot_PlayerReady(&PlayerApi_Slot(1)));
  }

  std::string front_, rear_;
  std::unique_ptr<Pane> panes_[2];
};

#if QV_SLOT_RATE == 0

TEST_F(SlotPairTest, PairOpensWithItsDriveDataBound) {
  OpenReady(front_, rear_);
  EXPECT_EQ(PlayerApi_GetState(0), kSlotOpened);
  EXPECT_EQ(PlayerApi_GetDuration(0), 303);  // 10 s of 33 ms frames
  EXPECT_EQ(PlayerApi_GetDuration(1), 303);
  EXPECT_EQ(PlayerApi_GetResolutionClass(0), 0);  // 180 lines

  ASSERT_EQ(PlayerApi_LoadDriveData(front_, rear_), 1);
  EXPECT_EQ(PlayerApi_Slot(0).dataReady, 1);
  EXPECT_EQ(PlayerApi_Slot(1).dataReady, 0);
  ASSERT_TRUE(PlayerSlot_CopyDriveData(&PlayerApi_Slot(0)));
  {
    // The view holds both slots' mutexes while it lives: a pair thread
    // cannot load drive data under it.
    DriveDataView view;
    EXPECT_EQ(view.DataSlot(), 0);
    ASSERT_NE(view.Gps(), nullptr);
    ASSERT_NE(view.TimeIndex(), nullptr);
    EXPECT_EQ(view.Gps()->size(), 100u);
    EXPECT_EQ(static_cast<int64_t>(view.TimeIndex()->size()), PlayerApi_GetDuration(2));
    for (int i = 0; i < 2; ++i)
      EXPECT_FALSE(std::async([i] { return PlayerApi_Slot(i).mutexA->try_lock(); }).get());
  }
  for (int i = 0; i < 2; ++i) {
    std::recursive_mutex* m = PlayerApi_Slot(i).mutexA.get();
    EXPECT_TRUE(std::async([m] {
      if (!m->try_lock()) return false;
      m->unlock();
      return true;
    }).get());
  }

  DriveDataHead head;
  EXPECT_EQ(PlayerApi_ReadDriveDataHead(&head, front_), 1);
  EXPECT_EQ(PlayerApi_ReadDriveDataHead(&head, front_ + ".missing"), 0);

  // The still is the frame at its own size.
  const qvtest::TempDir dir;
  ASSERT_TRUE(qvtest::WaitFor([&] { return panes_[0]->FramesPainted() > 0; }, 20000));
  ASSERT_EQ(PlayerApi_Table(0).saveSnapshot(&PlayerApi_Slot(0), 0, dir / "still.jpg"), 1);
  QImageReader reader(QString::fromStdString(dir / "still.jpg"));
  EXPECT_EQ(reader.format(), "jpeg");
  EXPECT_EQ(reader.size(), QSize(320, 180));

  // Zoom and letterbox on the real presenter.
  EXPECT_EQ(PlayerApi_Table(0).setZoom(&PlayerApi_Slot(0), 0, 160, 90, 0, 0, 1.0f, 1), 1);
  EXPECT_EQ(PlayerApi_Table(0).setAspectMode(&PlayerApi_Slot(0), 0, 1), 1);

  // Drive data read ahead for the next pair is taken over by the load.
  const std::string next = qvtest::Fixture("run-2-F");
  ASSERT_EQ(PlayerApi_PrefetchDriveData(next.c_str(), nullptr), 1);
  EXPECT_EQ(PlayerApi_Slot(0).prefetch.opened, 1);
  EXPECT_EQ(PlayerSlot_LoadDriveData(&PlayerApi_Slot(0), next), 1);
  EXPECT_EQ(PlayerApi_Slot(0).prefetch.opened, 0);
}

// A pane paints when a frame is due and never from its own paint: a paused
// pair asked once to show its frames again is painted about once per pane.
// It places its picture again when resized, and paints in device pixels
// (this program runs at a device-pixel ratio of 2): a one-pixel checkerboard
// frame of the pane's device size comes out unchanged.
TEST_F(SlotPairTest, PanePaintsWhenAFrameIsDueInDevicePixels) {
  OpenReady(front_, rear_);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(PlayerApi_Table(i).setZoom(&PlayerApi_Slot(i), 0, 0, 0, 0, 0, 1.0f, 1), 1);
  ASSERT_EQ(PlayerApi_Start(2), 1);
  qvtest::Pump(300);
  ASSERT_EQ(PlayerApi_Pause(2), 1);
  qvtest::Pump(300);
  const uint64_t before = panes_[0]->Paints() + panes_[1]->Paints();
  EXPECT_EQ(PlayerApi_RefreshFrame(2), 1);
  const auto paints = [&] { return panes_[0]->Paints() + panes_[1]->Paints() - before; };
  EXPECT_TRUE(qvtest::WaitFor([&] { return paints() >= 2; }, 20000));
  qvtest::Pump(500);
  EXPECT_LE(paints(), 6u);

  Pane& pane = *panes_[0];
  ASSERT_EQ(pane.devicePixelRatioF(), 2.0);
  pane.resize(200, 150);
  EXPECT_EQ(PlayerApi_Slot(0).views[0].viewRect, Rect(0, 0, 400, 300));
  QImage board(400, 300, QImage::Format_RGB32);
  for (int y = 0; y < board.height(); ++y)
    for (int x = 0; x < board.width(); ++x) board.setPixel(x, y, (x + y) % 2 ? 0xffffffu : 0xff000000u);
  PlayerApi_Slot(0).player->Presenter()->Engine().PresentImage(board);
  const QImage shot = pane.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shot, board);
}

// Holds back every frame at a pipeline's video sink while it lives: a
// pipeline that has to preroll again cannot.
class HeldPreroll {
 public:
  explicit HeldPreroll(GstElement* pipeline) {
    GstElement* bin = nullptr;
    g_object_get(pipeline, "video-sink", &bin, nullptr);
    GValue item = G_VALUE_INIT;
    GstIterator* sinks = gst_bin_iterate_sinks(GST_BIN(bin));
    if (gst_iterator_next(sinks, &item) == GST_ITERATOR_OK) {
      pad_ = gst_element_get_static_pad(GST_ELEMENT(g_value_get_object(&item)), "sink");
      g_value_unset(&item);
    }
    gst_iterator_free(sinks);
    gst_object_unref(bin);
    if (pad_) {
      probe_ = gst_pad_add_probe(
          pad_, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
          [](GstPad*, GstPadProbeInfo*, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
    }
  }
  ~HeldPreroll() { Release(); }
  bool Holding() const { return probe_ != 0; }
  void Release() {
    if (probe_) gst_pad_remove_probe(pad_, probe_);
    probe_ = 0;
    if (pad_) gst_object_unref(pad_);
    pad_ = nullptr;
  }

 private:
  GstPad* pad_ = nullptr;
  gulong probe_ = 0;
};

GstState StateOf(GstElement* pipeline, GstState* pending = nullptr) {
  GstState state = GST_STATE_VOID_PENDING;
  gst_element_get_state(pipeline, &state, pending, 0);
  return state;
}

// Play and pause pressed in a burst while neither pipeline can preroll
// (after a seek, their frames held back): no press waits for them, neither
// goes to playing before both have prerolled, and once they have, the pair
// is in the state of the last press: both playing from one base time, or
// both standing.
TEST_F(SlotPairTest, PressesNeverWaitForPrerollsAndTheLastOneHolds) {
  OpenReady(front_, rear_);
  GstElement* pipelines[2];
  for (int i = 0; i < 2; ++i) pipelines[i] = PlayerApi_Slot(i).player->Presenter()->Pipeline();
  const auto both = [&](GstState state) {
    GstState pending[2];
    return StateOf(pipelines[0], &pending[0]) == state && pending[0] == GST_STATE_VOID_PENDING &&
           StateOf(pipelines[1], &pending[1]) == state && pending[1] == GST_STATE_VOID_PENDING;
  };
  for (const bool endsPlaying : {true, false}) {
    SCOPED_TRACE(endsPlaying ? "ends with play" : "ends with pause");
    ASSERT_EQ(PlayerApi_Pause(2), 1);
    ASSERT_TRUE(qvtest::WaitFor([&] { return both(GST_STATE_PAUSED); }, 10000));
    HeldPreroll held[2] = {HeldPreroll(pipelines[0]), HeldPreroll(pipelines[1])};
    ASSERT_TRUE(held[0].Holding() && held[1].Holding());
    const int32_t target = endsPlaying ? 60 : 120;
    ASSERT_EQ(PlayerApi_SeekTo(2, target), 1);
    for (int press = 0; press < (endsPlaying ? 5 : 6); ++press) {
      const bool play = press % 2 == 0;
      ASSERT_EQ(play ? PlayerApi_Start(2) : PlayerApi_Pause(2), 1);
      EXPECT_EQ(PlayerApi_GetState(0), play ? kSlotPlaying : kSlotPaused);
      EXPECT_EQ(PlayerApi_GetState(1), play ? kSlotPlaying : kSlotPaused);
      // Still waiting for its preroll: not set to playing.
      for (GstElement* p : pipelines) ASSERT_EQ(GST_STATE_TARGET(p), GST_STATE_PAUSED) << "press " << press;
    }
    for (HeldPreroll& h : held) h.Release();
    if (endsPlaying) {
      ASSERT_TRUE(qvtest::WaitFor([&] { return both(GST_STATE_PLAYING); }, 20000));
      EXPECT_EQ(gst_element_get_base_time(pipelines[0]), gst_element_get_base_time(pipelines[1]));
      EXPECT_TRUE(qvtest::WaitFor(
          [&] { return PlayerApi_GetPosition(0) > target + 5 && PlayerApi_GetPosition(1) > target + 5; }, 20000));
    } else {
      ASSERT_TRUE(qvtest::WaitFor([&] { return both(GST_STATE_PAUSED); }, 20000));
      qvtest::Pump(300);
      EXPECT_TRUE(both(GST_STATE_PAUSED));
      EXPECT_EQ(PlayerApi_GetPosition(0), target);
      EXPECT_EQ(PlayerApi_GetPosition(1), target);
    }
  }
}

TEST_F(SlotPairTest, FrontWithoutDriveDataMakesTheRearTheDataSlot) {
  const std::string front = qvtest::Fixture("no-block-F");  // 4 s
  OpenReady(front, rear_);
  ASSERT_EQ(PlayerApi_LoadDriveData(front, rear_), 1);
  EXPECT_EQ(PlayerApi_Slot(0).dataReady, 0);
  EXPECT_EQ(PlayerApi_Slot(1).dataReady, 1);
  EXPECT_EQ(PlayerApi_GetDuration(2), PlayerApi_GetDuration(1));
  EXPECT_NE(PlayerApi_GetDuration(2), PlayerApi_GetDuration(0));
  ASSERT_TRUE(PlayerSlot_CopyDriveData(&PlayerApi_Slot(1)));
  EXPECT_EQ(PlayerApi_GetDataSlot(), 1);
  EXPECT_EQ(DriveDataView().Gps(), PlayerApi_Slot(1).current.gps.get());

  // Neither file has drive data: nothing binds, and the pair still plays.
  PlayerApi_FreeDriveData();
  PlayerApi_Close();
  panes_[0]->ready = panes_[1]->ready = 0;
  OpenReady(front, qvtest::Fixture("no-block-R"));
  EXPECT_EQ(PlayerApi_LoadDriveData(front, qvtest::Fixture("no-block-R")), 0);
  EXPECT_EQ(DriveDataView().Gps(), nullptr);
  EXPECT_EQ(PlayerApi_Start(2), 1);
  EXPECT_EQ(PlayerApi_GetState(0), kSlotPlaying);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotPlaying);
}

TEST_F(SlotPairTest, TrackListAndIndexHelpers) {
  std::vector<RecordingEntry> entries(4);
  for (int i = 0; i < 4; ++i) entries[i].frontPath = qvtest::Fixture("run-" + std::to_string(i + 1) + "-F");
  entries[2].frontPath.clear();  // a rear-only row reads the rear
  entries[2].rearPath = qvtest::Fixture("run-3-R");
  PlayerApi_BuildTrackList(entries);
  {
    std::lock_guard<std::mutex> l(PlayerApi_TrackMutex());
    ASSERT_NE(PlayerApi_Track(), nullptr);
    EXPECT_EQ(PlayerApi_Track()->size(), 400u);
  }
  // The list stops at the first file that cannot be opened.
  entries[1].frontPath += ".missing";
  PlayerApi_BuildTrackList(entries);
  {
    std::lock_guard<std::mutex> l(PlayerApi_TrackMutex());
    EXPECT_EQ(PlayerApi_Track()->size(), 100u);
  }
  EXPECT_EQ(PlayerApi_FreeTrackObject(), 1);
  EXPECT_EQ(PlayerApi_Track(), nullptr);

  PlayerSlot work;
  uint32_t count = 0;
  EXPECT_GT(PlayerApi_GetTrackDataSize(&work, front_, &count), 0);
  EXPECT_EQ(count, 300u);
  EXPECT_EQ(PlayerApi_GetTrackDataSize(&work, front_ + ".missing", &count), 0);
}

TEST_F(SlotPairTest, UnreadableOrDamagedFrontLeavesTheRearPlaying) {
  // Cut short while recording (no index, nothing the discoverer can play),
  // or damaged behind an intact index (the player fails, with sound and
  // without, and the user hears of it).
  std::vector<std::string> shown;
  PlayerApi_SetErrorSink([&](const std::string& text, const std::string&) { shown.push_back(text); });
  const qvtest::TempDir dir;
  const std::string damaged = qvtest::DamagedCopy(front_, qvtest::Damage::kRandomData, dir.path());
  for (const std::string& front : {qvtest::Fixture("truncated-F"), damaged}) {
    ASSERT_EQ(PlayerApi_OpenPair(front, rear_), 1);
    EXPECT_EQ(PlayerApi_Slot(0).opened, 0);
    EXPECT_EQ(PlayerApi_Slot(1).opened, 1);
    ASSERT_TRUE(qvtest::WaitFor([&] { return PlayerSlot_PlayerReady(&PlayerApi_Slot(1)); }, 20000));
    EXPECT_EQ(PlayerApi_Start(2), 1);
    EXPECT_EQ(PlayerApi_GetState(1), kSlotPlaying);
    EXPECT_EQ(PlayerApi_GetState(0), kSlotClosed);
  }
  EXPECT_EQ(shown.size(), 1u);  // the damaged movie's
  EXPECT_EQ(PlayerApi_CheckFile(qvtest::Fixture("truncated-F")), 0);
  EXPECT_EQ(PlayerApi_CheckFile(rear_), 1);
  PlayerApi_SetErrorSink(nullptr);
}

#else

// A clock the test drives: every pipeline made while it lives runs on it,
// and its time moves only when the test says so.
class DrivenClock {
 public:
  DrivenClock() {
    EnsureGStreamer();
    clock_ = gst_test_clock_new_with_start_time(GST_SECOND);
    SetPlayersClock(clock_);
  }
  ~DrivenClock() {
    SetPlayersClock(nullptr);
    gst_object_unref(clock_);
  }
  GstClock* Clock() const { return clock_; }
  void Advance(GstClockTime t) { gst_test_clock_advance_time(GST_TEST_CLOCK(clock_), t); }
  GstClockTime Now() const { return gst_clock_get_time(clock_); }

 private:
  GstClock* clock_;
};

class SlotPairStepTest : public SlotPairTest {
 protected:
  DrivenClock clock_;  // made before the players and gone after them (TearDown closes them)
};

// Rate code QV_SLOT_RATE chosen while the pair plays, applied as the window
// does it (the rate, then a seek of both while playing), on a clock the test
// moves in steps: both pipelines run on that one clock with one base time,
// and after every step both panes paint, both showing the frame of the
// clock's time at the rate asked for: never ahead of it, caught up with it,
// and the same frame in both.  (How close the pictures stay in real time on
// a busy machine is the slots benchmark's figure.)
TEST_F(SlotPairStepTest, PairPlaysInStep) {
  constexpr int64_t kFrame = 333333;  // 30 fps, 100 ns units
  constexpr GstClockTime kStep = 100 * GST_MSECOND;
  OpenReady(front_, rear_);
  GstElement* pipelines[2];
  CustomPresenter* presenters[2];
  for (int i = 0; i < 2; ++i) {
    presenters[i] = PlayerApi_Slot(i).player->Presenter();
    pipelines[i] = presenters[i]->Pipeline();
  }
  // Both went to playing with the start asked for last.
  const auto playing = [&] {
    for (GstElement* p : pipelines) {
      GstState state, pending;
      gst_element_get_state(p, &state, &pending, 0);
      if (GST_STATE_TARGET(p) != GST_STATE_PLAYING || state != GST_STATE_PLAYING || pending != GST_STATE_VOID_PENDING)
        return false;
    }
    return true;
  };
  const auto expectOneClock = [&](const char* when) {
    for (GstElement* p : pipelines) {
      GstClock* c = gst_element_get_clock(p);
      EXPECT_EQ(c, clock_.Clock()) << when;
      if (c) gst_object_unref(c);
    }
    EXPECT_EQ(gst_element_get_base_time(pipelines[0]), gst_element_get_base_time(pipelines[1])) << when;
  };
  ASSERT_EQ(PlayerApi_Start(2), 1);
  ASSERT_TRUE(qvtest::WaitFor(playing, 20000));
  expectOneClock("start");
  clock_.Advance(3 * kStep);
  // Both restart from frame 30 together at the new rate.
  ASSERT_EQ(PlayerApi_SetRate(QV_SLOT_RATE), 1);
  ASSERT_EQ(PlayerApi_SeekPlaying(2, 30), 1);
  ASSERT_TRUE(qvtest::WaitFor(playing, 20000));
  expectOneClock("seek");
  const GstClockTime base = gst_element_get_base_time(pipelines[0]);
  const int64_t target = 30 * 330000;  // frame 30 of 33 ms, 100 ns units
  for (int step = 1; step <= 20; ++step) {
    SCOPED_TRACE(step);
    const uint64_t painted[2] = {panes_[0]->FramesPainted(), panes_[1]->FramesPainted()};
    clock_.Advance(kStep);
    // The stream time the clock stands at.
    const int64_t now = target + static_cast<int64_t>(clock_.Now() - base) / 100 * QV_SLOT_RATE;
    // Both caught up with the clock, on the same frame (the clock stands, so
    // that they settle there), and painted.
    int64_t shown[2] = {-1, -1};
    const bool caughtUp = qvtest::WaitFor(
        [&] {
          for (int i = 0; i < 2; ++i) {
            if (!presenters[i]->ShownTime(&shown[i]) || shown[i] <= now - kFrame) return false;
            if (panes_[i]->FramesPainted() <= painted[i]) return false;
          }
          return shown[0] == shown[1];
        },
        30000);
    ASSERT_TRUE(caughtUp) << "shown " << shown[0] << " and " << shown[1] << " at " << now;
    for (int i = 0; i < 2; ++i) EXPECT_LE(shown[i], now + 3 * kFrame / 4) << "ahead of the clock: " << i;
  }
}

#endif

}  // namespace
}  // namespace qv
