// Small questions about paths (UTF-8, '/'-separated, no length limit).
#pragma once

#include <string>

namespace qv {

// Whether anything (a file, folder, link, even a dangling one) has this name.
bool PathExists(const std::string& path);
// Whether the path names a folder (links followed).
bool IsFolder(const std::string& path);
// The folder part: "/a/b" -> "/a", "/a" -> "/", "a" -> ".".
std::string ParentFolder(const std::string& path);
// The part after the last '/'.
std::string BaseName(const std::string& path);
// rename(2) that never replaces an existing target: 0, or -1 with errno
// (EEXIST when the target is taken).
int RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace qv
