// Recording discovery: the scan that turns a source (a card, a folder or one
// file) into recording pairs, the fill of the folder tree with the date
// folders that hold recordings, sorting and removal of rows, the capacity
// class of a card, the card's format description file, and the watcher that
// notices when the source goes away.
//
// A scan reads of each movie only what the list needs: the completeness test
// (head and tail) and the size and sample count of the video track's
// sample-size table (the "moov" box from its start through that table, in
// one read sized after the movie read before it).  Each file is read once per
// scan, however many times the scan asks about it (ScanContext remembers
// it).  A walk lists its folders first; a few threads then read the movies,
// folder by folder, while the caller's thread makes the rows in order.
// No Qt here: the tree is filled through FolderTreeSink, the watcher's notice
// leaves through MessagePost.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/pathutil.h"  // JoinPath
#include "recording/checkfile.h"
#include "recording/recordingentry.h"

namespace qv {

// The watcher's notice that the watched source is gone: 0 / 0.
constexpr uint32_t kMsgMovieResourceRemoved = 0x8000 + 0x4B1;

// Tree fills stop at this many items per level and this many folder levels.
constexpr int kMaxTreeItemsPerLevel = 999;
constexpr int kMaxScanDepth = 3;

// One directory entry of a listing.
struct FolderItem {
  std::string name;
  std::string path;  // the folder and the name joined by one '/'
  bool isFolder = false;
};

// What a scan learns of one movie file.
struct MovieSummary {
  FileCheck check = FileCheck::kIncomplete;
  uint64_t mediaBytes = 0;  // sum of the video track's sample sizes
  uint64_t samples = 0;     // its sample count
  uint64_t fileBytes = 0;
  bool exists = false;  // something by that name could be opened or was refused
  int error = 0;        // errno of the failed open or read (check kUnreadable)
};

// Reads the completeness test and the video track's sizes in as few reads as
// the file's layout allows (tail, head, the top-level box headers beyond the
// head, of "moov" the box headers on the way to the video track's sample
// sizes and those sizes).  Sizes stay 0 when the movie index cannot be read.
MovieSummary ReadMovieSummary(const std::string& path);

// A movie a scan has read, remembered by name under its folder.
struct RememberedMovie {
  std::string name;
  MovieSummary summary;
};

// State shared by the steps of one scan: the running row number and the
// movies already read.  Optionally a flag that ends the scan early.
struct ScanContext {
  int sequence = 0;
  const std::atomic<bool>* cancel = nullptr;
  // Threads that read a walk's movies besides the walk's own (0: the walk
  // reads each movie itself).  The walk still makes the rows, the tree and
  // the report in its own order: they are the same either way.
  int readers = 4;
  // The summary of one movie, read now unless a step of this scan read it.
  MovieSummary Summary(const std::string& path);
  // The first file or folder that could not be read (a failing card) and its
  // errno, also when its summary was remembered from an earlier step; the
  // scan goes on and the panel tells the user afterwards.
  std::string unreadablePath;
  int unreadableError = 0;
  bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
  void Reset() {
    sequence = 0;
    remembered.clear();
    unreadablePath.clear();
    unreadableError = 0;
  }

 private:
  friend class ScanWalk;
  // Takes note of a movie the scan uses: an unreadable one is reported when
  // it is the first.  A partner that is not there is a lone file, not a
  // failing card.
  void Meet(const std::string& path, const MovieSummary& s);
  // The same for a folder that could not be listed: one that vanished
  // meanwhile is no failing card.
  void MeetFolder(const std::string& path, int error);
  // By folder (the path through its last '/'), sorted by name.
  std::unordered_map<std::string, std::vector<RememberedMovie>> remembered;
};

// Where FillFolderTree puts its folders.  Item 0 is the tree's root.
class FolderTreeSink {
 public:
  using Item = intptr_t;
  virtual ~FolderTreeSink() = default;
  // Appends a text item under `parent` as its last child.
  virtual Item InsertFolder(Item parent, const std::string& name) = 0;
  // The trigger flag bits found in the item's folder.
  virtual void SetFolderFlags(Item item, uint32_t mask) = 0;
};

// A sink that keeps the inserts, to be replayed into a real tree later (a
// scan off the window thread fills one, the window replays it).
class FolderTreeRecord : public FolderTreeSink {
 public:
  Item InsertFolder(Item parent, const std::string& name) override;
  void SetFolderFlags(Item item, uint32_t mask) override;
  // Inserts everything under `root` of `tree`.
  void Replay(FolderTreeSink& tree, Item root) const;
  bool Empty() const { return ops_.empty(); }

 private:
  struct Op {
    Item item;
    std::string name;
    bool flags;
    uint32_t mask;
  };
  std::vector<Op> ops_;
};

// A date folder's name: eight digits, "_" and three digits anywhere in it.
bool IsDateFolderPattern(std::string_view name);
// Lists a folder's entries other than hidden ones (names starting with '.')
// in the order the system returns them; false (items empty, errno in *error)
// when it cannot be opened or read to its end.
bool ListFolderItems(const std::string& folder, std::vector<FolderItem>& items, int* error = nullptr);
// A failing card for tests: listing `folder` fails with `error` when it is
// opened or, with afterEntries >= 0, once that many entries were read.  An
// empty folder name ends it.
void InjectFolderListFailure(const std::string& folder, int error, int afterEntries = -1);
// Adds the folder's pairs (and those of its sub-folders while depth < 3) to
// entries; a pair already listed is skipped.  fileCounter counts every file.
bool ScanFolderEntries(const std::string& folder, std::vector<RecordingEntry>& entries, int* fileCounter, int depth,
                       ScanContext& ctx);
// Fills the tree under `parent` with the folder's sub-folders (recurse: only
// date folders that hold at least one pair, with their trigger flags and a
// folder row each in folderRows) and adds the folder's pairs to entries.
bool FillFolderTree(const std::string& folder, FolderTreeSink* tree, FolderTreeSink::Item parent,
                    std::vector<RecordingEntry>& entries, std::vector<RecordingEntry>* folderRows, bool recurse,
                    int* pairCounter, int depth, ScanContext& ctx);
// The pair of one recording file as one row; always 1.
int AddFileEntry(const std::string& path, std::vector<RecordingEntry>& entries, ScanContext& ctx);
// Builds and appends one row; false when the front name is no MP4 name.
bool AddEntry(const std::string& frontPath, const std::string& rearPath, std::vector<RecordingEntry>& entries,
              ScanContext& ctx);
// Appends a folder row (sequence -1, sizes all bits set); always 1.
int AddFolderEntry(const std::string& folder, std::vector<RecordingEntry>& rows);

bool CompareFolders(const FolderItem& a, const FolderItem& b);
// Normal recordings, then parking ones, then rows without a recording name,
// each group by the three-digit sequence prefix of its name (stable).
void SortEntries(std::vector<RecordingEntry>& entries);
// Keeps the rows whose key path (front, else rear) is in no row of removed.
void RemoveEntries(std::vector<RecordingEntry>& entries, const std::vector<RecordingEntry>& removed);

// The capacity class of a card of `totalBytes`: 0 up to 36e9, 1 up to 108e9,
// else 2; GetDiskSizeClass asks the file system holding root (0 when it
// cannot be asked).
int DiskSizeClass(uint64_t totalBytes);
int GetDiskSizeClass(const std::string& root);

// The card's "DRFormatConfig.dfc": version "d.d.d" and model text.
struct FormatInfo {
  std::string version;
  std::string extra1, extra2;  // always empty
  std::string model;
};
constexpr char kFormatConfigName[] = "DRFormatConfig.dfc";
// From the file's bytes; false (info unchanged) when shorter than 42 bytes.
bool ParseFormatConfig(const std::string& bytes, FormatInfo& info);
// Reads the file in `folder`; false (info unchanged) when missing or short.
bool ReadFormatConfig(const std::string& folder, FormatInfo& info);

// A source folder split into the folder the tree's root path names and the
// folder's own name: "/a/b/" -> ("/a", "b"), "/a" -> ("/", "a"), "/" -> ("",
// "/").  Never an empty name.
struct FolderSplit {
  std::string parent;
  std::string name;
};
FolderSplit SplitSourceFolder(const std::string& path);

// How the watcher delivers its notice (the window adapts its message port).
class MessagePost {
 public:
  virtual ~MessagePost() = default;
  virtual bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// The source watcher: a thread that every 100 ms checks the watched path and
// posts kMsgMovieResourceRemoved once when the path is gone or the file
// system it lives on is no longer mounted (a mount-point folder can outlive
// its card).  The path is then cleared; a new SetWatchPath watches again.
class CMovieResource {
 public:
  explicit CMovieResource(std::string mountTable = "/proc/self/mountinfo", int periodMs = 100);
  virtual ~CMovieResource();
  CMovieResource(const CMovieResource&) = delete;
  CMovieResource& operator=(const CMovieResource&) = delete;

  // The receiver (not owned; it must outlive the watcher or be reset first).
  void SetOwner(MessagePost* owner);
  void SetWatchPath(const std::string& path);
  // The same with the mount point to look for in the mount table given
  // ("" or "/" for none).
  void SetWatchPath(const std::string& path, const std::string& mountPoint);
  std::string WatchPath() const;

  std::atomic<int> removed{0};

 private:
  void Run();
  bool Gone(const std::string& path, const std::string& mountPoint) const;
  // 1 when the mount table lists the mount point, 0 when not, -1 without a
  // table.
  int MountState(const std::string& mountPoint) const;
  bool MountListed(const std::string& mountPoint) const;

  std::string mountTable_;
  int periodMs_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  MessagePost* owner_ = nullptr;
  std::string watchPath_;
  std::string mountPoint_;  // the watched path's mount point when it is not "/"
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace qv
