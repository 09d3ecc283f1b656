// The window thread around rate changes (offscreen, real window timers, the
// tests' slow card at 1 ms before every open and read): on 1080p front /
// 720p rear pairs with sound, the longest round of the window thread for
//   - the rate commands: faster and slower pressed 15 times in turn, each
//     press once the one-second debounce let it through;
//   - the pause command while playing at x2 (the first pause of a burst),
//     with the events for 300 ms after it;
//   - to-start while playing at x2, with the events for 300 ms after it;
//   - a row click while playing at x2, until both panes show the new pair
//     and it is bound;
//   - a folder click while playing at x2, until both panes show its first
//     pair and it is bound.
// A round is one run of the events, or the press itself.  Medians over the
// runs against the goal; for the rate commands also the longest press alone
// (the rest of their rounds are the pair playing at x1 and x2).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidgetItem>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "eventwait.h"
#include "browser/filercontainerdlg.h"
#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/maphost.h"
#include "mainwnd/tesseldlg.h"
#include "platform/filesource.h"
#include "platform/heap.h"
#include "platform/numtext.h"
#include "player/playerapi.h"
#include "player/playerslot.h"
#include "player/videopane.h"
#include "testsupport.h"
#include "windowbench.h"

namespace fs = std::filesystem;
using namespace qv::mainwnd;

namespace {

constexpr double kRoundGoalMs = 50.0;
constexpr int kCardDelayUs = 1000;
constexpr int kRatePresses = 15;
constexpr int kAfterPressMs = 300;

// Three pairs of 60 s (1920x1080 front, 1280x720 rear, 30 fps, with sound),
// made once by mkrec; the folder holding their date folder.
std::string Card() {
  return qvtest::MadeOnce(std::string(QV_BENCH_CACHE) + "/card", QV_MKREC,
                          "pair --count 3 --seconds 60 --front 1920x1080 --rear 1280x720 --fps 30");
}

int Rate() { return qv::PlayerApi_Slot(qv::PlayerApi_GetDataSlot()).rateCode; }

// One run's longest rounds.
struct Run {
  double rates = 0;
  double ratePresses = 0;
  double pause = 0;
  double toStart = 0;
  double rowClick = 0;
  double folderClick = 0;
};

class Window {
 public:
  bool Open() {
    const std::string card = Card();
    if (card.empty()) return false;
    w_ = std::make_unique<qv::CtesselDlg>();
    w_->OnInitDialog(settings_.path());
    w_->show();
    qvtest::Pump(200);
    w_->Browser()->OpenSource(card, qv::SourceMode::kFolder);
    w_->Browser()->FinishScan();
    QTreeWidgetItem* top = w_->Browser()->Tree()->topLevelItem(0);
    date_ = top && top->childCount() ? top->child(0) : top;
    return date_ && qvtest::WaitFor([&] { return !w_->Browser()->Filling(); }, 10000);
  }
  ~Window() {
    if (w_) w_->Shutdown();
  }
  qv::CtesselDlg& W() { return *w_; }

  void Round(double* longest) {
    QElapsedTimer round;
    round.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    *longest = std::max(*longest, round.nsecsElapsed() / 1e6);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Runs the events until `done` or 20 s; false on the time-out.
  bool RunUntil(const std::function<bool()>& done, double* longest) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > 20000) return false;
      Round(longest);
    }
    return true;
  }
  void RunFor(int ms, double* longest) {
    QElapsedTimer t;
    t.start();
    RunUntil([&] { return t.elapsed() >= ms; }, longest);
  }
  // The press `act` as one round.
  void Press(const std::function<void()>& act, double* longest) {
    QElapsedTimer round;
    round.start();
    act();
    *longest = std::max(*longest, round.nsecsElapsed() / 1e6);
  }
  // `choose` a pair, then the events until both panes painted a frame of it
  // (after both its players said they are ready) and it is bound.
  bool Opens(const std::function<void()>& choose, double* longest) {
    qv::CtesselDlg& w = *w_;
    int ready = 0;
    uint64_t painted[2] = {};
    w.SetMessageObserver([&](uint32_t m, uintptr_t, intptr_t) {
      if (m != kMsgPaneTopologyReady) return;
      ++ready;
      painted[0] = w.Pane(0)->FramesPainted();
      painted[1] = w.Pane(1)->FramesPainted();
    });
    const int binds = w.BindCount();
    Press(choose, longest);
    const bool ok = RunUntil(
        [&] {
          return ready >= 2 && w.Pane(0)->FramesPainted() > painted[0] && w.Pane(1)->FramesPainted() > painted[1] &&
                 w.BindCount() > binds && w.PairBound() && !w.Opening();
        },
        longest);
    w.SetMessageObserver({});
    return ok;
  }
  bool ClickFolder(double* longest) {
    return Opens(
        [&] {
          w_->Browser()->Tree()->SelectQuietly(date_);
          w_->OnFolderSelected(date_, true);
        },
        longest);
  }
  bool ClickRow(int row, double* longest) {
    return Opens(
        [&] {
          std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
          w_->OnListRowSelected(row);
        },
        longest);
  }
  // A rate command once the debounce lets it through.
  bool RateCommand(bool faster, double* longest, double* press = nullptr) {
    if (!RunUntil([&] { return !w_->Timers().IsSet(kTimerRateDebounce); }, longest)) return false;
    bool taken = false;
    double pressMs = 0;
    Press([&] { taken = w_->RunCommand(faster ? kCmdFaster : kCmdSlower); }, &pressMs);
    *longest = std::max(*longest, pressMs);
    if (press) *press = std::max(*press, pressMs);
    return taken;
  }
  // The pair playing at x2.
  bool PlayAtDouble() {
    double ignored = 0;
    if (qv::PlayerApi_GetState(2) != qv::kSlotPlaying && !w_->RunCommand(kCmdPlayPause)) return false;
    if (!RunUntil([&] { return qv::PlayerApi_GetState(2) == qv::kSlotPlaying; }, &ignored)) return false;
    if (Rate() != 2 && !RateCommand(true, &ignored)) return false;
    RunFor(200, &ignored);
    return Rate() == 2 && qv::PlayerApi_GetState(2) == qv::kSlotPlaying;
  }

 private:
  qvtest::TempDir settings_;
  std::unique_ptr<qv::CtesselDlg> w_;
  QTreeWidgetItem* date_ = nullptr;
};

std::vector<Run> g_runs;

void BM_RateChanges(benchmark::State& state) {
  qv::SetFileSourceDelay(std::chrono::microseconds(kCardDelayUs));
  Window win;
  double ignored = 0;
  if (!win.Open() || !win.ClickFolder(&ignored)) {
    qv::SetFileSourceDelay(std::chrono::microseconds(0));
    state.SkipWithError("cannot make or open the pairs (mkrec pair)");
    return;
  }
  qv::CtesselDlg& w = win.W();
  int row = 1;
  for (auto _ : state) {
    Run r;
    const char* failed = nullptr;
    // Faster and slower in turn from x1: the last press leaves x2.
    if (!w.RunCommand(kCmdPlayPause)) failed = "play";
    for (int i = 0; i < kRatePresses && !failed; ++i)
      if (!win.RateCommand(i % 2 == 0, &r.rates, &r.ratePresses)) failed = "a rate command";
    if (!failed && Rate() != 2) failed = "the rate after the presses";
    if (!failed) {
      win.Press([&] { w.RunCommand(kCmdPlayPause); }, &r.pause);
      win.RunFor(kAfterPressMs, &r.pause);
      if (qv::PlayerApi_GetState(2) == qv::kSlotPlaying) failed = "pause";
    }
    if (!failed && !win.PlayAtDouble()) failed = "x2 before to-start";
    if (!failed) {
      win.Press([&] { w.RunCommand(kCmdToStart); }, &r.toStart);
      win.RunFor(kAfterPressMs, &r.toStart);
    }
    if (!failed && !win.PlayAtDouble()) failed = "x2 before the row click";
    if (!failed && !win.ClickRow(row, &r.rowClick)) failed = "the row click";
    row = 3 - row;
    if (!failed && !win.PlayAtDouble()) failed = "x2 before the folder click";
    if (!failed && !win.ClickFolder(&r.folderClick)) failed = "the folder click";
    if (failed) {
      state.SkipWithError((std::string("failed at ") + failed).c_str());
      break;
    }
    std::printf("run %zu: longest round: rate commands %s ms, pause %s ms, to-start %s ms, row click %s ms, "
                "folder click %s ms\n",
                g_runs.size() + 1, qv::FormatFixed(r.rates, 1).c_str(), qv::FormatFixed(r.pause, 1).c_str(),
                qv::FormatFixed(r.toStart, 1).c_str(), qv::FormatFixed(r.rowClick, 1).c_str(),
                qv::FormatFixed(r.folderClick, 1).c_str());
    std::fflush(stdout);
    g_runs.push_back(r);
  }
  qv::SetFileSourceDelay(std::chrono::microseconds(0));
}
BENCHMARK(BM_RateChanges)->Iterations(3)->Unit(benchmark::kMillisecond);

void PrintFigures() {
  if (g_runs.empty()) return;
  const auto line = [](const char* what, double Run::*field, bool goal = true) {
    std::vector<double> v;
    double worst = 0;
    for (const Run& r : g_runs) {
      v.push_back(r.*field);
      worst = std::max(worst, r.*field);
    }
    const double median = qvtest::Median(v);
    std::printf("  %s: median %s ms, worst %s ms", what, qv::FormatFixed(median, 1).c_str(),
                qv::FormatFixed(worst, 1).c_str());
    if (goal) {
      std::printf(" (goal < %s ms: %s)\n", qv::FormatFixed(kRoundGoalMs, 0).c_str(),
                  median < kRoundGoalMs ? "met" : "NOT met");
    } else {
      std::printf(" (for information)\n");
    }
  };
  std::printf("window thread's longest round at 1 ms per read, %zu runs:\n", g_runs.size());
  line("faster/slower pressed 15 times", &Run::rates);
  line("  the presses alone", &Run::ratePresses, false);
  line("first pause of a burst at x2", &Run::pause);
  line("to-start at x2", &Run::toStart);
  line("row click while playing at x2, until the new pair shows and is bound", &Run::rowClick);
  line("folder click while playing at x2, until its first pair shows and is bound", &Run::folderClick);
}

}  // namespace

int main(int argc, char** argv) { return qvtest::RunWindowBenchmarks(argc, argv, PrintFigures); }
