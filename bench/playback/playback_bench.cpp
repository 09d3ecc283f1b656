// Playback control's costs in the main window (offscreen, timers on a fake
// clock so that the 500 ms debounce is left out): from the open timer of a
// list selection to the first frame painted in both panes and to the drive
// data bound, over two 1080p pairs taken in turn (warm cache); the tick
// handler (with the paints it causes) while a one-hour pair plays; and
// collecting and sending the event points of that hour, made dense.
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/maphost.h"
#include "mainwnd/tesseldlg.h"
#include "platform/numtext.h"
#include "platform/qt/wintimer.h"
#include "player/playerapi.h"
#include "player/videopane.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

// A folder of `count` pairs made once by mkrec with `args`.
std::string MadeFolder(const std::string& name, const std::string& args) {
  const fs::path dir = fs::path(QV_BENCH_CACHE) / name;
  const fs::path done = dir / ".complete";
  if (!fs::exists(done)) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cmd = std::string(QV_MKREC) + " pair '" + dir.string() + "' " + args + " >/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    if (!qvtest::WriteText(done.string(), "")) return {};
  }
  return dir.string();
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
    const bool ok = qvtest::WaitFor(
        [&] {
          return w->BindCount() > binds && w->PairBound() && w->Pane(0)->FramesPainted() > painted[0] &&
                 w->Pane(1)->FramesPainted() > painted[1];
        },
        10000);
    if (ms) *ms = t.nsecsElapsed() / 1e6;
    return ok;
  }
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The medians, printed against their goals at the end.
double g_selectMs = -1, g_tickMs = -1;

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
  state.counters["median_ms"] = Median(times);
  g_selectMs = Median(times);
}
BENCHMARK(BM_SelectionToBound)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// One window on the one-hour pair for the two benchmarks below.
Window* HourWindow() {
  static Window* win = [] {
    const std::string folder =
        MadeFolder("hour", "--count 1 --seconds 3600 --front 160x90 --rear 160x90 --fps 30 --no-audio");
    auto* made = new Window;
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
  state.counters["median_ms"] = Median(times);
  g_tickMs = Median(times);
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
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qvtest::App();
  // The plain map page: the costs measured here are the window's own.
  qv::SetWebEngineUsableForTests(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_selectMs >= 0)
    std::printf("selection to both panes painted and the data bound: median %s ms (for information)\n",
                qv::FormatFixed(g_selectMs, 1).c_str());
  if (g_tickMs >= 0)
    std::printf("tick with its paints on a one-hour pair: median %s ms (goal <= 10 ms, a third of the 30 ms tick: %s)\n",
                qv::FormatFixed(g_tickMs, 2).c_str(), g_tickMs <= 10.0 ? "met" : "MISSED");
  if (Window* win = HourWindow()) win->w->Shutdown();
  return 0;
}
