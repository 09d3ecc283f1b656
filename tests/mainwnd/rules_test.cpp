// The main window's rules: messages, the settings file at start-up, the hit
// test, the command guard, the context menu, the panes' clicks and the
// order of the pair threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "mainwnd/mainmessages.h"
#include "mainwnd/paneclicks.h"
#include "mainwnd/playbackrules.h"
#include "mainwnd/panemenu.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/windowrules.h"
#include "mainwnd/windowthreads.h"

using namespace qv;
using namespace qv::mainwnd;

TEST(MainMessages, NoSenderNoHandler) {
  for (uint32_t n : {0x1u, 0x3u, 0x4u, 0x7u, 0x321u, 0x5DDu}) EXPECT_EQ(FindMainMessage(kAppRange + n), nullptr);
  for (uint32_t m : {kMsgIgnored2, kMsgIgnored25D, kMsgIgnored25E, kMsgListDoubleClick, kMsgGaugeWindow,
                     kMsgPopoutClosed}) {
    ASSERT_NE(FindMainMessage(m), nullptr);
    EXPECT_EQ(FindMainMessage(m)->route, MessageRoute::kNoOp);
  }
}

namespace {
std::string ReadAll(const std::filesystem::path& p) {
  std::stringstream ss;
  ss << std::ifstream(p).rdbuf();
  return ss.str();
}
}  // namespace

TEST(SettingsFile, FirstStartMakesTheFileThenReadsIt) {
  std::string t = (std::filesystem::temp_directory_path() / "qv_mainwnd_XXXXXX").string();
  const std::filesystem::path dir = mkdtemp(t.data());
  const std::string ini = (dir / kSettingsFileName).string();
  StartupSettings st = LoadStartupSettings(dir.string(), "/opt/elsewhere");
  EXPECT_TRUE(st.created);
  EXPECT_EQ(ReadAll(ini), "[DISPLAY]\nINFOCHECK=31\nASPECT=on\nVOLUME=65535\n");
  EXPECT_TRUE(st.keepAspect);
  EXPECT_EQ(st.volume, 65535);

  // An existing file is read as it is and never rewritten.
  const std::string mine = "[DISPLAY]\nASPECT=On\nVOLUME=0\n[DECODE]\nHW=on\n";
  std::ofstream(ini) << mine;
  st = LoadStartupSettings(dir.string(), "");
  EXPECT_FALSE(st.created);
  EXPECT_FALSE(st.keepAspect);  // the comparison is exact
  EXPECT_EQ(st.volume, 0);
  EXPECT_TRUE(st.hardwareDecoding);
  EXPECT_EQ(ReadAll(ini), mine);

  // Started from the file-system root: the program's folder, never "/".
  std::filesystem::remove(ini);
  EXPECT_EQ(LoadStartupSettings("/", dir.string()).path, ini);
  EXPECT_TRUE(std::filesystem::exists(ini));
  std::filesystem::remove_all(dir);

  EXPECT_EQ(VolumeFromText(""), 65535);
  EXPECT_EQ(VolumeFromText("70000"), 65535);
  EXPECT_EQ(VolumeFromText("99999999999"), 65535);
  EXPECT_EQ(VolumeFromText("-5"), 0);
}

TEST(WindowRules, HitTestAndDragRestore) {
  const Rect w(100, 50, 1220, 747);
  FrameState st{true, false, false};
  EXPECT_EQ(MainWindowHitTest(w, {106, 56}, 1.0f, st), skin::kHitCaption);
  EXPECT_EQ(MainWindowHitTest(w, {105, 60}, 1.0f, st), skin::kHitClient);   // the side strip resizes
  EXPECT_EQ(MainWindowHitTest(w, {500, 77}, 1.0f, st), skin::kHitClient);   // below the band
  EXPECT_EQ(MainWindowHitTest(w, {500, 80}, 1.5f, st), skin::kHitCaption);  // the band scales
  st.maximised = true;
  EXPECT_EQ(MainWindowHitTest(w, {500, 60}, 1.0f, st), skin::kHitClient);
  EXPECT_EQ(MainWindowHitTest(w, {500, 60}, 1.0f, {true, true, false}), skin::kHitClient);
  EXPECT_FALSE(MainWindowHitTest(w, {500, 60}, 1.0f, {false, false, false}));

  EXPECT_FALSE(DragRestoreDue({10, 10}, {14, 6}, 1.0f));
  EXPECT_TRUE(DragRestoreDue({10, 10}, {10, 5}, 1.0f));
  EXPECT_FALSE(DragRestoreDue({10, 10}, {16, 10}, 1.5f));

  EXPECT_FALSE(MonitorRefitDue(-1.0f, Rect(0, 0, 10, 10), Rect(0, 0, 20, 20)));  // before the first layout
  EXPECT_TRUE(MonitorRefitDue(1.0f, Rect(0, 0, 10, 10), Rect(0, 0, 20, 20)));
}

TEST(CommandGuard, MarginFollowsTheFormula) {
  auto formula = [](int k, float v) { return -static_cast<int64_t>(std::trunc(k * (-1000) / 29.1 / v)); };
  // The default factor, a float just above 1000 / 29.1, lands just below a whole number.
  EXPECT_EQ(GuardMargin(0, 0.0f), 19);
  EXPECT_EQ(GuardMargin(2, 0.0f), 39);
  EXPECT_EQ(GuardMargin(4, 0.0f), 79);
  for (float v : {1.0f, 2.5f, 33.3667f}) {
    EXPECT_EQ(GuardMargin(-2, v), formula(20, v));
    EXPECT_EQ(GuardMargin(2, v), formula(40, v));
    EXPECT_EQ(GuardMargin(4, v), formula(80, v));
  }
  EXPECT_EQ(GuardMargin(0, 1e-30f), 0);

  GuardInput g{false, true, 2, 1000 - 19, 1000, 0, 0.0f};
  EXPECT_TRUE(IsCommandBlocked(g));
  g.position = 1000 - 20;
  EXPECT_FALSE(IsCommandBlocked(g));
  g.playState = 3;
  g.position = 999;
  EXPECT_FALSE(IsCommandBlocked(g));  // paused: never
  g.nearEndLatch = true;
  EXPECT_TRUE(IsCommandBlocked(g));   // latched: always
}

TEST(PaneMenu, ItemsByStateAndMode) {
  auto ids = [](const PaneMenuInput& in) {
    std::vector<int> out;
    for (const auto& i : BuildPaneMenu(in)) out.push_back(i.separator ? 0 : i.id * 1000 + i.text);
    return out;
  };
  auto item = [](const PaneMenuInput& in, int id) {
    auto m = BuildPaneMenu(in);
    return *std::find_if(m.begin(), m.end(), [&](auto& i) { return i.id == id; });
  };
  PaneMenuInput in;
  in.playState = 1;
  EXPECT_EQ(ids(in), (std::vector<int>{38002083, 0, 38006086, 38013084, 0, 38009169, 38015147, 0, 38011081}));
  in.playState = 2;
  in.rateIndex = -2;
  const std::vector<int> playing = ids(in);
  EXPECT_EQ(std::vector<int>(playing.begin(), playing.begin() + 5),
            (std::vector<int>{38002082, 38000087, 38004079, 38003085, 0}));
  EXPECT_TRUE(item(in, 38003).disabled);
  EXPECT_FALSE(item(in, 38004).disabled);
  in.rateIndex = 2;
  EXPECT_FALSE(item(in, 38003).disabled);
  EXPECT_TRUE(item(in, 38004).disabled);

  in = {};
  in.playState = 3;
  in.fullScreen = true;
  in.frontAspectMode = 1;
  in.mirrorChecked = in.frontPane = true;
  EXPECT_EQ(ids(in), (std::vector<int>{38002083, 38000087, 38200089, 0, 38009169, 38015147}));
  EXPECT_TRUE(item(in, 38009).checked);
  EXPECT_TRUE(item(in, 38009).disabled);
  in.frontAspectMode = 2;
  EXPECT_EQ(ids(in).size(), 5u);
  EXPECT_EQ(MeasurePaneMenuItem(true, 1.5f), (Size{330, 30}));
}

namespace {
// The pane's timers on a clock that moves only when the test says.
struct FakeClock : PaneTimers {
  int64_t now = 0;
  std::map<int, int64_t> due;
  PaneClickMachine* pane = nullptr;
  int zooms = 0;
  bool released = false;
  void Start(int id, int ms) override { due[id] = now + ms; }
  void Kill(int id) override { due.erase(id); }
  void Advance(int64_t ms) {
    for (now += ms; !due.empty();) {
      auto next = std::min_element(due.begin(), due.end(), [](auto& a, auto& b) { return a.second < b.second; });
      if (next->second > now) break;
      PaneClickEffect e = pane->OnTimer(next->first);
      zooms += e.zoomAtPoint;
      released |= e.releaseCapture;
    }
  }
};
}  // namespace

TEST(PaneClicks, SingleClickWaitsDoubleClickNeverDelivers) {
  FakeClock clock;
  PaneClickMachine pane(clock, 0, 500);
  clock.pane = &pane;
  PaneOwnerState owner{0, false, true, true, true};

  pane.OnButtonDown({30, 40});
  clock.Advance(80);
  pane.OnButtonUp({30, 40});
  clock.Advance(419);
  EXPECT_EQ(clock.zooms, 0);  // not before the double-click time
  clock.Advance(1);
  EXPECT_EQ(clock.zooms, 1);
  clock.Advance(80);
  EXPECT_TRUE(clock.released);

  pane.OnButtonDown({1, 1});
  pane.OnButtonUp({1, 1});
  clock.Advance(100);
  PaneClickEffect e = pane.OnDoubleClick(owner);
  EXPECT_TRUE(e.toggleFullScreen && e.fromPane);
  pane.OnButtonUp({1, 1});
  clock.Advance(2000);
  EXPECT_EQ(clock.zooms, 1);
  pane.OnButtonDown({2, 2});  // the next click works as the first did
  pane.OnButtonUp({2, 2});
  clock.Advance(500);
  EXPECT_EQ(clock.zooms, 2);

  // Only the front pane outside zoom mode toggles; without a pair not as the pane's request.
  EXPECT_FALSE(PaneClickMachine(clock, 1, 500).OnDoubleClick(owner).toggleFullScreen);
  EXPECT_FALSE(pane.OnDoubleClick({0, true, true, true, true}).toggleFullScreen);
  EXPECT_FALSE(pane.OnDoubleClick({0, false, true, true, false}).fromPane);
}

// ---------------------------------------------------------------- playback rules

namespace {

// The enabled command ids of a row of the enable rules.
std::vector<int> Enabled(const mainwnd::ButtonStateInput& in) {
  const mainwnd::ButtonStates on = mainwnd::DecideButtonStates(in);
  std::vector<int> ids;
  for (int i = 0; i < mainwnd::kCommandButtonCount; ++i) {
    if (on[i]) ids.push_back(38000 + i);
  }
  return ids;
}

}  // namespace

TEST(PlaybackRules, ButtonStatesFollowTheTable) {
  using In = mainwnd::ButtonStateInput;
  // Empty list: browse, and CSV only for a card.
  EXPECT_EQ(Enabled(In{}), (std::vector<int>{38011}));
  In card;
  card.notACard = false;
  EXPECT_EQ(Enabled(card), (std::vector<int>{38011, 38014}));

  // One row, stopped, not data-ready, folder source, rear failed: no
  // previous/next, no play, still, zoom, join or mirror.
  In one;
  one.rows = 1;
  one.currentRow = 0;
  one.playState = 1;
  one.sourceMode = 2;
  EXPECT_EQ(Enabled(one), (std::vector<int>{38010, 38011, 38012, 38013, 38015}));
  one.playState = 2;  // previous/next stay off in every state
  const auto playing = Enabled(one);
  EXPECT_EQ(std::count(playing.begin(), playing.end(), 38001) + std::count(playing.begin(), playing.end(), 38005), 0);

  // Middle row, paused, data-ready, card, rear open: to-start, both
  // neighbours, play, still, join, zoom, mirror; no rate buttons.
  In mid;
  mid.rows = 3;
  mid.currentRow = 1;
  mid.playState = 3;
  mid.dataReady = true;
  mid.sourceMode = 1;
  mid.notACard = false;
  mid.rearOpenResult = 1;
  EXPECT_EQ(Enabled(mid), (std::vector<int>{38000, 38001, 38002, 38005, 38006, 38007, 38008, 38009, 38010, 38011,
                                            38012, 38013, 38014, 38015}));
  // Playing at the rate limits: slower off at -2 and below, faster off at 2
  // and above; a file source cannot delete.
  mid.playState = 2;
  mid.sourceMode = 3;
  for (int rate : {-4, -2, 1, 2, 4}) {
    mid.rateIndex = rate;
    const auto on = Enabled(mid);
    auto has = [&](int id) { return std::find(on.begin(), on.end(), id) != on.end(); };
    EXPECT_EQ(has(38003), rate > -2) << rate;
    EXPECT_EQ(has(38004), rate < 2) << rate;
    EXPECT_FALSE(has(38012));
    EXPECT_FALSE(has(38007));
  }
  // Last row: next off; first row: previous off.
  mid.currentRow = 2;
  const auto last = Enabled(mid);
  EXPECT_EQ(std::count(last.begin(), last.end(), 38005), 0);
  mid.currentRow = 0;
  const auto first = Enabled(mid);
  EXPECT_EQ(std::count(first.begin(), first.end(), 38001), 0);
}

TEST(PlaybackRules, RatesNoticesSeeksAndTheTick) {
  EXPECT_EQ(mainwnd::DefaultRateCode("007_100200AT_F.MP4", ""), -2);
  EXPECT_EQ(mainwnd::DefaultRateCode("", "007_100200AT_R.MP4"), -2);
  EXPECT_EQ(mainwnd::DefaultRateCode("001_091520AN_F.MP4", "001_091520AN_R.MP4"), 1);
  EXPECT_EQ(mainwnd::RateLabelEntry(-4), 61);
  EXPECT_EQ(mainwnd::RateLabelEntry(4), 59);
  EXPECT_EQ(mainwnd::RateLabelEntry(3), 0);

  // Two players count two notices; a one-camera pair completes on its first.
  int counter = 0;
  EXPECT_FALSE(mainwnd::CountPairNotice(counter, 2));
  EXPECT_TRUE(mainwnd::CountPairNotice(counter, 2));
  EXPECT_EQ(counter, 0);
  EXPECT_TRUE(mainwnd::CountPairNotice(counter, 1));
  EXPECT_FALSE(mainwnd::CountPairNotice(counter, 0));

  // Seeks stop 20/40/80 units before the end and never below 0.
  EXPECT_EQ(mainwnd::SeekTarget(1000, 300, 1), 280);
  EXPECT_EQ(mainwnd::SeekTarget(1000, 300, 2), 260);
  EXPECT_EQ(mainwnd::SeekTarget(1000, 300, 4), 220);
  EXPECT_EQ(mainwnd::SeekTarget(100, 300, 1), 100);
  EXPECT_EQ(mainwnd::SeekTarget(10, 15, 4), 0);
  EXPECT_EQ(mainwnd::ClampDisplay(500, 0, 300), 299);
  EXPECT_EQ(mainwnd::ClampDisplay(5, 0, 0), 0);

  // The tick leads by 3 steps, and waits while the player is away from the
  // last requested position (margin duration / 1000 + 30).
  EXPECT_EQ(mainwnd::TickDisplayPosition(0, -1, 300, 1), -1);
  EXPECT_EQ(mainwnd::TickDisplayPosition(100, -1, 300, 1), 106);
  EXPECT_EQ(mainwnd::TickDisplayPosition(100, -1, 300, 2), 109);
  EXPECT_EQ(mainwnd::TickDisplayPosition(100, -1, 300, -2), 103);
  EXPECT_EQ(mainwnd::TickDisplayPosition(100, 200, 300, 1), -1);
  EXPECT_EQ(mainwnd::TickDisplayPosition(180, 200, 300, 1), 186);
}

// A pair thread starts while the one before it still reads (a slow card):
// the start does not wait for it, and its work runs once that one ended; a
// prepare's once the prefetch under way ended too.
TEST(WindowThreads, APairThreadStartsWithoutWaitingForTheOneBefore) {
  mainwnd::WindowThreads threads;
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  std::vector<int> order;
  threads.StartPairThread(mainwnd::WindowThreads::kPrefetch, [&] {
    std::unique_lock<std::mutex> lock(mutex);
    // A start that waited for this thread would leave it waiting: -1.
    order.push_back(released.wait_for(lock, std::chrono::seconds(60), [&] { return release; }) ? 1 : -1);
  });
  for (int n : {2, 3}) {
    threads.StartPairThread(n == 2 ? mainwnd::WindowThreads::kPrefetch : mainwnd::WindowThreads::kPrepare, [&, n] {
      std::lock_guard<std::mutex> lock(mutex);
      order.push_back(n);
    });
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  released.notify_all();
  threads.JoinPairThreads();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}
