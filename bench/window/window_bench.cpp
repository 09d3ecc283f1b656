// The whole program as a user runs it, on an X server: the main window with
// its web engine, started in a folder whose settings file points at a card.
//
// - CPU while a 1080p + 720p pair plays at x1 for 30 s, with the map pop-out
//   hidden and with it showing the track on tiles from a local server,
//   against two bare `gst-launch-1.0 playbin` processes playing the same two
//   files into ximagesink on the same display (goal: at most 1.5x).  The
//   program's figure counts its web engine's helper processes too.
// - Resident memory of the program's own process (the web engine's helpers
//   left out), read one second after each of 60 presses of the next command,
//   each followed by the play command, over a card of 3 date folders of 22
//   pairs of 8 s (1080p + 720p; at a folder's last pair the next folder is
//   chosen in the tree), with the map pop-out hidden and with the map shown
//   on tiles from the local server (goal: no reading above 400 MiB with the
//   map hidden and 500 MiB with it shown: the web engine's browser side lives
//   in the program's process once the map shows; the 60th within 10 % of the
//   3rd).  The web engine's helper processes' proportional share is printed
//   for information.
// - Resident memory of the map page alone (the map dialog and its wrapper in
//   a process of their own, a window the size of the map pop-out) over 200
//   pair switches, each pair some 2 km from the last, fed as the playback
//   control feeds it (track, event points, marker moves) on tiles from the
//   local server: what the web engine keeps of the tiles in the program's
//   memory (goal: after 200 within 10 % of after 20).
//
// The benchmark starts its own Xvfb (1920x1080x24) and runs the program as
// a child process of itself (`--program`), so that the figures are the
// program's and nothing of the harness.  QV_BENCH_ROUNDS (default 2) sets
// how many times the CPU runs are repeated, in turn; medians are reported.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QTreeWidgetItem>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "browser/filercontainerdlg.h"
#include "browser/foldertreectrl.h"
#include "eventwait.h"
#include "localhttp.h"
#include "mainwnd/mainlayout.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/tesseldlg.h"
#include "map/mapdlg2.h"
#include "map/mapdlgwrap.h"
#include "map/mapscript.h"
#include "platform/heap.h"
#include "platform/numtext.h"
#include "player/playerapi.h"
#include "skin/fonts.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMeasureSeconds = 30;
constexpr int kSettleSeconds = 3;
constexpr double kCpuGoal = 1.5;
constexpr int kSwitches = 60;
constexpr int kSwitchFolders = 3;
constexpr int kSwitchPairs = 22;  // per folder
constexpr double kMemoryGrowthGoal = 0.10;
constexpr double kMemoryGoalHiddenMiB = 400;
constexpr double kMemoryGoalShownMiB = 500;
constexpr int kMapPageSwitches = 200;
constexpr int kMapPageFirst = 20;  // the reading the last is compared with

// ---------------------------------------------------------------- the program, in the child

bool Playing() { return qv::PlayerApi_GetState(0) == qv::kSlotPlaying && qv::PlayerApi_GetState(1) == qv::kSlotPlaying; }

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// Chooses row `row` as a click in the list does, waits for the pair to be
// bound and presses the play command; false when it does not play in time.
bool PlayRow(qv::CtesselDlg& w, int row) {
  {
    std::lock_guard<std::recursive_mutex> lock(w.PlaylistMutex());
    w.OnListRowSelected(row);
  }
  const int binds = w.BindCount();
  if (!qvtest::WaitFor([&] { return w.BindCount() > binds && w.PairBound() && !w.Opening(); }, 15000)) return false;
  w.BindAndStart();
  return qvtest::WaitFor(Playing, 5000);
}

// The next pair as the next command chooses it, or at a folder's last pair
// the next folder's first pair as a click in the folder tree chooses it;
// then the play command.  False when it does not play in time.
bool NextAndPlay(qv::CtesselDlg& w) {
  const int binds = w.BindCount();
  if (w.CurrentIndex() + 1 < static_cast<int>(w.Playlist().size())) {
    if (!w.RunCommand(qv::mainwnd::kCmdNext)) return false;
  } else {
    qv::CFolderTreeCtrl* tree = w.Browser()->Tree();
    QTreeWidgetItem* folder = tree->currentItem();
    QTreeWidgetItem* parent = folder ? folder->parent() : nullptr;
    QTreeWidgetItem* next = !folder ? nullptr
                            : parent ? parent->child(parent->indexOfChild(folder) + 1)
                                     : tree->topLevelItem(tree->indexOfTopLevelItem(folder) + 1);
    if (!next) return false;
    tree->SelectQuietly(next);
    w.OnFolderSelected(next, true);
  }
  if (!qvtest::WaitFor([&] { return w.BindCount() > binds && w.PairBound() && !w.Opening(); }, 15000)) return false;
  w.RunCommand(qv::mainwnd::kCmdPlayPause);
  return qvtest::WaitFor(Playing, 5000);
}

// Opens `card` as the source dialog does and chooses its first date folder.
bool OpenCard(qv::CtesselDlg& w, const std::string& card) {
  w.Browser()->OpenSource(card, qv::SourceMode::kDrive);
  w.Browser()->FinishScan();
  QTreeWidgetItem* top = w.Browser()->Tree()->topLevelItem(0);
  if (!top) return false;
  QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
  w.Browser()->Tree()->SelectQuietly(folder);
  w.OnFolderSelected(folder, true);
  return qvtest::WaitFor([&] { return !w.Playlist().empty(); }, 20000);
}

// Presses the map command until the map pop-out is hidden or shows the map
// (and then waits for its page).
void ShowMap(qv::CtesselDlg& w, bool shown) {
  for (int i = 0; i < 2 && (w.MapPopout()->isVisible() != shown || (shown && !w.MapWrap().MapDisplayOn())); ++i)
    w.OnMapCommand();
  if (shown && !qvtest::WaitFor([&] { return w.MapWrap().pageReady != 0; }, 20000)) Say("note: no map page");
}

// `--program CARD MODE ARG [MAP]`, run in the folder of the settings file:
//   play hidden|shown   plays the first pair with the map pop-out hidden or
//                       showing the map; says "playing" once it plays, then
//                       runs on
//   switch N [shown]    plays the first pair (the map shown when asked),
//                       then N times the next pair and play, saying
//                       "rss I KIB" after each once it has played 1 s
int RunProgram(int argc, char** argv) {
  const std::string settingsFolder = fs::current_path().string();
  // As main() sets the program up.
  qputenv("QT_QPA_PLATFORM", "xcb");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QApplication app(argc, argv);
  const std::string card = argc > 2 ? argv[2] : "";
  const std::string mode = argc > 3 ? argv[3] : "";
  const std::string arg = argc > 4 ? argv[4] : "";
  int result = 0;
  {
    qv::CtesselDlg w;
    w.OnInitDialog(settingsFolder);
    w.show();
    qvtest::Pump(500);
    if (!OpenCard(w, card) || !PlayRow(w, 0)) {
      Say("failed: the first pair does not play");
      result = 1;
    } else if (mode == "play") {
      ShowMap(w, arg == "shown");
      Say("playing");
      QTimer::singleShot(3600 * 1000, &app, &QApplication::quit);
      app.exec();
    } else if (mode == "switch") {
      int64_t count = 0;
      qv::ParseInt64(arg, count);
      if (argc > 5 && std::string(argv[5]) == "shown") ShowMap(w, true);
      for (int i = 1; i <= count && result == 0; ++i) {
        if (!NextAndPlay(w)) {
          Say("failed: switch " + std::to_string(i));
          result = 1;
          break;
        }
        qvtest::Pump(1000);
        Say("rss " + std::to_string(i) + " " + std::to_string(qvtest::ResidentKiB()));
      }
    }
    w.Shutdown();
  }
  qv::DeleteAppFonts();
  return result;
}

// `--program TILEURL mappage N`: the map page alone, fed as N pair switches
// feed it: each pair's track 2 km from the last one's, its track redrawn,
// five event points, four marker moves a tenth of a second apart; says
// "rss I KIB" after each.
int RunMapPage(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QApplication app(argc, argv);
  int64_t count = 0;
  qv::ParseInt64(argc > 4 ? argv[4] : "", count);
  qv::CMapDlgWrap wrap;
  wrap.SetTileUrl(argc > 2 ? argv[2] : "");
  wrap.SetProbeResult(1);
  wrap.SetMapDisplay(1);
  int pair = 0;
  const auto place = [&](int i) {
    return std::pair<double, double>{35.0 + pair * 0.02 + i * 0.00002, 139.0 + i * 0.00002};
  };
  const auto track = [&] {
    std::vector<double> a;
    for (int i = 0; i < 80; ++i) a.insert(a.end(), {place(i).first, place(i).second, i * 10.0});
    a.push_back(double(a.size()));
    return a;
  };
  wrap.SetDataSource(
      {track, [&] { return std::optional<std::vector<double>>(track()); }, [] { return int64_t{800}; }});
  auto* dlg = new qv::CMapDlg2;  // the wrapper's
  wrap.SetMapDlg2(dlg);
  dlg->resize(440, 250);
  dlg->show();
  if (!qvtest::WaitFor([&] { return wrap.pageReady != 0; }, 60000)) {
    Say("failed: no map page");
    return 1;
  }
  for (pair = 1; pair <= count; ++pair) {
    wrap.curPos = 0;
    wrap.RedrawTrack(0, 0);
    for (int k = 0; k < 5; ++k)
      wrap.ExecScript(qv::AddCrashPosScript(
          {1, 0.5, 0.1, 0.0, 0, 0, 100 * k, place(10 * k).first, place(10 * k).second, 1, 40.0, 0.0}));
    for (int step = 0; step < 4; ++step) {
      wrap.curPos = 200 * step;
      wrap.ExecScript(std::string(qv::kScriptMoveMarker));
      qvtest::Pump(100);
    }
    Say("rss " + std::to_string(pair) + " " + std::to_string(qvtest::ResidentKiB()));
  }
  return 0;
}

// ---------------------------------------------------------------- the harness

// An X server of our own for the program and the bare pipelines.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
             (char*)nullptr);
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A 256 x 256 PNG tile of about the size of a street map's (a grid over
// speckles, some 16 kB).
std::string StreetTilePng() {
  QImage tile(256, 256, QImage::Format_Indexed8);
  tile.setColorCount(16);
  for (int i = 0; i < 16; ++i) tile.setColor(i, qRgb(200 + 3 * i, 196 + 3 * i, 186 + 3 * i));
  uint32_t seed = 12345;
  for (int y = 0; y < 256; ++y) {
    uchar* line = tile.scanLine(y);
    for (int x = 0; x < 256; ++x) {
      seed = seed * 1664525u + 1013904223u;
      line[x] = (y % 32 == 0 || x % 32 == 0) ? 0 : (y / 32 + x / 32) % 2 ? 15 : uchar((seed >> 28) | 8);
    }
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  tile.save(&buffer, "PNG");
  return png.toStdString();
}

// A started child process (in a process group of its own, with the display)
// whose standard output is read line by line.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& folder, const std::string& display) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      close(fds[0]);
      dup2(fds[1], 1);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
      setenv("DISPLAY", display.c_str(), 1);
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() { Stop(); }
  pid_t Pid() const { return pid_; }
  // The next line of output, or false at the end or after `ms`.
  bool ReadLine(std::string* line, int ms) {
    line->clear();
    QElapsedTimer t;
    t.start();
    for (;;) {
      const size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        *line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      const int left = ms - int(t.elapsed());
      pollfd p{out_, POLLIN, 0};
      if (out_ < 0 || left <= 0 || poll(&p, 1, left) <= 0) return false;
      char chunk[512];
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, size_t(n));
    }
  }
  // Ends the child and everything it started.
  void Stop() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    for (int i = 0; i < 50 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    if (out_ >= 0) close(out_);
    out_ = -1;
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

// CPU seconds (user + system) of `pids` and all their descendants.
double TreeCpuSeconds(const std::vector<pid_t>& roots) {
  std::map<pid_t, std::vector<pid_t>> children;
  std::map<pid_t, double> cpu;
  const double hz = double(sysconf(_SC_CLK_TCK));
  for (const auto& e : fs::directory_iterator("/proc")) {
    int64_t pid = 0;
    if (!qv::ParseInt64(e.path().filename().string(), pid)) continue;
    const std::string stat = qvtest::ReadText(e.path().string() + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::vector<std::string> f;
    for (size_t b = close + 2; b < stat.size();) {
      size_t e2 = stat.find(' ', b);
      if (e2 == std::string::npos) e2 = stat.size();
      f.push_back(stat.substr(b, e2 - b));
      b = e2 + 1;
    }
    if (f.size() < 13) continue;
    int64_t ppid = 0, user = 0, system = 0;
    qv::ParseInt64(f[1], ppid);
    qv::ParseInt64(f[11], user);
    qv::ParseInt64(f[12], system);
    children[pid_t(ppid)].push_back(pid_t(pid));
    cpu[pid_t(pid)] = double(user + system) / hz;
  }
  double total = 0;
  std::vector<pid_t> todo = roots;
  while (!todo.empty()) {
    const pid_t p = todo.back();
    todo.pop_back();
    total += cpu[p];
    for (pid_t c : children[p]) todo.push_back(c);
  }
  return total;
}

// CPU of `pids`' trees over kMeasureSeconds after kSettleSeconds, in percent
// of one core.
double MeasureCpu(const std::vector<pid_t>& pids) {
  std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
  const double before = TreeCpuSeconds(pids);
  QElapsedTimer t;
  t.start();
  std::this_thread::sleep_for(std::chrono::seconds(kMeasureSeconds));
  return (TreeCpuSeconds(pids) - before) / (t.nsecsElapsed() / 1e9) * 100.0;
}

struct Setup {
  Xvfb x;
  // The tile host answers every request with the one tile, which the
  // browser may keep for a week, as a public tile server allows.
  std::string tile = StreetTilePng();
  qvtest::LocalHttpServer tiles{[this](const std::string& method, const std::string&) {
    return qvtest::LocalHttpServer::Ok(method, "image/png", tile, "Cache-Control: max-age=604800\r\n");
  }};
  std::string self;
  std::string cpuCard, switchCard;
  std::vector<std::string> cpuFiles;  // front, rear
};
Setup* g_setup = nullptr;

// A card made by `mkrec pair` once for each of `runs` (their arguments; each
// run's seed chooses its date folder), kept in the benchmark's cache.
std::string MadeCard(const std::string& name, const std::vector<std::string>& runs) {
  const fs::path dir = fs::path(QV_BENCH_CACHE) / name;
  if (!fs::exists(dir / ".complete")) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const std::string& args : runs) {
      const std::string cmd = std::string(QV_MKREC) + " pair '" + dir.string() + "' " + args + " >/dev/null";
      if (std::system(cmd.c_str()) != 0) return {};
    }
    if (!qvtest::WriteText((dir / ".complete").string(), "")) return {};
  }
  return dir.string();
}

std::string TileUrl() { return "http://127.0.0.1:" + std::to_string(g_setup->tiles.Port()) + "/{z}/{x}/{y}.png"; }

// A settings folder whose tiles come from the local server.
std::string SettingsFolder() {
  const std::string folder = qvtest::NewFolder("window-bench");
  qvtest::WriteText(folder + "/Default_Folder.ini", "[MAP]\nTILEURL=" + TileUrl() + "\n");
  return folder;
}

std::vector<double> programCpu[2], bareCpu;

// The program playing the pair, the map pop-out hidden or shown; -1 when it
// does not play.
double ProgramCpu(bool mapShown) {
  const std::string folder = SettingsFolder();
  Child program({g_setup->self, "--program", g_setup->cpuCard, "play", mapShown ? "shown" : "hidden"}, folder,
                g_setup->x.Display());
  std::string line;
  while (program.ReadLine(&line, 60000) && line != "playing") {}
  const double cpu = line == "playing" ? MeasureCpu({program.Pid()}) : -1;
  program.Stop();
  fs::remove_all(folder);
  return cpu;
}

// Two bare playbins, one for each file, into ximagesink on the same display.
double BareCpu() {
  std::vector<std::unique_ptr<Child>> players;
  std::vector<pid_t> pids;
  for (const std::string& file : g_setup->cpuFiles) {
    players.push_back(std::make_unique<Child>(
        std::vector<std::string>{"gst-launch-1.0", "-q", "playbin", "uri=file://" + file, "video-sink=ximagesink",
                                 "audio-sink=fakesink sync=true"},
        std::string(), g_setup->x.Display()));
    pids.push_back(players.back()->Pid());
  }
  return MeasureCpu(pids);
}

// The three runs in turn, `rounds` times, so that a machine whose speed
// drifts moves them alike.
void BM_WindowCpu(benchmark::State& state) {
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) {
      bareCpu.push_back(BareCpu());
      for (int shown = 0; shown < 2; ++shown) {
        const double cpu = ProgramCpu(shown != 0);
        if (cpu < 0) {
          state.SkipWithError("the program did not play");
          return;
        }
        programCpu[shown].push_back(cpu);
      }
    }
    state.counters["bare_percent"] = qvtest::Median(bareCpu);
    state.counters["map_hidden_percent"] = qvtest::Median(programCpu[0]);
    state.counters["map_shown_percent"] = qvtest::Median(programCpu[1]);
  }
}

std::vector<double> rssMiB[2];  // after switch 1, 2, ...; map pop-out hidden, map shown
double helperMiB[2][2] = {{-1, -1}, {-1, -1}};  // [shown][after 3, after 60]; -1 when not measured
int helpers[2][2] = {};                         // how many processes those were

double MemoryGoalMiB(bool shown) { return shown ? kMemoryGoalShownMiB : kMemoryGoalHiddenMiB; }

// The processes started by `pid` and by those, from /proc's children lists.
std::vector<pid_t> Descendants(pid_t pid) {
  std::vector<pid_t> found, todo = {pid};
  while (!todo.empty()) {
    const pid_t p = todo.back();
    todo.pop_back();
    const std::string list = qvtest::ReadText("/proc/" + std::to_string(p) + "/task/" + std::to_string(p) + "/children");
    for (size_t b = 0; b < list.size();) {
      size_t e = list.find(' ', b);
      if (e == std::string::npos) e = list.size();
      int64_t child = 0;
      if (e > b && qv::ParseInt64(list.substr(b, e - b), child)) {
        found.push_back(pid_t(child));
        todo.push_back(pid_t(child));
      }
      b = e + 1;
    }
  }
  return found;
}

// One "Name:   N kB" field of a /proc file, in MiB; -1 when missing.
double ProcFieldMiB(const std::string& file, const std::string& name) {
  const std::string text = qvtest::ReadText(file);
  const size_t at = text.find(name + ":");
  if (at == std::string::npos) return -1;
  const size_t b = text.find_first_of("0123456789", at), e = text.find(' ', b);
  int64_t kib = 0;
  return b != std::string::npos && qv::ParseInt64(text.substr(b, e - b), kib) ? double(kib) / 1024.0 : -1;
}

// The proportional share of memory (resident where the share cannot be
// read) of the program's helper processes: the web engine's, once it runs.
double HelperMiB(pid_t program, int& count) {
  double total = 0;
  const std::vector<pid_t> found = Descendants(program);
  count = int(found.size());
  for (const pid_t p : found) {
    const std::string proc = "/proc/" + std::to_string(p);
    double mib = ProcFieldMiB(proc + "/smaps_rollup", "Pss");
    if (mib < 0) mib = ProcFieldMiB(proc + "/status", "VmRSS");
    if (mib > 0) total += mib;
  }
  return total;
}

// The memory lines: each goal met or not, the helpers for information.
void PrintMemoryFigures() {
  for (int shown = 0; shown < 2; ++shown) {
    const std::vector<double>& rss = rssMiB[shown];
    if (int(rss.size()) < kSwitches) continue;
    const double growth = rss.back() / rss[2] - 1.0;
    const double goal = MemoryGoalMiB(shown != 0);
    const double peak = *std::max_element(rss.begin(), rss.end());
    const long over = std::count_if(rss.begin(), rss.end(), [&](double v) { return v > goal; });
    const bool met = growth <= kMemoryGrowthGoal && peak <= goal;
    const std::string map = shown ? "shown" : "hidden";
    const std::string tiles = shown ? " (tiles of " + std::to_string(g_setup->tile.size() / 1024) + " kB)" : "";
    std::fputs(("Resident memory over " + std::to_string(kSwitches) + " next-pair switches, each followed by play (" +
                std::to_string(kSwitchFolders) + " folders x " + std::to_string(kSwitchPairs) +
                " pairs of 8 s, 1080p + 720p), map " + map + tiles + ": peak " + qv::FormatFixed(peak, 0) +
                " MiB (goal <= " + qv::FormatFixed(goal, 0) + "; " + std::to_string(over) + " readings over), median " +
                qv::FormatFixed(qvtest::Median(rss), 0) + ", after 3 " + qv::FormatFixed(rss[2], 0) + ", after " +
                std::to_string(kSwitches) + " " + qv::FormatFixed(rss.back(), 0) + " (" +
                qv::FormatFixed(growth * 100, 1) + " %; goal within " + qv::FormatFixed(kMemoryGrowthGoal * 100, 0) +
                " %): " + (met ? "met" : "NOT met") + "\n")
                   .c_str(),
               stdout);
    if (helperMiB[shown][1] >= 0)
      std::fputs(("  its helper processes (the web engine's), map " + map + ": after 3 " +
                  std::to_string(helpers[shown][0]) + " holding " + qv::FormatFixed(helperMiB[shown][0], 0) +
                  " MiB, after " + std::to_string(kSwitches) + " " + std::to_string(helpers[shown][1]) + " holding " +
                  qv::FormatFixed(helperMiB[shown][1], 0) + " MiB, proportional share (for information)\n")
                     .c_str(),
                 stdout);
    if (std::getenv("QV_BENCH_READINGS")) {
      std::string all = "  readings (MiB):";
      for (double v : rss) all += " " + qv::FormatFixed(v, 0);
      std::fputs((all + "\n").c_str(), stdout);
    }
  }
}

void BM_PairSwitchMemory(benchmark::State& state) {
  const bool shown = state.range(0) != 0;
  std::vector<double>& rss = rssMiB[shown];
  for (auto _ : state) {
    rss.clear();
    const std::string folder = SettingsFolder();
    Child program({g_setup->self, "--program", g_setup->switchCard, "switch", std::to_string(kSwitches),
                   shown ? "shown" : "hidden"},
                  folder, g_setup->x.Display());
    std::string line;
    while (program.ReadLine(&line, 60000)) {
      if (line.rfind("failed", 0) == 0) break;
      int64_t kib = 0;
      if (line.rfind("rss ", 0) == 0 && qv::ParseInt64(line.substr(line.rfind(' ') + 1), kib)) {
        rss.push_back(double(kib) / 1024.0);
        if (rss.size() == 3) helperMiB[shown][0] = HelperMiB(program.Pid(), helpers[shown][0]);
        if (int(rss.size()) == kSwitches) helperMiB[shown][1] = HelperMiB(program.Pid(), helpers[shown][1]);
      }
      if (int(rss.size()) == kSwitches) break;
    }
    program.Stop();
    fs::remove_all(folder);
    if (int(rss.size()) < kSwitches) {
      state.SkipWithError(("the program stopped switching: " + line).c_str());
      return;
    }
    state.counters["rss3_MiB"] = rss[2];
    state.counters["rss60_MiB"] = rss.back();
    state.counters["peak_MiB"] = *std::max_element(rss.begin(), rss.end());
  }
}

std::vector<double> mapPageMiB;  // after switch 1, 2, ...

void BM_MapPageMemory(benchmark::State& state) {
  for (auto _ : state) {
    mapPageMiB.clear();
    Child program({g_setup->self, "--program", TileUrl(), "mappage", std::to_string(kMapPageSwitches)}, std::string(),
                  g_setup->x.Display());
    std::string line;
    while (int(mapPageMiB.size()) < kMapPageSwitches && program.ReadLine(&line, 60000)) {
      if (line.rfind("failed", 0) == 0) break;
      int64_t kib = 0;
      if (line.rfind("rss ", 0) == 0 && qv::ParseInt64(line.substr(line.rfind(' ') + 1), kib))
        mapPageMiB.push_back(double(kib) / 1024.0);
    }
    program.Stop();
    if (int(mapPageMiB.size()) < kMapPageSwitches) {
      state.SkipWithError(("the map page stopped: " + line).c_str());
      return;
    }
    state.counters["rss20_MiB"] = mapPageMiB[kMapPageFirst - 1];
    state.counters["rss200_MiB"] = mapPageMiB.back();
  }
}

void PrintMapPageFigures() {
  if (int(mapPageMiB.size()) < kMapPageSwitches) return;
  const double first = mapPageMiB[kMapPageFirst - 1], last = mapPageMiB.back();
  const double growth = last / first - 1.0;
  std::fputs(("Resident memory of the map page alone over " + std::to_string(kMapPageSwitches) +
              " pair switches 2 km apart (tiles of " + std::to_string(g_setup->tile.size() / 1024) + " kB): after " +
              std::to_string(kMapPageFirst) + " " + qv::FormatFixed(first, 0) + " MiB, after " +
              std::to_string(kMapPageSwitches) + " " + qv::FormatFixed(last, 0) + " MiB (" +
              qv::FormatFixed(growth * 100, 1) + " %; goal within " + qv::FormatFixed(kMemoryGrowthGoal * 100, 0) +
              " %: " + (growth <= kMemoryGrowthGoal ? "met" : "NOT met") + ")\n")
                 .c_str(),
             stdout);
}

}  // namespace

int main(int argc, char** argv) {
  qv::BoundHeapArenas();  // as the program does, before any thread
  if (argc > 1 && std::string(argv[1]) == "--program")
    return argc > 3 && std::string(argv[3]) == "mappage" ? RunMapPage(argc, argv) : RunProgram(argc, argv);
  signal(SIGPIPE, SIG_IGN);
  Setup setup;
  g_setup = &setup;
  setup.self = fs::canonical("/proc/self/exe").string();
  if (setup.x.Display().empty() || setup.tiles.Port() == 0) {
    std::fputs("window benchmark: cannot start Xvfb or the tile server; skipped\n", stdout);
    return 0;
  }
  setup.cpuCard = MadeCard("cpu", {"--count 1 --seconds 45 --front 1920x1080 --rear 1280x720 --fps 30"});
  std::vector<std::string> folders;
  for (int seed = 1; seed <= kSwitchFolders; ++seed)
    folders.push_back("--count " + std::to_string(kSwitchPairs) +
                      " --seconds 8 --front 1920x1080 --rear 1280x720 --fps 30 --seed " + std::to_string(seed));
  setup.switchCard = MadeCard("switch-" + std::to_string(kSwitchFolders) + "x" + std::to_string(kSwitchPairs), folders);
  for (const auto& e : fs::recursive_directory_iterator(setup.cpuCard)) {
    if (e.path().extension() == ".MP4") setup.cpuFiles.push_back(e.path().string());
  }
  std::sort(setup.cpuFiles.begin(), setup.cpuFiles.end());
  if (setup.cpuFiles.size() != 2 || setup.switchCard.empty()) {
    std::fputs("window benchmark: cannot make the recordings (mkrec pair)\n", stdout);
    return 1;
  }
  int64_t rounds = 2;
  if (const char* r = std::getenv("QV_BENCH_ROUNDS")) qv::ParseInt64(r, rounds);
  benchmark::RegisterBenchmark("BM_WindowCpu", BM_WindowCpu)
      ->Arg(std::max<int64_t>(rounds, 1))
      ->Iterations(1)
      ->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark("BM_PairSwitchMemory", BM_PairSwitchMemory)
      ->Arg(0)
      ->Arg(1)
      ->Iterations(1)
      ->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark("BM_MapPageMemory", BM_MapPageMemory)->Iterations(1)->Unit(benchmark::kSecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double bare = qvtest::Median(bareCpu);
  for (int shown = 0; shown < 2 && bare > 0; ++shown) {
    if (programCpu[shown].empty()) continue;
    const double ratio = qvtest::Median(programCpu[shown]) / bare;
    std::fputs(("Real window playing 1080p + 720p at x1, map " + std::string(shown ? "shown" : "hidden") + ": " +
                qv::FormatFixed(qvtest::Median(programCpu[shown]), 1) + " % of a core, two bare playbins into ximagesink " +
                qv::FormatFixed(bare, 1) + " %, ratio " + qv::FormatFixed(ratio, 2) + " (goal <= " +
                qv::FormatFixed(kCpuGoal, 1) + ": " + (ratio <= kCpuGoal ? "met" : "NOT met") + ")\n")
                   .c_str(),
               stdout);
  }
  PrintMemoryFigures();
  PrintMapPageFigures();
  return 0;
}
