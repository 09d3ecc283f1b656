// The work of the delete and join commands, as the file worker runs it:
// file work only, with a cancel flag read between items and progress handed
// to a callback (the window posts it to itself).  What the lists and the
// window do with the outcome happens on the window thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pathutil.h"
#include "recording/mp4join.h"
#include "recording/recordingentry.h"

namespace qv {

enum class FileOpResult { kFailed = 0, kDone = 1, kCancelled = 2 };
using FileOpProgress = std::function<void(int64_t done, int64_t total)>;

// The path a row is known by: the front path, the rear path when there is none.
const std::string& RowKey(const RecordingEntry& row);

struct DeleteOutcome {
  FileOpResult result = FileOpResult::kDone;
  std::vector<std::string> deleted;  // key paths of the pairs that went, in the order they went
  std::string error;                 // why the failed pair could not go
};

// Deletes the chosen pairs, the last chosen first (Delete Folder on a card,
// the trash elsewhere); stops at the first failure.  Progress (0, n),
// (1, n) ... after each pair and (n, n) at the end.  The players must have
// let go of the files before.  Names claimed in a Delete Folder go to
// `claims`.
DeleteOutcome DeletePairs(const std::vector<RecordingEntry>& pairs, const std::atomic<bool>& cancel,
                          const FileOpProgress& progress, ClaimRecord* claims = nullptr);

// Removes every row whose key path is one of `keys`; answers how many went.
int RemoveRowsByKey(std::vector<RecordingEntry>& rows, const std::vector<std::string>& keys);
// Sets the joined flag of every row whose key path is one of `pairs`'.
void MarkJoined(std::vector<RecordingEntry>& rows, const std::vector<RecordingEntry>& pairs);

// The join's outputs: the first pair's file names in `folder` (empty for a
// camera the first pair has no file of).
void JoinOutputPaths(const std::string& folder, const RecordingEntry& first, std::string& front, std::string& rear);
// The names claimed under a final name for a moment (see
// RenameNoReplaceByClaim), remembered in the settings file
// (FOLDERPATH/CONNECT_CLAIMED, a list of "<process id>:<path>") from before
// the placeholder is made until it is filled or gone again, so that the
// next start removes one that a stopped join or Delete Folder move left
// empty.  Any thread; each change is one locked step of the file.
class SettingsClaimRecord : public ClaimRecord {
 public:
  // No settings file: nothing is recorded.
  explicit SettingsClaimRecord(std::string settingsFile) : settingsFile_(std::move(settingsFile)) {}
  void Claiming(const std::string& name) override;
  void Settled(const std::string& name) override;

 private:
  std::string settingsFile_;
};

// The folders where joins make their files under construction, remembered in
// the settings file (FOLDERPATH/CONNECT_UNFINISHED, a list whose first entry
// is where a single folder stood before) from before a file is made there
// until the folder holds none, so that the next start removes what a killed
// join left, or one whose card refused to remove its files (turned
// read-only).  A folder whose name a settings value cannot hold as it is (a
// line break, blanks at an end) is kept as '%' and the name with those
// characters as %XX.  Any thread; each change is one locked step of the
// file.  A record holds its folders from Note until ForgetFinished (or its
// end): a sweep running meanwhile never forgets them.
class JoinFolderRecord {
 public:
  // No settings file: nothing is recorded.
  explicit JoinFolderRecord(std::string settingsFile)
      : settingsFile_(std::move(settingsFile)), claims_(settingsFile_) {}
  ~JoinFolderRecord() { LetGo(); }
  JoinFolderRecord(const JoinFolderRecord&) = delete;
  JoinFolderRecord& operator=(const JoinFolderRecord&) = delete;
  // Remembers `folder` before a file is made there.
  void Note(const std::string& folder);
  // Forgets the noted folders that now hold no file under construction of
  // any program; one that cannot be listed (a card taken out) stays.
  void ForgetFinished();
  // Where the join's claimed output names go; null without a settings file.
  ClaimRecord* Claims() { return settingsFile_.empty() ? nullptr : &claims_; }

 private:
  void LetGo();

  std::string settingsFile_;
  std::vector<std::string> noted_;
  std::vector<std::string> held_;  // noted folders not yet let go
  SettingsClaimRecord claims_;
};
// At start-up: removes from every remembered folder, and from `lastFolder`,
// the files under construction of programs no longer running, and the
// remembered placeholders of such programs that are still empty; then
// forgets the folders left without any files under construction.  The
// folders are looked into without the settings file's lock held.
void SweepJoinFolders(const std::string& settingsFile, const std::string& lastFolder);

// The sweep's looks into remembered folders, which may be on a card that
// answers slowly or not at all: RemoveStaleTemporaries, CountTemporaries
// and RemoveUnfilledClaim unless tests stand such a card in.
class SweepSteps {
 public:
  virtual ~SweepSteps() = default;
  virtual int RemoveStale(const std::string& folder);
  virtual int Count(const std::string& folder);
  virtual int RemoveClaim(const std::string& path);
};
// The steps every sweep takes from now on; null restores the real ones.
// The object must outlive its use.
void SetSweepSteps(SweepSteps* steps);

// Whether a join output would be one of the chosen pairs' files: the same
// file, the same name on a card's file system as far as names tell (a
// folder or name spelled in another letter case, see CardName), or, for an
// output that exists, an input as the file system finds it (a hidden file
// is made beside the output for a moment to ask it; its folder goes to
// `record`).  The join command refuses such an output before it asks about
// an existing file; the writer guards its inputs itself whatever this
// answers.
bool JoinOutputIsInput(const std::string& front, const std::string& rear, const std::vector<RecordingEntry>& pairs,
                       JoinFolderRecord* record = nullptr);
// Bytes the join writes at most: both cameras' sizes of every pair,
// saturating at the largest value.
uint64_t JoinNeededBytes(const std::vector<RecordingEntry>& pairs);

// The line that tells the user why a join failed; empty for kNone.
const char* JoinFaultText(JoinFault fault);

struct JoinOutcome {
  FileOpResult result = FileOpResult::kDone;
  JoinFault fault = JoinFault::kNone;      // why the join failed
  JoinFault rearFault = JoinFault::kNone;  // why the rear side was dropped
};

// Joins the chosen pairs in order into `frontOut` and `rearOut`.  Progress
// as the window shows it: (1, n), (i, 2n) per appended pair, (50, 100),
// (10, 100), (40, 100) once written, (100, 100), (n, n).  A cancel is taken
// between pairs and between the writer's copy windows: the output being
// written is dropped (a front output completed before stays).  The folders
// the outputs are made in go to `record` before anything is made there.
JoinOutcome JoinPairs(const std::vector<RecordingEntry>& pairs, const std::string& frontOut,
                      const std::string& rearOut, const std::atomic<bool>& cancel, const FileOpProgress& progress,
                      JoinFolderRecord* record = nullptr);

}  // namespace qv
