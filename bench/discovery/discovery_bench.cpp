// Scanning a card-like tree (30 date folders of 100 one-minute pairs) as the
// browsing panel does it: listing, completeness tests, media sizes and the
// folder tree.  Compared in the same run with `find` over the tree, with the
// least reading a scan needs (each file's head, tail and movie index as far
// as the video track's sample sizes, in three reads), on one thread and on
// as many threads as the scan uses, with opening every movie through the
// recording library, and with `exiftool -ee` reading the GPS of the files.
// Per file, the read calls and bytes of the least reading and of the scan
// (from /proc/self/io).
//
// Every file of the tree is a file of its own (its own inode, index and
// drive data), made cheaply from one pair: the media data, which no scan
// reads, is left a hole, and each file's drive data is its own.  Warm: the
// tree in the page cache.  Cold: every file's cached pages dropped before
// each run (posix_fadvise DONTNEED, which needs no root; the folders'
// listings stay cached).  The two passes compared run in turn, best of each.
//
// The goals: the scan within 1.25 times the least reading on as many
// threads, warm and cold; the rest is printed for information.
//
// The recordings are made once by the fixture tool under the build folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/filesource.h"
#include "platform/numtext.h"
#include "recording/checkfile.h"
#include "recording/discovery.h"
#include "recording/mp4movie.h"
#include "testsupport.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 30;
constexpr int kPairs = 100;
constexpr int kRuns = 3;
constexpr int kWarmRuns = 7;
constexpr double kGoal = 1.25;

int Shell(const std::string& cmd) {
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Two(int n) { return (n < 10 ? "0" : "") + qv::FormatInt(n); }
std::string Three(int n) { return (n < 100 ? "0" : "") + Two(n); }

// The one pair the fixture tool wrote into `dir`: front and rear paths.
bool FindPair(const std::string& dir, std::string& front, std::string& rear) {
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    const std::string p = e.path().string();
    if (p.size() > 6 && p.compare(p.size() - 6, 6, "_F.MP4") == 0) front = p;
    if (p.size() > 6 && p.compare(p.size() - 6, 6, "_R.MP4") == 0) rear = p;
  }
  return !front.empty() && !rear.empty();
}

// Writes `src` to `dst` with the payload of its top-level "mdat" left a
// hole, and `stamp` in the last drive-data record's free first bytes, so
// that no two such files hold the same bytes.
bool SparseCopy(const std::string& src, const std::string& dst, uint32_t stamp) {
  std::string bytes;
  {
    qv::FileSource f(src);
    if (!f.IsOpen()) return false;
    bytes.resize(f.Size());
    if (!f.ReadExact(0, bytes.data(), bytes.size())) return false;
  }
  const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes.data());
  uint64_t at = 0, holeFrom = 0, holeTo = 0;
  while (bytes.size() - at >= 8) {
    const uint64_t size = qv::Be32(b + at);
    if (size < 8 || size > bytes.size() - at) break;
    if (std::memcmp(b + at + 4, "mdat", 4) == 0) {
      holeFrom = at + 8;
      holeTo = at + size;
    }
    at += size;
  }
  // The last record ends 6 bytes before the end ("CSOEND").
  if (bytes.size() < 6 + 91) return false;
  qv::PutBe32(reinterpret_cast<uint8_t*>(bytes.data()) + bytes.size() - 6 - 91, stamp);
  const int fd = open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = pwrite(fd, bytes.data(), holeFrom, 0) == static_cast<ssize_t>(holeFrom) &&
                  pwrite(fd, bytes.data() + holeTo, bytes.size() - holeTo, static_cast<off_t>(holeTo)) ==
                      static_cast<ssize_t>(bytes.size() - holeTo);
  return close(fd) == 0 && ok;
}

// Date folders of pairs named like the recorder's, each file a copy of the
// source pair whose media data is a hole.
bool MakeTree(const std::string& root, const std::string& front, const std::string& rear, int folders, int pairs) {
  const std::string tmp = root + ".tmp";
  fs::remove_all(tmp);
  std::error_code ec;
  for (int f = 0; f < folders; ++f) {
    const std::string folder = tmp + "/202503" + Two(f + 1) + "_001";
    fs::create_directories(folder, ec);
    for (int i = 0; i < pairs; ++i) {
      const int minute = i;
      const char trigger = i % 10 == 9 ? 'G' : 'A';
      const std::string stem = folder + "/" + Three(i + 1) + "_" + Two(8 + minute / 60) + Two(minute % 60) + "00" +
                               trigger + "N_";
      for (const auto& [src, cam] : {std::pair{front, "F"}, std::pair{rear, "R"}}) {
        const std::string dst = stem + cam + ".MP4";
        if (!SparseCopy(src, dst, static_cast<uint32_t>(f * pairs + i))) ec = std::make_error_code(std::errc::io_error);
        if (ec) {
          std::fprintf(stderr, "cannot make %s: %s\n", dst.c_str(), ec.message().c_str());
          return false;
        }
      }
    }
  }
  fs::rename(tmp, root, ec);
  return !ec;
}

bool MakePair(const std::string& dir, const std::string& options, std::string& front, std::string& rear) {
  if (FindPair(dir, front, rear)) return true;
  fs::remove_all(dir);
  if (Shell(std::string(QV_MKREC) + " pair " + Quote(dir) + " " + options + " > /dev/null") != 0) return false;
  return FindPair(dir, front, rear);
}

void ListFiles(const std::string& dir, std::vector<std::string>& out) {
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file()) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
}

// What a scan hands the panel, which keeps it (the rows, the tree and what
// the scan read for the folder fills after it): let go before the next run,
// outside the time taken.
struct ScanResult {
  qv::ScanContext context;
  qv::FolderTreeRecord tree;
  std::vector<qv::RecordingEntry> entries, folders;
};
std::unique_ptr<ScanResult> g_kept;
void LetGo() { g_kept.reset(); }

double Seconds(const std::function<void()>& run, const std::function<void()>& before = {}) {
  double best = 1e30;
  for (int i = 0; i < kRuns; ++i) {
    LetGo();
    if (before) before();
    const auto t0 = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

// The offset just past the video track's sample-size table among the boxes
// [at, end) of a "moov" payload; 0 when there is none.
uint64_t VideoTableEnd(const uint8_t* m, uint64_t at, uint64_t end, bool& video) {
  while (end - at >= 8) {
    const uint64_t size = qv::Be32(m + at);
    if (size < 8 || size > end - at) return 0;
    const std::string type(reinterpret_cast<const char*>(m + at + 4), 4);
    if (type == "trak") video = false;
    if (type == "hdlr" && size >= 20) video = std::memcmp(m + at + 16, "vide", 4) == 0;
    if (type == "stsz" && video) return at + size;
    if (type == "trak" || type == "mdia" || type == "minf" || type == "stbl") {
      const uint64_t e = VideoTableEnd(m, at + 8, at + size, video);
      if (e) return e;
    }
    at += size;
  }
  return 0;
}

// What of each movie's index a scan has to read, found before the timed
// pass: from the "moov" header through the video track's sample sizes (the
// headers on the way included, as nothing tells a reader where they lie).
struct MoovPlace {
  uint64_t offset = 0, size = 0;
};
MoovPlace FindMoov(const std::string& path) {
  qv::FileSource f(path);
  uint64_t at = 0;
  while (f.IsOpen() && f.Size() - at >= 8) {
    uint8_t h[16];
    if (!f.ReadExact(at, h, 16)) break;
    uint64_t size = qv::Be32(h);
    if (size == 1) size = qv::Be64(h + 8);
    if (size < 8) break;
    if (std::memcmp(h + 4, "moov", 4) == 0) {
      std::vector<uint8_t> moov(size);
      bool video = false;
      const uint64_t end = f.ReadExact(at, moov.data(), size) ? VideoTableEnd(moov.data(), 8, size, video) : 0;
      return {at, end ? end : size};
    }
    at += size;
  }
  return {};
}

// The least reading: head, tail and movie index of each file, three reads.
uint64_t LeastReading(const std::vector<std::string>& files, const std::vector<MoovPlace>& moov) {
  uint64_t bytes = 0;
  std::vector<uint8_t> buf(1 << 20);
  for (size_t i = 0; i < files.size(); ++i) {
    const int fd = open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    fstat(fd, &st);
    bytes += static_cast<uint64_t>(pread(fd, buf.data(), 4096, 0));
    bytes += static_cast<uint64_t>(pread(fd, buf.data(), 97, st.st_size - 97));
    if (moov[i].size > buf.size()) buf.resize(moov[i].size);
    bytes += static_cast<uint64_t>(pread(fd, buf.data(), moov[i].size, static_cast<off_t>(moov[i].offset)));
    close(fd);
  }
  return bytes;
}

// The least reading shared out over `threads` threads, as the scan's readers
// and its walk share it.
void LeastReadingOn(int threads, const std::vector<std::string>& files, const std::vector<MoovPlace>& moov) {
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      std::vector<std::string> f;
      std::vector<MoovPlace> m;
      for (size_t i = static_cast<size_t>(t); i < files.size(); i += static_cast<size_t>(threads)) {
        f.push_back(files[i]);
        m.push_back(moov[i]);
      }
      LeastReading(f, m);
    });
  for (std::thread& t : pool) t.join();
}

// A scan as the panel runs it; readers 0 keeps every read on the walk's thread.
size_t Scan(const std::string& root, int readers = qv::ScanContext().readers, qv::ScanContext* known = nullptr) {
  auto r = std::make_unique<ScanResult>();
  qv::ScanContext& ctx = known ? *known : r->context;
  ctx.readers = readers;
  qv::FillFolderTree(root, &r->tree, 0, r->entries, &r->folders, true, nullptr, 0, ctx);
  qv::SortEntries(r->entries);
  g_kept = std::move(r);
  return g_kept->entries.size();
}

size_t OpenEach(const std::vector<std::string>& files) {
  size_t ok = 0;
  for (const std::string& f : files) {
    qv::Mp4MoviePtr movie(qv::OpenMp4Movie(f));
    ok += movie && qv::CheckFile(f);
  }
  return ok;
}

std::string Fixed(double v, int decimals) { return qv::FormatFixed(v, decimals); }

void Row(const char* what, double seconds, size_t files, double perFileLimit) {
  const double perFile = seconds / static_cast<double>(files);
  std::printf("  %-44s %10s ms  %8s us/file  %8s x find\n", what, Fixed(seconds * 1e3, 1).c_str(),
              Fixed(perFile * 1e6, 2).c_str(), Fixed(perFile / perFileLimit, 2).c_str());
}

// Bytes and read calls of this process so far (/proc/self/io), to tell
// what a pass read; zero where the kernel does not keep the counts.
struct IoCount {
  uint64_t bytes = 0, calls = 0;
};
IoCount ReadIoCount() {
  IoCount c;
  FILE* f = std::fopen("/proc/self/io", "r");
  if (!f) return c;
  char line[128];
  while (std::fgets(line, sizeof line, f)) {
    int64_t v = 0;
    const std::string text(line);
    const size_t colon = text.find(':');
    if (colon == std::string::npos || !qv::ParseInt64(text.substr(colon + 2, text.find('\n') - colon - 2), v)) continue;
    if (text.rfind("rchar:", 0) == 0) c.bytes = static_cast<uint64_t>(v);
    if (text.rfind("syscr:", 0) == 0) c.calls = static_cast<uint64_t>(v);
  }
  std::fclose(f);
  return c;
}

// Per file: read calls and bytes of one run of `run`.
std::string IoPerFile(const std::function<void()>& run, size_t files) {
  const IoCount a = ReadIoCount();
  run();
  const IoCount b = ReadIoCount();
  const double n = static_cast<double>(files);
  return Fixed(static_cast<double>(b.calls - a.calls) / n, 2) + " reads, " +
         Fixed(static_cast<double>(b.bytes - a.bytes) / n, 0) + " bytes";
}

// The best of kRuns of each of two passes, run in turn (A B A B ...) so that
// a machine whose speed drifts moves both alike.
std::pair<double, double> BestInTurn(const std::function<void()>& a, const std::function<void()>& b,
                                     const std::function<void()>& before = {}, int runs = kRuns) {
  double bestA = 1e30, bestB = 1e30;
  for (int i = 0; i < runs; ++i) {
    for (int which = 0; which < 2; ++which) {
      LetGo();
      if (before) before();
      const auto t0 = Clock::now();
      (which == 0 ? a : b)();
      double& best = which == 0 ? bestA : bestB;
      best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
  }
  return {bestA, bestB};
}

void Goal(const char* what, double ratio, double goal) {
  std::printf("  %-44s %10s x   goal <= %s: %s\n", what, Fixed(ratio, 2).c_str(), Fixed(goal, 2).c_str(),
              ratio <= goal ? "met" : "NOT met");
}

}  // namespace

int main() {
  const std::string cache = QV_BENCH_CACHE;
  fs::create_directories(cache);
  std::string front, rear;
  if (!MakePair(cache + "/pair", "--seconds 60 --seed 3", front, rear)) {
    std::fprintf(stderr, "the fixture tool failed\n");
    return 1;
  }
  const std::string card = cache + "/distinct-card";
  fs::remove_all(cache + "/card");  // the hard links of earlier runs
  fs::remove_all(cache + "/cold");  // the small cold tree of earlier runs
  if (!fs::exists(card) && !MakeTree(card, front, rear, kFolders, kPairs)) return 1;

  std::vector<std::string> files;
  ListFiles(card, files);
  std::vector<MoovPlace> moov;
  for (const std::string& f : files) moov.push_back(FindMoov(f));
  const bool exif = Shell("exiftool -ver > /dev/null 2>&1") == 0;
  const std::string oneFolder = card + "/20250301_001";
  const int threads = 1 + qv::ScanContext().readers;
  const std::string onThreads = "on " + qv::FormatInt(threads) + " threads";

  std::printf("scan of %d date folders x %d one-minute pairs (%zu files), warm, best of %d (the ratios: %d, in turn)\n",
              kFolders, kPairs, files.size(), kRuns, kWarmRuns);
  size_t rows = 0;
  const double tFind = Seconds([&] { Shell("find " + Quote(card) + " > /dev/null"); });
  const auto [tLeast, tAlone] = BestInTurn([&] { LeastReading(files, moov); }, [&] { Scan(card, 0); }, {}, kWarmRuns);
  const auto [tLeastOn, tScan] = BestInTurn([&] { LeastReadingOn(threads, files, moov); }, [&] { rows = Scan(card); }, {}, kWarmRuns);
  const double tRead = Seconds([&] {
    for (const std::string& f : files) qv::ReadMovieSummary(f);
  });
  qv::ScanContext known;
  for (const std::string& f : files) known.Summary(f);
  const double tWalk = Seconds([&] { Scan(card, known.readers, &known); });
  const std::vector<std::string> some(files.begin(), files.begin() + 2 * kPairs * 3);
  const double tOpen = Seconds([&] { OpenEach(some); });
  const double perFind = tFind / static_cast<double>(files.size());
  Row("find over the tree", tFind, files.size(), perFind);
  Row("least reading (head, tail, index to sizes)", tLeast, files.size(), perFind);
  Row(("the same " + onThreads).c_str(), tLeastOn, files.size(), perFind);
  Row("the scan's reading alone (ReadMovieSummary)", tRead, files.size(), perFind);
  Row("scan on the walk's thread alone", tAlone, files.size(), perFind);
  Row(("scan (tree fill, sort) " + onThreads).c_str(), tScan, files.size(), perFind);
  Row("scan with every file already read", tWalk, files.size(), perFind);
  Row("OpenMp4Movie + CheckFile (3 folders)", tOpen, some.size(), perFind);
  double tExif = 0;
  if (exif) {
    tExif = Seconds([&] { Shell("exiftool -q -q -ee -n -GPSLatitude -GPSLongitude " + Quote(oneFolder) + " > /dev/null"); });
    Row("exiftool -ee GPS (one folder)", tExif, 2 * kPairs, perFind);
  } else {
    std::printf("  exiftool: not installed\n");
  }
  std::printf("  rows %zu\n", rows);
  std::printf("  per file, least reading: %s; scan: %s\n",
              IoPerFile([&] { LeastReading(files, moov); }, files.size()).c_str(),
              IoPerFile([&] { Scan(card, 0); }, files.size()).c_str());
  Goal(("warm: scan / least reading " + onThreads).c_str(), tScan / tLeastOn, kGoal);
  std::printf("  one thread: scan / least reading   %10s x   (for information)\n", Fixed(tAlone / tLeast, 2).c_str());
  std::printf("  scan / find                        %10s x   (for information)\n", Fixed(tScan / tFind, 2).c_str());
  if (exif)
    std::printf("  exiftool / scan per file           %10s x   (for information)\n",
                Fixed((tExif / (2 * kPairs)) / (tScan / static_cast<double>(files.size())), 1).c_str());

  // Cold: the page cache's copy of every file dropped before each run (the
  // folders' listings stay cached; a plain user can drop no more).
  std::printf("cold: the same card, each file's cached pages dropped (posix_fadvise DONTNEED) before each run, best of %d\n",
              kRuns);
  auto evict = [&] { qvtest::DropCachedPages(files); };
  const auto [cLeast, cAlone] =
      BestInTurn([&] { LeastReading(files, moov); }, [&] { Scan(card, 0); }, evict);
  const auto [cLeastOn, cScan] = BestInTurn([&] { LeastReadingOn(threads, files, moov); }, [&] { Scan(card); }, evict);
  Row("least reading", cLeast, files.size(), perFind);
  Row(("the same " + onThreads).c_str(), cLeastOn, files.size(), perFind);
  Row("scan on the walk's thread alone", cAlone, files.size(), perFind);
  Row(("scan " + onThreads).c_str(), cScan, files.size(), perFind);
  Goal(("cold: scan / least reading " + onThreads).c_str(), cScan / cLeastOn, kGoal);
  std::printf("  one thread: scan / least reading   %10s x   (for information)\n", Fixed(cAlone / cLeast, 2).c_str());
  return 0;
}
