#include "recording/drivedata.h"

#include <cfloat>
#include <climits>
#include <cmath>

#include "platform/numtext.h"

namespace qv {
namespace {

const char* Chars(const uint8_t* p) { return reinterpret_cast<const char*>(p); }

// atof of a field; a text like "inf" or "nan" reads as 0 so that no
// non-finite value reaches positions, speeds or G values.
double FiniteField(const uint8_t* p, size_t width) {
  const double v = ReadFloatField(Chars(p), width);
  return std::isfinite(v) ? v : 0.0;
}

int IntField(const uint8_t* p, size_t width) { return ReadIntField(Chars(p), width); }

}  // namespace

float ToFiniteFloat(double v) {
  if (!std::isfinite(v) || v > FLT_MAX || v < -FLT_MAX) return 0.0f;
  return static_cast<float>(v);
}

int32_t RecordTimeMs(int64_t index, float msPerRecord) {
  const float ms = std::trunc(static_cast<float>(index) * msPerRecord);
  if (!(ms > static_cast<float>(INT_MIN))) return ms < 0 ? INT_MIN : 0;  // also NaN -> 0
  if (ms >= static_cast<float>(INT_MAX)) return INT_MAX;
  return static_cast<int32_t>(ms);
}

double ParseDegrees(const uint8_t* field, size_t width, uint8_t hemisphere) {
  const double v = FiniteField(field, width);
  // ddmm.mmmm: whole degrees are the integer part divided by 100 (toward
  // zero), the rest is minutes.
  const double degrees = std::trunc(std::trunc(v) / 100.0) + std::fmod(v, 100.0) / 60.0;
  const bool negative = hemisphere == 'S' || hemisphere == 'W' || hemisphere == 0x00;
  return negative ? -degrees : degrees;
}

CivilTime ParseRecordTime(const uint8_t* r) {
  int64_t second = IntField(r + 44, 2);
  if (r[47] != '*') second += IntField(r + 47, 3);
  return NormalizeCivil(2000 + IntField(r + 34, 2), IntField(r + 36, 2), IntField(r + 38, 2), IntField(r + 40, 2),
                        IntField(r + 42, 2), second);
}

int GetRecordLocalTime(const uint8_t* record, CivilTime& out) {
  const CivilTime t = ParseRecordTime(record);
  if (!t.IsNone()) out = t;
  return 0;
}

void DecodeGpsRecord(const uint8_t* r, int32_t recordIndex, int32_t timeMs, GpsSample& out) {
  out = GpsSample{};
  out.recordIndex = recordIndex;
  out.time = timeMs;
  out.timeMs = timeMs;
  out.valid = r[8] == 'A' ? 1 : 0;
  out.latitude = ParseDegrees(r + 9, 9, r[18]);
  out.longitude = ParseDegrees(r + 19, 10, r[29]);
  out.speed = FiniteField(r + 30, 4);
  out.localTime = ParseRecordTime(r);
}

void DecodeSensorRecord(const uint8_t* r, int32_t recordIndex, int32_t timeMs, SensorSample& out) {
  out = SensorSample{};
  out.recordIndex = recordIndex;
  out.time = timeMs;
  out.timeMs = timeMs;
  if (r[81] == 'D') {
    out.kind = kEventEmergencyStop;
  } else if (r[78] == 'D') {
    out.kind = kEventManual;
  } else if (r[82] == 'D') {
    out.kind = kEventParking;
  } else {
    switch (r[80]) {
      case 'A': out.kind = kEventAcceleration; break;
      case 'B': out.kind = kEventBraking; break;
      case 'H': out.kind = kEventSteering; break;
      default: out.kind = kEventNone; break;
    }
  }
  switch (r[79]) {
    case 'X': out.axis = 2; break;
    case 'Y': out.axis = 3; break;
    case 'Z': out.axis = 1; break;
    default: out.axis = 0; break;
  }
  out.overSpeed = r[83] == 'D' ? kEventOverSpeed : 0;
  // The G values are kept in single precision before scaling, as recorded.
  out.gY = static_cast<double>(ToFiniteFloat(FiniteField(r + 63, 5))) / 1000.0;
  out.gX = static_cast<double>(ToFiniteFloat(FiniteField(r + 68, 5))) / 1000.0;
  out.gZ = static_cast<double>(ToFiniteFloat(FiniteField(r + 73, 5))) / 1000.0;
  out.extra87 = r[87];
  out.number88 = (r[88] == ' ' && r[89] == ' ' && r[90] == ' ') ? -1 : IntField(r + 88, 3);
  out.high88 = r[88] >> 4;
  out.low88 = r[88] & 15;
}

void DecodeHead(const uint8_t* h, DriveDataHead& out) {
  for (int i = 0; i < 4; ++i) {
    const float v = ToFiniteFloat(FiniteField(h + 8 + 4 * i, 4));
    out.thresholds[i] = v / 1000.0f;
  }
  out.byte27 = h[27];
  out.byte30 = h[30];
  out.byte31 = h[31];
  for (int i = 0; i < 6; ++i) out.headBytes[i] = h[i];
}

}  // namespace qv
