// The slot and player-layer rules with a fake player and a fake clock: no
// pipeline, no display.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "boxbuilder.h"
#include "testsupport.h"
#include "player/playerapi.h"
#include "player/playerslot.h"
#include "eventwait.h"
#include "player/slotrules.h"

namespace qv {
namespace {

constexpr int64_t kSecond = 10000000;

// What a fake player was asked and what it answers.
struct FakeState {
  int opens = 0;
  int closes = 0;
  int destroyed = 0;
  std::thread::id closedOn;
  std::function<void()> onOpen;  // runs inside Open
  int starts = 0;
  int pauses = 0;
  std::vector<int64_t> seeks;
  float rate = 1.0f;
  int volume = -1;
  int64_t duration = 10 * kSecond;
  int64_t position = 0;
  bool clockError = false;
  int positionReads = 0;
  bool ready = true;
  PlayerState state = PlayerState::kStopped;
  Size video{1920, 1080};
  QImage image;
  int mirror = 0;
  Rect destination;
  int aspectMode = -1;
  int repaints = 0;
};

class FakePlayer final : public SlotPlayer {
 public:
  explicit FakePlayer(FakeState* s) : s_(s) {}
  ~FakePlayer() override { ++s_->destroyed; }
  PlayerResult Open(const std::string&, int64_t) override {
    if (s_->onOpen) s_->onOpen();
    return Count(s_->opens);
  }
  PlayerResult CloseSession() override {
    s_->closedOn = std::this_thread::get_id();
    return Count(s_->closes);
  }
  PlayerResult StartPlayback() override {
    s_->state = PlayerState::kStarted;
    return Count(s_->starts);
  }
  PlayerResult Pause() override {
    s_->state = PlayerState::kPaused;
    return Count(s_->pauses);
  }
  PlayerResult Seek(int64_t p) override {
    s_->seeks.push_back(p);
    return PlayerResult::kOk;
  }
  PlayerResult SetRate(float r) override { return Set(s_->rate, r); }
  PlayerResult SetVolume(int v) override { return Set(s_->volume, v); }
  bool GetPosition(int64_t* p) override {
    ++s_->positionReads;
    *p = s_->position;
    return !s_->clockError;
  }
  int64_t Duration() const override { return s_->duration; }
  PlayerState State() const override { return s_->state; }
  bool IsReady() const override { return s_->ready; }
  void SetVideoPosition(const Rect& r) override { s_->destination = r; }
  bool GetVideoPosition(Rect* r) override {
    *r = s_->destination;
    return true;
  }
  bool GetNativeVideoSize(Size* size) override {
    if (s_->video.width <= 0) return false;
    *size = s_->video;
    return true;
  }
  void SetAspectRatioMode(int mode) override { s_->aspectMode = mode; }
  bool RepaintVideo() override {
    ++s_->repaints;
    return true;
  }
  QImage GetCurrentImage() override { return s_->image; }
  int ToggleMirror() override { return s_->mirror = !s_->mirror; }
  bool ReadFlags(PresenterFlags* f) override {
    f->mirror = s_->mirror;
    return true;
  }
  CustomPresenter* Presenter() override { return nullptr; }

 private:
  static PlayerResult Count(int& n) {
    ++n;
    return PlayerResult::kOk;
  }
  template <class T, class V>
  static PlayerResult Set(T& field, V v) {
    field = v;
    return PlayerResult::kOk;
  }
  FakeState* s_;
};

class FakeWindow final : public SlotWindow {
 public:
  explicit FakeWindow(Size size) : size_(size) {}
  AppMessagePort Port() const override { return {}; }
  AppMessagePort ParentPort() const override { return port; }
  Size ClientSize() const override { return size_; }
  AppMessagePort port;

 private:
  Size size_;
};

// A movie file whose index holds the given time-to-sample runs (microsecond
// time scale); a "free" box pads it past the 260 bytes of the type test.
std::string WriteMovie(const qvtest::TempDir& dir, const std::string& name,
                       std::initializer_list<std::pair<uint32_t, uint32_t>> runs, const std::string& handler = "vide") {
  using namespace qvtest;
  return dir.Write(name, Ftyp() + Box("free", std::string(300, '\0')) +
                             Box("moov", Trak(handler, 8, 8, Stts(runs), Stsz({1}))));
}

TEST(SlotRules, RateCodes) {
  // Without backwards play the slow codes are slow forward rates.
  EXPECT_EQ(RateForCode(4, 1, false).rate, 4.0f);
  EXPECT_EQ(RateForCode(-2, 1, false).rate, 0.5f);
  EXPECT_EQ(RateForCode(-4, 1, false).rate, 0.25f);
  EXPECT_EQ(RateForCode(-2, 1, true).rate, -2.0f);
  EXPECT_EQ(RateForCode(7, 1, false).rate, 1.0f);
  // -1 toggles between normal and half speed (both ways: the layer's
  // VolumeGoesToOneSlotAndOnlyAtNormalSpeed); from a fast code it is normal.
  const RateChoice c = RateForCode(-1, 4, false);
  EXPECT_EQ(c.code, -1);
  EXPECT_EQ(c.rate, 1.0f);
  EXPECT_EQ(RateForCode(-1, 1, true).rate, -1.0f);

  const std::map<int, std::pair<int, int>> table = {  // code: faster, slower
      {-4, {-2, 1}}, {-2, {1, -2}}, {-1, {1, -2}}, {1, {2, -1}}, {2, {4, 1}}, {4, {4, 2}}, {9, {1, 1}}};
  for (const auto& [code, next] : table) {
    EXPECT_EQ(NextRateCode(code, true, false), next.first) << code;
    EXPECT_EQ(NextRateCode(code, false, false), next.second) << code;
  }
  EXPECT_EQ(NextRateCode(-2, true, true), -1);
}

TEST(SlotRules, Placement) {
  Rect r;
  ASSERT_TRUE(ZoomedViewRect({400, 300}, 123, 45, 1.0f, 0, 0, &r));
  EXPECT_EQ(r, Rect(0, 0, 400, 300));
  ASSERT_TRUE(ZoomedViewRect({400, 300}, 200, 150, 2.0f, 0, 0, &r));
  EXPECT_EQ(r, Rect(-200, -150, 600, 450));
  ASSERT_TRUE(ZoomedViewRect({400, 300}, 200, 150, 2.0f, 10, -5, &r));
  EXPECT_EQ(r, Rect(-190, -155, 610, 445));
  EXPECT_FALSE(ZoomedViewRect({400, 300}, 0, 0, 0.0f, 0, 0, &r));
  EXPECT_FALSE(ZoomedViewRect({0, 300}, 0, 0, 1.0f, 0, 0, &r));  // no area: no division by zero
  // About a corner of a shifted rectangle the corner stays; a reversed or
  // out-of-range result is refused and leaves the rectangle as it was.
  r = Rect(10, 20, 110, 70);
  ASSERT_TRUE(ZoomRectAt(r, 0, 0, 0.5f));
  EXPECT_EQ(r, Rect(10, 20, 60, 45));
  EXPECT_FALSE(ZoomRectAt(r, 500, 50, -3.0f));
  EXPECT_FALSE(ZoomRectAt(r, 25, 12, 1e9f));
  EXPECT_EQ(r, Rect(10, 20, 60, 45));

  ASSERT_TRUE(LetterboxFit(Rect(0, 0, 400, 400), {1920, 1080}, {400, 400}, &r));
  EXPECT_EQ(r, Rect(0, 87, 402, 314));
  ASSERT_TRUE(LetterboxFit(Rect(0, 0, 800, 300), {1920, 1080}, {800, 300}, &r));
  EXPECT_EQ(r.Height(), 300 + 2);  // pillarbox: the height stays
  EXPECT_FALSE(LetterboxFit(Rect(0, 0, 400, 400), {1920, 0}, {400, 400}, &r));
  EXPECT_FALSE(LetterboxFit(Rect(0, 0, 400, 400), {1920, 1080}, {400, 0}, &r));

  const OsdPlace p = OsdPlacement({1920, 1080}, {1920, 1080});
  EXPECT_FLOAT_EQ(p.left, 1.0f - 300.0f / 1920);
  EXPECT_FLOAT_EQ(p.top, 1.0f - 120.0f / 1080);
  EXPECT_EQ(p.right, 1.0f);
}

TEST(SlotRules, StartRuleAndResolution) {
  EXPECT_TRUE(StartOnlyMarks(1000, 940, 1041));
  EXPECT_FALSE(StartOnlyMarks(1000, 939, 1041));
  EXPECT_FALSE(StartOnlyMarks(1041, 1000, 1000));  // the longer one always starts
  EXPECT_FALSE(StartOnlyMarks(1000, 990, 1040));   // 40 frames apart: both start

  EXPECT_EQ(ResolutionClass(720, 'H'), 3);
  EXPECT_EQ(ResolutionClass(720, 0), 4);
  EXPECT_EQ(ResolutionClass(1080, 'H'), 5);
  EXPECT_EQ(ResolutionClass(1080, 'N'), 6);
  EXPECT_EQ(ResolutionClass(480, 'H'), 0);
}

TEST(SlotRules, FramesAndErrors) {
  EXPECT_EQ(FramesFromTime(10 * kSecond, 33.0f), 303);
  EXPECT_EQ(FramesFromTime(kSecond, 0.0f), 0);
  // No usable frame timing fails the open, without a division by zero (the
  // other verdicts: the slot's open, OpenFollowsTheFrameTiming).
  EXPECT_EQ(FrameTimingVerdict(60.0f, 0.0f), MovieOpening::kFailed);
  EXPECT_EQ(FramesFromTime(FramesFromTime(TimeFromFrames(150, 33.0f), 33.0f), 1.0f), 0);
  EXPECT_EQ(FramesFromTime(TimeFromFrames(150, 33.0f) + 1, 33.0f), 150);
  EXPECT_EQ(ErrorText(kCodePointer, "x"), "E_POINTER");
  EXPECT_EQ(ErrorText(kCodeWrongState, "x"), "VFW_E_WRONG_STATE");
  EXPECT_EQ(ErrorText(kCodePluginMissing, ""), "Unknown 0x80040200");  // the table's text: ErrorsGoToTheSink
  EXPECT_EQ(ErrorText(0xC00D36B2, ""), "Unknown 0xc00d36b2");
}

// Both slots of the player layer on fake players.
class SlotLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::App();
    for (int i = 0; i < 2; ++i) {
      PlayerSlot& s = PlayerApi_Slot(i);
      s.factory = [this, i](const SlotWindow*, PresenterFlags*) { return std::make_unique<FakePlayer>(&fake_[i]); };
      s.sleep = [this](int ms) { slept_ += ms; };
    }
    ASSERT_EQ(PlayerApi_InitSlots(&pane_[0], &pane_[1], "Sans"), 1);
    PlayerApi_SetErrorSink([this](const std::string& text, const std::string& caption) {
      shown_.push_back(caption + ":" + text);
    });
    long30_ = WriteMovie(dir_, "long30.mp4", {{90, 33333}});  // 3 s at 30 fps
  }
  void TearDown() override {
    PlayerApi_Close();
    for (int i = 0; i < 2; ++i) {
      PlayerApi_Table(i).release(&PlayerApi_Slot(i));
      PlayerApi_Slot(i).initialised = 0;
      PlayerApi_Slot(i).factory = nullptr;
      PlayerApi_Slot(i).sleep = nullptr;
    }
    PlayerApi_SetErrorSink(nullptr);
  }
  // Opens both slots on fake players whose movies last `frames` frames.
  void OpenBoth(int64_t front, int64_t rear) {
    ASSERT_EQ(PlayerApi_OpenPair(long30_, long30_), 1);
    fake_[0].duration = TimeFromFrames(front, 33.0f) + 1;
    fake_[1].duration = TimeFromFrames(rear, 33.0f) + 1;
    ASSERT_EQ(PlayerApi_GetDuration(0), front);
    ASSERT_EQ(PlayerApi_GetDuration(1), rear);
  }

  qvtest::TempDir dir_;
  FakeState fake_[2];
  FakeWindow pane_[2] = {FakeWindow({400, 400}), FakeWindow({400, 400})};
  int slept_ = 0;
  std::vector<std::string> shown_;
  std::string long30_;
};

TEST_F(SlotLayerTest, OpenFollowsTheFrameTiming) {
  PlayerSlot* s = &PlayerApi_Slot(0);
  const std::string fifteen = WriteMovie(dir_, "fifteen.mp4", {{15, 66666}});     // 1 s at 15 fps
  const std::string short30 = WriteMovie(dir_, "short30.mp4", {{45, 33333}});     // 1.5 s
  const std::string two30 = WriteMovie(dir_, "two30.mp4", {{60, 33333}, {1, 20}});  // 2.0 s
  const std::string over30 = WriteMovie(dir_, "over30.mp4", {{63, 33333}});       // 2.1 s
  const std::string empty = WriteMovie(dir_, "empty.mp4", {});
  EXPECT_EQ(PlayerSlot_Open(s, 0, fifteen, nullptr, nullptr), 1);
  EXPECT_FLOAT_EQ(s->views[0].frameMs, 66.0f);
  EXPECT_EQ(s->state, kSlotOpened);
  EXPECT_EQ(PlayerSlot_Open(s, 0, short30, nullptr, nullptr), 2);
  EXPECT_EQ(PlayerSlot_Open(s, 0, two30, nullptr, nullptr), 2);
  EXPECT_EQ(PlayerSlot_Open(s, 0, over30, nullptr, nullptr), 1);
  EXPECT_EQ(PlayerSlot_Open(s, 0, empty, nullptr, nullptr), 0);  // no frames: failed, not too short
  EXPECT_EQ(fake_[0].opens, 2);
  // Over 2^32 ticks (71 minutes): in 32 bits the sum would wrap to 0.02 s.
  const std::string longest = WriteMovie(dir_, "longest.mp4", {{128851, 33333}});
  EXPECT_EQ(PlayerSlot_Open(s, 0, longest, nullptr, nullptr), 1);
  EXPECT_NEAR(s->views[0].durationSec, 4294.99f, 0.01f);
  EXPECT_FLOAT_EQ(s->views[0].frameMs, 33.0f);
  EXPECT_EQ(fake_[0].opens, 3);

  // No "ftyp" at bytes 4 to 7, or no file: failed, not refused.
  EXPECT_EQ(PlayerSlot_Open(s, 0, dir_.Write("plain.mp4", std::string(400, 'x')), nullptr, nullptr), 0);
  EXPECT_EQ(PlayerSlot_Open(s, 0, dir_ / "missing.mp4", nullptr, nullptr), 0);

  // A movie without a duration does not open.
  fake_[0].duration = 0;
  EXPECT_EQ(PlayerSlot_Open(s, 0, over30, nullptr, nullptr), 0);
  EXPECT_EQ(s->state, kSlotClosed);
}

// The open in three steps: the thread's part leaves the slots alone, the
// take answers as the one-step open, and an open stopped meanwhile lets go
// of what it opened.  A close apart leaves the slots closed at once and the
// sessions closing on a thread of their own.
TEST_F(SlotLayerTest, PairOpensAndClosesOffTheCallersThread) {
  const std::string short30 = WriteMovie(dir_, "short30.mp4", {{45, 33333}});
  std::atomic<bool> cancel{false};
  const auto run = [&](OpenedPair& pair) { std::thread([&] { PlayerApi_RunOpenPair(pair, cancel); }).join(); };
  auto refused = PlayerApi_BeginOpenPair(short30, long30_);
  run(*refused);
  EXPECT_EQ(fake_[1].opens, 0);  // the rear stays unopened
  EXPECT_EQ(PlayerApi_TakeOpenedPair(*refused), 2);

  auto pair = PlayerApi_BeginOpenPair(long30_, long30_);
  run(*pair);
  EXPECT_EQ(fake_[0].opens + fake_[1].opens, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(PlayerApi_GetState(i), kSlotClosed);
    EXPECT_EQ(PlayerApi_Slot(i).opened, 0);
    EXPECT_EQ(PlayerApi_Slot(i).player, nullptr);
  }
  EXPECT_EQ(PlayerApi_TakeOpenedPair(*pair), 1);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(PlayerApi_GetState(i), kSlotOpened);
    EXPECT_EQ(PlayerApi_Slot(i).opened, 1);
    EXPECT_FLOAT_EQ(PlayerApi_Slot(i).views[0].frameMs, 33.0f);
  }

  // Stopped while the front player opens: it goes, the rear never opens.
  fake_[0].onOpen = [&] { cancel = true; };
  auto stopped = PlayerApi_BeginOpenPair(long30_, long30_);
  const int destroyed = fake_[0].destroyed, rearOpens = fake_[1].opens;
  run(*stopped);
  EXPECT_EQ(fake_[0].destroyed, destroyed + 1);
  EXPECT_EQ(fake_[1].opens, rearOpens);
  EXPECT_EQ(PlayerApi_GetState(0), kSlotOpened);  // the slots keep what they had
  fake_[0].onOpen = nullptr;

  const int closes = fake_[0].closes;
  EXPECT_EQ(PlayerApi_CloseApart(), 1);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(PlayerApi_GetState(i), kSlotClosed);
    EXPECT_EQ(PlayerApi_Slot(i).opened, 0);
    EXPECT_EQ(PlayerApi_Slot(i).player, nullptr);
  }
  PlayerApi_WaitClosed();
  EXPECT_EQ(fake_[0].closes, closes + 1);
  EXPECT_NE(fake_[0].closedOn, std::this_thread::get_id());
}

TEST_F(SlotLayerTest, OpenPairPassesARefusalUpAndAFailureNot) {
  const std::string short30 = WriteMovie(dir_, "short30.mp4", {{45, 33333}});
  EXPECT_EQ(PlayerApi_OpenPair(short30, long30_), 2);
  EXPECT_EQ(fake_[1].opens, 0);  // the rear stays unopened
  EXPECT_EQ(PlayerApi_Slot(1).opened, 0);
  EXPECT_EQ(PlayerApi_Slot(1).player, nullptr);
  // A junk front (a file type box, then noise) or one without a video
  // track fails alone: the rear opens.
  std::string noise = qvtest::Ftyp();
  for (uint32_t i = 0, x = 12345; i < 4000; ++i) noise += char((x = x * 1103515245u + 12345u) >> 24);
  const std::string junk = dir_.Write("junk.mp4", noise);
  const std::string sound = WriteMovie(dir_, "sound.mp4", {{90, 33333}}, "soun");
  for (const std::string& front : {junk, sound}) {
    EXPECT_EQ(PlayerApi_OpenPair(front, long30_), 1) << front;
    EXPECT_EQ(PlayerApi_Slot(0).opened, 0);
    EXPECT_EQ(PlayerApi_Slot(1).opened, 1);
  }
  EXPECT_EQ(PlayerApi_OpenPair(long30_, long30_), 1);
  EXPECT_EQ(PlayerApi_Slot(0).opened, 1);
  EXPECT_EQ(PlayerApi_Slot(1).opened, 1);
  EXPECT_EQ(PlayerApi_Close(), 1);
  EXPECT_EQ(PlayerApi_Slot(0).opened, 0);
  EXPECT_EQ(PlayerApi_GetState(0), kSlotClosed);
}

TEST_F(SlotLayerTest, StartRule) {
  OpenBoth(1000, 1041);
  fake_[0].position = TimeFromFrames(940, 33.0f) + 1;
  EXPECT_EQ(PlayerApi_Start(2), 1);
  EXPECT_EQ(fake_[0].starts, 0);  // only marked playing
  EXPECT_EQ(PlayerApi_GetState(0), kSlotPlaying);
  EXPECT_EQ(fake_[1].starts, 1);

  PlayerApi_Pause(2);
  fake_[0].position = TimeFromFrames(939, 33.0f) + 1;
  EXPECT_EQ(PlayerApi_Start(2), 1);
  EXPECT_EQ(fake_[0].starts, 1);

  PlayerApi_Pause(2);
  fake_[1].duration = TimeFromFrames(1040, 33.0f) + 1;
  fake_[0].position = TimeFromFrames(999, 33.0f) + 1;
  EXPECT_EQ(PlayerApi_Start(2), 1);
  EXPECT_EQ(fake_[0].starts, 2);

  // Both slots must be initialised for selector 2.
  PlayerApi_Pause(2);
  PlayerApi_Slot(1).initialised = 0;
  EXPECT_EQ(PlayerApi_Start(2), 0);
  EXPECT_EQ(fake_[0].starts, 2);
  PlayerApi_Slot(1).initialised = 1;
}

TEST_F(SlotLayerTest, TransportNeedsAReadyPlayer) {
  OpenBoth(300, 300);
  fake_[0].ready = false;
  EXPECT_EQ(PlayerApi_Start(0), 0);
  EXPECT_EQ(PlayerApi_Pause(0), 0);
  EXPECT_EQ(PlayerApi_SeekTo(0, 10), 0);
  EXPECT_EQ(fake_[0].starts, 0);
  EXPECT_EQ(PlayerApi_Start(1), 1);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotPlaying);
  // Start while playing does nothing, but after the end of the presentation
  // (the player stands, the slot still says playing) it plays again.
  EXPECT_EQ(PlayerApi_Start(1), 1);
  EXPECT_EQ(fake_[1].starts, 1);
  fake_[1].state = PlayerState::kStopped;
  EXPECT_EQ(PlayerApi_Start(1), 1);
  EXPECT_EQ(fake_[1].starts, 2);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotPlaying);
  // Stop and pause use the session's pause.
  EXPECT_EQ(PlayerSlot_Stop(&PlayerApi_Slot(1)), 1);
  EXPECT_EQ(fake_[1].pauses, 1);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotOpened);
}

TEST_F(SlotLayerTest, DataSlotSelection) {
  OpenBoth(300, 400);
  EXPECT_EQ(PlayerApi_GetDuration(2), 400);  // no data loaded: the rear
  PlayerApi_Slot(0).dataReady = 1;
  EXPECT_EQ(PlayerApi_GetDuration(2), 300);
  EXPECT_EQ(PlayerApi_GetDataSlotDuration(), 300);
  PlayerApi_Slot(0).dataReady = 0;
  fake_[1].position = TimeFromFrames(77, 33.0f) + 1;
  EXPECT_EQ(PlayerApi_GetPosition(2), 77);
  // A file without a drive-data block loads nowhere.
  EXPECT_EQ(PlayerApi_LoadDriveData(long30_, long30_), 0);
  EXPECT_EQ(PlayerApi_Slot(0).dataReady + PlayerApi_Slot(1).dataReady, 0);
  EXPECT_EQ(PlayerApi_GetTrackData(), nullptr);
}

TEST_F(SlotLayerTest, SeekScalesTheRearToTheFrontsTime) {
  const std::string front66 = WriteMovie(dir_, "front15.mp4", {{60, 66666}});
  ASSERT_EQ(PlayerApi_OpenPair(front66, long30_), 1);
  EXPECT_FLOAT_EQ(PlayerApi_GetViewFactor(0), 66.0f);
  EXPECT_FLOAT_EQ(PlayerApi_GetViewFactor(1), 33.0f);
  EXPECT_EQ(PlayerApi_SeekTo(2, 100), 1);
  ASSERT_EQ(fake_[0].seeks.size(), 1u);
  ASSERT_EQ(fake_[1].seeks.size(), 1u);
  EXPECT_EQ(fake_[0].seeks[0], TimeFromFrames(100, 66.0f));
  EXPECT_EQ(fake_[1].seeks[0], TimeFromFrames(200, 33.0f));
  EXPECT_EQ(fake_[0].seeks[0], fake_[1].seeks[0]);
  // A single slot: the same scale.
  EXPECT_EQ(PlayerApi_SeekTo(1, 10), 1);
  EXPECT_EQ(fake_[1].seeks.back(), TimeFromFrames(20, 33.0f));
  // Seeking while playing lands both slots on the same time too.
  PlayerApi_Start(2);
  EXPECT_EQ(PlayerApi_SeekPlaying(2, 50), 1);
  EXPECT_EQ(fake_[0].seeks.back(), fake_[1].seeks.back());
}

TEST_F(SlotLayerTest, VolumeGoesToOneSlotAndOnlyAtNormalSpeed) {
  OpenBoth(300, 300);
  PlayerApi_SetVolume(0, 30000);
  EXPECT_EQ(fake_[0].volume, 30000);
  EXPECT_EQ(fake_[1].volume, 0);
  PlayerApi_SetVolume(1, 20000);
  EXPECT_EQ(fake_[0].volume, 0);
  EXPECT_EQ(fake_[1].volume, 20000);
  PlayerApi_Slot(0).dataReady = 1;
  PlayerApi_SetVolume(2, 12345);
  EXPECT_EQ(fake_[0].volume, 12345);
  EXPECT_EQ(fake_[1].volume, 0);

  // Rate: fast is silent, the volume comes back at code 1; no pause.
  slept_ = 0;
  EXPECT_EQ(PlayerApi_SetRate(2), 1);
  EXPECT_EQ(slept_, 0);
  EXPECT_EQ(fake_[0].rate, 2.0f);
  EXPECT_EQ(fake_[0].volume, 0);
  PlayerApi_SetVolume(0, 40000);
  EXPECT_EQ(fake_[0].volume, 0);
  EXPECT_EQ(PlayerApi_SetRate(1), 1);
  EXPECT_EQ(fake_[0].volume, 40000);
  // -1 toggles half speed and back.
  PlayerApi_SetRate(-1);
  EXPECT_EQ(fake_[0].rate, 0.5f);
  EXPECT_EQ(PlayerApi_Slot(0).rateCode, -2);
  PlayerApi_SetRate(-1);
  EXPECT_EQ(fake_[0].rate, 1.0f);

  // The next rate: 1 unless playing.
  EXPECT_EQ(PlayerApi_GetNextRate(0, 1), 1);
  PlayerApi_Start(0);
  EXPECT_EQ(PlayerApi_GetNextRate(0, 1), 2);
  EXPECT_EQ(PlayerApi_GetNextRate(0, 0), -1);
}

TEST_F(SlotLayerTest, PositionReadsAStillClockAtMostTenTimes) {
  OpenBoth(300, 300);
  PlayerApi_Start(0);
  fake_[0].positionReads = 0;
  slept_ = 0;
  EXPECT_EQ(PlayerApi_GetPosition(0), 0);
  EXPECT_EQ(fake_[0].positionReads, 10);
  EXPECT_LE(slept_, 100);
  // Paused at the start: read once.
  PlayerApi_Pause(0);
  fake_[0].positionReads = 0;
  EXPECT_EQ(PlayerApi_GetPosition(0), 0);
  EXPECT_EQ(fake_[0].positionReads, 1);
  fake_[0].clockError = true;
  EXPECT_EQ(PlayerApi_GetPosition(0), -1);
}

TEST_F(SlotLayerTest, PictureEntries) {
  OpenBoth(300, 300);
  PlayerSlot* s = &PlayerApi_Slot(0);
  // Before the first zoom there is no rectangle.
  EXPECT_EQ(PlayerSlot_RedrawView(s, 0), 0);
  EXPECT_EQ(PlayerSlot_SetZoom(s, 0, 200, 200, 0, 0, 1.0f, 1), 1);
  EXPECT_EQ(fake_[0].destination, Rect(0, 0, 400, 400));
  EXPECT_EQ(PlayerSlot_SetAspectMode(s, 0, 1), 1);
  EXPECT_EQ(fake_[0].destination, Rect(0, 87, 402, 314));
  EXPECT_EQ(fake_[0].aspectMode, 1);
  EXPECT_EQ(s->views[0].keepAspect, 1);
  // Without a readable video size the letterbox fails and the view stays.
  fake_[0].video = {0, 0};
  EXPECT_EQ(PlayerSlot_SetZoom(s, 0, 0, 0, 0, 0, 2.0f, 1), 0);
  EXPECT_EQ(fake_[0].destination, Rect(0, 87, 402, 314));
  int w = 1, h = 1;
  EXPECT_EQ(PlayerSlot_GetVideoSize(s, 0, &w, &h), 0);
  EXPECT_EQ(w, 1);

  // The mirror flag survives a close.
  EXPECT_EQ(PlayerSlot_SetMirror(s), 1);
  PlayerApi_Close();
  EXPECT_EQ(s->saved.mirror, 1);
  EXPECT_EQ(PlayerSlot_SetMirror(s), 0);  // no player
}

TEST_F(SlotLayerTest, SnapshotIsAJpegOrNothing) {
  OpenBoth(300, 300);
  PlayerSlot* s = &PlayerApi_Slot(0);
  const std::string path = dir_ / "still.jpg";
  EXPECT_EQ(PlayerSlot_SaveSnapshot(s, 0, path), 0);  // no frame captured
  struct stat st {};
  EXPECT_NE(::stat(path.c_str(), &st), 0);
  fake_[0].image = QImage(64, 48, QImage::Format_RGB32);
  fake_[0].image.fill(Qt::red);
  EXPECT_EQ(PlayerSlot_SaveSnapshot(s, 0, path), 1);  // the JPEG of the frame: slotpair_test
  EXPECT_EQ(QImageReader(QString::fromStdString(path)).size(), QSize(64, 48));
  EXPECT_EQ(PlayerSlot_SaveSnapshot(s, 0, dir_ / "no/such/folder/still.jpg"), 0);
}

TEST_F(SlotLayerTest, OsdLayerIsGreenOnBlackInTheCorner) {
  OpenBoth(300, 300);
  PlayerSlot* s = &PlayerApi_Slot(0);
  fake_[0].repaints = 0;
  PlayerSlot_DrawOsd(s, 0, "12:34 56km/h");
  const QImage surface = s->osd.Surface();
  ASSERT_EQ(surface.size(), QSize(kOsdWidth, kOsdHeight));
  int green = 0, other = 0;
  for (int y = 0; y < surface.height(); ++y)
    for (int x = 0; x < surface.width(); ++x) {
      const QRgb p = surface.pixel(x, y) & 0xFFFFFF;
      if (p == 0) continue;
      (qRed(p) == 0 && qBlue(p) == 0 && qGreen(p) > 0) ? ++green : ++other;
    }
  EXPECT_GT(green, 50);
  EXPECT_EQ(other, 0);
  EXPECT_EQ(fake_[0].repaints, 1);

  // Painted over a picture, black is the key: only the text shows, and only
  // in the picture's bottom right corner.
  s->osd.SetPlace(OsdPlacement({400, 400}, {400, 400}));
  QImage picture(400, 400, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  {
    QPainter p(&picture);
    s->osd.Paint(p, Rect(0, 0, 400, 400));
  }
  int textPixels = 0, outside = 0, black = 0;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x) {
      const QRgb c = picture.pixel(x, y);
      if (c == QColor(Qt::blue).rgb()) continue;
      if (qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 0) ++black;
      (x >= 100 && y >= 280) ? ++textPixels : ++outside;
    }
  EXPECT_GT(textPixels, 50);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(black, 0);
}

TEST_F(SlotLayerTest, ErrorsGoToTheSink) {
  EXPECT_EQ(PlayerApi_ShowError(0), 1);
  EXPECT_EQ(PlayerApi_ShowError(1), 1);
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(PlayerApi_ShowError(kCodePluginMissing), 0);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0], "ERROR:コーデックとスプリッターをインストールしてください。");
  EXPECT_EQ(PlayerApi_ShowError(0x80004005), 0);
  EXPECT_EQ(shown_.back(), "ERROR:Unknown 0x80004005");
}

TEST_F(SlotLayerTest, TickWorkerCountsFramesToTheLimit) {
  OpenBoth(3, 3);
  QObject target;
  AppMessageSink sink(&target);
  std::vector<intptr_t> ticks, limits;
  sink.On(kMsgTick, [&](uintptr_t, intptr_t l) { ticks.push_back(l); });
  sink.On(kMsgTickLimit, [&](uintptr_t, intptr_t l) { limits.push_back(l); });
  pane_[0].port = sink.Port();
  PlayerSlot* s = &PlayerApi_Slot(0);
  EXPECT_EQ(PlayerSlot_StartTickWorker(s, 0, 1), 1);
  EXPECT_EQ(fake_[0].volume, 0);  // muted
  s->tickThread.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(ticks, (std::vector<intptr_t>{0, 1, 2}));
  EXPECT_EQ(limits, (std::vector<intptr_t>{3}));
  // Stopping restores rate and sound.
  PlayerSlot_SetVolume(s, 500);
  EXPECT_EQ(PlayerSlot_StartTickWorker(s, 0, 0), 1);
  EXPECT_EQ(fake_[0].volume, 500);
  pane_[0].port = AppMessagePort();
}

TEST_F(SlotLayerTest, ReleaseClosesThePlayer) {
  OpenBoth(100, 100);
  PlayerSlot* s = &PlayerApi_Slot(1);
  EXPECT_EQ(PlayerSlot_Release(s), 1);
  EXPECT_EQ(fake_[1].closes, 1);
  EXPECT_EQ(s->player, nullptr);
  EXPECT_EQ(s->state, kSlotClosed);
  EXPECT_EQ(PlayerSlot_Play(s), 0);
  EXPECT_EQ(PlayerSlot_Release(s), 1);  // twice is harmless
  EXPECT_EQ(fake_[1].closes, 1);
  ASSERT_EQ(PlayerSlot_Init(s, &pane_[1], nullptr, "Sans"), 1);
}

TEST_F(SlotLayerTest, LockAllHoldsBothSlots) {
  PlayerApi_LockAll();
  std::atomic<bool> got{false};
  std::thread t([&] {
    PlayerSlot_SetFlag(&PlayerApi_Slot(1), 5);
    got = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(got.load());
  // The window thread itself may re-enter.
  PlayerSlot_SetFlag(&PlayerApi_Slot(0), 4);
  PlayerApi_UnlockAll();
  t.join();
  EXPECT_TRUE(got.load());
  EXPECT_EQ(PlayerApi_Slot(1).flag15, 5);
}

}  // namespace
}  // namespace qv
