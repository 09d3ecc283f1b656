#include "mainwnd/csvexport.h"

#include <sys/stat.h>

#include "mainwnd/fileops.h"
#include "platform/atomicwrite.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "recording/drivedata.h"
#include "recording/movieindex.h"
#include "recording/mp4movie.h"
#include "recording/recordingname.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

std::string Two(int64_t v) { return FormatPadded(v, 2); }

uint64_t FileBytes(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool IsDigits(const std::string& s, size_t from, size_t count) {
  if (s.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// yyyyMMdd_nnn: eight digits, an underscore, digits.
bool InDateFolder(const std::string& path) {
  const std::string folder = BaseName(ParentFolder(path));
  return folder.size() > 9 && IsDigits(folder, 0, 8) && folder[8] == '_' && IsDigits(folder, 9, folder.size() - 9);
}

}  // namespace

std::string CsvHeaderLine() {
  static constexpr UiText kColumns[] = {UiText::CsvName,    UiText::CsvDate,     UiText::CsvStart,
                                        UiText::CsvLength,  UiText::CsvTrigger,  UiText::CsvSize,
                                        UiText::CsvQuality, UiText::CsvRate,     UiText::CsvFrontBytes,
                                        UiText::CsvRearBytes};
  std::string line;
  for (UiText id : kColumns) line += GetUiText(id);
  return line + "\r\n";
}

std::string CsvRecordingTime(uint64_t duration, uint32_t timeScale, bool timeLapse) {
  uint64_t s = 0;
  if (timeScale != 0) {
    // 15 times a duration below 2^60 units cannot overflow; longer ones are nonsense anyway.
    const uint64_t units = timeLapse && duration < (uint64_t{1} << 60) ? duration * 15 : duration;
    s = units / timeScale;
  }
  return Two(static_cast<int64_t>(s / 3600)) + ":" + Two(static_cast<int64_t>((s / 60) % 60)) + ":" +
         Two(static_cast<int64_t>(s % 60));
}

std::string CsvSizeClass(int height) {
  switch (height) {
    case 360: return "SD";
    case 720: return "HD";
    case 1080: return "FHD";
    case 1296: return "3M";
    case 1440: return "WQHD";
    default: return {};
  }
}

std::string FormatCsvRow(const CsvRowFacts& f) {
  if (!f.readable) return f.name + ",-,-,-,-,-,-,fps,0MB,0MB\r\n";
  const CivilTime& t = f.recordTime;
  const bool noTime = t.IsNone() || t.year == 0;
  const std::string date = noTime ? "--/--/--" : FormatPadded(t.year, 4) + "/" + Two(t.month) + "/" + Two(t.day);
  const std::string start = noTime ? "--:--:--" : Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second);
  const std::string size = CsvSizeClass(f.height);
  std::string quality;
  if (!size.empty()) quality = GetUiText(f.qualityLetter == 'H' ? UiText::QualityHigh : UiText::QualityLow);
  const std::string rate = f.timeLapse ? std::string(GetUiText(UiText::TimeLapseRate))
                                       : FormatFixed(static_cast<double>(f.frameRate), 1) + "fps";
  return f.name + "," + date + "," + start + "," + CsvRecordingTime(f.duration, f.timeScale, f.timeLapse) + "," +
         f.triggerText + "," + size + "," + quality + "," + rate + "," + FormatInt(static_cast<int64_t>(f.frontBytes >> 20)) +
         "MB," + FormatInt(static_cast<int64_t>(f.rearBytes >> 20)) + "MB\r\n";
}

std::string CsvFileName(const std::vector<RecordingEntry>& rows, const CivilTime& now) {
  CivilTime t = now;
  for (const RecordingEntry& row : rows) {
    if (InDateFolder(RowKey(row))) {
      t = GetRecordingDateTime(RowKey(row));
      break;
    }
  }
  return "Dv_" + FormatPadded(t.year, 4) + Two(t.month) + Two(t.day) + "_" + Two(t.hour) + Two(t.minute) +
         Two(t.second) + ".csv";
}

CsvRowFacts ReadCsvRowFacts(const RecordingEntry& row) {
  CsvRowFacts f;
  const std::string& path = RowKey(row);
  f.name = BaseName(path);
  Mp4MoviePtr movie(OpenMp4Movie(path));
  if (!movie || !movie->hasBlock) return f;
  const auto [width, height] = GetMovieFrameSize(*movie);
  if (width < 0 || height < 0) return f;
  f.height = height;
  f.qualityLetter = static_cast<char>(movie->blockHead[kDriveMarkSize + 27]);
  f.timeLapse = RecordingNameChar(path, 11) == U'T';
  f.triggerText = GetTriggerText(path);
  // The video track's own clock; the movie's when the track has none.
  const Mp4Track* video = VideoTrack(*movie);
  const sTAGNODE* mdhd = video ? video->mdhd : nullptr;
  if (!mdhd || !ReadBoxDuration(mdhd, f.duration) || !ReadTimeScale(mdhd, f.timeScale)) {
    f.duration = movie->duration;
    if (movie->mvhd.empty() || !ReadTimeScale(movie->mvhd[0], f.timeScale)) f.timeScale = 0;
  }
  f.frameRate = GetSampleRate(*movie);
  if (movie->blockCount > 0 && movie->records.size() >= kDriveRecordSize)
    f.recordTime = ParseRecordTime(movie->records.data());
  f.frontBytes = FileBytes(row.frontPath);
  f.rearBytes = FileBytes(row.rearPath);
  f.readable = true;
  return f;
}

CsvResult WriteCsvList(const std::string& path, const std::vector<RecordingEntry>& rows,
                       const std::atomic<bool>& cancel, const std::function<void(int, int)>& progress,
                       int* error) {
  SafeFileWriter out;
  const std::string head = "\xEF\xBB\xBF" + CsvHeaderLine();
  auto failed = [&] {
    if (error) *error = out.Error();
    return CsvResult::kFailed;
  };
  if (rows.empty() || !out.Open(path) || !out.Write(head)) return failed();
  const int n = static_cast<int>(rows.size());
  std::string chunk;
  for (int i = 0; i < n; ++i) {
    if (cancel.load()) return CsvResult::kCancelled;  // the writer drops the file
    chunk += FormatCsvRow(ReadCsvRowFacts(rows[i]));
    if (chunk.size() >= (64u << 10)) {
      if (!out.Write(chunk)) return failed();
      chunk.clear();
    }
    if (progress) progress(i, n);
  }
  if (!out.Write(chunk) || !out.Commit()) return failed();
  if (progress) progress(n, n);
  return CsvResult::kDone;
}

}  // namespace qv
