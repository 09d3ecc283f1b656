// Locale-free number reading and formatting.
//
// The C library's atof/strtod/printf follow LC_NUMERIC, which Qt sets from the
// environment: under a decimal-comma locale "35.123" would read as 35.  Every
// number the program reads from a recording, a settings file or a page, and
// every number it writes for one, goes through these helpers instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// atof semantics over a fixed-width field: leading blanks skipped, an optional
// sign, reading stops at the first character that is not part of the number
// (or at a NUL, or at the end of the field); no digits gives 0.
double ReadFloatField(std::string_view field);
inline double ReadFloatField(const char* p, size_t width) { return ReadFloatField(std::string_view(p, width)); }

// atoi semantics over a fixed-width field; values beyond int clamp to its range.
int ReadIntField(std::string_view field);
inline int ReadIntField(const char* p, size_t width) { return ReadIntField(std::string_view(p, width)); }
int64_t ReadInt64Field(std::string_view field);

// Strict parse of a whole string (surrounding blanks allowed); false when any
// other character is present or no digits are found.
bool ParseDouble(std::string_view text, double& out);
bool ParseInt64(std::string_view text, int64_t& out);

// printf("%.*f") without the locale.
std::string FormatFixed(double value, int decimals);
// printf("%d").
std::string FormatInt(int64_t value);
// A count or date field with zeros in front up to `width` digits ("007").
std::string FormatPadded(int64_t value, size_t width);
// The shortest text that reads back as the same double ("%g"-like, '.' always).
std::string FormatShortest(double value);

}  // namespace qv
