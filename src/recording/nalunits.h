// The video samples of a recording as the decoder takes them.
//
// An H.264 sample is a run of NAL units, each behind a big-endian length of
// one to four bytes (the size that the track's "avcC" gives).  A sample whose
// lengths do not add up to its size was cut, shifted or overwritten: the
// decoder rejects it, and a movie joined from it does not play.  The join
// reads the length prefixes of every video sample it copies and refuses such
// a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording/mp4movie.h"

namespace qv {

// The length size (1 to 4) of a track's NAL units, from the "avcC" of its
// "avc1"/"avc3" sample entries; 0 when the track's samples are not
// length-prefixed H.264 (another format, no "avcC", entries that disagree).
int NalLengthSize(const Mp4Track& track);

// Checks samples of one file, read in the order they lie in the file.  Only
// the length prefixes are looked at, but they are read through a window of
// `window` bytes (at least 4): the samples of a chunk lie one behind the
// other, so one read covers the prefixes of many samples (and of the chunks
// that follow), where a read per prefix would cost a round trip each on a
// slow card.
class NalUnitReader {
 public:
  static constexpr size_t kWindow = 1024 * 1024;

  NalUnitReader(FileSource& file, int lengthSize, size_t window = kWindow)
      : window_(file, window), lengthSize_(lengthSize) {}

  // kNone when the units of the sample at [offset, offset + size) fill it;
  // kDamaged when a length runs past the sample's end or is zero (a unit has
  // at least its header byte, and zeroed data would otherwise pass as empty
  // units), or when a sample that is not empty holds no unit at all;
  // kReadError when the file cannot be read.  Fewer bytes at the end than a
  // length takes are padding, which decoders skip: the join keeps them.
  JoinFault CheckSample(uint64_t offset, uint64_t size);

 private:
  ReadWindow window_;
  const int lengthSize_;
};

// Checks the samples of one file in the bytes the join copies from it, so
// that the check reads nothing of its own: the samples (sorted by offset,
// none overlapping, none empty) are walked as the file's bytes go by, in the
// file's order, with the same verdicts as CheckSample.  A length prefix
// split between two pieces of bytes is held until the rest comes.
class NalUnitStream {
 public:
  explicit NalUnitStream(const std::vector<Mp4UnitSample>& samples) : samples_(samples) {}

  // Takes the bytes [offset, offset + len) of the file, which follow those
  // taken before without a gap: kNone, or kDamaged for the first sample
  // whose units do not fill it.
  JoinFault Take(uint64_t offset, const uint8_t* data, size_t len);
  // True once every sample has been checked.
  bool Done() const { return next_ == samples_.size(); }

 private:
  // Passes the samples that have no length left to read; kDamaged for one
  // too short to hold a length.
  JoinFault Advance();

  const std::vector<Mp4UnitSample>& samples_;
  size_t next_ = 0;       // the sample being checked
  bool started_ = false;  // pos_ and end_ belong to it
  uint64_t pos_ = 0;      // where its next length prefix begins
  uint64_t end_ = 0;
  uint8_t held_[4] = {};  // the first bytes of the prefix at pos_
  size_t heldCount_ = 0;
};

}  // namespace qv
