#include "civiltime.h"

namespace qv {
namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

// Howard Hinnant's days_from_civil, with the month first brought into 1..12.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  int64_t m0 = month - 1;
  year += FloorDiv(m0, 12);
  m0 -= FloorDiv(m0, 12) * 12;
  const int64_t m = m0 + 1;
  const int64_t y = year - (m <= 2 ? 1 : 0);
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (day - 1);
}

int64_t CivilSeconds(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second) {
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

CivilTime CivilFromSeconds(int64_t seconds, uint16_t milliseconds) {
  const int64_t days = FloorDiv(seconds, 86400);
  int64_t rem = seconds - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  if (y < 1601 || y > 30827) return CivilTime{};
  CivilTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(m);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(rem / 3600);
  rem %= 3600;
  t.minute = static_cast<uint16_t>(rem / 60);
  t.second = static_cast<uint16_t>(rem % 60);
  t.milliseconds = milliseconds;
  // 1970-01-01 was a Thursday.
  int64_t wd = (days + 4) % 7;
  if (wd < 0) wd += 7;
  t.dayOfWeek = static_cast<uint16_t>(wd);
  return t;
}

CivilTime NormalizeCivil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                         int64_t milliseconds) {
  second += FloorDiv(milliseconds, 1000);
  milliseconds -= FloorDiv(milliseconds, 1000) * 1000;
  return CivilFromSeconds(CivilSeconds(year, month, day, hour, minute, second), static_cast<uint16_t>(milliseconds));
}

int64_t ToSeconds(const CivilTime& t) { return CivilSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second); }

}  // namespace qv
