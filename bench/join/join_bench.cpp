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
// The same join onto another file system (a card's recordings joined onto
// the disk always cross one): the kernel's file-to-file copy answers EXDEV
// there and the join copies through its own buffer.  Here the outputs go to
// the memory file system (/dev/shm) when it is another one than the
// recordings'.  Goals: the join reads each input byte once (the bytes the
// process read, /proc/self/io rchar, at most 1.05 times the inputs) and
// takes at most 1.05 times cat + sync of both cameras onto the same file
// system, cold (each input's cached pages dropped before each run with
// posix_fadvise DONTNEED, which needs no root) and warm, medians of runs
// taken in turn.
//
// The recordings are made once by the fixture tool and kept under the build
// folder.  QV_BENCH_KEEP=1 keeps the joined files for a look.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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
// Rounds onto another file system, where a round is short.
constexpr int kCrossRuns = 15;
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

// True when the kernel refuses to copy from `from` into a file in `folder`
// (another file system).
bool KernelCopyRefused(const std::string& from, const std::string& folder) {
  const std::string probe = folder + "/probe";
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const bool refused = in >= 0 && out >= 0 && copy_file_range(in, nullptr, out, nullptr, 1, 0) < 0 && errno == EXDEV;
  if (in >= 0) close(in);
  if (out >= 0) close(out);
  unlink(probe.c_str());
  return refused;
}

std::string Fixed(double v, int d) { return qv::FormatFixed(v, d); }
std::string Quoted(const std::string& path) { return "'" + path + "'"; }
std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The join of the five pairs onto another file system against cat + sync of
// the same inputs there, cold and warm, and the bytes the join reads.
template <class Join>
bool OntoAnotherFileSystem(const std::vector<std::string>& inputs, double inputBytes, Join joinInto) {
  struct stat here, shm;
  char folderName[] = "/dev/shm/qv_bench_join_XXXXXX";
  if (stat(inputs[0].c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev ||
      !mkdtemp(folderName)) {
    std::printf("\nonto another file system: skipped (no /dev/shm apart from the recordings)\n");
    return true;
  }
  const std::string folder = folderName;
  const bool refused = KernelCopyRefused(inputs[0], folder);
  const std::string joinedF = folder + "/joined_F.MP4", joinedR = folder + "/joined_R.MP4";
  const std::string clean = "rm -f " + Quoted(folder) + "/*.MP4";
  std::string catCmd;
  for (const char* tag : {"_F.MP4", "_R.MP4"}) {
    std::string cat = "cat";
    for (const std::string& f : inputs)
      if (f.size() > 6 && f.compare(f.size() - 6, 6, tag) == 0) cat += " " + Quoted(f);
    catCmd += cat + " > " + Quoted(folder + "/cat" + tag) + " && ";
  }
  catCmd += "sync " + Quoted(folder + "/cat_F.MP4") + " " + Quoted(folder + "/cat_R.MP4");

  // The bytes one join reads, counted here (not timed), inputs cached.
  const int64_t before = qvtest::ReadBytesSoFar();
  bool ok = joinInto(joinedF, joinedR);
  const double bytesRead = static_cast<double>(qvtest::ReadBytesSoFar() - before) / inputBytes;
  Shell(clean);

  // A warm-up round, then kRuns rounds of cat and the join in turn, each
  // once cold and once warm.
  std::vector<double> catCold, joinCold, catWarm, joinWarm;
  for (int run = 0; run <= kCrossRuns && ok; ++run) {
    for (bool cold : {true, false}) {
      bool good;
      if (cold) qvtest::DropCachedPages(inputs);
      double t = TimeShell(catCmd, good);
      ok = ok && good;
      if (run) (cold ? catCold : catWarm).push_back(t);
      Shell(clean);
      if (cold) qvtest::DropCachedPages(inputs);
      long rss = 0;
      good = InChild([&] { return joinInto(joinedF, joinedR); }, t, rss);
      ok = ok && good;
      if (run) (cold ? joinCold : joinWarm).push_back(t);
      Shell(clean);
    }
  }
  Shell("rm -rf " + Quoted(folder));
  if (!ok) {
    std::fprintf(stderr, "a run onto another file system failed\n");
    return false;
  }
  auto mark = [](bool pass) { return pass ? "ok" : "MISSED"; };
  const double cc = qvtest::Median(catCold), jc = qvtest::Median(joinCold);
  const double cw = qvtest::Median(catWarm), jw = qvtest::Median(joinWarm);
  std::printf("\nonto another file system (outputs on /dev/shm; the kernel's copy %s): medians of %d runs taken in turn\n",
              refused ? "answers EXDEV" : "is NOT refused", kCrossRuns);
  std::printf("%-36s %10s %10s %s\n", "measure", "value", "target", "");
  std::printf("%-36s %9sx %10s %s\n", "bytes read (rchar) / input bytes", Fixed(bytesRead, 3).c_str(), "<= 1.05",
              mark(bytesRead <= 1.05));
  std::printf("%-36s %9ss %10s\n", "cold: cat + sync (both cameras)", Fixed(cc, 3).c_str(), "(info)");
  std::printf("%-36s %9ss %10s\n", "cold: join", Fixed(jc, 3).c_str(), "(info)");
  std::printf("%-36s %10s %10s %s\n", "cold: join / (cat + sync)", Fixed(jc / cc, 3).c_str(), "<= 1.05",
              mark(jc <= 1.05 * cc));
  std::printf("%-36s %9ss %10s\n", "warm: cat + sync (both cameras)", Fixed(cw, 3).c_str(), "(info)");
  std::printf("%-36s %9ss %10s\n", "warm: join", Fixed(jw, 3).c_str(), "(info)");
  std::printf("%-36s %10s %10s %s\n", "warm: join / (cat + sync)", Fixed(jw / cw, 3).c_str(), "<= 1.05",
              mark(jw <= 1.05 * cw));
  return true;
}

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
  auto joinInto = [&](const std::string& f, const std::string& r) {
    qv::sMULTIMOVIE m;
    if (!m.OpenPair(fronts[0], rears[0])) return false;
    for (int i = 1; i < kPairs; ++i)
      if (!m.AppendMovie(fronts[static_cast<size_t>(i)], rears[static_cast<size_t>(i)])) return false;
    return m.rearOk && m.Write(f, r) == qv::JoinFault::kNone;
  };
  auto join = [&] { return joinInto(joinedF, joinedR); };
  const double inputBytes = static_cast<double>(frontBytes + rearBytes);

  // The reads of one join, counted here (not timed).
  g_preads = 0;
  const int64_t bytesBefore = qvtest::ReadBytesSoFar();
  if (!join()) {
    std::fprintf(stderr, "the join failed\n");
    return 1;
  }
  const double readsPerMovie = g_preads.load() / (2.0 * kPairs);
  const double bytesRead = static_cast<double>(qvtest::ReadBytesSoFar() - bytesBefore) / inputBytes;
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
  std::printf("%-36s %9sx %10s   (the kernel's copy reads too)\n", "bytes read (rchar) / input bytes",
              Fixed(bytesRead, 3).c_str(), "(info)");
  std::printf("%-36s %7s MB %7s MB %s\n", "join peak memory (child maxrss)", Fixed(rss / 1024.0, 1).c_str(), "< 64",
              mark(rss < 64 * 1024));
  std::printf("%-36s %7s ms %7s ms %s\n", "OpenMp4Movie + CheckFile per file", Fixed(perFile * 1e3, 3).c_str(), "< 1",
              mark(perFile < 1e-3 && failures == 0));
  std::fflush(stdout);
  return OntoAnotherFileSystem(all, inputBytes, joinInto) ? 0 : 1;
}
