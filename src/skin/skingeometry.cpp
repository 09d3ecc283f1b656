#include "skin/skingeometry.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>

#include "platform/numtext.h"
#include "platform/uiscale.h"

namespace qv::skin {

namespace {
// trunc(v) as an int, held inside int's range (NaN gives 0).
int TruncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}
}  // namespace


int T(float s, int x) { return ScaleInt(x, s); }

DialogMetrics ComputeDialogMetrics(float s) {
  DialogMetrics m;
  m.designWidth = T(s, 1120);
  m.designHeight = T(s, 697);
  const int a = T(s, -6), b = T(s, 440), c = T(s, -1120), d = T(s, 2), e = T(s, 240), f = T(s, 4), g = T(s, 3);
  const int w = m.designWidth;
  m.panes[0] = {4 * a - b - c, f - ((b + c + 2 * (d - 2 * a)) * 9) / 16};
  m.panes[1] = {w + 2 * a - e, g - ((e + 2 * (d - a) + c) * 9) / 16};
  m.panes[2] = {w + 2 * a, g - ((c + 2 * (d - a)) * 9) / 16};
  return m;
}

int HitTestEdge(const Rect& w, Point p, float s, HitTestFlags flags) {
  if (flags.noResize) return kHitClient;
  const int b4 = T(s, 4), cap = T(s, 27);
  auto in = [&](int l, int t, int r, int b) { return Rect(l, t, r, b).Contains(p); };
  if (flags.maximised && in(w.left, w.top, w.right, w.top + cap)) return kHitCaption;
  if (in(w.left, w.top, w.left + b4, w.top + b4)) return kHitTopLeft;
  if (in(w.right - b4, w.top, w.right, w.top + b4)) return kHitTopRight;
  if (in(w.left, w.top, w.right, w.top + b4)) return kHitTop;
  if (in(w.left, w.bottom - b4, w.left + b4, w.bottom)) return kHitBottomLeft;
  if (in(w.right - b4, w.bottom - b4, w.right, w.bottom)) return kHitBottomRight;
  if (in(w.left, w.top, w.left + b4, w.bottom)) return kHitLeft;
  if (in(w.right - b4, w.top, w.right, w.bottom)) return kHitRight;
  if (in(w.left, w.bottom - b4, w.right, w.bottom)) return kHitBottom;
  if (in(w.left + b4, w.top, w.right - b4, w.top + cap)) return kHitCaption;
  if (in(w.left, w.bottom - T(s, 2) - T(s, 38), w.right, w.bottom)) return kHitClient;
  return kHitNowhere;
}

int EdgeFromHitCode(int hit) {
  switch (hit) {
    case kHitLeft: return kEdgeLeft;
    case kHitRight: return kEdgeRight;
    case kHitTop: return kEdgeTop;
    case kHitTopLeft: return kEdgeTopLeft;
    case kHitTopRight: return kEdgeTopRight;
    case kHitBottom: return kEdgeBottom;
    case kHitBottomLeft: return kEdgeBottomLeft;
    case kHitBottomRight: return kEdgeBottomRight;
    default: return kEdgeNone;
  }
}

Rect GetDragRect(const Rect& drag, int hit, Point p) {
  Rect r = drag;
  switch (hit) {
    case kHitLeft: r.left = p.x; break;
    case kHitRight: r.right = p.x; break;
    case kHitTop: r.top = p.y; break;
    case kHitTopLeft: r.top = p.y; r.left = p.x; break;
    case kHitTopRight: r.top = p.y; r.right = p.x; break;
    case kHitBottom: r.bottom = p.y; break;
    case kHitBottomLeft: r.bottom = p.y; r.left = p.x; break;
    case kHitBottomRight: r.bottom = p.y; r.right = p.x; break;
    default: break;
  }
  return r;
}

int ClampScale(const Rect& rect, const Rect& work, int designWidth, int designHeight, int edge, float& scaleX,
               float& scaleY) {
  const float maxX = static_cast<float>(work.Width()) / static_cast<float>(designWidth);
  const float maxY = static_cast<float>(work.Height()) / static_cast<float>(designHeight);
  float x = static_cast<float>(rect.Width()) / static_cast<float>(designWidth);
  float y = static_cast<float>(rect.Height()) / static_cast<float>(designHeight);
  bool xLow = false, xHigh = false, yLow = false, yHigh = false;
  if (x < 1.0f) {
    x = 1.0f;
    xLow = true;
  } else if (x > maxX) {
    x = maxX;
    xHigh = true;
  }
  if (y < 1.0f) {
    y = 1.0f;
    yLow = true;
  } else if (y > maxY) {
    y = maxY;
    yHigh = true;
  }
  scaleX = x;
  scaleY = y;
  if (edge == kEdgeNone) return 0;
  if (edge >= kEdgeTopLeft && edge <= kEdgeTopRight) {
    if (xLow && yHigh) return 2;
    if (xHigh && yLow) return 3;
    if (xLow && yLow) return 1;
    if (xHigh && yHigh) return 4;
  }
  if (yHigh) return 8;
  if (yLow) return 7;
  if (xLow) return 5;
  if (xHigh) return 6;
  return 0;
}

Rect PlaceFromEdge(int edge, const Rect& start, int width, int height) {
  Rect r = start;
  const bool left = edge == kEdgeLeft || edge == kEdgeTopLeft || edge == kEdgeBottomLeft;
  const bool right = edge == kEdgeRight || edge == kEdgeBottomRight || edge == kEdgeTopRight;
  const bool top = edge == kEdgeTop || edge == kEdgeTopLeft || edge == kEdgeTopRight;
  const bool bottom = edge == kEdgeBottom || edge == kEdgeBottomRight || edge == kEdgeBottomLeft;
  if (left) {
    r.right = start.right;
    r.left = r.right - width;
  }
  if (right) {
    r.left = start.left;
    r.right = r.left + width;
  }
  if (top) {
    r.bottom = start.bottom;
    r.top = r.bottom - height;
  }
  if (bottom) {
    r.top = start.top;
    r.bottom = r.top + height;
  }
  return r;
}

bool TrackDrag(Rect& rect, DragTracking& tr, Point p, int edge, const Rect& work, int designWidth,
               int designHeight, float& scaleX, float& scaleY) {
  const bool strictlyInside = p.x > rect.left && p.x < rect.right && p.y > rect.top && p.y < rect.bottom;
  if (strictlyInside && rect.Width() <= designWidth && rect.Height() <= designHeight) {
    if (tr.inside) return false;
    tr.inside = true;
  } else {
    if (p == tr.last) return false;
    tr.last = p;
    tr.inside = false;
  }
  const Rect entry = rect;
  Rect moved = rect;
  switch (edge) {
    case kEdgeLeft: moved.left = p.x; break;
    case kEdgeTop: moved.top = p.y; break;
    case kEdgeRight: moved.right = p.x; break;
    case kEdgeBottom: moved.bottom = p.y; break;
    case kEdgeTopLeft: moved.left = p.x; moved.top = p.y; break;
    case kEdgeBottomRight: moved.right = p.x; moved.bottom = p.y; break;
    case kEdgeBottomLeft: moved.left = p.x; moved.bottom = p.y; break;
    case kEdgeTopRight: moved.right = p.x; moved.top = p.y; break;
    default: break;
  }
  const int code = ClampScale(moved, work, designWidth, designHeight, edge, scaleX, scaleY);
  const int ww = work.Width(), wh = work.Height(), cw = moved.Width(), ch = moved.Height();
  switch (code) {
    case 1: moved = PlaceFromEdge(edge, entry, designWidth, designHeight); break;
    case 2: moved = PlaceFromEdge(edge, entry, designWidth, wh); break;
    case 3: moved = PlaceFromEdge(edge, entry, ww, designHeight); break;
    case 4: moved = PlaceFromEdge(edge, entry, ww, wh); break;
    case 5: moved = PlaceFromEdge(edge, entry, designWidth, ch); break;
    case 6: moved = PlaceFromEdge(edge, entry, ww, ch); break;
    case 7: moved = PlaceFromEdge(edge, entry, cw, designHeight); break;
    case 8: moved = PlaceFromEdge(edge, entry, cw, wh); break;
    default: break;
  }
  rect = moved;
  return true;
}

Size ScaledWindowSize(int designWidth, int designHeight, float scaleX, float scaleY) {
  return {TruncToInt(static_cast<float>(designWidth) * scaleX), TruncToInt(static_cast<float>(designHeight) * scaleY)};
}

float ClampLoadedScale(float scale, int workExtent, int designExtent) {
  if (workExtent > 0 && designExtent > 0)
    scale = std::min(scale, static_cast<float>(workExtent) / static_cast<float>(designExtent));
  return std::max(scale, 1.0f);
}

std::string FormatScale(float scale) { return FormatFixed(static_cast<double>(scale), 6); }

bool ParseScale(std::string_view text, float& scale) {
  double v = 0;
  // "inf" or a value beyond float would make the window size meaningless.
  if (!ParseDouble(text, v) || !(v > 0.0) || !std::isfinite(v) || v > FLT_MAX) return false;
  scale = static_cast<float>(v);
  return true;
}

CursorShape CursorForHitCode(int hit) {
  switch (hit) {
    case kHitLeft:
    case kHitRight: return CursorShape::kSizeWE;
    case kHitTop:
    case kHitBottom: return CursorShape::kSizeNS;
    case kHitTopLeft:
    case kHitBottomRight: return CursorShape::kSizeNWSE;
    case kHitTopRight:
    case kHitBottomLeft: return CursorShape::kSizeNESW;
    default: return CursorShape::kArrow;
  }
}

bool OutlineDue(double now, double last) { return now - last > 0.08888; }

int ButtonImageIndex(unsigned state, bool latched, bool& pressed) {
  if (state & kStateGrayed) return 1;
  if (state & kStateDisabled) return 3;
  if (state & kStateSelected) {
    pressed = true;
    return 2;
  }
  if ((state & kStateChecked) || latched) return 2;
  pressed = false;
  return 0;
}

int SkinButtonCell(unsigned state, bool latched, bool hovered, bool& pressed) {
  const int cell = ButtonImageIndex(state, latched, pressed);
  if (cell == 0 && hovered && !pressed && !latched) return 1;
  return cell;
}

int CheckImageIndex(unsigned state, bool checked) {
  if (state & kStateGrayed) return 1;
  if (state & kStateDisabled) return 3;
  if (state & kStateSelected) return 2;
  if ((state & kStateChecked) || checked) return 2;
  return 0;
}

Rect CloseButtonRect(const Rect& c, float s) {
  const int left = c.right - T(s, 20), top = c.top + T(s, 4);
  return Rect(left, top, c.right + T(s, 13) - T(s, 20), c.top + T(s, 12) + T(s, 4));
}

Rect CaptionStripRect(const Rect& c, float s) { return Rect(c.left, c.top, c.right, c.top + T(s, 20)); }
Rect CaptionTextRect(float s) { return Rect(T(s, 5), T(s, 0), T(s, 200), T(s, 100)); }
Rect CheckImageRect(float s) { return Rect(0, T(s, 4), T(s, 12), T(s, 12) + T(s, 4)); }
Rect CheckTextRect(const Rect& item, float s) { return item.Offsetted(T(s, 16), 0); }

int ListStateAfterClick(int state) { return (state == 1 || state == 2) ? 3 : 1; }
int ListStateOnHoverEnter(int state) { return state == 1 ? 2 : state; }
int ListStateOnHoverLeave(int state) { return state == 2 ? 1 : state; }

int ProgressFillWidth(int width, int minimum, int maximum, int position) {
  const int64_t range = static_cast<int64_t>(maximum) - minimum;
  const float f = range > 0 ? static_cast<float>(position) / static_cast<float>(range) : 0.0f;
  return TruncToInt(static_cast<float>(width) * f);
}

Rect ProgressTextRect(int width, int height, float s) {
  return Rect(width / 2 - T(s, 50), 0, width / 2 + T(s, 50), height);
}

Rect ProgressPlaceBelow(const Rect& p, const Rect& r, float s) {
  const int h = T(s, 22);
  return Rect::FromSize(r.left - p.left, r.bottom - (p.top + 1) - h, r.Width(), h);
}

SliderBar ComputeSliderBar(int clientW, int clientTop, int minimum, int maximum, int position,
                           const SliderImages& im, float s) {
  SliderBar b;
  const int64_t span = static_cast<int64_t>(maximum) - minimum + 1;
  const double f = span > 0 ? static_cast<double>(position) / static_cast<double>(span) : 0.0;
  const int h1 = im.played.height;
  b.playedSource = Rect(0, 0, TruncToInt(im.played.width * f), h1);
  b.playedDest = Rect(0, 0, TruncToInt(clientW * f), T(s, h1));
  b.restSource = Rect(0, 0, TruncToInt(im.played.width * (1.0 - f)), h1);
  const int restX = TruncToInt(clientW * f + 1.0);
  b.restDest = Rect::FromSize(restX, 0, TruncToInt(clientW * (1.0 - f) + 1.0), T(s, h1));
  const int tw = T(s, im.thumb.width);
  const double step = span > 0 ? static_cast<double>(clientW - tw) / static_cast<double>(span) : 0.0;
  const int x = TruncToInt(position * step);
  b.thumbDest = Rect(x, clientTop, TruncToInt(static_cast<double>(x) + T(s, im.thumb.width + 1)),
                     clientTop + T(s, im.thumb.height));
  return b;
}

int SliderPosFromX(int x, int windowWidth, int minimum, int maximum, int previous) {
  const int64_t span = static_cast<int64_t>(maximum) - minimum + 1;
  if (span <= 0) return previous;
  const float scale = static_cast<float>(windowWidth) / static_cast<float>(span);
  if (!(scale > 0.0f)) return previous;
  const int pos = TruncToInt(static_cast<float>(x) / scale);
  return std::clamp(pos, minimum, maximum);
}

bool SliderAcceptsX(int x, int clientWidth, float s) { return -T(s, 10) < x && x < clientWidth + T(s, 10); }

bool SliderXOnThumb(int x, int clientWidth, int minimum, int maximum, int position, const SliderImages& im,
                    float s) {
  const SliderBar b = ComputeSliderBar(clientWidth, 0, minimum, maximum, position, im, s);
  return x >= b.thumbDest.left && x < b.thumbDest.right;
}

MsgBoxLayout ComputeMsgBoxLayout(Size text, float s, int type, const Rect& parent) {
  auto k = [s](int n) { return T(s, n); };
  MsgBoxLayout m;
  // The text is measured in the box's font, which the font scale has
  // already scaled: its size goes in as it is.
  const Rect t(0, 0, text.width + 2 * k(40), text.height + 2 * k(30));
  // Never narrower than its buttons with their margins.
  const int buttons = type == 1 ? 2 * k(100) + 3 * k(15) : k(100) + 2 * k(15);
  const int w = std::max(t.Width(), buttons), h = t.Height() + k(60) + k(20);
  const int cx = parent.left + parent.Width() / 2, cy = parent.top + parent.Height() / 2;
  m.window = Rect::FromSize(cx - w / 2, cy - h / 2, w, h);
  m.text = Rect(k(40), k(30), t.right, t.bottom);
  const Rect b(w - k(15) - k(100), h - k(15) - k(30), w - k(15), h - k(15));
  if (type == 1) {
    m.cancel = b;
    m.ok = b.Offsetted(-(b.Width() + k(15)), 0);
  } else {
    m.ok = b;
  }
  m.whiteArea = Rect(0, 0, w, h - k(60));
  return m;
}

Rect FitLogo(const Rect& r, int iw, int ih) {
  if (iw <= 0 || ih <= 0 || r.IsEmpty()) return Rect(r.left, r.top, r.left, r.top);
  const double a = static_cast<double>(iw) / static_cast<double>(ih);
  const double ra = static_cast<double>(r.Width()) / static_cast<double>(r.Height());
  int dw, dh;
  if (ra > a) {
    dh = r.Height();
    dw = static_cast<int>(dh * a);
  } else {
    dw = r.Width();
    dh = static_cast<int>(dw / a);
  }
  const int x = std::max(0, (r.Width() - dw) / 2), y = std::max(0, (r.Height() - dh) / 2);
  return Rect::FromSize(r.left + x, r.top + y, dw, dh);
}

Size BackBufferSize(const Size* monitors, int count) {
  Size out{0, 0};
  for (int i = 0; i < count; ++i) {
    out.width = std::max(out.width, monitors[i].width);
    out.height = std::max(out.height, monitors[i].height);
  }
  return out;
}

}  // namespace qv::skin
