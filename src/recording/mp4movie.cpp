#include "recording/mp4movie.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_set>

namespace qv {

const char* const BoxTypeTable[168] = {
    "ainf", "avcn", "bloc", "bpcc", "buff", "bxml", "ccid", "cdef", "clip", "cmap", "co64", "colr", "crgn", "crhd",
    "cslg", "ctab", "ctts", "cvru", "dinf", "dref", "dsgd", "dstg", "edts", "elst", "fdel", "feci", "fecr", "fiin",
    "fire", "fpar", "free", "frma", "ftyp", "gitn", "grpi", "hdlr", "hmhd", "hpix", "icnu", "ID32", "idat", "ihdr",
    "iinf", "iloc", "imap", "imif", "infe", "infu", "iods", "iphd", "ipmc", "ipro", "iref", "jP  ", "jp2c", "jp2h",
    "jp2i", "kmat", "leva", "load", "lrcu", "m7hd", "matt", "mdat", "mdhd", "mdia", "mdri", "meco", "mehd", "mere",
    "meta", "mfhd", "mfra", "mfro", "minf", "mjhd", "moof", "moov", "mvcg", "mvci", "mvex", "mvhd", "mvra", "nmhd",
    "ochd", "odaf", "odda", "odhd", "odhe", "odrb", "odrm", "odtt", "ohdr", "padb", "paen", "pclr", "pdin", "pitm",
    "pnot", "prft", "res ", "resc", "resd", "rinf", "saio", "saiz", "sbgp", "schi", "schm", "sdep", "sdhd", "sdtp",
    "sdvp", "segr", "senc", "sgpd", "sidx", "sinf", "skip", "smhd", "srmb", "srmc", "srpp", "ssix", "stbl", "stco",
    "stdp", "sthd", "strd", "stri", "stsc", "stsd", "stsg", "stsh", "stss", "stsz", "stts", "styp", "stz2", "subs",
    "swtc", "tfad", "tfdt", "tfhd", "tfma", "tfra", "tibr", "tiri", "tkhd", "traf", "trak", "tref", "trex", "trgr",
    "trik", "trun", "udta", "uinf", "UITS", "ulst", "url ", "uuid", "vmhd", "vwdi", "xml ", "xml ", "udat", "ICAT",
};

namespace {

uint32_t CodeValue(const char* code) { return Be32(reinterpret_cast<const uint8_t*>(code)); }

// Filled once, on first use (thread-safe static initialisation).
const std::unordered_set<uint32_t>& KnownTypes() {
  static const std::unordered_set<uint32_t> set = [] {
    std::unordered_set<uint32_t> s;
    for (const char* code : BoxTypeTable) s.insert(CodeValue(code));
    return s;
  }();
  return set;
}

}  // namespace

bool IsKnownBoxType(const char* code) { return KnownTypes().count(CodeValue(code)) != 0; }

bool ReadBoxHeader(const uint8_t* h, uint64_t left, uint64_t& size, uint64_t& header) {
  size = Be32(h);
  header = 8;
  if (size == 1) {
    if (left < 16) return false;
    size = Be64(h + 8);
    header = 16;
  } else if (size == 0) {
    size = left;
  }
  return size >= header && size <= left;
}

bool sTAGNODE::Is(const char* code) const { return std::memcmp(type, code, 4) == 0; }

ReadWindow& sMP4MOVIE::Reads() {
  if (!reads_) reads_ = std::make_unique<ReadWindow>(file, kBoxReadWindow);
  return *reads_;
}

bool sMP4MOVIE::LoadLeaf(sTAGNODE& node) {
  node.leaf = 1;
  if (!loadPayloads || node.Is("mdat") || node.size > kMaxLoadedPayload || loadedTotal_ + node.size > kMaxLoadedTotal)
    return true;
  loadedTotal_ += node.size;
  try {
    node.payload.resize(static_cast<size_t>(node.size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (node.size && !Reads().ReadExact(node.offset, node.payload.data(), node.payload.size())) return false;
  node.loadedSize = node.size;
  node.loaded = true;
  return true;
}

// Parses the payload of `parent` as a list of boxes.  At the top level the
// list ends at the first unknown type (the drive-data block) or when fewer
// than 8 bytes are left; inside a container an unknown but well-formed box is
// kept as an opaque leaf, and bytes too few for a header answer kTrailing.
sMP4MOVIE::Level sMP4MOVIE::ParseLevel(sTAGNODE& parent, int level) {
  parent.level = level;
  const bool top = level == 0;
  const uint64_t end = parent.offset + parent.size;
  uint64_t pos = parent.offset;
  while (pos < end) {
    const uint64_t left = end - pos;
    if (left < 8) {
      if (top) break;
      return Level::kTrailing;
    }
    uint8_t h[16];
    if (!Reads().ReadExact(pos, h, static_cast<size_t>(std::min<uint64_t>(16, left)))) return Level::kFail;
    const char* code = reinterpret_cast<const char*>(h + 4);
    const bool known = IsKnownBoxType(code);
    if (top && !known) break;
    uint64_t boxSize, header;
    if (!ReadBoxHeader(h, left, boxSize, header)) return Level::kFail;
    if (++boxCount_ > kMaxBoxCount) return Level::kFail;

    sTAGNODE node;
    std::memcpy(node.type, code, 4);
    node.level = level + 1;
    node.source = &file;
    node.size = node.sourceSize = boxSize - header;
    node.offset = node.sourceOffset = pos + header;

    bool container = false;
    if (known && !node.Is("mdat") && node.size >= 8) {
      uint8_t inner[4];
      if (!Reads().ReadExact(node.offset + 4, inner, 4)) return Level::kFail;
      container = IsKnownBoxType(reinterpret_cast<const char*>(inner));
    }
    if (container) {
      if (level + 1 >= kMaxBoxDepth) return Level::kFail;
      Level sub = ParseLevel(node, level + 1);
      if (sub == Level::kFail) return Level::kFail;
      if (sub == Level::kTrailing) {
        // Children that do not fill the box exactly: keep it whole, as read.
        node.children.clear();
        if (!LoadLeaf(node)) return Level::kFail;
      }
    } else if (!LoadLeaf(node)) {
      return Level::kFail;
    }
    try {
      parent.children.push_back(std::move(node));
    } catch (const std::bad_alloc&) {
      return Level::kFail;
    }
    pos += boxSize;
  }
  if (top) topEnd = pos;
  return Level::kOk;
}

bool sMP4MOVIE::ParseBoxes(sTAGNODE& parent, int level) {
  boxCount_ = 0;
  loadedTotal_ = 0;
  return ParseLevel(parent, level) == Level::kOk;
}

bool sMP4MOVIE::ReadGpsBlock() {
  ReadWindow& reads = Reads();
  // The end of the file, where the block of 1000 records would begin, in
  // one read (a failure there shows in the reads below).
  const uint64_t tail = std::min<uint64_t>(fileSize, kGpsBlock1000);
  if (tail) (void)reads.Bytes(fileSize - tail, static_cast<size_t>(tail));
  std::memset(tailMarker, 0, sizeof tailMarker);
  if (fileSize >= 6 && !reads.ReadExact(fileSize - 6, tailMarker, 6)) return false;
  hasBlock = false;
  blockCount = 0;
  blockOffset = 0;
  std::memset(blockHead, 0, sizeof blockHead);
  records.clear();

  uint64_t count = 0;
  uint8_t head[kGpsHeadSize];
  if (fileSize >= kGpsBlock1000 && reads.ReadExact(fileSize - kGpsBlock1000, head, kGpsHeadSize) &&
      std::memcmp(head, "CSODAT", 6) == 0) {
    hasBlock = true;
    blockOffset = fileSize - kGpsBlock1000;
    count = 1000;
  } else if (topEnd <= fileSize && fileSize - topEnd >= kGpsHeadSize && reads.ReadExact(topEnd, head, kGpsHeadSize) &&
             std::memcmp(head, "CSODAT", 6) == 0) {
    hasBlock = true;
    blockOffset = topEnd;
    count = Be16(head + 41);
  }
  if (!hasBlock) return true;
  std::memcpy(blockHead, head, kGpsHeadSize);

  const uint64_t first = blockOffset + kGpsHeadSize;
  const uint64_t present = (fileSize - first) / kGpsRecordSize;
  try {
    if (count == kGpsCountToEnd) {
      // Records run up to the end marker (or the end of the file).
      uint64_t limit = std::min<uint64_t>(present, kGpsMaxRecords);
      uint64_t span = std::min<uint64_t>(fileSize - first, limit * kGpsRecordSize + 6);
      std::vector<uint8_t> buf(static_cast<size_t>(span));
      if (span && !reads.ReadExact(first, buf.data(), buf.size())) return false;
      // Without an end marker the records present are taken.
      uint64_t n = 0;
      while (n < limit) {
        uint64_t at = n * kGpsRecordSize;
        if (at + 6 <= span && std::memcmp(buf.data() + at, "CSOEND", 6) == 0) break;
        ++n;
      }
      buf.resize(static_cast<size_t>(n * kGpsRecordSize));
      records = std::move(buf);
      blockCount = static_cast<uint32_t>(n);
    } else {
      uint64_t n = std::min(count, present);
      records.resize(static_cast<size_t>(n * kGpsRecordSize));
      if (n && !reads.ReadExact(first, records.data(), records.size())) return false;
      blockCount = static_cast<uint32_t>(n);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CollectBoxes(std::vector<sTAGNODE*>& list, sTAGNODE& node, const char* code) {
  if (node.Is(code)) list.push_back(&node);
  for (sTAGNODE& child : node.children) CollectBoxes(list, child, code);
}

uint64_t BoxSize(const sTAGNODE& node) {
  if (node.leaf || node.children.empty()) return node.size + 8;
  uint64_t sum = 8;
  for (const sTAGNODE& child : node.children) sum += BoxSize(child);
  return sum;
}

namespace {

sTAGNODE* Child(sTAGNODE* node, const char* code) {
  if (!node) return nullptr;
  for (sTAGNODE& c : node->children)
    if (c.Is(code)) return &c;
  return nullptr;
}

}  // namespace

void sMP4MOVIE::IndexBoxes() {
  struct {
    std::vector<sTAGNODE*>* list;
    const char* code;
  } lists[] = {{&mdat, "mdat"}, {&stsc, "stsc"}, {&stsz, "stsz"}, {&stco, "stco"}, {&stss, "stss"}, {&stts, "stts"},
               {&mdhd, "mdhd"}, {&mvhd, "mvhd"}, {&tkhd, "tkhd"}, {&elst, "elst"}, {&stsd, "stsd"}};
  for (auto& l : lists) {
    l.list->clear();
    for (sTAGNODE& top : root.children) CollectBoxes(*l.list, top, l.code);
  }
  duration = 0;
  if (!mvhd.empty()) ReadBoxDuration(mvhd.front(), duration);

  tracks.clear();
  sTAGNODE* moov = Child(&root, "moov");
  if (!moov) return;
  for (sTAGNODE& trak : moov->children) {
    if (!trak.Is("trak")) continue;
    Mp4Track t;
    t.trak = &trak;
    t.tkhd = Child(&trak, "tkhd");
    t.elst = Child(Child(&trak, "edts"), "elst");
    sTAGNODE* mdia = Child(&trak, "mdia");
    t.mdhd = Child(mdia, "mdhd");
    t.hdlr = Child(mdia, "hdlr");
    if (t.hdlr && t.hdlr->loaded && t.hdlr->payload.size() >= 12) std::memcpy(t.handler, t.hdlr->payload.data() + 8, 4);
    t.stbl = Child(Child(mdia, "minf"), "stbl");
    t.stsd = Child(t.stbl, "stsd");
    t.stts = Child(t.stbl, "stts");
    t.ctts = Child(t.stbl, "ctts");
    t.stss = Child(t.stbl, "stss");
    t.stsc = Child(t.stbl, "stsc");
    t.stsz = Child(t.stbl, "stsz");
    t.stz2 = Child(t.stbl, "stz2");
    t.stco = Child(t.stbl, "stco");
    t.co64 = Child(t.stbl, "co64");
    t.sdtp = Child(t.stbl, "sdtp");
    t.sgpd = Child(t.stbl, "sgpd");
    t.sbgp = Child(t.stbl, "sbgp");
    tracks.push_back(t);
  }
}

sMP4MOVIE* OpenMp4Movie(const std::string& path, bool loadPayloads, int* error) {
  int ignored;
  int& err = error ? *error : ignored;
  err = 0;
  std::unique_ptr<sMP4MOVIE> movie;
  try {
    movie = std::make_unique<sMP4MOVIE>();
    movie->path = path;
  } catch (const std::bad_alloc&) {
    err = ENOMEM;
    return nullptr;
  }
  movie->loadPayloads = loadPayloads;
  if (!movie->file.Open(path)) {
    err = movie->file.LastError() ? movie->file.LastError() : ENOENT;
    return nullptr;
  }
  movie->fileSize = movie->file.Size();
  sTAGNODE& root = movie->root;
  root.source = &movie->file;
  root.size = root.sourceSize = movie->fileSize;
  const bool read = movie->ParseBoxes(root, 0) && movie->ReadGpsBlock();
  movie->reads_.reset();
  if (!read) {
    err = movie->file.LastError();
    return nullptr;
  }
  movie->IndexBoxes();
  return movie.release();
}

void CloseMp4Movie(sMP4MOVIE* movie) { delete movie; }

int BoxVersion(const sTAGNODE* node) {
  if (!node || !node->loaded || node->payload.empty()) return -1;
  return node->payload[0];
}

namespace {

// Offset and width of the duration field, by box type and version.
bool DurationField(const sTAGNODE* node, size_t& at, size_t& width) {
  int v = BoxVersion(node);
  if (v < 0) return false;
  if (node->Is("mvhd") || node->Is("mdhd")) {
    at = v == 1 ? 24 : 16;
  } else if (node->Is("tkhd")) {
    at = v == 1 ? 28 : 20;
  } else if (node->Is("elst")) {
    // First entry's segment duration; the entry count must be non-zero.
    if (node->payload.size() < 8 || Be32(node->payload.data() + 4) == 0) return false;
    at = 8;
  } else {
    return false;
  }
  width = v == 1 ? 8 : 4;
  return node->payload.size() >= at + width;
}

}  // namespace

bool ReadBoxDuration(const sTAGNODE* node, uint64_t& out) {
  size_t at, width;
  if (!DurationField(node, at, width)) return false;
  const uint8_t* p = node->payload.data() + at;
  out = width == 8 ? Be64(p) : Be32(p);
  return true;
}

bool WriteBoxDuration(sTAGNODE* node, uint64_t value) {
  size_t at, width;
  if (!DurationField(node, at, width)) return false;
  uint8_t* p = node->payload.data() + at;
  if (width == 8) {
    PutBe64(p, value);
  } else {
    if (value > UINT32_MAX) return false;
    PutBe32(p, static_cast<uint32_t>(value));
  }
  return true;
}

bool ReadTimeScale(const sTAGNODE* node, uint32_t& out) {
  int v = BoxVersion(node);
  if (v < 0 || !(node->Is("mvhd") || node->Is("mdhd"))) return false;
  size_t at = v == 1 ? 20 : 12;
  if (node->payload.size() < at + 4) return false;
  out = Be32(node->payload.data() + at);
  return true;
}

}  // namespace qv
