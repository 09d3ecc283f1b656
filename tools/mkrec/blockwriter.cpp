#include "blockwriter.h"

#include <cmath>
#include <cstring>

namespace qv::rec {

namespace {

void Put(std::string& out, size_t offset, const std::string& text) {
  out.replace(offset, text.size(), text);
}

int64_t Pow10(int n) {
  int64_t v = 1;
  while (n-- > 0) v *= 10;
  return v;
}

std::string Digits(int64_t value, int width) {
  std::string s(static_cast<size_t>(width), '0');
  for (int i = width - 1; i >= 0 && value > 0; --i) {
    s[static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return s;
}

}  // namespace

std::string FormatPadded(int64_t value, int width) {
  if (width <= 0) return {};
  if (value >= 0) {
    int64_t max = Pow10(width) - 1;
    return Digits(value > max ? max : value, width);
  }
  if (width == 1) return "0";
  int64_t max = Pow10(width - 1) - 1;
  int64_t magnitude = value < -max ? max : -value;
  return "-" + Digits(magnitude, width - 1);
}

std::string FormatDegreesMinutes(double degrees, int degreeDigits) {
  double magnitude = std::fabs(degrees);
  if (!std::isfinite(magnitude)) magnitude = 0;
  // Work in ten-thousandths of a minute so that rounding can never give
  // "60.0000" minutes.
  int64_t total = std::llround(magnitude * 600000.0);
  int64_t whole = total / 600000;
  int64_t rest = total % 600000;
  int64_t maxWhole = Pow10(degreeDigits) - 1;
  if (whole > maxWhole) {
    whole = maxWhole;
    rest = 599999;
  }
  return Digits(whole, degreeDigits) + Digits(rest / 10000, 2) + "." + Digits(rest % 10000, 4);
}

std::string FormatHead(const BlockHead& head) {
  std::string out(kHeadSize, ' ');
  for (size_t i = 0; i < head.headBytes.size(); ++i) out[hf::kHeadBytes + i] = head.headBytes[i];
  for (size_t i = 0; i < 4; ++i) Put(out, hf::kThresholds[i], FormatPadded(head.thresholds[i], 4));
  out[hf::kByte27] = head.byte27;
  out[hf::kByte30] = head.byte30;
  out[hf::kByte31] = head.byte31;
  return out;
}

std::string FormatRecord(const DriveRecord& r) {
  std::string out(kRecordSize, ' ');
  Put(out, rf::kLead, FormatPadded(r.leadNumber < 0 ? 0 : r.leadNumber, 8));
  out[rf::kStatus] = r.valid ? 'A' : 'V';
  Put(out, rf::kLatitude, FormatDegreesMinutes(r.latitude, 2));
  out[rf::kLatHemisphere] = r.latitude < 0 ? 'S' : 'N';
  Put(out, rf::kLongitude, FormatDegreesMinutes(r.longitude, 3));
  out[rf::kLonHemisphere] = r.longitude < 0 ? 'W' : 'E';
  double speed = std::isfinite(r.speed) && r.speed > 0 ? r.speed : 0;
  Put(out, rf::kSpeed, FormatPadded(std::llround(speed), 4));
  Put(out, rf::kDateTime,
      Digits(r.year % 100, 2) + Digits(r.month, 2) + Digits(r.day, 2) + Digits(r.hour, 2) + Digits(r.minute, 2) +
          Digits(r.second, 2));
  if (r.addSeconds == DriveRecord::kNoAddSeconds)
    Put(out, rf::kAddSeconds, "*  ");
  else
    Put(out, rf::kAddSeconds, FormatPadded(r.addSeconds, 3));
  auto g = [](double v) { return FormatPadded(std::isfinite(v) ? std::llround(v * 1000.0) : 0, 5); };
  Put(out, rf::kGy, g(r.gY));
  Put(out, rf::kGx, g(r.gX));
  Put(out, rf::kGz, g(r.gZ));
  out[rf::kManual] = r.manual ? 'D' : '0';
  out[rf::kAxis] = r.axis ? r.axis : '0';
  out[rf::kSupport] = r.support ? r.support : '0';
  out[rf::kEmergency] = r.emergency ? 'D' : '0';
  out[rf::kParking] = r.parking ? 'D' : '0';
  out[rf::kOverSpeed] = r.overSpeed ? 'D' : '0';
  out[rf::kExtra87] = static_cast<char>(r.extra87);
  if (r.number88 >= 0) Put(out, rf::kNumber88, FormatPadded(r.number88, 3));
  return out;
}

std::string BuildBlock(const std::string& head, const std::vector<std::string>& records, BlockOptions options) {
  std::string out;
  out.reserve(BlockSize(records.size()));
  out += "CSODAT";
  std::string h = head;
  h.resize(kHeadSize, ' ');
  out += h;
  int count = options.countField >= 0   ? options.countField
              : options.openEnded       ? kOpenEndedCount
              : records.size() > 0xFFFE ? 0xFFFE
                                        : static_cast<int>(records.size());
  out.push_back(static_cast<char>((count >> 8) & 0xFF));
  out.push_back(static_cast<char>(count & 0xFF));
  for (const std::string& r : records) {
    std::string rec = r;
    rec.resize(kRecordSize, ' ');
    out += rec;
  }
  out += "CSOEND";
  return out;
}

std::string BuildBlock(const BlockHead& head, const std::vector<DriveRecord>& records, BlockOptions options) {
  std::vector<std::string> texts;
  texts.reserve(records.size());
  for (const DriveRecord& r : records) texts.push_back(FormatRecord(r));
  return BuildBlock(FormatHead(head), texts, options);
}

}  // namespace qv::rec
