// The recorder card's "Delete Folder": a folder at the top of the card into
// which deleted recordings are moved (not erased) under numbered names,
// NTMP0000.DAT, NTMP0001.DAT... for normal recordings and PTMP....DAT for
// parking ones ("P" and "S" trigger letters).  The program only uses the
// folder when it already exists; it never creates it.
#pragma once

#include <string>
#include <vector>

#include "platform/pathutil.h"

namespace qv {

constexpr const char* kDeleteFolderName = "Delete Folder";
constexpr int kMaxDeleteFolderNumber = 9999;

// "<top of the file system holding path>/Delete Folder" (whether it exists or
// not); empty when the path does not exist.
std::string DeleteFolderOf(const std::string& path);

// 'P' for a parking recording (trigger letter "P" or "S"), else 'N'.
char DeleteFolderPrefix(const std::string& path);

// The numbered name "<prefix>TMP<nnnn>.DAT".
std::string DeleteFolderName(char prefix, int number);

// The number of a numbered name of that prefix, or -1 when `name` is not
// prefix + "TMP" + four digits + ".DAT" (letters in either case).
int DeleteFolderNumber(const std::string& name, char prefix);

// Chooses the number for the next file: counts down from one below the
// smallest taken number (or, when that is 0, one below the largest) to 0 and
// takes the first free one; when all of those are taken, one above the
// largest.  `taken` lists the numbers of the numbered names in the folder,
// ascending; `exists(n)` says whether anything (also a hidden file or a folder) already
// has number n.  -1 when no number is free (nothing listed to count from, or
// beyond 9999).
template <typename ExistsFn>
int ChooseDeleteFolderNumber(const std::vector<int>& taken, ExistsFn exists) {
  int start = 0;
  if (!taken.empty()) {
    start = taken.front() - 1;
    if (start < 0) start = taken.back() - 1;
  }
  for (int n = start; n >= 0; --n)
    if (!exists(n)) return n;
  if (taken.empty()) return -1;
  const int next = taken.back() + 1;
  return (next > kMaxDeleteFolderNumber || exists(next)) ? -1 : next;
}

// Moves a recording into its card's Delete Folder under the next numbered
// name.  A missing file counts as moved.  False, with the reason in *error,
// when the folder is missing, no number is free or the move fails; the file
// is then where it was.  The move is a rename on the same file system: the
// file is never copied and never replaces another.  A number taken by
// another move meanwhile is passed over for the next free one.  A name
// claimed for the move (see RenameNoReplaceByClaim) goes to `claims`.
bool MoveToDeleteFolder(const std::string& path, std::string* error = nullptr, ClaimRecord* claims = nullptr);

}  // namespace qv
