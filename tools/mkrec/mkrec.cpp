// mkrec: makes recordings in the recorder's format for tests, benchmarks and
// the demo.  See README.md next to this file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "blockwriter.h"
#include "drive.h"
#include "mp4layout.h"
#include "platform/civiltime.h"
#include "platform/filesource.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "runprogram.h"

namespace fs = std::filesystem;
using namespace qv;
using namespace qv::rec;

namespace {

std::string Two(int v) { return FormatPadded(v, 2); }

std::string DateFolderName(const CivilTime& t, int number) {
  return FormatPadded(t.year, 4) + Two(t.month) + Two(t.day) + "_" + FormatPadded(number, 3);
}

std::string IsoTime(const CivilTime& t) {
  return FormatPadded(t.year, 4) + "-" + Two(t.month) + "-" + Two(t.day) + "T" + Two(t.hour) + ":" + Two(t.minute) +
         ":" + Two(t.second);
}

struct VideoSpec {
  int width = 320, height = 180, fps = 30;
  int bitrateKbps = 0;  // 0: constant quality
  std::string preset = "veryfast";
  bool audio = true;
  int threads = 1;  // fixed, so that the output does not depend on the machine
};

struct FileJob {
  std::string root;     // tree root
  std::string relPath;  // path below the root
  char camera = 'F';
  char trigger = 'A', rate = 'N';
  int seconds = 0;
  VideoSpec video;
  uint64_t seed = 1;
  bool faststart = false;
  bool withBlock = true;
  std::string block;
  int records = 0;
  double truncateFraction = 0;  // > 0: only this share of the file is kept
  CivilTime start;
  std::vector<std::string> roles;
  // Results.
  bool ok = false;
  std::string error;
  uint64_t size = 0;
  std::vector<uint32_t> stsc;
};

std::vector<std::string> FfmpegArgs(const FileJob& job, const std::string& out) {
  const VideoSpec& v = job.video;
  const std::string d = FormatInt(job.seconds);
  const std::string hue = FormatInt(static_cast<int64_t>((job.seed * 47 + (job.camera == 'R' ? 120 : 0)) % 360));
  std::string src = job.camera == 'F' ? "testsrc2" : "testsrc";
  src += "=size=" + FormatInt(v.width) + "x" + FormatInt(v.height) + ":rate=" + FormatInt(v.fps) + ":duration=" + d +
         ",hue=h=" + hue;
  std::vector<std::string> a = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                "-f",     "lavfi",    "-i",           src};
  if (v.audio) {
    const std::string freq = FormatInt(static_cast<int64_t>(220 + (job.seed % 8) * 55 + (job.camera == 'R' ? 110 : 0)));
    a.insert(a.end(), {"-f", "lavfi", "-i", "sine=frequency=" + freq + ":sample_rate=48000:duration=" + d});
  }
  a.insert(a.end(), {"-map", "0:v"});
  if (v.audio) a.insert(a.end(), {"-map", "1:a"});
  a.insert(a.end(), {"-c:v", "libx264", "-preset", v.preset, "-pix_fmt", "yuv420p", "-g", "15", "-keyint_min", "15",
                     "-sc_threshold", "0", "-bf", "0", "-threads", FormatInt(v.threads)});
  if (v.bitrateKbps > 0) {
    const std::string k = FormatInt(v.bitrateKbps) + "k";
    a.insert(a.end(), {"-b:v", k, "-minrate", k, "-maxrate", k, "-bufsize", k, "-x264-params", "nal-hrd=cbr"});
  } else {
    a.insert(a.end(), {"-crf", "26"});
  }
  if (v.audio) a.insert(a.end(), {"-c:a", "aac", "-b:a", "64k", "-ac", "1"});
  a.insert(a.end(), {"-video_track_timescale", "1000000", "-fflags", "+bitexact", "-flags:v", "+bitexact",
                     "-flags:a", "+bitexact", "-map_metadata", "-1", "-t", d, "-f", "mp4", out});
  return a;
}

// rename() that never replaces an existing file.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error) {
  if (qv::RenameNoReplace(from, to) == 0) return true;
  error = errno == EEXIST ? to + " exists already; not overwritten"
                          : "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
  return false;
}

bool RunJob(FileJob& job) {
  const fs::path final = fs::path(job.root) / job.relPath;
  const std::string dir = final.parent_path().string();
  const std::string name = final.filename().string();
  const std::string enc = dir + "/." + name + ".enc.tmp";
  const std::string tmp = dir + "/." + name + ".tmp";
  const std::string cut = dir + "/." + name + ".cut.tmp";
  std::error_code ec;
  if (fs::exists(final, ec)) {
    job.error = final.string() + " exists already; not overwritten";
    return false;
  }
  // Left-overs of an interrupted run are ours to clear.
  for (const std::string& stale : {enc, tmp, cut}) fs::remove(stale, ec);
  if (!RunProgram(FfmpegArgs(job, enc), job.error)) {
    fs::remove(enc, ec);
    return false;
  }
  bool ok = WriteRecorderLayout(enc, tmp, job.faststart, job.withBlock ? job.block : std::string(), job.error);
  fs::remove(enc, ec);
  if (!ok) return false;
  if (ok && job.withBlock) {
    // Readers look for the block only in the last quarter of the file.
    uint64_t size = fs::file_size(tmp, ec);
    if (ec || !BlockStartsInLastQuarter(size, job.block.size())) {
      job.error = "the drive-data block would not lie in the file's last quarter; make the movie larger";
      ok = false;
    }
  }
  if (ok) ok = ReadStscEntryCounts(tmp, job.stsc, job.error);
  std::string ready = tmp;
  if (ok && job.truncateFraction > 0) {
    uint64_t size = fs::file_size(tmp, ec);
    ok = !ec && CopyPrefix(tmp, cut, static_cast<uint64_t>(static_cast<double>(size) * job.truncateFraction),
                           job.error);
    fs::remove(tmp, ec);
    ready = cut;
  }
  if (ok && !RenameNoReplace(ready, final.string(), job.error)) ok = false;
  if (!ok) {
    fs::remove(ready, ec);
    return false;
  }
  job.size = fs::file_size(final, ec);
  return true;
}

// Runs the jobs on `workers` threads; false when any failed (all are reported).
bool RunJobs(std::vector<FileJob>& jobs, unsigned workers) {
  std::atomic<size_t> next{0};
  std::mutex printLock;
  auto work = [&] {
    for (size_t i = next++; i < jobs.size(); i = next++) {
      jobs[i].ok = RunJob(jobs[i]);
      if (!jobs[i].ok) {
        std::lock_guard<std::mutex> lock(printLock);
        std::cerr << "mkrec: " << jobs[i].relPath << ": " << jobs[i].error << "\n";
      }
    }
  };
  workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs.size())));
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < workers; ++i) threads.emplace_back(work);
  for (std::thread& t : threads) t.join();
  return std::all_of(jobs.begin(), jobs.end(), [](const FileJob& j) { return j.ok; });
}

struct Place {
  double latitude, longitude, heading;
};
// Start points on real roads; chosen by seed.
const Place kPlaces[] = {
    {35.658000, 139.701600, 60},   // Tokyo
    {34.702500, 135.495900, 170},  // Osaka
    {35.170900, 136.881500, 95},   // Nagoya
    {43.068600, 141.350800, 0},    // Sapporo
    {33.590200, 130.420700, 250},  // Fukuoka
};
const Place kSouthWest = {-33.448900, -70.669300, 120};  // Santiago de Chile

// A run: consecutive pairs of one trigger kind, the drive continuing from one
// pair to the next.
struct RunDesc {
  std::string folder;  // relative to the root
  int firstSequence = 1;
  CivilTime start;
  char trigger = 'A', rate = 'N';
  int pairs = 1;
  int seconds = 5;  // movie seconds per file
  VideoSpec front, rear;
  Scenario scenario = Scenario::Drive;
  Place place = kPlaces[0];
  uint64_t seed = 1;
  bool coldStart = false;
  bool addSecondsForm = false;
  bool makeRear = true;
  bool withBlock = true;
  bool faststart = false;
  double truncateFront = 0;
  std::string role;                    // pairs > 1: role-1, role-2, ...
  std::vector<std::string> extraRoles;  // further roles of the first pair
};

Scenario ScenarioOf(char trigger) {
  switch (trigger) {
    case 'G': return Scenario::HardBrake;
    case 'M': return Scenario::Manual;
    case 'P': return Scenario::Parking;
    case 'S': return Scenario::ParkingShock;
    default: return Scenario::Drive;
  }
}

// Adds the jobs of a run; answers the next free sequence number.
int AddRun(std::vector<FileJob>& jobs, const std::string& root, const RunDesc& run) {
  const int perSecond = run.rate == 'T' ? 15 : 10;
  const double realPerRecord = run.rate == 'T' ? 1.0 : 0.1;
  const int recordsPerFile = run.seconds * perSecond;
  RunPlan plan;
  plan.scenario = run.scenario;
  plan.seed = run.seed;
  plan.latitude = run.place.latitude;
  plan.longitude = run.place.longitude;
  plan.headingDeg = run.place.heading;
  plan.start = run.start;
  plan.records = recordsPerFile * run.pairs;
  plan.realSecondsPerRecord = realPerRecord;
  plan.coldStart = run.coldStart;
  std::vector<DriveRecord> all = SimulateRun(plan);
  BlockHead head;

  int seq = run.firstSequence;
  for (int p = 0; p < run.pairs; ++p, ++seq) {
    std::vector<DriveRecord> slice(all.begin() + static_cast<ptrdiff_t>(p) * recordsPerFile,
                                   all.begin() + static_cast<ptrdiff_t>(p + 1) * recordsPerFile);
    if (run.addSecondsForm) UseAddSecondsForm(slice);
    const DriveRecord& first = slice.front();
    CivilTime start = NormalizeCivil(first.year, first.month, first.day, first.hour, first.minute,
                                     first.second + (first.addSeconds > 0 ? first.addSeconds : 0));
    std::string block = BuildBlock(head, slice);
    const std::string stem = FormatPadded(seq % 1000, 3) + "_" + Two(start.hour) + Two(start.minute) +
                             Two(start.second) + run.trigger + run.rate + "_";
    const std::string suffix = run.pairs > 1 ? "-" + FormatInt(p + 1) : std::string();
    for (char camera : {'F', 'R'}) {
      if (camera == 'R' && !run.makeRear) continue;
      FileJob job;
      job.root = root;
      job.relPath = run.folder + "/" + stem + camera + ".MP4";
      job.camera = camera;
      job.trigger = run.trigger;
      job.rate = run.rate;
      job.seconds = run.seconds;
      job.video = camera == 'F' ? run.front : run.rear;
      job.seed = run.seed * 1000 + static_cast<uint64_t>(seq);
      job.faststart = run.faststart;
      job.withBlock = run.withBlock;
      job.block = block;
      job.records = run.withBlock ? recordsPerFile : 0;
      job.truncateFraction = camera == 'F' ? run.truncateFront : 0;
      job.start = start;
      const std::string tag = std::string("-") + camera;
      job.roles.push_back(run.role + suffix + tag);
      if (p == 0)
        for (const std::string& r : run.extraRoles) job.roles.push_back(r + tag);
      jobs.push_back(std::move(job));
    }
  }
  return seq;
}

std::string ManifestLine(const std::string& role, const FileJob& j) {
  std::string stsc;
  for (uint32_t c : j.stsc) stsc += (stsc.empty() ? "" : ",") + FormatInt(c);
  std::string layout = j.truncateFraction > 0 ? "truncated" : j.faststart ? "ftyp-moov-mdat" : "ftyp-mdat-moov";
  return role + "\t" + j.relPath + "\tcamera=" + j.camera + " trigger=" + j.trigger + " rate=" + j.rate +
         " start=" + IsoTime(j.start) + " seconds=" + FormatInt(j.seconds) + " fps=" + FormatInt(j.video.fps) +
         " width=" + FormatInt(j.video.width) + " height=" + FormatInt(j.video.height) +
         " audio=" + (j.video.audio ? "1" : "0") + " records=" + FormatInt(j.records) +
         " block=" + FormatInt(j.withBlock ? static_cast<int64_t>(j.block.size()) : 0) + " size=" + FormatInt(j.size) +
         " layout=" + layout + " stsc=" + (stsc.empty() ? "-" : stsc) + "\n";
}

bool WriteFormatConfig(const fs::path& root, const std::string& model, std::string& error) {
  std::string data(64, '\0');
  data.replace(16, 8, model.substr(0, 8));
  data[24] = '1';
  data[25] = '0';
  data[26] = '2';
  return WriteNewFile((root / "DRFormatConfig.dfc").string(), data, error);
}

// Makes the card furniture: "Delete Folder" and the format description.
bool MakeCardRoot(const fs::path& card, const std::string& model, std::string& error) {
  std::error_code ec;
  fs::create_directories(card / "Delete Folder", ec);
  if (ec) {
    error = "cannot create " + (card / "Delete Folder").string() + ": " + ec.message();
    return false;
  }
  return WriteFormatConfig(card, model, error);
}

bool MakeFolders(const std::string& root, const std::vector<FileJob>& jobs, std::string& error) {
  for (const FileJob& j : jobs) {
    std::error_code ec;
    fs::create_directories((fs::path(root) / j.relPath).parent_path(), ec);
    if (ec) {
      error = "cannot create folders for " + j.relPath + ": " + ec.message();
      return false;
    }
  }
  return true;
}

const char kManifestHeader[] = "# mkrec test recordings";

// Whether `dest` may be replaced: it does not exist, is an empty folder, or
// (replaceTests) holds a test tree that mkrec made before.
bool MayReplace(const fs::path& dest, bool replaceTests) {
  std::error_code ec;
  if (!fs::exists(dest, ec)) return true;
  if (!fs::is_directory(dest, ec)) return false;
  if (fs::is_empty(dest, ec) && !ec) return true;
  if (!replaceTests) return false;
  FileSource manifest((dest / "MANIFEST.txt").string());
  std::string head(sizeof kManifestHeader - 1, '\0');
  return manifest.IsOpen() && manifest.ReadExact(0, head.data(), head.size()) && head == kManifestHeader;
}

// Builds a whole tree in a fresh folder next to `target` and puts it in place
// of `target` only when everything succeeded.  A folder in the way is
// replaced only when MayReplace allows it.
template <class Fill>
int BuildTreeInPlace(const std::string& target, bool replaceTests, Fill fill) {
  fs::path dest = fs::absolute(fs::path(target)).lexically_normal();
  if (dest.filename().empty()) dest = dest.parent_path();
  if (!MayReplace(dest, replaceTests)) {
    std::cerr << "mkrec: " << dest.string() << " exists and is not " << (replaceTests ? "a test tree of mkrec" : "empty")
              << "; remove it first\n";
    return 1;
  }
  std::error_code ec;
  fs::create_directories(dest.parent_path(), ec);
  const std::string pid = FormatInt(::getpid());
  const fs::path work = dest.parent_path() / ("." + dest.filename().string() + ".new." + pid);
  const fs::path old = dest.parent_path() / ("." + dest.filename().string() + ".old." + pid);
  fs::remove_all(work, ec);
  fs::create_directories(work, ec);
  if (ec) {
    std::cerr << "mkrec: cannot create " << work << ": " << ec.message() << "\n";
    return 1;
  }
  if (!fill(work.string())) {
    fs::remove_all(work, ec);
    return 1;
  }
  bool hadOld = fs::exists(dest, ec);
  if (hadOld && ::rename(dest.c_str(), old.c_str()) != 0) {
    std::cerr << "mkrec: cannot move the old " << dest << " aside\n";
    fs::remove_all(work, ec);
    return 1;
  }
  if (::rename(work.c_str(), dest.c_str()) != 0) {
    std::cerr << "mkrec: cannot rename " << work << " to " << dest << "\n";
    if (hadOld) ::rename(old.c_str(), dest.c_str());
    fs::remove_all(work, ec);
    return 1;
  }
  if (hadOld) fs::remove_all(old, ec);
  return 0;
}

unsigned Cores() {
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 2;
}

CivilTime At(int y, int mo, int d, int h, int mi, int s) { return NormalizeCivil(y, mo, d, h, mi, s); }

// ---- mkrec tests ----

bool FillTests(const std::string& root) {
  VideoSpec front;  // 320x180, 30 fps
  VideoSpec rear;
  rear.width = 160;
  rear.height = 90;
  VideoSpec tlFront = front, tlRear = front;  // the rear as large as the front: no audio, few frames
  tlFront.fps = tlRear.fps = 15;
  tlFront.audio = tlRear.audio = false;
  VideoSpec tiny = rear;

  std::vector<FileJob> jobs;
  const CivilTime day1 = At(2025, 3, 5, 0, 0, 0);
  const std::string card1 = "card/" + DateFolderName(day1, 1);
  const std::string card2 = "card/" + DateFolderName(day1, 2);
  const std::string loose = "folder/" + DateFolderName(At(2025, 3, 6, 0, 0, 0), 1);

  RunDesc r;
  r.front = front;
  r.rear = rear;

  r.folder = card1;
  r.firstSequence = 1;
  r.start = At(2025, 3, 5, 9, 15, 20);
  r.pairs = 4;
  r.seconds = 10;
  r.coldStart = true;
  r.role = "run";
  r.extraRoles = {"stsc-multi"};
  r.seed = 11;
  int seq = AddRun(jobs, root, r);
  r = RunDesc{};
  r.front = front;
  r.rear = rear;

  auto single = [&](const std::string& folder, char trigger, CivilTime start, int seconds, const std::string& role,
                    uint64_t seed) {
    RunDesc d;
    d.front = front;
    d.rear = rear;
    d.folder = folder;
    d.firstSequence = seq;
    d.start = start;
    d.trigger = trigger;
    d.scenario = ScenarioOf(trigger);
    d.seconds = seconds;
    d.role = role;
    d.seed = seed;
    d.place = kPlaces[seed % 5];
    return d;
  };

  seq = AddRun(jobs, root, single(card1, 'G', At(2025, 3, 5, 9, 21, 4), 8, "shock", 12));
  RunDesc m = single(card1, 'M', At(2025, 3, 5, 9, 25, 40), 6, "manual", 13);
  m.addSecondsForm = true;
  seq = AddRun(jobs, root, m);

  RunDesc t = single(card2, 'A', At(2025, 3, 5, 10, 2, 0), 4, "timelapse", 14);
  t.rate = 'T';
  t.front = tlFront;
  t.rear = tlRear;
  seq = AddRun(jobs, root, t);
  seq = AddRun(jobs, root, single(card2, 'P', At(2025, 3, 5, 18, 30, 0), 4, "parking", 15));
  seq = AddRun(jobs, root, single(card2, 'S', At(2025, 3, 5, 18, 41, 17), 4, "parking-shock", 16));

  RunDesc fo = single(loose, 'A', At(2025, 3, 6, 8, 0, 0), 4, "front-only", 17);
  fo.makeRear = false;
  fo.place = kSouthWest;
  fo.extraRoles = {"south-west"};
  seq = AddRun(jobs, root, fo);
  RunDesc nb = single(loose, 'A', At(2025, 3, 6, 8, 10, 0), 4, "no-block", 18);
  nb.withBlock = false;
  seq = AddRun(jobs, root, nb);
  RunDesc tr = single(loose, 'A', At(2025, 3, 6, 8, 20, 0), 4, "truncated", 19);
  tr.truncateFront = 0.6;
  seq = AddRun(jobs, root, tr);
  RunDesc ff = single(loose, 'A', At(2025, 3, 6, 8, 30, 0), 4, "faststart", 20);
  ff.faststart = true;
  seq = AddRun(jobs, root, ff);
  RunDesc fp = single(loose, 'A', At(2025, 3, 6, 8, 40, 0), 100, "fast-path", 21);
  fp.front = tiny;
  fp.rear = tiny;
  seq = AddRun(jobs, root, fp);
  RunDesc us = single(loose, '_', At(2025, 3, 6, 8, 50, 0), 4, "underscore", 22);
  seq = AddRun(jobs, root, us);

  std::string error;
  if (!MakeFolders(root, jobs, error) || !MakeCardRoot(fs::path(root) / "card", "QVTEST01", error)) {
    std::cerr << "mkrec: " << error << "\n";
    return false;
  }
  // The rear of the truncated pair is complete; only its front is cut.
  if (!RunJobs(jobs, Cores())) return false;

  for (const FileJob& j : jobs) {
    for (const std::string& role : j.roles) {
      if (role.rfind("stsc-multi", 0) == 0 && (j.stsc.size() < 2 || j.stsc[1] < 2)) {
        std::cerr << "mkrec: " << j.relPath << ": the audio track's stsc has a single entry\n";
        return false;
      }
    }
  }
  std::string manifest = std::string(kManifestHeader) +
      ": role<TAB>path below this folder<TAB>facts\n"
      "card-root\tcard\tkind=dir\n"
      "delete-folder\tcard/Delete Folder\tkind=dir\n"
      "format-config\tcard/DRFormatConfig.dfc\tkind=file model=QVTEST01 version=1.0.2\n"
      "folder-root\tfolder\tkind=dir\n";
  for (const FileJob& j : jobs)
    for (const std::string& role : j.roles) manifest += ManifestLine(role, j);
  if (!WriteNewFile(root + "/MANIFEST.txt", manifest, error)) {
    std::cerr << "mkrec: " << error << "\n";
    return false;
  }
  return true;
}

// ---- mkrec demo ----

bool FillDemo(const std::string& root) {
  VideoSpec front, rear;
  front.width = 1920;
  front.height = 1080;
  rear.width = 1280;
  rear.height = 720;
  front.threads = rear.threads = 4;
  VideoSpec tlFront = front, tlRear = rear;
  tlFront.fps = tlRear.fps = 15;
  tlFront.audio = tlRear.audio = false;

  std::vector<FileJob> jobs;
  const std::string f1 = DateFolderName(At(2025, 3, 5, 0, 0, 0), 1);
  const std::string f2 = DateFolderName(At(2025, 3, 5, 0, 0, 0), 2);
  RunDesc r;
  r.front = front;
  r.rear = rear;
  r.folder = f1;
  r.start = At(2025, 3, 5, 9, 15, 20);
  r.pairs = 5;
  r.seconds = 30;
  r.coldStart = true;
  r.role = "run";
  r.seed = 1;
  int seq = AddRun(jobs, root, r);

  struct V {
    char trigger, rate;
    CivilTime start;
  } variants[] = {{'G', 'N', At(2025, 3, 5, 9, 31, 4)},
                  {'M', 'N', At(2025, 3, 5, 9, 40, 12)},
                  {'A', 'T', At(2025, 3, 5, 10, 2, 0)},
                  {'P', 'N', At(2025, 3, 5, 18, 30, 0)},
                  {'S', 'N', At(2025, 3, 5, 18, 41, 17)}};
  uint64_t seed = 2;
  for (const V& v : variants) {
    RunDesc d;
    d.folder = v.trigger == 'G' || v.trigger == 'M' ? f1 : f2;
    d.front = v.rate == 'T' ? tlFront : front;
    d.rear = v.rate == 'T' ? tlRear : rear;
    d.firstSequence = seq;
    d.start = v.start;
    d.trigger = v.trigger;
    d.rate = v.rate;
    d.scenario = ScenarioOf(v.trigger);
    d.seconds = 20;
    d.seed = seed++;
    d.role = std::string(1, v.trigger) + v.rate;
    seq = AddRun(jobs, root, d);
  }
  std::string error;
  if (!MakeFolders(root, jobs, error) || !MakeCardRoot(root, "QVDEMO01", error)) {
    std::cerr << "mkrec: " << error << "\n";
    return false;
  }
  return RunJobs(jobs, std::max(1u, Cores() / 2));
}

// ---- mkrec pair ----

struct PairOptions {
  int count = 1, seconds = 60, fps = 30, bitrateKbps = 0;
  int fw = 1920, fh = 1080, rw = 1280, rh = 720;
  bool faststart = false, audio = true;
  char trigger = 'A';
  uint64_t seed = 1;
};

bool ParseSize(const std::string& s, int& w, int& h) {
  size_t x = s.find('x');
  int64_t a = 0, b = 0;
  if (x == std::string::npos || !ParseInt64(s.substr(0, x), a) || !ParseInt64(s.substr(x + 1), b)) return false;
  if (a < 16 || b < 16 || a > 7680 || b > 4320 || a % 2 || b % 2) return false;
  w = static_cast<int>(a);
  h = static_cast<int>(b);
  return true;
}

int MakePairs(const std::string& dir, const PairOptions& o) {
  VideoSpec front, rear;
  front.width = o.fw;
  front.height = o.fh;
  rear.width = o.rw;
  rear.height = o.rh;
  front.fps = rear.fps = o.fps;
  front.audio = rear.audio = o.audio;
  front.threads = rear.threads = 4;
  if (o.bitrateKbps > 0) {
    front.bitrateKbps = o.bitrateKbps;
    double share = static_cast<double>(o.rw) * o.rh / (static_cast<double>(o.fw) * o.fh);
    rear.bitrateKbps = std::max(100, static_cast<int>(o.bitrateKbps * share));
  }
  // Each seed gets its own day, so that several runs can share a folder.
  const CivilTime day = CivilFromSeconds(ToSeconds(At(2025, 4, 1, 0, 0, 0)) + static_cast<int64_t>(o.seed % 3650) * 86400);
  RunDesc r;
  r.front = front;
  r.rear = rear;
  r.folder = DateFolderName(day, 1);
  r.start = At(day.year, day.month, day.day, 8, 0, 0);
  r.trigger = o.trigger;
  r.scenario = ScenarioOf(o.trigger);
  r.pairs = o.count;
  r.seconds = o.seconds;
  r.seed = o.seed;
  r.place = kPlaces[o.seed % 5];
  r.faststart = o.faststart;
  r.role = "pair";
  std::vector<FileJob> jobs;
  AddRun(jobs, dir, r);
  std::string error;
  if (!MakeFolders(dir, jobs, error)) {
    std::cerr << "mkrec: " << error << "\n";
    return 1;
  }
  if (!RunJobs(jobs, std::max(1u, Cores() / 2))) return 1;
  for (const FileJob& j : jobs) std::cout << (fs::path(dir) / j.relPath).string() << "\t" << j.size << "\n";
  return 0;
}

void Usage() {
  std::cerr << "usage:\n"
               "  mkrec tests <dir>   small test recordings and MANIFEST.txt\n"
               "  mkrec demo <dir>    a card-like tree of demo recordings\n"
               "  mkrec pair <dir> [--count N] [--seconds S] [--front WxH] [--rear WxH] [--fps N]\n"
               "                   [--bitrate-kbps K] [--faststart] [--no-audio] [--trigger A|G|M|P|S|_]\n"
               "                   [--seed N]\n";
}

int ParsePairArgs(int argc, char** argv, PairOptions& o) {
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](int64_t lo, int64_t hi, int64_t& out) {
      if (i + 1 >= argc || !ParseInt64(argv[i + 1], out) || out < lo || out > hi) {
        std::cerr << "mkrec: " << a << " needs a number from " << lo << " to " << hi << "\n";
        return false;
      }
      ++i;
      return true;
    };
    int64_t v = 0;
    if (a == "--count") {
      if (!value(1, 999, v)) return 2;
      o.count = static_cast<int>(v);
    } else if (a == "--seconds") {
      if (!value(1, 3600, v)) return 2;
      o.seconds = static_cast<int>(v);
    } else if (a == "--fps") {
      if (!value(1, 120, v)) return 2;
      o.fps = static_cast<int>(v);
    } else if (a == "--bitrate-kbps") {
      if (!value(1, 200000, v)) return 2;
      o.bitrateKbps = static_cast<int>(v);
    } else if (a == "--seed") {
      if (!value(0, 1000000000, v)) return 2;
      o.seed = static_cast<uint64_t>(v);
    } else if (a == "--front" || a == "--rear") {
      if (i + 1 >= argc || !ParseSize(argv[i + 1], a == "--front" ? o.fw : o.rw, a == "--front" ? o.fh : o.rh)) {
        std::cerr << "mkrec: " << a << " needs WxH (even numbers)\n";
        return 2;
      }
      ++i;
    } else if (a == "--faststart") {
      o.faststart = true;
    } else if (a == "--no-audio") {
      o.audio = false;
    } else if (a == "--trigger") {
      const std::string letters = "AGMPS_";
      if (i + 1 >= argc || std::string(argv[i + 1]).size() != 1 || letters.find(argv[i + 1][0]) == std::string::npos) {
        std::cerr << "mkrec: --trigger needs one of A G M P S _\n";
        return 2;
      }
      o.trigger = argv[++i][0];
    } else {
      std::cerr << "mkrec: unknown option " << a << "\n";
      Usage();
      return 2;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    Usage();
    return 2;
  }
  const std::string cmd = argv[1], dir = argv[2];
  if (!ProgramAvailable("ffmpeg")) {
    std::cerr << "mkrec: ffmpeg is not installed (scripts/setup installs it)\n";
    return 1;
  }
  const auto t0 = std::chrono::steady_clock::now();
  int rc = 2;
  if (cmd == "tests" && argc == 3) {
    rc = BuildTreeInPlace(dir, true, FillTests);
  } else if (cmd == "demo" && argc == 3) {
    rc = BuildTreeInPlace(dir, false, FillDemo);
  } else if (cmd == "pair") {
    PairOptions o;
    rc = ParsePairArgs(argc, argv, o);
    if (rc == 0) rc = MakePairs(dir, o);
  } else {
    Usage();
    return 2;
  }
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (rc == 0) std::cerr << "mkrec: " << cmd << " done in " << FormatFixed(secs, 1) << " s\n";
  return rc;
}
