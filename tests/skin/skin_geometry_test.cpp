// The toolkit's geometry, without any window.
#include <gtest/gtest.h>

#include <climits>

#include "skin/skingeometry.h"
#include "testsupport.h"

using namespace qv;
using namespace qv::skin;

TEST(DialogMetrics, DesignAndPaneSizes) {
  const DialogMetrics one = ComputeDialogMetrics(1.0f);
  EXPECT_EQ(one.designWidth, 1120);
  EXPECT_EQ(one.designHeight, 697);
  EXPECT_EQ(one.panes[0], (Size{656, 370}));
  EXPECT_EQ(one.panes[1], (Size{868, 489}));
  EXPECT_EQ(one.panes[2], (Size{1108, 624}));
  const DialogMetrics big = ComputeDialogMetrics(1.5f);
  EXPECT_EQ(big.designWidth, 1680);
  EXPECT_EQ(big.designHeight, 1045);
}

TEST(HitTest, ScaleOneOnDesignWindow) {
  const Rect w = Rect::FromSize(0, 0, 1120, 697);
  // The bottom strip of 2 + 38 pixels answers client (its controls stay
  // usable); outside the window nothing matches.
  const struct {
    int x, y, hit;
  } cases[] = {{100, 2, kHitTop},          {100, 10, kHitCaption},       {500, 660, kHitClient},
               {500, 400, kHitNowhere},    {0, 0, kHitTopLeft},          {1119, 0, kHitTopRight},
               {0, 696, kHitBottomLeft},   {1119, 696, kHitBottomRight}, {2, 300, kHitLeft},
               {1117, 300, kHitRight},     {500, 694, kHitBottom},       {500, 697 - 40, kHitClient},
               {500, 697 - 41, kHitNowhere}, {1120, 300, kHitNowhere}};
  for (const auto& c : cases) EXPECT_EQ(HitTestEdge(w, {c.x, c.y}, 1.0f, {}), c.hit) << c.x << "," << c.y;
  EXPECT_EQ(HitTestEdge(w, {100, 2}, 1.0f, {true, false}), kHitClient);
  // Maximised: the whole top strip is caption.
  EXPECT_EQ(HitTestEdge(w, {0, 0}, 1.0f, {false, true}), kHitCaption);
}

TEST(HitTest, EdgesAndCursors) {
  EXPECT_EQ(EdgeFromHitCode(kHitLeft), kEdgeLeft);
  EXPECT_EQ(EdgeFromHitCode(kHitTopRight), kEdgeTopRight);
  EXPECT_EQ(EdgeFromHitCode(kHitBottomLeft), kEdgeBottomLeft);
  EXPECT_EQ(EdgeFromHitCode(kHitCaption), kEdgeNone);
  EXPECT_EQ(CursorForHitCode(kHitTopRight), CursorShape::kSizeNESW);
  EXPECT_EQ(CursorForHitCode(kHitBottomRight), CursorShape::kSizeNWSE);
  EXPECT_EQ(CursorForHitCode(kHitCaption), CursorShape::kArrow);
  const Rect drag(100, 100, 400, 300);
  EXPECT_EQ(GetDragRect(drag, kHitBottomLeft, {50, 350}), Rect(50, 100, 400, 350));
  EXPECT_EQ(GetDragRect(drag, kHitTopRight, {500, 90}), Rect(100, 90, 500, 300));
  EXPECT_EQ(GetDragRect(drag, kHitCaption, {5, 5}), drag);
}

TEST(Clamp, LimitCodes) {
  const Rect work(0, 0, 1920, 1040);
  float sx, sy;
  const struct {
    int width, height, edge, code;
  } cases[] = {{500, 2000, kEdgeBottomRight, 2}, {3000, 400, kEdgeTopLeft, 3}, {3000, 800, kEdgeRight, 6},
               {500, 800, kEdgeLeft, 5},         {500, 400, kEdgeLeft, 7},     {1500, 800, kEdgeBottomRight, 0},
               {500, 400, kEdgeNone, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(ClampScale(Rect(0, 0, c.width, c.height), work, 1120, 697, c.edge, sx, sy), c.code) << c.width;
  EXPECT_FLOAT_EQ(sx, 1.0f);
  ClampScale(Rect(0, 0, 1500, 800), work, 1120, 697, kEdgeBottomRight, sx, sy);
  EXPECT_NEAR(sx, 1500.0f / 1120.0f, 1e-6);
}

TEST(Clamp, DragsKeepTheOppositeCornerAndTheDesignSize) {
  const Rect work(0, 0, 1920, 1040);
  Rect r(400, 300, 1520, 997);
  DragTracking tr;
  float sx, sy;
  ASSERT_TRUE(TrackDrag(r, tr, {-500, -500}, kEdgeTopLeft, work, 1120, 697, sx, sy));
  EXPECT_EQ(r.right, 1520);
  EXPECT_EQ(r.bottom, 997);
  EXPECT_EQ(r.Width(), 1920);
  EXPECT_EQ(r.Height(), 1040);
  // The same point again is nothing new.  (A bottom-right drag: the dialog's
  // resize, skin_widgets_test.)
  EXPECT_FALSE(TrackDrag(r, tr, {-500, -500}, kEdgeTopLeft, work, 1120, 697, sx, sy));
  // Inside a window of the design size: the design size at scale 1.0, and
  // other points inside are nothing new.
  Rect small = Rect::FromSize(0, 0, 1120, 697);
  DragTracking inside;
  ASSERT_TRUE(TrackDrag(small, inside, {500, 400}, kEdgeBottomRight, work, 1120, 697, sx, sy));
  EXPECT_EQ(small, Rect(0, 0, 1120, 697));
  EXPECT_FLOAT_EQ(sx, 1.0f);
  EXPECT_FALSE(TrackDrag(small, inside, {400, 300}, kEdgeBottomRight, work, 1120, 697, sx, sy));
}

TEST(Clamp, PlaceFromEdge) {
  const Rect start(100, 100, 500, 400);
  EXPECT_EQ(PlaceFromEdge(kEdgeLeft, start, 200, 0), Rect(300, 100, 500, 400));
  EXPECT_EQ(PlaceFromEdge(kEdgeTop, start, 0, 100), Rect(100, 300, 500, 400));
  EXPECT_EQ(PlaceFromEdge(kEdgeBottomLeft, start, 50, 60), Rect(450, 100, 500, 160));
  EXPECT_EQ(PlaceFromEdge(kEdgeTopRight, start, 50, 60), Rect(100, 340, 150, 400));
}

TEST(Scale, TextIsLocaleFree) {
  float v = 0;
  {
    qvtest::DecimalCommaLocale comma;
    if (!comma.active) GTEST_LOG_(INFO) << "no decimal-comma locale installed; checked in the C locale";
    EXPECT_EQ(FormatScale(1.5f), "1.500000");
    EXPECT_EQ(FormatScale(1.25f), "1.250000");
    EXPECT_TRUE(ParseScale("1.500000", v));
    EXPECT_FLOAT_EQ(v, 1.5f);
  }
  v = 2.0f;
  EXPECT_FALSE(ParseScale("0", v));
  EXPECT_FALSE(ParseScale("-1.0", v));
  EXPECT_FALSE(ParseScale("", v));
  EXPECT_FALSE(ParseScale("abc", v));
  // A hand-edited settings file must not give an endless or overflowing size.
  EXPECT_FALSE(ParseScale("inf", v));
  EXPECT_FALSE(ParseScale("1e39", v));
  EXPECT_FLOAT_EQ(v, 2.0f);
  EXPECT_EQ(ScaledWindowSize(1120, 697, 1.5f, 1.25f), (Size{1680, 871}));
  EXPECT_EQ(ScaledWindowSize(1120, 697, 1e30f, 1.0f), (Size{2147483647, 697}));
  // A loaded scale on a work area smaller than the design size stays 1.0.
  EXPECT_FLOAT_EQ(ClampLoadedScale(1.5f, 1000, 1120), 1.0f);
  EXPECT_FLOAT_EQ(ClampLoadedScale(1.5f, 0, 1120), 1.5f);  // no monitor known
}

TEST(Outline, Throttle) {
  EXPECT_FALSE(OutlineDue(1.08, 1.0));
  EXPECT_TRUE(OutlineDue(1.09, 1.0));
}

TEST(ButtonRule, CellChoice) {
  bool pressed = false;
  // Disabled beats latched.
  EXPECT_EQ(ButtonImageIndex(kStateDisabled, true, pressed), 3);
  // Grayed comes first of all.
  EXPECT_EQ(ButtonImageIndex(kStateGrayed | kStateDisabled, false, pressed), 1);
  EXPECT_EQ(ButtonImageIndex(kStateSelected, false, pressed), 2);
  EXPECT_TRUE(pressed);
  EXPECT_EQ(ButtonImageIndex(0, false, pressed), 0);
  EXPECT_FALSE(pressed);
  EXPECT_EQ(ButtonImageIndex(kStateChecked, false, pressed), 2);
  // Latched and hovered, and the check button: the widgets' cells (skin_widgets_test).
  EXPECT_EQ(SkinButtonCell(0, true, true, pressed), 2);
}

// The caption strip and close button are checked through the dialog's pixels.
TEST(SkinDialog, CaptionTextAndCheckButton) {
  EXPECT_EQ(CaptionTextRect(1.0f).left, 5);
  EXPECT_EQ(CheckImageRect(1.0f), Rect(0, 4, 12, 16));
  EXPECT_EQ(CheckTextRect(Rect(0, 0, 200, 20), 1.5f).left, 24);
}

TEST(ListStates, Transitions) {
  for (auto [from, to] : {std::pair{0, 1}, {1, 3}, {2, 3}, {3, 1}, {5, 1}}) EXPECT_EQ(ListStateAfterClick(from), to);
  EXPECT_EQ(ListStateOnHoverEnter(1), 2);
  EXPECT_EQ(ListStateOnHoverEnter(3), 3);
  EXPECT_EQ(ListStateOnHoverLeave(2), 1);
  EXPECT_EQ(ListStateOnHoverLeave(3), 3);
}

TEST(Progress, Fill) {
  // The position is divided by the range without subtracting the minimum.
  EXPECT_EQ(ProgressFillWidth(400, 10, 20, 5), 200);
  EXPECT_EQ(ProgressFillWidth(400, 0, 0, 7), 0);
  EXPECT_EQ(ProgressFillWidth(400, 0, 100, 42), 168);
  // The widest range does not overflow.
  EXPECT_EQ(ProgressFillWidth(400, INT_MIN, INT_MAX, INT_MAX), 200);
  EXPECT_EQ(ProgressFillWidth(400, 0, 1, INT_MAX), INT_MAX);
  EXPECT_EQ(ProgressTextRect(400, 22, 1.0f), Rect(150, 0, 250, 22));
  EXPECT_EQ(ProgressPlaceBelow(Rect(100, 50, 900, 700), Rect(110, 80, 770, 450), 1.0f),
            Rect::FromSize(10, 450 - 51 - 22, 660, 22));
}

TEST(Slider, PositionFromX) {
  EXPECT_EQ(SliderPosFromX(5000, 400, 0, 99, -1), 99);  // in the range: the slider's own test
  EXPECT_EQ(SliderPosFromX(10, 0, 0, 99, 7), 7);
  // The widest range does not overflow.
  EXPECT_EQ(SliderPosFromX(200, 400, 0, INT_MAX, -1), 1 << 30);
  EXPECT_EQ(SliderPosFromX(400, 400, 0, INT_MAX, -1), INT_MAX);
  EXPECT_TRUE(SliderAcceptsX(-9, 400, 1.0f));
  EXPECT_FALSE(SliderAcceptsX(-10, 400, 1.0f));
  EXPECT_TRUE(SliderAcceptsX(409, 400, 1.0f));
}

TEST(Slider, BarAndThumb) {
  const SliderImages im{{656, 10}, {656, 10}, {12, 10}};
  const SliderBar b = ComputeSliderBar(400, 0, 0, 99, 50, im, 1.0f);
  EXPECT_EQ(b.playedDest, Rect(0, 0, 200, 10));
  EXPECT_EQ(b.playedSource, Rect(0, 0, 328, 10));
  EXPECT_EQ(b.restDest.left, 201);
  EXPECT_EQ(b.restDest.Width(), 201);
  // step = (400 - 12) / 100 = 3.88; x = trunc(50 * 3.88) = 194
  EXPECT_EQ(b.thumbDest, Rect::FromSize(194, 0, 13, 10));
  EXPECT_TRUE(SliderXOnThumb(200, 400, 0, 99, 50, im, 1.0f));
  EXPECT_FALSE(SliderXOnThumb(100, 400, 0, 99, 50, im, 1.0f));
  const SliderBar none = ComputeSliderBar(400, 0, 5, 4, 3, im, 1.0f);
  EXPECT_EQ(none.playedDest.Width(), 0);
  EXPECT_EQ(none.thumbDest.left, 0);
  const SliderBar wide = ComputeSliderBar(400, 0, INT_MIN, INT_MAX, 0, im, 1.0f);
  EXPECT_EQ(wide.playedDest.Width(), 0);
  // A position far beyond the range keeps the rectangles inside int.
  const SliderBar far = ComputeSliderBar(400, 0, 0, 99, INT_MAX, im, 1.0f);
  EXPECT_EQ(far.thumbDest.left, INT_MAX);
}

TEST(MsgBox, Geometry) {
  const MsgBoxLayout one = ComputeMsgBoxLayout({200, 16}, 1.0f, 0, Rect(0, 0, 1000, 800));
  EXPECT_EQ(one.window.Width(), 280);
  EXPECT_EQ(one.window.Height(), 156);
  EXPECT_EQ(one.window.left, 500 - 140);
  EXPECT_EQ(one.window.top, 400 - 78);
  EXPECT_EQ(one.text, Rect(40, 30, 280, 76));
  EXPECT_EQ(one.ok, Rect(165, 111, 265, 141));
  EXPECT_TRUE(one.cancel.IsEmpty());
  EXPECT_EQ(one.whiteArea, Rect(0, 0, 280, 96));
  const MsgBoxLayout two = ComputeMsgBoxLayout({200, 32}, 1.0f, 1, Rect(0, 0, 1000, 800));
  EXPECT_EQ(two.window.Height(), 172);
  EXPECT_EQ(two.cancel, Rect(165, 127, 265, 157));
  EXPECT_EQ(two.ok, Rect(50, 127, 150, 157));
  // Odd sizes: halves round toward zero.
  const MsgBoxLayout odd = ComputeMsgBoxLayout({201, 16}, 1.0f, 0, Rect(-101, 0, 0, 0));
  EXPECT_EQ(odd.window.left, -101 + 50 - 140);
  // The text comes measured in the box's own, already scaled font: only the
  // margins scale.
  const MsgBoxLayout big = ComputeMsgBoxLayout({300, 20}, 1.5f, 0, Rect(0, 0, 1000, 800));
  EXPECT_EQ(big.window.Width(), 300 + 2 * 60);
  EXPECT_EQ(big.window.Height(), 20 + 2 * 45 + 90 + 30);
}

TEST(Logo, Fit) {
  // Wider than the image: bars left and right.
  EXPECT_EQ(FitLogo(Rect(0, 0, 904, 392), 452, 392), Rect::FromSize(226, 0, 452, 392));
  // Taller: bars at the top and bottom.
  EXPECT_EQ(FitLogo(Rect(0, 0, 452, 784), 452, 392), Rect::FromSize(0, 196, 452, 392));
  EXPECT_TRUE(FitLogo(Rect(0, 0, 100, 100), 0, 10).IsEmpty());
  const Size mons[] = {{1920, 1080}, {2560, 1440}, {1080, 1920}};
  EXPECT_EQ(BackBufferSize(mons, 3), (Size{2560, 1920}));
}
