#include "recording/nalunits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "mp4testfiles.h"

using namespace mp4test;
using qv::JoinFault;

namespace {

using NalUnitsTest = Mp4Folder;

// Units of 1 to 120 bytes, the last length `over` too long.
std::string ManyUnits(int size, uint64_t over) {
  std::string units;
  for (size_t n = 1; n < 120; ++n) units += NalUnit(size, n);
  return units + NalUnit(size, 120 + over, 120);
}

TEST_F(NalUnitsTest, UnitsFillTheirSample) {
  for (int size : {1, 2, 4}) {
    SCOPED_TRACE(size);
    const uint64_t largest = size == 4 ? 0xFFFFFFFFu : (uint64_t{1} << (8 * size)) - 1;
    std::vector<std::pair<std::string, JoinFault>> samples = {
        {NalUnit(size, 3) + NalUnit(size, 1) + NalUnit(size, 7), JoinFault::kNone},
        {"", JoinFault::kNone},
        {NalUnit(size, 5, 3), JoinFault::kDamaged},        // runs past the sample
        {NalUnit(size, largest, 3), JoinFault::kDamaged},  // the largest length does not wrap
        {NalUnit(size, 2, 2 + size), JoinFault::kDamaged},  // leaves room for a length: no whole unit there
        {NalUnit(size, 0, 0) + NalUnit(size, 2), JoinFault::kDamaged},
        {std::string(12, '\0'), JoinFault::kDamaged},  // zeroed data
        // Fewer bytes than a length: padding behind a unit, nothing alone.
        {NalUnit(size, 2) + std::string(size - 1, 'p'), JoinFault::kNone},
        {std::string(size - 1, 'p'), size == 1 ? JoinFault::kNone : JoinFault::kDamaged},
    };
    // Lengths across the ends of the reads at every offset, the last one too long.
    for (size_t first = 1; first <= 8; ++first) {
      samples.emplace_back(NalUnit(size, first) + ManyUnits(size, 0), JoinFault::kNone);
      samples.emplace_back(NalUnit(size, first) + ManyUnits(size, 1), JoinFault::kDamaged);
    }
    std::string file;
    for (const auto& s : samples) file += s.first;
    const std::string path = Put("samples", file);
    // Windows that end inside lengths and units, and one that holds it all.
    for (size_t window : {size_t{4}, size_t{7}, size_t{64}, qv::NalUnitReader::kWindow}) {
      SCOPED_TRACE(window);
      qv::FileSource source(path);
      qv::NalUnitReader reader(source, size, window);
      uint64_t at = 0;
      for (const auto& [bytes, expected] : samples) {
        EXPECT_EQ(reader.CheckSample(at, bytes.size()), expected) << at;
        at += bytes.size();
      }
      EXPECT_EQ(reader.CheckSample(at + 10, 8), JoinFault::kReadError);  // past the end of the file
    }
    // The same verdicts in the bytes of a copy, taken in pieces that end
    // inside lengths and units: each sample checked alone, behind a gap.
    uint64_t at = 0;
    for (const auto& [bytes, expected] : samples) {
      SCOPED_TRACE(at);
      const uint64_t begin = at;
      at += bytes.size();
      if (bytes.empty()) continue;  // the writer lists no empty sample
      const std::vector<qv::Mp4UnitSample> one = {{begin, static_cast<uint32_t>(bytes.size()), static_cast<uint8_t>(size)}};
      for (size_t piece : {size_t{1}, size_t{3}, size_t{64}, file.size()}) {
        qv::NalUnitStream stream(one);
        JoinFault found = JoinFault::kNone;
        for (size_t p = 0; p < file.size() && found == JoinFault::kNone; p += piece)
          found = stream.Take(p, reinterpret_cast<const uint8_t*>(file.data()) + p, std::min(piece, file.size() - p));
        EXPECT_EQ(found, expected) << piece;
        EXPECT_EQ(stream.Done(), expected == JoinFault::kNone) << piece;
      }
    }
  }
}

}  // namespace
