// Playback of two 1080p30 recordings together (the front and rear panes),
// against gst-launch-1.0 playing the same two files with synchronised fake
// sinks in the same run.  Reports presented frames, lateness against the
// clock, frames more than one frame late, dropped frames and CPU seconds; the
// time from open to the ready message with a warm cache; and one 1080p30
// recording zoomed 1, 2 and 3 times on a 1920x1080 pane (frames presented a
// second and the lag behind the clock).
#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/numtext.h"
#include "platform/heap.h"
#include "eventwait.h"
#include "player/player.h"
#include "player/presentengine.h"
#include "player/videopane.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSeconds = 10;
// The player may use at most this many times the CPU of the bare pipelines at
// rate 1.
constexpr double kCpuTarget = 1.3;

// CPU seconds of the last rate 1 run and of the last bare pipelines run.
double playerCpuRate1 = 0;
double bareCpu = 0;
// Frames presented a second and the largest lag (ms), by zoom factor 1..3.
double zoomFps[4] = {};
double zoomLagMs[4] = {};

// The two recordings: one pair of 1920x1080 movies, made once.
std::vector<std::string> Recordings() {
  static std::vector<std::string> files = [] {
    const fs::path dir = QV_BENCH_CACHE;
    auto find = [&] {
      std::vector<std::string> out;
      std::error_code ec;
      if (fs::exists(dir, ec)) {
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
          if (e.path().extension() == ".MP4") out.push_back(e.path().string());
        }
      }
      std::sort(out.begin(), out.end());
      return out;
    };
    std::vector<std::string> out = find();
    if (out.size() < 2) {
      fs::create_directories(dir);
      const std::string cmd = std::string(QV_MKREC) + " pair '" + dir.string() + "' --count 1 --seconds " +
                              std::to_string(kSeconds) + " --front 1920x1080 --rear 1920x1080 --fps 30 >/dev/null";
      if (std::system(cmd.c_str()) != 0) return std::vector<std::string>{};
      out = find();
    }
    return out;
  }();
  return files;
}

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

GstElement* SilentSink() {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

// A video pane of the main window's middle layout size, with its player.
class Pane : public qv::VideoPane {
 public:
  explicit Pane(int width = 656, int height = 370) {
    Messages().On(qv::kMsgPlayerTopologyReady, [this](uintptr_t, intptr_t) { ++ready; });
    Messages().On(qv::kMsgPlayerPresentationEnded, [this](uintptr_t, intptr_t) { ++ended; });
    resize(width, height);
    player = std::make_unique<qv::CPlayer>(Port(), Port(), nullptr, qv::PlayerOptions{SilentSink});
    ShowPlayer(player.get());
  }
  ~Pane() override { player.reset(); }
  std::unique_ptr<qv::CPlayer> player;
  int ready = 0;
  int ended = 0;
};

void PlayTwo(benchmark::State& state, float rate) {
  const std::vector<std::string> files = Recordings();
  if (files.size() < 2) {
    state.SkipWithError("cannot make the recordings (mkrec pair)");
    return;
  }
  for (auto _ : state) {
    Pane a, b;
    a.show();
    b.show();
    Pane* panes[] = {&a, &b};
    for (int i = 0; i < 2; ++i) panes[i]->player->Open(files[i]);
    if (!qvtest::WaitFor([&] { return a.ready && b.ready; }, 5000)) {
      state.SkipWithError("not ready");
      return;
    }
    for (Pane* p : panes) {
      p->player->SetVideoPosition(0, 0, p->width(), p->height());
      p->player->SetRate(rate);
    }
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    // The window thread runs its event loop as the program's would.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (a.ended && b.ended) loop.quit();
    });
    check.start(50);
    QTimer::singleShot(int(kSeconds * 1000 / rate) + 10000, &loop, &QEventLoop::quit);
    for (Pane* p : panes) p->player->StartPlayback();
    loop.exec();
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    qv::PresenterStats total;
    for (Pane* p : panes) {
      const qv::PresenterStats s = p->player->Presenter()->Stats();
      total.presented += s.presented;
      total.dropped += s.dropped;
      total.lateOverFrame += s.lateOverFrame;
      total.latenessSumMs += s.latenessSumMs;
      total.latenessMaxMs = std::max(total.latenessMaxMs, s.latenessMaxMs);
    }
    state.SetIterationTime(seconds);
    state.counters["presented"] = double(total.presented);
    state.counters["dropped"] = double(total.dropped);
    state.counters["late_gt_1frame"] = double(total.lateOverFrame);
    state.counters["late_mean_ms"] = total.presented ? total.latenessSumMs / total.presented : 0;
    state.counters["late_max_ms"] = total.latenessMaxMs;
    state.counters["cpu_s"] = cpu;
    if (rate == 1.0f) playerCpuRate1 = cpu;
    state.counters["paints"] = double(a.Paints() + b.Paints());
    state.counters["ended"] = double(a.ended + b.ended);
  }
}

void BM_PlayerTwo1080p(benchmark::State& state) { PlayTwo(state, float(state.range(0)) / 4.0f); }
BENCHMARK(BM_PlayerTwo1080p)->Arg(4)->Arg(16)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The bare pipelines: gst-launch-1.0 plays both files into synchronised fake
// sinks, as two processes side by side.
void BM_GstLaunchTwo1080p(benchmark::State& state) {
  const std::vector<std::string> files = Recordings();
  if (files.size() < 2) {
    state.SkipWithError("cannot make the recordings (mkrec pair)");
    return;
  }
  for (auto _ : state) {
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
      const std::string uri = "uri=file://" + files[i];
      pid_t pid = fork();
      if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("gst-launch-1.0", "gst-launch-1.0", "-q", "playbin", uri.c_str(), "video-sink=fakesink sync=true",
               "audio-sink=fakesink sync=true", (char*)nullptr);
        _exit(127);
      }
      children.push_back(pid);
    }
    for (pid_t pid : children) waitpid(pid, nullptr, 0);
    state.SetIterationTime(wall.elapsed() / 1000.0);
    bareCpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    state.counters["cpu_s"] = bareCpu;
  }
}
BENCHMARK(BM_GstLaunchTwo1080p)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Open to the ready message, one 1080p recording, warm cache.
void BM_OpenToReady(benchmark::State& state) {
  const std::vector<std::string> files = Recordings();
  if (files.size() < 2) {
    state.SkipWithError("cannot make the recordings (mkrec pair)");
    return;
  }
  Pane pane;
  pane.show();
  int n = 0;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    const int before = pane.ready;
    pane.player->Open(files[n++ % 2]);
    if (!qvtest::WaitFor([&] { return pane.ready > before; }, 5000)) {
      state.SkipWithError("not ready");
      return;
    }
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    pane.player->CloseSession();
  }
}
BENCHMARK(BM_OpenToReady)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// One 1920x1080 recording on a 1920x1080 pane, zoomed about the centre as
// the slot places a zoomed view: the destination is the pane times the
// factor, and the pane shows its middle.
void BM_Zoom1080p(benchmark::State& state) {
  const std::vector<std::string> files = Recordings();
  if (files.size() < 2) {
    state.SkipWithError("cannot make the recordings (mkrec pair)");
    return;
  }
  const int zoom = int(state.range(0));
  for (auto _ : state) {
    Pane pane(1920, 1080);
    pane.show();
    pane.player->Open(files[0]);
    if (!qvtest::WaitFor([&] { return pane.ready; }, 5000)) {
      state.SkipWithError("not ready");
      return;
    }
    const int w = 1920 * zoom, h = 1080 * zoom;
    pane.player->SetVideoPosition((1920 - w) / 2, (1080 - h) / 2, w, h);
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (pane.ended) loop.quit();
    });
    check.start(50);
    QTimer::singleShot(kSeconds * 1000 + 10000, &loop, &QEventLoop::quit);
    pane.player->StartPlayback();
    loop.exec();
    const double seconds = wall.elapsed() / 1000.0;
    const qv::PresenterStats s = pane.player->Presenter()->Stats();
    state.SetIterationTime(seconds);
    // Over the movie's length: a picture that falls behind takes longer.
    zoomFps[zoom] = double(s.presented) / kSeconds;
    zoomLagMs[zoom] = s.latenessMaxMs;
    state.counters["fps"] = zoomFps[zoom];
    state.counters["late_mean_ms"] = s.presented ? s.latenessSumMs / s.presented : 0;
    state.counters["late_max_ms"] = s.latenessMaxMs;
    state.counters["late_gt_1frame"] = double(s.lateOverFrame);
    state.counters["paints"] = double(pane.Paints());
  }
}
BENCHMARK(BM_Zoom1080p)->DenseRange(1, 3)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The presenting thread's work per frame at each zoom: a decoded 1920x1080
// I420 frame made current on a 1920x1080 pane.
double zoomPresentMs[4] = {};
void BM_ZoomPresentFrame(benchmark::State& state) {
  const int zoom = int(state.range(0));
  GstVideoInfo info;
  gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, 1920, 1080);
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  for (gsize i = 0; i < map.size; ++i) map.data[i] = uint8_t((i * 7) ^ (i >> 11));
  gst_buffer_unmap(buffer, &map);
  GstCaps* caps = gst_video_info_to_caps(&info);
  GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
  gst_caps_unref(caps);
  gst_buffer_unref(buffer);
  qv::PresentEngine engine;
  const int w = 1920 * zoom, h = 1080 * zoom;
  engine.SetDestinationRect(qv::Rect((1920 - w) / 2, (1080 - h) / 2, (1920 - w) / 2 + w, (1080 - h) / 2 + h));
  QImage pane(1920, 1080, QImage::Format_RGB32);
  {
    QPainter p(&pane);
    engine.Paint(p, qv::Rect(0, 0, 1920, 1080));  // the pane's area becomes known
  }
  QElapsedTimer t;
  t.start();
  for (auto _ : state) engine.PresentFrame(sample);
  zoomPresentMs[zoom] = t.nsecsElapsed() / 1e6 / double(state.iterations());
  gst_sample_unref(sample);
}
BENCHMARK(BM_ZoomPresentFrame)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qv::BoundHeapArenas();  // as the program does, before any thread
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qv::EnsureGStreamer();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (playerCpuRate1 > 0 && bareCpu > 0) {
    const double ratio = playerCpuRate1 / bareCpu;
    const std::string line = "CPU at rate 1: player " + qv::FormatFixed(playerCpuRate1, 2) + " s, gst-launch-1.0 " +
                             qv::FormatFixed(bareCpu, 2) + " s, ratio " + qv::FormatFixed(ratio, 2) + " (target " +
                             qv::FormatFixed(kCpuTarget, 1) + ": " + (ratio <= kCpuTarget ? "met" : "NOT met") + ")\n";
    std::fputs(line.c_str(), stdout);
  }
  if (zoomFps[1] > 0 && zoomFps[3] > 0) {
    // Zoom must cost no more than zoom 1: as many frames shown, the largest
    // lag within a frame of zoom 1's.
    bool met = true;
    std::string line = "Zoom on a 1920x1080 pane, playing:";
    for (int z = 1; z <= 3; ++z) {
      line += " x" + std::to_string(z) + " " + qv::FormatFixed(zoomFps[z], 1) + " fps, lag " +
              qv::FormatFixed(zoomLagMs[z], 0) + " ms;";
      met = met && zoomFps[z] >= zoomFps[1] - 1.0 && zoomLagMs[z] <= zoomLagMs[1] + 34.0;
    }
    line += std::string(" target zoom costs no more than zoom 1: ") + (met ? "met" : "NOT met") + "\n";
    std::fputs(line.c_str(), stdout);
  }
  if (zoomPresentMs[1] > 0 && zoomPresentMs[3] > 0) {
    bool met = true;
    std::string line = "Zoom on a 1920x1080 pane, scaling a frame:";
    for (int z = 1; z <= 3; ++z) {
      line += " x" + std::to_string(z) + " " + qv::FormatFixed(zoomPresentMs[z], 2) + " ms;";
      met = met && zoomPresentMs[z] <= zoomPresentMs[1] * 1.1;
    }
    line += std::string(" target no more than zoom 1: ") + (met ? "met" : "NOT met") + "\n";
    std::fputs(line.c_str(), stdout);
  }
  return 0;
}
