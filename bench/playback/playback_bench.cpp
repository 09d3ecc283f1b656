// Playback control's costs in the main window (offscreen, timers on a fake
// clock so that the 500 ms debounce is left out): from the open timer of a
// list selection to the first frame painted in both panes and to the drive
// data bound, over two 1080p pairs taken in turn (warm cache); the tick
// handler (with the paints it causes) while a one-hour pair plays; and
// collecting and sending the event points of that hour, made dense.  And
// the window thread while pairs open, on the tests' slow card and from the
// page cache: the longest round from a folder click, a row click and the
// next-pair command until both panes show the pair's first frame (the
// process's first open included), and until the pair is bound.
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/maphost.h"
#include "mainwnd/tesseldlg.h"
#include "platform/filesource.h"
#include "platform/heap.h"
#include "platform/numtext.h"
#include "platform/qt/wintimer.h"
#include "player/playerapi.h"
#include "player/videopane.h"
#include "testsupport.h"
#include "windowbench.h"

namespace fs = std::filesystem;

namespace {

// A folder of `count` pairs made once by mkrec with `args`.
std::string MadeFolder(const std::string& name, const std::string& args) {
  return qvtest::MadeOnce(std::string(QV_BENCH_CACHE) + "/" + name, QV_MKREC, "pair " + args);
}

struct Window {
  qvtest::TempDir settings;
  qv::FakeTimerClock clock;
  std::unique_ptr<qv::CtesselDlg> w;

  bool Open(const std::string& folder) {
    w = std::make_unique<qv::CtesselDlg>(&clock);
    w->OnInitDialog(settings.path());
    w->show();
    qvtest::Pump(200);
    // mkrec writes the pairs into a date folder: that folder is the source,
    // whose own recordings are listed.
    std::string source = folder;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
      if (e.is_directory()) source = e.path().string();
    w->Browser()->OpenSource(source, qv::SourceMode::kFolder);
    w->Browser()->FinishScan();
    return !w->Playlist().empty();
  }
  // Selects a row and fires the open timer; true once both panes painted
  // a frame and the drive data is bound.  `ms` gets the time from the timer.
  // From there the window's timers follow the real time (the bind's pause
  // after the rate change is one of them).
  bool Select(int row, double* ms) {
    {
      std::lock_guard<std::recursive_mutex> lock(w->PlaylistMutex());
      w->OnListRowSelected(row);
    }
    const int binds = w->BindCount();
    const uint64_t painted[2] = {w->Pane(0)->FramesPainted(), w->Pane(1)->FramesPainted()};
    QElapsedTimer t;
    t.start();
    clock.Advance(500);
    int64_t followed = 0;
    const bool ok = qvtest::WaitFor(
        [&] {
          const int64_t now = t.elapsed();
          if (now > followed) clock.Advance(now - followed);
          followed = std::max(followed, now);
          return w->BindCount() > binds && w->PairBound() && w->Pane(0)->FramesPainted() > painted[0] &&
                 w->Pane(1)->FramesPainted() > painted[1];
        },
        10000);
    if (ms) *ms = t.nsecsElapsed() / 1e6;
    return ok;
  }
};

// The medians, printed against their goals at the end.
double g_selectMs = -1, g_tickMs = -1;

// ---------------------------------------------------------------- the window thread while pairs open

constexpr double kOpeningRoundGoalMs = 50.0;
constexpr int kCardDelayUs = 1000;  // the tests' slow card: 1 ms before every open and read

// The longest window-thread rounds of one way of choosing a pair: until
// both panes show its first frame and until the pair is bound (its drive
// data read, its rate set and the pause after it over, its tick running).
struct OpeningRounds {
  double toFrame = 0;
  double toBound = 0;
};

// Runs `act` as the user's action on the window thread, then the events,
// with the window's timers moving in 10 ms steps as real ones would, until
// both panes painted a new frame and the pair is bound.  A round is one
// run of the events (or the action); the round in which the frame shows
// counts up to the first message handled after it.  False when the pair
// does not show and bind in time.
bool TimeOpening(Window& win, const std::function<void()>& act, OpeningRounds* rounds) {
  qv::CtesselDlg& w = *win.w;
  const int binds = w.BindCount();
  // The panes may paint the pair being left: a frame counts once both
  // players of the new pair have said they are ready.
  int ready = 0;
  uint64_t painted[2] = {};
  const auto shown = [&] {
    return ready >= 2 && w.Pane(0)->FramesPainted() > painted[0] && w.Pane(1)->FramesPainted() > painted[1];
  };
  const auto bound = [&] { return w.BindCount() > binds && w.PairBound(); };
  double longest = 0;
  bool frame = false;
  QElapsedTimer round;
  const auto frameShows = [&](double ms) {
    if (frame || !shown()) return;
    frame = true;
    rounds->toFrame = std::max({rounds->toFrame, longest, ms});
  };
  w.SetMessageObserver([&](uint32_t m, uintptr_t, intptr_t) {
    frameShows(round.nsecsElapsed() / 1e6);
    if (m != qv::mainwnd::kMsgPaneTopologyReady) return;
    ++ready;
    painted[0] = w.Pane(0)->FramesPainted();
    painted[1] = w.Pane(1)->FramesPainted();
  });
  round.start();
  act();
  longest = round.nsecsElapsed() / 1e6;
  QElapsedTimer limit;
  limit.start();
  while (!(frame && bound()) && limit.elapsed() < 20000) {
    round.start();
    win.clock.Advance(10);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = round.nsecsElapsed() / 1e6;
    frameShows(ms);
    longest = std::max(longest, ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  w.SetMessageObserver({});
  if (!(frame && bound())) return false;
  rounds->toBound = std::max(rounds->toBound, longest);
  return true;
}

// By card: [0] the page cache, [1] the slow card.  The first open is the
// folder click on the slow card.
OpeningRounds g_firstOpen;
OpeningRounds g_folderClick[2], g_rowClick[2], g_nextPair[2];

// The longest round until a pair is bound, of every way and card.
double WorstToBound() {
  return std::max({g_firstOpen.toBound, g_folderClick[0].toBound, g_folderClick[1].toBound, g_rowClick[0].toBound,
                   g_rowClick[1].toBound, g_nextPair[0].toBound, g_nextPair[1].toBound});
}
bool g_openingMeasured = false;

void BM_WindowThreadWhileOpening(benchmark::State& state) {
  const std::string folder = MadeFolder("opening", "--count 3 --seconds 8 --front 1920x1080 --rear 1280x720 --fps 30");
  Window win;
  if (folder.empty()) {
    state.SkipWithError("cannot make the pairs (mkrec pair)");
    return;
  }
  win.w = std::make_unique<qv::CtesselDlg>(&win.clock);
  win.w->OnInitDialog(win.settings.path());
  win.w->show();
  qvtest::Pump(200);
  // The card's folder is the source: its date folder is the tree's item
  // that a folder click chooses.
  qv::CtesselDlg& w = *win.w;
  w.Browser()->OpenSource(folder, qv::SourceMode::kFolder);
  w.Browser()->FinishScan();
  QTreeWidgetItem* top = w.Browser()->Tree()->topLevelItem(0);
  QTreeWidgetItem* date = top && top->childCount() ? top->child(0) : top;
  if (!date || !qvtest::WaitFor([&] { return !w.Browser()->Filling(); }, 10000)) {
    state.SkipWithError("cannot open the card");
    return;
  }
  qvtest::Pump(300);
  const auto folderClick = [&] {
    w.Browser()->Tree()->SelectQuietly(date);
    w.OnFolderSelected(date, true);
  };
  const auto rowClick = [&] {
    std::lock_guard<std::recursive_mutex> lock(w.PlaylistMutex());
    w.OnListRowSelected(1);
  };
  const auto nextPair = [&] { w.OnStepPairCommand(true); };
  bool ok = true;
  for (auto _ : state) {
    for (int slow = 1; slow >= 0 && ok; --slow) {
      qv::SetFileSourceDelay(std::chrono::microseconds(slow ? kCardDelayUs : 0));
      for (int i = 0; i < 3 && ok; ++i) {
        OpeningRounds& folderRounds = !g_openingMeasured ? g_firstOpen : g_folderClick[slow];
        g_openingMeasured = true;
        ok = TimeOpening(win, folderClick, &folderRounds) && TimeOpening(win, rowClick, &g_rowClick[slow]) &&
             TimeOpening(win, nextPair, &g_nextPair[slow]);
      }
    }
    qv::SetFileSourceDelay(std::chrono::microseconds(0));
  }
  if (!ok) {
    state.SkipWithError("a pair did not show or bind in time");
    return;
  }
  state.counters["first_open_ms"] = g_firstOpen.toFrame;
  state.counters["slow_folder_ms"] = g_folderClick[1].toFrame;
  state.counters["slow_row_ms"] = g_rowClick[1].toFrame;
  state.counters["slow_next_ms"] = g_nextPair[1].toFrame;
  state.counters["bound_worst_ms"] = WorstToBound();
  w.Shutdown();
}
// First of all, so that its first open is the process's.
BENCHMARK(BM_WindowThreadWhileOpening)->Iterations(1)->Unit(benchmark::kMillisecond);

void PrintOpeningRounds() {
  if (!g_openingMeasured) return;
  const double worst = std::max({g_firstOpen.toFrame, g_folderClick[1].toFrame, g_rowClick[1].toFrame,
                                 g_nextPair[1].toFrame});
  const auto ms = [](double v) { return qv::FormatFixed(v, 1) + " ms"; };
  std::printf("window thread's longest round until the first frame shows, at 1 ms per read: first open (folder "
              "click) %s, folder click %s, row click %s, next pair %s (goal < %s: %s)\n",
              ms(g_firstOpen.toFrame).c_str(), ms(g_folderClick[1].toFrame).c_str(), ms(g_rowClick[1].toFrame).c_str(),
              ms(g_nextPair[1].toFrame).c_str(), ms(kOpeningRoundGoalMs).c_str(),
              worst < kOpeningRoundGoalMs ? "met" : "NOT met");
  std::printf("window thread's longest round until the first frame shows, page cache: folder click %s, row click %s, "
              "next pair %s (for information)\n",
              ms(g_folderClick[0].toFrame).c_str(), ms(g_rowClick[0].toFrame).c_str(),
              ms(g_nextPair[0].toFrame).c_str());
  const double worstBound = WorstToBound();
  std::printf("window thread's longest round until the pair is bound: at 1 ms per read: first open (folder click) %s, "
              "folder click %s, row click %s, next pair %s; page cache: folder click %s, row click %s, next pair %s "
              "(goal < %s: %s)\n",
              ms(g_firstOpen.toBound).c_str(), ms(g_folderClick[1].toBound).c_str(), ms(g_rowClick[1].toBound).c_str(),
              ms(g_nextPair[1].toBound).c_str(), ms(g_folderClick[0].toBound).c_str(), ms(g_rowClick[0].toBound).c_str(),
              ms(g_nextPair[0].toBound).c_str(), ms(kOpeningRoundGoalMs).c_str(),
              worstBound < kOpeningRoundGoalMs ? "met" : "NOT met");
}

void BM_SelectionToBound(benchmark::State& state) {
  const std::string folder = MadeFolder("fullhd", "--count 2 --seconds 10 --front 1920x1080 --rear 1920x1080 --fps 30");
  Window win;
  if (folder.empty() || !win.Open(folder) || win.w->Playlist().size() < 2) {
    state.SkipWithError("cannot make or open the pairs (mkrec pair)");
    return;
  }
  // Warm both pairs once.
  win.Select(0, nullptr);
  win.Select(1, nullptr);
  int row = 0;
  std::vector<double> times;
  for (auto _ : state) {
    double ms = 0;
    if (!win.Select(row, &ms)) {
      state.SkipWithError("not bound");
      break;
    }
    row ^= 1;
    times.push_back(ms);
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["median_ms"] = qvtest::Median(times);
  if (!state.error_occurred()) g_selectMs = qvtest::Median(times);
}
BENCHMARK(BM_SelectionToBound)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// One window on the one-hour pair for the two benchmarks below, made by
// the first of them that runs; main() closes it (and its settings folder).
std::unique_ptr<Window> g_hourWindow;

Window* HourWindow() {
  static Window* win = [] {
    const std::string folder =
        MadeFolder("hour", "--count 1 --seconds 3600 --front 160x90 --rear 160x90 --fps 30 --no-audio");
    g_hourWindow = std::make_unique<Window>();
    Window* made = g_hourWindow.get();
    if (folder.empty() || !made->Open(folder) || !made->Select(0, nullptr)) return static_cast<Window*>(nullptr);
    // Dense events: a G mark every 2 s and a hard braking every 5 s, all of
    // them with a position, and the map page ready so that every point
    // becomes a script.
    qv::PlayerApi_LockAll();
    if (std::vector<qv::SensorSample>* samples = qv::PlayerApi_GetTrackData2()) {
      for (size_t r = 0; r < samples->size(); ++r) {
        (*samples)[r].axis = r % 20 == 0 ? 1 : 0;
        (*samples)[r].kind = r % 50 == 25 ? qv::kEventBraking : qv::kEventNone;
      }
    }
    qv::PlayerApi_UnlockAll();
    made->w->Port().Post(qv::mainwnd::kMsgMapLoaded);
    qvtest::Pump(200);
    return made;
  }();
  return win;
}

void BM_TickOneHour(benchmark::State& state) {
  Window* win = HourWindow();
  if (!win) {
    state.SkipWithError("cannot make or open the one-hour pair");
    return;
  }
  win->w->BindAndStart();
  std::vector<double> times;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    win->w->OnTick();
    QCoreApplication::processEvents();  // the paints the tick asked for
    const double ms = t.nsecsElapsed() / 1e6;
    times.push_back(ms);
    state.SetIterationTime(ms / 1000.0);
    qvtest::Pump(25);
  }
  qv::PlayerApi_Pause(2);
  state.counters["median_ms"] = qvtest::Median(times);
  g_tickMs = qvtest::Median(times);
  int64_t indexSize = 0;
  {
    qv::DriveDataView view;
    if (view.TimeIndex()) indexSize = static_cast<int64_t>(view.TimeIndex()->size());
  }
  state.counters["time_index"] = static_cast<double>(indexSize);
}
BENCHMARK(BM_TickOneHour)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SendEventPointsOneHour(benchmark::State& state) {
  Window* win = HourWindow();
  if (!win) {
    state.SkipWithError("cannot make or open the one-hour pair");
    return;
  }
  for (auto _ : state) win->w->SendEventPoints(win->w->CurrentIndex(), true);
  state.counters["points"] = static_cast<double>(win->w->EventPointCount());
}
BENCHMARK(BM_SendEventPointsOneHour)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return qvtest::RunWindowBenchmarks(argc, argv, [] {
    PrintOpeningRounds();
    if (g_selectMs >= 0)
      std::printf("selection to both panes painted and the data bound: median %s ms (for information)\n",
                  qv::FormatFixed(g_selectMs, 1).c_str());
    if (g_tickMs >= 0)
      std::printf("tick with its paints on a one-hour pair: median %s ms (goal <= 10 ms, a third of the 30 ms tick: %s)\n",
                  qv::FormatFixed(g_tickMs, 2).c_str(), g_tickMs <= 10.0 ? "met" : "MISSED");
    if (g_hourWindow && g_hourWindow->w) g_hourWindow->w->Shutdown();
    g_hourWindow.reset();
  });
}
