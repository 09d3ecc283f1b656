#include "recording/scanwalk.h"

#include <algorithm>
#include <system_error>

#include "platform/apphelpers.h"
#include "platform/pathutil.h"
#include "recording/recordingname.h"

namespace qv {

namespace {

// Movies a thread takes at a time: few enough that the walk, which reads
// too while it waits, never waits long behind a reader.
constexpr size_t kTakeAtOnce = 8;

bool IsRecordingMovie(const FolderItem& item) { return IsMp4FileName(item.name) && IsRecordingFileName(item.name); }

// The remembered movie of that name, or null.
const MovieSummary* Find(const std::vector<RememberedMovie>* folder, std::string_view name) {
  if (!folder) return nullptr;
  const auto it = std::lower_bound(folder->begin(), folder->end(), name,
                                   [](const RememberedMovie& m, std::string_view n) { return m.name < n; });
  return it != folder->end() && it->name == name ? &it->summary : nullptr;
}

}  // namespace

// What the readers learn of one file of a listing.
struct ScanWalk::Facts {
  bool movie = false;       // a file with a recording movie's name
  std::string front, rear;  // the pair's paths; both empty for no pair
  MovieSummary self;
  // The partner's summary when the partner is no movie of the listing; it is
  // read only for a complete movie, as only then a row asks for it.
  MovieSummary partner;
  bool partnerRead = false;
  bool fresh = false;  // something was read now, not remembered
  bool selfFront = false;  // the file is its pair's front
  int partnerAt = -1;      // the partner's item, when listed
  // The walk's own: a pair taken with this item's path as its front or rear.
  bool takenFront = false, takenRear = false;
};

struct ScanWalk::Folder {
  std::string path;
  int depth = 0;
  int error = 0;  // errno when the folder could not be listed
  bool reportable = false;  // a failure to list it is told: the walk's own folder or a date folder
  std::vector<FolderItem> items;  // by name
  std::vector<Folder*> sub;       // per item: the folder entered there, or null
  std::vector<Facts> facts;       // per item
  std::vector<uint32_t> movies;   // the items the readers read
  const std::vector<RememberedMovie>* remembered = nullptr;  // of an earlier step
  std::atomic<size_t> next{0};  // the first movie no thread took
  std::atomic<size_t> done{0};  // movies read
  std::atomic<Folder*> following{nullptr};
  // The walk's own: the pairs taken here whose front or rear is not listed.
  // (A pair's two paths are the file's and its partner's, both in the file's
  // folder, so no other folder meets them.)
  std::unordered_set<std::string> loneFront, loneRear;
  std::vector<RememberedMovie> toRemember;  // filled once the walk is done with the folder
};

bool ScanWalk::PartnerIsMovie(const Folder& folder, const Facts& x) {
  return x.partnerAt >= 0 && folder.facts[static_cast<size_t>(x.partnerAt)].movie;
}

ScanWalk::ScanWalk(std::vector<RecordingEntry>& entries, ScanContext& ctx)
    : entries_(entries), ctx_(ctx), head_(std::make_unique<Folder>()), tail_(head_.get()), help_(head_.get()) {
  for (const RecordingEntry& e : entries) {
    if (!e.frontPath.empty()) frontKeys_.insert(e.frontPath);
    if (!e.rearPath.empty()) rearKeys_.insert(e.rearPath);
  }
}

ScanWalk::~ScanWalk() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true);
  }
  published_.notify_all();
  for (std::thread& t : pool_) t.join();
  for (const std::unique_ptr<Folder>& f : folders_) {
    if (f->toRemember.empty()) continue;
    ctx_.remembered[JoinPath(f->path, "")] = std::move(f->toRemember);
  }
}

bool ScanWalk::Scan(const std::string& folder, int* fileCounter, int depth) {
  Folder* root = List(folder, depth, Enter::kAll);
  return OrderScan(*root, fileCounter);
}

bool ScanWalk::Fill(const std::string& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
                    std::vector<RecordingEntry>* folderRows, bool recurse, int* pairCounter, int depth) {
  Folder* root = List(folder, depth, recurse ? Enter::kDateFolders : Enter::kNone);
  return OrderFill(*root, tree, parent, folderRows, recurse, pairCounter, nullptr);
}

// ---- listing: the caller's thread, before it walks

ScanWalk::Folder* ScanWalk::List(const std::string& path, int depth, Enter enter) {
  folders_.push_back(std::make_unique<Folder>());
  Folder* f = folders_.back().get();
  f->path = path;
  f->depth = depth;
  f->reportable = folders_.size() == 1 || IsDateFolderPattern(BaseNameView(path));
  if (ctx_.Cancelled()) return f;
  if (!ListFolderItems(path, f->items, &f->error)) return f;
  std::sort(f->items.begin(), f->items.end(), CompareFolders);
  const size_t n = f->items.size();
  f->sub.assign(n, nullptr);
  f->facts.resize(n);
  for (size_t i = 0; i < n; ++i) {
    if (f->items[i].isFolder || !IsRecordingMovie(f->items[i])) continue;
    f->facts[i].movie = true;
    f->movies.push_back(static_cast<uint32_t>(i));
  }
  if (const auto it = ctx_.remembered.find(JoinPath(path, "")); it != ctx_.remembered.end())
    f->remembered = &it->second;
  Publish(f);
  if (enter == Enter::kNone || depth >= kMaxScanDepth) return f;
  for (size_t i = 0; i < n; ++i) {
    const FolderItem& item = f->items[i];
    if (item.isFolder && (enter == Enter::kAll || IsDateFolderPattern(item.name)))
      f->sub[i] = List(item.path, depth + 1, enter);
  }
  return f;
}

void ScanWalk::Publish(Folder* folder) {
  if (folder->movies.empty()) return;  // nothing to read there
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tail_->following.store(folder, std::memory_order_release);
    tail_ = folder;
  }
  published_.notify_all();
  StartReaders();
}

void ScanWalk::StartReaders() {
  if (poolTried_) return;
  poolTried_ = true;
  // Without threads (none could be started) the walk reads everything.
  try {
    for (int i = 0; i < ctx_.readers; ++i) pool_.emplace_back([this] { Run(); });
  } catch (const std::system_error&) {
  }
}

// ---- reading: any thread

void ScanWalk::Run() {
  Folder* f = head_.get();
  for (;;) {
    // A cancelled or finished scan reads no further.
    if (stop_.load(std::memory_order_relaxed) || ctx_.Cancelled()) return;
    if (ReadSome(*f)) continue;
    if (Folder* n = f->following.load(std::memory_order_acquire)) {
      f = n;
      continue;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    published_.wait(lock, [&] { return stop_.load() || f->following.load(std::memory_order_acquire); });
  }
}

// Reads the next few movies of the folder nobody took; false when none are
// left to take.
bool ScanWalk::ReadSome(Folder& folder) {
  const size_t n = folder.movies.size();
  if (folder.next.load(std::memory_order_relaxed) >= n) return false;
  const size_t at = folder.next.fetch_add(kTakeAtOnce, std::memory_order_relaxed);
  if (at >= n) return false;
  const size_t end = std::min(n, at + kTakeAtOnce);
  for (size_t i = at; i < end; ++i) ReadFacts(folder, folder.movies[i]);
  if (folder.done.fetch_add(end - at, std::memory_order_acq_rel) + (end - at) == n) {
    { std::lock_guard<std::mutex> lock(mutex_); }
    read_.notify_all();
  }
  return true;
}

void ScanWalk::ReadFacts(Folder& folder, size_t item) {
  const FolderItem& file = folder.items[item];
  Facts& x = folder.facts[item];
  static const std::vector<RecordingEntry> kNone;
  ResolvePair(file.path, kNone, x.front, x.rear);
  x.selfFront = x.front == file.path;
  const std::string& partner = x.selfFront ? x.rear : x.front;
  // The partner's path differs from the file's in the name only, so the
  // names tell; by name order it is mostly the next or the one before.
  const std::string_view name = BaseNameView(partner);
  const std::vector<FolderItem>& items = folder.items;
  const size_t at = item + 1 < items.size() && items[item + 1].name == name ? item + 1
                    : item > 0 && items[item - 1].name == name
                        ? item - 1
                        : static_cast<size_t>(std::lower_bound(items.begin(), items.end(), name,
                                                               [](const FolderItem& a, std::string_view b) { return a.name < b; }) -
                                              items.begin());
  if (!partner.empty() && at < items.size() && items[at].name == name) x.partnerAt = static_cast<int>(at);
  const MovieSummary* known = Find(folder.remembered, file.name);
  x.self = known ? *known : ReadMovieSummary(file.path);
  x.fresh = !known;
  if (x.self.check != FileCheck::kComplete || partner.empty() || PartnerIsMovie(folder, x)) return;
  known = Find(folder.remembered, name);
  x.partner = known ? *known : ReadMovieSummary(partner);
  x.partnerRead = true;
  x.fresh = x.fresh || !known;
}

// Until every movie of the folder is read: the walk reads them too, the
// folder's own first, then those of later folders while the rest of its own
// are still being read elsewhere.  False when the scan is cancelled.
bool ScanWalk::WaitRead(Folder& folder) {
  const size_t n = folder.movies.size();
  while (folder.done.load(std::memory_order_acquire) < n) {
    if (ctx_.Cancelled()) return false;
    if (ReadSome(folder)) continue;
    bool helped = false;
    while (!helped && help_) {
      helped = ReadSome(*help_);
      if (!helped) help_ = help_->following.load(std::memory_order_acquire);
    }
    if (helped) continue;
    if (!help_) help_ = tail_;  // everything listed is taken: look again from the end
    std::unique_lock<std::mutex> lock(mutex_);
    read_.wait(lock, [&] { return folder.done.load(std::memory_order_acquire) >= n; });
  }
  return true;
}

// ---- the walk's order: the caller's thread

// The item whose path is the pair's front (front) or rear, -1 when unlisted.
int ScanWalk::PairItem(const Facts& x, size_t item, bool front) { return x.selfFront == front ? static_cast<int>(item) : x.partnerAt; }

bool ScanWalk::Taken(const Folder& folder, size_t item) const {
  const Facts& x = folder.facts[item];
  for (const bool front : {true, false}) {
    const std::string& key = front ? x.front : x.rear;
    if (key.empty()) continue;
    const int at = PairItem(x, item, front);
    const Facts* listed = at >= 0 ? &folder.facts[static_cast<size_t>(at)] : nullptr;
    const std::unordered_set<std::string>& given = front ? frontKeys_ : rearKeys_;
    if (listed ? (front ? listed->takenFront : listed->takenRear) : (front ? folder.loneFront : folder.loneRear).count(key))
      return true;
    if (!given.empty() && given.count(key)) return true;
  }
  return false;
}

// Adds the pair of a movie with a recording name when it is new and
// complete; true when added.  `self` keeps the movie's summary once met,
// for the caller's trigger flags.
bool ScanWalk::TakeFile(Folder& folder, size_t item, const MovieSummary*& self) {
  const FolderItem& file = folder.items[item];
  const Facts& x = folder.facts[item];
  if ((x.front.empty() && x.rear.empty()) || Taken(folder, item)) return false;
  self = &x.self;
  ctx_.Meet(file.path, x.self);
  if (x.self.check != FileCheck::kComplete || !IsMp4FileName(x.front)) return false;
  // Met in the order a row takes them: the first unreadable file the scan
  // meets is the one it reports.
  const MovieSummary& partner = PartnerIsMovie(folder, x) ? folder.facts[static_cast<size_t>(x.partnerAt)].self : x.partner;
  auto summary = [&](const std::string& path) -> const MovieSummary* {
    if (path.empty()) return nullptr;
    if (path == file.path) return &x.self;
    ctx_.Meet(path, partner);
    return &partner;
  };
  const MovieSummary* f = summary(x.front);
  const MovieSummary* r = summary(x.rear);
  AppendEntry(x.front, f, x.rear, r, entries_, ctx_);
  // The row holds the partner's path only when it exists; remember the
  // pair's names all the same, as the row's lookup would find them.
  for (const bool front : {true, false}) {
    const int at = PairItem(x, item, front);
    if (at >= 0)
      (front ? folder.facts[static_cast<size_t>(at)].takenFront : folder.facts[static_cast<size_t>(at)].takenRear) = true;
    else
      (front ? folder.loneFront : folder.loneRear).insert(front ? x.front : x.rear);
  }
  return true;
}

bool ScanWalk::OrderScan(Folder& folder, int* fileCounter) {
  if (ctx_.Cancelled()) return false;
  if (folder.reportable) ctx_.MeetFolder(folder.path, folder.error);
  if (!WaitRead(folder)) return false;
  for (size_t i = 0; i < folder.items.size(); ++i) {
    if (ctx_.Cancelled()) return false;
    const FolderItem& item = folder.items[i];
    if (!item.isFolder) {
      if (fileCounter) ++*fileCounter;
      const MovieSummary* self = nullptr;
      if (folder.facts[i].movie) TakeFile(folder, i, self);
    } else if (folder.sub[i] && !OrderScan(*folder.sub[i], fileCounter)) {
      return false;
    }
  }
  Remember(folder);
  return true;
}

// mask (when given) receives the trigger flags of the folder's complete
// recordings.
bool ScanWalk::OrderFill(Folder& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
                         std::vector<RecordingEntry>* folderRows, bool recurse, int* pairCounter, uint32_t* mask) {
  if (ctx_.Cancelled()) return false;
  if (folder.reportable) ctx_.MeetFolder(folder.path, folder.error);
  if (!WaitRead(folder)) return false;
  int added = 0;
  for (size_t i = 0; i < folder.items.size(); ++i) {
    if (ctx_.Cancelled()) return false;
    const FolderItem& item = folder.items[i];
    if (item.isFolder) {
      if (!recurse) {
        if (folder.depth < kMaxScanDepth && added < kMaxTreeItemsPerLevel) {
          if (tree) tree->InsertFolder(parent, item.name);
          ++added;
        }
        continue;
      }
      if (!folder.sub[i]) continue;  // no date folder, or too deep
      // The sub-folder's items go under its own tree item, which exists
      // only once it proved to hold a pair; fill into a recorder first.
      FolderTreeRecord sub;
      int pairs = 0;
      uint32_t subMask = 0;
      if (!OrderFill(*folder.sub[i], tree ? &sub : nullptr, 0, folderRows, recurse, &pairs, &subMask)) return false;
      if (pairs < 1 || added >= kMaxTreeItemsPerLevel) continue;
      if (tree) {
        const FolderTreeSink::Item node = tree->InsertFolder(parent, item.name);
        sub.Replay(*tree, node);
        tree->SetFolderFlags(node, subMask);
      }
      if (folderRows) AddFolderEntry(item.path, *folderRows);
      ++added;
    } else if (folder.facts[i].movie) {
      const MovieSummary* self = nullptr;
      if (TakeFile(folder, i, self) && pairCounter) ++*pairCounter;
      if (!mask) continue;
      if (!self) {
        self = &folder.facts[i].self;
        ctx_.Meet(item.path, *self);
      }
      if (self->check == FileCheck::kComplete) GetTriggerFlags(item.path, *mask);
    }
  }
  Remember(folder);
  return true;
}

// What the folder's movies gave, with what an earlier step remembered of
// files no longer listed, for the steps after this walk; nothing when all
// of it was remembered.  The walk is done with the folder: its movies' names
// move, and the rest goes here while the readers still read, not all at the
// end.
void ScanWalk::Remember(Folder& folder) {
  const auto fresh = [&](uint32_t i) { return folder.facts[i].fresh; };
  if (std::any_of(folder.movies.begin(), folder.movies.end(), fresh)) {
    std::vector<RememberedMovie>& keep = folder.toRemember;
    keep.reserve(folder.movies.size() + (folder.remembered ? folder.remembered->size() : 0));
    for (const uint32_t i : folder.movies) {
      const Facts& x = folder.facts[i];
      if (x.partnerRead) keep.push_back({std::string(BaseNameView(x.selfFront ? x.rear : x.front)), x.partner});
      keep.push_back({std::move(folder.items[i].name), x.self});
    }
    if (folder.remembered) keep.insert(keep.end(), folder.remembered->begin(), folder.remembered->end());
    // Stable: of two by one name the one just read stays (they agree: the
    // readers took the remembered one where there was one).
    const auto byName = [](const RememberedMovie& a, const RememberedMovie& b) { return a.name < b.name; };
    const auto sameName = [](const RememberedMovie& a, const RememberedMovie& b) { return a.name == b.name; };
    std::stable_sort(keep.begin(), keep.end(), byName);
    keep.erase(std::unique(keep.begin(), keep.end(), sameName), keep.end());
  }
  folder.loneFront = {};
  folder.loneRear = {};
  folder.facts = {};
  folder.items = {};
}

}  // namespace qv
