// The drive-data block at the end of a recording file and the samples its
// records decode into.
//
// Block layout (offsets from the block's first byte, n = record count):
//   0   6       "CSODAT"
//   6   35      head
//   41  2       n, big-endian; 0xFFFF = records up to the end mark
//   43  91 * n  records
//   43 + 91 n   "CSOEND"
// The block ends exactly at the end of the file.  Numbers inside the head
// and the records are ASCII decimal fields read with atof/atoi semantics.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/civiltime.h"

namespace qv {

constexpr size_t kDriveMarkSize = 6;          // "CSODAT" / "CSOEND"
constexpr size_t kDriveHeadSize = 35;
constexpr size_t kDriveRecordSize = 91;
constexpr size_t kDriveCountOffset = 41;      // from the block start
constexpr size_t kDriveRecordsOffset = 43;    // from the block start
constexpr size_t kDriveBlockOverhead = 49;    // block size = 91 n + 49
constexpr uint16_t kDriveCountToEndMark = 0xFFFF;
inline constexpr char kDriveBlockMark[] = "CSODAT";
inline constexpr char kDriveEndMark[] = "CSOEND";

// Time per record: 100 ms, or 66.666664 ms in time-lapse ("T") files.
constexpr float kMsPerRecordNormal = 100.0f;
constexpr float kMsPerRecordTimeLapse = 66.666664f;

// Event mark kinds the decoder produces (the graph and map name and draw them).
constexpr int kEventNone = -1;
constexpr int kEventManual = 5;
constexpr int kEventEmergencyStop = 6;
constexpr int kEventParking = 7;
constexpr int kEventOverSpeed = 8;  // travels in SensorSample::overSpeed
constexpr int kEventSteering = 9;
constexpr int kEventAcceleration = 10;
constexpr int kEventBraking = 11;

struct DriveDataHead {
  float thresholds[4] = {};  // head numbers at head offsets 8, 12, 16, 20, divided by 1000
  uint8_t headBytes[6] = {};  // head bytes 0-5
  uint8_t byte27 = 0;
  char rateLetter = 0;  // 'T' for a time-lapse file name, else 'N'
  uint8_t byte30 = 0;
  uint8_t byte31 = 0;
};

struct SensorSample;

struct GpsSample {
  int32_t recordIndex = 0;
  int32_t time = 0;  // milliseconds from the block start; the time-slot number once indexed
  int32_t valid = 0;  // 1 for a valid fix
  SensorSample* sensor = nullptr;  // linked by the time index
  double latitude = 0.0;  // degrees, negative south
  double longitude = 0.0;  // degrees, negative west
  double speed = 0.0;  // km/h
  CivilTime localTime;  // the record's date and time; none when it does not convert
  double direction = 0.0;  // heading in degrees; the block carries none, so 0
  int32_t timeMs = 0;  // milliseconds from the block start, kept when `time` becomes a slot
};

struct SensorSample {
  int32_t recordIndex = 0;
  int32_t kind = kEventNone;
  int32_t overSpeed = 0;  // kEventOverSpeed or 0
  int32_t axis = 0;  // 2 "X", 3 "Y", 1 "Z", else 0
  int32_t time = 0;  // as GpsSample::time
  int32_t extra87 = 0;  // record byte 87 (0-255)
  int32_t number88 = 0;  // bytes 88-90 as a number, -1 when blank
  GpsSample* gps = nullptr;  // linked by the time index
  double gX = 0.0;
  double gY = 0.0;
  double gZ = 0.0;
  int32_t high88 = 0;  // high and low four bits of byte 88
  int32_t low88 = 0;
  int32_t timeMs = 0;  // as GpsSample::timeMs
};

// Degrees of a ddmm.mmmm / dddmm.mmmm field; "S" and "W" and a 0x00 byte give
// negative degrees, any other hemisphere byte positive.
double ParseDegrees(const uint8_t* field, size_t width, uint8_t hemisphere);

// The record's date and time (bytes 34-45, plus the signed seconds of bytes
// 47-49 unless byte 47 is '*'), normalised; none when it does not convert.
CivilTime ParseRecordTime(const uint8_t* record);

// Writes the record's time into `out` only when it converts; always 0.
int GetRecordLocalTime(const uint8_t* record, CivilTime& out);

// Decodes the GPS part / the sensor part of one 91-byte record.
void DecodeGpsRecord(const uint8_t* record, int32_t recordIndex, int32_t timeMs, GpsSample& out);
void DecodeSensorRecord(const uint8_t* record, int32_t recordIndex, int32_t timeMs, SensorSample& out);

// Decodes the 35-byte head at `head` into `out` (thresholds and kept bytes;
// the rate letter is the caller's).
void DecodeHead(const uint8_t* head, DriveDataHead& out);

// Milliseconds of record `index` at `msPerRecord`, in single precision,
// truncated toward zero (clamped to the int range).
int32_t RecordTimeMs(int64_t index, float msPerRecord);

// A double as a float, 0 when it is not finite or does not fit.
float ToFiniteFloat(double v);

}  // namespace qv
