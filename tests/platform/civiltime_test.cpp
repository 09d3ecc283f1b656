#include "platform/civiltime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using qv::CivilTime;

TEST(CivilTime, RoundTripsAndKnowsTheWeekday) {
  CivilTime t = qv::NormalizeCivil(2024, 2, 29, 23, 59, 59, 250);
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.dayOfWeek, 4);  // Thursday
  EXPECT_EQ(t.milliseconds, 250);
  EXPECT_EQ(qv::CivilFromSeconds(qv::ToSeconds(t), 250), t);
  EXPECT_EQ(qv::CivilSeconds(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(qv::DaysFromCivil(2000, 3, 1), 11017);
}

TEST(CivilTime, NormalisesLikeMktime) {
  // Month 13 -> January next year; day 0 -> last day of the month before;
  // 24:60:60 rolls into the next day.
  CivilTime a = qv::NormalizeCivil(2023, 13, 1, 0, 0, 0);
  EXPECT_EQ(a.year, 2024);
  EXPECT_EQ(a.month, 1);
  CivilTime b = qv::NormalizeCivil(2024, 3, 0, 0, 0, 0);
  EXPECT_EQ(b.month, 2);
  EXPECT_EQ(b.day, 29);
  CivilTime c = qv::NormalizeCivil(2023, 12, 31, 24, 60, 60);
  EXPECT_EQ(c.year, 2024);
  EXPECT_EQ(c.day, 1);
  EXPECT_EQ(c.hour, 1);
  EXPECT_EQ(c.minute, 1);
  EXPECT_EQ(c.second, 0);
  CivilTime d = qv::NormalizeCivil(2024, 1, 1, 0, 0, -1);
  EXPECT_EQ(d.year, 2023);
  EXPECT_EQ(d.second, 59);
  CivilTime e = qv::NormalizeCivil(2024, 0, 1, 0, 0, 0);
  EXPECT_EQ(e.year, 2023);
  EXPECT_EQ(e.month, 12);
  CivilTime f = qv::NormalizeCivil(2024, 1, 1, 0, 0, 0, 1500);
  EXPECT_EQ(f.second, 1);
  EXPECT_EQ(f.milliseconds, 500);
}

TEST(CivilTime, AgreesWithTimegmOverManyDates) {
  for (int64_t s = -86400LL * 365 * 30; s < 86400LL * 365 * 80; s += 86400LL * 17 + 3917) {
    time_t tt = static_cast<time_t>(s);
    struct tm tm;
    gmtime_r(&tt, &tm);
    CivilTime t = qv::CivilFromSeconds(s);
    ASSERT_EQ(t.year, tm.tm_year + 1900);
    ASSERT_EQ(t.month, tm.tm_mon + 1);
    ASSERT_EQ(t.day, tm.tm_mday);
    ASSERT_EQ(t.hour, tm.tm_hour);
    ASSERT_EQ(t.dayOfWeek, tm.tm_wday);
    ASSERT_EQ(qv::ToSeconds(t), s);
  }
}

TEST(CivilTime, IgnoresTheMachinesZone) {
  const char* saved = std::getenv("TZ");
  std::string keep = saved ? saved : "";
  // A zone with daylight saving: the civil arithmetic must not move.
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  CivilTime t = qv::NormalizeCivil(2024, 3, 31, 2, 30, 0);  // inside the spring gap
  EXPECT_EQ(t.hour, 2);
  EXPECT_EQ(t.minute, 30);
  if (saved) setenv("TZ", keep.c_str(), 1); else unsetenv("TZ");
  tzset();
}

TEST(CivilTime, OutOfRangeYearsAreNone) {
  EXPECT_TRUE(qv::CivilFromSeconds(qv::CivilSeconds(1500, 1, 1, 0, 0, 0)).IsNone());
  EXPECT_FALSE(qv::CivilFromSeconds(0).IsNone());
}

}  // namespace
