// Small helpers on recording files: deleting a front/rear pair and listing a
// folder.
#pragma once

#include <string>
#include <vector>

#include "platform/pathutil.h"

namespace qv {

// Deletes both files of a pair.  A recording file goes into its card's
// Delete Folder when the card has one, else to the trash; a path that is no
// recording name or does not exist is skipped.  Stops at the first failure
// (the rear file is then not touched) with the reason in *error.  Names
// claimed in a Delete Folder go to `claims` (see MoveToDeleteFolder).
bool DeleteRecordingPair(const std::string& frontPath, const std::string& rearPath, std::string* error = nullptr,
                         ClaimRecord* claims = nullptr);

// Appends to `names` the names of the folder's entries that are not folders
// and not hidden (".name"), whose first character is `firstChar`, sorted by
// character code.  False when the folder cannot be listed.
bool ListFolderSorted(const std::string& folder, std::vector<std::string>& names, char32_t firstChar);

}  // namespace qv
