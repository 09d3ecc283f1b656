// The map in the main window, with its web engine (offscreen) and a local
// tile host that counts what it is asked: the map follows every chosen pair,
// also after the display was off while a pair followed by itself, and the
// tile host hears nothing while the display is off.
#include <gtest/gtest.h>

#include <QTreeWidgetItem>
#include <QWebEnginePage>

#include <cmath>
#include <string>
#include <vector>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "localhttp.h"
#include "pageeval.h"
#include "mainwnd/maphost.h"
#include "mainwnd/tesseldlg.h"
#include "map/mapbridge.h"
#include "map/mapdialog.h"
#include "player/playerapi.h"
#include "testsupport.h"

namespace qv {
namespace {

using namespace mainwnd;

// A proxy in the environment must not take the local host's requests.
const bool kNoProxy = [] {
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  return true;
}();

// The smallest PNG: one green pixel.
std::string OnePixelPng() {
  static const unsigned char kPng[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
      0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x77, 0x53, 0xde, 0x00, 0x00, 0x00,
      0x0c, 0x49, 0x44, 0x41, 0x54, 0x08, 0xd7, 0x63, 0x60, 0xf8, 0xcf, 0x00, 0x00, 0x02, 0x02, 0x01, 0x00, 0x7b,
      0x0d, 0x2e, 0x36, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  return std::string(reinterpret_cast<const char*>(kPng), sizeof kPng);
}

using qvtest::Eval;

class MapWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::App();
    if (qvtest::Fixture("card-root").empty()) GTEST_SKIP() << "no fixture recordings";
    if (!WebEngineUsable()) GTEST_SKIP() << "no web engine helper process";
    ASSERT_GT(tiles_.Port(), 0);
    qvtest::WriteText(dir_ / "Default_Folder.ini", "[MAP]\nTILEURL=http://127.0.0.1:" + std::to_string(tiles_.Port()) +
                                                       "/{z}/{x}/{y}.png\n");
    w_ = std::make_unique<CtesselDlg>();
    w_->OnInitDialog(dir_.path());
    w_->show();
    ASSERT_TRUE(qvtest::WaitFor([&] { return w_->PostInitRuns() == 1; }, 5000));
    w_->Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
    w_->Browser()->FinishScan();
    QTreeWidgetItem* top = w_->Browser()->Tree()->topLevelItem(0);
    ASSERT_NE(top, nullptr);
    QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
    w_->Browser()->Tree()->SelectQuietly(folder);
    w_->OnFolderSelected(folder, true);
    w_->Browser()->FinishFill();
    ASSERT_GT(w_->Playlist().size(), 4u);
  }
  void TearDown() override {
    if (w_) w_->Shutdown();
  }
  bool WaitBound(int binds) {
    return qvtest::WaitFor([&] { return w_->BindCount() >= binds && w_->PairBound() && !w_->Opening(); }, 15000);
  }
  void Select(int row) {
    std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
    w_->OnListRowSelected(row);
  }
  QWebEnginePage* Page() {
    auto* dlg = dynamic_cast<CMapWebDlg*>(w_->MapWrap().Dialog());
    return dlg ? dlg->Page() : nullptr;
  }
  // The bound pair's first point with a fix, as "lat,lng" to 5 places.
  static std::string FirstPoint() {
    DriveDataView view;
    if (!view.Gps()) return "none";
    for (const GpsSample& g : *view.Gps()) {
      if (g.valid) return Round(g.latitude) + "," + Round(g.longitude);
    }
    return "none";
  }
  static std::string Round(double v) { return std::to_string(std::lround(v * 1e5)); }
  // What the page shows, as "lat,lng" to 5 places: the pair's track's first
  // point, and the position marker.
  std::string PagePoint(const char* latLng) {
    QWebEnginePage* page = Page();
    if (!page) return "no page";
    return Eval(page, QStringLiteral("(function(){var p=%1;return p?Math.round(p[0]*1e5)+','+Math.round(p[1]*1e5)"
                                     ":'none';})()")
                          .arg(QLatin1String(latLng)))
        .toString()
        .toStdString();
  }
  std::string PageTrackStart() { return PagePoint("orbitgrplist.gridlist.points[0]"); }
  std::string PageMarker() { return PagePoint("g_marker&&[g_marker.getLatLng().lat,g_marker.getLatLng().lng]"); }

  // Whether the page holds a map whose tiles are still loading.
  bool TilesLoading() {
    QWebEnginePage* page = Page();
    return page && Eval(page,
                        "(function(){var busy=false;if(g_map)g_map.eachLayer(function(l){"
                        "if(l.isLoading&&l.isLoading())busy=true;});return busy;})()")
                       .toBool();
  }
  // Turns the map display on and shows the bound pair at `pos` (a paused
  // pair keeps the logo until its position moves); waits for the page's
  // marker and its tiles.
  void MapOnAt(int64_t pos) {
    ASSERT_TRUE(w_->RunCommand(kCmdMap));
    ASSERT_EQ(w_->MapWrap().MapDisplayOn(), 1);
    ASSERT_TRUE(qvtest::WaitFor([&] { return w_->MapWrap().ProbeResult() == 1; }, 10000));
    w_->SeekToPosition(pos);
    ASSERT_TRUE(qvtest::WaitFor(
        [&] { return w_->MapWrap().pageReady == 1 && PageMarker() != "none" && PageMarker() != "no page"; }, 30000));
    ASSERT_TRUE(qvtest::WaitFor([&] { return !TilesLoading(); }, 20000));
  }
  // Turns the display off; waits until a probe under way has ended.
  void MapOff() {
    ASSERT_TRUE(w_->RunCommand(kCmdMap));
    ASSERT_EQ(w_->MapWrap().MapDisplayOn(), 0);
    ASSERT_TRUE(qvtest::WaitFor([&] { return w_->MapWrap().ProbeResult() == 0; }, 10000));
  }

  // The tile host and the probe's: every request reaches it (nothing is
  // kept by the browser), and it counts them.
  qvtest::LocalHttpServer tiles_{[](const std::string& method, const std::string&) {
    return qvtest::LocalHttpServer::Ok(method, "image/png", OnePixelPng(), "Cache-Control: no-store\r\n");
  }};
  qvtest::TempDir dir_;
  std::unique_ptr<CtesselDlg> w_;
};

// The map was up once; with the display off a pair plays to its end and the
// next opens by itself; display on again; then three row clicks: the page's
// track and marker stand at each chosen pair's first position.
TEST_F(MapWindowTest, FollowsEveryChosenPairAfterANextPairWhileOff) {
  ASSERT_TRUE(WaitBound(1));
  MapOnAt(20);
  MapOff();

  w_->SeekToPosition(PlayerApi_GetDuration(2) - 30);
  ASSERT_EQ(w_->BindAndStart(), 1);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->CurrentIndex() == 1; }, 15000));
  ASSERT_TRUE(WaitBound(2));

  ASSERT_TRUE(w_->RunCommand(kCmdMap));
  ASSERT_EQ(w_->MapWrap().MapDisplayOn(), 1);
  int binds = w_->BindCount();
  std::vector<std::string> seen;
  for (int row : {3, 1, 2}) {
    Select(row);
    ASSERT_TRUE(WaitBound(++binds)) << row;
    const std::string want = FirstPoint();
    ASSERT_NE(want, "none");
    for (const std::string& s : seen) ASSERT_NE(s, want) << "rows whose first positions differ";
    seen.push_back(want);
    EXPECT_TRUE(qvtest::WaitFor([&] { return PageTrackStart() == want && PageMarker() == want; }, 20000))
        << "row " << row << ": want " << want << ", track " << PageTrackStart() << ", marker " << PageMarker();
  }
}

// While the display is off nothing reaches the tile host: not at a pair
// change, a row click or a seek.  On again, the map is made anew and shows
// the pair chosen meanwhile.
TEST_F(MapWindowTest, AsksTheTileHostNothingWhileOff) {
  ASSERT_TRUE(WaitBound(1));
  MapOnAt(20);
  const size_t whileOn = tiles_.Requests().size();
  EXPECT_GT(whileOn, 1u) << "the probe and the tiles";
  MapOff();
  const size_t before = tiles_.Requests().size();

  ASSERT_TRUE(w_->RunCommand(kCmdNext));
  ASSERT_TRUE(WaitBound(2));
  ASSERT_EQ(w_->CurrentIndex(), 1);
  Select(4);  // a drive elsewhere
  ASSERT_TRUE(WaitBound(3));
  w_->SeekToPosition(60);
  // The page has run every script it was given, and tiles it asked for came.
  ASSERT_TRUE(qvtest::WaitFor([&] { return !TilesLoading(); }, 20000));
  const std::vector<std::string> requests = tiles_.Requests();
  EXPECT_EQ(std::vector<std::string>(requests.begin() + static_cast<ptrdiff_t>(before), requests.end()),
            std::vector<std::string>{})
      << "asked while off";

  MapOnAt(10);
  EXPECT_GT(tiles_.Requests().size(), before);
  EXPECT_EQ(PageTrackStart(), FirstPoint());
}

}  // namespace
}  // namespace qv
