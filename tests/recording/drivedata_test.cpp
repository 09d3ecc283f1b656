#include "recording/drivedata.h"

#include <gtest/gtest.h>

#include <cmath>

#include "blockbuilder.h"

namespace qv {
namespace {

using qvtest::MakeRecord;
using qvtest::RecordFields;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

GpsSample Gps(const RecordFields& f) {
  const std::string r = MakeRecord(f);
  GpsSample g;
  DecodeGpsRecord(Bytes(r), 7, 700, g);
  return g;
}

SensorSample Sensor(const RecordFields& f) {
  const std::string r = MakeRecord(f);
  SensorSample s;
  DecodeSensorRecord(Bytes(r), 7, 700, s);
  return s;
}

// "S" and "W" give negative degrees; positive ones would mirror tracks south
// of the equator or west of Greenwich.
TEST(DriveRecord, HemisphereGivesTheSign) {
  const std::string lat = "3539.1234";
  const double expected = 35.0 + 39.1234 / 60.0;
  EXPECT_NEAR(ParseDegrees(Bytes(lat), 9, 'N'), expected, 1e-9);
  EXPECT_NEAR(ParseDegrees(Bytes(lat), 9, 'S'), -expected, 1e-9);
  EXPECT_NEAR(ParseDegrees(Bytes(lat), 9, 0x00), -expected, 1e-9);
  EXPECT_NEAR(ParseDegrees(Bytes(lat), 9, ' '), expected, 1e-9);
  const std::string lon = "13945.6789";
  EXPECT_NEAR(ParseDegrees(Bytes(lon), 10, 'E'), 139.0 + 45.6789 / 60.0, 1e-9);
  EXPECT_NEAR(ParseDegrees(Bytes(lon), 10, 'W'), -(139.0 + 45.6789 / 60.0), 1e-9);

  RecordFields f;
  f.latHemisphere = 'S';
  f.lonHemisphere = 'W';
  const GpsSample g = Gps(f);
  EXPECT_LT(g.latitude, 0.0);
  EXPECT_LT(g.longitude, 0.0);
}

TEST(DriveRecord, MalformedNumbersReadAsZeroOrTheirPrefix) {
  const std::string blank = "         ";
  EXPECT_EQ(ParseDegrees(Bytes(blank), 9, 'N'), 0.0);
  const std::string junk = "12ab.3456";
  EXPECT_NEAR(ParseDegrees(Bytes(junk), 9, 'N'), 0.2, 1e-12);  // 12 minutes
  // Texts that atof would read as infinite or not-a-number give 0.
  const std::string inf = "inf      ";
  EXPECT_EQ(ParseDegrees(Bytes(inf), 9, 'N'), 0.0);
  RecordFields f;
  f.speed = "1e99";
  f.gX = "nan  ";
  f.gY = "9e99 ";
  const GpsSample g = Gps(f);
  const SensorSample s = Sensor(f);
  EXPECT_EQ(g.speed, 1e99);  // finite: kept...
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
  EXPECT_EQ(g.direction, 0.0);
  EXPECT_EQ(g.sensor, nullptr);
  EXPECT_EQ(g.localTime, NormalizeCivil(2025, 3, 5, 14, 22, 33));
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

TEST(DriveRecord, LocalTimeOnlyWrittenWhenItConverts) {
  const std::string r = MakeRecord(RecordFields{});
  CivilTime out;
  EXPECT_EQ(GetRecordLocalTime(Bytes(r), out), 0);
  EXPECT_EQ(out, NormalizeCivil(2025, 3, 5, 14, 22, 33));
}

TEST(DriveRecord, EventKindPriorityAxisAndOverSpeed) {
  RecordFields f;
  f.manual = 'D';
  f.emergency = 'D';
  EXPECT_EQ(Sensor(f).kind, kEventEmergencyStop);
  f.emergency = '-';
  f.parking = 'D';
  EXPECT_EQ(Sensor(f).kind, kEventManual);
  f.manual = '-';
  EXPECT_EQ(Sensor(f).kind, kEventParking);
  f.parking = '-';
  for (auto [letter, kind] : {std::pair{'A', kEventAcceleration}, {'B', kEventBraking}, {'H', kEventSteering},
                              {'D', kEventNone}}) {
    f.support = letter;
    EXPECT_EQ(Sensor(f).kind, kind) << letter;
  }
  f.support = '-';
  f.overSpeed = 'D';
  SensorSample s = Sensor(f);
  EXPECT_EQ(s.kind, kEventNone);
  EXPECT_EQ(s.overSpeed, kEventOverSpeed);
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
  f.number88 = "\xA5" "12";
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
  const std::string h = qvtest::MakeHead("0300-500  12abcd");
  DriveDataHead head;
  DecodeHead(Bytes(h), head);
  EXPECT_FLOAT_EQ(head.thresholds[0], 0.3f);
  EXPECT_FLOAT_EQ(head.thresholds[1], -0.5f);
  EXPECT_FLOAT_EQ(head.thresholds[2], 0.012f);
  EXPECT_EQ(head.thresholds[3], 0.0f);
  EXPECT_EQ(std::string(head.headBytes, head.headBytes + 6), "MODEL1");
  EXPECT_EQ(head.byte27, 'k');
  EXPECT_EQ(head.byte30, 'x');
  EXPECT_EQ(head.byte31, 'y');
}

TEST(DriveRecord, RecordTimesInSinglePrecision) {
  EXPECT_EQ(RecordTimeMs(0, kMsPerRecordNormal), 0);
  EXPECT_EQ(RecordTimeMs(3, kMsPerRecordNormal), 300);
  // 66.666664f per record, multiplied in single precision: record 3 rounds
  // up to 200 ms (199 in double precision), record 15 stays below 1000.
  EXPECT_EQ(RecordTimeMs(3, kMsPerRecordTimeLapse), 200);
  EXPECT_EQ(RecordTimeMs(15, kMsPerRecordTimeLapse), 999);
  EXPECT_EQ(RecordTimeMs(int64_t(1) << 40, kMsPerRecordNormal), INT32_MAX);
}

}  // namespace
}  // namespace qv
