#include "platform/qt/monitor.h"

#include <QGuiApplication>
#include <QScreen>

#include <atomic>
#include <cmath>

#include "platform/qt/qtconvert.h"

namespace qv {

namespace {
std::atomic<const MonitorProvider*> g_provider{nullptr};

int RoundDpi(qreal dpi) {
  if (!(dpi > 0) || dpi > 10000) return 96;
  return static_cast<int>(std::lround(dpi));
}
}  // namespace

std::vector<MonitorInfo> ScreenMonitorProvider::Monitors() const {
  std::vector<MonitorInfo> out;
  if (!QGuiApplication::instance()) return out;
  for (QScreen* s : QGuiApplication::screens()) {
    MonitorInfo m;
    m.area = FromQRect(s->geometry());
    m.workArea = FromQRect(s->availableGeometry());
    m.dpiX = RoundDpi(s->logicalDotsPerInchX());
    m.dpiY = RoundDpi(s->logicalDotsPerInchY());
    out.push_back(m);
  }
  return out;
}

const MonitorProvider& CurrentMonitors() {
  static const ScreenMonitorProvider screens;
  const MonitorProvider* p = g_provider.load();
  return p ? *p : screens;
}

void SetMonitorProvider(const MonitorProvider* provider) { g_provider.store(provider); }

}  // namespace qv
