#include "recording/mp4join.h"

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "platform/atomicwrite.h"
#include "platform/pathutil.h"
#include "recording/nalunits.h"

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

// Where the first edit of an edit list starts in the media (-1: an empty
// edit).  False when there is no whole first entry.
bool ReadFirstEdit(const sTAGNODE* elst, int64_t* mediaTime) {
  const int v = BoxVersion(elst);
  const size_t width = v == 1 ? 8 : 4;
  if ((v != 0 && v != 1) || elst->payload.size() < 8 + 2 * width + 4 || Be32(elst->payload.data() + 4) == 0)
    return false;
  if (mediaTime) {
    const uint8_t* p = elst->payload.data() + 8 + width;
    *mediaTime = v == 1 ? static_cast<int64_t>(Be64(p)) : static_cast<int32_t>(Be32(p));
  }
  return true;
}

// The tables of a track agree with each other and with the media data: as
// many durations as sizes as samples the chunks hold, chunk runs that start
// at chunk 1 and rise, no zero or absurd duration, key frames and offsets
// within the samples, and every chunk's bytes inside "mdat".  The tables'
// shapes are checked by the caller.
bool TablesAgree(const Mp4Track& t, const sTAGNODE& mdat) {
  Table stts, stsc, stco;
  SizeTable sz;
  uint32_t scale = 0;
  ViewTable(t.stts, 8, 8, stts);
  ViewTable(t.stsc, 8, 12, stsc);
  ViewTable(t.stco, 8, 4, stco);
  ViewSizes(t.stsz, sz);
  ReadTimeScale(t.mdhd, scale);
  // An hour per sample is more than any recording holds.
  const uint64_t maxDelta = std::min<uint64_t>(INT32_MAX, uint64_t{scale} * 3600);
  uint64_t samples = 0;
  for (uint32_t i = 0; i < stts.count; ++i) {
    const uint32_t count = Be32(stts.Entry(i)), delta = Be32(stts.Entry(i) + 4);
    if (count != 0 && (delta == 0 || delta > maxDelta)) return false;
    samples += count;
  }
  if (samples != sz.count) return false;

  const uint64_t chunks = stco.count;
  const uint64_t mediaEnd = mdat.sourceOffset + mdat.sourceSize;
  uint64_t sample = 0;
  if (stsc.count && Be32(stsc.Entry(0)) != 1) return false;
  for (uint32_t i = 0; i < stsc.count; ++i) {
    const uint64_t first = Be32(stsc.Entry(i)), perChunk = Be32(stsc.Entry(i) + 4);
    const uint64_t end = i + 1 < stsc.count ? Be32(stsc.Entry(i + 1)) : chunks + 1;
    if (end <= first || end > chunks + 1 || perChunk == 0) return false;
    for (uint64_t c = first; c < end; ++c) {
      if (perChunk > sz.count - sample) return false;
      uint64_t bytes = uint64_t{sz.fixed} * perChunk;
      if (sz.fixed == 0)
        for (uint64_t k = sample; k < sample + perChunk; ++k) bytes += Be32(sz.entries + 4 * k);
      const uint64_t at = Be32(stco.Entry(static_cast<uint32_t>(c - 1)));
      if (at < mdat.sourceOffset || at > mediaEnd || bytes > mediaEnd - at) return false;
      sample += perChunk;
    }
  }
  if (sample != sz.count) return false;

  Table tab;
  if (t.stss && ViewTable(t.stss, 8, 4, tab)) {
    uint32_t prev = 0;
    for (uint32_t i = 0; i < tab.count; ++i) {
      const uint32_t n = Be32(tab.Entry(i));
      if (n <= prev || n > sz.count) return false;
      prev = n;
    }
  }
  if (t.ctts && ViewTable(t.ctts, 8, 8, tab)) {
    uint64_t covered = 0;
    for (uint32_t i = 0; i < tab.count; ++i) covered += Be32(tab.Entry(i));
    if (covered != sz.count) return false;
  }
  return true;
}

// Calls `visit` (offset, size) for every sample of a track, chunk by chunk
// in the table's order, until it answers false; false then.  The tables
// have passed TablesAgree.
template <class Visit>
bool ForEachSample(const Mp4Track& t, Visit visit) {
  Table stsc, stco;
  SizeTable sz;
  ViewTable(t.stsc, 8, 12, stsc);
  ViewTable(t.stco, 8, 4, stco);
  ViewSizes(t.stsz, sz);
  uint64_t sample = 0;
  for (uint32_t i = 0; i < stsc.count; ++i) {
    const uint32_t perChunk = Be32(stsc.Entry(i) + 4);
    const uint64_t end = i + 1 < stsc.count ? Be32(stsc.Entry(i + 1)) : uint64_t{stco.count} + 1;
    for (uint64_t c = Be32(stsc.Entry(i)); c < end; ++c) {
      uint64_t at = Be32(stco.Entry(static_cast<uint32_t>(c - 1)));
      for (uint32_t k = 0; k < perChunk; ++k, ++sample) {
        const uint32_t size = sz.fixed ? sz.fixed : Be32(sz.entries + 4 * sample);
        if (!visit(at, size)) return false;
        at += size;
      }
    }
  }
  return true;
}

// Every sample of a length-prefixed H.264 track holds whole NAL units (see
// nalunits.h), read from `file` chunk by chunk in the file's order.
JoinFault SamplesHoldWholeUnits(const Mp4Track& t, FileSource& file) {
  const int lengthSize = NalLengthSize(t);
  if (lengthSize == 0) return JoinFault::kNone;
  NalUnitReader units(file, lengthSize);
  JoinFault fault = JoinFault::kNone;
  ForEachSample(t, [&](uint64_t at, uint32_t size) { return (fault = units.CheckSample(at, size)) == JoinFault::kNone; });
  return fault;
}

// More samples than this in one file are checked by reading them before the
// copy: their list would take more memory than the reads it saves.
constexpr uint64_t kMaxListedSamples = uint64_t{1} << 20;

// Lists the samples of `m`'s length-prefixed H.264 tracks, by offset, for
// the writer to check in the bytes it copies (NalUnitStream), so that
// nothing is read for the check.  Samples that one pass over the file cannot
// walk (overlapping ones: odd tables, though not yet wrong ones), or too many
// to list, are checked here by reading them instead, and the list stays
// empty.  The tables have passed TablesAgree.
JoinFault ListUnitSamples(sMP4MOVIE& m, std::vector<Mp4UnitSample>& out) {
  out.clear();
  uint64_t count = 0;
  for (const Mp4Track& t : m.tracks) {
    SizeTable sz;
    if (NalLengthSize(t) && ViewSizes(t.stsz, sz)) count += sz.count;
  }
  bool listed = count <= kMaxListedSamples;
  try {
    if (listed) out.reserve(static_cast<size_t>(count));
    for (const Mp4Track& t : m.tracks) {
      const int lengthSize = NalLengthSize(t);
      if (!listed || lengthSize == 0) continue;
      ForEachSample(t, [&](uint64_t at, uint32_t size) {
        if (size) out.push_back({at, size, static_cast<uint8_t>(lengthSize)});
        return true;
      });
    }
  } catch (const std::bad_alloc&) {
    listed = false;
  }
  auto byOffset = [](const Mp4UnitSample& a, const Mp4UnitSample& b) { return a.offset < b.offset; };
  if (listed && !std::is_sorted(out.begin(), out.end(), byOffset)) std::sort(out.begin(), out.end(), byOffset);
  for (size_t i = 1; listed && i < out.size(); ++i) listed = out[i - 1].offset + out[i - 1].size <= out[i].offset;
  if (listed) return JoinFault::kNone;
  out = {};
  for (const Mp4Track& t : m.tracks)
    if (JoinFault f = SamplesHoldWholeUnits(t, m.file); f != JoinFault::kNone) return f;
  return JoinFault::kNone;
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
// fragments, and for every track the tables it merges, well formed; lists
// the samples the writer is to check in `units` (ListUnitSamples).
JoinFault Joinable(sMP4MOVIE& m, std::vector<Mp4UnitSample>& units) {
  if (!TopLevelMdat(m) || m.mvhd.size() != 1 || m.tracks.empty()) return JoinFault::kNotJoinable;
  auto isMoov = [](const sTAGNODE& c) { return c.Is("moov"); };
  if (std::count_if(m.root.children.begin(), m.root.children.end(), isMoov) != 1) return JoinFault::kNotJoinable;
  std::vector<sTAGNODE*> found;
  for (const char* code : {"moof", "mvex"}) {
    found.clear();
    for (sTAGNODE& c : m.root.children) CollectBoxes(found, c, code);
    if (!found.empty()) return JoinFault::kNotJoinable;
  }
  for (const Mp4Track& t : m.tracks) {
    if (!t.stbl || !t.stsd || !t.stsd->loaded || !t.tkhd || !t.mdhd) return JoinFault::kNotJoinable;
    // Per-sample tables this join does not merge.
    for (const char* code : {"co64", "stz2", "subs", "saiz", "saio", "stdp", "padb", "stsh", "senc"}) {
      for (const sTAGNODE& c : t.stbl->children)
        if (c.Is(code)) return JoinFault::kNotJoinable;
    }
    Table tab;
    SizeTable sizes;
    if (!ViewTable(t.stts, 8, 8, tab) || !ViewTable(t.stsc, 8, 12, tab) || !ViewTable(t.stco, 8, 4, tab) ||
        !ViewSizes(t.stsz, sizes))
      return JoinFault::kDamaged;
    if (t.stss && !ViewTable(t.stss, 8, 4, tab)) return JoinFault::kDamaged;
    if (t.ctts && !ViewTable(t.ctts, 8, 8, tab)) return JoinFault::kDamaged;
    if (t.sbgp && !ViewTable(t.sbgp, SbgpHeader(t.sbgp), 8, tab)) return JoinFault::kDamaged;
    if (t.sdtp && (!t.sdtp->loaded || t.sdtp->payload.size() != 4 + uint64_t{sizes.count})) return JoinFault::kDamaged;
    uint32_t ts;
    if (!ReadTimeScale(t.mdhd, ts) || ts == 0) return JoinFault::kDamaged;
    if (t.elst && !ReadFirstEdit(t.elst, nullptr)) return JoinFault::kDamaged;
    if (!TablesAgree(t, *TopLevelMdat(m))) return JoinFault::kDamaged;
  }
  uint32_t ts;
  if (!ReadTimeScale(m.mvhd.front(), ts) || ts == 0) return JoinFault::kDamaged;
  // A file that no longer holds its media data (cut short since it was
  // opened, or on a card pulled out) is found before anything is written.
  const sTAGNODE& mdat = *TopLevelMdat(m);
  struct stat st;
  if (fstat(m.file.Fd(), &st) != 0 || static_cast<uint64_t>(st.st_size) < mdat.sourceOffset + mdat.sourceSize)
    return JoinFault::kReadError;
  return ListUnitSamples(m, units);
}

// Prepares a movie to take appended movies (or to be written): its chunk
// offsets become offsets within the joined media data.
JoinFault PrepareJoin(sMP4MOVIE& m) {
  if (m.join.prepared) return JoinFault::kNone;
  std::vector<Mp4UnitSample> units;
  if (JoinFault f = Joinable(m, units); f != JoinFault::kNone) return f;
  sTAGNODE* mdat = TopLevelMdat(m);
  std::vector<std::vector<uint64_t>> chunks(m.tracks.size());
  for (size_t i = 0; i < m.tracks.size(); ++i)
    if (!RelativeChunks(m.tracks[i], *mdat, 0, chunks[i])) return JoinFault::kDamaged;
  m.join.chunks = std::move(chunks);
  m.join.unitSamples.clear();
  m.join.unitSamples.push_back(std::move(units));
  m.join.mediaBytes = mdat->sourceSize;
  m.join.prepared = true;
  return JoinFault::kNone;
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

JoinFault AddDuration(const sTAGNODE* a, const sTAGNODE* b, uint64_t& sum) {
  uint64_t x, y;
  if (!ReadBoxDuration(a, x) || !ReadBoxDuration(b, y)) return JoinFault::kDamaged;
  sum = x + y;
  if (sum < x || (BoxVersion(a) != 1 && sum > UINT32_MAX)) return JoinFault::kTooLong;
  return JoinFault::kNone;
}

// A track's tables without their first samples.
struct TrimmedTrack {
  Mp4Track track;
  sTAGNODE stts, stsz, stsc, sbgp, sdtp, mdhd;
};

// A table of (sample count, value) runs ("stts", "sbgp") without its first
// `drop` samples: the first runs lose them, emptied runs go.
std::vector<uint8_t> DropFirstSamples(const Table& t, uint32_t drop) {
  std::vector<uint8_t> body;
  uint32_t n = 0;
  for (uint32_t i = 0; i < t.count; ++i) {
    uint32_t count = Be32(t.Entry(i));
    const uint32_t cut = std::min(count, drop);
    count -= cut;
    drop -= cut;
    if (count == 0) continue;
    Put32(body, count);
    Put32(body, Be32(t.Entry(i) + 4));
    ++n;
  }
  return NewTable(t, n, body);
}

sTAGNODE CopyOf(const sTAGNODE* node) {
  sTAGNODE c;
  std::memcpy(c.type, node->type, 5);
  c.payload = node->payload;
  c.size = c.loadedSize = c.payload.size();
  c.loaded = true;
  c.leaf = 1;
  return c;
}

// The samples of `x` before the media time its first edit starts at, when
// they can be left out: a track whose every sample starts decoding ("stss"
// absent, as for sound) and without presentation offsets.  `trimmed` then
// holds x's tables without them, and `chunks` loses the chunks that held only
// them and moves the next chunk past the rest.  The first movie's own edit
// is kept: it skips its own such samples.
bool SkippedSamples(const Mp4Track& f, const Mp4Track& x, TrimmedTrack& trimmed, std::vector<uint64_t>& chunks) {
  int64_t start = 0;
  if (!f.elst || !x.elst || x.stss || x.ctts || chunks.empty() || !ReadFirstEdit(x.elst, &start) || start <= 0)
    return false;
  Table stts, stsc;
  SizeTable sz;
  ViewTable(x.stts, 8, 8, stts);
  ViewTable(x.stsc, 8, 12, stsc);
  ViewSizes(x.stsz, sz);
  // Whole samples inside the skipped media time.
  uint32_t drop = 0;
  uint64_t time = 0;
  for (uint32_t i = 0; i < stts.count; ++i) {
    const uint64_t count = Be32(stts.Entry(i)), delta = Be32(stts.Entry(i) + 4);
    if (count == 0 || delta == 0) continue;
    const uint64_t n = std::min<uint64_t>(count, (static_cast<uint64_t>(start) - time) / delta);
    drop += static_cast<uint32_t>(n);
    time += n * delta;
    if (n < count) break;
  }
  if (drop == 0 || drop >= sz.count || stsc.count == 0) return false;
  // The chunks that hold only dropped samples go; the chunk after them
  // keeps the rest of its samples.
  const uint64_t chunkCount = chunks.size();
  uint32_t entry = 0, gone = 0, partial = drop;
  for (;;) {
    if (entry >= stsc.count) return false;
    const uint64_t end = entry + 1 < stsc.count ? Be32(stsc.Entry(entry + 1)) : chunkCount + 1;
    if (gone + 1 >= end) {
      ++entry;
      continue;
    }
    const uint32_t perChunk = Be32(stsc.Entry(entry) + 4);
    if (partial < perChunk) break;
    partial -= perChunk;
    ++gone;
  }
  if (gone >= chunkCount) return false;

  trimmed.track = x;
  trimmed.stts = CopyOf(x.stts);
  trimmed.stts.payload = DropFirstSamples(stts, drop);
  // "stsz": sizes after the dropped ones; the dropped samples of the chunk
  // that stays move its offset.
  uint64_t bytes = uint64_t{sz.fixed} * partial;
  trimmed.stsz = CopyOf(x.stsz);
  PutBe32(trimmed.stsz.payload.data() + 8, sz.count - drop);
  if (sz.fixed == 0) {
    for (uint32_t k = drop - partial; k < drop; ++k) bytes += Be32(sz.entries + 4 * k);
    trimmed.stsz.payload.erase(trimmed.stsz.payload.begin() + 12, trimmed.stsz.payload.begin() + 12 + 4 * drop);
  }
  // "stsc": numbered from the first chunk that stays, which holds fewer
  // samples than the chunks of its run after it.
  std::vector<uint8_t> body;
  uint32_t n = 0;
  auto run = [&](uint32_t first, uint32_t perChunk, const uint8_t* e) {
    Put32(body, first);
    Put32(body, perChunk);
    Put32(body, Be32(e + 8));
    ++n;
  };
  const uint8_t* e = stsc.Entry(entry);
  const uint64_t runEnd = entry + 1 < stsc.count ? Be32(stsc.Entry(entry + 1)) : chunkCount + 1;
  run(1, Be32(e + 4) - partial, e);
  if (partial && gone + 2 < runEnd) run(2, Be32(e + 4), e);
  for (uint32_t i = entry + 1; i < stsc.count; ++i) run(Be32(stsc.Entry(i)) - gone, Be32(stsc.Entry(i) + 4), stsc.Entry(i));
  trimmed.stsc = CopyOf(x.stsc);
  trimmed.stsc.payload = NewTable(stsc, n, body);
  std::vector<uint64_t> kept(chunks.begin() + gone, chunks.end());
  kept[0] += bytes;
  // "sbgp": the first groups lose the samples.
  if (x.sbgp) {
    Table g;
    ViewTable(x.sbgp, SbgpHeader(x.sbgp), 8, g);
    trimmed.sbgp = CopyOf(x.sbgp);
    trimmed.sbgp.payload = DropFirstSamples(g, drop);
    trimmed.track.sbgp = &trimmed.sbgp;
  }
  if (x.sdtp) {
    trimmed.sdtp = CopyOf(x.sdtp);
    trimmed.sdtp.payload.erase(trimmed.sdtp.payload.begin() + 4, trimmed.sdtp.payload.begin() + 4 + drop);
    trimmed.track.sdtp = &trimmed.sdtp;
  }
  // The media is shorter by the dropped samples' time.
  uint64_t length = 0;
  trimmed.mdhd = CopyOf(x.mdhd);
  if (!ReadBoxDuration(x.mdhd, length) || length < time || !WriteBoxDuration(&trimmed.mdhd, length - time))
    return false;
  chunks = std::move(kept);
  trimmed.track.stts = &trimmed.stts;
  trimmed.track.stsz = &trimmed.stsz;
  trimmed.track.stsc = &trimmed.stsc;
  trimmed.track.mdhd = &trimmed.mdhd;
  return true;
}

// One change of the merge, applied only when every change could be made.
struct Change {
  sTAGNODE* node;
  std::vector<uint8_t> payload;
};

// The merge of one track; the new payloads go to `changes`.
JoinFault MergeTrack(const Mp4Track& f, const std::vector<uint64_t>& fChunks, const Mp4Track& x,
                     const std::vector<uint64_t>& xChunks, std::vector<Change>& changes) {
  // The same kind of samples.
  if (!SameSampleEntries(f, x) || NalLengthSize(f) != NalLengthSize(x)) return JoinFault::kNotJoinable;
  if (!f.stss != !x.stss || !f.ctts != !x.ctts || !f.sbgp != !x.sbgp || !f.sdtp != !x.sdtp || !f.elst != !x.elst ||
      !Equal(f.sgpd, x.sgpd))
    return JoinFault::kNotJoinable;
  uint32_t tsF, tsX;
  if (!ReadTimeScale(f.mdhd, tsF) || !ReadTimeScale(x.mdhd, tsX) || tsF != tsX) return JoinFault::kNotJoinable;

  SizeTable szF, szX;
  ViewSizes(f.stsz, szF);
  ViewSizes(x.stsz, szX);
  if (szX.count == 0) return JoinFault::kDamaged;  // a track without samples
  const uint64_t samples = uint64_t{szF.count} + szX.count;
  if (samples > UINT32_MAX) return JoinFault::kTooLong;

  // "stsz": both variable: append; both fixed and equal: sum the counts.
  {
    std::vector<uint8_t> p(f.stsz->payload.begin(), f.stsz->payload.begin() + 12);
    PutBe32(p.data() + 8, static_cast<uint32_t>(samples));
    if (szF.fixed == 0 && szX.fixed == 0) {
      p.insert(p.end(), szF.entries, szF.entries + size_t{szF.count} * 4);
      p.insert(p.end(), szX.entries, szX.entries + size_t{szX.count} * 4);
    } else if (szF.fixed != szX.fixed) {
      return JoinFault::kNotJoinable;
    }
    changes.push_back({f.stsz, std::move(p)});
  }

  // "stts": append, joining equal runs at the seam.
  {
    Table a, b;
    ViewTable(f.stts, 8, 8, a);
    ViewTable(x.stts, 8, 8, b);
    if (b.count == 0) return JoinFault::kDamaged;
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
    if (BoxVersion(f.ctts) != BoxVersion(x.ctts)) return JoinFault::kNotJoinable;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    body.insert(body.end(), b.Entry(0), b.Entry(b.count));
    uint64_t n = uint64_t{a.count} + b.count;
    if (n > UINT32_MAX) return JoinFault::kTooLong;
    changes.push_back({f.ctts, NewTable(a, static_cast<uint32_t>(n), body)});
  }

  // "stss": sample numbers continue after the first movie's samples.
  if (f.stss) {
    Table a, b;
    ViewTable(f.stss, 8, 4, a);
    ViewTable(x.stss, 8, 4, b);
    if (b.count == 0) return JoinFault::kDamaged;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    for (uint32_t i = 0; i < b.count; ++i) {
      uint64_t v = uint64_t{Be32(b.Entry(i))} + szF.count;
      if (v > UINT32_MAX) return JoinFault::kTooLong;
      Put32(body, static_cast<uint32_t>(v));
    }
    changes.push_back({f.stss, NewTable(a, a.count + b.count, body)});
  }

  // "stsc": first-chunk numbers continue after the first movie's chunks.
  {
    Table a, b;
    ViewTable(f.stsc, 8, 12, a);
    ViewTable(x.stsc, 8, 12, b);
    if (b.count == 0 || Be32(b.Entry(0)) != 1) return JoinFault::kDamaged;
    const uint64_t shift = fChunks.size();
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    uint32_t from = 0;
    if (a.count && std::memcmp(a.Entry(a.count - 1) + 4, b.Entry(0) + 4, 8) == 0) from = 1;
    uint32_t prev = 0;
    for (uint32_t i = 0; i < b.count; ++i) {
      uint32_t chunk = Be32(b.Entry(i));
      if (chunk <= prev) return JoinFault::kDamaged;
      prev = chunk;
      if (i < from) continue;
      uint64_t v = chunk + shift;
      if (v > UINT32_MAX) return JoinFault::kTooLong;
      Put32(body, static_cast<uint32_t>(v));
      body.insert(body.end(), b.Entry(i) + 4, b.Entry(i) + 12);
    }
    changes.push_back({f.stsc, NewTable(a, a.count + b.count - from, body)});
  }

  // "stco": the entry count grows; the offsets are written from the layout.
  {
    uint64_t n = uint64_t{fChunks.size()} + xChunks.size();
    if (n > UINT32_MAX) return JoinFault::kTooLong;
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
      return JoinFault::kNotJoinable;
    uint64_t covered = 0;
    for (uint32_t i = 0; i < a.count; ++i) covered += Be32(a.Entry(i));
    if (covered > szF.count) return JoinFault::kDamaged;
    std::vector<uint8_t> body(a.Entry(0), a.Entry(a.count));
    uint64_t n = a.count;
    if (covered < szF.count) {
      Put32(body, static_cast<uint32_t>(szF.count - covered));
      Put32(body, 0);
      ++n;
    }
    body.insert(body.end(), b.Entry(0), b.Entry(b.count));
    n += b.count;
    if (n > UINT32_MAX) return JoinFault::kTooLong;
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
    if (JoinFault fault = AddDuration(a, b, sum); fault != JoinFault::kNone) return fault;
    std::vector<uint8_t> p = a->payload;
    changes.push_back({a, std::move(p)});
    sTAGNODE tmp;
    std::memcpy(tmp.type, a->type, 5);
    tmp.payload = std::move(changes.back().payload);
    tmp.loaded = true;
    WriteBoxDuration(&tmp, sum);
    changes.back().payload = std::move(tmp.payload);
  }
  return JoinFault::kNone;
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

bool sMP4MOVIE::AppendSamples(sMP4MOVIE& first, sMP4MOVIE& next, JoinFault* why) {
  JoinFault ignored;
  JoinFault& fault = why ? *why : ignored;
  fault = JoinFault::kNotJoinable;
  if (&first == &next) return false;
  std::vector<Mp4UnitSample> units;
  if ((fault = PrepareJoin(first)) != JoinFault::kNone || (fault = Joinable(next, units)) != JoinFault::kNone)
    return false;
  fault = JoinFault::kNotJoinable;
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
      if (!RelativeChunks(*x, *mdatX, first.join.mediaBytes, addChunks[i])) return (fault = JoinFault::kDamaged), false;
      // Samples the next movie's edit skips (AAC's priming) would be played
      // at the seam, where the first edit runs on through the joined media:
      // they are left out.
      TrimmedTrack trimmed;
      if (SkippedSamples(first.tracks[i], *x, trimmed, addChunks[i])) x = &trimmed.track;
      fault = MergeTrack(first.tracks[i], first.join.chunks[i], *x, addChunks[i], changes);
      if (fault != JoinFault::kNone) return false;
    }
    uint64_t movieDuration;
    if ((fault = AddDuration(first.mvhd.front(), next.mvhd.front(), movieDuration)) != JoinFault::kNone) return false;
    changes.push_back({first.mvhd.front(), first.mvhd.front()->payload});
    sTAGNODE tmp;
    std::memcpy(tmp.type, "mvhd", 5);
    tmp.payload = std::move(changes.back().payload);
    tmp.loaded = true;
    WriteBoxDuration(&tmp, movieDuration);
    changes.back().payload = std::move(tmp.payload);
  } catch (const std::bad_alloc&) {
    fault = JoinFault::kNotJoinable;
    return false;
  }

  // Drive data: at most 65534 records (0xFFFF means "up to the end mark").
  fault = JoinFault::kTooLong;
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
  fault = JoinFault::kNotJoinable;
  try {
    mergedRecords.reserve(static_cast<size_t>(records * kGpsRecordSize));
    mergedRecords = first.records;
    mergedRecords.insert(mergedRecords.end(), next.records.begin(), next.records.end());
    for (size_t i = 0; i < first.tracks.size(); ++i)
      first.join.chunks[i].reserve(first.join.chunks[i].size() + addChunks[i].size());
    first.join.unitSamples.reserve(first.join.unitSamples.size() + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  fault = JoinFault::kNone;

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
  first.join.unitSamples.push_back(std::move(units));
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

namespace {

JoinFault OpenFault(int error) { return error == EIO ? JoinFault::kReadError : JoinFault::kCannotOpen; }

// Opens an input, with the reason when it cannot be opened.
sMP4MOVIE* OpenInput(const std::string& path, JoinFault& fault) {
  int error = 0;
  sMP4MOVIE* m = OpenMp4Movie(path, true, &error);
  fault = m ? JoinFault::kNone : OpenFault(error);
  return m;
}

}  // namespace

bool sMULTIMOVIE::OpenPair(const std::string& frontPath, const std::string& rearPath) {
  CloseMp4Movie(front);
  CloseMp4Movie(rear);
  front = OpenInput(frontPath, fault);
  rear = OpenInput(rearPath, rearFault);
  if (!rear) rearOk = 0;
  return front != nullptr;
}

bool sMULTIMOVIE::AppendMovie(const std::string& frontPath, const std::string& rearPath) {
  if (!front) {
    fault = JoinFault::kCannotOpen;
    return false;
  }
  Mp4MoviePtr f(OpenInput(frontPath, fault));
  if (!f || !sMP4MOVIE::AppendSamples(*front, *f, &fault)) return false;
  frontAppended.push_back(f.release());
  if (rearOk) {
    Mp4MoviePtr r(OpenInput(rearPath, rearFault));
    if (rear && r && sMP4MOVIE::AppendSamples(*rear, *r, &rearFault)) {
      rearAppended.push_back(r.release());
    } else {
      if (!rear) rearFault = JoinFault::kCannotOpen;
      rearOk = 0;
    }
  }
  return true;
}

// ---------------------------------------------------------------- writer

namespace {

std::atomic<bool> g_kernelCopy{true};

// A file descriptor with a write buffer; media ranges go through
// copy_file_range where the kernel offers it, else through a bounded buffer.
// The samples of a range that holds some to check are checked in the bytes
// copied, one window at a time: on the buffer's way in the buffer about to
// be written, on the kernel's way in the window read just before the kernel
// copies it, which it then finds in the page cache.  No input byte is read
// from its disk twice, and a window that fails the check is never written.
// The disk is set to work behind the copy: every few megabytes written are
// handed to writeback at once, so that the flush before the output takes its
// name finds little left to write.
class FdOutput : public Mp4Output {
 public:
  FdOutput(int fd, const std::atomic<bool>* cancel) : fd_(fd), cancel_(cancel) {}

  // Why the output failed: an input (kReadError, kDamaged), a cancel, else
  // the write's errno.
  JoinFault inputFault = JoinFault::kNone;
  bool cancelled = false;
  int writeError = 0;

  // The samples to check in the copy of [offset, offset + len) of `source`,
  // which must come in one Copy.
  void CheckSamples(const FileSource& source, uint64_t offset, uint64_t len,
                    const std::vector<Mp4UnitSample>& samples) {
    checks_.push_back({&source, offset, len, NalUnitStream(samples), false});
  }
  // True when every range given to CheckSamples was copied and checked whole.
  bool AllChecked() const {
    return std::all_of(checks_.begin(), checks_.end(), [](const SampleCheck& c) { return c.done; });
  }

  bool Write(const void* data, size_t len) override {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (len >= kBuffer) return Flush() && WriteAll(p, len);
    if (buf_.size() + len > kBuffer && !Flush()) return false;
    buf_.insert(buf_.end(), p, p + len);
    return true;
  }

  bool Copy(FileSource& source, uint64_t offset, uint64_t len) override {
    if (!Flush()) return false;
    SampleCheck* check = nullptr;
    for (SampleCheck& c : checks_)
      if (c.source == &source && c.offset == offset && c.len == len && !c.done) check = &c;
    while (len > 0) {
      if (Cancelled()) return false;
      // In windows that a cancel is checked between: small enough to stay
      // in the processor's cache from the read to the write, and for the
      // disk's readahead to run on while a window is written.
      const size_t step = static_cast<size_t>(std::min<uint64_t>(len, kCopyChunk));
      size_t held = 0;  // bytes of the window in chunk_
      if (check || !kernelCopy_) {
        if (!Hold(source, offset, step)) return false;
        held = step;
        if (check && (inputFault = check->units.Take(offset, chunk_.data(), step)) != JoinFault::kNone) return false;
      }
      size_t copied = 0;
      if (kernelCopy_ && !KernelCopy(source, offset, step, copied)) return false;
      if (copied < step) {
        if (held == 0 && !Hold(source, offset + copied, step - copied)) return false;
        const size_t from = held ? copied : 0;
        if (!WriteAll(chunk_.data() + from, step - copied)) return false;
      }
      offset += step;
      len -= step;
    }
    if (check) {
      if (!check->units.Done()) {
        inputFault = JoinFault::kDamaged;
        return false;
      }
      check->done = true;
    }
    return true;
  }

  bool Flush() {
    bool ok = WriteAll(buf_.data(), buf_.size());
    buf_.clear();
    return ok;
  }

 private:
  bool Cancelled() {
    if (cancel_ && cancel_->load()) cancelled = true;
    return cancelled;
  }

  struct SampleCheck {
    const FileSource* source;
    uint64_t offset, len;
    NalUnitStream units;
    bool done;
  };

  // Reads [offset, offset + len) of `source` into chunk_.
  bool Hold(FileSource& source, uint64_t offset, size_t len) {
    try {
      if (chunk_.size() < len) chunk_.resize(kCopyChunk);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (source.ReadExact(offset, chunk_.data(), len)) return true;
    inputFault = JoinFault::kReadError;
    return false;
  }

  // Copies as much of [offset, offset + len) as the kernel will
  // (`copied`); false for a failure that ends the output.
  bool KernelCopy(FileSource& source, uint64_t offset, size_t len, size_t& copied) {
    while (copied < len) {
      loff_t in = static_cast<loff_t>(offset + copied);
      ssize_t n = ::copy_file_range(source.Fd(), &in, fd_, nullptr, len - copied, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        // The kernel does not say which side of an EIO failed; a write
        // error is the likelier, and a failing input is caught by the
        // buffered copy.
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
            errno == EIO) {
          kernelCopy_ = false;
          return true;
        }
        writeError = errno;
        return false;
      }
      if (n == 0) {  // the source ended early
        inputFault = JoinFault::kReadError;
        return false;
      }
      copied += static_cast<size_t>(n);
      Written(static_cast<uint64_t>(n));
    }
    return true;
  }

  static constexpr size_t kBuffer = 1 << 20;
  static constexpr uint64_t kCopyChunk = 512 << 10;

  bool WriteAll(const uint8_t* p, size_t len) {
    while (len > 0) {
      ssize_t n = ::write(fd_, p, len);
      if (n < 0) {
        if (errno == EINTR) continue;
        writeError = errno;
        return false;
      }
      if (n == 0) {
        writeError = ENOSPC;
        return false;
      }
      p += n;
      len -= static_cast<size_t>(n);
      Written(static_cast<uint64_t>(n));
    }
    return true;
  }

  // Starts the writeback of what was written since it last started; a file
  // system that cannot is left to the flush.
  void Written(uint64_t n) {
    written_ += n;
    if (written_ - handedOn_ < kWriteback) return;
    (void)::sync_file_range(fd_, static_cast<off_t>(handedOn_), static_cast<off_t>(written_ - handedOn_),
                            SYNC_FILE_RANGE_WRITE);
    handedOn_ = written_;
  }

  static constexpr uint64_t kWriteback = 8 << 20;

  int fd_;
  const std::atomic<bool>* cancel_;
  bool kernelCopy_ = g_kernelCopy.load();
  std::vector<uint8_t> buf_;
  std::vector<uint8_t> chunk_;  // a copy window
  std::vector<SampleCheck> checks_;
  uint64_t written_ = 0;   // bytes in the file
  uint64_t handedOn_ = 0;  // bytes whose writeback has started
};

JoinFault WriteFault(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return JoinFault::kDiskFull;
    case EROFS:
    case EACCES:
    case EPERM:
      return JoinFault::kReadOnly;
    case EFBIG:  // more than the file system (FAT: 4 GiB) or the process may hold
      return JoinFault::kTooLong;
    default:
      return JoinFault::kWriteFailed;
  }
}

// The files a movie's output is made of: the movie's own and every appended
// one's.
std::vector<int> InputFds(sMP4MOVIE& movie) {
  std::vector<int> fds{movie.file.Fd()};
  if (const sTAGNODE* mdat = TopLevelMdat(movie))
    for (const sTAGNODE* p = mdat->appended; p; p = p->next)
      if (p->source) fds.push_back(p->source->Fd());
  return fds;
}

// True when writing `path` would plainly replace one of the inputs: the same
// file (also through links), or the same name on a card's file system as far
// as names tell (see CardName).  An early answer only: the file system has
// the last word when the output takes its name (SafeFileWriter::Protect).
bool NamesAnInput(const std::string& path, const std::vector<int>& inputs) {
  const CardName name = CardName::Of(path);
  for (int fd : inputs) {
    if (NamesOpenFile(path, fd)) return true;
    if (name.known && CardName::Of(PathOfOpenFile(fd)) == name) return true;
  }
  return false;
}

// Everything before the first byte: the checks and the chunk offsets of the
// output layout.
JoinFault PrepareOutput(sMP4MOVIE& movie, const std::string& path, const std::vector<int>& inputs) {
  if (path.empty()) return JoinFault::kWriteFailed;
  if (JoinFault fault = PrepareJoin(movie); fault != JoinFault::kNone) return fault;
  if (!SizesFit(movie.root)) return JoinFault::kTooLong;
  // Never write over one of the inputs.
  if (NamesAnInput(path, inputs)) return JoinFault::kOutputIsInput;
  if (IsFolder(path)) return JoinFault::kWriteFailed;
  const uint64_t start = MediaStart(movie, 0);
  for (size_t i = 0; i < movie.tracks.size(); ++i) {
    sTAGNODE* stco = movie.tracks[i].stco;
    const std::vector<uint64_t>& chunks = movie.join.chunks[i];
    if (stco->payload.size() != 8 + 4 * chunks.size()) return JoinFault::kTooLong;
    for (size_t k = 0; k < chunks.size(); ++k) {
      uint64_t v = start + chunks[k];
      if (v > UINT32_MAX) return JoinFault::kTooLong;
      PutBe32(stco->payload.data() + 8 + 4 * k, static_cast<uint32_t>(v));
    }
  }
  return JoinFault::kNone;
}

JoinFault WriterFault(const SafeFileWriter& file) {
  return file.ReachedProtected() ? JoinFault::kOutputIsInput : WriteFault(file.Error());
}

// Starts the output beside its target.  The inputs are protected: the output
// never takes a name under which the file system finds one of them, whatever
// spelling, link or mount reaches it; an existing file of another kind is
// replaced and passes on its permissions.
JoinFault OpenOutput(SafeFileWriter& file, const std::string& path, const std::vector<int>& inputs,
                     const std::function<void(const std::string&)>& noteFolder = {},
                     ClaimRecord* claims = nullptr) {
  file.Protect(inputs);
  if (noteFolder) file.NoteFolder(noteFolder);
  file.RecordClaims(claims);
  return file.Open(path, SafeFileWriter::Existing::kReplace) ? JoinFault::kNone : WriterFault(file);
}

// Writes the joined movie into the opened output and gives it its name.
JoinFault WriteOutput(sMP4MOVIE& movie, SafeFileWriter& file, const std::atomic<bool>* cancel) {
  bool ok;
  JoinFault fault = JoinFault::kNone;
  {
    FdOutput out(file.Fd(), cancel);
    // The media data of the movie's own file, then of each appended one.
    const sTAGNODE* mdat = TopLevelMdat(movie);
    size_t i = 0;
    for (const sTAGNODE* p = mdat; p; p = p == mdat ? p->appended : p->next, ++i) {
      if (i >= movie.join.unitSamples.size() || !p->source) {
        file.Abandon();
        return JoinFault::kDamaged;
      }
      if (!movie.join.unitSamples[i].empty())
        out.CheckSamples(*p->source, p->sourceOffset, p->sourceSize, movie.join.unitSamples[i]);
    }
    ok = WriteBoxTree(movie.root, out);
    if (ok && !out.AllChecked()) {
      out.inputFault = JoinFault::kDamaged;
      ok = false;
    }
    if (ok && movie.hasBlock) {
      uint8_t head[kGpsHeadSize];
      std::memcpy(head, movie.blockHead, sizeof head);
      PutBe16(head + 41, static_cast<uint16_t>(movie.blockCount));
      ok = out.Write(head, sizeof head) &&
           (movie.records.empty() || out.Write(movie.records.data(), movie.records.size())) && out.Write("CSOEND", 6);
    }
    ok = ok && out.Flush();
    if (!ok)
      fault = out.cancelled ? JoinFault::kCancelled
              : out.inputFault != JoinFault::kNone ? out.inputFault
                                                   : WriteFault(out.writeError);
  }
  if (!ok) {
    file.Abandon();
    return fault;
  }
  return file.Commit() ? JoinFault::kNone : WriterFault(file);
}

}  // namespace

void SetKernelFileCopy(bool allowed) { g_kernelCopy.store(allowed); }

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

bool WriteMp4Movie(sMP4MOVIE& movie, const std::string& path, JoinFault* why, const std::atomic<bool>* cancel) {
  JoinFault ignored;
  JoinFault& fault = why ? *why : ignored;
  const std::vector<int> inputs = InputFds(movie);
  SafeFileWriter file;
  if ((fault = PrepareOutput(movie, path, inputs)) != JoinFault::kNone) return false;
  if ((fault = OpenOutput(file, path, inputs)) != JoinFault::kNone) return false;
  return (fault = WriteOutput(movie, file, cancel)) == JoinFault::kNone;
}

JoinFault sMULTIMOVIE::Write(const std::string& frontPath, const std::string& rearPath) {
  if (!front) return fault = JoinFault::kCannotOpen;
  const bool withRear = rearOk && rear;
  // Every input of both cameras, checked against both outputs before either
  // is written.
  std::vector<int> inputs = InputFds(*front);
  if (withRear) {
    std::vector<int> r = InputFds(*rear);
    inputs.insert(inputs.end(), r.begin(), r.end());
  }
  fault = JoinFault::kOutputIsInput;
  if (NamesAnInput(frontPath, inputs)) return fault;
  if (withRear && (NamesAnInput(rearPath, inputs) || frontPath == rearPath || SameFileIgnoringCase(frontPath, rearPath)))
    return fault;
  // Both outputs are started, and so checked by the file system, before
  // either is written.
  SafeFileWriter frontFile, rearFile;
  if ((fault = OpenOutput(frontFile, frontPath, inputs, noteFolder, claims)) != JoinFault::kNone) return fault;
  if (withRear && (fault = OpenOutput(rearFile, rearPath, inputs, noteFolder, claims)) != JoinFault::kNone) return fault;
  if ((fault = PrepareOutput(*front, frontPath, inputs)) != JoinFault::kNone) return fault;
  if ((fault = WriteOutput(*front, frontFile, cancel)) != JoinFault::kNone || !withRear) return fault;
  if ((fault = PrepareOutput(*rear, rearPath, inputs)) != JoinFault::kNone) return fault;
  // Nor may the rear output replace the front one just written.
  int err = 0;
  const int written = OpenRegularFile(frontPath, &err);
  if (written >= 0) rearFile.Protect(std::span<const int>(&written, 1));
  fault = WriteOutput(*rear, rearFile, cancel);
  if (written >= 0) close(written);
  if (fault == JoinFault::kDamaged && !rearAppended.empty()) {
    rearOk = 0;
    rearFault = fault;
    fault = JoinFault::kNone;
  }
  return fault;
}

}  // namespace qv
