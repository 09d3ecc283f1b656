// Small helpers on recording files: deleting a front/rear pair, listing a
// folder, and zooming a rectangle about a point for the video panes.
#pragma once

#include <string>
#include <vector>

#include "platform/rect.h"

namespace qv {

// Deletes both files of a pair.  A recording file goes into its card's
// Delete Folder when the card has one, else to the trash; a path that is no
// recording name or does not exist is skipped.  Stops at the first failure
// (the rear file is then not touched) with the reason in *error.
bool DeleteRecordingPair(const std::string& frontPath, const std::string& rearPath, std::string* error = nullptr);

// Appends to `names` the names of the folder's entries that are not folders
// and not hidden (".name"), whose first character is `firstChar`, sorted by
// character code.  False when the folder cannot be listed.
bool ListFolderSorted(const std::string& folder, std::vector<std::string>& names, char32_t firstChar);

// Scales a rectangle about the point (x, y), measured from its left and top,
// so that the point keeps its relative place: a factor above 1 enlarges, below
// 1 shrinks.  False, with the rectangle unchanged, for a factor of 0, an empty
// rectangle, or a result whose left would pass its right.
bool ZoomRectAt(Rect& rect, int x, int y, float factor);

}  // namespace qv
