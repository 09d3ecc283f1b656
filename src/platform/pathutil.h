// Small questions about paths (UTF-8, '/'-separated, no length limit) and the
// few file-system steps every writer shares.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct stat;

namespace qv {

// Whether anything (a file, folder, link, even a dangling one) has this name.
bool PathExists(const std::string& path);
// Whether the path names a folder (links followed).
bool IsFolder(const std::string& path);
// The folder part: "/a/b" -> "/a", "/a" -> "/", "a" -> ".".
std::string ParentFolder(const std::string& path);
// "a" + "/" + "b", without doubling the separator after a root "/"; an
// empty folder gives the name alone.
std::string JoinPath(const std::string& folder, const std::string& name);
// The part after the last '/'; the view is into `path`.
std::string BaseName(const std::string& path);
std::string_view BaseNameView(std::string_view path);
// Appends the UTF-8 bytes of one code point (names are UTF-8; so is every
// text built from code points).
void AppendUtf8(std::string& out, char32_t c);
// Whether two names are equal when ASCII letters are folded to one case, as
// FAT and exFAT cards compare them.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);
// Whether `path` names the file open as `fd` (same device and inode).
bool NamesOpenFile(const std::string& path, int fd);

// A file's name as a card's file system tells names apart.  FAT and exFAT
// ignore letter case, yet mounted through FUSE they give each spelling of a
// name its own inode, so "CASE/a.MP4" and "case/A.mp4" can be one file under
// two identities.  Two names are one when their folders lie on the same
// device and are the same folder (inode) or have real paths that differ only
// in letter case, and the names themselves differ only in letter case.  On a
// disk that keeps case apart this also joins two folders whose real paths
// differ only in case: callers use it to refuse, where that errs safely.
struct CardName {
  dev_t device = 0;
  ino_t folderInode = 0;
  std::string realFolder;
  std::string name;
  bool known = false;  // false when the folder cannot be reached

  static CardName Of(const std::string& path);
  bool operator==(const CardName& other) const;
};

// Whether the two paths name one file: the same inode (links followed), or
// one CardName.
bool SameFileIgnoringCase(const std::string& a, const std::string& b);

// The path an open file was opened under (as the kernel keeps it); empty
// when unknown.
std::string PathOfOpenFile(int fd);

// The look-ups that tell whether a name reaches an open file; tests stand a
// card's file system in for the real one.
class FileLookups {
 public:
  virtual ~FileLookups() = default;
  // stat(2) (links followed) and fstat(2): 0, or -1 with errno.
  virtual int Stat(const std::string& path, struct stat& st) const;
  virtual int StatOpen(int fd, struct stat& st) const;
  // Whether anything has this name (a link itself counts).
  virtual bool Exists(const std::string& path) const;
  virtual std::string PathOfOpen(int fd) const;
  static const FileLookups& Real();
};

// Whether the file that `path` reaches through the file system is one of the
// open files `fds`, so that replacing `path` would replace it.  The same
// device and inode answers yes.  Card file systems mounted through FUSE give
// each spelling of a name and of its folders an inode of their own, and
// their letter-case rules (exFAT folds more than ASCII) are theirs alone, so
// the file system itself is asked as well: `probe`, a file we made in
// `path`'s folder under a name nobody else uses, is looked up in the folder
// of every open file of the same size and modification time as `path`'s; found
// there, the two folders are one and the file is taken for that open file.
// Also yes when `path` exists but cannot be examined.
bool ReachesOpenFile(const std::string& path, const std::string& probe, std::span<const int> fds,
                     const FileLookups& lookups = FileLookups::Real());

// Opens a regular file for reading (close-on-exec): the descriptor, or -1
// with errno in *error.  A FIFO or device is refused (EINVAL; EISDIR for a
// folder) without blocking on it; the descriptor keeps O_NONBLOCK, which
// regular files ignore.  `size`, when given, receives the file's
// size as the open found it.
int OpenRegularFile(const std::string& path, int* error, uint64_t* size = nullptr);

// A record of the names RenameNoReplaceByClaim claims.  A claim is an empty
// placeholder made under the final name for the moment until the rename
// fills it; a process stopped in between (killed, its card pulled or turned
// read-only so that the placeholder cannot be removed either) leaves it
// behind.  The record keeps the name from before the placeholder is made
// until it has been filled or removed, so that a later start can remove it
// (RemoveUnfilledClaim).  Called on the thread that renames.
class ClaimRecord {
 public:
  virtual ~ClaimRecord() = default;
  // Before the placeholder `name` is made.
  virtual void Claiming(const std::string& name) = 0;
  // Once `name` holds what was renamed there, or the placeholder is gone
  // again (or was never made).
  virtual void Settled(const std::string& name) = 0;
};

// rename(2) that never replaces an existing target: 0, or -1 with errno
// (EEXIST when the target is taken).  Claims go to `claims` when given.
int RenameNoReplace(const std::string& from, const std::string& to, ClaimRecord* claims = nullptr);
// The same for file systems without an atomic no-replace rename: the target
// name is claimed first by creating it exclusively, then `from` is renamed
// over that placeholder, so no two movers can take one name.
int RenameNoReplaceByClaim(const std::string& from, const std::string& to, ClaimRecord* claims = nullptr);

// Removes `path` only while it is still an unfilled placeholder as
// RenameNoReplaceByClaim makes them: an empty regular file of mode 0600 with
// one name, or an empty folder of mode 0700; a link is never followed.  On
// a card that keeps no modes (FAT and exFAT show every file alike) the
// empty file with one name, or the empty folder, is taken for it.  1
// when it went; 0 when the name is free or holds anything else (which stays);
// -1 with errno when that cannot be told or the placeholder cannot be
// removed (its folder unreachable, the card read-only).
int RemoveUnfilledClaim(const std::string& path);

// The steps of a no-replace rename that depend on the file system:
// renameat2(2) with RENAME_NOREPLACE (FUSE card drivers refuse the flag),
// link(2) (FAT and exFAT have no hard links), making the placeholder,
// rename(2), and removing the placeholder (which a card that turned
// read-only refuses).  The real calls unless tests stand such a card in.
class RenameSteps {
 public:
  virtual ~RenameSteps() = default;
  virtual int RenameNoReplaceFlag(const std::string& from, const std::string& to);
  virtual int Link(const std::string& from, const std::string& to);
  // Makes the placeholder exclusively: an empty 0600 file, or an empty 0700
  // folder when `folder`.
  virtual int Claim(const std::string& to, bool folder);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Remove(const std::string& path, bool folder);
  // Whether the file system holding `path` keeps the modes files are made
  // with (FAT, exFAT and the FUSE drivers of cards show fixed ones).
  virtual bool KeepsModes(const std::string& path);
};
// The steps every rename takes from now on; null restores the real ones.
// The object must outlive its use.
void SetRenameSteps(RenameSteps* steps);

}  // namespace qv
