#include "numtext.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace qv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The field up to its first NUL, like the zero-terminated copy the C calls read.
std::string_view UpToNul(std::string_view s) {
  const void* nul = std::memchr(s.data(), '\0', s.size());
  return nul ? s.substr(0, static_cast<const char*>(nul) - s.data()) : s;
}

// Skips blanks and a sign; returns the rest and whether the sign was '-'.
std::string_view SkipBlanksAndSign(std::string_view s, bool& negative) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  return s.substr(i);
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// from_chars over `s` in `format`; out of range gives what strtod gives
// (HUGE_VAL, or 0 for a negative exponent), where from_chars leaves v as it was.
double FromChars(std::string_view s, std::chars_format format, const char* exponentLetters) {
  double v = 0.0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, format);
  if (r.ec == std::errc::invalid_argument) return 0.0;
  if (r.ec == std::errc::result_out_of_range) {
    size_t e = s.find_first_of(exponentLetters);
    bool tiny = e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-';
    v = tiny ? 0.0 : HUGE_VAL;
  }
  return v;
}

}  // namespace

double ReadFloatField(std::string_view field) {
  bool negative = false;
  std::string_view s = SkipBlanksAndSign(UpToNul(field), negative);
  if (s.empty() || s[0] == '+' || s[0] == '-') return 0.0;
  double v = 0.0;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    // Hexadecimal, as strtod reads it; "0x" without hex digits is the 0.
    // The number's extent is found here: from_chars takes "p+-1" as an exponent.
    const std::string_view h = s.substr(2);
    size_t i = 0;
    bool digits = false;
    for (; i < h.size() && IsHexDigit(h[i]); ++i) digits = true;
    if (i < h.size() && h[i] == '.')
      for (++i; i < h.size() && IsHexDigit(h[i]); ++i) digits = true;
    size_t end = i;
    if (i < h.size() && (h[i] == 'p' || h[i] == 'P')) {
      size_t j = i + 1;
      if (j < h.size() && (h[j] == '+' || h[j] == '-')) ++j;
      size_t k = j;
      while (k < h.size() && h[k] >= '0' && h[k] <= '9') ++k;
      if (k > j) end = k;
    }
    v = digits ? FromChars(h.substr(0, end), std::chars_format::hex, "pP") : 0.0;
  } else {
    v = FromChars(s, std::chars_format::general, "eE");
  }
  return negative ? -v : v;
}

int64_t ReadInt64Field(std::string_view field) {
  bool negative = false;
  std::string_view s = SkipBlanksAndSign(UpToNul(field), negative);
  size_t n = 0;
  while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
  if (n == 0) return 0;
  uint64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + n, v);
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  if (r.ec == std::errc::result_out_of_range || v > limit) v = limit;
  return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

int ReadIntField(std::string_view field) {
  int64_t v = ReadInt64Field(field);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}
}  // namespace

bool ParseDouble(std::string_view text, double& out) {
  bool negative = false;
  std::string_view s = SkipBlanksAndSign(Trim(text), negative);
  if (s.empty() || s[0] == '+' || s[0] == '-') return false;
  // A number starts with a digit or a point; "inf" and "nan" are none here.
  if (!((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return false;
  double v = 0.0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  out = negative ? -v : v;
  return true;
}

bool ParseInt64(std::string_view text, int64_t& out) {
  std::string_view s = Trim(text);
  const bool plus = !s.empty() && s[0] == '+';
  if (plus) s.remove_prefix(1);
  if (s.empty() || (plus && s[0] == '-')) return false;  // one sign at most
  int64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  out = v;
  return true;
}

std::string FormatFixed(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 30) decimals = 30;
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return std::string();
  return std::string(buf, r.ptr);
}

std::string FormatInt(int64_t value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::string FormatPadded(int64_t value, size_t width) {
  std::string s = FormatInt(value);
  return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

std::string FormatShortest(double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  if (r.ec != std::errc()) return std::string();
  return std::string(buf, r.ptr);
}

}  // namespace qv
