// The block writer, the simulated drive and the MP4 relayout of mkrec.  What
// the writer makes is read back through the recording library's reader, as
// the viewer reads a card (its records through the decoders: drivedata_test).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "blockwriter.h"
#include "drive.h"
#include "mp4layout.h"
#include "platform/civiltime.h"
#include "recording/drivedatareader.h"
#include "boxbuilder.h"
#include "recording/mp4movie.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace qv;
using namespace qv::rec;
using qvtest::ReadText;
using qvtest::TempDir;

namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t Be32At(const std::string& s, size_t at) {
  return qv::Be32(reinterpret_cast<const uint8_t*>(s.data() + at));
}

}  // namespace

// What the reader could not tell apart: minutes that round up to 60 carry
// into the degrees, and what does not fit is clamped to the field's width.
TEST(BlockWriter, NumberFieldsCarryAndClamp) {
  EXPECT_EQ(FormatPadded(-500, 5), "-0500");
  EXPECT_EQ(FormatPadded(123456, 5), "99999");
  EXPECT_EQ(FormatPadded(-123456, 5), "-9999");
  EXPECT_EQ(FormatDegreesMinutes(-35.652057, 2), "3539.1234");  // the sign goes to the hemisphere letter
  EXPECT_EQ(FormatDegreesMinutes(35.9999999999, 2), "3600.0000");
  EXPECT_EQ(FormatDegreesMinutes(123.5, 2), "9959.9999");
  EXPECT_EQ(FormatDegreesMinutes(NAN, 2), "0000.0000");
}

// Blocks are read whole by the readers (drivedatareader_test reads the
// writer's counted and open-ended blocks); the tool only writes blocks the
// readers find, and a block starting exactly at three quarters of the file
// is already outside their search.
TEST(BlockWriter, BlocksTheReaderFinds) {
  TempDir dir;
  // A count that lies about the records, and records of the wrong length,
  // for the damaged files: written as asked, padded or cut to 91 bytes.
  const std::string lying = BuildBlock("short head", {"short", std::string(100, 'x')}, {.countField = 7});
  EXPECT_EQ(lying.size(), BlockSize(2));
  EXPECT_EQ(uint8_t(lying[42]), 7);
  EXPECT_EQ(lying.substr(43 + 91, 91), std::string(91, 'x'));

  const std::string block = BuildBlock(BlockHead{}, std::vector<DriveRecord>(1));
  ASSERT_EQ(block.size(), 140u);
  for (uint64_t size : {140u, 559u, 560u, 561u, 562u, 563u, 564u, 1000u}) {  // 560: it starts at 3 * 560 / 4
    CDriveDataReader reader;
    ASSERT_TRUE(reader.Open(dir.Write("20250305_001/001_142200AN_F.MP4." + std::to_string(size),
                                      std::string(size - block.size(), 'm') + block)))
        << size;
    EXPECT_EQ(BlockStartsInLastQuarter(size, block.size()), reader.gps && !reader.gps->empty()) << size;
  }
  EXPECT_FALSE(BlockStartsInLastQuarter(100, 140));
}

TEST(Drive, RunKeepsCivilTimeAndDistance) {
  RunPlan plan;
  plan.start = NormalizeCivil(2025, 3, 5, 23, 59, 50);
  plan.records = 400;  // 40 s, crosses midnight
  plan.coldStart = true;
  const std::vector<DriveRecord> recs = SimulateRun(plan);
  ASSERT_EQ(recs.size(), 400u);
  for (size_t i = 0; i < recs.size(); ++i) {
    const DriveRecord& r = recs[i];
    EXPECT_LT(std::fabs(r.gX), 2.0);
    EXPECT_NEAR(r.gZ, 1.0, 0.1);
    const int t = static_cast<int>(CivilSeconds(r.year, r.month, r.day, r.hour, r.minute, r.second) -
                                   ToSeconds(plan.start));
    EXPECT_EQ(t, static_cast<int>(i / 10)) << i;
  }
  EXPECT_EQ(recs.back().day, 6);  // the next day, civil arithmetic
  // The fix moves about as far as the speed says (10 Hz, km/h -> m).
  double metres = 0, expected = 0;
  for (size_t i = 11; i < recs.size(); ++i) {
    double dlat = (recs[i].latitude - recs[i - 1].latitude) * 111320.0;
    double dlon = (recs[i].longitude - recs[i - 1].longitude) * 111320.0 * std::cos(recs[i].latitude * kPi / 180);
    metres += std::hypot(dlat, dlon);
    expected += recs[i - 1].speed / 3.6 * 0.1;
  }
  EXPECT_GT(expected, 200.0);
  EXPECT_NEAR(metres, expected, expected * 0.02);
  // (The same seed makes the same files: mkrec_program_test.)
}

TEST(Mp4Layout, RecorderLayoutMovesChunkOffsets) {
  TempDir dir;
  // ftyp, free, mdat (two chunks), moov/trak/mdia/minf/stbl with stco and co64.
  using qvtest::Box;
  const std::string ftyp = Box("ftyp", "isom\0\0\2\0isomavc1"s);
  const std::string free = Box("free", "");
  const std::string media = "....CHUNK-A....CHUNK-B";
  const std::string mdat = Box("mdat", media);
  const uint32_t chunkA = static_cast<uint32_t>(ftyp.size() + free.size() + 8 + 4);
  const uint32_t chunkB = chunkA + 11;
  const std::string zero(4, '\0');
  const std::string stco = Box("stco", zero + qvtest::Be32(2) + qvtest::Be32(chunkA) + qvtest::Be32(chunkB));
  const std::string co64 = Box("co64", zero + qvtest::Be32(1) + zero + qvtest::Be32(chunkB));
  const std::string stsc = Box("stsc", zero + qvtest::Be32(3) + std::string(36, '\1'));
  const std::string moov =
      Box("moov", Box("mvhd", std::string(20, '\0')) +
                      Box("trak", Box("mdia", Box("minf", Box("stbl", stsc + stco)))) +
                      Box("trak", Box("mdia", Box("minf", Box("stbl", Box("stsc", std::string(8, '\0')) + co64)))));
  const std::string src = dir / "enc.mp4";
  std::string error;
  ASSERT_TRUE(WriteNewFile(src, ftyp + free + mdat + moov, error)) << error;
  ASSERT_FALSE(WriteNewFile(src, "x", error));  // never overwrites

  const std::string tail = BuildBlock(BlockHead{}, std::vector<DriveRecord>(3));
  for (bool moovFirst : {false, true}) {
    SCOPED_TRACE(moovFirst);
    const std::string out = dir / (moovFirst ? "fast.mp4" : "rec.mp4");
    ASSERT_TRUE(WriteRecorderLayout(src, out, moovFirst, tail, error)) << error;
    const std::string data = ReadText(out);
    ASSERT_EQ(data.size(), ftyp.size() + mdat.size() + moov.size() + tail.size());
    EXPECT_EQ(data.substr(data.size() - tail.size()), tail);

    std::vector<TopBox> boxes;
    ASSERT_FALSE(ListTopBoxes(out, boxes, error));  // the block is no box
    ASSERT_TRUE(ListTopBoxes(out, boxes, error, true)) << error;
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].type, "ftyp");
    EXPECT_EQ(boxes[1].type, moovFirst ? "moov" : "mdat");
    EXPECT_EQ(boxes[2].type, moovFirst ? "mdat" : "moov");
    EXPECT_EQ(boxes[2].offset + boxes[2].size, data.size() - tail.size());

    // Every chunk offset still points at its chunk.
    const size_t moovAt = data.find("moov") - 4;
    const size_t stcoAt = data.find("stco", moovAt) + 4;
    EXPECT_EQ(data.substr(Be32At(data, stcoAt + 8), 7), "CHUNK-A");
    EXPECT_EQ(data.substr(Be32At(data, stcoAt + 12), 7), "CHUNK-B");
    const size_t co64At = data.find("co64", moovAt) + 4;
    EXPECT_EQ(Be32At(data, co64At + 8), 0u);
    EXPECT_EQ(data.substr(Be32At(data, co64At + 12), 7), "CHUNK-B");

    std::vector<uint32_t> counts;
    ASSERT_TRUE(ReadStscEntryCounts(out, counts, error)) << error;
    EXPECT_EQ(counts, (std::vector<uint32_t>{3, 0}));
  }
  // A second write to an existing name fails and leaves it alone.
  const std::string before = ReadText(dir / "rec.mp4");
  EXPECT_FALSE(WriteRecorderLayout(src, dir / "rec.mp4", false, "", error));
  EXPECT_EQ(ReadText(dir / "rec.mp4"), before);

  // Broken input: a chunk table whose count runs past its box, a missing moov.
  const std::string badStco = Box("stco", zero + qvtest::Be32(1000) + qvtest::Be32(chunkA));
  ASSERT_TRUE(WriteNewFile(dir / "bad.mp4", ftyp + mdat + Box("moov", badStco), error));
  EXPECT_FALSE(WriteRecorderLayout(dir / "bad.mp4", dir / "bad-out.mp4", false, "", error));
  EXPECT_FALSE(fs::exists(dir / "bad-out.mp4"));
  ASSERT_TRUE(WriteNewFile(dir / "nomoov.mp4", ftyp + mdat, error));
  EXPECT_FALSE(WriteRecorderLayout(dir / "nomoov.mp4", dir / "nomoov-out.mp4", false, "", error));
  ASSERT_TRUE(CopyPrefix(src, dir / "cut.mp4", 30, error)) << error;
  EXPECT_EQ(ReadText(dir / "cut.mp4"), ReadText(src).substr(0, 30));
  std::vector<TopBox> boxes;
  EXPECT_FALSE(ListTopBoxes(dir / "cut.mp4", boxes, error));
}
