// Feeds arbitrary bytes to the drive-data reader as the contents of a
// recording file, and to the record and name decoders directly.
//
// Run by CTest in the asan build, or by hand:
//   build-asan/tests/fuzz/drivedata_fuzz -max_total_time=60 build-asan/tests/fuzz/corpus/drivedata_fuzz
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "recording/drivedatareader.h"
#include "recording/recordingname.h"
#include "testsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the rate letter of the file name and the slot length.
  const uint8_t pick = size > 0 ? data[0] : 0;
  const std::string path = qvtest::ProcessFolder() + ((pick & 1) ? "/001_120000GT_F.MP4" : "/001_120000GN_F.MP4");
  if (!qvtest::WriteText(path, std::string(reinterpret_cast<const char*>(data), size))) std::abort();

  qv::CDriveDataReader reader;
  if (reader.Open(path)) {
    // Never more records than whole records fit in the file, and an index
    // is always made of what was read.
    if (!reader.gps || reader.gps->size() > size / qv::kDriveRecordSize) std::abort();
    reader.msPerSlot = (pick & 2) ? 33.333332f : 66.666664f;
    if (!reader.BuildTimeIndex(1 + (pick >> 2) * 40)) std::abort();
    reader.BuildTimeIndex(7);
    qv::CDriveDataReader other;
    reader.MoveTo(other);
  }
  std::vector<qv::GpsSample> track;
  if (reader.MapFile(path)) {
    reader.ReadBlock([&](qv::CDriveDataReader& r, const uint8_t* h, size_t n) { return r.ParseTrack(h, n, track); });
    reader.CloseFile();
  }
  reader.Term();

  // The same bytes as a block held in memory, in a buffer of their exact size.
  std::vector<uint8_t> exact(data, data + size);
  std::vector<qv::GpsSample> gps;
  std::vector<qv::SensorSample> sensors;
  qv::DriveDataHead head;
  reader.ParseRecords(exact.data(), exact.size(), gps, sensors, head);
  if (size >= qv::kDriveRecordSize) {
    qv::CivilTime t;
    qv::GetRecordLocalTime(exact.data(), t);
  }

  // And as a path.
  const std::string text(reinterpret_cast<const char*>(data), size);
  qv::IsRecordingFileName(text);
  qv::GetTriggerText(text);
  qv::GetRecordingDateTime(text);
  qv::GetRecordingTitle(text);
  qv::GetPairStem(text);
  std::string front, rear;
  qv::ResolvePair(text, {}, front, rear);
  return 0;
}
