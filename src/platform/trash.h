// Deleting recoverably: the desktop's trash (freedesktop.org trash layout).
//
// A file or folder is moved, never copied, into a trash on its own file
// system: the home trash ($XDG_DATA_HOME/Trash, by default
// ~/.local/share/Trash) when it lies on the same device, otherwise the trash
// at the top of its file system ($topdir/.Trash/$uid when an administrator
// set up a shared .Trash, else $topdir/.Trash-$uid), which is how a file on a
// memory card stays recoverable on that card.  A .trashinfo file records the
// original place and the deletion time, so file managers can restore it.
// When no trash can take the file, nothing is deleted and the caller gets a
// message saying why.
#pragma once

#include <string>

namespace qv {

struct TrashResult {
  bool ok = false;
  std::string trashedPath;  // where the item went
  std::string error;        // why it did not, for the user
};

TrashResult MoveToTrash(const std::string& path);

}  // namespace qv
