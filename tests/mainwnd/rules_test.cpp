// The main window's rules: messages, the settings file at start-up, the hit
// test, the command guard, the context menu and the panes' clicks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "mainwnd/mainmessages.h"
#include "mainwnd/paneclicks.h"
#include "mainwnd/panemenu.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/windowrules.h"
#include "mainwnd/mainlayout.h"

using namespace qv;
using namespace qv::mainwnd;

TEST(MainMessages, NoSenderNoHandler) {
  for (uint32_t n : {0x1u, 0x3u, 0x4u, 0x7u, 0x321u}) EXPECT_EQ(FindMainMessage(kAppRange + n), nullptr) << n;
  for (uint32_t m : {kMsgIgnored2, kMsgIgnored25D, kMsgIgnored25E, kMsgListDoubleClick, kMsgGaugeWindow,
                     kMsgPopoutClosed}) {
    ASSERT_NE(FindMainMessage(m), nullptr);
    EXPECT_EQ(FindMainMessage(m)->route, MessageRoute::kNoOp);
  }
  EXPECT_EQ(FindMainMessage(kMsgPostInit)->route, MessageRoute::kPostedByWindow);
  EXPECT_EQ(FindMainMessage(kMsgLogoShow), nullptr);  // the logo's, not the main window's
}

namespace {
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string t = (std::filesystem::temp_directory_path() / "qv_mainwnd_XXXXXX").string();
    path = mkdtemp(t.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
};
std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

TEST(SettingsFile, FirstStartMakesTheFileThenReadsIt) {
  TempFolder dir;
  const std::string ini = (dir.path / kSettingsFileName).string();
  StartupSettings st = LoadStartupSettings(dir.path.string(), "/opt/elsewhere");
  EXPECT_TRUE(st.created);
  EXPECT_EQ(st.path, ini);
  EXPECT_EQ(ReadAll(ini), "[DISPLAY]\nINFOCHECK=31\nASPECT=on\nVOLUME=65535\n");
  EXPECT_TRUE(st.keepAspect);
  EXPECT_EQ(st.volume, 65535);
  EXPECT_FALSE(st.hardwareDecoding);

  // An existing file is read as it is, never rewritten.
  std::ofstream(ini) << "[DISPLAY]\nASPECT=On\nVOLUME=0\n[DECODE]\nHW=on\n";
  st = LoadStartupSettings(dir.path.string(), "");
  EXPECT_FALSE(st.created);
  EXPECT_FALSE(st.keepAspect);  // the comparison is exact
  EXPECT_EQ(st.volume, 0);
  EXPECT_TRUE(st.hardwareDecoding);
  EXPECT_EQ(ReadAll(ini), "[DISPLAY]\nASPECT=On\nVOLUME=0\n[DECODE]\nHW=on\n");

  // Started from the file-system root: the program's folder, never "/".
  std::filesystem::remove(ini);
  st = LoadStartupSettings("/", dir.path.string());
  EXPECT_EQ(st.path, ini);
  EXPECT_TRUE(std::filesystem::exists(ini));
}

TEST(SettingsFile, VolumeText) {
  EXPECT_EQ(VolumeFromText(""), 65535);
  EXPECT_EQ(VolumeFromText("0"), 0);
  EXPECT_EQ(VolumeFromText("70000"), 65535);
  EXPECT_EQ(VolumeFromText("-5"), 0);
  EXPECT_EQ(VolumeFromText("99999999999"), 65535);
  EXPECT_EQ(VolumeFromText("1200"), 1200);
}

TEST(WindowRules, HitTestAndDragRestore) {
  const Rect w(100, 50, 1220, 747);
  FrameState st{true, false, false};
  EXPECT_EQ(MainWindowHitTest(w, {500, 60}, 1.0f, st), kHitCaption);
  EXPECT_EQ(MainWindowHitTest(w, {106, 56}, 1.0f, st), kHitCaption);
  EXPECT_EQ(MainWindowHitTest(w, {105, 60}, 1.0f, st), kHitClient);   // side strip
  EXPECT_EQ(MainWindowHitTest(w, {1214, 60}, 1.0f, st), kHitClient);  // right edge strip
  EXPECT_EQ(MainWindowHitTest(w, {500, 77}, 1.0f, st), kHitClient);   // below the band
  EXPECT_EQ(MainWindowHitTest(w, {500, 80}, 1.5f, st), kHitCaption);  // the band scales
  st.maximised = true;
  EXPECT_EQ(MainWindowHitTest(w, {500, 60}, 1.0f, st), kHitClient);
  st = {true, true, false};
  EXPECT_EQ(MainWindowHitTest(w, {500, 60}, 1.0f, st), kHitClient);
  st = {false, false, false};
  EXPECT_FALSE(MainWindowHitTest(w, {500, 60}, 1.0f, st));

  EXPECT_FALSE(DragRestoreDue({10, 10}, {14, 6}, 1.0f));
  EXPECT_TRUE(DragRestoreDue({10, 10}, {15, 10}, 1.0f));
  EXPECT_TRUE(DragRestoreDue({10, 10}, {10, 5}, 1.0f));
  EXPECT_FALSE(DragRestoreDue({10, 10}, {16, 10}, 1.5f));

  EXPECT_FALSE(MonitorRefitDue(-1.0f, Rect(0, 0, 10, 10), Rect(0, 0, 20, 20)));
  EXPECT_FALSE(MonitorRefitDue(1.0f, Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)));
  EXPECT_TRUE(MonitorRefitDue(1.0f, Rect(0, 0, 10, 10), Rect(0, 0, 20, 20)));
}

TEST(CommandGuard, MarginFollowsTheFormula) {
  auto formula = [](int k, float v) { return -static_cast<int64_t>(std::trunc(k * (-1000) / 29.1 / v)); };
  // The default factor, a float just above 1000 / 29.1, lands just below a
  // whole number.
  for (int k : {20, 40, 80}) EXPECT_EQ(formula(k, kDefaultViewFactor), k - 1);
  EXPECT_EQ(GuardMargin(0, 0.0f), 19);
  EXPECT_EQ(GuardMargin(2, 0.0f), 39);
  EXPECT_EQ(GuardMargin(4, 0.0f), 79);
  for (float v : {1.0f, 2.5f, 33.3667f, 40.0f}) {
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
  g = {false, true, 2, 5, 0, 0, 0.0f};
  EXPECT_FALSE(IsCommandBlocked(g));  // no length yet
}

namespace {
std::vector<int> Ids(const std::vector<PaneMenuItem>& m) {
  std::vector<int> ids;
  for (const auto& i : m) ids.push_back(i.separator ? 0 : i.id);
  return ids;
}
const PaneMenuItem& Find(const std::vector<PaneMenuItem>& m, int id) {
  for (const auto& i : m) {
    if (!i.separator && i.id == id) return i;
  }
  throw std::runtime_error("no item");
}
}  // namespace

TEST(PaneMenu, ItemsByStateAndMode) {
  PaneMenuInput in;
  in.playState = 1;
  EXPECT_EQ(Ids(BuildPaneMenu(in)),
            (std::vector<int>{38002, 0, 38006, 38013, 0, 38009, 38015, 0, 38011}));
  EXPECT_EQ(Find(BuildPaneMenu(in), 38002).text, 83);
  in.playState = 3;
  EXPECT_EQ(Ids(BuildPaneMenu(in)).size(), 10u);

  in.playState = 2;
  in.rateIndex = -2;
  auto m = BuildPaneMenu(in);
  EXPECT_EQ(Ids(m), (std::vector<int>{38002, 38000, 38004, 38003, 0, 38006, 38013, 0, 38009, 38015, 0, 38011}));
  EXPECT_EQ(Find(m, 38002).text, 82);
  EXPECT_TRUE(Find(m, 38003).disabled);
  EXPECT_FALSE(Find(m, 38004).disabled);
  in.rateIndex = 2;
  m = BuildPaneMenu(in);
  EXPECT_FALSE(Find(m, 38003).disabled);
  EXPECT_TRUE(Find(m, 38004).disabled);
  in.rateIndex = 0;
  in.fastForwardLock = true;
  EXPECT_TRUE(Find(BuildPaneMenu(in), 38004).disabled);

  in = {};
  in.fullScreen = true;
  in.frontAspectMode = 1;
  in.mirrorChecked = true;
  in.frontPane = true;
  m = BuildPaneMenu(in);
  EXPECT_EQ(Ids(m), (std::vector<int>{38002, 38200, 0, 38009, 38015}));
  EXPECT_EQ(Find(m, 38200).text, 89);
  EXPECT_TRUE(Find(m, 38009).checked);
  EXPECT_TRUE(Find(m, 38009).disabled);
  in.frontAspectMode = 2;
  EXPECT_EQ(Ids(BuildPaneMenu(in)), (std::vector<int>{38002, 0, 38009, 38015}));

  EXPECT_EQ(MeasurePaneMenuItem(true, 1.5f), (Size{330, 30}));
  EXPECT_EQ(MeasurePaneMenuItem(false, 1.0f), (Size{70, 20}));
}

namespace {
// Timers that fire only when the test moves the time on.
struct FakeClock : PaneTimers {
  int64_t now = 0;
  std::map<int, int64_t> due;
  PaneClickMachine* machine = nullptr;
  std::vector<PaneClickEffect> effects;
  void Start(int id, int ms) override { due[id] = now + ms; }
  void Kill(int id) override { due.erase(id); }
  void Advance(int64_t ms) {
    const int64_t end = now + ms;
    while (!due.empty()) {
      auto next = std::min_element(due.begin(), due.end(),
                                   [](auto& a, auto& b) { return a.second < b.second; });
      if (next->second > end) break;
      now = next->second;
      effects.push_back(machine->OnTimer(next->first));
    }
    now = end;
  }
  int Zooms() const {
    return static_cast<int>(std::count_if(effects.begin(), effects.end(), [](auto& e) { return e.zoomAtPoint; }));
  }
};
}  // namespace

TEST(PaneClicks, SingleClickWaitsDoubleClickNeverDelivers) {
  FakeClock clock;
  PaneClickMachine pane(clock, 0, 500);
  clock.machine = &pane;
  PaneOwnerState owner{0, false, true, true, true};

  pane.OnButtonDown({30, 40});
  clock.Advance(80);
  pane.OnButtonUp({30, 40});
  clock.Advance(419);
  EXPECT_EQ(clock.Zooms(), 0);  // not before the double-click time
  clock.Advance(1);
  ASSERT_EQ(clock.Zooms(), 1);
  EXPECT_EQ(clock.effects.back().point, (Point{30, 40}));
  clock.Advance(80);
  EXPECT_TRUE(clock.effects.back().releaseCapture);
  EXPECT_TRUE(clock.due.empty());

  clock.effects.clear();
  pane.OnButtonDown({1, 1});
  clock.Advance(50);
  pane.OnButtonUp({1, 1});
  clock.Advance(50);
  PaneClickEffect e = pane.OnDoubleClick(owner);
  EXPECT_TRUE(e.toggleFullScreen);
  EXPECT_TRUE(e.fromPane);
  pane.OnButtonUp({1, 1});
  clock.Advance(2000);
  EXPECT_EQ(clock.Zooms(), 0);
  // The next click works as the first did.
  pane.OnButtonDown({2, 2});
  pane.OnButtonUp({2, 2});
  clock.Advance(500);
  EXPECT_EQ(clock.Zooms(), 1);

  // The rear pane, or zoom mode, never toggles full screen; no pair: not from the pane.
  PaneClickMachine rear(clock, 1, 500);
  EXPECT_FALSE(rear.OnDoubleClick(owner).toggleFullScreen);
  owner.handCursor = true;
  EXPECT_FALSE(pane.OnDoubleClick(owner).toggleFullScreen);
  owner = {0, false, true, true, false};
  EXPECT_FALSE(pane.OnDoubleClick(owner).fromPane);
}
