#include "platform/numtext.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "testsupport.h"

namespace {

void CheckReadings() {
  const std::pair<std::string_view, double> floats[] = {
      {"  35.6895", 35.6895}, {"-139.6917", -139.6917}, {"+12.5xyz", 12.5}, {" -0980", -980.0}, {"1e3", 1000.0},
      {".5", 0.5},
      // The field width bounds the reading: the digits after it are not part of it.
      {std::string_view("1234567", 4), 1234.0}, {std::string_view("12\0" "34", 5), 12.0},
      // No digits: 0.  A decimal comma is not part of a number.
      {"     ", 0.0}, {"-", 0.0}, {"+-1", 0.0}, {"A12", 0.0}, {"", 0.0}, {"12,75", 12.0},
      // Hexadecimal, as atof reads it.
      {"0x1A", 26.0}, {" -0x.8", -0.5}, {"0x1p+-1", 1.0}, {"0x-5", 0.0}, {"0xg", 0.0}, {"0x1p99999", HUGE_VAL},
      {"0x1p-99999", 0.0}};
  for (const auto& [field, value] : floats) EXPECT_EQ(qv::ReadFloatField(field), value) << "[" << field << "]";
  const std::pair<std::string_view, int> ints[] = {{" 42", 42}, {"-07", -7}, {"1.9", 1}, {"   ", 0}, {"x1", 0},
                                                   {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
  for (const auto& [field, value] : ints) EXPECT_EQ(qv::ReadIntField(field), value) << "[" << field << "]";

  double d = 0;
  EXPECT_TRUE(qv::ParseDouble(" 1.500000 ", d));
  EXPECT_DOUBLE_EQ(d, 1.5);
  // Texts without digits are no numbers, also those strtod would take.
  for (const char* t : {"1,5", "", "inf", "-INF", "infinity", "nan", "NaN(1)", "1e999"})
    EXPECT_FALSE(qv::ParseDouble(t, d)) << t;
  int64_t i = 0;
  EXPECT_TRUE(qv::ParseInt64("-12", i));
  EXPECT_EQ(i, -12);
  for (const char* t : {"12a", "+-12", "--12"}) EXPECT_FALSE(qv::ParseInt64(t, i)) << t;
  EXPECT_TRUE(qv::ParseInt64(" +12 ", i));
  EXPECT_EQ(i, 12);

  EXPECT_EQ(qv::FormatFixed(1.5, 6), "1.500000");
  EXPECT_EQ(qv::FormatFixed(-0.125, 2), "-0.12");  // round half to even, as printf
  EXPECT_EQ(qv::FormatFixed(35.68950123, 7), "35.6895012");
  EXPECT_EQ(qv::FormatInt(-2147483648LL), "-2147483648");
  EXPECT_EQ(qv::FormatShortest(0.1), "0.1");
  EXPECT_EQ(qv::FormatPadded(7, 3), "007");
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
  qvtest::DecimalCommaLocale comma;
  if (!comma.active) GTEST_SKIP() << "no decimal-comma locale on this machine";
  CheckReadings();
}

}  // namespace
