// Reading a recording's MP4 structure: the box tree, the sample tables the
// join needs, and the drive-data block behind the last box.
//
// The file is read with positioned reads only, through a window of
// kBoxReadWindow bytes while it is opened: the boxes of the movie index lie
// together (and, in the recorder's layout, with the drive-data block behind
// them), so the tree and the block take a few large reads.  Leaf payloads
// (sample tables and the like) are copied to the heap up to
// kMaxLoadedPayload bytes each and kMaxLoadedTotal bytes in all; larger
// leaves, the leaves beyond that budget and the media data stay in the file
// and are copied from there by the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/filesource.h"
#include "recording/drivedata.h"

namespace qv {

enum class JoinFault;

// The four-character codes that count as boxes (case-sensitive).  The list has
// 168 entries; "xml " stands twice.
extern const char* const BoxTypeTable[168];
// True when the four bytes at `code` are one of BoxTypeTable's codes.
bool IsKnownBoxType(const char* code);

constexpr int kMaxBoxDepth = 32;
constexpr uint64_t kMaxLoadedPayload = 16u << 20;
constexpr uint64_t kMaxLoadedTotal = 64u << 20;
constexpr size_t kMaxBoxCount = 100000;
constexpr size_t kBoxReadWindow = 256 * 1024;

// The drive-data block as the join sees it: everything up to the records
// (mark, head, count), the record size and the overhead come from the
// block's own description.
constexpr uint64_t kGpsHeadSize = kDriveRecordsOffset;
constexpr uint64_t kGpsRecordSize = kDriveRecordSize;
constexpr uint64_t kGpsBlockOverhead = kDriveBlockOverhead;
constexpr uint64_t kGpsBlock1000 = 1000 * kGpsRecordSize + kGpsBlockOverhead;
// The block at the end of the file is read with the box tree, in one read.
static_assert(kGpsBlock1000 <= kBoxReadWindow);
constexpr uint32_t kGpsCountToEnd = kDriveCountToEndMark;
constexpr uint32_t kGpsMaxRecords = 65534;

// Big-endian field access; callers check the bounds.
inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint64_t Be64(const uint8_t* p) { return (uint64_t{Be32(p)} << 32) | Be32(p + 4); }
// The sum of n big-endian 32-bit values (a sample-size table), two at a time.
inline uint64_t SumBe32(const uint8_t* p, uint64_t n) {
  uint64_t high = 0, low = 0, i = 0;
  for (; i + 2 <= n; i += 2) {
    const uint64_t two = Be64(p + 4 * i);
    high += two >> 32;
    low += two & 0xFFFFFFFFu;
  }
  return high + low + (i < n ? Be32(p + 4 * i) : 0);
}
inline void PutBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline void PutBe64(uint8_t* p, uint64_t v) {
  PutBe32(p, static_cast<uint32_t>(v >> 32));
  PutBe32(p + 4, static_cast<uint32_t>(v));
}

// The extent of the box whose header is at `h`, which holds min(16, left)
// bytes, with `left` bytes to the end of its parent: the size with the
// header (0: to the parent's end; 1: a 64-bit size follows) and the header's
// length.  False when the box does not fit.
bool ReadBoxHeader(const uint8_t* h, uint64_t left, uint64_t& size, uint64_t& header);

// One box.
class sTAGNODE {
 public:
  virtual ~sTAGNODE() = default;

  int level = 0;                   // depth in the tree; the root is 0
  std::vector<uint8_t> payload;    // the payload when `loaded`
  std::vector<sTAGNODE> children;  // for containers
  int leaf = 0;                    // 1: a box with a raw payload (in memory or in the file)
  char type[5] = {};
  FileSource* source = nullptr;  // the file the box comes from
  uint64_t size = 0;             // payload size; the join updates it
  uint64_t offset = 0;           // file offset of the payload
  uint64_t loadedSize = 0;       // bytes held in `payload`
  uint64_t sourceSize = 0;       // payload size and offset in its own file,
  uint64_t sourceOffset = 0;     // unchanged by the join
  sTAGNODE* appended = nullptr;  // "mdat": the chain of media data joined behind this one
  sTAGNODE* next = nullptr;
  bool loaded = false;  // payload holds the whole payload

  bool Is(const char* code) const;
};

// The boxes of one track that the join and the index helpers use.
struct Mp4Track {
  char handler[5] = {};  // "vide", "soun", ...
  sTAGNODE* trak = nullptr;
  sTAGNODE* tkhd = nullptr;
  sTAGNODE* elst = nullptr;
  sTAGNODE* mdhd = nullptr;
  sTAGNODE* hdlr = nullptr;
  sTAGNODE* stbl = nullptr;
  sTAGNODE* stsd = nullptr;
  sTAGNODE* stts = nullptr;
  sTAGNODE* ctts = nullptr;
  sTAGNODE* stss = nullptr;
  sTAGNODE* stsc = nullptr;
  sTAGNODE* stsz = nullptr;
  sTAGNODE* stz2 = nullptr;
  sTAGNODE* stco = nullptr;
  sTAGNODE* co64 = nullptr;
  sTAGNODE* sdtp = nullptr;
  sTAGNODE* sgpd = nullptr;
  sTAGNODE* sbgp = nullptr;
};

// A video sample whose NAL units the writer checks in the bytes it copies
// (see nalunits.h): where it lies in its own file, its size and the size of
// its units' length prefixes.
struct Mp4UnitSample {
  uint64_t offset = 0;
  uint32_t size = 0;
  uint8_t lengthSize = 0;
};

// Join state kept in a movie that others are appended to (see mp4join.h).
struct Mp4JoinState {
  bool prepared = false;
  uint64_t mediaBytes = 0;                    // joined "mdat" payload bytes so far
  std::vector<std::vector<uint64_t>> chunks;  // per track: chunk offsets within the joined media
  // Per file of the joined media data, in its order (the movie's own
  // first): the samples to check as its media data is copied, by offset.
  std::vector<std::vector<Mp4UnitSample>> unitSamples;
};

// One opened file.
class sMP4MOVIE {
 public:
  virtual ~sMP4MOVIE() = default;

  FileSource file;
  std::string path;
  uint64_t fileSize = 0;
  sTAGNODE root;
  uint64_t duration = 0;  // "mvhd" duration; 0 when the box is missing or short

  std::vector<sTAGNODE*> mdat, stsc, stsz, stco, stss, stts, mdhd, mvhd, tkhd, elst, stsd;
  std::vector<Mp4Track> tracks;  // the first "moov"'s tracks in order

  // Drive-data block: "CSODAT", head and the count field as read; the count
  // of records actually held is blockCount.
  bool hasBlock = false;
  uint8_t blockHead[kGpsHeadSize] = {};
  uint32_t blockCount = 0;
  uint64_t blockOffset = 0;
  char tailMarker[6] = {};
  std::vector<uint8_t> records;  // blockCount × 91 bytes

  uint64_t topEnd = 0;  // where the top-level box list ends
  Mp4JoinState join;

  // Parses the payload of `parent` into its children.  Each header must fit
  // the bytes left in the parent (size 0: to the parent's end; size 1: a
  // 64-bit size follows); nesting is limited to kMaxBoxDepth.  At the top
  // level the list ends at the first unknown type, where the drive-data
  // block begins.  False when the boxes do not form a valid tree.
  bool ParseBoxes(sTAGNODE& parent, int level);
  // Finds the drive-data block: 1000 records ending at the end of the file,
  // else a block where the top-level boxes end; reads the records present
  // (up to "CSOEND" for a count of 0xFFFF).  No block: hasBlock false and a
  // zero head.  False only when the file cannot be read.
  bool ReadGpsBlock();
  // Fills the eleven lists, the tracks and the movie duration.
  void IndexBoxes();
  // Merges `next` into `first` (see mp4join.h); the reason of a refusal goes
  // to `why`.
  static bool AppendSamples(sMP4MOVIE& first, sMP4MOVIE& next, JoinFault* why = nullptr);

  bool loadPayloads = true;

 private:
  enum class Level { kOk, kFail, kTrailing };
  Level ParseLevel(sTAGNODE& parent, int level);
  bool LoadLeaf(sTAGNODE& node);
  // The window the tree and the block are read through; OpenMp4Movie lets
  // go of it once the movie is read.
  ReadWindow& Reads();
  friend sMP4MOVIE* OpenMp4Movie(const std::string&, bool, int*);
  std::unique_ptr<ReadWindow> reads_;
  size_t boxCount_ = 0;
  uint64_t loadedTotal_ = 0;
};

// Opens and parses `path`; null when the file cannot be read or its boxes do
// not form a valid tree.  `error` (when given) receives the errno of a failed
// open or read, and 0 for a file that was read but is not a movie.
sMP4MOVIE* OpenMp4Movie(const std::string& path, bool loadPayloads = true, int* error = nullptr);
void CloseMp4Movie(sMP4MOVIE* movie);

struct Mp4MovieCloser {
  void operator()(sMP4MOVIE* m) const { CloseMp4Movie(m); }
};
using Mp4MoviePtr = std::unique_ptr<sMP4MOVIE, Mp4MovieCloser>;

// Appends every node of type `code` under `node` (depth first, the node itself
// included) to `list`.
void CollectBoxes(std::vector<sTAGNODE*>& list, sTAGNODE& node, const char* code);
// The box's size with its 8-byte header: payload size for leaves, the sum of
// the children for containers.
uint64_t BoxSize(const sTAGNODE& node);

// Full-box version (payload byte 0); -1 for an empty or unloaded payload.
int BoxVersion(const sTAGNODE* node);
// Duration fields of "mvhd", "tkhd", "mdhd" and the first "elst" entry, for
// version 0 and 1 boxes.  Each answers false when the box is missing or short.
bool ReadBoxDuration(const sTAGNODE* node, uint64_t& out);
bool WriteBoxDuration(sTAGNODE* node, uint64_t value);
// Time scale of "mvhd" or "mdhd".
bool ReadTimeScale(const sTAGNODE* node, uint32_t& out);

}  // namespace qv
