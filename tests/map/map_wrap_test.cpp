// The map wrapper against a recording dialog: which scripts reach the page,
// in which order, and what the page's calls answer and post.
#include <gtest/gtest.h>

#include <QObject>

#include "map/mapdlgwrap.h"
#include "map/mapmessages.h"
#include "eventwait.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

class FakeDlg : public CMapDlgBase {
 public:
  std::vector<std::string> scripts;
  int pushes = 0;
  int updates = 0;
  void RunScript(const std::string& s) override { scripts.push_back(s); }
  void UpdateData() override { ++pushes; }
  void PostUpdate() override { ++updates; }
  // The scripts without the state put in front of each.
  std::vector<std::string> Calls() const {
    std::vector<std::string> out;
    for (const std::string& s : scripts) {
      EXPECT_EQ(s.rfind("qvBridge.setState({", 0), 0u) << s;
      out.push_back(s.substr(s.find("});") + 3));
    }
    return out;
  }
};

struct Fixture : ::testing::Test {
  Fixture() { qvtest::App(); }
  QObject owner;
  AppMessageSink sink{&owner};
  std::vector<std::pair<uint32_t, intptr_t>> posted;
  void Listen() {
    for (uint32_t m : {uint32_t(kMsgMapPageLoaded), uint32_t(kMsgMapPointClicked)})
      sink.On(m, [this, m](uintptr_t, intptr_t l) { posted.emplace_back(m, l); });
  }
};

using MapWrap = Fixture;

TEST_F(MapWrap, RedrawTrackWaitsForThePageThenRunsItsScriptsInOrder) {
  CMapDlgWrap wrap;
  auto* dlg = new FakeDlg;
  wrap.SetMapDlg2(dlg);
  EXPECT_EQ(dlg->wrap, &wrap);
  wrap.SetDataSource({[] { return std::vector<double>{1, 2, 3, 3}; }, [] { return std::nullopt; },
                      [] { return int64_t{0}; }});
  wrap.RedrawTrack(3, 0);
  EXPECT_TRUE(dlg->scripts.empty());
  wrap.OnInitHtml();
  wrap.RedrawTrack(3, 0);
  EXPECT_EQ(dlg->Calls(), (std::vector<std::string>{"cplist.ClearCrashPos()", "orbitgrplist.RemoveLineList()",
                                                    "qvBridge.setGridData(null);orbitgrplist.CreateGridLine(3)"}));
  dlg->scripts.clear();
  wrap.RedrawTrack(0, 1);
  ASSERT_EQ(dlg->Calls().size(), 4u);
  EXPECT_EQ(dlg->Calls()[2], "qvBridge.setGpsData([1,2,3,3]);orbitgrplist.CreateLine()");
}

TEST_F(MapWrap, PlayStatusAndShowMapActOnTheDialogThatExists) {
  CMapDlgWrap wrap;
  wrap.SetPlayStatus(2);  // no dialog: dropped
  EXPECT_EQ(wrap.ShowMap(true), 1);  // no dialog: only marked
  EXPECT_EQ(wrap.ShowMap(true), 0);
  wrap.shown = 0;
  auto* plain = new FakeDlg;
  wrap.SetMapDlg(plain);
  wrap.SetPlayStatus(1);
  EXPECT_EQ(plain->status, "pause");
  EXPECT_TRUE(plain->scripts.empty());
  EXPECT_EQ(plain->pushes, 1);
  wrap.SetPlayStatus(2);
  EXPECT_EQ(plain->status, "stop");
  EXPECT_EQ(plain->Calls(), std::vector<std::string>{"orbitgrplist.MoveMarker()"});
  wrap.SetSend();  // the plain flavour sends nothing
  EXPECT_EQ(plain->updates, 0);
  // The tick's positions reach the page only when they or the status moved.
  for (double lat : {35.0, 35.0, 35.0, 35.1, 35.1}) wrap.SetPosition(lat, 139.0);
  EXPECT_EQ(plain->pushes, 4);
  wrap.SetStatusText("pause");
  wrap.SetPosition(35.1, 139.0);
  EXPECT_EQ(plain->pushes, 5);
  EXPECT_EQ(plain->latitude, 35.1);
  wrap.SetStatusText("stop");

  EXPECT_EQ(wrap.ShowMap(true), 1);
  EXPECT_TRUE(plain->isVisible());
  EXPECT_EQ(wrap.ShowMap(true), 0);
  EXPECT_EQ(wrap.ShowMap(false), 1);
  EXPECT_FALSE(plain->isVisible());

  auto* host = new FakeDlg;  // the host-object flavour comes first
  wrap.SetMapDlg2(host);
  wrap.SetPlayStatus(0);
  EXPECT_EQ(host->status, "");
  EXPECT_EQ(plain->status, "stop");
  wrap.SetSend();
  EXPECT_EQ(host->updates, 1);
}

TEST_F(MapWrap, PageCallsAnswerAndPost) {
  Listen();
  CMapDlgWrap wrap;
  wrap.SetOwner(sink.Port());
  wrap.SetDataSource({[] { return std::vector<double>{0}; }, [] { return std::nullopt; },
                      [] { return int64_t{20000}; }});
  // The probe's fields, written by its thread.  Whenever the map cannot
  // show any more, the page is told at once (the state alone, saying so).
  auto* dlg = new FakeDlg;
  wrap.SetMapDlg2(dlg);
  wrap.pageReady = 1;
  wrap.SetProbeResult(0);
  EXPECT_EQ(wrap.ConnectTest(), 0);
  EXPECT_EQ(wrap.pageReady, 1);  // display off: the flag stays
  wrap.SetMapDisplay(1);
  EXPECT_TRUE(dlg->scripts.empty());
  EXPECT_EQ(wrap.ConnectTest(), 0);
  EXPECT_EQ(wrap.ConnectTest(), 0);
  EXPECT_EQ(wrap.pageReady, 0);
  ASSERT_EQ(dlg->Calls(), std::vector<std::string>{""});
  EXPECT_NE(dlg->scripts[0].find("\"connect\":0"), std::string::npos);
  wrap.SetProbeResult(1);
  EXPECT_EQ(wrap.ConnectTest(), 1);
  EXPECT_TRUE(wrap.PageState().connect);
  wrap.SetMapDisplay(0);
  ASSERT_EQ(dlg->Calls(), (std::vector<std::string>{"", ""}));
  EXPECT_NE(dlg->scripts[1].find("\"connect\":0"), std::string::npos);
  wrap.SetMapDisplay(1);

  EXPECT_EQ(wrap.GetMarkName(0), GetUiText(UiText::MarkHardAcceleration));
  EXPECT_EQ(wrap.GetMarkName(12), "");
  EXPECT_EQ(wrap.GetMarkName(-1), "");
  EXPECT_FALSE(wrap.GetGridData("anything").has_value());
  EXPECT_EQ(wrap.GetRelJpgNum(), "-1");
  wrap.curPos = 77;
  EXPECT_EQ(wrap.PageState().relJpgNum, 77);

  wrap.OnInitHtml();
  wrap.OnClickCrashPoint(0, 3, 12345, 1, 35.0, 139.0, 10.0, 0.0);
  wrap.OnClickCrashPoint(0, 3, 99999, 1, 35.0, 139.0, 10.0, 0.0);  // past the movie's end
  ASSERT_TRUE(qvtest::WaitFor([&] { return posted.size() == 3; }, 2000));
  EXPECT_EQ(posted[0], (std::pair<uint32_t, intptr_t>{0x812D, 0}));
  EXPECT_EQ(posted[1], (std::pair<uint32_t, intptr_t>{0x812E, 12345}));
  EXPECT_EQ(posted[2], (std::pair<uint32_t, intptr_t>{0x812E, 19999}));
}

}  // namespace
}  // namespace qv
