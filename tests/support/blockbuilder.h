// Drive-data records and blocks for the tests and benchmarks, written by the
// fixture tool's block writer as the recorder writes them.
#pragma once

#include <string>
#include <vector>

#include "blockwriter.h"

namespace qvtest {

// `n` records whose time advances a tenth of a second each from 2025-03-05
// 14:22:00 (in whole seconds, within the day) and whose X values run from
// -1 G upwards.
inline std::vector<qv::rec::DriveRecord> NumberedRecords(int n) {
  std::vector<qv::rec::DriveRecord> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    qv::rec::DriveRecord& r = v[static_cast<size_t>(i)];
    r.leadNumber = i;
    const int second = 14 * 3600 + 22 * 60 + i / 10;
    r.year = 2025, r.month = 3, r.day = 5;
    r.hour = second / 3600 % 24, r.minute = second / 60 % 60, r.second = second % 60;
    r.gX = (i % 2000 - 1000) / 1000.0;
  }
  return v;
}

// The block of NumberedRecords(n) under the writer's default head;
// `count` >= 0 is written as the count instead of n (0xFFFF: to the end mark).
inline std::string NumberedBlock(int n, int count = -1) {
  return qv::rec::BuildBlock(qv::rec::BlockHead{}, NumberedRecords(n), {.countField = count});
}

}  // namespace qvtest
