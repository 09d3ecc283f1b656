// The main window's geometry at the design size, at 1.5 and at the edges.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "skin/ninepatch.h"
#include "mainwnd/mainlayout.h"

using namespace qv;
using namespace qv::mainwnd;

namespace {
Rect R(int x, int y, int w, int h) { return Rect::FromSize(x, y, w, h); }
}  // namespace

TEST(MainLayout, DesignSizeAtScaleOne) {
  auto l = LayoutChildren(Rect(0, 0, 1120, 697), 1.0f);
  ASSERT_TRUE(l);
  EXPECT_EQ(l->frontPane, R(6, 27, 656, 371));
  EXPECT_EQ(l->positionSlider, R(6, 399, 656, 10));
  EXPECT_EQ(l->infoPanel, R(6, 409, 656, 105));
  EXPECT_EQ(l->graph, R(6, 514, 656, 142));
  EXPECT_EQ(l->browser, Rect(662, 28, 1114, 656));
  const int xs[16] = {20, 63, 106, 149, 192, 235, 278, 321, 364, 407, 450, 523, 566, 609, 652, 695};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(l->commandButtons[i], R(xs[i], 661, 32, 32)) << i;
  EXPECT_EQ(l->frameButtons[0], R(1064, 0, 46, 18));
  EXPECT_EQ(l->frameButtons[1], R(1038, 0, 26, 18));
  EXPECT_EQ(l->frameButtons[2], R(1012, 0, 26, 18));
  EXPECT_EQ(l->volumeSlider, R(1000, 667, 100, 20));
  EXPECT_EQ(BusyProgressBar(l->paneArea, 1.0f), R(8, 377, 656, 22));

  EXPECT_EQ(MapPopoutDesignSize(1.0f), (Size{452, 393}));
  EXPECT_EQ(MoviePopoutDesignSize(1.0f), (Size{452, 274}));
  EXPECT_EQ(MapPopoutOrigin({100, 50}, *l), (Point{762, 78}));
  EXPECT_EQ(MoviePopoutOrigin({100, 50}, *l, 1.0f), (Point{762, 432}));
  EXPECT_EQ(PopoutContentRect({452, 274}, 1.0f), R(4, 20, 444, 250));
  EXPECT_EQ(PopoutWindowSize({452, 274}, 1.25f, 1.0f), (Size{565, 274}));
  EXPECT_EQ(MainWindowSize(1.0f, 1.1f, 1.0f), (Size{1232, 697}));
}

TEST(MainLayout, ScaleOneAndAHalfTruncatesEachTerm) {
  const float s = 1.5f;
  auto l = LayoutChildren(Rect(0, 0, 1680, 1045), s);
  ASSERT_TRUE(l);
  EXPECT_EQ(l->frontPane, R(9, 40, 984, 556));
  EXPECT_EQ(l->positionSlider, R(9, 597, 984, 15));
  EXPECT_EQ(l->infoPanel, R(9, 612, 984, 157));
  EXPECT_EQ(l->graph, R(9, 769, 984, 215));
  EXPECT_EQ(l->browser, Rect(993, 41, 1671, 983));
  EXPECT_EQ(l->commandButtons[10], R(670, 992, 48, 48));
  EXPECT_EQ(l->commandButtons[11], R(779, 992, 48, 48));
  EXPECT_EQ(l->frameButtons[0], R(1596, 0, 69, 27));
  EXPECT_EQ(l->frameButtons[2], R(1518, 0, 39, 27));
  EXPECT_EQ(l->volumeSlider, R(1500, 1001, 150, 30));
  EXPECT_EQ(MapPopoutDesignSize(s), (Size{678, 591}));
  EXPECT_EQ(MoviePopoutDesignSize(s), (Size{678, 411}));
}

TEST(MainLayout, EmptyClientOrPaneMakesNothing) {
  EXPECT_FALSE(LayoutChildren(Rect(0, 0, 0, 697), 1.0f));
  EXPECT_FALSE(LayoutChildren(Rect(0, 0, 1120, 0), 1.0f));
  // Wide enough for the browser column only: the front pane has no width.
  EXPECT_FALSE(LayoutChildren(Rect(0, 0, 464, 697), 1.0f));
  EXPECT_TRUE(LayoutChildren(Rect(0, 0, 465, 697), 1.0f));
}

// Every button shows the strip the skin made for its control.
TEST(MainLayout, ButtonBitmapsAreTheSkinsStripsForTheirControls) {
  std::ifstream in(std::string(QV_SOURCE_DIR) + "/resources/skin/manifest.txt");
  ASSERT_TRUE(in);
  std::map<int, std::string> roles;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    roles[std::stoi(line)] = line.substr(line.rfind('\t') + 1);
  }
  auto check = [&](int bitmap, int id, const char* kind) {
    ASSERT_TRUE(roles.count(bitmap)) << bitmap;
    EXPECT_NE(roles[bitmap].find(std::string(kind) + " " + std::to_string(id)), std::string::npos)
        << bitmap << ": " << roles[bitmap];
  };
  for (const ButtonRow& b : CommandButtons()) {
    check(b.bitmap, b.id, "command button");
    if (b.playingBitmap) check(b.playingBitmap, b.id, "command button");
  }
  for (const ButtonRow& b : FrameButtons()) check(b.bitmap, b.id, "frame button");
}

TEST(LogoAndMap, WhatIsShown) {
  LogoMapInput in;
  in.trackShown = in.connectTest = in.currentRowValid = in.connected = in.logoVisible = true;
  in.trackEmpty = false;
  auto d = DecideLogoAndMap(in, true);
  EXPECT_TRUE(d.showMap && !d.logoShown && d.logo == LogoAction::kHide);

  // A parked recording hides the map and shows the logo; in full screen the
  // logo goes at once and the rule stops before the frame.
  in.parking = in.mapDialogVisible = true;
  in.connected = in.logoVisible = false;
  d = DecideLogoAndMap(in, false);
  EXPECT_TRUE(d.hideMap && !d.showMap && d.logo == LogoAction::kShow);
  in.fullScreen = in.logoVisible = in.firstRun = in.mapShown = true;
  in.connectTest = false;
  d = DecideLogoAndMap(in, true);
  EXPECT_TRUE(d.logo == LogoAction::kHideNow && !d.logoShown && !d.redrawLogo);

  // The offline frame on a first run that wants the map but cannot reach it.
  in.fullScreen = false;
  d = DecideLogoAndMap(in, true);
  EXPECT_TRUE(d.logoFrameFlag == 0 && d.redrawLogo);

  // Where no map can show, the logo stands in for a pair that has a place
  // and a host that answers, and nothing asks for the map.
  LogoMapInput none;
  none.trackShown = none.connectTest = none.currentRowValid = none.connected = true;
  none.trackEmpty = none.mapAvailable = false;
  d = DecideLogoAndMap(none, false);
  EXPECT_TRUE(!d.showMap && d.logoShown && d.logo == LogoAction::kShow);
}

TEST(MainBackground, NinePatchCoversTheWindowEdgesFlush) {
  using qv::NinePatchTiles;
  const Size image{1200, 750};  // cells of 400 × 250
  auto tiles = NinePatchTiles(image, Rect(0, 0, 1120, 697), 1.0f);
  ASSERT_EQ(tiles.size(), 9u);
  EXPECT_EQ(tiles[0].source, Rect::FromSize(0, 0, 400, 250));
  EXPECT_EQ(tiles[4].target, Rect::FromSize(400, 250, 400, 250));  // the middle cell
  EXPECT_EQ(tiles[8].source, Rect::FromSize(800, 500, 400, 250));
  EXPECT_EQ(tiles[8].target, Rect::FromSize(720, 447, 400, 250));  // flush with the bottom-right
  // A wide window repeats the middle column; a tiny scale draws nothing.
  tiles = NinePatchTiles(image, Rect(0, 0, 2000, 697), 1.0f);
  EXPECT_EQ(tiles.size(), 15u);
  EXPECT_EQ(tiles[4].target.left, 1600);
  EXPECT_TRUE(NinePatchTiles(image, Rect(0, 0, 1120, 697), 0.001f).empty());
  // Only the share of a strip along the bottom: the last row's five tiles.
  const Rect strip(0, 690, 2000, 700);
  EXPECT_EQ(NinePatchTiles(image, Rect(0, 0, 2000, 697), 1.0f, &strip).size(), 5u);
}
