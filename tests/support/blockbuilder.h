// Builds drive-data records and blocks for the tests and benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qvtest {

struct RecordFields {
  char status = 'A';
  std::string latitude = "3539.1234";   // 9 characters
  char latHemisphere = 'N';
  std::string longitude = "13945.6789";  // 10 characters
  char lonHemisphere = 'E';
  std::string speed = "  42";            // 4
  std::string dateTime = "250305142233";  // 12: yyMMddhhmmss
  std::string addSeconds = "*  ";        // 3
  std::string gY = " 0012", gX = "-0034", gZ = " 1000";  // 5 each
  char manual = '-', axis = '-', support = '-', emergency = '-', parking = '-', overSpeed = '-';
  uint8_t extra87 = ' ';
  std::string number88 = "   ";  // 3
};

inline void Put(std::string& r, size_t at, const std::string& s) { r.replace(at, s.size(), s); }

inline std::string MakeRecord(const RecordFields& f) {
  std::string r(91, ' ');
  Put(r, 0, "$GPRMC,0");
  r[8] = f.status;
  Put(r, 9, f.latitude);
  r[18] = f.latHemisphere;
  Put(r, 19, f.longitude);
  r[29] = f.lonHemisphere;
  Put(r, 30, f.speed);
  Put(r, 34, f.dateTime);
  Put(r, 47, f.addSeconds);
  Put(r, 63, f.gY);
  Put(r, 68, f.gX);
  Put(r, 73, f.gZ);
  r[78] = f.manual;
  r[79] = f.axis;
  r[80] = f.support;
  r[81] = f.emergency;
  r[82] = f.parking;
  r[83] = f.overSpeed;
  r[87] = static_cast<char>(f.extra87);
  Put(r, 88, f.number88);
  return r;
}

// A plain record whose date and time advance by `index` tenths of a second
// from 2025-03-05 14:22:00 (whole seconds only) and whose G values vary.
inline std::string MakeNumberedRecord(int index) {
  RecordFields f;
  char buf[32];
  const int s = index / 10;
  std::snprintf(buf, sizeof buf, "250305%02d%02d%02d", 14 + s / 3600 % 10, s / 60 % 60, s % 60);
  f.dateTime = buf;
  std::snprintf(buf, sizeof buf, "%5d", index % 2000 - 1000);
  f.gX = buf;
  return MakeRecord(f);
}

inline std::string MakeHead(const std::string& thresholds = "0300040005000600") {
  std::string h(35, ' ');
  Put(h, 0, "MODEL1");
  Put(h, 8, thresholds);
  h[27] = 'k';
  h[30] = 'x';
  h[31] = 'y';
  return h;
}

// "CSODAT", head, count (records.size() unless given), records, "CSOEND".
inline std::string MakeBlock(const std::vector<std::string>& records, long count = -1, bool endMark = true,
                             const std::string& head = MakeHead()) {
  std::string b = "CSODAT" + head;
  const unsigned long n = count < 0 ? records.size() : static_cast<unsigned long>(count);
  b.push_back(static_cast<char>((n >> 8) & 0xFF));
  b.push_back(static_cast<char>(n & 0xFF));
  for (const std::string& r : records) b += r;
  if (endMark) b += "CSOEND";
  return b;
}

inline std::vector<std::string> NumberedRecords(int n) {
  std::vector<std::string> v;
  v.reserve(n);
  for (int i = 0; i < n; ++i) v.push_back(MakeNumberedRecord(i));
  return v;
}

}  // namespace qvtest
