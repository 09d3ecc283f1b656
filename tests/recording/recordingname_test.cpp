#include "recording/recordingname.h"

#include <gtest/gtest.h>

#include "testsupport.h"

namespace qv {
namespace {

TEST(RecordingName, RecognisesRecordingNames) {
  // The pattern is a search in the name with '.' for any one character (a
  // multi-byte one too); the trigger letter (character 10) must be a kind;
  // character 3 must be "_"; the folder part is not searched.
  for (const char* yes : {"/card/20250305_001/001_123456GN_F.MP4", "001_123456GN_F.mp4", "001_123456GT_R.MP4",
                          "001_123456AN_F.MP4", "001_123456MN_F.MP4", "001_123456PN_F.MP4", "001_123456SN_F.MP4",
                          "001_123456GN_FxMP4", "001_123456GN_F\xC3\xA9MP4", "001_123456GN_F.MP4.bak"})
    EXPECT_TRUE(IsRecordingFileName(yes)) << yes;
  for (const char* no : {"001_123456_N_F.MP4", "0011_23456GN_F.MP4", "001_123456GX_F.MP4", "001_123456GN_F.Mp4",
                         "001_123456GN_F.MP", "", "/", "001_123456GN_F\nMP4", "/x/001_123456GN_F.MP4/readme"})
    EXPECT_FALSE(IsRecordingFileName(no)) << no;
  // Only the camera letter differs between the front and rear tests.
  EXPECT_TRUE(IsFrontRecordingFileName("001_123456GN_F.MP4"));
  EXPECT_FALSE(IsFrontRecordingFileName("001_123456GN_R.MP4"));
  EXPECT_TRUE(IsRearRecordingFileName("001_123456GN_R.mp4"));
  EXPECT_FALSE(IsRearRecordingFileName("001_123456GN_F.mp4"));
}

TEST(RecordingName, TriggerFlagsAndText) {
  uint32_t mask = 0;
  EXPECT_EQ(GetTriggerFlags("001_123456GN_F.MP4", mask), 1);
  EXPECT_EQ(mask, kTriggerG);
  GetTriggerFlags("/a/001_123456SN_F.MP4", mask);
  EXPECT_EQ(mask, kTriggerG | kTriggerS);
  GetTriggerFlags("001_123456_N_F.MP4", mask);
  GetTriggerFlags("short", mask);
  EXPECT_EQ(mask, kTriggerG | kTriggerS);

  const std::pair<const char*, const char*> texts[] = {
      {"001_123456AN_F.MP4", "常時"}, {"001_123456GN_F.MP4", "衝撃"}, {"001_123456MN_F.MP4", "マニュアル"},
      {"001_123456PN_F.MP4", "駐車"}, {"001_123456SN_F.MP4", "駐車衝撃"}, {"/d/001_123456AT_F.MP4", "常時タイムラプス"},
      {"001_123456GT_F.MP4", "常時タイムラプス+衝撃"}, {"001_123456MT_F.MP4", "常時タイムラプス+マニュアル"},
      {"001_123456PT_F.MP4", "駐車タイムラプス"}, {"001_123456ST_F.MP4", "駐車タイムラプス+衝撃"},
      {"001_123456GN_F.MP", ""}, {"001_123456GX_F.MP4", ""}, {"001_123456_N_F.MP4", ""}};
  for (const auto& [name, text] : texts) EXPECT_EQ(GetTriggerText(name), text) << name;
}

TEST(RecordingName, FilterByTriggerKeepsOrderAndUsesRearWhenFrontIsEmpty) {
  std::vector<RecordingEntry> in(4);
  in[0].frontName = "001_000000AN_F.MP4";
  in[1].rearName = "002_000000GN_R.MP4";
  in[2].frontName = "003_000000PN_F.MP4";
  in[3].frontName = "00";  // too short: never copied
  const uint32_t flags[5] = {1, 1, 0, 0, 0};
  std::vector<RecordingEntry> out;
  EXPECT_EQ(FilterEntriesByTrigger(in, out, flags), 4);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].frontName, in[0].frontName);
  EXPECT_EQ(out[1].rearName, in[1].rearName);
  const uint32_t onlyBit1[5] = {2, 2, 2, 2, 2};  // bit 0 clear everywhere
  out.clear();
  FilterEntriesByTrigger(in, out, onlyBit1);
  EXPECT_TRUE(out.empty());
}

TEST(RecordingName, StemAndTitle) {
  EXPECT_EQ(GetPairStem("001_123456GN_F.MP4"), "001_123456GN");
  EXPECT_EQ(GetPairStem("001_123456GN_F"), "");
  EXPECT_EQ(GetPairStem("a.MP4"), "");
  EXPECT_EQ(GetPairStem(".MP4"), "");
  EXPECT_EQ(GetRecordingTitle("/c/20250305_001/001_123456GN_F.MP4"), "123456GN_F");
  EXPECT_EQ(GetRecordingTitle("001_123456GN_F_extra_long_name.MP4"), "123456GN_F_ext");
  EXPECT_EQ(GetRecordingTitle("001.MP4"), "");
  EXPECT_EQ(GetRecordingTitle("001_123456GN_F"), "");
  // Cuts fall on characters, not bytes.
  EXPECT_EQ(GetRecordingTitle("ÄÖÜ_äöü.x"), "äöü");
}

TEST(RecordingName, DateTimeFromFolderAndName) {
  const CivilTime t = GetRecordingDateTime("/media/card/20250305_001/001_142233GN_F.MP4");
  EXPECT_EQ(t, NormalizeCivil(2025, 3, 5, 14, 22, 33));
  EXPECT_EQ(t.dayOfWeek, 3);  // a Wednesday
  // Out-of-range fields are normalised: 31 April is 1 May, 24:00:60 the next day.
  EXPECT_EQ(MakeLocalTimeFromDigits("250431", "240060"), NormalizeCivil(2025, 5, 2, 0, 1, 0));
  // Short paths are never read before their start (the date and time sit 29
  // and 14 characters before the end of a full path): missing characters
  // read as 0.
  EXPECT_EQ(GetRecordingDateTime(""), MakeLocalTimeFromDigits("000000", "000000"));
  EXPECT_EQ(GetRecordingDateTime("x.MP4"), MakeLocalTimeFromDigits("", ""));
  // Only the name: the time digits are there, the date digits are not.
  EXPECT_EQ(GetRecordingDateTime("001_142233GN_F.MP4"), MakeLocalTimeFromDigits("000000", "142233"));
  // Non-digits read as 0.
  EXPECT_EQ(MakeLocalTimeFromDigits("25a3b5", "1x2y3z"), MakeLocalTimeFromDigits("250305", "102030"));
}

// The start time is civil: it does not depend on the machine's zone or its
// daylight-saving rules (a date inside summer time and one in winter).
TEST(RecordingName, DateTimeDoesNotDependOnTimeZone) {
  const char* paths[] = {"/c/20250701_001/001_120000AN_F.MP4", "/c/20250330_001/001_023000AN_F.MP4"};
  std::vector<CivilTime> seen;
  qvtest::ScopedEnv tz("TZ", nullptr);
  for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe"}) {
    tz.Set(zone);
    for (const char* p : paths) seen.push_back(GetRecordingDateTime(p));
  }
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], seen[i % 2]);
  EXPECT_EQ(seen[0].hour, 12);
  // 02:30 on the morning the clocks go forward in Europe is still 02:30.
  EXPECT_EQ(seen[1].hour, 2);
  EXPECT_EQ(seen[1].minute, 30);
}

TEST(RecordingName, PartnerPathAndPairing) {
  EXPECT_EQ(MakePartnerPath("/c/d/001_123456GN_F.MP4", "F.MP4", "R.MP4"), "/c/d/001_123456GN_R.MP4");
  EXPECT_EQ(MakePartnerPath("/c/d/001_123456GN_F.mp4", "F.MP4", "R.MP4"), "/c/d/001_123456GN_R.mp4");
  // Only the name changes, never the folders.
  EXPECT_EQ(MakePartnerPath("/F.MP4/001_123456GN_R.MP4", "R.MP4", "F.MP4"), "/F.MP4/001_123456GN_F.MP4");
  EXPECT_EQ(MakePartnerPath("001_123456GN_F.MP4", "F.MP4", "R.MP4"), "001_123456GN_R.MP4");

  std::vector<RecordingEntry> entries;
  std::string front, rear;
  ASSERT_EQ(ResolvePair("/c/d/001_123456GN_F.MP4", entries, front, rear), 1);
  EXPECT_EQ(front, "/c/d/001_123456GN_F.MP4");
  EXPECT_EQ(rear, "/c/d/001_123456GN_R.MP4");
  ASSERT_EQ(ResolvePair("/c/d/001_123456GN_R.mp4", entries, front, rear), 1);
  EXPECT_EQ(front, "/c/d/001_123456GN_F.mp4");
  EXPECT_EQ(rear, "/c/d/001_123456GN_R.mp4");

  entries.resize(1);
  entries[0].frontPath = "/c/d/001_123456GN_F.MP4";
  EXPECT_EQ(ResolvePair("/c/d/001_123456GN_R.MP4", entries, front, rear), 0);
  entries[0].frontPath.clear();
  entries[0].rearPath = "/c/d/001_123456GN_R.MP4";
  EXPECT_EQ(ResolvePair("/c/d/001_123456GN_F.MP4", entries, front, rear), 0);
  EXPECT_EQ(ResolvePair("/c/d/readme.txt", entries, front, rear), 0);
  // Paths longer than the old 260-character buffers pair as well.
  const std::string deep = "/" + std::string(400, 'x') + "/001_123456GN_F.MP4";
  ASSERT_EQ(ResolvePair(deep, {}, front, rear), 1);
  EXPECT_EQ(rear.size(), deep.size());
}

}  // namespace
}  // namespace qv
