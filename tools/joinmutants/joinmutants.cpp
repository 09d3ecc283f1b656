// Joins damaged copies of recordings and counts what the join does with them
// (see README.md).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/atomicwrite.h"
#include "platform/numtext.h"
#include "recording/mp4join.h"

namespace {

// True when ffmpeg demuxes and decodes the whole file without a message.
// The frames go to framecrc, which keeps the stream's own timestamps: the
// null output re-times them onto the frame rate's grid and then complains
// of two frames that a movie legitimately holds less than a frame apart.
bool FfmpegClean(const std::string& path) {
  std::string cmd = "ffmpeg -nostdin -v error -threads 1 -i '" + path + "' -f framecrc -y /dev/null 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return false;
  char buf[256];
  bool quiet = true;
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) quiet = quiet && n == 0;
  int status = ::pclose(p);
  return quiet && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The boxes a mutation may hit: the tables and durations the join reads.
std::vector<const qv::sTAGNODE*> Targets(const qv::sMP4MOVIE& m) {
  std::vector<const qv::sTAGNODE*> out;
  for (const qv::Mp4Track& t : m.tracks)
    for (const qv::sTAGNODE* n : {t.stts, t.stsc, t.stsz, t.stco, t.stss, t.ctts, t.elst, t.mdhd, t.tkhd})
      if (n && n->loaded && n->payload.size() >= 8) out.push_back(n);
  for (const qv::sTAGNODE* n : m.mvhd)
    if (n->loaded && n->payload.size() >= 8) out.push_back(n);
  return out;
}

// Replaces one or two big-endian words of the tables in `bytes`; answers
// what it changed.
std::string Mutate(std::string& bytes, const std::vector<const qv::sTAGNODE*>& targets, std::mt19937_64& rng) {
  std::string what;
  const int hits = rng() % 4 == 0 ? 2 : 1;
  for (int h = 0; h < hits; ++h) {
    const qv::sTAGNODE* n = targets[rng() % targets.size()];
    // Count fields and the first entries are the likely faults: favour them.
    const size_t words = n->payload.size() / 4;
    size_t w = 1 + (rng() % 2 ? rng() % std::min<size_t>(words - 1, 4) : rng() % (words - 1));
    const size_t at = static_cast<size_t>(n->sourceOffset) + 4 * w;
    if (at + 4 > bytes.size()) continue;
    uint32_t v = qv::Be32(reinterpret_cast<const uint8_t*>(bytes.data() + at));
    switch (rng() % 8) {
      case 0: v = 0; break;
      case 1: v = 1; break;
      case 2: v = 0xFFFFFFFFu; break;
      case 3: v = v + 1; break;
      case 4: v = v - 1; break;
      case 5: v = v * 2; break;
      case 6: v = 0x7FFFFFFFu; break;
      default: v = static_cast<uint32_t>(rng()); break;
    }
    qv::PutBe32(reinterpret_cast<uint8_t*>(bytes.data() + at), v);
    what += std::string(what.empty() ? "" : ", ") + n->type + " word " + qv::FormatInt(static_cast<int64_t>(w)) +
            " := " + qv::FormatInt(v);
  }
  return what;
}

struct Counts {
  long written = 0, refused = 0, rejected = 0;
};

struct Tally {
  std::mutex mu;
  long mutants = 0, cleanMutants = 0, unopened = 0;
  Counts all[3], clean[3];  // first, appended, alone
};

const char* const kWays[3] = {"as first", "appended", "alone"};

// One join; 0 refused (the reason in `why`), 1 written and clean, 2 written
// but rejected.
int JoinOne(const std::string& first, const std::string& next, const std::string& out, int& why) {
  qv::sMULTIMOVIE join;
  why = 0;
  if (!join.OpenPair(first, "") || (!next.empty() && !join.AppendMovie(next, ""))) {
    why = static_cast<int>(join.fault);
    return 0;
  }
  ::unlink(out.c_str());
  if (join.Write(out, "") != qv::JoinFault::kNone) {
    why = static_cast<int>(join.fault);
    return 0;
  }
  const int r = FfmpegClean(out) ? 1 : 2;
  ::unlink(out.c_str());
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work;
  int64_t count = 200, seed = 1, jobs = 2;
  bool verbose = false;
  std::vector<std::string> movies;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--verbose") {
      verbose = true;
      continue;
    }
    auto number = [&](int64_t& v) { return i + 1 < argc && qv::ParseInt64(argv[++i], v); };
    if (a == "--count" ? !number(count) : a == "--seed" ? !number(seed) : a == "--jobs" ? !number(jobs) : false) {
      std::cerr << "bad value for " << a << "\n";
      return 2;
    }
    if (a == "--count" || a == "--seed" || a == "--jobs") continue;
    if (work.empty()) {
      work = a;
    } else {
      movies.push_back(a);
    }
  }
  if (work.empty() || movies.size() < 2 || count < 1 || jobs < 1) {
    std::cerr << "usage: qv_joinmutants WORKDIR [--count N] [--seed S] [--jobs J] [--verbose] MOVIE MOVIE...\n";
    return 2;
  }
  ::mkdir(work.c_str(), 0755);

  std::vector<std::string> sources;
  std::vector<std::vector<const qv::sTAGNODE*>> targets;
  std::vector<qv::Mp4MoviePtr> parsed;
  for (const std::string& m : movies) {
    parsed.emplace_back(qv::OpenMp4Movie(m));
    sources.emplace_back();
    if (!parsed.back() || !qv::ReadWholeFile(m, sources.back())) {
      std::cerr << "cannot open " << m << "\n";
      return 1;
    }
    targets.push_back(Targets(*parsed.back()));
  }

  Tally tally;
  std::atomic<int64_t> nextMutant{0};
  auto worker = [&](int64_t id) {
    const std::string mutant = work + "/mutant" + qv::FormatInt(id) + ".MP4";
    const std::string out = work + "/joined" + qv::FormatInt(id) + ".MP4";
    for (int64_t k; (k = nextMutant.fetch_add(1)) < count;) {
      std::mt19937_64 rng(static_cast<uint64_t>(seed) * 1000003u + static_cast<uint64_t>(k));
      const size_t src = static_cast<size_t>(k) % movies.size();
      const std::string& partner = movies[(src + 1) % movies.size()];
      std::string bytes = sources[src];
      const std::string what = Mutate(bytes, targets[src], rng);
      if (!qv::ReplaceFileContent(mutant, bytes)) {
        std::cerr << "cannot write " << mutant << "\n";
        std::exit(1);
      }
      qv::Mp4MoviePtr opened(qv::OpenMp4Movie(mutant));
      const bool clean = FfmpegClean(mutant);
      int why[3];
      int r[3] = {JoinOne(mutant, partner, out, why[0]), JoinOne(partner, mutant, out, why[1]),
                  JoinOne(mutant, "", out, why[2])};
      std::lock_guard<std::mutex> lock(tally.mu);
      if (verbose && (r[0] != 1 || r[1] != 1 || r[2] != 1) && (clean || r[0] == 2 || r[1] == 2 || r[2] == 2)) {
        std::cout << "mutant " << k << " of " << movies[src] << (clean ? " (clean)" : "") << ": " << what << ":";
        for (int w = 0; w < 3; ++w) {
          if (r[w] == 2) std::cout << " " << kWays[w] << " rejected;";
          if (r[w] == 0) std::cout << " " << kWays[w] << " refused (reason " << why[w] << ");";
        }
        std::cout << "\n";
      }
      ++tally.mutants;
      if (!opened) ++tally.unopened;
      if (clean) ++tally.cleanMutants;
      for (int w = 0; w < 3; ++w) {
        for (Counts* c : {&tally.all[w], clean ? &tally.clean[w] : nullptr}) {
          if (!c) continue;
          (r[w] == 0 ? c->refused : c->written)++;
          if (r[w] == 2) ++c->rejected;
        }
      }
    }
    ::unlink(mutant.c_str());
  };
  std::vector<std::thread> threads;
  for (int64_t j = 0; j < jobs; ++j) threads.emplace_back(worker, j);
  for (std::thread& t : threads) t.join();

  std::cout << "mutants " << tally.mutants << " (not opened " << tally.unopened << ", decoded cleanly by ffmpeg "
            << tally.cleanMutants << ")\n";
  std::cout << "join        | written | refused | written, rejected by ffmpeg\n";
  for (int clean = 0; clean < 2; ++clean) {
    if (clean) std::cout << "of the mutants ffmpeg decodes cleanly:\n";
    long sum[3] = {};
    for (int w = 0; w < 3; ++w) {
      const Counts& c = clean ? tally.clean[w] : tally.all[w];
      std::printf("%-11s | %7ld | %7ld | %ld\n", kWays[w], c.written, c.refused, c.rejected);
      sum[0] += c.written;
      sum[1] += c.refused;
      sum[2] += c.rejected;
    }
    std::printf("%-11s | %7ld | %7ld | %ld\n", "all", sum[0], sum[1], sum[2]);
  }
  return 0;
}
