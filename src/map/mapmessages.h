// The notices the map wrapper posts to its owner, the main window
// (wParam / lParam in the comments).
#pragma once

#include <cstdint>

namespace qv {

enum MapMessage : uint32_t {
  kMsgMapPageLoaded = 0x8000 + 0x12D,    // 0 / 0: the page made its map
  kMsgMapPointClicked = 0x8000 + 0x12E,  // 0 / position of the clicked event point (inside the movie)
};

}  // namespace qv
