// Drive-data throughput: decoding a block into samples, building the time
// index, and reading a recording file's block on the fast and slow paths.
#include <benchmark/benchmark.h>

#include "blockbuilder.h"
#include "testsupport.h"
#include "recording/drivedatareader.h"

namespace {

using qv::CDriveDataReader;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

void SetRecordRate(benchmark::State& state, int64_t recordsPerIteration) {
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(recordsPerIteration), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeBlock(benchmark::State& state) {
  const std::string block = qvtest::NumberedBlock(1000);
  CDriveDataReader r;
  r.path = "/card/20250305_001/001_142200GN_F.MP4";
  for (auto _ : state) {
    std::vector<qv::GpsSample> gps;
    std::vector<qv::SensorSample> sensors;
    qv::DriveDataHead head;
    benchmark::DoNotOptimize(r.ParseRecords(Bytes(block) + 6, block.size() - 6, gps, sensors, head));
    benchmark::DoNotOptimize(gps.data());
  }
  SetRecordRate(state, 1000);
}
BENCHMARK(BM_DecodeBlock);

void BM_DecodeBlockAndBuildTimeIndex(benchmark::State& state) {
  const std::string block = qvtest::NumberedBlock(1000);
  CDriveDataReader r;
  r.path = "/card/20250305_001/001_142200GN_F.MP4";
  r.msPerSlot = 33.333332f;  // 30 fps
  for (auto _ : state) {
    r.gps = std::make_unique<std::vector<qv::GpsSample>>();
    r.sensors = std::make_unique<std::vector<qv::SensorSample>>();
    r.timeIndex = std::make_unique<std::vector<qv::SensorSample*>>();
    r.ParseRecords(Bytes(block) + 6, block.size() - 6, *r.gps, *r.sensors, r.head);
    benchmark::DoNotOptimize(r.BuildTimeIndex(3000));
  }
  SetRecordRate(state, 1000);
}
BENCHMARK(BM_DecodeBlockAndBuildTimeIndex);

// A recording-like file: media bytes, then a block of `records` records.
// The block of 1000 records is found on the fast path, others by the search.
void BM_OpenAndReadBlock(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  qvtest::TempDir dir;
  const std::string path = dir.Write("20250305_001/001_142200GN_F.MP4",
                                     std::string(8 << 20, 'm') + qvtest::NumberedBlock(records));
  CDriveDataReader r;
  for (auto _ : state) {
    if (!r.Open(path) || static_cast<int>(r.gps->size()) != records) {
      state.SkipWithError("block not read");
      break;
    }
  }
  state.counters["reads"] = r.mapCount;
  SetRecordRate(state, records);
}
BENCHMARK(BM_OpenAndReadBlock)->Arg(1000)->ArgName("fast_path_records");
BENCHMARK(BM_OpenAndReadBlock)->Arg(600)->Arg(1800)->Arg(9000)->ArgName("slow_path_records");

}  // namespace

BENCHMARK_MAIN();
