// The main window on the offscreen platform: its children, start-up's
// post-init, worker messages, full screen with a pair open, and shutdown
// with running threads.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QWindow>

#include <QMouseEvent>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "eventwait.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/maphost.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/tesseldlg.h"
#include "panels/infodlg.h"
#include "platform/apphelpers.h"
#include "platform/inifile.h"
#include "platform/qt/qtconvert.h"
#include "player/player.h"
#include "player/playerslot.h"
#include "player/slotplayer.h"
#include "skin/skinbutton.h"
#include "testsupport.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

using namespace mainwnd;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { qvtest::App(); }
  void TearDown() override { SetWebEngineUsableForTests(std::nullopt); }
  // A started window whose settings live in the test's folder.
  std::unique_ptr<CtesselDlg> Start() {
    auto w = std::make_unique<CtesselDlg>();
    w->OnInitDialog(dir_.path());
    w->show();
    EXPECT_TRUE(qvtest::WaitFor([&] { return w->PostInitRuns() == 1; }, 5000));
    return w;
  }
  qvtest::TempDir dir_;
};

TEST_F(MainWindowTest, BuildsEveryChildInPlaceAndRunsPostInitOnce) {
  for (bool webEngine : {true, false}) {
    SetWebEngineUsableForTests(webEngine);
    auto w = Start();
    EXPECT_EQ(w->MapWrap().MapDlg2() != nullptr, webEngine);
    EXPECT_EQ(w->MapWrap().MapDlg() != nullptr, !webEngine);
    for (const char* role : {"browser", "info", "graph", "settings", "gauges", "logo", "map", "positionSlider",
                             "volumeSlider", "progress"})
      EXPECT_NE(w->Child(role), nullptr) << role;
    for (int i = 0; i < kCommandButtonCount; ++i) ASSERT_NE(w->CommandButton(i), nullptr);
    for (int i = 0; i < kFrameButtonCount; ++i) ASSERT_NE(w->FrameButton(i), nullptr);
    ASSERT_NE(w->Pane(0), nullptr);
    ASSERT_NE(w->Pane(1), nullptr);
    EXPECT_EQ(w->Pane(1)->parentWidget(), w->MoviePopout());
    EXPECT_TRUE(w->MoviePopout()->isVisible());
    // The web view is made when the map first shows.  The toolkit composes
    // a window through OpenGL when a widget that draws into a texture (the
    // web view's) is below it, child windows included: none is below the
    // main window, so its panes are drawn by the raster engine.  The map
    // pop-out still stays above the window.
    for (QWidget* child : w->MapPopout()->findChildren<QWidget*>())
      EXPECT_FALSE(child->inherits("QQuickWidget")) << "made before the map shows";
    w->MapWrap().Dialog()->show();
    for (QWidget* child : w->findChildren<QWidget*>())
      EXPECT_FALSE(child->inherits("QQuickWidget") || child->inherits("QOpenGLWidget"))
          << child->metaObject()->className();
    bool popoutDrawsIntoTexture = false;
    for (QWidget* child : w->MapPopout()->findChildren<QWidget*>())
      popoutDrawsIntoTexture = popoutDrawsIntoTexture || child->inherits("QQuickWidget");
    EXPECT_TRUE(popoutDrawsIntoTexture);  // the check above sees such a widget
    w->MapPopout()->show();
    ASSERT_TRUE(w->MapPopout()->windowHandle());
    EXPECT_EQ(w->MapPopout()->windowHandle()->transientParent(), w->windowHandle());

    // The children stand where the layout puts them for this window.
    const auto layout = mainwnd::LayoutChildren(Rect::FromSize(0, 0, w->width(), w->height()), w->Scale());
    ASSERT_TRUE(layout);
    EXPECT_EQ(FromQRect(w->Pane(0)->geometry()), layout->frontPane);
    EXPECT_EQ(FromQRect(w->Child("browser")->geometry()), layout->browser);
    EXPECT_EQ(FromQRect(w->CommandButton(15)->geometry()), layout->commandButtons[15]);
    EXPECT_EQ(FromQRect(w->FrameButton(0)->geometry()), layout->frameButtons[0]);

    // A second post-init message changes nothing, and a painted pop-out
    // does not keep the window repainting.
    int painted = 0;
    w->SetMessageObserver([&](uint32_t m, uintptr_t, intptr_t) { painted += m == kMsgPopoutPainted; });
    w->Port().Post(kMsgPostInit);
    w->MoviePopout()->update();
    qvtest::Pump(300);
    EXPECT_EQ(w->PostInitRuns(), 1);
    const int first = painted;
    qvtest::Pump(1500);
    EXPECT_EQ(painted, first) << first;
  }
  EXPECT_EQ(qvtest::ReadText(dir_ / "Default_Folder.ini"), "[DISPLAY]\nINFOCHECK=31\nASPECT=on\nVOLUME=65535\n");
}

// A size from outside (a window manager's maximise or tiling, here a
// resize through the toolkit, not the window's own corner drag) lays the
// window out as its own drag does; full screen keeps its one child.
TEST_F(MainWindowTest, LaysItselfOutOnEverySizeChange) {
  auto w = Start();
  auto expectLaidOut = [&](int width, int height) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    ASSERT_TRUE(qvtest::WaitFor([&] { return w->width() == width && w->height() == height; }, 3000));
    const auto layout = mainwnd::LayoutChildren(Rect::FromSize(0, 0, width, height), w->Scale());
    ASSERT_TRUE(layout);
    EXPECT_EQ(FromQRect(w->Pane(0)->geometry()), layout->frontPane);
    EXPECT_EQ(FromQRect(w->Child("graph")->geometry()), layout->graph);
    EXPECT_EQ(FromQRect(w->Child("browser")->geometry()), layout->browser);
    EXPECT_EQ(FromQRect(w->CommandButton(15)->geometry()), layout->commandButtons[15]);
    EXPECT_EQ(FromQRect(w->FrameButton(0)->geometry()), layout->frameButtons[0]);
  };
  const QSize first = w->size();
  w->resize(first.width() + 255, first.height() + 158);
  expectLaidOut(first.width() + 255, first.height() + 158);
  w->resize(first);
  expectLaidOut(first.width(), first.height());
}

// The web engine ends the whole program when its first web view cannot find
// the helper process: it is looked for where the engine looks, and without
// it no map dialog is made, one line says so, and the map command still
// shows and hides the pop-out with its logo.
TEST_F(MainWindowTest, WithoutTheEnginesHelperTheMapKeepsTheLogo) {
  struct RestoreEnvironment {
    QByteArray saved = qgetenv("QTWEBENGINEPROCESS_PATH");
    bool set = qEnvironmentVariableIsSet("QTWEBENGINEPROCESS_PATH");
    ~RestoreEnvironment() { set ? qputenv("QTWEBENGINEPROCESS_PATH", saved) : qunsetenv("QTWEBENGINEPROCESS_PATH"); }
  } restore;
  // The variable alone counts when set: an executable file there is the
  // helper, a missing one is none.
  const std::string helper = dir_.Write("engine/QtWebEngineProcess", "#!/bin/sh\n");
  ::chmod(helper.c_str(), 0755);
  qputenv("QTWEBENGINEPROCESS_PATH", QByteArray::fromStdString(helper));
  EXPECT_EQ(WebEngineHelperPath(), helper);
  qputenv("QTWEBENGINEPROCESS_PATH", QByteArray::fromStdString(dir_ / "missing/QtWebEngineProcess"));
  EXPECT_EQ(WebEngineHelperPath(), "");

  SetWebEngineUsableForTests(true);  // the flavour does not matter without the helper
  ::testing::internal::CaptureStderr();
  auto w = Start();
  const std::string said = ::testing::internal::GetCapturedStderr();
  size_t lines = 0;
  for (size_t at = said.find(kNoMapNotice); at != std::string::npos; at = said.find(kNoMapNotice, at + 1)) ++lines;
  EXPECT_EQ(lines, 1u) << said;
  EXPECT_EQ(w->MapWrap().Dialog(), nullptr);
  EXPECT_EQ(w->Child("map"), nullptr);
  QWidget* logo = w->Child("logo");
  ASSERT_NE(logo, nullptr);

  // On, off and on again: the pop-out follows, and it shows the logo.
  for (bool on : {true, false, true}) {
    ASSERT_TRUE(w->RunCommand(kCmdMap));
    EXPECT_EQ(w->MapPopout()->isVisible(), on);
    if (on) {
      EXPECT_TRUE(qvtest::WaitFor([&] { return logo->isVisible(); }, 2000));
    }
  }
  // A probe that reaches the tile host changes nothing.
  w->Inet().Stop();
  w->MapWrap().SetProbeResult(1);
  w->ApplyLogoAndMapRule();
  qvtest::Pump(100);
  EXPECT_TRUE(logo->isVisible());
  w->Shutdown();
}

TEST_F(MainWindowTest, WorkerPostsArriveInOrder) {
  auto w = Start();
  std::vector<std::pair<uint32_t, uintptr_t>> seen;
  w->SetMessageObserver([&](uint32_t m, uintptr_t wp, intptr_t) {
    if (m == kMsgProgress || m == kMsgWorkerDone) seen.emplace_back(m, wp);
  });
  constexpr int kCount = 2000;
  ASSERT_TRUE(w->Threads().StartFileWorker([port = w->Port()](std::stop_token) {
    for (int i = 1; i <= kCount; ++i) port.Post(kMsgProgress, i, 4 * kCount);
    port.Post(kMsgWorkerDone);
  }));
  ASSERT_TRUE(qvtest::WaitFor([&] { return !seen.empty() && seen.back().first == kMsgWorkerDone; }, 10000));
  ASSERT_EQ(seen.size(), kCount + 1u);
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[i].second, uintptr_t(i + 1));
  EXPECT_EQ(w->ProgressPercent(), 25);
  EXPECT_FALSE(w->Threads().FileWorkerStarted());  // the done message ended it
  // No total: the bar shows it complete.
  w->Port().Post(kMsgProgress, 0, 0);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w->ProgressPercent() == 100; }, 2000));
}

TEST_F(MainWindowTest, ShutdownJoinsRunningThreadsOnce) {
  auto w = Start();
  std::atomic<bool> workerEnded{false}, prepareEnded{false}, prepareHolding{false};
  std::atomic<int> posted{0};
  ASSERT_TRUE(w->Threads().StartFileWorker([&, port = w->Port()](std::stop_token stop) {
    while (!stop.stop_requested()) {
      port.Post(kMsgProgress, 1, 2);
      ++posted;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    workerEnded = true;
  }));
  std::recursive_mutex& playlist = w->PlaylistMutex();
  w->Threads().StartPairThread(WindowThreads::kPrepare, [&, port = w->Port()] {
    std::lock_guard<std::recursive_mutex> hold(playlist);
    prepareHolding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    port.Post(kMsgPairDataReady);
    prepareEnded = true;
  });
  ASSERT_TRUE(qvtest::WaitFor([&] { return posted > 10 && prepareHolding; }, 5000));

  w->Shutdown();
  EXPECT_TRUE(workerEnded);
  EXPECT_TRUE(prepareEnded);
  EXPECT_TRUE(w->Closing());
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->MoviePopout()->isVisible());
  EXPECT_FALSE(w->Port().Post(kMsgProgress, 1, 1));  // nothing reaches the window any more
  w->Shutdown();  // returns at once
  qvtest::Pump(20);
  w.reset();
}

TEST_F(MainWindowTest, MaximiseRestoreAndTheTimerAfterARelease) {
  FakeTimerClock clock;
  auto w = std::make_unique<CtesselDlg>(&clock);
  w->OnInitDialog(dir_.path());
  w->show();
  ASSERT_TRUE(qvtest::WaitFor([&] { return w->PostInitRuns() == 1; }, 5000));
  const QRect normal = w->geometry();
  auto toggleX = [&] { return w->Info()->findChild<QWidget*>(QStringLiteral("38601"))->x(); };
  const int toggle = toggleX();

  w->Maximise();
  EXPECT_EQ(FromQRect(w->geometry()), w->WorkArea());
  EXPECT_GT(toggleX(), toggle);  // the panel spreads by its maximised factor
  EXPECT_EQ(w->FrameButton(1)->toolTip().toStdString(), GetUiTextIn(UiLanguage, 178));
  w->Restore();
  EXPECT_EQ(w->geometry(), normal);
  EXPECT_EQ(toggleX(), toggle);
  EXPECT_EQ(w->FrameButton(1)->toolTip().toStdString(), GetUiTextIn(UiLanguage, 177));

  // A release arms the re-layout; a double click right after kills it.
  const QPointF inside(w->width() / 2.0, w->height() / 2.0);
  QMouseEvent release(QEvent::MouseButtonRelease, inside, w->mapToGlobal(inside), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(w.get(), &release);
  EXPECT_TRUE(w->Timers().IsSet(kTimerAfterMove));
  QMouseEvent twice(QEvent::MouseButtonDblClick, inside, w->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(w.get(), &twice);
  EXPECT_FALSE(w->Timers().IsSet(kTimerAfterMove));
  w->Shutdown();
}

TEST_F(MainWindowTest, FullScreenWithAPairOpenEntersAndLeavesSavingAspect) {
  const std::string front = qvtest::Fixture("run-1-F"), rear = qvtest::Fixture("run-1-R");
  ASSERT_FALSE(front.empty()) << "no fixture recordings";
  ASSERT_TRUE(WriteIniString("DISPLAY", "ASPECT", "off", dir_ / "Default_Folder.ini"));
  auto w = Start();
  EXPECT_FALSE(w->KeepAspect());

  PlayerOptions options;
  options.makeAudioSink = [] { return gst_element_factory_make("fakesink", nullptr); };
  for (int i = 0; i < 2; ++i) PlayerApi_Slot(i).factory = GstSlotPlayerFactory(options);
  ASSERT_EQ(PlayerApi_OpenPair(front, rear), 1);
  ASSERT_TRUE(qvtest::WaitFor([&] { return PlayerSlot_PlayerReady(&PlayerApi_Slot(0)) &&
                                           PlayerSlot_PlayerReady(&PlayerApi_Slot(1)); }, 10000));
  PlayerApi_Start(2);
  // Both panes show their slot's pictures, not black.
  auto showsPicture = [&](int pane) {
    const QImage shot = w->Pane(pane)->grab().toImage();
    return w->Pane(pane)->FramesPainted() > 0 && shot.pixelColor(shot.width() / 2, shot.height() / 2) != Qt::black;
  };
  EXPECT_TRUE(qvtest::WaitFor([&] { return showsPicture(0) && showsPicture(1); }, 10000));

  const QRect normal = w->geometry();
  w->ToggleFullScreen(true);
  ASSERT_TRUE(w->FullScreen());
  EXPECT_EQ(w->Pane(0)->size(), w->size());
  EXPECT_FALSE(w->MoviePopout()->isVisible());
  EXPECT_FALSE(w->CommandButton(0)->isVisible());

  w->ToggleFullScreen(true);
  EXPECT_FALSE(w->FullScreen());
  EXPECT_TRUE(w->KeepAspect());
  EXPECT_EQ(ReadIniString("DISPLAY", "ASPECT", dir_ / "Default_Folder.ini"), "on");
  EXPECT_EQ(w->geometry().size(), normal.size());
  EXPECT_TRUE(w->MoviePopout()->isVisible());
  EXPECT_TRUE(w->CommandButton(0)->isVisible());
  w->Shutdown();
  for (int i = 0; i < 2; ++i) PlayerApi_Slot(i).factory = nullptr;
}

}  // namespace
}  // namespace qv
