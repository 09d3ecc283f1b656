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
// the length prefixes are read: a prefix close behind the last read comes
// with a window of the bytes after it (small samples, several per read), one
// far from it alone with a few bytes (large units: one short read each).
class NalUnitReader {
 public:
  NalUnitReader(FileSource& file, int lengthSize) : file_(file), lengthSize_(lengthSize) {}

  // kNone when the units of the sample at [offset, offset + size) fill it;
  // kDamaged when a length runs past the sample's end or is zero (a unit has
  // at least its header byte, and zeroed data would otherwise pass as empty
  // units), or when a sample that is not empty holds no unit at all;
  // kReadError when the file cannot be read.  Fewer bytes at the end than a
  // length takes are padding, which decoders skip: the join keeps them.
  JoinFault CheckSample(uint64_t offset, uint64_t size);

 private:
  // The `n` bytes at `at`, from the window or a new read; null when the
  // file cannot give them.
  const uint8_t* Bytes(uint64_t at, size_t n);

  static constexpr size_t kWindow = 1024;
  static constexpr size_t kShortRead = 64;
  FileSource& file_;
  const int lengthSize_;
  uint64_t start_ = 0;  // file offset of window_[0]
  size_t have_ = 0;     // bytes held
  uint8_t window_[kWindow];
};

}  // namespace qv
