// The three panels painted on the offscreen platform: sampled pixels of the
// graph and the information panel, their messages to the main window, and
// the gauge window's animation on a fake clock.
#include <gtest/gtest.h>

#include <QtTest/QTest>

#include "eventwait.h"
#include "mainwnd/mainmessages.h"
#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "panels/obddlg.h"
#include "panels/panelmessages.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/qtconvert.h"
#include "skin/skinbutton.h"

namespace qv {
namespace {

static_assert(kMsgGraphPreviousEvent == mainwnd::kMsgPrevEventMark);
static_assert(kMsgGraphNextEvent == mainwnd::kMsgNextEventMark);
static_assert(kMsgInfoToggle == mainwnd::kMsgInfoItemToggle);
static_assert(kMsgGaugeWindowGone == mainwnd::kMsgGaugeWindow);

// A stand-in main window that records the messages it gets.
struct Owner : QWidget {
  AppMessageSink sink{this};
  std::vector<std::pair<uint32_t, std::pair<uintptr_t, intptr_t>>> got;
  Owner() {
    for (uint32_t m : {kMsgGraphPreviousEvent, kMsgGraphNextEvent, kMsgInfoToggle, kMsgGaugeWindowGone})
      sink.On(m, [this, m](uintptr_t w, intptr_t l) { got.push_back({m, {w, l}}); });
  }
};

TEST(PanelWidgets, GraphPaintsCurvesMarksBandAndCursor) {
  qvtest::App();
  Owner owner;
  std::vector<SensorSample> samples(60);
  std::vector<SensorSample*> index;
  for (int i = 0; i < 60; ++i) {
    samples[static_cast<size_t>(i)].gX = 0.5;
    samples[static_cast<size_t>(i)].time = 2 * i;
    if (i >= 40 && i < 50) samples[static_cast<size_t>(i)].overSpeed = kEventOverSpeed;
  }
  samples[20].kind = kEventManual;
  for (auto& s : samples) index.insert(index.end(), 2, &s);

  CGSensorDlg graph(&owner);
  graph.SetSampleSource([&](const std::function<void(const SlotRecords&)>& visit) {
    visit(SlotRecords(&samples, &index));
  });
  graph.setGeometry(0, 0, 656, 142);
  graph.SetMargin(40);
  graph.SetPositionRange(120);
  graph.SetTileSpacing(CGSensorDlg::TileSpacingFor(40));
  graph.SetHasData(1);
  graph.SetScaleMode(1);
  graph.SetCursor(60);
  const QImage shot = graph.grab().toImage();
  const GraphPlan& plan = graph.LastPlan();
  ASSERT_TRUE(plan.painted);
  ASSERT_EQ(plan.marks.size(), 2u);

  // The cursor is white from top to bottom.
  for (int y : {0, 70, 141}) EXPECT_EQ(shot.pixelColor(plan.cursorX, y), QColor(Qt::white)) << y;
  // The X curve is ORed on in green at +0.5 G (34 pixels above the centre).
  const int xCurve = 40 + 100;
  EXPECT_EQ(shot.pixelColor(xCurve, 71 - 34).green(), 255);
  // The manual mark's line is white; the band shades the speeding stretch red.
  const int manualX = plan.marks[0].x;
  EXPECT_EQ(shot.pixelColor(manualX, 30), QColor(Qt::white));
  const GraphBandColumn& b = plan.band[plan.band.size() / 2];
  const QColor banded = shot.pixelColor(b.x, b.y + b.height / 2);
  EXPECT_GT(banded.red(), banded.blue() + 40);

  // Without a source of its own the graph reads the player, which holds no
  // drive data here: background, scale and cursor only.
  CGSensorDlg idle(&owner);
  idle.setGeometry(0, 0, 656, 142);
  idle.SetTileSpacing(CGSensorDlg::TileSpacingFor(40));
  idle.SetHasData(1);
  idle.grab();
  EXPECT_TRUE(idle.LastPlan().painted);
  EXPECT_TRUE(idle.LastPlan().segments.empty());

  // Clicks ask the main window for the previous and the next event.
  QTest::mouseClick(&graph, Qt::LeftButton, {}, QPoint(100, 50));
  QTest::mouseClick(&graph, Qt::RightButton, {}, QPoint(100, 50));
  ASSERT_TRUE(qvtest::WaitFor([&] { return owner.got.size() == 2; }, 2000));
  EXPECT_EQ(owner.got[0].first, kMsgGraphPreviousEvent);
  EXPECT_EQ(owner.got[1].first, kMsgGraphNextEvent);
}

TEST(PanelWidgets, InfoPanelShowsValuesPlaceholdersAndToggles) {
  qvtest::App();
  Owner owner;
  CInfoDlg info(&owner);
  info.setGeometry(0, 0, 656, 105);
  const InfoLayout l = ComputeInfoLayout(1.0f, 1.0f);
  auto colourIn = [](const QImage& img, const Rect& r, QColor c) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (img.pixelColor(x, y) == c) return true;
    return false;
  };

  info.SetStartTime(NormalizeCivil(2025, 3, 5, 9, 15, 20));
  info.SetSlotTime(100.0f);
  info.SetHasData(1);
  info.SetCursor(36000);
  info.SetG(0.29, -1.0, 0.5);
  info.SetFix(1);
  info.SetSpeed(42.0);
  EXPECT_EQ(info.DateTimeText(), QStringLiteral("2025/03/05 10:15:20"));
  QImage shot = info.grab().toImage();
  EXPECT_TRUE(colourIn(shot, l.gValues[0], QColor(0, 255, 0)));
  EXPECT_TRUE(colourIn(shot, l.gValues[1], QColor(255, 0, 0)));

  // Without values the placeholders stand there: no G text in axis colour.
  info.ResetValues();
  EXPECT_FALSE(info.HasG());
  EXPECT_TRUE(info.DateTimeText().isEmpty());
  shot = info.grab().toImage();
  EXPECT_FALSE(colourIn(shot, l.gValues[0], QColor(0, 255, 0)));

  // A toggle flips and tells the main window which series and its state.
  auto* button = info.findChild<CSkinButton*>(QStringLiteral("38601"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(FromQRect(button->geometry()), l.buttons[1]);
  button->click();
  EXPECT_EQ(info.Toggle(1), 0);
  ASSERT_TRUE(qvtest::WaitFor([&] { return owner.got.size() == 1; }, 2000));
  EXPECT_EQ(owner.got[0].first, kMsgInfoToggle);
  EXPECT_EQ(owner.got[0].second, (std::pair<uintptr_t, intptr_t>{1, 0}));
}

TEST(PanelWidgets, GaugeWindowAnimatesAndLocksItsChoiceWhilePlaying) {
  qvtest::App();
  Owner owner;
  FakeTimerClock clock;
  int state = 1;
  {
    CObdDlg obd(nullptr, &clock);
    obd.SetOwnerPort(owner.sink.Port());
    obd.SetStateSource([&] { return state; });
    EXPECT_EQ(obd.GetItemValue(-1), 0);
    EXPECT_EQ(obd.GetItemValue(7), 5);
    EXPECT_EQ(obd.Item(0), -1);

    obd.SetItemValue(2, 97);
    obd.Combo(0)->setCurrentIndex(2);
    EXPECT_EQ(obd.Needle(0).shown, 90);
    clock.Advance(50);
    EXPECT_EQ(obd.Needle(0).Displayed(), 96);
    clock.Advance(50);
    EXPECT_EQ(obd.Needle(0).Displayed(), 97);
    clock.Advance(50);
    EXPECT_EQ(obd.Needle(0).shown, 97);
    EXPECT_FALSE(obd.Needle(0).animating);

    // The gauge is drawn: its face is not black.
    const QImage shot = obd.grab().toImage();
    const Rect g = GaugeRect(0, obd.Scale(), obd.GaugeTop());
    EXPECT_NE(shot.pixelColor(g.left + g.Width() / 2, g.top + 20), QColor(Qt::black));

    state = 2;
    clock.Advance(50);
    EXPECT_FALSE(obd.Combo(0)->isEnabled());
    EXPECT_TRUE(obd.Combo(1)->isEnabled());  // no item yet
    state = 3;
    clock.Advance(50);
    EXPECT_TRUE(obd.Combo(0)->isEnabled());
  }
  ASSERT_TRUE(qvtest::WaitFor([&] { return !owner.got.empty(); }, 2000));
  EXPECT_EQ(owner.got.back().first, kMsgGaugeWindowGone);
}

}  // namespace
}  // namespace qv
