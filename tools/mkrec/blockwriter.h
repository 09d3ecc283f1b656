// Writer of the recorder's drive-data block.
//
// The block stands at the very end of a recording file:
//   "CSODAT", a 35-byte head, a 16-bit big-endian record count (0xFFFF:
//   records run up to the end marker), 91-byte ASCII records, "CSOEND".
// Its length is 91 * n + 49 bytes.  Numbers are written as plain ASCII
// digits without the C library's locale-dependent formatting.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::rec {

constexpr size_t kHeadSize = 35;
constexpr size_t kRecordSize = 91;
constexpr size_t kBlockOverhead = 49;  // "CSODAT" + head + count + "CSOEND"
constexpr uint16_t kOpenEndedCount = 0xFFFF;

inline uint64_t BlockSize(uint64_t records) { return kRecordSize * records + kBlockOverhead; }

// Whether a block of `blockSize` bytes at the end of a file of `fileSize`
// bytes is found by the readers' search from the end, which covers only
// block starts after the first three quarters of the file (strictly).
inline bool BlockStartsInLastQuarter(uint64_t fileSize, uint64_t blockSize) {
  const uint64_t threeQuarters = fileSize / 4 * 3 + fileSize % 4 * 3 / 4;  // 3 * size / 4 without overflow
  return blockSize <= fileSize && fileSize - blockSize > threeQuarters;
}

// Field offsets inside one record.
namespace rf {
constexpr size_t kLead = 0;           // 8 bytes, free (the record number)
constexpr size_t kStatus = 8;         // "A" valid fix, "V" none
constexpr size_t kLatitude = 9;       // 9 bytes ddmm.mmmm
constexpr size_t kLatHemisphere = 18; // "N" / "S"
constexpr size_t kLongitude = 19;     // 10 bytes dddmm.mmmm
constexpr size_t kLonHemisphere = 29; // "E" / "W"
constexpr size_t kSpeed = 30;         // 4 bytes, km/h
constexpr size_t kDateTime = 34;      // 12 bytes yyMMddhhmmss
constexpr size_t kAddSeconds = 47;    // 3 bytes; "*" in the first = none
constexpr size_t kGy = 63;            // 5 bytes each, thousandths of g
constexpr size_t kGx = 68;
constexpr size_t kGz = 73;
constexpr size_t kManual = 78;        // "D"
constexpr size_t kAxis = 79;          // "X" "Y" "Z"
constexpr size_t kSupport = 80;       // "A" "B" "H"
constexpr size_t kEmergency = 81;     // "D"
constexpr size_t kParking = 82;       // "D"
constexpr size_t kOverSpeed = 83;     // "D"
constexpr size_t kExtra87 = 87;       // one byte
constexpr size_t kNumber88 = 88;      // 3 bytes decimal, blanks = none
}  // namespace rf

// Field offsets inside the head.
namespace hf {
constexpr size_t kHeadBytes = 0;                           // 6 bytes, kept as they are
constexpr size_t kThresholds[4] = {8, 12, 16, 20};         // 4 bytes each, thousandths
constexpr size_t kByte27 = 27, kByte30 = 30, kByte31 = 31;
}  // namespace hf

struct BlockHead {
  std::array<char, 6> headBytes{{'Q', 'V', '0', '1', '0', '0'}};
  std::array<int, 4> thresholds{{300, 400, 500, 600}};  // thousandths of g, 0..9999
  char byte27 = '1';
  char byte30 = '0';
  char byte31 = '1';
};

struct DriveRecord {
  int64_t leadNumber = 0;  // written into the free first 8 bytes
  bool valid = true;
  double latitude = 0;     // degrees, negative = south
  double longitude = 0;    // degrees, negative = west
  double speed = 0;        // km/h, written rounded to a whole number
  // Civil date and time of the record (year 2000..2099).
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  // Seconds the reader adds to the date and time; kNoAddSeconds writes "*".
  static constexpr int kNoAddSeconds = -10000;
  int addSeconds = kNoAddSeconds;
  double gX = 0, gY = 0, gZ = 1.0;  // in g, written as thousandths
  bool manual = false;
  char axis = 0;     // 'X', 'Y', 'Z' or 0
  char support = 0;  // 'A', 'B', 'H' or 0
  bool emergency = false;
  bool parking = false;
  bool overSpeed = false;
  uint8_t extra87 = '0';
  int number88 = -1;  // 0..999; -1 writes three blanks
};

// The 35 head bytes.
std::string FormatHead(const BlockHead& head);

// The 91 bytes of one record.
std::string FormatRecord(const DriveRecord& record);

// A whole block from the head bytes and record strings (each exactly 91 bytes;
// a shorter one is padded with blanks, a longer one cut).  countField is the
// value written into the count; by default the number of records, or 0xFFFF
// when openEnded is set.
struct BlockOptions {
  bool openEnded = false;
  int countField = -1;  // 0..0xFFFF overrides the count
};
std::string BuildBlock(const std::string& head, const std::vector<std::string>& records, BlockOptions options = {});
std::string BuildBlock(const BlockHead& head, const std::vector<DriveRecord>& records, BlockOptions options = {});

// Text helpers (exposed for tests).
// Degrees as ddmm.mmmm (digits = 2) or dddmm.mmmm (digits = 3), sign dropped.
std::string FormatDegreesMinutes(double degrees, int degreeDigits);
// A whole number right-aligned in `width` characters, zero-padded, with a
// leading "-" for negatives; clamped to what the width can hold.
std::string FormatPadded(int64_t value, int width);

}  // namespace qv::rec
