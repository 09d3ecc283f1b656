// Times the CSV list of 1500 recordings (each opened and read as the export
// does; the files are hard links to one fixture recording, so the page cache
// is warm) and the delete of 100 pairs into a card's Delete Folder that
// already holds 1000 numbered files (a private tmpfs stands for the card;
// needs the right to mount).  Both should stay under 2 s.
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mainwnd/csvexport.h"
#include "mainwnd/fileops.h"
#include "platform/numtext.h"
#include "recording/delete_folder.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string Name(int n, char camera) {
  std::string seq = qv::FormatInt(n % 1000);
  while (seq.size() < 3) seq.insert(seq.begin(), '0');
  std::string hms = qv::FormatInt(100000 + n);
  return seq + "_" + hms + "AN_" + camera + ".MP4";
}

void Report(const char* what, double seconds) {
  std::printf("%-58s %8s s  goal < 2 s: %s\n", what, qv::FormatFixed(seconds, 3).c_str(), seconds < 2.0 ? "met" : "MISSED");
}

void CsvOf1500() {
  setenv("QV_FIXTURE_DIR", QV_FIXTURE_DIR, 0);
  // A build whose tests never ran has no fixture recordings yet: made here.
  if (!fs::exists(qvtest::FixtureDir() + "/MANIFEST.txt"))
    (void)std::system(("'" QV_MKREC "' tests '" + qvtest::FixtureDir() + "' >/dev/null").c_str());
  const std::string front = qvtest::Fixture("run-1-F"), rear = qvtest::Fixture("run-1-R");
  if (front.empty()) {
    std::printf("CSV: no fixture recordings (the fixture tool failed)\n");
    return;
  }
  const std::string dir = qvtest::NewFolder("csvbench");
  std::vector<qv::RecordingEntry> rows;
  for (int i = 0; i < 1500; ++i) {
    const std::string folder = dir + "/2025030" + std::to_string(1 + i / 500) + "_001";
    fs::create_directories(folder);
    qv::RecordingEntry e;
    e.frontPath = folder + "/" + Name(i, 'F');
    e.rearPath = folder + "/" + Name(i, 'R');
    std::error_code ec;
    fs::create_hard_link(front, e.frontPath, ec);
    if (ec) fs::copy_file(front, e.frontPath);
    fs::create_hard_link(rear, e.rearPath, ec);
    if (ec) fs::copy_file(rear, e.rearPath);
    rows.push_back(e);
  }
  std::atomic<bool> cancel{false};
  int posts = 0;
  const auto t0 = Clock::now();
  const qv::CsvResult r = qv::WriteCsvList(dir + "/" + qv::CsvFileName(rows, {}), rows, cancel,
                                           [&](int, int) { ++posts; });
  const double s = Seconds(t0);
  if (r != qv::CsvResult::kDone) std::printf("CSV export failed\n");
  Report("CSV list of 1500 recordings", s);
  fs::remove_all(dir);
}

void DeleteOf100() {
  const std::string dir = qvtest::NewFolder("deletebench");
  const std::string card = dir + "/card";
  fs::create_directories(card);
  if (mount("qvbench", card.c_str(), "tmpfs", 0, "size=64m") != 0) {
    std::printf("Delete: cannot mount a test card here (needs the right to mount); skipped\n");
    fs::remove_all(dir);
    return;
  }
  const std::string deleteFolder = card + "/" + qv::kDeleteFolderName;
  fs::create_directories(deleteFolder);
  for (int i = 0; i < 1000; ++i) qvtest::WriteText(deleteFolder + "/" + qv::DeleteFolderName('N', i), "x");
  fs::create_directories(card + "/20250305_001");
  std::vector<qv::RecordingEntry> pairs;
  for (int i = 0; i < 100; ++i) {
    qv::RecordingEntry e;
    e.frontPath = card + "/20250305_001/" + Name(i, 'F');
    e.rearPath = card + "/20250305_001/" + Name(i, 'R');
    qvtest::WriteText(e.frontPath, std::string(4096, 'f'));
    qvtest::WriteText(e.rearPath, std::string(4096, 'r'));
    pairs.push_back(e);
  }
  std::atomic<bool> cancel{false};
  const auto t0 = Clock::now();
  const qv::DeleteOutcome out = qv::DeletePairs(pairs, cancel, {});
  const double s = Seconds(t0);
  if (out.result != qv::FileOpResult::kDone) std::printf("delete failed: %s\n", out.error.c_str());
  Report("delete of 100 pairs into a Delete Folder of 1000 files", s);
  umount2(card.c_str(), MNT_DETACH);
  fs::remove_all(dir);
}

}  // namespace

int main() {
  CsvOf1500();
  DeleteOf100();
  return 0;
}
