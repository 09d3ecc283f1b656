#include "recording/drivedatareader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "recording/recordingname.h"

namespace qv {
namespace {

// The slow search reads the file's tail backwards in pieces of this size.
constexpr uint64_t kSearchChunk = 256 * 1024;

bool IsMark(const uint8_t* p, const char* mark) { return std::memcmp(p, mark, kDriveMarkSize) == 0; }

bool IsUpperAscii(uint8_t c) { return c >= 'A' && c <= 'Z'; }

template <typename T>
void TruncateTo(std::vector<T>& v, size_t n) {
  if (v.size() > n) v.erase(v.begin() + static_cast<ptrdiff_t>(n), v.end());
}

// The most records a block can yield: its count, or for the end-mark count
// every record up to the end of the data; never more than the whole records
// inside the `size` bytes from the head's start (at least head and count),
// and few enough for record numbers to fit an int.
size_t RecordLimit(const uint8_t* h, size_t size, bool& toEndMark) {
  const unsigned count = h[kDriveHeadSize] * 256u + h[kDriveHeadSize + 1];
  toEndMark = count == kDriveCountToEndMark;
  const size_t whole = std::min<size_t>((size - kDriveHeadSize - 2) / kDriveRecordSize, INT32_MAX - 1);
  return toEndMark ? whole : std::min<size_t>(count, whole);
}

}  // namespace

bool CDriveDataReader::Init() {
  path.clear();
  fileSize = 0;
  recordCounter = 0;
  maxAbsG = 0.0;
  gps.reset();
  sensors.reset();
  timeIndex.reset();
  head = DriveDataHead{};
  file_.Close();
  mapCount = 0;
  msPerSlot = 0.0f;
  opened = 0;
  msPerRecord = kMsPerRecordNormal;
  lastError_ = 0;
  return true;
}

void CDriveDataReader::Term() {
  // Taking the mutex waits for a worker that is still inside ReadBlock.
  std::lock_guard<std::mutex> lock(mutex_);
  opened = 0;
  Clear();
  file_.Close();
  path.clear();
}

bool CDriveDataReader::Open(const std::string& filePath) {
  opened = 0;
  mapCount = 0;
  const bool ok = MapFile(filePath) && Parse() != 0;
  file_.Close();
  if (ok) {
    opened = 1;
    return true;
  }
  Clear();
  path.clear();
  return false;
}

bool CDriveDataReader::MapFile(const std::string& filePath) {
  file_.Close();
  if (!file_.Open(filePath)) {
    lastError_ = file_.LastError();
    return false;
  }
  fileSize = file_.Size();
  path = filePath;
  // The record rate comes from the name, so that every callback (the
  // track-only one reads no head) times the records alike.
  msPerRecord = IsTimeLapseName() ? kMsPerRecordTimeLapse : kMsPerRecordNormal;
  lastError_ = 0;
  return true;
}

bool CDriveDataReader::ReadRange(uint64_t offset, uint64_t length, std::vector<uint8_t>& out) {
  out.clear();
  if (offset >= fileSize) length = 0;
  else length = std::min(length, fileSize - offset);
  if (length == 0) {
    lastError_ = ENODATA;
    return false;
  }
  try {
    out.resize(static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    lastError_ = ENOMEM;
    return false;
  }
  if (!file_.ReadExact(offset, out.data(), out.size())) {
    lastError_ = file_.LastError() != 0 ? file_.LastError() : EIO;
    out.clear();
    return false;
  }
  ++mapCount;
  return true;
}

int CDriveDataReader::ReadBlock(const BlockCallback& callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    return ReadBlockLocked(callback);
  } catch (const std::bad_alloc&) {
    lastError_ = ENOMEM;
    return 0;
  }
}

int CDriveDataReader::ReadBlockLocked(const BlockCallback& callback) {
  const uint64_t size = fileSize;
  std::vector<uint8_t> buf;

  // Fast path: a block of exactly 1000 records ending at the end of the file.
  if (size > kFastPathBytes && ReadRange(size - kFastPathBytes, kFastPathBytes, buf) &&
      IsMark(buf.data(), kDriveBlockMark) &&
      callback(*this, buf.data() + kDriveMarkSize, buf.size() - kDriveMarkSize) != 0)
    return 1;

  // Slow path: block starts from the shortest possible one at the end of the
  // file towards longer ones, inside the last quarter of the file.
  const uint64_t start = size / 4 * 3 + size % 4 * 3 / 4;  // 3 * size / 4 without overflow
  const uint64_t viewLength = size - start;
  uint64_t windowStart = size > kSearchChunk ? std::max(start, size - kSearchChunk) : start;
  if (!ReadRange(windowStart, size - windowStart, buf)) return 0;
  uint64_t windowEnd = size;

  for (uint64_t k = 0; kDriveBlockOverhead + kDriveRecordSize * k < viewLength; ++k) {
    const uint64_t candidate = size - kDriveBlockOverhead - kDriveRecordSize * k;
    if (candidate < windowStart) {
      windowEnd = candidate + kDriveMarkSize;
      windowStart = std::max(start, windowEnd > kSearchChunk ? windowEnd - kSearchChunk : 0);
      if (!ReadRange(windowStart, windowEnd - windowStart, buf)) return 0;
    }
    if (!IsMark(buf.data() + (candidate - windowStart), kDriveBlockMark)) continue;

    // Found.  Hand over what the block's count says it holds (all of it up
    // to the end of the file for a block that runs to its end mark), from
    // the bytes read so far when they cover it.
    const uint8_t* block = buf.data() + (candidate - windowStart);
    std::vector<uint8_t> more;
    if (candidate + kDriveRecordsOffset > windowEnd) {
      if (!ReadRange(candidate, kDriveRecordsOffset, more)) return 0;
      block = more.data();
    }
    const unsigned count = block[kDriveCountOffset] * 256u + block[kDriveCountOffset + 1];
    uint64_t need = size - candidate;
    if (count != kDriveCountToEndMark)
      need = std::min<uint64_t>(need, kDriveRecordsOffset + uint64_t(kDriveRecordSize) * count);
    if (candidate + need > windowEnd || block == more.data()) {
      if (!ReadRange(candidate, need, more)) return 0;
      block = more.data();
    }
    return callback(*this, block + kDriveMarkSize, static_cast<size_t>(need) - kDriveMarkSize) != 0 ? 1 : 0;
  }
  return 1;  // no block: the recording simply has no drive data
}

int CDriveDataReader::Parse() {
  try {
    gps = std::make_unique<std::vector<GpsSample>>();
    sensors = std::make_unique<std::vector<SensorSample>>();
    timeIndex = std::make_unique<std::vector<SensorSample*>>();
  } catch (const std::bad_alloc&) {
    lastError_ = ENOMEM;
    return 0;
  }
  recordCounter = -1;
  return ReadBlock([](CDriveDataReader& r, const uint8_t* h, size_t size) {
    return r.ParseRecords(h, size, *r.gps, *r.sensors, r.head);
  });
}

bool CDriveDataReader::IsTimeLapseName() const { return RecordingNameChar(path, 11) == U'T'; }

int CDriveDataReader::ParseHead(const uint8_t* h, size_t size, DriveDataHead& out) {
  if (size < kDriveHeadSize) return 0;
  out = DriveDataHead{};
  const bool lapse = IsTimeLapseName();
  size_t at = 0;
  int heads = 0;
  for (;;) {
    DecodeHead(h + at, out);
    out.rateLetter = lapse ? 'T' : 'N';
    msPerRecord = lapse ? kMsPerRecordTimeLapse : kMsPerRecordNormal;
    ++heads;
    // A chained head follows 43 bytes on when bytes 39-42 are "@CS" and an
    // upper-case letter; only heads lying wholly in the data are read.
    const size_t next = at + 43;
    if (next + kDriveHeadSize > size) break;
    if (!(h[at + 39] == 0x40 && h[at + 40] == 'C' && h[at + 41] == 'S' && IsUpperAscii(h[at + 42]))) break;
    at = next;
  }
  return heads * static_cast<int>(kDriveHeadSize);
}

void CDriveDataReader::ParseGpsRecord(const uint8_t* record, std::vector<GpsSample>& out) {
  out.emplace_back();
  DecodeGpsRecord(record, recordCounter, RecordTimeMs(recordCounter, msPerRecord), out.back());
}

void CDriveDataReader::ParseSensorRecord(const uint8_t* record, std::vector<SensorSample>& out) {
  out.emplace_back();
  DecodeSensorRecord(record, recordCounter, RecordTimeMs(recordCounter, msPerRecord), out.back());
}

template <typename DecodeRecord>
int CDriveDataReader::ForEachRecord(const uint8_t* h, size_t size, DecodeRecord&& decode) {
  if (size < kDriveHeadSize + 2) return 0;
  bool toEndMark = false;
  const size_t limit = RecordLimit(h, size, toEndMark);
  const uint8_t* records = h + kDriveHeadSize + 2;
  recordCounter = 0;
  for (size_t i = 0; i < limit; ++i) {
    const uint8_t* r = records + kDriveRecordSize * i;
    if (toEndMark && IsMark(r, kDriveEndMark)) break;
    decode(r);
    ++recordCounter;
  }
  --recordCounter;  // the index of the last record; -1 for none
  return 1;
}

int CDriveDataReader::ParseRecords(const uint8_t* h, size_t size, std::vector<GpsSample>& gpsOut,
                                   std::vector<SensorSample>& sensorsOut, DriveDataHead& headOut) {
  const size_t gps0 = gpsOut.size();
  const size_t sensors0 = sensorsOut.size();
  try {
    if (ParseHead(h, size, headOut) == 0 || size < kDriveHeadSize + 2) return 0;
    bool toEndMark = false;
    const size_t limit = RecordLimit(h, size, toEndMark);
    gpsOut.reserve(gps0 + limit);
    sensorsOut.reserve(sensors0 + limit);
    return ForEachRecord(h, size, [&](const uint8_t* r) {
      ParseGpsRecord(r, gpsOut);
      ParseSensorRecord(r, sensorsOut);
    });
  } catch (const std::bad_alloc&) {
    TruncateTo(gpsOut, gps0);
    TruncateTo(sensorsOut, sensors0);
    lastError_ = ENOMEM;
    return 0;
  }
}

int CDriveDataReader::ParseTrack(const uint8_t* h, size_t size, std::vector<GpsSample>& track) {
  const size_t track0 = track.size();
  try {
    return ForEachRecord(h, size, [&](const uint8_t* r) { ParseGpsRecord(r, track); });
  } catch (const std::bad_alloc&) {
    TruncateTo(track, track0);
    lastError_ = ENOMEM;
    return 0;
  }
}

void CDriveDataReader::Clear() {
  gps.reset();
  sensors.reset();
  timeIndex.reset();
  head = DriveDataHead{};
}

bool CDriveDataReader::MoveTo(CDriveDataReader& target) {
  if (&target == this) return gps && !gps->empty();
  std::scoped_lock lock(mutex_, target.mutex_);
  target.Clear();
  target.recordCounter = recordCounter;
  target.gps = std::move(gps);
  target.sensors = std::move(sensors);
  target.timeIndex = std::move(timeIndex);
  target.head = head;
  target.maxAbsG = maxAbsG;
  target.path = std::move(path);
  gps.reset();
  sensors.reset();
  timeIndex.reset();
  recordCounter = 0;
  head = DriveDataHead{};
  maxAbsG = 0.0;
  path.clear();
  return target.gps && !target.gps->empty();
}

bool CDriveDataReader::BuildTimeIndex(int slotCount) {
  if (slotCount < 1 || slotCount > kMaxTimeSlots) return false;
  if (!timeIndex || !sensors || !gps || !(msPerSlot > 0.0f) || !std::isfinite(msPerSlot)) return false;

  // Slot numbers are computed from the kept milliseconds, so the index can
  // be built again (for another slot length) with the same result.
  const float perSlot = msPerSlot;
  auto slotOf = [perSlot](int32_t ms) -> int32_t {
    const float slot = std::trunc(static_cast<float>(ms) / perSlot);
    if (slot >= static_cast<float>(INT_MAX)) return INT_MAX;
    if (slot <= static_cast<float>(INT_MIN)) return INT_MIN;
    return static_cast<int32_t>(slot);
  };
  std::vector<SensorSample>& s = *sensors;
  std::vector<GpsSample>& g = *gps;
  for (SensorSample& x : s) {
    x.time = slotOf(x.timeMs);
    x.gps = nullptr;
  }
  for (GpsSample& x : g) {
    x.time = slotOf(x.timeMs);
    x.sensor = nullptr;
  }

  const size_t nS = s.size();
  const size_t nG = g.size();
  const size_t n = static_cast<size_t>(slotCount);
  if (nS < 1) {
    timeIndex->clear();
    maxAbsG = 0.0;
    return true;
  }
  try {
    timeIndex->assign(n, nullptr);
  } catch (const std::bad_alloc&) {
    timeIndex->clear();
    lastError_ = ENOMEM;
    return false;
  }

  // More samples than slots in a normal-rate file: two samples per step.
  const size_t step = (n < nS && !IsTimeLapseName()) ? 2 : 1;
  std::vector<SensorSample*>& index = *timeIndex;
  size_t j = 0;
  for (size_t i = 0; i < n; ++i) {
    if (j < nS) {
      index[i] = &s[j];
      if (j + 1 < nS && static_cast<int64_t>(s[j + 1].time) <= static_cast<int64_t>(i)) j += step;
    } else {
      index[i] = &s[nS - 1];
    }
  }

  double maxX = 0.0, maxY = 0.0, maxZ = 0.0;
  if (nG >= 1) {
    size_t k = 0;
    for (SensorSample& x : s) {
      maxX = std::max(maxX, std::fabs(x.gX));
      maxY = std::max(maxY, std::fabs(x.gY));
      maxZ = std::max(maxZ, std::fabs(x.gZ));
      if (g[k].time <= x.time) {
        g[k].sensor = &x;
        if (k + 1 < nG) ++k;
      }
      // Each sensor sample points at the GPS sample three behind the one
      // being linked.
      x.gps = k < 3 ? &g[0] : &g[k - 3];
    }
  }
  maxAbsG = std::max({maxX, maxY, maxZ});
  return true;
}

}  // namespace qv
