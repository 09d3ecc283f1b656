#include "mainwnd/zoomclick.h"

#include <cmath>

namespace qv {
namespace {

constexpr float kMaxZoomFactor = 3.0f;

int Scaled(int v, int to, int from) { return static_cast<int>(static_cast<int64_t>(v) * to / from); }

}  // namespace

ZoomRecord UnzoomedView(Size client) {
  ZoomRecord v;
  v.x = client.width / 2;
  v.y = client.height / 2;
  return v;
}

bool ZoomAtClick(ZoomRecord& view, Point click, Size client) {
  if (client.width <= 0 || client.height <= 0) return false;
  const float f = view.factor > 0.0f && std::isfinite(view.factor) ? view.factor : 1.0f;
  // The view keeps (x, y) in place and spreads the rest by f, so the picture
  // point shown at the click is x + (click - x) / f, less the shift.
  const double px = view.x + (static_cast<double>(click.x) - view.offsetX - view.x) / f;
  const double py = view.y + (static_cast<double>(click.y) - view.offsetY - view.y) / f;
  if (f + 1.0f > kMaxZoomFactor) {
    view = UnzoomedView(client);
    return true;
  }
  view.x = static_cast<int>(std::lround(px));
  view.y = static_cast<int>(std::lround(py));
  view.offsetX = 0;
  view.offsetY = 0;
  view.factor = f + 1.0f;
  return true;
}

void RescaleZoomView(ZoomRecord& view, Size from, Size to) {
  if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0) return;
  view.x = Scaled(view.x, to.width, from.width);
  view.y = Scaled(view.y, to.height, from.height);
  view.offsetX = Scaled(view.offsetX, to.width, from.width);
  view.offsetY = Scaled(view.offsetY, to.height, from.height);
}

}  // namespace qv
