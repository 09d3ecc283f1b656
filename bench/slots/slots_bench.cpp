// The player layer's costs: a 1080p front / 720p rear pair from OpenPair to
// both players ready and to the first frame painted in both panes (warm
// cache); two 1080p30 cameras playing together at x1, x2 and x4 beside six
// busy threads, 60 s of the movies at each rate: the largest gap between the
// two pictures on screen and the largest lag of either behind the clock;
// BuildTrackList over 300 one-minute
// recordings, and how long it holds the track mutex.
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "blockwriter.h"
#include "platform/atomicwrite.h"
#include "platform/heap.h"
#include "platform/numtext.h"
#include "eventwait.h"
#include "player/playerapi.h"
#include "player/playerslot.h"
#include "player/videopane.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> FindMovies(const fs::path& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.path().extension() == ".MP4") out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// One pair (front 1920x1080, rear 1280x720, 30 fps, 10 s), made once.
std::vector<std::string> Pair() {
  static std::vector<std::string> files = [] {
    const fs::path dir = fs::path(QV_BENCH_CACHE) / "pair";
    std::vector<std::string> out = FindMovies(dir);
    if (out.size() < 2) {
      fs::create_directories(dir);
      const std::string cmd = std::string(QV_MKREC) + " pair '" + dir.string() + "' --count 1 --seconds 10 >/dev/null";
      if (std::system(cmd.c_str()) != 0) return std::vector<std::string>{};
      out = FindMovies(dir);
    }
    return out;
  }();
  return files;
}

// Two 1080p30 cameras of 65 s (60 s played from the first second), made once.
std::vector<std::string> FullHdPair() {
  static std::vector<std::string> files = [] {
    const fs::path dir = fs::path(QV_BENCH_CACHE) / "fullhd-65s";
    std::vector<std::string> out = FindMovies(dir);
    if (out.size() < 2) {
      fs::create_directories(dir);
      const std::string cmd = std::string(QV_MKREC) + " pair '" + dir.string() +
                              "' --count 1 --seconds 65 --front 1920x1080 --rear 1920x1080 --fps 30 >/dev/null";
      if (std::system(cmd.c_str()) != 0) return std::vector<std::string>{};
      out = FindMovies(dir);
    }
    return out;
  }();
  return files;
}

// 300 recordings of one minute (600 records each); only their drive-data
// block matters to the track, so the movie part is a stand-in of zeros (the
// block lies in the file's last quarter, as in a recording).
std::vector<qv::RecordingEntry> TrackEntries() {
  static std::vector<qv::RecordingEntry> entries = [] {
    const fs::path dir = fs::path(QV_BENCH_CACHE) / "tracks";
    fs::create_directories(dir);
    std::vector<qv::RecordingEntry> out;
    for (int i = 0; i < 300; ++i) {
      std::string name = std::to_string(1000 + i).substr(1) + "_100000AN_F.MP4";
      const fs::path path = dir / name;
      if (!fs::exists(path)) {
        std::vector<qv::rec::DriveRecord> records(600);
        for (int r = 0; r < 600; ++r) {
          qv::rec::DriveRecord& d = records[r];
          d.leadNumber = r;
          d.latitude = 35.0 + (i * 600 + r) * 1e-5;
          d.longitude = 139.0 + (i * 600 + r) * 1e-5;
          d.speed = 40;
          d.year = 2025;
          d.month = 3;
          d.day = 5;
          d.hour = 10 + (i * 60 + r / 10) / 3600;
          d.minute = (i * 60 + r / 10) / 60 % 60;
          d.second = (r / 10) % 60;
        }
        std::string bytes(4, '\0');
        bytes += "ftypisom";
        bytes.resize(256 * 1024, '\0');
        bytes += qv::rec::BuildBlock(qv::rec::BlockHead{}, records);
        if (!qv::ReplaceFileContent(path.string(), bytes)) return std::vector<qv::RecordingEntry>{};
      }
      qv::RecordingEntry e;
      e.frontPath = path.string();
      e.frontName = name;
      out.push_back(e);
    }
    return out;
  }();
  return entries;
}

class Pane : public qv::VideoPane {
 public:
  explicit Pane(int index) {
    Messages().On(qv::kMsgPlayerTopologyReady, [this](uintptr_t, intptr_t) { ++ready; });
    resize(640, 360);
    ShowSlot(&qv::PlayerApi_Slot(index));
  }
  int ready = 0;
};

GstElement* SilentSink() {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

// Both slots on GStreamer players with a silent sound output, painting into
// the two panes.
void InitSlots(Pane& front, Pane& rear) {
  front.show();
  rear.show();
  qv::PlayerOptions options;
  options.makeAudioSink = SilentSink;
  for (int i = 0; i < 2; ++i) qv::PlayerApi_Slot(i).factory = qv::GstSlotPlayerFactory(options);
  qv::PlayerApi_InitSlots(&front, &rear, "Sans");
}

void PairOpen(benchmark::State& state, bool toPaint) {
  const std::vector<std::string> files = Pair();
  if (files.size() < 2) {
    state.SkipWithError("cannot make the pair (mkrec pair)");
    return;
  }
  Pane front(0), rear(1);
  InitSlots(front, rear);
  // Warm the cache and the plugin registry.
  qv::PlayerApi_OpenPair(files[0], files[1]);
  qvtest::WaitFor([&] { return front.ready && rear.ready; }, 5000);
  qv::PlayerApi_Close();
  for (auto _ : state) {
    front.ready = rear.ready = 0;
    const uint64_t frontPainted = front.FramesPainted(), rearPainted = rear.FramesPainted();
    QElapsedTimer t;
    t.start();
    if (qv::PlayerApi_OpenPair(files[0], files[1]) != 1) {
      state.SkipWithError("open failed");
      break;
    }
    bool ok;
    if (toPaint) {
      ok = qvtest::WaitFor(
          [&] { return front.FramesPainted() > frontPainted && rear.FramesPainted() > rearPainted; }, 5000);
    } else {
      ok = qvtest::WaitFor([&] { return front.ready && rear.ready; }, 5000);
    }
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    qv::PlayerApi_Close();
    if (!ok) {
      state.SkipWithError("not ready");
      break;
    }
  }
  for (int i = 0; i < 2; ++i) {
    qv::PlayerApi_Table(i).release(&qv::PlayerApi_Slot(i));
    qv::PlayerApi_Slot(i).initialised = 0;
  }
}

void BM_PairToReady(benchmark::State& state) { PairOpen(state, false); }
BENCHMARK(BM_PairToReady)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PairToFirstPaint(benchmark::State& state) { PairOpen(state, true); }
BENCHMARK(BM_PairToFirstPaint)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// Threads that keep cores busy while they live.
class BusyThreads {
 public:
  explicit BusyThreads(int count) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this] {
        uint64_t x = 1;
        while (!stop_.load(std::memory_order_relaxed)) x = x * 6364136223846793005ull + 1;
        sink_ += x;
      });
    }
  }
  ~BusyThreads() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> sink_{0};
  std::vector<std::thread> threads_;
};

// Rate code state.range(0), chosen as the window does while the pair plays:
// the rate, then a seek of both to the position (here frame 30).  Then 60 s
// of the movie play while six threads keep cores busy.  The window thread
// reads, every few milliseconds, the time stamps of the two frames on screen
// and each pipeline's clock: the gap is between the two pictures, the lag how
// long a picture's next frame is overdue (wall time).
void BM_PairInStepUnderLoad(benchmark::State& state) {
  constexpr int64_t kFrame = 333333;  // 30 fps, 100 ns units
  constexpr double kGapTarget = 2;    // frames
  constexpr double kLagTarget = 100;  // ms
  constexpr double kMediaMs = 60000;  // of the movie, at every rate
  const int code = static_cast<int>(state.range(0));
  const double rate = code;
  const std::vector<std::string> files = FullHdPair();
  if (files.size() < 2) {
    state.SkipWithError("cannot make the pair (mkrec pair)");
    return;
  }
  Pane front(0), rear(1);
  InitSlots(front, rear);
  for (auto _ : state) {
    front.ready = rear.ready = 0;
    if (qv::PlayerApi_OpenPair(files[0], files[1]) != 1 ||
        !qvtest::WaitFor([&] { return front.ready && rear.ready; }, 5000)) {
      state.SkipWithError("open failed");
      break;
    }
    double worstGap = 0, worstLagMs = 0;
    uint64_t dropped = 0, presented = 0;
    {
      BusyThreads load(6);
      qv::PlayerApi_Start(2);
      qvtest::Pump(500);
      qv::PlayerApi_SetRate(code);
      qv::PlayerApi_SeekPlaying(2, 30);
      const double target = 30 * 330000.0;  // frame 30 of 33 ms, 100 ns units
      qv::CustomPresenter* p[2] = {qv::PlayerApi_Slot(0).player->Presenter(),
                                   qv::PlayerApi_Slot(1).player->Presenter()};
      GstClock* clock = gst_element_get_clock(p[0]->Pipeline());
      QElapsedTimer t;
      t.start();
      while (clock && t.elapsed() < kMediaMs / rate) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        int64_t shown[2];
        if (!p[0]->ShownTime(&shown[0]) || !p[1]->ShownTime(&shown[1])) continue;
        const GstClockTime now = gst_clock_get_time(clock);
        worstGap = std::max(worstGap, std::round(std::abs(static_cast<double>(shown[0] - shown[1])) / kFrame));
        for (int i = 0; i < 2; ++i) {
          // The stream time this pipeline's clock stands at: the seek's
          // target at running time 0.
          const GstClockTime base = gst_element_get_base_time(p[i]->Pipeline());
          const double expected = target + (now > base ? static_cast<double>(now - base) / 100.0 * rate : 0.0);
          const double overdueMs = (expected - static_cast<double>(shown[i] + kFrame)) / rate / 10000.0;
          worstLagMs = std::max(worstLagMs, overdueMs);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      }
      if (clock) gst_object_unref(clock);
      for (qv::CustomPresenter* q : p) {
        dropped += q->Stats().dropped;
        presented += q->Stats().presented;
      }
    }
    qv::PlayerApi_Close();
    state.counters["max_gap_frames"] = worstGap;
    state.counters["max_lag_ms"] = worstLagMs;
    state.counters["presented"] = static_cast<double>(presented);
    state.counters["dropped"] = static_cast<double>(dropped);
    std::printf("x%d, %s s of the movies: largest gap %s frames (goal <= %s: %s), largest lag %s ms (goal <= %s: %s), "
                "dropped %s of %s frames (for information)\n",
                code, qv::FormatInt(static_cast<int64_t>(kMediaMs / 1000)).c_str(), qv::FormatFixed(worstGap, 1).c_str(),
                qv::FormatFixed(kGapTarget, 0).c_str(), worstGap <= kGapTarget ? "met" : "MISSED",
                qv::FormatFixed(worstLagMs, 0).c_str(), qv::FormatFixed(kLagTarget, 0).c_str(),
                worstLagMs <= kLagTarget ? "met" : "MISSED", qv::FormatInt(static_cast<int64_t>(dropped)).c_str(),
                qv::FormatInt(static_cast<int64_t>(dropped + presented)).c_str());
  }
  for (int i = 0; i < 2; ++i) {
    qv::PlayerApi_Table(i).release(&qv::PlayerApi_Slot(i));
    qv::PlayerApi_Slot(i).initialised = 0;
  }
}
BENCHMARK(BM_PairInStepUnderLoad)->Arg(1)->Arg(2)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BuildTrackList300(benchmark::State& state) {
  const std::vector<qv::RecordingEntry> entries = TrackEntries();
  if (entries.size() != 300) {
    state.SkipWithError("cannot write the recordings");
    return;
  }
  qv::PlayerApi_BuildTrackList(entries);  // warm cache
  // A reader that takes the track mutex while the list is rebuilt: the
  // longest it waits is how long the window thread could be held up.
  for (auto _ : state) {
    std::atomic<bool> done{false};
    double longestWaitMs = 0;
    std::thread reader([&] {
      while (!done) {
        const auto t0 = std::chrono::steady_clock::now();
        { std::lock_guard<std::mutex> l(qv::PlayerApi_TrackMutex()); }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        longestWaitMs = std::max(longestWaitMs, ms);
      }
    });
    const auto t0 = std::chrono::steady_clock::now();
    qv::PlayerApi_BuildTrackList(entries);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    done = true;
    reader.join();
    state.counters["longest_lock_wait_ms"] = longestWaitMs;
  }
  std::lock_guard<std::mutex> l(qv::PlayerApi_TrackMutex());
  state.counters["gps_samples"] = qv::PlayerApi_Track() ? static_cast<double>(qv::PlayerApi_Track()->size()) : 0;
}
BENCHMARK(BM_BuildTrackList300)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qv::BoundHeapArenas();  // as the program does, before any thread
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qv::EnsureGStreamer();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  qv::PlayerApi_FreeTrackObject();
  return 0;
}
