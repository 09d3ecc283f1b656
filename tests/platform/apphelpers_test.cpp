#include "platform/apphelpers.h"

#include <gtest/gtest.h>

#include "platform/uiscale.h"
#include "testsupport.h"

namespace qv {
namespace {

TEST(AppHelpers, SettingsFolderIsTheStartFolderNeverTheRoot) {
  EXPECT_EQ(ChooseAppFolder("/home/u/work", "/opt/quorvex/bin"), "/home/u/work");
  EXPECT_EQ(ChooseAppFolder("/", "/opt/quorvex/bin"), "/opt/quorvex/bin");
  EXPECT_EQ(ChooseAppFolder("", "/opt/quorvex/bin"), "/opt/quorvex/bin");
  EXPECT_EQ(ChooseAppFolder("", "/"), "");
  std::string deep = "/d" + std::string(400, 'x');  // no length limit
  EXPECT_EQ(ChooseAppFolder(deep, ""), deep);
}

TEST(AppHelpers, SettingsFileLivesInTheSettingsFolder) {
  qvtest::TempDir dir;
  SetAppFolder("");
  EXPECT_FALSE(WriteDefaultFolderIni("SOURCE", "FOLDER", "/x"));
  EXPECT_EQ(ReadDefaultFolderIni("SOURCE", "FOLDER"), "");
  SetAppFolder(dir.path());
  EXPECT_EQ(GetSettingsFilePath(), dir / "Default_Folder.ini");
  std::string longValue(600, 'v');  // read back whole, not cut at 259
  EXPECT_TRUE(WriteDefaultFolderIni("SOURCE", "FOLDER", longValue));
  EXPECT_EQ(ReadDefaultFolderIni("source", "folder"), longValue);
  EXPECT_TRUE(WriteDefaultFolderIni("SOURCE", "FOLDER", std::nullopt));
  EXPECT_EQ(ReadDefaultFolderIni("SOURCE", "FOLDER"), "");
  SetAppFolder("");
}

TEST(AppHelpers, TextHelpers) {
  for (const std::string& yes : {std::string("clip.Mp4"), std::string("X.MP4"),
                                 std::string("/media/card.d/001_123456AN_F.mp4"), std::string(300, 'a') + ".mp4"})
    EXPECT_TRUE(IsMp4FileName(yes)) << yes;
  for (const char* no : {"x.mp4v", "x.mp", "x.mp4.bak", "/media/a.mp4/file", "mp4"}) EXPECT_FALSE(IsMp4FileName(no)) << no;
  const std::pair<const char*, const char*> versions[] = {
      {"1.2.3.4", "1.2.3"}, {"1.2.3", "1.2.3"}, {"10.20.30.40.50", "10.20.30"}, {"...", ".."}, {"", ""}};
  for (const auto& [text, trimmed] : versions) EXPECT_EQ(TrimVersionText(text), trimmed) << text;
  const std::pair<const char*, const char*> dates[] = {
      {"240131", "24/01/31"}, {"20240131", "20/24/0131/"}, {"2", "2"}, {"日本", "日本/"}};
  for (const auto& [text, shown] : dates) EXPECT_EQ(FormatDateText6(text), shown) << text;
}

TEST(AppHelpers, DeleteNeedsAPath) {
  std::string error;
  EXPECT_FALSE(DeletePathWithShell("", &error));
  EXPECT_FALSE(error.empty());
}

TEST(UiScale, ScalesFromTheWorkArea) {
  // Landscape takes the horizontal dots per inch, portrait (square too) the
  // vertical ones; no work area, no scale; no dots per inch, no font scale.
  const struct {
    int w, h, dpiX, dpiY;
    float ui, font;
  } cases[] = {{1920, 1040, 96, 96, 0.98485f, 0.98485f}, {1920, 1040, 144, 96, 0.98485f, 0.65657f},
               {1920, 1040, 96, 144, 0.98485f, 0.98485f}, {1080, 1920, 144, 96, 0.89489f, 0.89489f},
               {1056, 1056, 96, 96, 0.875f, 0.875f},      {0, 0, 96, 96, 0.0f, 0.0f},
               {1920, 0, 96, 96, 0.0f, 0.0f},             {1920, 1080, 0, 0, 1.0227273f, 0.0f}};
  for (const auto& c : cases) {
    const UiScales s = ComputeUiScales(c.w, c.h, c.dpiX, c.dpiY);
    EXPECT_NEAR(s.uiScale, c.ui, 1e-5) << c.w << "x" << c.h << " " << c.dpiX << "/" << c.dpiY;
    EXPECT_NEAR(s.fontScale, c.font, 1e-5) << c.w << "x" << c.h << " " << c.dpiX << "/" << c.dpiY;
  }
  EXPECT_NEAR(FitFactor(1.0f, 600), 0.86083f, 1e-5);
  EXPECT_EQ(FitFactor(1.0f, 697), 1.0f);
  EXPECT_EQ(FitFactor(1.0f, 2000), 1.0f);
  EXPECT_EQ(FitFactor(0.0f, 100), 1.0f);
  EXPECT_EQ(FontHeight(1.0f, 10, 96), -13);
  EXPECT_EQ(FontHeight(1.0f, 9, 96), -12);
  EXPECT_EQ(FontHeight(1.0f, 22, 144), -44);
  EXPECT_EQ(FontHeight(0.98485f, 13, 96), -16);  // trunc(12.8) = 12 points
}

TEST(UiScale, LayoutGeometry) {
  // Sizes of whole bitmaps and controls: the skin's helpers (helpers_test).
  EXPECT_EQ(ScaledBitmapSize(4 * 28, 28, 1.5f), (Size{168, 42}));  // square cells stay square
  EXPECT_EQ(ScaledBitmapSize(10, 0, 1.5f), (Size{}));
  EXPECT_EQ(ScaledDrawSize(30, 20, 1.5, 0.5), (Size{22, 15}));
  EXPECT_EQ(ScaleInt(697, 0.98485f), 686);
  EXPECT_EQ(ScaleInt(-7, 0.5f), -3);
}

}  // namespace
}  // namespace qv
