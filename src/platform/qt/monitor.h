// The monitors of the running system.  Everything that asks "which monitor
// is this window on, how big is its work area, how many dots per inch" goes
// through CurrentMonitors(), which the screens back and tests replace.
//
// Sizes are Qt's logical pixels (high-DPI scaling stays on), the dots per
// inch the screen's logical ones.
#pragma once

#include "platform/monitors.h"

namespace qv {

// Reads QGuiApplication's screens; empty before the application exists.
class ScreenMonitorProvider : public MonitorProvider {
 public:
  std::vector<MonitorInfo> Monitors() const override;
};

// The provider in use: the screens unless a test set another.
const MonitorProvider& CurrentMonitors();
// Puts a provider in place (not owned; it must outlive its use); null
// restores the screens.  Window thread only.
void SetMonitorProvider(const MonitorProvider* provider);

}  // namespace qv
