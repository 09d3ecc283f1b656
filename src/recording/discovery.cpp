#include "recording/discovery.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "platform/apphelpers.h"
#include "platform/atomicwrite.h"
#include "platform/drives.h"
#include "platform/filesource.h"
#include "platform/pathutil.h"
#include "recording/mp4movie.h"
#include "recording/recordingname.h"

namespace qv {

namespace {

constexpr size_t kHeadRead = 4096;
constexpr uint64_t kMaxMoovBytes = 64u << 20;
// Bytes read on past a box header that lies beyond what is held: with a
// recording's "moov" header they reach its video track's sample sizes, so
// that the movie index usually costs one read of a fraction of the box.
constexpr uint64_t kReadAhead = 24 * 1024;

// The file's bytes as the index walk asks for them: from the head, else from
// one window that grows by the bytes just past it or moves to a range beyond.
class IndexBytes {
 public:
  IndexBytes(FileSource& f, const uint8_t* head, size_t headLen) : f_(f), head_(head), headLen_(headLen) {}

  // The bytes [at, at + len), reading up to `ahead` bytes from `at` (not past
  // `limit`) when some are missing; null when they cannot be read.
  const uint8_t* Get(uint64_t at, uint64_t len, uint64_t limit, uint64_t ahead) {
    if (failed_) return nullptr;
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

 private:
  FileSource& f_;
  const uint8_t* head_;
  size_t headLen_;
  static thread_local std::vector<uint8_t> buffer_;
  uint64_t winAt_ = 0, winLen_ = 0;
  bool failed_ = false;
};
thread_local std::vector<uint8_t> IndexBytes::buffer_;

// A box of the file: its type, payload start and end.
struct FileBox {
  char type[4];
  uint64_t payload;
  uint64_t end;
};

bool Is(const FileBox& b, const char* type) { return std::memcmp(b.type, type, 4) == 0; }

// Calls fn for each box in [begin, end) until fn answers false; stops at the
// first malformed header or unreadable byte.
template <typename Fn>
void ForEachBox(IndexBytes& bytes, uint64_t begin, uint64_t end, Fn fn) {
  uint64_t at = begin;
  while (end - at >= 8) {
    const uint8_t* h = bytes.Get(at, std::min<uint64_t>(16, end - at), end, kReadAhead);
    uint64_t size, header;
    if (!h || !ReadBoxHeader(h, end - at, size, header)) return;
    FileBox box;
    std::memcpy(box.type, h + 4, 4);
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
    uint64_t sum = 0;
    for (uint64_t i = 0; i < k; ++i) sum += Be32(sizes + 4 * i);
    media = sum;
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
  ForEachBox(bytes, 0, f.Size(), [&](const FileBox& box) {
    if (!Is(box, "moov")) return ++boxes < 1024;
    if (box.end - box.payload <= kMaxMoovBytes) ReadVideoSizes(bytes, box.payload, box.end, s);
    return false;
  });
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


// Reads movie summaries on a few threads, folder by folder in the order they
// were queued; the walk takes each one when it gets there, or reads it itself
// when no thread has started on it yet.  Threads claim movies without a lock;
// the walk sleeps until the one it wants is read.
class SummaryReadAhead {
 public:
  SummaryReadAhead(ScanContext& ctx, int threads) : ctx_(ctx), threads_(threads) { ctx_.readAhead = this; }
  ~SummaryReadAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_.store(true);
    }
    wake_.notify_all();
    for (std::thread& t : pool_) t.join();
    ctx_.readAhead = nullptr;
  }
  SummaryReadAhead(const SummaryReadAhead&) = delete;
  SummaryReadAhead& operator=(const SummaryReadAhead&) = delete;

  // Queues one folder's movies that the scan has not read yet.
  void Add(const std::vector<const std::string*>& paths) {
    std::vector<const std::string*> fresh;
    for (const std::string* path : paths)
      if (!ctx_.summaries.count(*path) && !queued_.count(*path)) fresh.push_back(path);
    if (fresh.empty()) return;
    auto batch = std::make_unique<Batch>(fresh.size());
    for (size_t i = 0; i < fresh.size(); ++i) {
      batch->jobs[i].path = *fresh[i];
      queued_.emplace(batch->jobs[i].path, &batch->jobs[i]);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      batches_.push_back(std::move(batch));
    }
    // Without threads (none could be started) the walk reads everything.
    try {
      while (static_cast<int>(pool_.size()) < threads_ && !failed_) pool_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      failed_ = true;
    }
    wake_.notify_all();
  }

  // The summary of a queued movie; false when it was not queued.
  bool Take(const std::string& path, MovieSummary& out) {
    const auto it = queued_.find(path);
    if (it == queued_.end()) return false;
    Job& job = *it->second;
    queued_.erase(it);
    int state = kQueued;
    if (job.state.compare_exchange_strong(state, kReading)) {
      out = ReadMovieSummary(job.path);
      return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return job.state.load() == kDone; });
    out = job.summary;
    return true;
  }

 private:
  enum State { kQueued, kReading, kDone };
  struct Job {
    std::string path;
    MovieSummary summary;
    std::atomic<int> state{kQueued};
  };
  struct Batch {
    explicit Batch(size_t n) : jobs(n) {}
    std::vector<Job> jobs;
    std::atomic<size_t> next{0};  // the first job no thread has claimed
  };

  void Run() {
    size_t at = 0;  // the batch this thread works through
    for (;;) {
      Batch* batch;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_.load() || at < batches_.size(); });
        if (stop_.load()) return;
        batch = batches_[at++].get();
      }
      for (size_t i; (i = batch->next.fetch_add(1)) < batch->jobs.size();) {
        // A cancelled or finished scan reads no further ahead.
        if (stop_.load(std::memory_order_relaxed) || ctx_.Cancelled()) return;
        Job& job = batch->jobs[i];
        int state = kQueued;
        if (!job.state.compare_exchange_strong(state, kReading)) continue;  // the walk got there first
        job.summary = ReadMovieSummary(job.path);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          job.state.store(kDone);
        }
        done_.notify_one();
      }
    }
  }

  ScanContext& ctx_;
  const int threads_;
  std::vector<std::thread> pool_;
  std::mutex mutex_;
  std::condition_variable wake_;  // a batch queued, or stop
  std::condition_variable done_;  // a job read
  std::vector<std::unique_ptr<Batch>> batches_;  // kept until the walk ends
  std::atomic<bool> stop_{false};
  bool failed_ = false;
  std::unordered_map<std::string_view, Job*> queued_;  // the walk's own: not yet taken
};

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

// AddEntry with the summaries of both movies already looked up (null for an
// empty path).
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

// The scan steps with the set of paths already listed, so that a pair met
// again (in another folder, or in a rescan into the same rows) is refused
// without walking the rows for every file.
class Walker {
 public:
  Walker(std::vector<RecordingEntry>& entries, ScanContext& ctx) : entries_(entries), ctx_(ctx) {
    for (const RecordingEntry& e : entries) {
      if (!e.frontPath.empty()) frontKeys_.insert(e.frontPath);
      if (!e.rearPath.empty()) rearKeys_.insert(e.rearPath);
    }
    if (ctx.readers > 0) ahead_.emplace(ctx, ctx.readers);
  }

  // Adds the pair of a file with a recording name when it is new and
  // complete; true when added.  `self` keeps the file's summary once looked
  // up, for the caller's trigger flags.
  bool TakeFile(const FolderItem& item, const MovieSummary*& self) {
    std::string front, rear;
    static const std::vector<RecordingEntry> kNone;
    if (ResolvePair(item.path, kNone, front, rear) != 1) return false;
    if ((!front.empty() && frontKeys_.count(front)) || (!rear.empty() && rearKeys_.count(rear))) return false;
    self = &ctx_.Summary(item.path);
    if (self->check != FileCheck::kComplete || !IsMp4FileName(front)) return false;
    // Looked up in the order AddEntry takes them: the first unreadable file
    // the scan meets is the one it reports.
    const MovieSummary* f = front.empty() ? nullptr : front == item.path ? self : &ctx_.Summary(front);
    const MovieSummary* r = rear.empty() ? nullptr : rear == item.path ? self : &ctx_.Summary(rear);
    AppendEntry(front, f, rear, r, entries_, ctx_);
    // The row holds the partner's path only when it exists; remember the
    // pair's names all the same, as the row's lookup would find them.
    frontKeys_.insert(std::move(front));
    rearKeys_.insert(std::move(rear));
    return true;
  }

  bool Scan(const std::string& folder, int* fileCounter, int depth) {
    std::vector<FolderItem> items;
    if (!ListFolderItems(folder, items)) return true;
    std::sort(items.begin(), items.end(), CompareFolders);
    ReadAhead(items, false);
    for (const FolderItem& item : items) {
      if (ctx_.Cancelled()) return false;
      if (!item.isFolder) {
        if (fileCounter) ++*fileCounter;
        const MovieSummary* self = nullptr;
        if (IsRecordingMovie(item)) TakeFile(item, self);
      } else if (depth < kMaxScanDepth) {
        if (!Scan(item.path, fileCounter, depth + 1)) return false;
      }
    }
    return true;
  }

  // mask (when given) receives the trigger flags of the folder's complete
  // recordings.
  bool Fill(const std::string& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
            std::vector<RecordingEntry>* folderRows, bool recurse, int* pairCounter, int depth,
            uint32_t* mask = nullptr) {
    std::vector<FolderItem> items;
    if (!ListFolderItems(folder, items)) return true;
    std::sort(items.begin(), items.end(), CompareFolders);
    ReadAhead(items, mask != nullptr);
    int added = 0;
    for (const FolderItem& item : items) {
      if (ctx_.Cancelled()) return false;
      if (item.isFolder) {
        if (!recurse) {
          if (depth < kMaxScanDepth && added < kMaxTreeItemsPerLevel) {
            if (tree) tree->InsertFolder(parent, item.name);
            ++added;
          }
          continue;
        }
        if (depth >= kMaxScanDepth || !IsDateFolderPattern(item.name)) continue;
        // The sub-folder's items go under its own tree item, which exists
        // only once it proved to hold a pair; fill into a recorder first.
        FolderTreeRecord sub;
        int pairs = 0;
        uint32_t mask = 0;
        if (!Fill(item.path, tree ? &sub : nullptr, 0, folderRows, recurse, &pairs, depth + 1, &mask)) return false;
        if (pairs < 1 || added >= kMaxTreeItemsPerLevel) continue;
        if (tree) {
          const FolderTreeSink::Item node = tree->InsertFolder(parent, item.name);
          sub.Replay(*tree, node);
          tree->SetFolderFlags(node, mask);
        }
        if (folderRows) AddFolderEntry(item.path, *folderRows);
        ++added;
      } else if (IsRecordingMovie(item)) {
        const MovieSummary* self = nullptr;
        if (TakeFile(item, self) && pairCounter) ++*pairCounter;
        if (!mask) continue;
        if (!self) self = &ctx_.Summary(item.path);
        if (self->check == FileCheck::kComplete) GetTriggerFlags(item.path, *mask);
      }
    }
    return true;
  }

 private:
  static bool IsRecordingMovie(const FolderItem& item) {
    return IsMp4FileName(item.name) && IsRecordingFileName(item.name);
  }

  // Queues the folder's movies the walk is going to read: those with a
  // recording name, but of a pair listed before only when the trigger flags
  // want them (`all`).
  void ReadAhead(const std::vector<FolderItem>& items, bool all) {
    if (!ahead_) return;
    std::vector<const std::string*> paths;
    for (const FolderItem& item : items) {
      if (item.isFolder || !IsRecordingMovie(item)) continue;
      if (!all && (frontKeys_.count(item.path) || rearKeys_.count(item.path))) continue;
      paths.push_back(&item.path);
    }
    ahead_->Add(paths);
  }

  std::vector<RecordingEntry>& entries_;
  ScanContext& ctx_;
  std::unordered_set<std::string> frontKeys_, rearKeys_;
  std::optional<SummaryReadAhead> ahead_;  // last: stopped before the rest goes
};


}  // namespace

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

const MovieSummary& ScanContext::Summary(const std::string& path) {
  auto it = summaries.find(path);
  if (it == summaries.end()) {
    MovieSummary s;
    if (!readAhead || !readAhead->Take(path, s)) s = ReadMovieSummary(path);
    it = summaries.emplace(path, s).first;
  }
  // A partner that is not there is a lone file, not a failing card.  A file
  // remembered as unreadable is reported again by a later step that meets it
  // (the folder fill after the source's scan).
  if (it->second.exists && it->second.check == FileCheck::kUnreadable && unreadablePath.empty()) {
    unreadablePath = path;
    unreadableError = it->second.error;
  }
  return it->second;
}

bool ListFolderItems(const std::string& folder, std::vector<FolderItem>& items) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  while (const dirent* d = readdir(dir)) {
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
  closedir(dir);
  return true;
}

bool ScanFolderEntries(const std::string& folder, std::vector<RecordingEntry>& entries, int* fileCounter, int depth,
                       ScanContext& ctx) {
  Walker walker(entries, ctx);
  return walker.Scan(folder, fileCounter, depth);
}

bool FillFolderTree(const std::string& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
                    std::vector<RecordingEntry>& entries, std::vector<RecordingEntry>* folderRows, bool recurse,
                    int* pairCounter, int depth, ScanContext& ctx) {
  Walker walker(entries, ctx);
  return walker.Fill(folder, tree, parent, folderRows, recurse, pairCounter, depth);
}

int AddFileEntry(const std::string& path, std::vector<RecordingEntry>& entries, ScanContext& ctx) {
  std::string front, rear;
  if (ResolvePair(path, entries, front, rear) == 1) AddEntry(front, rear, entries, ctx);
  return 1;
}

bool AddEntry(const std::string& frontPath, const std::string& rearPath, std::vector<RecordingEntry>& entries,
              ScanContext& ctx) {
  if (!IsMp4FileName(frontPath)) return false;
  const MovieSummary* front = frontPath.empty() ? nullptr : &ctx.Summary(frontPath);
  const MovieSummary* rear = rearPath.empty() ? nullptr : &ctx.Summary(rearPath);
  AppendEntry(frontPath, front, rearPath, rear, entries, ctx);
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
  // Sorted as keys (group, prefix, place), then moved once.
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
  std::vector<RecordingEntry> sorted;
  sorted.reserve(entries.size());
  for (const Key& k : keys) sorted.push_back(std::move(entries[k.index]));
  entries = std::move(sorted);
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
