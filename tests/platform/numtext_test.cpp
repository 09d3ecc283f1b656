#include "platform/numtext.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

namespace {

struct LocaleGuard {
  std::string saved;
  bool active = false;
  // Switches LC_ALL to a decimal-comma locale when the machine has one.
  LocaleGuard() {
    saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
      if (std::setlocale(LC_ALL, name)) {
        active = true;
        break;
      }
    }
  }
  ~LocaleGuard() { std::setlocale(LC_ALL, saved.c_str()); }
};

void CheckReadings() {
  EXPECT_DOUBLE_EQ(qv::ReadFloatField("  35.6895", 9), 35.6895);
  EXPECT_DOUBLE_EQ(qv::ReadFloatField("-139.6917", 9), -139.6917);
  EXPECT_DOUBLE_EQ(qv::ReadFloatField("+12.5xyz", 8), 12.5);
  EXPECT_DOUBLE_EQ(qv::ReadFloatField(" -0980", 6), -980.0);
  EXPECT_DOUBLE_EQ(qv::ReadFloatField("1e3", 3), 1000.0);
  EXPECT_DOUBLE_EQ(qv::ReadFloatField(".5", 2), 0.5);
  // The field width bounds the reading: the digits after it are not part of it.
  EXPECT_DOUBLE_EQ(qv::ReadFloatField("1234567", 4), 1234.0);
  EXPECT_DOUBLE_EQ(qv::ReadFloatField(std::string_view("12\0" "34", 5)), 12.0);
  // No digits: 0.
  EXPECT_EQ(qv::ReadFloatField("     ", 5), 0.0);
  EXPECT_EQ(qv::ReadFloatField("-", 1), 0.0);
  EXPECT_EQ(qv::ReadFloatField("+-1", 3), 0.0);
  EXPECT_EQ(qv::ReadFloatField("A12", 3), 0.0);
  EXPECT_EQ(qv::ReadFloatField("", 0), 0.0);
  // A decimal comma is not part of a number.
  EXPECT_DOUBLE_EQ(qv::ReadFloatField("12,75", 5), 12.0);
  // Hexadecimal, as atof reads it.
  EXPECT_EQ(qv::ReadFloatField("0x1A", 4), 26.0);
  EXPECT_EQ(qv::ReadFloatField(" -0x.8", 6), -0.5);
  EXPECT_EQ(qv::ReadFloatField("0x1p+-1", 7), 1.0);
  EXPECT_EQ(qv::ReadFloatField("0x-5", 4), 0.0);
  EXPECT_EQ(qv::ReadFloatField("0xg", 3), 0.0);
  EXPECT_EQ(qv::ReadFloatField("0x1p99999", 9), HUGE_VAL);
  EXPECT_EQ(qv::ReadFloatField("0x1p-99999", 10), 0.0);

  EXPECT_EQ(qv::ReadIntField(" 42", 3), 42);
  EXPECT_EQ(qv::ReadIntField("-07", 3), -7);
  EXPECT_EQ(qv::ReadIntField("1.9", 3), 1);
  EXPECT_EQ(qv::ReadIntField("   ", 3), 0);
  EXPECT_EQ(qv::ReadIntField("x1", 2), 0);
  EXPECT_EQ(qv::ReadIntField("99999999999", 11), 2147483647);
  EXPECT_EQ(qv::ReadIntField("-99999999999", 12), -2147483647 - 1);

  double d = 0;
  EXPECT_TRUE(qv::ParseDouble(" 1.500000 ", d));
  EXPECT_DOUBLE_EQ(d, 1.5);
  EXPECT_FALSE(qv::ParseDouble("1,5", d));
  EXPECT_FALSE(qv::ParseDouble("", d));
  // Texts without digits are no numbers, also those strtod would take.
  for (const char* t : {"inf", "-INF", "infinity", "nan", "NaN(1)"}) EXPECT_FALSE(qv::ParseDouble(t, d)) << t;
  EXPECT_FALSE(qv::ParseDouble("1e999", d));
  int64_t i = 0;
  EXPECT_TRUE(qv::ParseInt64("-12", i));
  EXPECT_EQ(i, -12);
  EXPECT_FALSE(qv::ParseInt64("12a", i));
  EXPECT_FALSE(qv::ParseInt64("+-12", i));
  EXPECT_FALSE(qv::ParseInt64("--12", i));
  EXPECT_TRUE(qv::ParseInt64(" +12 ", i));
  EXPECT_EQ(i, 12);

  EXPECT_EQ(qv::FormatFixed(1.5, 6), "1.500000");
  EXPECT_EQ(qv::FormatFixed(-0.125, 2), "-0.12");  // round half to even, as printf
  EXPECT_EQ(qv::FormatFixed(35.68950123, 7), "35.6895012");
  EXPECT_EQ(qv::FormatInt(-2147483648LL), "-2147483648");
  EXPECT_EQ(qv::FormatShortest(0.1), "0.1");
}

TEST(NumText, ReadsAndWritesLikeTheCLocale) { CheckReadings(); }

// Random fields read as the C library reads them in the "C" locale.
TEST(NumText, AgreesWithTheCLibrary) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  const char alphabet[] = " \t+-.0123456789eExXpPaAfFnNiI,";
  std::mt19937 rng(7);
  for (int n = 0; n < 200000; ++n) {
    char field[12] = {};
    const size_t width = 1 + rng() % 10;
    for (size_t i = 0; i < width; ++i) field[i] = alphabet[rng() % (sizeof alphabet - 1)];
    const double expected = std::atof(field);
    const double got = qv::ReadFloatField(field, width);
    ASSERT_TRUE(got == expected || (std::isnan(got) && std::isnan(expected))) << "[" << field << "] " << got;
    if (width < 10) {  // atoi's own overflow is undefined
      ASSERT_EQ(qv::ReadIntField(field, width), std::atoi(field)) << "[" << field << "]";
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumText, SameResultsUnderADecimalCommaLocale) {
  LocaleGuard guard;
  if (!guard.active) GTEST_SKIP() << "no decimal-comma locale on this machine";
  CheckReadings();
}

}  // namespace
