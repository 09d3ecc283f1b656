// Window-style rectangle and point.
//
// All layout and hit-testing maths of the program work on this rectangle:
// left and top are inside, right and bottom are one past the last pixel
// (exclusive), so Width() = right - left.  Qt's QRect is different (its
// right() and bottom() are the last pixel); convert only through
// platform/qt/qtconvert.h.
#pragma once

#include <cstdint>

namespace qv {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  constexpr Rect() = default;
  constexpr Rect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
  static constexpr Rect FromSize(int x, int y, int w, int h) { return Rect(x, y, x + w, y + h); }

  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr Point TopLeft() const { return {left, top}; }
  constexpr Point BottomRight() const { return {right, bottom}; }
  constexpr Point Center() const { return {left + Width() / 2, top + Height() / 2}; }
  // No area: right <= left or bottom <= top.
  constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
  // Whether the pixel (x, y) lies inside; the right and bottom edges are outside.
  constexpr bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  constexpr bool Contains(Point p) const { return Contains(p.x, p.y); }

  constexpr void Offset(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  constexpr Rect Offsetted(int dx, int dy) const { return Rect(left + dx, top + dy, right + dx, bottom + dy); }
  // Grows each side outward by dx / dy (negative values shrink).
  constexpr void Inflate(int dx, int dy) {
    left -= dx;
    right += dx;
    top -= dy;
    bottom += dy;
  }
  constexpr void MoveTo(int x, int y) { Offset(x - left, y - top); }

  friend bool operator==(const Rect&, const Rect&) = default;
};

// The common part of two rectangles; an all-zero rectangle when they do not
// overlap (or either is empty).
Rect IntersectRects(const Rect& a, const Rect& b);
// The smallest rectangle holding both; an empty one does not count.  Both
// empty gives an all-zero rectangle.
Rect UnionRects(const Rect& a, const Rect& b);
// Whether the two rectangles share at least one pixel.
bool RectsOverlap(const Rect& a, const Rect& b);

// (a * b) / c with a 64-bit product, rounded half away from zero; c == 0 or a
// result outside int gives -1 (the window system's MulDiv).
int MulDiv(int a, int b, int c);

// Truncation toward zero that stays defined for any input: NaN gives 0,
// values beyond int are clamped.
int TruncToInt(double v);

// Squared distance from a point to the nearest pixel of a rectangle (0 inside).
int64_t DistanceSquared(const Rect& r, Point p);

}  // namespace qv
