// Finds the drive-data block at the end of one recording file, decodes its
// records into GPS and sensor samples and builds the time index that maps
// each time slot of the movie to a sensor sample.
//
// Only the file's tail is read (by positioned reads, never mapped).  Usual
// use: Init; Open(path); BuildTimeIndex(slots) once msPerSlot is set; Term.
// The head-only and track-only reads of the player layer open the file with
// MapFile and call ReadBlock with a callback of their own, for example
//   reader.ReadBlock([&](CDriveDataReader& r, const uint8_t* h, size_t n) {
//     return r.ParseTrack(h, n, track); });
// and close the file with CloseFile.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/filesource.h"
#include "recording/drivedata.h"

namespace qv {

class CDriveDataReader {
 public:
  // Called on the block found: `block` points just behind "CSODAT" and
  // `size` bytes from there on were read (as far as the block's count
  // reaches, never past the end of the file; callbacks must stay inside).
  // Answers non-zero for success.
  using BlockCallback = std::function<int(CDriveDataReader& reader, const uint8_t* block, size_t size)>;

  // A block of exactly this many records is looked for first.
  static constexpr uint32_t kFastPathRecords = 1000;
  static constexpr uint64_t kFastPathBytes = kFastPathRecords * kDriveRecordSize + kDriveBlockOverhead;
  // Time indexes beyond this many slots (over three days of 30 fps video)
  // come from a broken duration and are refused.
  static constexpr int kMaxTimeSlots = 10'000'000;

  CDriveDataReader() { Init(); }
  CDriveDataReader(const CDriveDataReader&) = delete;
  CDriveDataReader& operator=(const CDriveDataReader&) = delete;

  // Clears everything; msPerRecord back to 100 ms.  Always true.
  bool Init();
  // Waits until no thread is inside ReadBlock, then clears and closes.
  void Term();

  // Reads the block of the file at `path`.  A file without a block opens
  // with no samples.  False when the file cannot be read (see LastError).
  bool Open(const std::string& path);
  // Opens the file for ReadBlock; false (see LastError) when it cannot.
  bool MapFile(const std::string& path);
  void CloseFile() { file_.Close(); }

  // Reads [offset, offset + length) clipped to the file's size into `out`.
  // False when nothing is left to read or the read fails (LastError).
  bool ReadRange(uint64_t offset, uint64_t length, std::vector<uint8_t>& out);

  // Finds the block at the end of the open file and runs `callback` on it.
  // 1 when a block was handled or none was found; 0 when the file's tail
  // cannot be read or the callback failed on the block found.
  int ReadBlock(const BlockCallback& callback);

  // Creates the vectors and reads the block with ParseRecords; 0 on failure.
  int Parse();

  // Callbacks.  Each decodes at most the whole records inside `size` bytes.
  int ParseRecords(const uint8_t* h, size_t size, std::vector<GpsSample>& gps, std::vector<SensorSample>& sensors,
                   DriveDataHead& head);
  // Reads the head (and chained heads); answers 35 times the heads read.
  int ParseHead(const uint8_t* h, size_t size, DriveDataHead& head);
  int ParseTrack(const uint8_t* h, size_t size, std::vector<GpsSample>& track);

  // Decode one record at the current record counter and append the sample.
  void ParseGpsRecord(const uint8_t* record, std::vector<GpsSample>& gps);
  void ParseSensorRecord(const uint8_t* record, std::vector<SensorSample>& sensors);

  // Drops the parsed data.
  void Clear();
  // Hands the parsed data to `target` (whose own data is dropped first);
  // true when the target then has at least one GPS sample.
  bool MoveTo(CDriveDataReader& target);
  // Builds the time index of `slotCount` slots and links the samples.
  bool BuildTimeIndex(int slotCount);

  // Fields, in the shape the player layer uses them.
  std::string path;  // of the opened file; empty when closed
  uint64_t fileSize = 0;
  int32_t recordCounter = 0;  // index of the last record decoded; -1 for none
  double maxAbsG = 0.0;
  std::unique_ptr<std::vector<GpsSample>> gps;
  std::unique_ptr<std::vector<SensorSample>> sensors;
  DriveDataHead head;
  std::unique_ptr<std::vector<SensorSample*>> timeIndex;
  int32_t mapCount = 0;  // range reads since Open
  float msPerSlot = 0.0f;  // set by the player before BuildTimeIndex
  int32_t opened = 0;
  float msPerRecord = kMsPerRecordNormal;

  // errno of the last failing open or read; 0 when none.
  int LastError() const { return lastError_; }

 private:
  int ReadBlockLocked(const BlockCallback& callback);
  // Runs decode(record) over the records of the block
  // behind the head at `h`, up to the count or the end mark, at most over
  // the whole records inside `size` bytes; keeps recordCounter.
  template <typename DecodeRecord>
  int ForEachRecord(const uint8_t* h, size_t size, DecodeRecord&& decode);
  bool IsTimeLapseName() const;

  FileSource file_;
  std::mutex mutex_;
  int lastError_ = 0;
};

}  // namespace qv
