#include "platform/qt/monitor.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include "platform/qt/qtconvert.h"

namespace qv {
namespace {

TEST(QtConvert, RectRightAndBottomAreExclusive) {
  Rect r(10, 20, 110, 70);
  QRect q = ToQRect(r);
  EXPECT_EQ(q.x(), 10);
  EXPECT_EQ(q.width(), 100);
  EXPECT_EQ(q.right(), 109);
  EXPECT_EQ(q.bottom(), 69);
  EXPECT_EQ(FromQRect(q), r);
  EXPECT_EQ(FromQRect(QRect(QPoint(0, 0), QPoint(9, 9))), Rect(0, 0, 10, 10));
  EXPECT_TRUE(ToQRect(Rect(5, 5, 5, 9)).isEmpty());
  EXPECT_EQ(ToQColor(Rgb(1, 2, 3)), QColor(1, 2, 3));
  EXPECT_EQ(FromQColor(QColor(0xAA, 0xBB, 0xCC)), 0x00CCBBAAu);
}

TEST(Monitors, ScreensBackTheProviderAndTestsReplaceIt) {
  std::vector<MonitorInfo> screens = ScreenMonitorProvider().Monitors();
  ASSERT_FALSE(screens.empty());
  QScreen* primary = QGuiApplication::primaryScreen();
  EXPECT_EQ(screens[0].area, FromQRect(primary->geometry()));
  EXPECT_EQ(screens[0].workArea, FromQRect(primary->availableGeometry()));
  EXPECT_GT(screens[0].dpiY, 0);
  EXPECT_EQ(CurrentMonitors().Nearest({0, 0}), screens[0]);

  MonitorInfo a{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1040), 96, 96};
  MonitorInfo b{Rect(1920, 0, 3000, 1920), Rect(1920, 0, 3000, 1920), 144, 144};
  FixedMonitorProvider fake({a, b});
  SetMonitorProvider(&fake);
  EXPECT_EQ(CurrentMonitors().Nearest({2500, 100}), b);
  EXPECT_EQ(CurrentMonitors().Nearest({-500, 1500}), a);
  SetMonitorProvider(nullptr);
  EXPECT_EQ(CurrentMonitors().Nearest({0, 0}), screens[0]);
}

}  // namespace
}  // namespace qv

