#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/qt/monitor.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

class Fonts : public ::testing::Test {
 protected:
  void SetUp() override { SetMonitorProvider(&monitors); }
  void TearDown() override {
    SetMonitorProvider(nullptr);
    DeleteAppFonts();
    UiScale = 0;
    FontScale = 0;
  }
  void Use(int workW, int workH, int dpi) {
    monitors.SetMonitors({MonitorInfo{Rect(0, 0, workW, workH + 40), Rect(0, 0, workW, workH), dpi, dpi}});
  }
  FixedMonitorProvider monitors{{}};
};

TEST_F(Fonts, ScaleAndFontHeightsFollowTheMonitor) {
  QWidget window;
  window.move(10, 10);
  Use(1920, 1040, 96);
  ASSERT_TRUE(CreateAppFonts(&window));
  EXPECT_NEAR(UiScale, 0.98485f, 1e-5);
  EXPECT_NEAR(FontScale, 0.98485f, 1e-5);
  ASSERT_TRUE(Font9pt && AppFont && Font13pt && Font17pt && Font22pt);
  // trunc(0.98485 × points) points at 96 dots per inch.
  EXPECT_EQ(Font9pt->pixelSize(), 11);
  EXPECT_EQ(AppFont->pixelSize(), 12);
  EXPECT_EQ(Font13pt->pixelSize(), 16);
  EXPECT_EQ(Font17pt->pixelSize(), 21);
  EXPECT_EQ(Font22pt->pixelSize(), 28);
  // The table's face first, then one Linux has; no fixed pitch.
  ASSERT_EQ(AppFont->families().size(), 2);
  EXPECT_EQ(AppFont->families()[0], QString::fromUtf8("メイリオ"));
  EXPECT_EQ(AppFont->families()[1], QStringLiteral("Noto Sans CJK JP"));
  EXPECT_FALSE(AppFont->fixedPitch());

  DeleteAppFonts();
  EXPECT_EQ(AppFont, nullptr);
  EXPECT_EQ(Font22pt, nullptr);
  DeleteAppFonts();  // twice is harmless

  Use(1120, 1056, 96);  // one screen pixel per design pixel
  ASSERT_TRUE(CreateAppFonts(&window));
  EXPECT_FLOAT_EQ(UiScale, 1.0f);
  EXPECT_EQ(AppFont->pixelSize(), 13);
}

TEST_F(Fonts, NoWindowOrNoFontScale) {
  Use(1920, 1040, 96);
  UiScale = 0.5f;
  EXPECT_FALSE(CreateAppFonts(nullptr));
  EXPECT_EQ(UiScale, 0.5f);  // nothing set
  EXPECT_EQ(AppFont, nullptr);
  QWidget window;
  Use(1920, 1040, 0);  // no usable dots per inch: scales set, no fonts
  EXPECT_TRUE(CreateAppFonts(&window));
  EXPECT_NEAR(UiScale, 0.98485f, 1e-5);
  EXPECT_EQ(FontScale, 0.0f);
  EXPECT_EQ(AppFont, nullptr);
}

TEST_F(Fonts, FittingNeverCompounds) {
  QWidget window;
  Use(1120, 1056, 96);
  ASSERT_TRUE(CreateAppFonts(&window));
  Use(1120, 600, 96);
  EXPECT_NEAR(FitUiScaleToMonitor(&window), 0.86083f, 1e-5);
  EXPECT_NEAR(FontScale, 0.86083f, 1e-5);
  EXPECT_NEAR(FitUiScaleToMonitor(&window), 0.86083f, 1e-5);
  EXPECT_NEAR(FontScale, 0.86083f, 1e-5);  // not 0.86083²
  EXPECT_FLOAT_EQ(UiScale, 1.0f);
  Use(1120, 697, 96);
  EXPECT_EQ(FitUiScaleToMonitor(&window), 1.0f);
  EXPECT_FLOAT_EQ(FontScale, 1.0f);
}

TEST(UiLanguage, EnglishUnitedStatesPicksTheSecondBlock) {
  EXPECT_EQ(UiLanguageForLocale(QLocale(QLocale::English, QLocale::UnitedStates)), 1);
  EXPECT_EQ(UiLanguageForLocale(QLocale(QLocale::English, QLocale::UnitedKingdom)), 0);
  EXPECT_EQ(UiLanguageForLocale(QLocale(QLocale::Japanese, QLocale::Japan)), 0);
  EXPECT_EQ(UiLanguageForLocale(QLocale::c()), 0);
  const int saved = UiLanguage;
  int chosen = InitUiLanguage();
  EXPECT_EQ(chosen, UiLanguageForLocale(QLocale::system()));
  EXPECT_EQ(UiLanguage, chosen);
  UiLanguage = saved;
}

TEST(UiLanguage, QtsOwnDialogsFollowTheTable) {
  EXPECT_EQ(InstallToolkitTranslation(1), nullptr);
  QTranslator* japanese = InstallToolkitTranslation(0);
  ASSERT_NE(japanese, nullptr);
  QDialogButtonBox buttons(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("\u30AD\u30E3\u30F3\u30BB\u30EB"));
  QCoreApplication::removeTranslator(japanese);
  delete japanese;
}

}  // namespace
}  // namespace qv
