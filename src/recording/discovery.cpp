#include "recording/discovery.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "platform/apphelpers.h"
#include "platform/atomicwrite.h"
#include "platform/drives.h"
#include "platform/filesource.h"
#include "platform/pathutil.h"
#include "recording/mp4movie.h"
#include "recording/recordingname.h"
#include "recording/scanwalk.h"

namespace qv {

namespace {

// Of the head a recording needs its first top-level box headers ("ftyp" and
// the "mdat" header); a movie index at the start is read on as needed.
constexpr size_t kHeadRead = 1024;
constexpr uint64_t kMaxMoovBytes = 64u << 20;
// Bytes read on past a box header that lies beyond what is held.
constexpr uint64_t kReadAhead = 24 * 1024;
// From a "moov" header a reading thread reads as much as the movie before
// needed (the recordings of a folder are alike: one read each), with room
// for a somewhat longer table; a thread's first movie gets kReadAhead.
constexpr uint64_t kIndexRoom = 2048;
constexpr uint64_t kMaxIndexReach = 256 * 1024;  // a long movie's index does not size the next read
thread_local uint64_t t_indexReach = kReadAhead;

// The file's bytes as the index walk asks for them: from the head, else from
// one window that grows by the bytes just past it or moves to a range beyond.
class IndexBytes {
 public:
  IndexBytes(FileSource& f, const uint8_t* head, size_t headLen) : f_(f), head_(head), headLen_(headLen) {}

  // The bytes [at, at + len), reading up to `ahead` bytes from `at` (not past
  // `limit`) when some are missing; null when they cannot be read.
  const uint8_t* Get(uint64_t at, uint64_t len, uint64_t limit, uint64_t ahead) {
    if (failed_) return nullptr;
    reach_ = std::max(reach_, at + len);
    if (at + len <= headLen_) return head_ + at;
    const uint64_t winEnd = winAt_ + winLen_;
    if (winLen_ && at >= winAt_ && at + len <= winEnd) return buffer_.data() + (at - winAt_);
    const uint64_t want = std::max(at + len, std::min(limit, at + ahead));
    const bool extend = winLen_ && at >= winAt_ && at <= winEnd;
    const uint64_t from = extend ? winEnd : at;
    const uint64_t keep = extend ? winLen_ : 0;
    if (buffer_.size() < keep + (want - from)) buffer_.resize(static_cast<size_t>(keep + (want - from)));
    if (!f_.ReadExact(from, buffer_.data() + keep, static_cast<size_t>(want - from))) {
      failed_ = true;
      return nullptr;
    }
    winAt_ = extend ? winAt_ : at;
    winLen_ = keep + (want - from);
    return buffer_.data() + (at - winAt_);
  }
  bool Failed() const { return failed_; }
  // The end of the furthest bytes asked for.
  uint64_t Reach() const { return reach_; }

 private:
  FileSource& f_;
  const uint8_t* head_;
  size_t headLen_;
  static thread_local std::vector<uint8_t> buffer_;
  uint64_t winAt_ = 0, winLen_ = 0, reach_ = 0;
  bool failed_ = false;
};
thread_local std::vector<uint8_t> IndexBytes::buffer_;

// A box of the file: its type, payload start and end.
struct FileBox {
  char type[4];
  uint64_t start;
  uint64_t payload;
  uint64_t end;
};

bool Is(const FileBox& b, const char* type) { return std::memcmp(b.type, type, 4) == 0; }

// Calls fn for each box in [begin, end) until fn answers false; stops at the
// first malformed header or unreadable byte.
template <typename Fn>
void ForEachBox(IndexBytes& bytes, uint64_t begin, uint64_t end, Fn fn, uint64_t ahead = kReadAhead) {
  uint64_t at = begin;
  while (end - at >= 8) {
    const uint8_t* h = bytes.Get(at, std::min<uint64_t>(16, end - at), end, ahead);
    uint64_t size, header;
    if (!h || !ReadBoxHeader(h, end - at, size, header)) return;
    FileBox box;
    std::memcpy(box.type, h + 4, 4);
    box.start = at;
    box.payload = at + header;
    box.end = at + size;
    if (!fn(box)) return;
    at += size;
  }
}

// The first child of the given type in [begin, end); false when there is none.
bool Child(IndexBytes& bytes, uint64_t begin, uint64_t end, const char* type, FileBox& found) {
  bool got = false;
  ForEachBox(bytes, begin, end, [&](const FileBox& b) {
    if (!Is(b, type)) return true;
    found = b;
    got = true;
    return false;
  });
  return got;
}

// The video track's sizes from the "moov" payload [begin, end), as the movie
// index reads them: sum of the sample sizes (a count with its top bit set is
// empty).  Of the box only the headers on the way and the sample-size table
// are read; nothing is set when a byte on the way cannot be read.
void ReadVideoSizes(IndexBytes& bytes, uint64_t begin, uint64_t end, MovieSummary& s) {
  bool found = false;
  uint64_t samples = 0, media = 0;
  ForEachBox(bytes, begin, end, [&](const FileBox& trak) {
    if (!Is(trak, "trak")) return true;
    FileBox mdia, hdlr, minf, stbl, stsz;
    if (!Child(bytes, trak.payload, trak.end, "mdia", mdia)) return true;
    if (!Child(bytes, mdia.payload, mdia.end, "hdlr", hdlr) || hdlr.end - hdlr.payload < 12) return true;
    const uint8_t* handler = bytes.Get(hdlr.payload, 12, hdlr.end, 0);
    if (!handler || std::memcmp(handler + 8, "vide", 4) != 0) return true;
    if (!Child(bytes, mdia.payload, mdia.end, "minf", minf) || !Child(bytes, minf.payload, minf.end, "stbl", stbl) ||
        !Child(bytes, stbl.payload, stbl.end, "stsz", stsz) || stsz.end - stsz.payload < 12)
      return false;
    const uint8_t* p = bytes.Get(stsz.payload, 12, stsz.end, 0);
    if (!p) return false;
    const uint32_t fixed = Be32(p + 4), count = Be32(p + 8);
    if (count & 0x80000000u) return false;
    samples = count;
    if (fixed) {
      media = uint64_t{fixed} * count;
      found = true;
      return false;
    }
    const uint64_t present = (stsz.end - stsz.payload - 12) / 4;
    const uint64_t k = std::min<uint64_t>(count, present);
    const uint8_t* sizes = k ? bytes.Get(stsz.payload + 12, 4 * k, stsz.end, 0) : p;
    if (!sizes) return false;
    media = SumBe32(sizes, k);
    found = true;
    return false;
  });
  if (found && !bytes.Failed()) {
    s.samples = samples;
    s.mediaBytes = media;
  }
}

// Walks the top-level box headers (at most 1024) from the head buffer on to
// "moov".
void ReadMovieIndex(FileSource& f, const uint8_t* head, size_t headLen, MovieSummary& s) {
  IndexBytes bytes(f, head, headLen);
  int boxes = 0;
  ForEachBox(
      bytes, 0, f.Size(),
      [&](const FileBox& box) {
        if (!Is(box, "moov")) return ++boxes < 1024;
        if (box.end - box.payload > kMaxMoovBytes) return false;
        ReadVideoSizes(bytes, box.payload, box.end, s);
        if (box.start >= headLen && bytes.Reach() > box.start)
          t_indexReach = std::min(kMaxIndexReach, bytes.Reach() - box.start + kIndexRoom);
        return false;
      },
      t_indexReach);
}

const std::string& NameOf(const RecordingEntry& e) { return e.frontName.empty() ? e.rearName : e.frontName; }

int TriggerOf(const std::string& name) {
  const char32_t c = RecordingNameChar(name, 10);
  return (c == U'A' || c == U'G' || c == U'M' || c == U'P' || c == U'S') ? static_cast<int>(c) : 0;
}

}  // namespace

bool IsDateFolderPattern(std::string_view name) {
  auto digits = [&](size_t at, size_t n) {
    for (size_t i = at; i < at + n; ++i)
      if (name[i] < '0' || name[i] > '9') return false;
    return true;
  };
  for (size_t p = 0; p + 12 <= name.size(); ++p)
    if (name[p + 8] == '_' && digits(p, 8) && digits(p + 9, 3)) return true;
  return false;
}

namespace {

// What the scan needs of one camera's movie for a row.
void FillFileInfo(const std::string& path, const MovieSummary* s, RecordingEntry& entry, int camera) {
  uint64_t size = 0, samples = 0;
  if (s && s->check != FileCheck::kUnreadable) {
    size = IsRecordingFileName(path) ? s->mediaBytes : s->fileBytes;
    samples = s->samples;
  }
  (camera == 0 ? entry.frontSize : entry.rearSize) = size;
  (camera == 0 ? entry.frontSamples : entry.rearSamples) = samples;
}

}  // namespace

void AppendEntry(const std::string& frontPath, const MovieSummary* front, const std::string& rearPath,
                 const MovieSummary* rear, std::vector<RecordingEntry>& entries, ScanContext& ctx) {
  RecordingEntry e;
  if (front && front->exists) {
    e.frontPath = frontPath;
    e.frontName = BaseNameView(frontPath);
  }
  if (rear && rear->exists) {
    e.rearPath = rearPath;
    e.rearName = BaseNameView(rearPath);
  }
  FillFileInfo(frontPath, front, e, 0);
  FillFileInfo(rearPath, rear, e, 1);
  e.sequence = ctx.sequence++;
  e.joined = 0;
  const int trigger = TriggerOf(NameOf(e));
  e.parking = (trigger == 'P' || trigger == 'S') ? 1 : 0;
  e.sortLetter = e.frontName.empty() ? 0 : TriggerOf(e.frontName) ? static_cast<int>(e.frontName[0]) : 0;
  entries.push_back(std::move(e));
}

MovieSummary ReadMovieSummary(const std::string& path) {
  MovieSummary s;
  FileSource f;
  if (!f.Open(path)) {
    const int err = f.LastError();
    s.exists = err != ENOENT && err != ENOTDIR;
    s.check = OpenFailureCheck(err);
    if (s.check == FileCheck::kUnreadable) s.error = err;
    return s;
  }
  s.exists = true;
  s.fileBytes = f.Size();
  if (f.Size() < std::max(kCheckTailLength, kCheckHeadLength)) return s;
  uint8_t head[kHeadRead];
  const size_t headLen = static_cast<size_t>(std::min<uint64_t>(kHeadRead, f.Size()));
  char tail[kCheckTailLength];
  if (!f.ReadExact(f.Size() - kCheckTailLength, tail, sizeof tail) || !f.ReadExact(0, head, headLen)) {
    s.check = FileCheck::kUnreadable;
    s.error = f.LastError() ? f.LastError() : EIO;
    return s;
  }
  if (RecordingBytesComplete(tail, head, headLen)) s.check = FileCheck::kComplete;
  ReadMovieIndex(f, head, headLen, s);
  return s;
}

FolderTreeSink::Item FolderTreeRecord::InsertFolder(Item parent, const std::string& name) {
  ops_.push_back({parent, name, false, 0});
  return static_cast<Item>(ops_.size());
}

void FolderTreeRecord::SetFolderFlags(Item item, uint32_t mask) { ops_.push_back({item, {}, true, mask}); }

void FolderTreeRecord::Replay(FolderTreeSink& tree, Item root) const {
  std::vector<Item> made(ops_.size() + 1, 0);
  made[0] = root;
  for (size_t i = 0; i < ops_.size(); ++i) {
    const Op& op = ops_[i];
    const Item target = made[static_cast<size_t>(op.item)];
    if (op.flags)
      tree.SetFolderFlags(target, op.mask);
    else
      made[i + 1] = tree.InsertFolder(target, op.name);
  }
}

MovieSummary ScanContext::Summary(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t cut = slash == std::string::npos ? 0 : slash + 1;
  std::vector<RememberedMovie>& folder = remembered[path.substr(0, cut)];
  const std::string_view name = std::string_view(path).substr(cut);
  auto it = std::lower_bound(folder.begin(), folder.end(), name,
                             [](const RememberedMovie& m, std::string_view n) { return m.name < n; });
  if (it == folder.end() || it->name != name) it = folder.insert(it, {std::string(name), ReadMovieSummary(path)});
  // A file remembered as unreadable is reported again by a later step that
  // meets it (the folder fill after the source's scan).
  Meet(path, it->summary);
  return it->summary;
}

void ScanContext::Meet(const std::string& path, const MovieSummary& s) {
  if (s.exists && s.check == FileCheck::kUnreadable && unreadablePath.empty()) {
    unreadablePath = path;
    unreadableError = s.error;
  }
}

void ScanContext::MeetFolder(const std::string& path, int error) {
  if (error != 0 && error != ENOENT && error != ENOTDIR && unreadablePath.empty()) {
    unreadablePath = path;
    unreadableError = error;
  }
}

namespace {

struct ListFailure {
  std::mutex mutex;
  std::atomic<bool> armed{false};
  std::string folder;
  int error = 0;
  int afterEntries = -1;
};

ListFailure& InjectedListFailure() {
  static ListFailure failure;
  return failure;
}

// The injected failure for `folder`: its errno (0 for none) and after how
// many entries (-1: at the open).
int InjectedFailure(const std::string& folder, int& afterEntries) {
  ListFailure& f = InjectedListFailure();
  if (!f.armed.load(std::memory_order_relaxed)) return 0;
  std::lock_guard<std::mutex> lock(f.mutex);
  if (f.folder != folder) return 0;
  afterEntries = f.afterEntries;
  return f.error;
}

}  // namespace

void InjectFolderListFailure(const std::string& folder, int error, int afterEntries) {
  ListFailure& f = InjectedListFailure();
  std::lock_guard<std::mutex> lock(f.mutex);
  f.folder = folder;
  f.error = error;
  f.afterEntries = afterEntries;
  f.armed.store(!folder.empty() && error != 0);
}

bool ListFolderItems(const std::string& folder, std::vector<FolderItem>& items, int* error) {
  int failAfter = -1;
  const int injected = InjectedFailure(folder, failAfter);
  auto fail = [&](int err) {
    items.clear();
    if (error) *error = err;
    return false;
  };
  if (injected && failAfter < 0) return fail(injected);
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return fail(errno);
  int read = 0;
  for (;;) {
    // readdir answers null at the end and on a failure; only errno tells.
    errno = 0;
    const dirent* d = injected && read == failAfter ? nullptr : readdir(dir);
    if (!d) {
      const int err = injected && read == failAfter ? injected : errno;
      closedir(dir);
      // A listing cut short is no listing: what it lacks would pass for gone.
      return err ? fail(err) : true;
    }
    ++read;
    if (d->d_name[0] == '\0' || d->d_name[0] == '.') continue;  // hidden, "." and ".."
    FolderItem item;
    item.name = d->d_name;
    item.path = JoinPath(folder, item.name);
    if (d->d_type == DT_DIR) {
      item.isFolder = true;
    } else if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
      item.isFolder = IsFolder(item.path);
    }
    items.push_back(std::move(item));
  }
}

bool ScanFolderEntries(const std::string& folder, std::vector<RecordingEntry>& entries, int* fileCounter, int depth,
                       ScanContext& ctx) {
  ScanWalk walk(entries, ctx);
  return walk.Scan(folder, fileCounter, depth);
}

bool FillFolderTree(const std::string& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
                    std::vector<RecordingEntry>& entries, std::vector<RecordingEntry>* folderRows, bool recurse,
                    int* pairCounter, int depth, ScanContext& ctx) {
  ScanWalk walk(entries, ctx);
  return walk.Fill(folder, tree, parent, folderRows, recurse, pairCounter, depth);
}

int AddFileEntry(const std::string& path, std::vector<RecordingEntry>& entries, ScanContext& ctx) {
  std::string front, rear;
  if (ResolvePair(path, entries, front, rear) == 1) AddEntry(front, rear, entries, ctx);
  return 1;
}

bool AddEntry(const std::string& frontPath, const std::string& rearPath, std::vector<RecordingEntry>& entries,
              ScanContext& ctx) {
  if (!IsMp4FileName(frontPath)) return false;
  MovieSummary front, rear;
  if (!frontPath.empty()) front = ctx.Summary(frontPath);
  if (!rearPath.empty()) rear = ctx.Summary(rearPath);
  AppendEntry(frontPath, frontPath.empty() ? nullptr : &front, rearPath, rearPath.empty() ? nullptr : &rear, entries,
              ctx);
  return true;
}

int AddFolderEntry(const std::string& folder, std::vector<RecordingEntry>& rows) {
  RecordingEntry e;
  e.frontPath = folder;
  e.frontName = BaseName(folder);
  e.sequence = -1;
  e.frontSize = e.rearSize = ~uint64_t{0};
  rows.push_back(std::move(e));
  return 1;
}

bool CompareFolders(const FolderItem& a, const FolderItem& b) { return a.name < b.name; }

void SortEntries(std::vector<RecordingEntry>& entries) {
  // Sorted as keys (group, prefix, place), then moved.
  struct Key {
    int group;
    std::string_view prefix;
    size_t index;
  };
  std::vector<Key> keys;
  keys.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = NameOf(entries[i]);
    int group = 2;
    if (IsRecordingFileName(name)) {
      const char32_t t = RecordingNameChar(name, 10);
      group = t == U'P' || t == U'S' ? 1 : 0;
    }
    keys.push_back({group, std::string_view(name).substr(0, 3), i});
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.group != b.group) return a.group < b.group;
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return a.index < b.index;
  });
  // Moved into place along the cycles of the order, each row once.
  constexpr size_t kPlaced = ~size_t{0};
  for (size_t start = 0; start < keys.size(); ++start) {
    if (keys[start].index == kPlaced || keys[start].index == start) continue;
    RecordingEntry held = std::move(entries[start]);
    size_t at = start;
    for (;;) {
      const size_t from = std::exchange(keys[at].index, kPlaced);
      if (from == start) {
        entries[at] = std::move(held);
        break;
      }
      entries[at] = std::move(entries[from]);
      at = from;
    }
  }
}

void RemoveEntries(std::vector<RecordingEntry>& entries, const std::vector<RecordingEntry>& removed) {
  std::unordered_set<std::string> gone;
  for (const RecordingEntry& e : removed) gone.insert(e.frontPath.empty() ? e.rearPath : e.frontPath);
  std::erase_if(entries, [&](const RecordingEntry& e) { return gone.count(e.frontPath.empty() ? e.rearPath : e.frontPath) > 0; });
}

int DiskSizeClass(uint64_t totalBytes) {
  if (totalBytes <= 36000000000ull) return 0;
  if (totalBytes <= 108000000000ull) return 1;
  return 2;
}

int GetDiskSizeClass(const std::string& root) {
  DiskSpace space;
  return GetDiskSpace(root, space) ? DiskSizeClass(space.totalBytes) : 0;
}

bool ParseFormatConfig(const std::string& bytes, FormatInfo& info) {
  if (bytes.size() < 42) return false;
  std::string version;
  for (int i = 0; i < 3; ++i) {
    const char c = bytes[24 + static_cast<size_t>(i)];
    if (i) version += '.';
    version += (c >= '0' && c <= '9') ? c : '0';
  }
  // The model text is in the recorder's single-byte code page; its ASCII
  // part is what the recorders write, other bytes are read as Latin-1.
  std::string model;
  for (size_t i = 16; i < 24 && bytes[i] != '\0'; ++i) AppendUtf8(model, static_cast<unsigned char>(bytes[i]));
  info.version = version;
  info.extra1.clear();
  info.extra2.clear();
  info.model = model;
  return true;
}

bool ReadFormatConfig(const std::string& folder, FormatInfo& info) {
  FileSource f;
  if (!f.Open(JoinPath(folder, kFormatConfigName)) || f.Size() < 42) return false;
  std::string bytes(42, '\0');
  return f.ReadExact(0, bytes.data(), bytes.size()) && ParseFormatConfig(bytes, info);
}

FolderSplit SplitSourceFolder(const std::string& path) {
  std::string p = path;
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {"", p};
  if (p.size() == 1) return {"", p};  // the root itself
  return {slash == 0 ? "/" : p.substr(0, slash), p.substr(slash + 1)};
}

// ---- the watcher ----

CMovieResource::CMovieResource(std::string mountTable, int periodMs)
    : mountTable_(std::move(mountTable)), periodMs_(periodMs) {
  thread_ = std::thread([this] { Run(); });
}

CMovieResource::~CMovieResource() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CMovieResource::SetOwner(MessagePost* owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  owner_ = owner;
}

void CMovieResource::SetWatchPath(const std::string& path) {
  // The mount point is looked up here, on the caller's thread, while the
  // path still exists.  A device boundary that is no mount (a file-system
  // subvolume) is not watched in the table: only the path's existence is.
  std::string mount = path.empty() ? std::string() : MountRootOf(path);
  if (!mount.empty() && mount != "/" && !MountListed(mount)) mount.clear();
  SetWatchPath(path, mount);
}

void CMovieResource::SetWatchPath(const std::string& path, const std::string& mountPoint) {
  std::lock_guard<std::mutex> lock(mutex_);
  watchPath_ = path;
  mountPoint_ = mountPoint == "/" ? std::string() : mountPoint;
}

std::string CMovieResource::WatchPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return watchPath_;
}

int CMovieResource::MountState(const std::string& mountPoint) const {
  std::string text;
  if (!ReadWholeFile(mountTable_, text)) return -1;
  for (const MountEntry& m : ParseMountInfo(text))
    if (m.mountPoint == mountPoint) return 1;
  return 0;
}

bool CMovieResource::MountListed(const std::string& mountPoint) const { return MountState(mountPoint) == 1; }

bool CMovieResource::Gone(const std::string& path, const std::string& mountPoint) const {
  if (!PathExists(path)) return true;
  // Without a table to ask, the path's existence decides.
  return !mountPoint.empty() && MountState(mountPoint) == 0;
}

void CMovieResource::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (!watchPath_.empty() && owner_) {
      const std::string path = watchPath_, mount = mountPoint_;
      lock.unlock();
      const bool gone = Gone(path, mount);
      lock.lock();
      // Posted only when the path was not replaced meanwhile.
      if (gone && !stop_ && owner_ && watchPath_ == path) {
        removed = 1;
        watchPath_.clear();
        mountPoint_.clear();
        owner_->Post(kMsgMovieResourceRemoved, 0, 0);
      }
    }
    wake_.wait_for(lock, std::chrono::milliseconds(periodMs_), [this] { return stop_; });
  }
}

}  // namespace qv
