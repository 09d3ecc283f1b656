#include "platform/rect.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace qv {

Rect IntersectRects(const Rect& a, const Rect& b) {
  Rect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom));
  if (r.IsEmpty()) return Rect();
  return r;
}

Rect UnionRects(const Rect& a, const Rect& b) {
  if (a.IsEmpty()) return b.IsEmpty() ? Rect() : b;
  if (b.IsEmpty()) return a;
  return Rect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom));
}

bool RectsOverlap(const Rect& a, const Rect& b) { return !IntersectRects(a, b).IsEmpty(); }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t num = static_cast<int64_t>(a) * b;
  int64_t den = c;
  if (den < 0) {
    num = -num;
    den = -den;
  }
  // Round half away from zero.
  int64_t q = num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
  if (q > INT_MAX || q < INT_MIN) return -1;
  return static_cast<int>(q);
}

int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

int64_t DistanceSquared(const Rect& r, Point p) {
  // The last pixel inside is right - 1 / bottom - 1; an empty rectangle is
  // measured to its top-left corner.
  int64_t maxX = r.right > r.left ? int64_t(r.right) - 1 : r.left;
  int64_t maxY = r.bottom > r.top ? int64_t(r.bottom) - 1 : r.top;
  int64_t dx = 0, dy = 0;
  if (p.x < r.left) dx = int64_t(r.left) - p.x;
  else if (p.x > maxX) dx = p.x - maxX;
  if (p.y < r.top) dy = int64_t(r.top) - p.y;
  else if (p.y > maxY) dy = p.y - maxY;
  return dx * dx + dy * dy;
}

}  // namespace qv
