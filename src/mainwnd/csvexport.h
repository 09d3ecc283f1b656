// The CSV list of a source's recordings: one line per recording pair with
// its name, start, length, trigger, picture size, quality, frame rate and
// the two files' sizes.
//
// The file is UTF-8 with a byte-order mark, lines end in CR LF, numbers are
// written without the locale.  The facts of one recording are read from its
// movie (ReadCsvRowFacts); everything else is pure text.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/civiltime.h"
#include "recording/recordingentry.h"

namespace qv {

// What one CSV line says about a recording pair.
struct CsvRowFacts {
  bool readable = false;  // false: the movie or its drive data could not be read
  std::string name;       // the front file's name, the rear's when there is no front
  std::string triggerText;
  CivilTime recordTime;   // the first drive-data record's time; none when it does not convert
  int height = -1;        // picture height
  char qualityLetter = 0;  // drive-data head byte 27
  bool timeLapse = false;  // rate letter "T" of the file name
  uint64_t duration = 0;   // movie duration in time-scale units
  uint32_t timeScale = 0;
  float frameRate = 0.0f;
  uint64_t frontBytes = 0;  // file sizes; 0 when a file cannot be read
  uint64_t rearBytes = 0;
};

// The header line (with its CR LF).
std::string CsvHeaderLine();
// "hh:mm:ss" of whole seconds of duration / timeScale (15 times as long for
// time-lapse); "00:00:00" for a time scale of 0.
std::string CsvRecordingTime(uint64_t duration, uint32_t timeScale, bool timeLapse);
// The size class of a picture height: SD, HD, FHD, 3M, WQHD; empty for others.
std::string CsvSizeClass(int height);
// One line (with its CR LF).
std::string FormatCsvRow(const CsvRowFacts& facts);
// The file's name: "Dv_YYYYMMDD_hhmmss.csv" of the first row that sits in a
// date folder (yyyyMMdd_nnn), from its folder and file name; `now` when none does.
std::string CsvFileName(const std::vector<RecordingEntry>& rows, const CivilTime& now);

// Reads what a line needs from the recording's files.
CsvRowFacts ReadCsvRowFacts(const RecordingEntry& row);

enum class CsvResult { kFailed = 0, kDone = 1, kCancelled = 2 };

// Writes the list of `rows` to `path` through the safe writer: the file is
// in place only after a complete write.  `cancel` is read before each row;
// `progress(done, total)` is called after each row and once at the end.
// `error` receives errno of a failed write.
CsvResult WriteCsvList(const std::string& path, const std::vector<RecordingEntry>& rows,
                       const std::atomic<bool>& cancel, const std::function<void(int, int)>& progress,
                       int* error = nullptr);

}  // namespace qv
