// One drive-data record and the block head as the recorder writes them (by
// the fixture tool's writer), decoded; damaged fields are written over the
// writer's.
#include "recording/drivedata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

#include "blockwriter.h"

namespace qv {
namespace {

using rec::DriveRecord;
namespace rf = rec::rf;
using Patches = std::vector<std::pair<size_t, std::string>>;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Record(const DriveRecord& d, const Patches& patches = {}) {
  std::string r = rec::FormatRecord(d);
  for (const auto& [at, text] : patches) r.replace(at, text.size(), text);
  return r;
}

GpsSample Gps(const DriveRecord& d, const Patches& patches = {}) {
  GpsSample g;
  DecodeGpsRecord(Bytes(Record(d, patches)), 7, 700, g);
  return g;
}

SensorSample Sensor(const DriveRecord& d, const Patches& patches = {}) {
  SensorSample s;
  DecodeSensorRecord(Bytes(Record(d, patches)), 7, 700, s);
  return s;
}

// "S", "W" and NUL give negative degrees; positive ones would mirror tracks
// south of the equator or west of Greenwich.  Malformed fields read as atof
// reads their prefix; texts atof would take for infinite give 0.
TEST(DriveRecord, DegreesHemispheresAndMalformedFields) {
  const double lat = 35.0 + 39.1234 / 60.0, lon = 139.0 + 45.6789 / 60.0;
  const struct {
    const char* field;
    uint8_t hemisphere;
    double degrees;
  } cases[] = {{"3539.1234", 'N', lat},  {"3539.1234", 'S', -lat}, {"3539.1234", 0x00, -lat},
               {"3539.1234", ' ', lat},  {"13945.6789", 'E', lon}, {"13945.6789", 'W', -lon},
               {"         ", 'N', 0.0},  {"inf      ", 'N', 0.0},
               {"12ab.3456", 'N', 0.2}};  // 12 minutes
  for (const auto& c : cases)
    EXPECT_NEAR(ParseDegrees(Bytes(c.field), std::strlen(c.field), c.hemisphere), c.degrees, 1e-9)
        << c.field << " " << c.hemisphere;
  const GpsSample g = Gps(DriveRecord{}, {{rf::kSpeed, "1e99"}});
  EXPECT_EQ(g.speed, 1e99);  // finite: kept...
  const SensorSample s = Sensor(DriveRecord{}, {{rf::kGx, "nan  "}, {rf::kGy, "9e99 "}});
  EXPECT_EQ(s.gX, 0.0);
  EXPECT_EQ(s.gY, 0.0);  // ...but this one does not fit a single-precision G value
}

TEST(DriveRecord, FieldsRoundTripFromTheWriter) {
  DriveRecord d;
  d.latitude = -33.4489;
  d.longitude = -70.6693;
  d.speed = 72.4;
  d.year = 2025, d.month = 3, d.day = 5, d.hour = 14, d.minute = 22, d.second = 33;
  d.gX = -0.7123;
  d.gY = 1.234;
  d.extra87 = 0xC5;
  d.number88 = 60;
  const GpsSample g = Gps(d);
  EXPECT_EQ(std::make_tuple(g.recordIndex, g.time, g.timeMs, g.valid), std::make_tuple(7, 700, 700, 1));
  EXPECT_NEAR(g.latitude, -33.4489, 1e-6);
  EXPECT_NEAR(g.longitude, -70.6693, 1e-6);
  EXPECT_EQ(g.speed, 72.0);
  EXPECT_EQ(g.sensor, nullptr);
  EXPECT_EQ(g.localTime, NormalizeCivil(2025, 3, 5, 14, 22, 33));
  CivilTime out;
  EXPECT_EQ(GetRecordLocalTime(Bytes(Record(d)), out), 0);
  EXPECT_EQ(out, g.localTime);
  const SensorSample s = Sensor(d);
  EXPECT_DOUBLE_EQ(s.gX, -0.712);
  EXPECT_EQ(s.gY, static_cast<double>(1234.0f) / 1000.0);  // kept in single precision before scaling
  EXPECT_DOUBLE_EQ(s.gZ, 1.0);
  EXPECT_EQ(s.extra87, 0xC5);  // bytes above 127 are read as unsigned
  EXPECT_EQ(s.number88, 60);
  EXPECT_EQ(std::make_tuple(s.kind, s.axis, s.overSpeed), std::make_tuple(kEventNone, 0, 0));

  // No fix, with seconds to add; a negative correction across midnight and
  // the year.  The writer's quiet record holds no NUL byte.
  d.valid = false;
  d.addSeconds = 30;
  EXPECT_EQ(Gps(d).valid, 0);
  EXPECT_EQ(Gps(d).localTime, NormalizeCivil(2025, 3, 5, 14, 23, 3));
  d.year = 2026, d.month = 1, d.day = 1, d.hour = 0, d.minute = 0, d.second = 10;
  d.addSeconds = -20;
  EXPECT_EQ(Gps(d).localTime, NormalizeCivil(2025, 12, 31, 23, 59, 50));
  EXPECT_EQ(Record(DriveRecord{}).find('\0'), std::string::npos);
}

TEST(DriveRecord, EventKindPriorityAxisAndOverSpeed) {
  // The emergency mark beats the press, the press beats parking, parking
  // beats the drive-support letter.
  const struct {
    bool manual, emergency, parking;
    char support;
    int kind;
  } kinds[] = {{true, true, false, 0, kEventEmergencyStop}, {true, false, true, 'A', kEventManual},
               {false, false, true, 'A', kEventParking},    {false, false, false, 'A', kEventAcceleration},
               {false, false, false, 'B', kEventBraking},   {false, false, false, 'H', kEventSteering},
               {false, false, false, 'D', kEventNone}};
  DriveRecord d;
  for (const auto& k : kinds) {
    d.manual = k.manual, d.emergency = k.emergency, d.parking = k.parking, d.support = k.support;
    EXPECT_EQ(Sensor(d).kind, k.kind) << k.manual << k.emergency << k.parking << k.support;
  }
  d.overSpeed = true;
  EXPECT_EQ(Sensor(d).overSpeed, kEventOverSpeed);
  EXPECT_EQ(Sensor(d).kind, kEventNone);
  for (auto [letter, axis] : {std::pair{'X', 2}, {'Y', 3}, {'Z', 1}, {'x', 0}}) {
    d.axis = letter;
    EXPECT_EQ(Sensor(d).axis, axis) << letter;
  }
}

TEST(DriveRecord, DamagedNumbersAndTrailingBytes) {
  const SensorSample s = Sensor(DriveRecord{}, {{rf::kGz, "  abc"}, {rf::kNumber88, "\xA5" "12"}});
  EXPECT_EQ(s.gZ, 0.0);
  EXPECT_EQ(s.high88, 0xA);
  EXPECT_EQ(s.low88, 0x5);
  EXPECT_EQ(s.number88, 0);  // not a digit
  EXPECT_EQ(Sensor(DriveRecord{}).number88, -1);  // three blanks
  const SensorSample twelve = Sensor(DriveRecord{}, {{rf::kNumber88, " 12"}});
  EXPECT_EQ(twelve.number88, 12);
  EXPECT_EQ(twelve.high88, ' ' >> 4);
}

TEST(DriveRecord, HeadThresholdsAndKeptBytes) {
  rec::BlockHead written;
  written.headBytes = {'M', 'O', 'D', 'E', 'L', '1'};
  written.thresholds = {300, -500, 12, 0};
  written.byte27 = 'k', written.byte30 = 'x', written.byte31 = 'y';
  std::string h = rec::FormatHead(written);
  h.replace(rec::hf::kThresholds[3], 4, "abcd");
  DriveDataHead head;
  DecodeHead(Bytes(h), head);
  EXPECT_FLOAT_EQ(head.thresholds[0], 0.3f);
  EXPECT_FLOAT_EQ(head.thresholds[1], -0.5f);
  EXPECT_FLOAT_EQ(head.thresholds[2], 0.012f);
  EXPECT_EQ(head.thresholds[3], 0.0f);
  EXPECT_EQ(std::string(head.headBytes, head.headBytes + 6), "MODEL1");
  EXPECT_EQ(std::string({char(head.byte27), char(head.byte30), char(head.byte31)}), "kxy");
}

TEST(DriveRecord, RecordTimesInSinglePrecision) {
  EXPECT_EQ(RecordTimeMs(3, kMsPerRecordNormal), 300);
  // 66.666664f per record, multiplied in single precision: record 3 rounds
  // up to 200 ms (199 in double precision), record 15 stays below 1000.
  EXPECT_EQ(RecordTimeMs(3, kMsPerRecordTimeLapse), 200);
  EXPECT_EQ(RecordTimeMs(15, kMsPerRecordTimeLapse), 999);
  EXPECT_EQ(RecordTimeMs(int64_t(1) << 40, kMsPerRecordNormal), INT32_MAX);
}

}  // namespace
}  // namespace qv
