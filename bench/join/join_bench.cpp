// Joins five recordings of about 100 MB and compares the time with cat of the
// same bytes (the physical limit) and with ffmpeg's concat demuxer; measures
// the join's peak memory in a child process, and the cost of opening a
// recording's index and testing its completeness with a warm cache.
//
// The join flushes its output to disk before it renames it into place, so
// cat and ffmpeg are timed up to the same point (`sync` of their output);
// cat without it is printed for reference.
//
// The recordings are made once by the fixture tool and kept under the build
// folder.  QV_BENCH_KEEP=1 keeps the joined file for a look.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/mp4join.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCount = 5;
constexpr int kRuns = 3;

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

}  // namespace

int main() {
  const std::string cache = QV_BENCH_CACHE;
  const std::string inputs = cache + "/recordings";
  std::vector<std::string> fronts, rears;
  ListRecordings(inputs, "_F.MP4", fronts);
  if (fronts.size() != kCount) {
    std::printf("making %d recordings of about 100 MB under %s ...\n", kCount, inputs.c_str());
    std::fflush(stdout);
    Shell("rm -rf '" + inputs + "'");
    if (Shell(std::string(QV_MKREC) + " pair '" + inputs + "' --count 5 --seconds 60 --front 640x360 --rear 320x180" +
              " --fps 30 --bitrate-kbps 13000 --seed 3 >/dev/null") != 0) {
      std::fprintf(stderr, "mkrec failed\n");
      return 1;
    }
    fronts.clear();
    ListRecordings(inputs, "_F.MP4", fronts);
  }
  ListRecordings(inputs, "_R.MP4", rears);
  if (fronts.size() != kCount) {
    std::fprintf(stderr, "expected %d front recordings\n", kCount);
    return 1;
  }
  uint64_t total = 0;
  for (const auto& f : fronts) total += FileSize(f);
  std::printf("inputs: %d front recordings, %s MB in all\n", kCount, Fixed(total / 1e6, 1).c_str());

  const std::string out = cache + "/out";
  Shell("rm -rf '" + out + "' && mkdir -p '" + out + "'");
  {
    FILE* list = std::fopen((out + "/list.txt").c_str(), "w");
    for (const auto& f : fronts) std::fprintf(list, "file '%s'\n", f.c_str());
    std::fclose(list);
  }
  std::string catCmd = "cat";
  for (const auto& f : fronts) catCmd += " '" + f + "'";
  catCmd += " > '" + out + "/cat.MP4'";
  const std::string catSyncCmd = catCmd + " && sync '" + out + "/cat.MP4'";
  const std::string ffCmd = "ffmpeg -nostdin -v error -y -f concat -safe 0 -i '" + out + "/list.txt' -c copy '" + out +
                            "/ffmpeg.mp4' && sync '" + out + "/ffmpeg.mp4'";
  const std::string joined = out + "/" + fronts[0].substr(fronts[0].find_last_of('/') + 1);
  auto join = [&] {
    qv::sMULTIMOVIE m;
    if (!m.OpenPair(fronts[0], "")) return false;
    for (int i = 1; i < kCount; ++i)
      if (!m.AppendMovie(fronts[static_cast<size_t>(i)], "")) return false;
    return qv::WriteMp4Movie(*m.front, joined);
  };

  // Warm the page cache with one run of each, then take the best of kRuns.
  double tCat = 1e9, tCatSync = 1e9, tJoin = 1e9, tFf = 1e9;
  long rss = 0;
  bool ok = true;
  for (int run = 0; run <= kRuns && ok; ++run) {
    bool good;
    double t = TimeShell(catCmd, good);
    ok = ok && good;
    if (run) tCat = std::min(tCat, t);
    Shell("rm -f '" + out + "/cat.MP4'");
    t = TimeShell(catSyncCmd, good);
    ok = ok && good;
    if (run) tCatSync = std::min(tCatSync, t);
    Shell("rm -f '" + out + "/cat.MP4'");

    long r = 0;
    good = InChild(join, t, r);
    ok = ok && good;
    if (run) tJoin = std::min(tJoin, t);
    rss = std::max(rss, r);
    if (run < kRuns) Shell("rm -f '" + joined + "'");

    t = TimeShell(ffCmd, good);
    ok = ok && good;
    if (run) tFf = std::min(tFf, t);
    Shell("rm -f '" + out + "/ffmpeg.mp4'");
  }
  if (!ok) {
    std::fprintf(stderr, "a run failed\n");
    return 1;
  }
  uint64_t joinedSize = FileSize(joined);

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
  std::printf("\n%-34s %10s %10s %s\n", "measure", "value", "target", "");
  std::printf("%-34s %9ss %10s\n", "cat (same bytes, no sync)", Fixed(tCat, 3).c_str(), "(info)");
  std::printf("%-34s %9ss %10s\n", "cat + sync", Fixed(tCatSync, 3).c_str(), "(info)");
  std::printf("%-34s %9ss %10s\n", "ffmpeg concat -c copy + sync", Fixed(tFf, 3).c_str(), "(info)");
  std::printf("%-34s %9ss %10s   (%s MB/s, output %s MB)\n", "join (OpenPair, 4 x Append, Write)",
              Fixed(tJoin, 3).c_str(), "(info)", Fixed(total / 1e6 / tJoin, 0).c_str(),
              Fixed(joinedSize / 1e6, 1).c_str());
  std::printf("%-34s %10s %10s %s\n", "join / (cat + sync)", Fixed(tJoin / tCatSync, 2).c_str(), "<= 1.05",
              mark(tJoin <= 1.05 * tCatSync));
  std::printf("%-34s %10s %10s %s\n", "(ffmpeg concat + sync) / join", Fixed(tFf / tJoin, 2).c_str(), ">= 1.50",
              mark(tFf >= 1.5 * tJoin));
  std::printf("%-34s %7s MB %7s MB %s\n", "join peak memory (child maxrss)", Fixed(rss / 1024.0, 1).c_str(), "< 64",
              mark(rss < 64 * 1024));
  std::printf("%-34s %7s ms %7s ms %s\n", "OpenMp4Movie + CheckFile per file", Fixed(perFile * 1e3, 3).c_str(), "< 1",
              mark(perFile < 1e-3 && failures == 0));
  if (!std::getenv("QV_BENCH_KEEP")) Shell("rm -f '" + joined + "'");
  return 0;
}
