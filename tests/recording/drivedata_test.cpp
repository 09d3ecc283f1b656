#include "recording/drivedata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "blockbuilder.h"

namespace qv {
namespace {

using qvtest::MakeRecord;
using qvtest::RecordFields;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

GpsSample Gps(const RecordFields& f) {
  GpsSample g;
  DecodeGpsRecord(Bytes(MakeRecord(f)), 7, 700, g);
  return g;
}

SensorSample Sensor(const RecordFields& f) {
  SensorSample s;
  DecodeSensorRecord(Bytes(MakeRecord(f)), 7, 700, s);
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
  } cases[] = {{"3539.1234", 'N', lat}, {"3539.1234", 'S', -lat}, {"3539.1234", 0x00, -lat},
               {"3539.1234", ' ', lat}, {"13945.6789", 'E', lon}, {"13945.6789", 'W', -lon},
               {"         ", 'N', 0.0}, {"inf      ", 'N', 0.0},  {"12ab.3456", 'N', 0.2}};  // 12 minutes
  for (const auto& c : cases)
    EXPECT_NEAR(ParseDegrees(Bytes(c.field), std::strlen(c.field), c.hemisphere), c.degrees, 1e-9)
        << c.field << " " << c.hemisphere;
  RecordFields f;
  f.latHemisphere = 'S';
  f.lonHemisphere = 'W';
  f.speed = "1e99";
  f.gX = "nan  ";
  f.gY = "9e99 ";
  const GpsSample g = Gps(f);
  EXPECT_LT(g.latitude, 0.0);
  EXPECT_LT(g.longitude, 0.0);
  EXPECT_EQ(g.speed, 1e99);  // finite: kept...
  const SensorSample s = Sensor(f);
  EXPECT_EQ(s.gX, 0.0);
  EXPECT_EQ(s.gY, 0.0);  // ...but this one does not fit a single-precision G value
}

TEST(DriveRecord, GpsFieldsAndTime) {
  RecordFields f;
  const GpsSample g = Gps(f);
  EXPECT_EQ(g.recordIndex, 7);
  EXPECT_EQ(g.time, 700);
  EXPECT_EQ(g.timeMs, 700);
  EXPECT_EQ(g.valid, 1);
  EXPECT_EQ(g.speed, 42.0);
  EXPECT_EQ(g.sensor, nullptr);
  EXPECT_EQ(g.localTime, NormalizeCivil(2025, 3, 5, 14, 22, 33));
  CivilTime out;
  EXPECT_EQ(GetRecordLocalTime(Bytes(MakeRecord(f)), out), 0);
  EXPECT_EQ(out, g.localTime);
  f.status = 'V';
  f.addSeconds = "030";
  const GpsSample later = Gps(f);
  EXPECT_EQ(later.valid, 0);
  EXPECT_EQ(later.localTime, NormalizeCivil(2025, 3, 5, 14, 23, 3));
  // A negative correction across midnight and the year.
  f.dateTime = "260101000010";
  f.addSeconds = "-20";
  EXPECT_EQ(Gps(f).localTime, NormalizeCivil(2025, 12, 31, 23, 59, 50));
}

TEST(DriveRecord, EventKindPriorityAxisAndOverSpeed) {
  // The emergency mark beats the press, the press beats parking, parking
  // beats the drive-support letter.
  const struct {
    char manual, emergency, parking, support;
    int kind;
  } kinds[] = {{'D', 'D', '-', '-', kEventEmergencyStop}, {'D', '-', 'D', 'A', kEventManual},
               {'-', '-', 'D', 'A', kEventParking},       {'-', '-', '-', 'A', kEventAcceleration},
               {'-', '-', '-', 'B', kEventBraking},       {'-', '-', '-', 'H', kEventSteering},
               {'-', '-', '-', 'D', kEventNone}};
  RecordFields f;
  for (const auto& k : kinds) {
    f.manual = k.manual, f.emergency = k.emergency, f.parking = k.parking, f.support = k.support;
    EXPECT_EQ(Sensor(f).kind, k.kind) << k.manual << k.emergency << k.parking << k.support;
  }
  f.overSpeed = 'D';
  EXPECT_EQ(Sensor(f).overSpeed, kEventOverSpeed);
  EXPECT_EQ(Sensor(f).kind, kEventNone);
  for (auto [letter, axis] : {std::pair{'X', 2}, {'Y', 3}, {'Z', 1}, {'x', 0}}) {
    f.axis = letter;
    EXPECT_EQ(Sensor(f).axis, axis) << letter;
  }
}

TEST(DriveRecord, GValuesAndTrailingBytes) {
  RecordFields f;
  f.gY = "01234";
  f.gX = "-0500";
  f.gZ = "  abc";
  f.extra87 = 0xE7;
  f.number88 =
      "\xA5"
      "12";
  SensorSample s = Sensor(f);
  EXPECT_EQ(s.gY, static_cast<double>(1234.0f) / 1000.0);
  EXPECT_DOUBLE_EQ(s.gX, -0.5);
  EXPECT_EQ(s.gZ, 0.0);
  // Bytes above 127 are read as unsigned.
  EXPECT_EQ(s.extra87, 0xE7);
  EXPECT_EQ(s.high88, 0xA);
  EXPECT_EQ(s.low88, 0x5);
  EXPECT_EQ(s.number88, 0);  // not a digit
  f.number88 = "   ";
  EXPECT_EQ(Sensor(f).number88, -1);
  f.number88 = " 12";
  EXPECT_EQ(Sensor(f).number88, 12);
  EXPECT_EQ(Sensor(f).high88, ' ' >> 4);
}

TEST(DriveRecord, HeadThresholdsAndKeptBytes) {
  DriveDataHead head;
  DecodeHead(Bytes(qvtest::MakeHead("0300-500  12abcd")), head);
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
