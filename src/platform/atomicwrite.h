// Replacing a whole file safely: the new content goes to a temporary file in
// the target's folder, is flushed to disk, and is renamed over the target, so
// readers see either the old or the new file, never a part of one.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Writes `data` as the new content of `path` (created when missing; an
// existing file keeps its permission bits; a symbolic link is followed and
// its target replaced).  False with errno-like `*error` (when given) on any
// failure; the temporary file is then removed and `path` is untouched.
bool ReplaceFileContent(const std::string& path, std::string_view data, int* error = nullptr);

// The whole content of a file; false (errno in *error) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& out, int* error = nullptr);

}  // namespace qv
