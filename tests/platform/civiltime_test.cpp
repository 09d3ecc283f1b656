#include "platform/civiltime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

namespace {

using qv::CivilTime;

std::vector<int> Fields(const CivilTime& t) {
  return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds, t.dayOfWeek};
}

TEST(CivilTime, NormalisesLikeMktimeAndKnowsTheWeekday) {
  // Month 13 is January next year, month 0 December before, day 0 the last
  // day of the month before; 24:60:60 rolls into the next day.
  const struct {
    int64_t in[7];
    std::vector<int> out;
  } cases[] = {{{2024, 2, 29, 23, 59, 59, 250}, {2024, 2, 29, 23, 59, 59, 250, 4}},  // a Thursday
               {{2023, 13, 1, 0, 0, 0, 0}, {2024, 1, 1, 0, 0, 0, 0, 1}},
               {{2024, 3, 0, 0, 0, 0, 0}, {2024, 2, 29, 0, 0, 0, 0, 4}},
               {{2023, 12, 31, 24, 60, 60, 0}, {2024, 1, 1, 1, 1, 0, 0, 1}},
               {{2024, 1, 1, 0, 0, -1, 0}, {2023, 12, 31, 23, 59, 59, 0, 0}},
               {{2024, 0, 1, 0, 0, 0, 0}, {2023, 12, 1, 0, 0, 0, 0, 5}},
               {{2024, 1, 1, 0, 0, 0, 1500}, {2024, 1, 1, 0, 0, 1, 500, 1}}};
  for (const auto& c : cases) {
    const CivilTime t = qv::NormalizeCivil(c.in[0], c.in[1], c.in[2], c.in[3], c.in[4], c.in[5], c.in[6]);
    EXPECT_EQ(Fields(t), c.out) << c.in[0] << "-" << c.in[1] << "-" << c.in[2];
    EXPECT_EQ(qv::CivilFromSeconds(qv::ToSeconds(t), t.milliseconds), t);
  }
  EXPECT_EQ(qv::CivilSeconds(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(qv::DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_TRUE(qv::CivilFromSeconds(qv::CivilSeconds(1500, 1, 1, 0, 0, 0)).IsNone());  // out of range
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

}  // namespace
