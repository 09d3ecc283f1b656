#include "mainwnd/windowrules.h"

#include <cmath>
#include <cstdlib>

#include "mainwnd/mainlayout.h"
#include "mainwnd/playbackrules.h"

namespace qv::mainwnd {

std::optional<int> MainWindowHitTest(const Rect& w, Point p, float s, const FrameState& state) {
  if (!state.outlineExists) return std::nullopt;
  if (state.fullScreen) return skin::kHitClient;
  const int top = T(s, 27);
  if (state.maximised && p.y >= w.top && p.y < w.top + top) return skin::kHitClient;
  const int edge = T(s, 6);
  if (Rect(w.left + edge, w.top + edge, w.right - edge, w.top + top).Contains(p)) return skin::kHitCaption;
  return skin::kHitClient;
}

bool DragRestoreDue(Point press, Point cursor, float s) {
  const int limit = T(s, 4);
  return std::abs(cursor.x - press.x) > limit || std::abs(cursor.y - press.y) > limit;
}

bool MonitorRefitDue(float lastFitScale, const Rect& stored, const Rect& work) {
  return !(lastFitScale < 0.0f) && !(stored == work);
}

bool MaximiseAfterFit(float fitFactor) { return fitFactor < 1.0f; }

int64_t GuardMargin(int rateIndex, float viewFactor) {
  const int k = EndMargin(rateIndex);
  const float v = viewFactor == 0.0f ? kDefaultViewFactor : viewFactor;
  const double q = k * (-1000) / 29.1 / v;
  if (!(std::fabs(q) < 1e18)) return 0;  // no usable view factor
  return -static_cast<int64_t>(std::trunc(q));
}

bool IsCommandBlocked(const GuardInput& in) {
  if (in.nearEndLatch) return true;
  if (!in.pairOpen || in.playState == 1 || in.playState == 3) return false;
  if (in.length == 0) return false;
  return in.position + GuardMargin(in.rateIndex, in.viewFactor) >= in.length;
}

}  // namespace qv::mainwnd
