#include "skin/ninepatch.h"

#include "platform/uiscale.h"

namespace qv {
namespace {

// Positions along one axis and the cell each takes (0 first, 1 middle, 2 last).
std::vector<std::pair<int, int>> Stops(int from, int to, int step) {
  std::vector<std::pair<int, int>> out;
  out.emplace_back(from, 0);
  for (int p = from + step; p < to - step; p += step) out.emplace_back(p, 1);
  if (to - step > from) out.emplace_back(to - step, 2);
  return out;
}

}  // namespace

std::vector<ImageTile> NinePatchTiles(Size image, const Rect& target, float s, const Rect* only) {
  const int cw = image.width / 3, ch = image.height / 3;
  const int sw = ScaleInt(cw, s), sh = ScaleInt(ch, s);
  std::vector<ImageTile> tiles;
  if (sw <= 0 || sh <= 0 || target.IsEmpty()) return tiles;
  for (const auto& [y, row] : Stops(target.top, target.bottom, sh)) {
    if (only && (y >= only->bottom || y + sh <= only->top)) continue;
    for (const auto& [x, col] : Stops(target.left, target.right, sw)) {
      if (only && (x >= only->right || x + sw <= only->left)) continue;
      tiles.push_back({Rect::FromSize(col * cw, row * ch, cw, ch), Rect::FromSize(x, y, sw, sh)});
    }
  }
  return tiles;
}

}  // namespace qv
