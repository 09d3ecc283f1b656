// The pop-outs, the video panes and their menu on the offscreen platform:
// what a pane paints for the slots' state (fixture recordings), its clicks
// on a fake clock, the pop-out's notices, and the menu.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMouseEvent>

#include <memory>
#include <vector>

#include "eventwait.h"
#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/moviemenu.h"
#include "mainwnd/moviestatic.h"
#include "platform/apphelpers.h"
#include "platform/qt/qtconvert.h"
#include "player/playerapi.h"
#include "player/playerslot.h"
#include "testsupport.h"

using namespace qv;
using namespace qv::mainwnd;

namespace {

struct FakeOwner : IMovieOwner {
  void OnPaneContextMenu(Point, CMovieStatic* pane) override { menus.push_back(pane); }
  void OnPaneZoomClick(int camera, Point p) override { zooms.push_back({camera, p}); }
  void OnPanePresentationEnded(uintptr_t, int camera) override { ended.push_back(camera); }
  void OnPaneTopologyReady(uintptr_t, int camera) override { ready.push_back(camera); }
  void ToggleFullScreen(bool fromPane) override { toggles.push_back(fromPane); }
  PaneOwnerState PaneOwnerStateNow() const override { return state; }

  PaneOwnerState state{0, false, true, true, true};
  std::vector<CMovieStatic*> menus;
  std::vector<std::pair<int, Point>> zooms;
  std::vector<int> ended, ready;
  std::vector<bool> toggles;
};

void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
  QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

int RedPixels(const QImage& img) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == QColor(255, 0, 0);
  return n;
}

}  // namespace

// Only the front file of a pair: the front pane plays it and tells the owner
// it is ready, the rear pane shows the red notice; after closing both are black.
TEST(VideoPane, OnlyFrontFileOpen) {
  qvtest::App();
  const std::string front = qvtest::Fixture("run-1-F");
  ASSERT_FALSE(front.empty()) << "no fixture recordings (mkrec tests)";
  FakeOwner owner;
  QWidget main;
  CMovieDialog popout(&main);
  popout.OnInitDialog();
  CMovieStatic frontPane(&main), rearPane(&popout);
  frontPane.SetCameraIndex(0);
  rearPane.SetCameraIndex(1);
  for (CMovieStatic* p : {&frontPane, &rearPane}) {
    p->SetOwner(&owner);
    p->setGeometry(4, 20, 320, 180);
  }
  main.resize(400, 300);
  popout.resize(328, 204);
  main.show();
  popout.show();
  ASSERT_EQ(PlayerApi_InitSlots(&frontPane, &rearPane, "Sans"), 1);
  frontPane.ShowSlot(&PlayerApi_Slot(0));
  rearPane.ShowSlot(&PlayerApi_Slot(1));

  ASSERT_EQ(PlayerApi_OpenPair(front, ""), 1);
  EXPECT_EQ(rearPane.Fill(), PaneFill::kNoRearText);
  EXPECT_EQ(frontPane.Fill(), PaneFill::kPicture);
  EXPECT_GT(RedPixels(rearPane.grab().toImage()), 20);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !owner.ready.empty(); }, 5000));
  EXPECT_EQ(owner.ready, std::vector<int>{0});
  ASSERT_TRUE(qvtest::WaitFor([&] { return frontPane.FramesPainted() > 0; }, 3000));

  rearPane.SetBlackOut(true);
  EXPECT_EQ(RedPixels(rearPane.grab().toImage()), 0);
  rearPane.SetBlackOut(false);

  PlayerApi_Close();
  EXPECT_EQ(frontPane.Fill(), PaneFill::kBlack);
  EXPECT_EQ(rearPane.Fill(), PaneFill::kBlack);
  EXPECT_EQ(DecidePaneFill({0, false, false, true}), PaneFill::kNoFrontText);
  for (int i = 0; i < 2; ++i) {
    PlayerApi_Table(i).release(&PlayerApi_Slot(i));
    PlayerApi_Slot(i).initialised = 0;
  }
}

// A click reaches the owner only after the double-click time; a double click
// never delivers it, and toggles full screen only from the front pane
// outside zoom mode.
TEST(VideoPane, ClicksOnTheDoubleClickTime) {
  qvtest::App();
  FakeTimerClock clock;
  FakeOwner owner;
  CMovieStatic front(nullptr, &clock, 400), rear(nullptr, &clock, 400);
  front.SetCameraIndex(0);
  rear.SetCameraIndex(1);
  for (CMovieStatic* p : {&front, &rear}) {
    p->SetOwner(&owner);
    p->resize(200, 100);
  }

  Mouse(&front, QEvent::MouseButtonPress, {30, 40});
  Mouse(&front, QEvent::MouseButtonRelease, {30, 40});
  clock.Advance(399);
  EXPECT_TRUE(owner.zooms.empty());
  clock.Advance(1);
  ASSERT_EQ(owner.zooms.size(), 1u);
  EXPECT_EQ(owner.zooms[0].first, 0);
  EXPECT_EQ(owner.zooms[0].second, (Point{front.ToDevice(30), front.ToDevice(40)}));

  auto doubleClick = [&](CMovieStatic& p) {
    Mouse(&p, QEvent::MouseButtonPress, {5, 5});
    Mouse(&p, QEvent::MouseButtonRelease, {5, 5});
    clock.Advance(100);
    Mouse(&p, QEvent::MouseButtonDblClick, {5, 5});
    Mouse(&p, QEvent::MouseButtonRelease, {5, 5});
    clock.Advance(2000);
  };
  doubleClick(front);
  doubleClick(rear);
  owner.state.pairOpen = false;
  doubleClick(front);
  front.SetHandCursor(true);
  doubleClick(front);
  EXPECT_EQ(owner.zooms.size(), 1u);
  EXPECT_EQ(owner.toggles, (std::vector<bool>{true, false}));
  EXPECT_EQ(clock.ActiveCount(), 0u);

  QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(3, 3), rear.mapToGlobal(QPoint(3, 3)));
  QCoreApplication::sendEvent(&rear, &menu);
  EXPECT_EQ(owner.menus, std::vector<CMovieStatic*>{&rear});
}

// The pop-out's notices, and a paint notice answered by redrawing the pane
// inside does not start a repaint loop.
TEST(MoviePopout, NoticesAndNoPaintLoop) {
  qvtest::App();
  QWidget main;
  AppMessageSink sink(&main);
  std::vector<std::pair<uint32_t, intptr_t>> got;
  CMovieDialog popout(&main);
  QWidget pane(&popout);  // not opaque: its repaints repaint the pop-out behind it
  for (uint32_t m : {kMsgPopoutClosed, kMsgPopoutCaptionDoubleClick, kMsgPopoutResized, kMsgResetZoomView})
    sink.On(m, [&got, m](uintptr_t, intptr_t l) { got.push_back({m, l}); });
  int painted = 0;
  sink.On(kMsgPopoutPainted, [&](uintptr_t, intptr_t l) {
    ++painted;
    EXPECT_EQ(l, popout.NoticeId());
    pane.update();  // the owner redraws the video views
  });
  popout.SetOwnerPort(sink.Port());
  popout.OnInitDialog();
  popout.SetCaption(UiText::RearCameraCaption);
  EXPECT_EQ(popout.windowTitle(), QString::fromUtf8(GetUiText(UiText::RearCameraCaption)));
  EXPECT_EQ(popout.BorderPenWidth(), 2 * 4);
  popout.resize(452, 274);
  pane.setGeometry(ToQRect(PopoutContentRect(Size{452, 274}, 1.0f)));
  main.show();
  popout.show();
  ASSERT_TRUE(qvtest::WaitFor([&] { return painted > 0; }, 3000));
  qvtest::Pump(400);
  EXPECT_LE(popout.Paints(), 4u);
  EXPECT_LE(painted, 4);

  got.clear();
  popout.resize(500, 300);
  Mouse(&popout, QEvent::MouseButtonPress, {100, 10});  // the caption
  Mouse(&popout, QEvent::MouseButtonRelease, {100, 10});
  Mouse(&popout, QEvent::MouseButtonDblClick, {100, 10});
  popout.CloseButton()->click();
  EXPECT_FALSE(popout.isVisible());
  qvtest::Pump(50);
  const std::vector<std::pair<uint32_t, intptr_t>> want = {{kMsgPopoutResized, popout.NoticeId()},
                                                           {kMsgResetZoomView, kResetZoomRear},
                                                           {kMsgPopoutCaptionDoubleClick, 0},
                                                           {kMsgPopoutClosed, 0}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(popout.LastWindowRect().Width(), 500);

  // Its own section and design size: a border drag never makes it as large
  // as the main window.
  qvtest::TempDir dir;
  ASSERT_TRUE(qvtest::WriteText(dir / "Default_Folder.ini", "[MOVIEDISPLAY]\nSCALEX=1.500000\n"));
  SetAppFolder(dir.path());
  popout.InitScale(CMovieDialog::kMovieSection);
  popout.CreateFrameWindow();
  EXPECT_EQ(popout.size(), QSize(678, 274));
  EXPECT_EQ(popout.minimumSize(), QSize(452, 274));
  SetAppFolder("");
}

TEST(PaneMenu, ShowsTheModelAndClosesOnlyItself) {
  qvtest::App();
  PaneMenuInput in;
  in.mirrorChecked = true;
  in.frontPane = true;
  CMovieMenu menu(false, 1.0f);
  menu.CreatePlayingMenu(in);
  QAction* mirror = menu.ItemById(kCmdMirror);
  ASSERT_NE(mirror, nullptr);
  EXPECT_TRUE(mirror->isChecked());
  EXPECT_FALSE(mirror->isEnabled());
  ASSERT_NE(menu.ItemById(kCmdFaster), nullptr);
  EXPECT_EQ(menu.actions().size(), BuildPaneMenu({2, false, 0, true, true}).size());
  EXPECT_EQ(menu.actions()[0]->text(), QString::fromUtf8(GetUiTextIn(UiLanguage, 82)));

  CMovieMenu full(true, 1.0f);
  full.CreateStoppedMenu(in);
  EXPECT_EQ(full.ItemById(kCmdStill), nullptr);
  full.popup(QPoint(10, 10));
  QMenu other;
  other.addAction("x");
  other.popup(QPoint(300, 300));
  ASSERT_TRUE(qvtest::WaitFor([&] { return full.isVisible() && other.isVisible(); }, 2000));
  // Items are as large as the design makes them (whatever the base style
  // does), or wider where a text would be cut off.
  const QRect item = full.actionGeometry(full.ItemById(kCmdFullScreenMode));
  EXPECT_EQ(item.size(), QSize(220, 20));
  const QSize small = menu.actionGeometry(mirror).size();
  EXPECT_EQ(small.height(), 20);
  EXPECT_LT(small.width(), 220);
  for (QAction* a : menu.actions())
    EXPECT_GE(small.width(), 20 + QFontMetrics(menu.font()).horizontalAdvance(a->text())) << a->text().toStdString();
  EXPECT_EQ(CMovieMenu::OpenMenu(), &full);
  EXPECT_TRUE(CMovieMenu::CloseOpenMenu());
  EXPECT_FALSE(full.isVisible());
  EXPECT_TRUE(other.isVisible());
  EXPECT_FALSE(CMovieMenu::CloseOpenMenu());
  other.close();
}
