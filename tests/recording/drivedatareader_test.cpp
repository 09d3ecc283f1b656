#include "recording/drivedatareader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "blockbuilder.h"
#include "testsupport.h"

namespace qv {
namespace {

using qvtest::NumberedBlock;
using qvtest::TempDir;

const char* kName = "20250305_001/001_142200GN_F.MP4";
const char* kLapseName = "20250305_001/001_142200GT_F.MP4";

std::string Filler(size_t n) { return std::string(n, 'm'); }

// A block whose last six bytes are no end mark.
std::string NoEndMark(std::string block) { return block.replace(block.size() - 6, 6, "xxxxxx"); }

// A movie-like file: `before` bytes of media, then the block.
std::string MovieWithBlock(size_t before, const std::string& block) { return Filler(before) + block; }

int Samples(const CDriveDataReader& r) { return r.gps ? static_cast<int>(r.gps->size()) : -1; }

TEST(DriveDataReader, ThousandRecordBlockTakesTheFastPath) {
  TempDir dir;
  const std::string path = dir.Write(kName, MovieWithBlock(300000, NumberedBlock(1000)));
  CDriveDataReader r;
  ASSERT_TRUE(r.Open(path));
  EXPECT_EQ(r.path, path);
  EXPECT_EQ(r.mapCount, 1);  // only the block's bytes were read
  ASSERT_EQ(Samples(r), 1000);
  ASSERT_EQ(r.sensors->size(), 1000u);
  EXPECT_EQ((*r.gps)[999].recordIndex, 999);
  EXPECT_EQ((*r.gps)[999].time, 99900);
  EXPECT_EQ((*r.sensors)[10].gX, -0.99);
  EXPECT_FLOAT_EQ(r.head.thresholds[0], 0.3f);
  EXPECT_EQ(r.head.rateLetter, 'N');
  EXPECT_EQ(r.msPerRecord, kMsPerRecordNormal);
}

// Where the block lies and what its count says decide what is read.  Other
// blocks than the fast path's are searched backwards in the last quarter of
// the file only; a count of 0xFFFF reads up to the end mark; a count beyond
// the data, or a missing end mark, never reads past the whole records there.
TEST(DriveDataReader, BlockPlacesAndCounts) {
  const std::string fast = NumberedBlock(1000);
  ASSERT_EQ(fast.size(), CDriveDataReader::kFastPathBytes);
  std::string endsAt3 = NumberedBlock(7, 0xFFFF);
  endsAt3.replace(6 + 35 + 2 + 3 * 91, 6, "CSOEND");
  const struct {
    std::string bytes;
    int samples;
    int reads;  // 0: any number, -1: more than one
  } cases[] = {
      {MovieWithBlock(300000, NumberedBlock(600)), 600, -1},
      {fast, 0, 0},  // 91049 bytes: the block starts before the last quarter
      {"m" + fast, 1000, 1},
      {MovieWithBlock(30000, NumberedBlock(6) + "x"), 0, 0},  // not at the end
      {MovieWithBlock(100, NumberedBlock(600)), 0, 0},
      // Longer than one piece of the backward search, counted and to the end mark.
      {MovieWithBlock(1200000, NumberedBlock(3500)), 3500, -1},
      {MovieWithBlock(1200000, NumberedBlock(3500, 0xFFFF)), 3500, -1},
      {Filler(500000), 0, 0},
      {MovieWithBlock(1000, NumberedBlock(0)), 0, 0},
      {MovieWithBlock(5000, NumberedBlock(7, 0xFFFF)), 7, 0},
      {MovieWithBlock(5000, endsAt3), 3, 0},
      {MovieWithBlock(5000, NumberedBlock(10, 500)), 10, 0},
      {MovieWithBlock(5000, NoEndMark(NumberedBlock(10, 0xFFFF))), 10, 0},
      {MovieWithBlock(10, NoEndMark(NumberedBlock(1000, 0xFFFF))), 1000, 1},
  };
  TempDir dir;
  CDriveDataReader r;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    ASSERT_TRUE(r.Open(dir.Write(std::to_string(i) + "/" + kName, c.bytes))) << i;
    EXPECT_EQ(r.opened, 1);
    EXPECT_EQ(Samples(r), c.samples) << i;
    EXPECT_EQ(r.recordCounter, c.samples - 1) << i;
    if (c.reads != 0) {
      EXPECT_TRUE(c.reads < 0 ? r.mapCount > 1 : r.mapCount == c.reads) << i << " " << r.mapCount;
    }
  }
}

// Called on a buffer of exactly the bytes given (the sanitizer build catches
// any read beyond it).
TEST(DriveDataReader, ParsesOnlyInsideTheBufferGiven) {
  const std::string block = NumberedBlock(10, 0xFFFF);
  const std::vector<uint8_t> tight(block.begin() + 6, block.begin() + 6 + 35 + 2 + 91 * 2 + 50);
  CDriveDataReader r;
  std::vector<GpsSample> g;
  std::vector<SensorSample> s;
  DriveDataHead h;
  EXPECT_EQ(r.ParseRecords(tight.data(), tight.size(), g, s, h), 1);
  EXPECT_EQ(g.size(), 2u);
  std::vector<GpsSample> track;
  EXPECT_EQ(r.ParseTrack(tight.data(), tight.size(), track), 1);
  EXPECT_EQ(track.size(), 2u);
  EXPECT_EQ(r.ParseRecords(tight.data(), 36, g, s, h), 0);  // no room for the count
  EXPECT_EQ(r.ParseHead(tight.data(), 34, h), 0);
}

TEST(DriveDataReader, ShortEmptyAndMissingFiles) {
  TempDir dir;
  CDriveDataReader r;
  EXPECT_FALSE(r.Open(dir.path() + "/nothing.MP4"));
  EXPECT_EQ(r.LastError(), ENOENT);
  EXPECT_TRUE(r.path.empty());
  EXPECT_EQ(r.opened, 0);
  EXPECT_FALSE(r.Open(dir.path()));  // a folder
  EXPECT_FALSE(r.Open(dir.Write("empty.MP4", "")));
  for (size_t n : {1u, 6u, 48u, 49u, 50u, 200u}) {
    EXPECT_TRUE(r.Open(dir.Write(std::to_string(n) + "s.MP4", Filler(n)))) << n;
    EXPECT_EQ(Samples(r), 0);
  }
  // "CSODAT" where a one-record block would start, and nothing behind it.
  std::string tail = Filler(450) + "CSODAT";
  tail.resize(450 + 140, '\xff');
  EXPECT_TRUE(r.Open(dir.Write("mark.MP4", tail)));
  EXPECT_EQ(Samples(r), 1);  // count 0xFFFF, one whole record of 0xff bytes
  // Random bytes: drivedata_fuzz.
}

TEST(DriveDataReader, TimeLapseNamesUseShorterRecords) {
  TempDir dir;
  CDriveDataReader r;
  ASSERT_TRUE(r.Open(dir.Write(kLapseName, MovieWithBlock(10000, NumberedBlock(16)))));
  ASSERT_EQ(Samples(r), 16);
  EXPECT_EQ(r.msPerRecord, kMsPerRecordTimeLapse);
  EXPECT_EQ(r.head.rateLetter, 'T');
  EXPECT_EQ((*r.gps)[15].time, RecordTimeMs(15, kMsPerRecordTimeLapse));
  EXPECT_EQ((*r.sensors)[1].time, 66);
  // The track-only parse, as the map's track is built, times them alike,
  // also on a reader that read a normal file before.
  CDriveDataReader t;
  ASSERT_TRUE(t.Open(dir.Write(kName, MovieWithBlock(10000, NumberedBlock(2)))));
  std::vector<GpsSample> track;
  ASSERT_TRUE(t.MapFile(r.path));
  ASSERT_EQ(t.ReadBlock([&](CDriveDataReader& rd, const uint8_t* h, size_t n) { return rd.ParseTrack(h, n, track); }), 1);
  ASSERT_EQ(track.size(), 16u);
  for (size_t i = 0; i < track.size(); ++i) EXPECT_EQ(track[i].time, (*r.gps)[i].time) << i;
}

TEST(DriveDataReader, ChainedHeadsAreBoundedByTheData) {
  // Heads chained every 43 bytes: bytes 39-42 of each are "@CS" and a letter.
  std::vector<uint8_t> data;
  for (int i = 0; i < 5; ++i) {
    qv::rec::BlockHead written;
    written.thresholds = {i, 0, 0, 0};
    std::string h = qv::rec::FormatHead(written);
    h.append(2, '\0');  // as if a count
    h.resize(39, ' ');
    h += "@CSQ";
    data.insert(data.end(), h.begin(), h.end());
  }
  CDriveDataReader r;
  DriveDataHead head;
  // Five heads of 43 bytes each; the fifth's chain mark points past the data.
  EXPECT_EQ(r.ParseHead(data.data(), data.size(), head), 5 * 35);
  EXPECT_FLOAT_EQ(head.thresholds[0], 0.004f);
  // With room for only two whole heads the walk stops at the second.
  EXPECT_EQ(r.ParseHead(data.data(), 43 + 35, head), 2 * 35);
  EXPECT_FLOAT_EQ(head.thresholds[0], 0.001f);
  data[43 + 42] = 'q';  // not upper case: the chain ends at the second head
  EXPECT_EQ(r.ParseHead(data.data(), data.size(), head), 2 * 35);
}

// The fast path holds the mutex too, so Term waits for a worker that is still
// inside ReadBlock instead of freeing what it reads.
TEST(DriveDataReader, TermWaitsForAWorkerInsideTheFastPath) {
  TempDir dir;
  CDriveDataReader r;
  ASSERT_TRUE(r.MapFile(dir.Write(kName, MovieWithBlock(1000, NumberedBlock(1000)))));
  std::atomic<bool> inside{false}, release{false}, termDone{false};
  std::thread worker([&] {
    r.ReadBlock([&](CDriveDataReader&, const uint8_t*, size_t size) {
      EXPECT_EQ(size, CDriveDataReader::kFastPathBytes - 6);
      inside = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return 1;
    });
  });
  while (!inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread closer([&] {
    r.Term();
    termDone = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(termDone);
  release = true;
  worker.join();
  closer.join();
  EXPECT_TRUE(termDone);
  EXPECT_TRUE(r.path.empty());
}

// A failing callback (allocation failure) on the slow path is a failure, not
// an empty success; no block found is success.
TEST(DriveDataReader, FailingCallbackIsPassedUp) {
  TempDir dir;
  CDriveDataReader r;
  int calls = 0;
  auto failing = [&](CDriveDataReader&, const uint8_t*, size_t) {
    ++calls;
    return 0;
  };
  ASSERT_TRUE(r.MapFile(dir.Write("a/x.MP4", MovieWithBlock(5000, NumberedBlock(3)))));
  EXPECT_EQ(r.ReadBlock(failing), 0);
  EXPECT_EQ(calls, 1);
  // Fast path first, then the slow search finds the same block.
  ASSERT_TRUE(r.MapFile(dir.Write("b/x.MP4", MovieWithBlock(300000, NumberedBlock(1000)))));
  EXPECT_EQ(r.ReadBlock(failing), 0);
  EXPECT_EQ(calls, 3);
  ASSERT_TRUE(r.MapFile(dir.Write("c/x.MP4", Filler(5000))));
  EXPECT_EQ(r.ReadBlock(failing), 1);
  EXPECT_EQ(calls, 3);
}

// A failing read returns failure (no message from the worker) and leaves the
// reason in LastError for the caller to show.
TEST(DriveDataReader, FailingReadIsReportedToTheCaller) {
  TempDir dir;
  const std::string path = dir.Write(kName, MovieWithBlock(300000, NumberedBlock(1000)));
  CDriveDataReader r;
  ASSERT_TRUE(r.MapFile(path));
  ASSERT_EQ(truncate(path.c_str(), 1000), 0);  // the card's file shrank under us
  EXPECT_EQ(r.ReadBlock([](CDriveDataReader&, const uint8_t*, size_t) { return 1; }), 0);
  EXPECT_NE(r.LastError(), 0);
  std::vector<uint8_t> out;
  EXPECT_FALSE(r.ReadRange(r.fileSize, 10, out));
}

// Sizes are 64-bit: recordings can pass 4 GiB, and the block search starts
// from the real end of the file.
TEST(DriveDataReader, FilesOfMoreThanFourGigabytes) {
  TempDir dir;
  const uint64_t media = (uint64_t(1) << 32) + 12345;
  for (int records : {1000, 600}) {
    const std::string path = dir / (std::to_string(records) + "_GN_F.MP4");
    const std::string block = NumberedBlock(records);
    if (!qvtest::WriteSparse(path, media + block.size(), {{media, block}}))
      GTEST_SKIP() << "no room for a sparse 4 GiB file here";
    CDriveDataReader r;
    ASSERT_TRUE(r.Open(path));
    EXPECT_EQ(r.fileSize, media + block.size());
    EXPECT_EQ(Samples(r), records);
    unlink(path.c_str());
  }
}

// Parses a block from memory into the reader's vectors.
void Load(CDriveDataReader& r, int records, const std::string& name = "/d/001_142200GN_F.MP4") {
  r.path = name;
  r.gps = std::make_unique<std::vector<GpsSample>>();
  r.sensors = std::make_unique<std::vector<SensorSample>>();
  r.timeIndex = std::make_unique<std::vector<SensorSample*>>();
  const std::string b = NumberedBlock(records);
  ASSERT_EQ(r.ParseRecords(reinterpret_cast<const uint8_t*>(b.data()) + 6, b.size() - 6, *r.gps, *r.sensors, r.head),
            1);
}

std::vector<int> IndexRecords(const CDriveDataReader& r) {
  std::vector<int> v;
  for (const SensorSample* s : *r.timeIndex) v.push_back(s ? s->recordIndex : -1);
  return v;
}

TEST(DriveDataReader, TimeIndexSlotsSteppingAndRepeats) {
  CDriveDataReader r;
  Load(r, 10);
  r.msPerSlot = 200.0f;  // two records per slot
  ASSERT_TRUE(r.BuildTimeIndex(5));
  EXPECT_EQ(IndexRecords(r), (std::vector<int>{0, 2, 4, 6, 8}));
  EXPECT_EQ((*r.sensors)[9].time, 4);
  // More slots than samples: the last sample fills the rest.
  ASSERT_TRUE(r.BuildTimeIndex(12));
  const std::vector<int> longer = IndexRecords(r);
  EXPECT_EQ(longer.size(), 12u);
  EXPECT_EQ(longer.back(), 9);
  EXPECT_EQ(longer[10], 9);
  // A time-lapse file moves one sample per step.
  CDriveDataReader t;
  Load(t, 10, "/d/001_142200GT_F.MP4");
  t.msPerSlot = 2.0f * kMsPerRecordTimeLapse;
  ASSERT_TRUE(t.BuildTimeIndex(5));
  EXPECT_EQ(IndexRecords(t), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(DriveDataReader, TimeIndexLinksAndMaxG) {
  CDriveDataReader r;
  Load(r, 20);
  r.msPerSlot = 100.0f;
  ASSERT_TRUE(r.BuildTimeIndex(20));
  std::vector<GpsSample>& g = *r.gps;
  std::vector<SensorSample>& s = *r.sensors;
  EXPECT_EQ(g[4].sensor, &s[4]);
  EXPECT_EQ(s[0].gps, &g[0]);
  EXPECT_EQ(s[1].gps, &g[0]);
  EXPECT_EQ(s[10].gps, &g[8]);  // three behind the next GPS sample to link
  EXPECT_EQ(g.back().sensor, &s.back());
  EXPECT_DOUBLE_EQ(r.maxAbsG, 1.0);  // the Z column of every record
}

// A second build does not divide the slot numbers again, an empty recording
// gets an empty index (no null entries), and a broken slot count is refused
// rather than allocated as it stands.
TEST(DriveDataReader, TimeIndexRebuildEmptyAndAbsurdCounts) {
  CDriveDataReader r;
  Load(r, 30);
  r.msPerSlot = 33.333332f;
  ASSERT_TRUE(r.BuildTimeIndex(90));
  const std::vector<int> first = IndexRecords(r);
  const int slot = (*r.gps)[29].time;
  EXPECT_EQ(slot, 87);
  ASSERT_TRUE(r.BuildTimeIndex(90));
  EXPECT_EQ(IndexRecords(r), first);
  EXPECT_EQ((*r.gps)[29].time, slot);
  EXPECT_EQ((*r.gps)[29].timeMs, 2900);

  EXPECT_FALSE(r.BuildTimeIndex(0));
  EXPECT_FALSE(r.BuildTimeIndex(CDriveDataReader::kMaxTimeSlots + 1));
  EXPECT_EQ(r.timeIndex->size(), 90u);
  r.msPerSlot = 0.0f;
  EXPECT_FALSE(r.BuildTimeIndex(10));

  CDriveDataReader empty;
  Load(empty, 0);
  empty.msPerSlot = 33.3f;
  EXPECT_TRUE(empty.BuildTimeIndex(1000));
  EXPECT_TRUE(empty.timeIndex->empty());
  EXPECT_EQ(empty.maxAbsG, 0.0);
  CDriveDataReader none;  // nothing parsed
  none.msPerSlot = 33.3f;
  EXPECT_FALSE(none.BuildTimeIndex(10));
}

TEST(DriveDataReader, MoveToHandsOverAndFreesTheTargetsData) {
  CDriveDataReader a, b;
  Load(a, 5, "/d/a_F.MP4");
  Load(b, 9, "/d/b_F.MP4");
  a.maxAbsG = 2.5;
  a.msPerSlot = 10.0f;
  b.msPerSlot = 20.0f;
  const GpsSample* data = a.gps->data();
  EXPECT_TRUE(a.MoveTo(b));
  EXPECT_EQ(b.gps->data(), data);
  EXPECT_EQ(b.gps->size(), 5u);
  EXPECT_EQ(b.path, "/d/a_F.MP4");
  EXPECT_EQ(b.maxAbsG, 2.5);
  EXPECT_EQ(b.recordCounter, 4);
  EXPECT_EQ(b.msPerSlot, 20.0f);  // stays with each reader
  EXPECT_EQ(a.gps, nullptr);
  EXPECT_EQ(a.sensors, nullptr);
  EXPECT_TRUE(a.path.empty());
  EXPECT_EQ(a.recordCounter, 0);
  EXPECT_FALSE(a.MoveTo(b));  // nothing to hand over
  EXPECT_EQ(b.gps, nullptr);
}

}  // namespace
}  // namespace qv
