// Civil (wall-clock) date and time, as the recorder writes it.
//
// The recorder's clock has no zone: a recording made at 10:00 is shown as
// 10:00 wherever and whenever it is viewed.  All arithmetic here is on the
// proleptic Gregorian calendar with no time zone and no daylight saving.
#pragma once

#include <cstdint>

namespace qv {

struct CivilTime {
  uint16_t year = 0;
  uint16_t month = 0;       // 1..12
  uint16_t dayOfWeek = 0;   // 0 = Sunday
  uint16_t day = 0;         // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;

  // All fields zero means "no time".
  bool IsNone() const {
    return year == 0 && month == 0 && dayOfWeek == 0 && day == 0 && hour == 0 && minute == 0 && second == 0 &&
           milliseconds == 0;
  }
  friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// Days since 1970-01-01 of a (possibly out-of-range) year, month 1..12, day.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

// Seconds since 1970-01-01 00:00:00 of the civil fields, normalising every
// out-of-range field the way mktime does (month 13 is January of the next
// year, day 0 the last day of the month before, second 60 the next minute...).
int64_t CivilSeconds(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second);

// The civil time of a count of seconds since 1970; milliseconds as given.
// Years outside 1601..30827 (what the 16-bit fields and the recorder's
// format can hold) give the "none" time.
CivilTime CivilFromSeconds(int64_t seconds, uint16_t milliseconds = 0);

// Normalises the fields (including dayOfWeek) as mktime would.
CivilTime NormalizeCivil(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
                         int64_t milliseconds = 0);

// Seconds since 1970 of a civil time (its fields are taken as they are).
int64_t ToSeconds(const CivilTime& t);

}  // namespace qv
