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

}  // namespace qv
