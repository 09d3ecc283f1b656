// Writing files safely: a new file is built beside its target, flushed to
// disk and only then put in place under the target's name, so readers see
// either the old file or the new one, never a part of one, and a failed or
// interrupted write leaves the target as it was.
//
// Where the file system allows it the new file has no name while it is
// written (O_TMPFILE), so a process killed in the middle leaves nothing
// behind.  Elsewhere (FAT and exFAT cards) it is a hidden ".NAME.qvtmp-<pid>-<n>"
// beside the target; such files of processes that no longer run are removed
// by the next write into that folder.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pathutil.h"

namespace qv {

class SafeFileWriter {
 public:
  // What happens to a file that already has the target's name.
  enum class Existing {
    kReplace,  // replaced as a whole; the new file keeps its permission bits
    kRefuse,   // left alone and the write fails with EEXIST (checked atomically)
  };
  // How the file under construction is made.  kNamed is what file systems
  // without unnamed files get; tests ask for it to check that path.
  enum class Temporary { kUnnamedWhereSupported, kNamed };

  SafeFileWriter() = default;
  ~SafeFileWriter() { Abandon(); }
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Starts a new file for `path`.  With kReplace a symbolic link is followed
  // and its target replaced.  A new file gets the permissions the umask
  // gives.  False (see Error) when the folder cannot take it, the target is
  // no regular file, or (kRefuse) the name is taken.
  bool Open(const std::string& path, Existing existing = Existing::kReplace,
            Temporary temporary = Temporary::kUnnamedWhereSupported);
  bool IsOpen() const { return fd_ >= 0; }

  // Open files that the write must never replace, however its target's name
  // reaches them (a join's inputs: through a folder spelled in another
  // letter case on a card, a bind mount, a link); they stay open until the
  // commit.  With any, the commit takes the name only where it is free (the
  // file system decides what is free) and replaces an existing file only
  // once it is sure the file is none of these (ReachesOpenFile).  Open and
  // Commit fail with EEXIST and ReachedProtected() when it is one.
  void Protect(std::span<const int> fds) {
    for (int fd : fds) protect_.push_back(fd);
  }
  bool ReachedProtected() const { return reachedProtected_; }

  // Called by Open with the folder its file under construction is made in
  // (a link's target's folder when the target's name is a link), before the
  // file exists.  A writer that is killed, or whose card refuses to remove
  // the file it drops, may leave it there: the caller can keep a record of
  // the folder for a later sweep (RemoveStaleTemporaries).
  void NoteFolder(std::function<void(const std::string& folder)> note) { noteFolder_ = std::move(note); }
  // Where a commit that must not replace takes the target's name by a
  // claim (RenameNoReplaceByClaim), the claimed name goes to `claims`; the
  // object must outlive the writer's commit.
  void RecordClaims(ClaimRecord* claims) { claims_ = claims; }

  // Appends bytes; false (see Error) when any of them could not be written.
  bool Write(const void* data, size_t size);
  bool Write(std::string_view data) { return Write(data.data(), data.size()); }
  // The descriptor of the file under construction, for copies made by the
  // kernel (copy_file_range); such a caller checks its own writes and calls
  // Abandon when one fails.
  int Fd() const { return fd_; }

  // Flushes the file to disk and gives it the target's name.  False (see
  // Error) when anything failed; the new file is then gone and the target
  // untouched.  The writer is closed afterwards either way.
  bool Commit();
  // Drops the file under construction (also done by the destructor).
  void Abandon();

  // errno of the first failure; 0 when none.
  int Error() const { return error_; }
  // The name the file gets (a link's target with kReplace).
  const std::string& Target() const { return target_; }

 private:
  bool Fail(int error);
  // Whether the file now under the target's name is a protected one.
  bool TargetIsProtected();
  // Puts the finished named file in place.
  int MoveInPlace();

  int fd_ = -1;
  int error_ = 0;
  bool unnamed_ = false;
  bool keepMode_ = false;
  bool reachedProtected_ = false;
  mode_t mode_ = 0;
  Existing existing_ = Existing::kReplace;
  std::string target_;
  std::string temp_;  // the named file under construction, if any
  std::vector<int> protect_;
  std::function<void(const std::string&)> noteFolder_;
  ClaimRecord* claims_ = nullptr;
};

// The hidden name of a file under construction for `target` by this process.
std::string TemporaryNameFor(const std::string& target);
// Removes from `folder` the files under construction of processes that no
// longer run; answers how many it removed.  Only regular files named as
// TemporaryNameFor names them go; a link of such a name is never followed.
int RemoveStaleTemporaries(const std::string& folder);
// Whether process `pid` runs (a process of another user counts).
bool ProcessRuns(pid_t pid);
// How many files under construction `folder` holds, whoever made them; -1
// when it cannot be listed.
int CountTemporaries(const std::string& folder);

// The steps of a writer that depend on the card it writes to: making an
// unnamed file (FAT and exFAT cards have none, and the writer names its
// file instead), flushing the new file to disk before it takes its name,
// and removing a dropped one, which a card turning read-only in the middle
// of a write refuses (FAT drivers remount a card read-only after an I/O
// error).  open(2) with O_TMPFILE, fsync(2) and unlink(2) unless tests
// stand such a card in.
class WriterSteps {
 public:
  virtual ~WriterSteps() = default;
  virtual int MakeUnnamed(const std::string& folder);
  virtual int Sync(int fd, const std::string& target);
  virtual int Remove(const std::string& path);
};
// The steps every writer takes from now on; null restores the real ones.
// The object must outlive its use.
void SetWriterSteps(WriterSteps* steps);

// Writes `data` as the new content of `path` through SafeFileWriter
// (replacing).  False with errno in `*error` (when given) on any failure;
// `path` is then untouched.
bool ReplaceFileContent(const std::string& path, std::string_view data, int* error = nullptr);

// The whole content of a regular file; false (errno in *error) when it
// cannot be read.  A FIFO or device is refused without waiting on it.
bool ReadWholeFile(const std::string& path, std::string& out, int* error = nullptr);

}  // namespace qv
