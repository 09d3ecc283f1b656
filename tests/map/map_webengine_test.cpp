// Both map dialogs end to end on Qt WebEngine (offscreen, software drawing):
// the page loads the bundled library and reports ready, the track, the
// marker and an event point draw, a click on the point reaches the main
// window as a seek, the values reach the page, and the page cannot be
// navigated away.  No tiles: the tile address is empty, nothing touches the
// network.
#include <gtest/gtest.h>

#include "eventwait.h"
#include "pageeval.h"
#include "map/mapbridge.h"
#include "map/mapdlg.h"
#include "map/mapdlg2.h"
#include "map/mapdlgwrap.h"
#include "map/mapmessages.h"

namespace qv {
namespace {

// WebEngine wants these before the application object exists.
const bool kWebEngineEnv = [] {
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  return true;
}();

constexpr int kLoadMs = 60000;
// The page's three input fields, as one text.
const QString kInputs =
    "['map_lat','map_lng','map_status'].map(function(i){return document.getElementById(i).value;}).join()";

using qvtest::Eval;

struct MapPageTest : ::testing::Test {
  MapPageTest() { qvtest::App(); }
  QObject owner;
  AppMessageSink sink{&owner};
  std::vector<std::pair<uint32_t, intptr_t>> posted;
  CMapDlgWrap wrap;

  void SetUp() override {
    for (uint32_t m : {uint32_t(kMsgMapPageLoaded), uint32_t(kMsgMapPointClicked)})
      sink.On(m, [this, m](uintptr_t, intptr_t l) { posted.emplace_back(m, l); });
    wrap.SetOwner(sink.Port());
    wrap.SetTileUrl("");
    wrap.SetProbeResult(1);
    wrap.SetMapDisplay(1);
    // Two pieces: a jump of about 0.01 degrees between the 4th and 5th point.
    std::vector<double> grid;
    for (int i = 0; i < 8; ++i) {
      grid.push_back(35.68 + i * 0.0002 + (i >= 4 ? 0.01 : 0.0));
      grid.push_back(139.76);
      grid.push_back(i * 10);
    }
    grid.push_back(static_cast<double>(grid.size()));
    wrap.SetDataSource({[grid] { return grid; }, [grid] { return grid; }, [] { return int64_t{80}; }});
  }
  bool Posted(uint32_t message) {
    return qvtest::WaitFor([&] {
      for (auto& p : posted) if (p.first == message) return true;
      return false;
    }, kLoadMs);
  }
};

TEST_F(MapPageTest, HostObjectPageDrawsTrackAndPointsAndTakesTheUpdateMessage) {
  auto* dlg = new CMapDlg2;
  wrap.SetMapDlg2(dlg);
  dlg->resize(480, 360);
  dlg->show();
  ASSERT_TRUE(Posted(kMsgMapPageLoaded)) << "the page never made its map";
  EXPECT_EQ(wrap.pageReady, 1);
  QWebEnginePage* page = dlg->Page();
  EXPECT_DOUBLE_EQ(page->zoomFactor(), 0.65);

  wrap.curPos = 25;
  wrap.RedrawTrack(0, 1);
  wrap.ExecScript(AddCrashPosScript({1, 0.5, 0.1, 0.0, 0, 0, 70, 35.6914, 139.76, 1, 40.0, 0.0}));
  const QString counts =
      "[orbitgrplist.grpline.length, orbitgrplist.histline.length, orbitgrplist.schline.length,"
      " cplist.markers.length].join()";
  EXPECT_TRUE(qvtest::WaitFor([&] { return Eval(page, counts).toString() == "2,1,2,1"; }, 10000))
      << Eval(page, counts).toString().toStdString();

  Eval(page, "cplist.markers[0].marker.fire('click')");
  ASSERT_TRUE(Posted(kMsgMapPointClicked));
  for (auto& p : posted) {
    if (p.first == kMsgMapPointClicked) {
      EXPECT_EQ(p.second, 70);
    }
  }

  dlg->latitude = 35.5;
  dlg->longitude = 139.25;
  dlg->status = "pause";
  EXPECT_TRUE(qvtest::WaitFor([&] { return Eval(page, kInputs).toString() == "35.500000,139.250000,pause"; }, 10000))
      << Eval(page, kInputs).toString().toStdString();
  EXPECT_EQ(dlg->Json().Value("val_command"), "update");
}

TEST_F(MapPageTest, PlainPageGetsItsInputsAndStaysOnItself) {
  auto* dlg = new CMapDlg;
  wrap.SetMapDlg(dlg);
  dlg->resize(480, 360);
  dlg->show();
  ASSERT_TRUE(Posted(kMsgMapPageLoaded));
  QWebEnginePage* page = dlg->Page();

  wrap.SetPosition(-33.5, -151.25);
  wrap.SetPlayStatus(2);
  EXPECT_TRUE(qvtest::WaitFor([&] { return Eval(page, kInputs).toString() == "-33.5,-151.25,stop"; }, 10000))
      << Eval(page, kInputs).toString().toStdString();
  EXPECT_EQ(Eval(page, "typeof window.external.JS2C_GetMarkName").toString(), "function");

  const QUrl home = page->url();
  Eval(page, "window.location.href = 'qrc:/map/page373.html'; window.open('qrc:/map/page373.html');");
  qvtest::Pump(500);
  EXPECT_EQ(page->url(), home);
  EXPECT_EQ(Eval(page, "typeof orbitgrplist").toString(), "object");
  EXPECT_FALSE(MapPage::IsOwnPage(QUrl("qrc:/map/page373.html"), home));
  EXPECT_TRUE(MapPage::IsOwnPage(QUrl("qrc:/map/page103.html#x"), home));
}

}  // namespace
}  // namespace qv
