#include "platform/monitors.h"

namespace qv {

int NearestMonitorIndex(const std::vector<MonitorInfo>& monitors, Point p) {
  int best = -1;
  int64_t bestDistance = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    int64_t d = DistanceSquared(monitors[i].area, p);
    if (best < 0 || d < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = d;
      if (d == 0 && monitors[i].area.Contains(p)) break;
    }
  }
  return best;
}

MonitorInfo MonitorProvider::Nearest(Point p) const {
  std::vector<MonitorInfo> all = Monitors();
  int i = NearestMonitorIndex(all, p);
  return i < 0 ? MonitorInfo{} : all[static_cast<size_t>(i)];
}

}  // namespace qv
