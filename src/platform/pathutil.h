// Small questions about paths (UTF-8, '/'-separated, no length limit) and the
// few file-system steps every writer shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Opens a regular file for reading (close-on-exec): the descriptor, or -1
// with errno in *error.  A FIFO or device is refused (EINVAL; EISDIR for a
// folder) without blocking on it.  `size`, when given, receives the file's
// size as the open found it.
int OpenRegularFile(const std::string& path, int* error, uint64_t* size = nullptr);

// rename(2) that never replaces an existing target: 0, or -1 with errno
// (EEXIST when the target is taken).
int RenameNoReplace(const std::string& from, const std::string& to);
// The same for file systems without an atomic no-replace rename: the target
// name is claimed first by creating it exclusively, then `from` is renamed
// over that placeholder, so no two movers can take one name.
int RenameNoReplaceByClaim(const std::string& from, const std::string& to);

}  // namespace qv
