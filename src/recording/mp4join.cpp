#include "recording/mp4join.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace qv {

namespace {

// ---------------------------------------------------------------- tables

// A table of fixed-width entries behind a header whose last word is the
// entry count ("stts", "stss", "stsc", "stco", "ctts", "sbgp").
struct Table {
  const uint8_t* base = nullptr;
  size_t header = 0;
  size_t width = 0;
  uint32_t count = 0;
  const uint8_t* Entry(uint32_t i) const { return base + header + size_t{i} * width; }
};

bool ViewTable(const sTAGNODE* node, size_t header, size_t width, Table& t) {
  if (!node || !node->loaded || node->payload.size() < header) return false;
  t.base = node->payload.data();
  t.header = header;
  t.width = width;
  t.count = Be32(t.base + header - 4);
  return uint64_t{header} + uint64_t{t.count} * width <= node->payload.size();
}

size_t SbgpHeader(const sTAGNODE* node) { return BoxVersion(node) == 1 ? 16 : 12; }

// "stsz": fixed size or one entry per sample.
struct SizeTable {
  uint32_t fixed = 0;
  uint32_t count = 0;
  const uint8_t* entries = nullptr;
};

bool ViewSizes(const sTAGNODE* node, SizeTable& s) {
  if (!node || !node->loaded || node->payload.size() < 12) return false;
  const uint8_t* p = node->payload.data();
  s.fixed = Be32(p + 4);
  s.count = Be32(p + 8);
  s.entries = p + 12;
  return s.fixed != 0 || 12 + uint64_t{s.count} * 4 <= node->payload.size();
}

// Builds a payload: `first`'s header with the entry count `count`, then
// `body` bytes.
std::vector<uint8_t> NewTable(const Table& first, uint32_t count, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out(first.base, first.base + first.header);
  PutBe32(out.data() + first.header - 4, count);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

void Put32(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[4];
  PutBe32(b, x);
  v.insert(v.end(), b, b + 4);
}

bool Equal(const sTAGNODE* a, const sTAGNODE* b) {
  if (!a || !b) return !a && !b;
  return a->loaded && b->loaded && a->payload == b->payload;
}

// Both tracks describe their samples with entries of the same formats (and
// for video the same picture size).  Bit-rate fields may differ.
bool SameSampleEntries(const Mp4Track& a, const Mp4Track& b) {
  const std::vector<uint8_t>& pa = a.stsd->payload;
  const std::vector<uint8_t>& pb = b.stsd->payload;
  if (pa.size() < 8 || pb.size() < 8 || Be32(pa.data() + 4) != Be32(pb.data() + 4)) return false;
  const bool video = std::memcmp(a.handler, "vide", 4) == 0;
  size_t ia = 8, ib = 8;
  for (uint32_t n = Be32(pa.data() + 4); n > 0; --n) {
    if (pa.size() - ia < 8 || pb.size() - ib < 8) return false;
    uint32_t sa = Be32(pa.data() + ia), sb = Be32(pb.data() + ib);
    if (sa < 8 || sb < 8 || sa > pa.size() - ia || sb > pb.size() - ib) return false;
    if (std::memcmp(pa.data() + ia + 4, pb.data() + ib + 4, 4) != 0) return false;
    if (video && (sa < 36 || sb < 36 || std::memcmp(pa.data() + ia + 32, pb.data() + ib + 32, 4) != 0)) return false;
    ia += sa;
    ib += sb;
  }
  return true;
}

sTAGNODE* TopLevelMdat(sMP4MOVIE& m) {
  sTAGNODE* found = nullptr;
  for (sTAGNODE& c : m.root.children) {
    if (!c.Is("mdat")) continue;
    if (found) return nullptr;
    found = &c;
  }
  return found && m.mdat.size() == 1 ? found : nullptr;
}

// Chunk offsets of track `t` relative to the start of `mdat`'s payload, plus
// `base`; false when a chunk lies outside the media data.
bool RelativeChunks(const Mp4Track& t, const sTAGNODE& mdat, uint64_t base, std::vector<uint64_t>& out) {
  Table stco;
  if (!ViewTable(t.stco, 8, 4, stco)) return false;
  out.clear();
  out.reserve(stco.count);
  for (uint32_t i = 0; i < stco.count; ++i) {
    uint64_t off = Be32(stco.Entry(i));
    if (off < mdat.sourceOffset || off > mdat.sourceOffset + mdat.sourceSize) return false;
    out.push_back(off - mdat.sourceOffset + base);
  }
  return true;
}

// Checks that a movie has the shape the join handles: one "mdat", no
// fragments, and for every track the tables it merges, well formed.
bool Joinable(sMP4MOVIE& m) {
  if (!TopLevelMdat(m) || m.mvhd.size() != 1 || m.tracks.empty()) return false;
  auto isMoov = [](const sTAGNODE& c) { return c.Is("moov"); };
  if (std::count_if(m.root.children.begin(), m.root.children.end(), isMoov) != 1) return false;
  std::vector<sTAGNODE*> found;
  for (const char* code : {"moof", "mvex"}) {
    found.clear();
    for (sTAGNODE& c : m.root.children) CollectBoxes(found, c, code);
    if (!found.empty()) return false;
  }
  for (const Mp4Track& t : m.tracks) {
    if (!t.stbl || !t.stsd || !t.stsd->loaded || !t.tkhd || !t.mdhd) return false;
    // Per-sample tables this join does not merge.
    for (const char* code : {"co64", "stz2", "subs", "saiz", "saio", "stdp", "padb", "stsh", "senc"}) {
      for (const sTAGNODE& c : t.stbl->children)
        if (c.Is(code)) return false;
    }
    Table tab;
    SizeTable sizes;
    if (!ViewTable(t.stts, 8, 8, tab) || !ViewTable(t.stsc, 8, 12, tab) || !ViewTable(t.stco, 8, 4, tab) ||
        !ViewSizes(t.stsz, sizes))
      return false;
    if (t.stss && !ViewTable(t.stss, 8, 4, tab)) return false;
    if (t.ctts && !ViewTable(t.ctts, 8, 8, tab)) return false;
    if (t.sbgp && !ViewTable(t.sbgp, SbgpHeader(t.sbgp), 8, tab)) return false;
    if (t.sdtp && (!t.sdtp->loaded || t.sdtp->payload.size() != 4 + uint64_t{sizes.count})) return false;
    uint32_t ts;
    if (!ReadTimeScale(t.mdhd, ts)) return false;
  }
  uint32_t ts;
  return ReadTimeScale(m.mvhd.front(), ts);
}

// Prepares a movie to take appended movies (or to be written): its chunk
// offsets become offsets within the joined media data.
bool PrepareJoin(sMP4MOVIE& m) {
  if (m.join.prepared) return true;
  if (!Joinable(m)) return false;
  sTAGNODE* mdat = TopLevelMdat(m);
  std::vector<std::vector<uint64_t>> chunks(m.tracks.size());
  for (size_t i = 0; i < m.tracks.size(); ++i)
    if (!RelativeChunks(m.tracks[i], *mdat, 0, chunks[i])) return false;
  m.join.chunks = std::move(chunks);
  m.join.mediaBytes = mdat->sourceSize;
  m.join.prepared = true;
  return true;
}

// The track of `next` that pairs with `first`'s track i: the same handler,
// the same rank among the tracks of that handler.
const Mp4Track* PairedTrack(const sMP4MOVIE& first, size_t i, const sMP4MOVIE& next) {
  const char* h = first.tracks[i].handler;
  size_t rank = 0;
  for (size_t k = 0; k < i; ++k)
    if (std::memcmp(first.tracks[k].handler, h, 4) == 0) ++rank;
  for (const Mp4Track& t : next.tracks) {
    if (std::memcmp(t.handler, h, 4) != 0) continue;
    if (rank-- == 0) return &t;
  }
  return nullptr;
}

bool AddDuration(const sTAGNODE* a, const sTAGNODE* b, uint64_t& sum) {
  uint64_t x, y;
  if (!ReadBoxDuration(a, x) || !ReadBoxDuration(b, y)) return false;
  sum = x + y;
  if (sum < x) return false;
  return BoxVersion(a) == 1 || sum <= UINT32_MAX;
}

// One change of the merge, applied only when every change could be made.
struct Change {
  sTAGNODE* node;
  std::vector<uint8_t> payload;
};

// The merge of one track; the new payloads go to `changes`.
bool MergeTrack(const Mp4Track& f, const std::vector<uint64_t>& fChunks, const Mp4Track& x,
                const std::vector<uint64_t>& xChunks, std::vector<Change>& changes) {
  // The same kind of samples.
  if (!SameSampleEntries(f, x)) return false;
  if (!f.stss != !x.stss || !f.ctts != !x.ctts || !f.sbgp != !x.sbgp || !f.sdtp != !x.sdtp || !f.elst != !x.elst ||
      !Equal(f.sgpd, x.sgpd))
    return false;
  uint32_t tsF, tsX;
  if (!ReadTimeScale(f.mdhd, tsF) || !ReadTimeScale(x.mdhd, tsX) || tsF != tsX) return false;

  SizeTable szF, szX;
  ViewSizes(f.stsz, szF);
  ViewSizes(x.stsz, szX);
  if (szX.count == 0) return false;  // a track without samples
  const uint64_t samples = uint64_t{szF.count} + szX.count;
  if (samples > UINT32_MAX) return false;

  // "stsz": both variable: append; both fixed and equal: sum the counts.
  {
    std::vector<uint8_t> p(f.stsz->payload.begin(), f.stsz->payload.begin() + 12);
    PutBe32(p.data() + 8, static_cast<uint32_t>(samples));
    if (szF.fixed == 0 && szX.fixed == 0) {
      p.insert(p.end(), szF.entries, szF.entries + size_t{szF.count} * 4);
      p.insert(p.end(), szX.entries, szX.entries + size_t{szX.count} * 4);
    } else if (szF.fixed != szX.fixed) {
      return false;
    }
    changes.push_back({f.stsz, std::move(p)});
  }

  // "stts": append, joining equal runs at the seam.
  {
    Table a, b;
    ViewTable(f.stts, 8, 8, a);
    ViewTable(x.stts, 8, 8, b);
    if (b.count == 0) return false;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    uint32_t n = a.count, from = 0;
    if (a.count && Be32(a.Entry(a.count - 1) + 4) == Be32(b.Entry(0) + 4)) {
      uint64_t c = uint64_t{Be32(a.Entry(a.count - 1))} + Be32(b.Entry(0));
      if (c <= UINT32_MAX) {
        PutBe32(body.data() + body.size() - 8, static_cast<uint32_t>(c));
        from = 1;
      }
    }
    body.insert(body.end(), b.Entry(from), b.Entry(b.count));
    n += b.count - from;
    changes.push_back({f.stts, NewTable(a, n, body)});
  }

  // "ctts": append.
  if (f.ctts) {
    Table a, b;
    ViewTable(f.ctts, 8, 8, a);
    ViewTable(x.ctts, 8, 8, b);
    if (BoxVersion(f.ctts) != BoxVersion(x.ctts)) return false;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    body.insert(body.end(), b.Entry(0), b.Entry(b.count));
    uint64_t n = uint64_t{a.count} + b.count;
    if (n > UINT32_MAX) return false;
    changes.push_back({f.ctts, NewTable(a, static_cast<uint32_t>(n), body)});
  }

  // "stss": sample numbers continue after the first movie's samples.
  if (f.stss) {
    Table a, b;
    ViewTable(f.stss, 8, 4, a);
    ViewTable(x.stss, 8, 4, b);
    if (b.count == 0) return false;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    for (uint32_t i = 0; i < b.count; ++i) {
      uint64_t v = uint64_t{Be32(b.Entry(i))} + szF.count;
      if (v > UINT32_MAX) return false;
      Put32(body, static_cast<uint32_t>(v));
    }
    changes.push_back({f.stss, NewTable(a, a.count + b.count, body)});
  }

  // "stsc": first-chunk numbers continue after the first movie's chunks.
  {
    Table a, b;
    ViewTable(f.stsc, 8, 12, a);
    ViewTable(x.stsc, 8, 12, b);
    if (b.count == 0 || Be32(b.Entry(0)) != 1) return false;
    const uint64_t shift = fChunks.size();
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    uint32_t from = 0;
    if (a.count && std::memcmp(a.Entry(a.count - 1) + 4, b.Entry(0) + 4, 8) == 0) from = 1;
    uint32_t prev = 0;
    for (uint32_t i = 0; i < b.count; ++i) {
      uint32_t chunk = Be32(b.Entry(i));
      if (chunk <= prev) return false;
      prev = chunk;
      if (i < from) continue;
      uint64_t v = chunk + shift;
      if (v > UINT32_MAX) return false;
      Put32(body, static_cast<uint32_t>(v));
      body.insert(body.end(), b.Entry(i) + 4, b.Entry(i) + 12);
    }
    changes.push_back({f.stsc, NewTable(a, a.count + b.count - from, body)});
  }

  // "stco": the entry count grows; the offsets are written from the layout.
  {
    uint64_t n = uint64_t{fChunks.size()} + xChunks.size();
    if (n > UINT32_MAX) return false;
    std::vector<uint8_t> p(f.stco->payload.begin(), f.stco->payload.begin() + 8);
    PutBe32(p.data() + 4, static_cast<uint32_t>(n));
    p.resize(static_cast<size_t>(8 + 4 * n));
    changes.push_back({f.stco, std::move(p)});
  }

  // "sbgp": groups continue; samples of the first movie without a group
  // get an entry of group 0 so that the next movie's entries line up.
  if (f.sbgp) {
    Table a, b;
    ViewTable(f.sbgp, SbgpHeader(f.sbgp), 8, a);
    ViewTable(x.sbgp, SbgpHeader(x.sbgp), 8, b);
    if (BoxVersion(f.sbgp) != BoxVersion(x.sbgp) || std::memcmp(a.base + 4, b.base + 4, a.header - 8) != 0)
      return false;
    uint64_t covered = 0;
    for (uint32_t i = 0; i < a.count; ++i) covered += Be32(a.Entry(i));
    if (covered > szF.count) return false;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    uint64_t n = a.count;
    if (covered < szF.count) {
      Put32(body, static_cast<uint32_t>(szF.count - covered));
      Put32(body, 0);
      ++n;
    }
    body.insert(body.end(), b.Entry(0), b.Entry(b.count));
    n += b.count;
    if (n > UINT32_MAX) return false;
    changes.push_back({f.sbgp, NewTable(a, static_cast<uint32_t>(n), body)});
  }

  // "sdtp": one byte per sample.
  if (f.sdtp) {
    std::vector<uint8_t> p = f.sdtp->payload;
    p.insert(p.end(), x.sdtp->payload.begin() + 4, x.sdtp->payload.end());
    changes.push_back({f.sdtp, std::move(p)});
  }

  // Durations: "tkhd", "mdhd" and the first edit.
  for (auto [a, b] : {std::pair{f.tkhd, x.tkhd}, std::pair{f.mdhd, x.mdhd}, std::pair{f.elst, x.elst}}) {
    if (!a) continue;
    uint64_t sum;
    if (!AddDuration(a, b, sum)) return false;
    std::vector<uint8_t> p = a->payload;
    changes.push_back({a, std::move(p)});
    sTAGNODE tmp;
    std::memcpy(tmp.type, a->type, 5);
    tmp.payload = std::move(changes.back().payload);
    tmp.loaded = true;
    WriteBoxDuration(&tmp, sum);
    changes.back().payload = std::move(tmp.payload);
  }
  return true;
}

// Where the joined media data starts in the output: behind the top-level
// boxes before "mdat", with their sizes grown by `grow` when "moov" comes
// first.
uint64_t MediaStart(sMP4MOVIE& m, uint64_t grow) {
  uint64_t pos = 0;
  bool moovSeen = false;
  for (const sTAGNODE& c : m.root.children) {
    if (c.Is("mdat")) break;
    if (c.Is("moov")) moovSeen = true;
    pos += BoxSize(c);
  }
  return pos + 8 + (moovSeen ? grow : 0);
}

bool SizesFit(const sTAGNODE& node) {
  if (node.level > 0 && BoxSize(node) > UINT32_MAX) return false;
  for (const sTAGNODE& c : node.children)
    if (!SizesFit(c)) return false;
  return true;
}

}  // namespace

bool sMP4MOVIE::AppendSamples(sMP4MOVIE& first, sMP4MOVIE& next) {
  if (&first == &next || !PrepareJoin(first) || !Joinable(next)) return false;
  if (first.tracks.size() != next.tracks.size()) return false;
  sTAGNODE* mdatF = TopLevelMdat(first);
  sTAGNODE* mdatX = TopLevelMdat(next);
  // A movie is appended once, and only one that holds nothing appended itself.
  if (mdatX->appended) return false;
  for (const sTAGNODE* p = mdatF->appended; p; p = p->next)
    if (p == mdatX) return false;
  uint32_t tsF, tsX;
  if (!ReadTimeScale(first.mvhd.front(), tsF) || !ReadTimeScale(next.mvhd.front(), tsX) || tsF != tsX) return false;

  // Phase 1: work out every change without touching either movie.
  std::vector<Change> changes;
  std::vector<std::vector<uint64_t>> addChunks(first.tracks.size());
  try {
    for (size_t i = 0; i < first.tracks.size(); ++i) {
      const Mp4Track* x = PairedTrack(first, i, next);
      if (!x) return false;
      if (!RelativeChunks(*x, *mdatX, first.join.mediaBytes, addChunks[i])) return false;
      if (!MergeTrack(first.tracks[i], first.join.chunks[i], *x, addChunks[i], changes)) return false;
    }
    uint64_t movieDuration;
    if (!AddDuration(first.mvhd.front(), next.mvhd.front(), movieDuration)) return false;
    changes.push_back({first.mvhd.front(), first.mvhd.front()->payload});
    sTAGNODE tmp;
    std::memcpy(tmp.type, "mvhd", 5);
    tmp.payload = std::move(changes.back().payload);
    tmp.loaded = true;
    WriteBoxDuration(&tmp, movieDuration);
    changes.back().payload = std::move(tmp.payload);
  } catch (const std::bad_alloc&) {
    return false;
  }

  // Drive data: at most 65534 records (0xFFFF means "up to the end mark").
  const uint64_t records = uint64_t{first.blockCount} + next.blockCount;
  if (records > kGpsMaxRecords) return false;

  // Every size and offset of the result must fit its 32-bit field.
  int64_t grow = 0;
  for (const Change& c : changes) grow += static_cast<int64_t>(c.payload.size()) - static_cast<int64_t>(c.node->size);
  const uint64_t media = first.join.mediaBytes + mdatX->sourceSize;
  if (media + 8 > UINT32_MAX) return false;
  const uint64_t start = MediaStart(first, grow > 0 ? static_cast<uint64_t>(grow) : 0);
  uint64_t lastChunk = 0;
  for (const auto& v : first.join.chunks)
    for (uint64_t c : v) lastChunk = std::max(lastChunk, c);
  for (const auto& v : addChunks)
    for (uint64_t c : v) lastChunk = std::max(lastChunk, c);
  if (start + lastChunk > UINT32_MAX) return false;
  for (const sTAGNODE& top : first.root.children) {
    if (!top.Is("moov")) continue;
    if (static_cast<int64_t>(BoxSize(top)) + grow > static_cast<int64_t>(UINT32_MAX)) return false;
  }

  std::vector<uint8_t> mergedRecords;
  try {
    mergedRecords.reserve(static_cast<size_t>(records * kGpsRecordSize));
    mergedRecords = first.records;
    mergedRecords.insert(mergedRecords.end(), next.records.begin(), next.records.end());
    for (size_t i = 0; i < first.tracks.size(); ++i)
      first.join.chunks[i].reserve(first.join.chunks[i].size() + addChunks[i].size());
  } catch (const std::bad_alloc&) {
    return false;
  }

  // Phase 2: apply (nothing below can fail).
  for (Change& c : changes) {
    c.node->payload = std::move(c.payload);
    c.node->size = c.node->loadedSize = c.node->payload.size();
    c.node->loaded = true;
  }
  first.duration = 0;
  ReadBoxDuration(first.mvhd.front(), first.duration);
  for (size_t i = 0; i < first.tracks.size(); ++i)
    first.join.chunks[i].insert(first.join.chunks[i].end(), addChunks[i].begin(), addChunks[i].end());
  first.join.mediaBytes = media;
  mdatF->size += mdatX->sourceSize;
  sTAGNODE** link = &mdatF->appended;
  while (*link) link = &(*link)->next;
  *link = mdatX;
  mdatX->next = nullptr;
  if (!first.hasBlock && next.hasBlock) {
    std::memcpy(first.blockHead, next.blockHead, sizeof first.blockHead);
    first.hasBlock = true;
  }
  first.records = std::move(mergedRecords);
  first.blockCount = static_cast<uint32_t>(records);
  return true;
}

// ---------------------------------------------------------------- pair

sMULTIMOVIE::~sMULTIMOVIE() {
  for (sMP4MOVIE* m : frontAppended) CloseMp4Movie(m);
  for (sMP4MOVIE* m : rearAppended) CloseMp4Movie(m);
  CloseMp4Movie(front);
  CloseMp4Movie(rear);
}

bool sMULTIMOVIE::OpenPair(const std::string& frontPath, const std::string& rearPath) {
  CloseMp4Movie(front);
  CloseMp4Movie(rear);
  front = OpenMp4Movie(frontPath);
  rear = OpenMp4Movie(rearPath);
  if (!rear) rearOk = 0;
  return front != nullptr;
}

bool sMULTIMOVIE::AppendMovie(const std::string& frontPath, const std::string& rearPath) {
  if (!front) return false;
  Mp4MoviePtr f(OpenMp4Movie(frontPath));
  if (!f || !sMP4MOVIE::AppendSamples(*front, *f)) return false;
  frontAppended.push_back(f.release());
  if (rearOk) {
    Mp4MoviePtr r(OpenMp4Movie(rearPath));
    if (rear && r && sMP4MOVIE::AppendSamples(*rear, *r)) {
      rearAppended.push_back(r.release());
    } else {
      rearOk = 0;
    }
  }
  return true;
}

// ---------------------------------------------------------------- writer

namespace {

// A file descriptor with a write buffer; media ranges go through
// copy_file_range where the kernel offers it, else through a bounded buffer.
class FdOutput : public Mp4Output {
 public:
  explicit FdOutput(int fd) : fd_(fd) {}

  bool Write(const void* data, size_t len) override {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (len >= kBuffer) return Flush() && WriteAll(p, len);
    if (buf_.size() + len > kBuffer && !Flush()) return false;
    buf_.insert(buf_.end(), p, p + len);
    return true;
  }

  bool Copy(FileSource& source, uint64_t offset, uint64_t len) override {
    if (!Flush()) return false;
    while (len > 0 && kernelCopy_) {
      loff_t in = static_cast<loff_t>(offset);
      size_t step = static_cast<size_t>(std::min<uint64_t>(len, 1u << 30));
      ssize_t n = ::copy_file_range(source.Fd(), &in, fd_, nullptr, step, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF) {
          kernelCopy_ = false;
          break;
        }
        return false;
      }
      if (n == 0) return false;  // the source ended early
      offset += static_cast<uint64_t>(n);
      len -= static_cast<uint64_t>(n);
    }
    if (len == 0) return true;
    std::vector<uint8_t> chunk;
    try {
      chunk.resize(static_cast<size_t>(std::min<uint64_t>(len, kCopyChunk)));
    } catch (const std::bad_alloc&) {
      return false;
    }
    while (len > 0) {
      size_t step = static_cast<size_t>(std::min<uint64_t>(len, chunk.size()));
      if (!source.ReadExact(offset, chunk.data(), step) || !WriteAll(chunk.data(), step)) return false;
      offset += step;
      len -= step;
    }
    return true;
  }

  bool Flush() {
    bool ok = WriteAll(buf_.data(), buf_.size());
    buf_.clear();
    return ok;
  }

 private:
  static constexpr size_t kBuffer = 1 << 20;
  static constexpr uint64_t kCopyChunk = 8 << 20;

  bool WriteAll(const uint8_t* p, size_t len) {
    while (len > 0) {
      ssize_t n = ::write(fd_, p, len);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (n == 0) return false;
      p += n;
      len -= static_cast<size_t>(n);
    }
    return true;
  }

  int fd_;
  bool kernelCopy_ = true;
  std::vector<uint8_t> buf_;
};

std::atomic<unsigned> g_tempCounter{0};

bool SameFile(const struct stat& a, int fd) {
  struct stat b;
  return fd >= 0 && ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CopyFileRange(const sTAGNODE& node, Mp4Output& out, uint64_t length) {
  if (!node.source || length > node.sourceSize) return false;
  return out.Copy(*node.source, node.sourceOffset, length);
}

bool WriteBoxTree(const sTAGNODE& node, Mp4Output& out) {
  if (node.level > 0) {
    uint64_t size = BoxSize(node);
    if (size > UINT32_MAX) return false;
    uint8_t header[8];
    PutBe32(header, static_cast<uint32_t>(size));
    std::memcpy(header + 4, node.type, 4);
    if (!out.Write(header, sizeof header)) return false;
    if (node.Is("mdat") && node.leaf) {
      uint64_t total = node.sourceSize;
      if (!CopyFileRange(node, out, node.sourceSize)) return false;
      for (const sTAGNODE* p = node.appended; p; p = p->next) {
        if (!CopyFileRange(*p, out, p->sourceSize)) return false;
        total += p->sourceSize;
      }
      return total == node.size;
    }
    if (node.leaf) {
      if (node.loaded) {
        if (node.payload.size() != node.size) return false;
        return node.payload.empty() || out.Write(node.payload.data(), node.payload.size());
      }
      return node.size == node.sourceSize && CopyFileRange(node, out, node.size);
    }
  }
  for (const sTAGNODE& child : node.children)
    if (!WriteBoxTree(child, out)) return false;
  return true;
}

bool WriteMp4Movie(sMP4MOVIE& movie, const std::string& path) {
  if (path.empty() || !PrepareJoin(movie) || !SizesFit(movie.root)) return false;

  // Never write over one of the inputs.
  struct stat target;
  const bool replacing = ::stat(path.c_str(), &target) == 0;
  if (replacing) {
    if (S_ISDIR(target.st_mode) || SameFile(target, movie.file.Fd())) return false;
    const sTAGNODE* mdat = TopLevelMdat(movie);
    for (const sTAGNODE* p = mdat->appended; p; p = p->next)
      if (p->source && SameFile(target, p->source->Fd())) return false;
  }

  // Chunk offsets from the output layout.
  const uint64_t start = MediaStart(movie, 0);
  for (size_t i = 0; i < movie.tracks.size(); ++i) {
    sTAGNODE* stco = movie.tracks[i].stco;
    const std::vector<uint64_t>& chunks = movie.join.chunks[i];
    if (stco->payload.size() != 8 + 4 * chunks.size()) return false;
    for (size_t k = 0; k < chunks.size(); ++k) {
      uint64_t v = start + chunks[k];
      if (v > UINT32_MAX) return false;
      PutBe32(stco->payload.data() + 8 + 4 * k, static_cast<uint32_t>(v));
    }
  }

  // The new file gets the permissions of the file it replaces, else those
  // the user's umask gives a new file.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = Folder(path) + "/." + BaseName(path) + "." + std::to_string(::getpid()) + "-" +
           std::to_string(g_tempCounter.fetch_add(1));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return false;
  if (replacing) (void)::fchmod(fd, target.st_mode & 07777);  // best effort: the owner may differ

  bool ok;
  {
    FdOutput out(fd);
    ok = WriteBoxTree(movie.root, out);
    if (ok && movie.hasBlock) {
      uint8_t head[kGpsHeadSize];
      std::memcpy(head, movie.blockHead, sizeof head);
      PutBe16(head + 41, static_cast<uint16_t>(movie.blockCount));
      ok = out.Write(head, sizeof head) &&
           (movie.records.empty() || out.Write(movie.records.data(), movie.records.size())) && out.Write("CSOEND", 6);
    }
    ok = ok && out.Flush();
  }
  // On the disk before it takes the target's name.
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace qv
