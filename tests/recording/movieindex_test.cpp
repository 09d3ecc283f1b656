#include "recording/movieindex.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "mp4testfiles.h"
#include "platform/numtext.h"
#include "recording/checkfile.h"

using namespace mp4test;

namespace {

TEST_F(Mp4Folder, CompletenessTest) {
  std::string head = Ftyp() + std::string(300, 'x');
  EXPECT_TRUE(qv::CheckFile(Put("ok.mp4", head + "CSOEND" + std::string(91, '\0'))));
  // The mark may stand anywhere in the last 97 bytes, NULs read as blanks.
  EXPECT_TRUE(qv::CheckFile(Put("nul.mp4", head + std::string(40, '\0') + "CSOEND" + std::string(51, '\0'))));
  EXPECT_FALSE(qv::CheckFile(Put("early.mp4", head + "CSOEND" + std::string(92, '\0'))));
  EXPECT_FALSE(qv::CheckFile(Put("short.mp4", std::string(90, ' ') + "CSOEND")));
  EXPECT_FALSE(qv::CheckFile(Put("ftyp0.mp4", "ftyp" + std::string(300, ' ') + "CSOEND")));
  // Under 260 bytes the head cannot be read.
  std::string small = Ftyp() + std::string(200, ' ') + "CSOEND";
  EXPECT_FALSE(qv::CheckFile(Put("small.mp4", small)));
  EXPECT_EQ(qv::CheckRecordingFile(Put("cut.mp4", head + std::string(97, '\0'))), qv::FileCheck::kIncomplete);
  EXPECT_EQ(qv::CheckRecordingFile(dir_), qv::FileCheck::kIncomplete);
  // A file that cannot be read is reported as such, with the reason, not
  // taken for a recording cut short.
  int error = 0;
  EXPECT_EQ(qv::CheckRecordingFile(dir_ + "/missing.mp4", &error), qv::FileCheck::kUnreadable);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(qv::CheckRecordingFile(dir_ + "/ok.mp4/x", &error), qv::FileCheck::kUnreadable);
  EXPECT_EQ(error, ENOTDIR);
  EXPECT_FALSE(qv::CheckFile(dir_ + "/missing.mp4"));
  EXPECT_TRUE(qv::CheckFileType(Put("type.mp4", head)));
}

TEST_F(Mp4Folder, HelpersReadTheVideoTrack) {
  // An audio track first: the video track's tables give the answers.
  std::string moov = Box("moov", Mvhd(1000, 1) + Trak("soun", 0, 0, Stts({{10, 1024}}), Stsz({9, 9})) +
                                     Trak("vide", 1280, 720, Stts({{2, 33333}, {1, 33334}}), Stsz({100, 200, 300})));
  auto m = Open(Ftyp() + moov);
  ASSERT_TRUE(m);
  uint32_t count = 0;
  EXPECT_EQ(qv::GetTrackDataSize(*m, &count), 600u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(qv::GetMovieFrameSize(*m), std::make_pair(1280, 720));
  EXPECT_EQ(qv::GetMovieSampleCount(*m), 3);
  EXPECT_FLOAT_EQ(qv::GetSampleRate(*m), 1000000.0f / 33333);
  qv::FrameTiming t = qv::ProbeFrameTiming(*m);
  EXPECT_EQ(t.answer, 2);  // 0.1 s at 30 frames a second: too short
  EXPECT_FLOAT_EQ(t.frameMs, 33.0f);
  EXPECT_NEAR(t.durationSec, 0.1, 1e-6);

  auto none = Open(Ftyp() + Box("moov", Mvhd(1000, 1) + Trak("soun", 0, 0, Stts({{1, 1}}), Stsz({1}))));
  ASSERT_TRUE(none);
  EXPECT_EQ(qv::GetTrackDataSize(*none, &count), 0u);
  EXPECT_EQ(qv::GetMovieFrameSize(*none), std::make_pair(-1, -1));
  EXPECT_EQ(qv::GetMovieSampleCount(*none), -1);
  EXPECT_EQ(qv::GetSampleRate(*none), -1.0f);
  EXPECT_EQ(qv::ProbeFrameTiming(*none).answer, 0);
}

TEST_F(Mp4Folder, SumsPastFourGigabytesAndGuardsBadTables) {
  auto big = Open(Ftyp() + Box("moov", Trak("vide", 8, 8, Stts({{3, 1}}), Stsz({0xfffffff0u, 0xfffffff0u, 16}))));
  ASSERT_TRUE(big);
  EXPECT_EQ(qv::GetTrackDataSize(*big, nullptr), 2 * uint64_t{0xfffffff0u} + 16);

  // A count with its top bit set counts as empty; a count beyond the entries
  // present sums only those present; a fixed size multiplies.
  auto flagged = Open(Ftyp() + Box("moov", Trak("vide", 8, 8, Stts({{1, 1}}),
                                                std::string(4, '\0') + Be32(0) + Be32(0x80000001u) + Be32(5))));
  ASSERT_TRUE(flagged);
  uint32_t count = 7;
  EXPECT_EQ(qv::GetTrackDataSize(*flagged, &count), 0u);
  EXPECT_EQ(count, 0u);
  auto over = Open(Ftyp() + Box("moov", Trak("vide", 8, 8, Stts({{1, 1}}),
                                             std::string(4, '\0') + Be32(0) + Be32(1000) + Be32(5) + Be32(6))));
  ASSERT_TRUE(over);
  EXPECT_EQ(qv::GetTrackDataSize(*over, &count), 11u);
  auto fixed =
      Open(Ftyp() + Box("moov", Trak("vide", 8, 8, Stts({{1, 1}}), std::string(4, '\0') + Be32(4096) + Be32(3))));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(qv::GetTrackDataSize(*fixed, &count), 3u * 4096);
  EXPECT_EQ(count, 3u);

  // No samples, or a time-to-sample table that claims more entries than it
  // holds: no division by zero, no read past the payload.
  auto empty = Open(Ftyp() + Box("moov", Trak("vide", 8, 8, Stts({}), Stsz({}))));
  ASSERT_TRUE(empty);
  EXPECT_EQ(qv::GetSampleRate(*empty), -1.0f);
  EXPECT_EQ(qv::ProbeFrameTiming(*empty).answer, 0);
  auto lying = Open(
      Ftyp() + Box("moov", Trak("vide", 8, 8, std::string(4, '\0') + Be32(500) + Be32(15) + Be32(66666), Stsz({1}))));
  ASSERT_TRUE(lying);
  EXPECT_NEAR(qv::GetSampleRate(*lying), 15.0, 0.01);
  EXPECT_EQ(qv::GetTrackDataSize(dir_ + "/missing.mp4", &count), 0u);
}

// The frame timing in another time scale than the recorder's microseconds
// (the recorder's own scale: the slot's open, slot_test).
TEST_F(Mp4Folder, FrameTimingInAnotherTimeScale) {
  auto scaled = Open(Ftyp() + Box("moov", Trak("vide", 8, 8, Stts({{90, 512}}), Stsz({1}), 15360)));
  ASSERT_TRUE(scaled);
  const qv::FrameTiming t = qv::ProbeFrameTiming(*scaled);
  EXPECT_EQ(t.answer, 1);
  EXPECT_FLOAT_EQ(t.frameMs, 33.0f);
  EXPECT_NEAR(t.durationSec, 3.0, 1e-6);
  EXPECT_FLOAT_EQ(qv::GetSampleRate(*scaled), 30.0f);
}

}  // namespace
