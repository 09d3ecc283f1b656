// The recorder's MP4 file layout, made from what the encoder wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::rec {

struct TopBox {
  std::string type;
  uint64_t offset = 0;
  uint64_t size = 0;        // whole box, header included
  uint32_t headerSize = 8;  // 16 with a 64-bit size
};

// The top-level boxes of a file; false (with a message) when a box runs past
// the end of the file or a size is malformed.  With stopAtNonBox the list
// simply ends there (a recording's drive-data block follows its boxes).
bool ListTopBoxes(const std::string& path, std::vector<TopBox>& boxes, std::string& error, bool stopAtNonBox = false);

// Copies `src` into `dst` as ftyp, mdat, moov (or ftyp, moov, mdat with
// moovFirst), leaving out every other top-level box and moving the chunk
// offsets of every track with the media data; then appends `tail` so that
// it ends exactly at the end of the file.  `dst` is created anew (it must not
// exist); on failure it is removed.
bool WriteRecorderLayout(const std::string& src, const std::string& dst, bool moovFirst, const std::string& tail,
                         std::string& error);

// Per track, in order: the entry count of its sample-to-chunk table.
bool ReadStscEntryCounts(const std::string& path, std::vector<uint32_t>& counts, std::string& error);

// Writes `data` to a new file `dst` (must not exist); removed on failure.
bool WriteNewFile(const std::string& dst, const std::string& data, std::string& error);

// Copies the first `length` bytes of `src` into a new file `dst`.
bool CopyPrefix(const std::string& src, const std::string& dst, uint64_t length, std::string& error);

}  // namespace qv::rec
