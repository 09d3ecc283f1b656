// Monitors as the layout code sees them: the whole area, the work area (the
// area less panels and docks) and the dots per inch, in the same logical
// pixels as window positions.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/rect.h"

namespace qv {

struct MonitorInfo {
  Rect area;
  Rect workArea;
  int dpiX = 96;
  int dpiY = 96;
  friend bool operator==(const MonitorInfo&, const MonitorInfo&) = default;
};

// The index of the monitor nearest to a point: the first whose area holds
// it, else the one whose area is closest; -1 for an empty list.
int NearestMonitorIndex(const std::vector<MonitorInfo>& monitors, Point p);

// Where the monitor list comes from; the program uses the screens, tests put
// a fixed list in place.
class MonitorProvider {
 public:
  virtual ~MonitorProvider() = default;
  virtual std::vector<MonitorInfo> Monitors() const = 0;
  // The monitor nearest to the point; an all-empty MonitorInfo (96 dpi) when
  // no monitor is known.
  MonitorInfo Nearest(Point p) const;
};

class FixedMonitorProvider : public MonitorProvider {
 public:
  explicit FixedMonitorProvider(std::vector<MonitorInfo> monitors) : monitors_(std::move(monitors)) {}
  std::vector<MonitorInfo> Monitors() const override { return monitors_; }
  void SetMonitors(std::vector<MonitorInfo> monitors) { monitors_ = std::move(monitors); }

 private:
  std::vector<MonitorInfo> monitors_;
};

}  // namespace qv
