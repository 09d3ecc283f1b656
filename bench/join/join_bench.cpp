// Joins five pairs of 60 s recordings (front and rear, as the join command
// does) and compares the time with cat of the same bytes (the physical limit)
// and with ffmpeg's concat demuxer of both cameras; counts the positioned
// reads the join makes of each input movie (on a card behind a USB reader or
// a FUSE driver every read is a round trip); measures the join's peak memory
// in a child process, and the cost of opening a recording's index and
// testing its completeness with a warm cache.
//
// The join flushes its outputs to disk before it renames them into place, so
// cat and ffmpeg are timed up to the same point (`sync` of their outputs).
// The three are timed in turn, run after run, and each ratio is taken from
// the medians.
//
// The recordings are made once by the fixture tool and kept under the build
// folder.  QV_BENCH_KEEP=1 keeps the joined files for a look.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/mp4join.h"
#include "testsupport.h"

// Every positioned read of the process, counted on its way to the kernel
// (the program's own definition stands in for the C library's).
namespace {
std::atomic<long> g_preads{0};
}  // namespace

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  g_preads.fetch_add(1, std::memory_order_relaxed);
  return syscall(SYS_pread64, fd, buf, count, offset);
}
extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset) { return pread(fd, buf, count, offset); }

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPairs = 5;
constexpr int kRuns = 5;
// Reads per 60 s input movie: a tenth of what the join read when it took
// each NAL length and box header in a read of its own (1,502 per movie).
constexpr double kReadsGoal = 150.2;

int Shell(const std::string& cmd) {
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ListRecordings(const std::string& dir, const char* suffix, std::vector<std::string>& out) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      ListRecordings(path, suffix, out);
    } else if (name.size() > 6 && name.compare(name.size() - 6, 6, suffix) == 0) {
      out.push_back(path);
    }
  }
  closedir(d);
  std::sort(out.begin(), out.end());
}

uint64_t FileSize(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Runs `work` in a child; its wall time in seconds and peak resident memory.
template <class F>
bool InChild(F work, double& seconds, long& maxRssKb) {
  auto t0 = Clock::now();
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) _exit(work() ? 0 : 1);
  int status = 0;
  struct rusage ru {};
  if (wait4(pid, &status, 0, &ru) != pid) return false;
  seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  maxRssKb = ru.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double TimeShell(const std::string& cmd, bool& ok) {
  auto t0 = Clock::now();
  ok = Shell(cmd) == 0;
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::string Fixed(double v, int d) { return qv::FormatFixed(v, d); }
std::string Quoted(const std::string& path) { return "'" + path + "'"; }
std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace

int main() {
  const std::string cache = QV_BENCH_CACHE;
  const std::string inputs = cache + "/pairs";
  std::vector<std::string> fronts, rears;
  ListRecordings(inputs, "_F.MP4", fronts);
  ListRecordings(inputs, "_R.MP4", rears);
  if (fronts.size() != kPairs || rears.size() != kPairs) {
    std::printf("making %d pairs of 60 s recordings under %s ...\n", kPairs, inputs.c_str());
    std::fflush(stdout);
    Shell("rm -rf " + Quoted(inputs));
    if (Shell(std::string(QV_MKREC) + " pair " + Quoted(inputs) + " --count 5 --seconds 60 >/dev/null") != 0) {
      std::fprintf(stderr, "mkrec failed\n");
      return 1;
    }
    fronts.clear();
    rears.clear();
    ListRecordings(inputs, "_F.MP4", fronts);
    ListRecordings(inputs, "_R.MP4", rears);
  }
  if (fronts.size() != kPairs || rears.size() != kPairs) {
    std::fprintf(stderr, "expected %d pairs\n", kPairs);
    return 1;
  }
  uint64_t frontBytes = 0, rearBytes = 0;
  for (const auto& f : fronts) frontBytes += FileSize(f);
  for (const auto& r : rears) rearBytes += FileSize(r);
  std::printf("inputs: %d pairs of 60 s, fronts %s MiB, rears %s MiB\n", kPairs,
              Fixed(frontBytes / 1048576.0, 1).c_str(), Fixed(rearBytes / 1048576.0, 1).c_str());

  const std::string out = cache + "/out";
  Shell("rm -rf " + Quoted(out) + " && mkdir -p " + Quoted(out));
  std::string catCmd, ffCmd;
  for (const auto* camera : {&fronts, &rears}) {
    const std::string tag = camera == &fronts ? "F" : "R";
    FILE* list = std::fopen((out + "/list" + tag + ".txt").c_str(), "w");
    std::string cat = "cat";
    for (const auto& f : *camera) {
      std::fprintf(list, "file '%s'\n", f.c_str());
      cat += " " + Quoted(f);
    }
    std::fclose(list);
    catCmd += cat + " > " + Quoted(out + "/cat" + tag + ".MP4") + " && ";
    ffCmd += "ffmpeg -nostdin -v error -y -f concat -safe 0 -i " + Quoted(out + "/list" + tag + ".txt") + " -c copy " +
             Quoted(out + "/ff" + tag + ".mp4") + " && ";
  }
  catCmd += "sync " + Quoted(out + "/catF.MP4") + " " + Quoted(out + "/catR.MP4");
  ffCmd += "sync " + Quoted(out + "/ffF.mp4") + " " + Quoted(out + "/ffR.mp4");
  const std::string joinedF = out + "/" + BaseName(fronts[0]);
  const std::string joinedR = out + "/" + BaseName(rears[0]);
  const std::string clean = "rm -f " + Quoted(out) + "/*.MP4 " + Quoted(out) + "/*.mp4";
  auto join = [&] {
    qv::sMULTIMOVIE m;
    if (!m.OpenPair(fronts[0], rears[0])) return false;
    for (int i = 1; i < kPairs; ++i)
      if (!m.AppendMovie(fronts[static_cast<size_t>(i)], rears[static_cast<size_t>(i)])) return false;
    return m.rearOk && m.Write(joinedF, joinedR) == qv::JoinFault::kNone;
  };

  // The reads of one join, counted here (not timed).
  g_preads = 0;
  if (!join()) {
    std::fprintf(stderr, "the join failed\n");
    return 1;
  }
  const double readsPerMovie = g_preads.load() / (2.0 * kPairs);
  Shell(clean);

  // A warm-up round, then kRuns rounds of the three in turn.
  std::vector<double> tCatSync, tJoin, tFf;
  long rss = 0;
  bool ok = true;
  for (int run = 0; run <= kRuns && ok; ++run) {
    bool good;
    double t = TimeShell(catCmd, good);
    ok = ok && good;
    if (run) tCatSync.push_back(t);
    Shell(clean);

    long r = 0;
    good = InChild(join, t, r);
    ok = ok && good;
    if (run) tJoin.push_back(t);
    rss = std::max(rss, r);
    if (run < kRuns || !std::getenv("QV_BENCH_KEEP")) Shell(clean);

    t = TimeShell(ffCmd, good);
    ok = ok && good;
    if (run) tFf.push_back(t);
    Shell("rm -f " + Quoted(out) + "/*.mp4");
  }
  if (!ok) {
    std::fprintf(stderr, "a run failed\n");
    return 1;
  }
  const double catSync = qvtest::Median(tCatSync), joined = qvtest::Median(tJoin), ff = qvtest::Median(tFf);

  // Opening the index and the completeness test, per file, warm.
  std::vector<std::string> all = fronts;
  all.insert(all.end(), rears.begin(), rears.end());
  const int rounds = 200;
  int failures = 0;
  auto t0 = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    for (const auto& f : all) {
      qv::sMP4MOVIE* m = qv::OpenMp4Movie(f);
      failures += !m || !qv::CheckFile(f);
      qv::CloseMp4Movie(m);
    }
  }
  double perFile = std::chrono::duration<double>(Clock::now() - t0).count() / (rounds * all.size());

  auto mark = [](bool pass) { return pass ? "ok" : "MISSED"; };
  std::printf("\nmedians of %d runs taken in turn\n", kRuns);
  std::printf("%-36s %10s %10s %s\n", "measure", "value", "target", "");
  std::printf("%-36s %9ss %10s\n", "cat + sync (both cameras)", Fixed(catSync, 3).c_str(), "(info)");
  std::printf("%-36s %9ss %10s\n", "ffmpeg concat -c copy + sync (both)", Fixed(ff, 3).c_str(), "(info)");
  std::printf("%-36s %9ss %10s   (%s MB/s)\n", "join (OpenPair, 4 x Append, Write)", Fixed(joined, 3).c_str(), "(info)",
              Fixed((frontBytes + rearBytes) / 1e6 / joined, 0).c_str());
  std::printf("%-36s %10s %10s %s\n", "join / (cat + sync)", Fixed(joined / catSync, 3).c_str(), "<= 1.05",
              mark(joined <= 1.05 * catSync));
  std::printf("%-36s %10s %10s %s\n", "(ffmpeg concat + sync) / join", Fixed(ff / joined, 2).c_str(), ">= 1.50",
              mark(ff >= 1.5 * joined));
  std::printf("%-36s %10s %10s %s\n", "reads (pread) per 60 s input movie", Fixed(readsPerMovie, 1).c_str(),
              ("<= " + Fixed(kReadsGoal, 1)).c_str(), mark(readsPerMovie <= kReadsGoal));
  std::printf("%-36s %7s MB %7s MB %s\n", "join peak memory (child maxrss)", Fixed(rss / 1024.0, 1).c_str(), "< 64",
              mark(rss < 64 * 1024));
  std::printf("%-36s %7s ms %7s ms %s\n", "OpenMp4Movie + CheckFile per file", Fixed(perFile * 1e3, 3).c_str(), "< 1",
              mark(perFile < 1e-3 && failures == 0));
  return 0;
}
