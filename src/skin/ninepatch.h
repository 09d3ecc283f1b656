// How a frame image covers a rectangle (the main window's background, the
// information band's frame): the image is cut into 3 × 3 equal cells, drawn
// at the scaled cell size; the first row and column come from the top-left
// cells, the last row and column (flush with the right and bottom edges)
// from the bottom-right ones, and the middle cells repeat in between.
#pragma once

#include <vector>

#include "platform/rect.h"

namespace qv {

struct ImageTile {
  Rect source;  // in the image
  Rect target;  // in the window
  friend bool operator==(const ImageTile&, const ImageTile&) = default;
};

// The tiles for an image of `image` pixels over `target` at scale s; none
// when a scaled cell would be empty.  With `only`, just the tiles that
// overlap it (a part of a large target).
std::vector<ImageTile> NinePatchTiles(Size image, const Rect& target, float s, const Rect* only = nullptr);

}  // namespace qv
