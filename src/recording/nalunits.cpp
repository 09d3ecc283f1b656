#include "recording/nalunits.h"

#include <cstring>

#include "recording/mp4join.h"

namespace qv {

namespace {

// A visual sample entry's fields before its child boxes.
constexpr size_t kVisualEntryFields = 78;

// The length size an "avc1"/"avc3" entry's "avcC" gives; 0 without one.
int EntryLengthSize(const uint8_t* entry, size_t size) {
  for (size_t at = 8 + kVisualEntryFields; at <= size && size - at >= 8;) {
    const uint32_t box = Be32(entry + at);
    if (box < 8 || box > size - at) return 0;
    if (std::memcmp(entry + at + 4, "avcC", 4) == 0) return box >= 13 ? (entry[at + 12] & 3) + 1 : 0;
    at += box;
  }
  return 0;
}

}  // namespace

int NalLengthSize(const Mp4Track& track) {
  if (!track.stsd || !track.stsd->loaded) return 0;
  const std::vector<uint8_t>& p = track.stsd->payload;
  if (p.size() < 8) return 0;
  int found = 0;
  size_t at = 8;
  for (uint32_t n = Be32(p.data() + 4); n > 0; --n) {
    if (p.size() - at < 8) return 0;
    const uint32_t size = Be32(p.data() + at);
    if (size < 8 || size > p.size() - at) return 0;
    const uint8_t* entry = p.data() + at;
    if (std::memcmp(entry + 4, "avc1", 4) != 0 && std::memcmp(entry + 4, "avc3", 4) != 0) return 0;
    const int lengthSize = EntryLengthSize(entry, size);
    if (lengthSize == 0 || (found && lengthSize != found)) return 0;
    found = lengthSize;
    at += size;
  }
  return found;
}

JoinFault NalUnitReader::CheckSample(uint64_t offset, uint64_t size) {
  const uint64_t prefix = static_cast<uint64_t>(lengthSize_);
  if (size > 0 && size < prefix) return JoinFault::kDamaged;
  for (uint64_t pos = 0; size - pos >= prefix;) {
    const uint8_t* p = window_.Bytes(offset + pos, static_cast<size_t>(lengthSize_));
    if (!p) return JoinFault::kReadError;
    uint64_t length = 0;
    for (int i = 0; i < lengthSize_; ++i) length = (length << 8) | p[i];
    pos += prefix;
    if (length == 0 || length > size - pos) return JoinFault::kDamaged;
    pos += length;
  }
  return JoinFault::kNone;
}

JoinFault NalUnitStream::Advance() {
  while (next_ < samples_.size()) {
    const Mp4UnitSample& s = samples_[next_];
    if (!started_) {
      if (s.size < s.lengthSize) return JoinFault::kDamaged;
      pos_ = s.offset;
      end_ = s.offset + s.size;
      started_ = true;
    }
    if (end_ - pos_ >= s.lengthSize) return JoinFault::kNone;
    ++next_;  // fewer bytes left than a length takes: padding
    started_ = false;
  }
  return JoinFault::kNone;
}

JoinFault NalUnitStream::Take(uint64_t offset, const uint8_t* data, size_t len) {
  const uint64_t stop = offset + len;
  for (;;) {
    if (JoinFault f = Advance(); f != JoinFault::kNone) return f;
    if (Done() || pos_ >= stop) return JoinFault::kNone;
    const size_t prefix = samples_[next_].lengthSize;
    uint64_t at = pos_ + heldCount_;
    if (at < offset) return JoinFault::kDamaged;  // bytes of the sample went by unseen
    while (heldCount_ < prefix && at < stop) held_[heldCount_++] = data[at++ - offset];
    if (heldCount_ < prefix) return JoinFault::kNone;  // the rest comes with the next bytes
    uint64_t length = 0;
    for (size_t i = 0; i < prefix; ++i) length = (length << 8) | held_[i];
    heldCount_ = 0;
    pos_ += prefix;
    if (length == 0 || length > end_ - pos_) return JoinFault::kDamaged;
    pos_ += length;
  }
}

}  // namespace qv
