// Playback control on the offscreen platform with the fixture card: a
// selection opens once after the debounce, binds the drive data, seeks, and
// moves on to the next pair; stale prepare completions and one-camera pairs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/moviemenu.h"
#include "mainwnd/moviestatic.h"
#include "mainwnd/playbackrules.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/tesseldlg.h"
#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "platform/qt/qtconvert.h"
#include "platform/qt/wintimer.h"
#include "platform/uiscale.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"
#include "platform/apphelpers.h"
#include "platform/filesource.h"
#include "platform/numtext.h"
#include "player/playerapi.h"
#include "player/playerslot.h"
#include "player/slotplayer.h"
#include "skin/logodlg.h"
#include "uitext/uitext.h"
#include "testsupport.h"

namespace qv {
namespace {

using namespace mainwnd;

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::App();
    if (qvtest::Fixture("card-root").empty()) GTEST_SKIP() << "no fixture recordings";
    w_ = std::make_unique<CtesselDlg>();
    w_->OnInitDialog(dir_.path());
    w_->SetCommandBox([this](const std::string& text, const std::string&, int) {
      boxes_.push_back(text);
      return 1;
    });
    w_->show();
    ASSERT_TRUE(qvtest::WaitFor([&] { return w_->PostInitRuns() == 1; }, 5000));
    w_->Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
    w_->Browser()->FinishScan();
  }
  // Chooses a date folder (0 the first) as the user would; its first pair opens.
  void ChooseFolder(int index) {
    QTreeWidgetItem* top = w_->Browser()->Tree()->topLevelItem(index);
    ASSERT_NE(top, nullptr);
    QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
    w_->Browser()->Tree()->SelectQuietly(folder);
    w_->OnFolderSelected(folder, true);
    w_->Browser()->FinishFill();
    ASSERT_GT(w_->Playlist().size(), 2u);
  }
  void Select(int row) {
    std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
    w_->OnListRowSelected(row);
  }
  // Right-clicks the front pane: whether a menu showed, and whether its
  // faster item was enabled.
  std::pair<bool, bool> ContextMenu() {
    std::pair<bool, bool> seen{false, false};
    QTimer::singleShot(100, [&] {
      if (CMovieMenu* m = CMovieMenu::OpenMenu()) seen = {true, m->ItemById(kCmdFaster)->isEnabled()};
      CMovieMenu::CloseOpenMenu();
    });
    w_->OnPaneContextMenu({20, 20}, static_cast<CMovieStatic*>(w_->Pane(0)));
    qvtest::Pump(150);
    return seen;
  }
  bool WaitBound(int binds) {
    return qvtest::WaitFor([&] { return w_->BindCount() >= binds && w_->PairBound() && !w_->Opening(); }, 8000);
  }
  qvtest::TempDir dir_;
  std::unique_ptr<CtesselDlg> w_;
  std::vector<std::string> boxes_;  // the message boxes the window showed
};

TEST_F(PlaybackTest, SelectOpensOnceBindsSeeksAndMovesOn) {
  ChooseFolder(0);
  // Two more selections within the debounce: only the last opens.
  {
    std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
    w_->OnListRowSelected(1);
    w_->OnListRowSelected(0);
  }
  ASSERT_TRUE(WaitBound(1));
  EXPECT_EQ(w_->OpenCount(), 1);
  EXPECT_EQ(w_->CurrentIndex(), 0);
  EXPECT_EQ(PlayerApi_GetState(2), kSlotOpened);  // shown, not started

  // Bound: the graph reads samples and the slider spans the movie.
  int64_t slotCount = 0;
  {
    DriveDataView view;
    ASSERT_NE(view.TimeIndex(), nullptr);
    slotCount = static_cast<int64_t>(view.TimeIndex()->size());
  }
  EXPECT_GT(slotCount, 100);
  EXPECT_EQ(w_->Child("positionSlider") != nullptr, true);

  // A stale completion binds nothing.
  const int binds = w_->BindCount();
  w_->Port().Post(kMsgPairDataReady, static_cast<uintptr_t>(w_->PrepareGeneration() - 1), 0);
  qvtest::Pump(100);
  EXPECT_EQ(w_->BindCount(), binds);

  // Seek while opened: the display lands on the target, the player near it.
  w_->SeekToPosition(150);
  EXPECT_EQ(w_->Graph()->Cursor(), 150);
  EXPECT_EQ(w_->MapWrap().PageState().relJpgNum, 150);  // the map page splits its track there
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - 150) <= 2; }, 3000));
  // A press on the slider's track seeks there; the volume slider sets the volume.
  w_->Port().Post(qv::kMsgSliderDown, kCtlPositionSlider, 120);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->Graph()->Cursor() == 120; }, 2000));
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - 120) <= 2; }, 3000));
  w_->Port().Post(qv::kMsgSliderUp, kCtlVolumeSlider, 1000);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->Volume() == 1000; }, 2000));
  EXPECT_EQ(ReadDefaultFolderIni(kIniDisplay, kIniVolume), "1000");
  const auto settingsFileId = [] {
    struct stat st {};
    return stat(GetSettingsFilePath().c_str(), &st) == 0 ? st.st_ino : ino_t{0};
  };
  const ino_t settingsBefore = settingsFileId();
  ASSERT_NE(settingsBefore, ino_t{0});
  // Past the end the player stops the end margin short; the display shows the last slot.
  w_->SeekToPosition(1000000);
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - (PlayerApi_GetDuration(2) - 20)) <= 2; },
                              3000));

  // Play to the end: near it the guard refuses commands and stays latched
  // while paused; the next pair opens the same way and clears the latch.
  ASSERT_EQ(w_->BindAndStart(), 1);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->IsCommandBlocked(); }, 3000));
  PlayerApi_Pause(2);
  EXPECT_TRUE(w_->IsCommandBlocked());
  PlayerApi_Start(2);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->CurrentIndex() == 1; }, 8000));
  ASSERT_TRUE(WaitBound(binds + 1));
  EXPECT_EQ(w_->OpenCount(), 2);
  EXPECT_FALSE(w_->IsCommandBlocked());
  // The next pair applied the volume without writing the settings file again.
  EXPECT_EQ(w_->Volume(), 1000);
  EXPECT_EQ(settingsFileId(), settingsBefore);
}

// The panel's clock and the band along the bottom follow the position: the
// start plus the position times the view factor (15 times in a time-lapse).
TEST_F(PlaybackTest, ClockAndBandFollowThePosition) {
  const QRect band = ToQRect(InfoBandRect(Rect::FromSize(0, 0, w_->width(), w_->height()), CurrentUiScale()));
  for (int folder : {0, 1}) {  // 09:15:20 at 33 ms a position; 10:02:00 at 66 ms, each one real second
    ChooseFolder(folder);
    ASSERT_TRUE(WaitBound(folder + 1));
    const QImage first = w_->grab(band).toImage();
    for (int64_t p : {0, 13, 55}) {
      w_->SeekToPosition(p);
      const int64_t s = (folder ? 36120 : 33320) + p * (folder ? 990 : 33) / 1000;
      EXPECT_EQ(w_->Info()->DateTimeText().toStdString(), "2025/03/05 " + FormatPadded(s / 3600, 2) + ":" +
                                                              FormatPadded(s / 60 % 60, 2) + ":" + FormatPadded(s % 60, 2));
    }
    EXPECT_NE(w_->grab(band).toImage(), first);
  }
}

// The pane's menu: none without a pair, while one opens or near the end;
// faster greyed at the data slot's rate of 2.
TEST_F(PlaybackTest, ContextMenuFollowsThePairAndTheRate) {
  EXPECT_FALSE(ContextMenu().first);
  ChooseFolder(0);
  EXPECT_FALSE(ContextMenu().first);
  ASSERT_TRUE(WaitBound(1));
  ASSERT_EQ(w_->BindAndStart(), 1);
  EXPECT_EQ(ContextMenu(), std::make_pair(true, true));
  PlayerApi_SetRate(2);
  EXPECT_EQ(ContextMenu(), std::make_pair(true, false));
  w_->SeekToPosition(PlayerApi_GetDuration(2));
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->IsCommandBlocked(); }, 3000));
  EXPECT_FALSE(ContextMenu().first);
}

// A front movie that does not open (its picture data garbage, or cut short
// while recording): one message box for the pair, and the rear plays on;
// with both cameras failing still one.
TEST_F(PlaybackTest, ACameraThatFailsIsToldOnceAndTheOtherPlays) {
  ChooseFolder(0);
  ASSERT_TRUE(WaitBound(1));
  std::string bytes = qvtest::ReadText(qvtest::Fixture("run-2-F"));
  uint32_t x = 7;  // all the movie data: from behind the small file-type box up to the movie box
  for (size_t i = uint8_t(bytes[3]) + 8, end = bytes.rfind("moov") - 4; i < end; ++i)
    bytes[i] = char((x = x * 1103515245u + 12345u) >> 24);
  const std::string damaged = dir_.Write("002_091530AN_F.MP4", bytes);
  int row = 1;
  for (const std::string& front : {damaged, qvtest::Fixture("truncated-F")}) {
    boxes_.clear();
    w_->Browser()->List()->shownRows[static_cast<size_t>(row)].frontPath = front;
    Select(row);
    ASSERT_TRUE(WaitBound(++row));
    ASSERT_EQ(w_->BindAndStart(), 1);
    qvtest::Pump(300);
    EXPECT_EQ(PlayerApi_GetState(0), kSlotClosed);
    EXPECT_EQ(PlayerApi_GetState(1), kSlotPlaying);
    ASSERT_EQ(boxes_.size(), 1u) << front;
    EXPECT_EQ(boxes_[0], std::string(GetUiText(UiText::MovieOpenFailed)) + (row == 2 ? "\nUnknown 0x80004005\n" : "\n") + front);
  }
  boxes_.clear();
  w_->Browser()->List()->shownRows[3].frontPath = w_->Browser()->List()->shownRows[3].rearPath = damaged;
  Select(3);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !boxes_.empty(); }, 8000));
  qvtest::Pump(300);
  EXPECT_EQ(boxes_.size(), 1u);
}

// Zoom mode covers the list until a failed open with a later pair, the end
// of the last folder, or the card going, which starts the window over as a
// new source does; the CSV list is a card's only.
TEST_F(PlaybackTest, ZoomCoverAndTheCardGoing) {
  auto listShown = [&] { return !w_->Browser()->List()->isHidden(); };
  auto csv = [&] { return w_->CommandButton(kCmdCsv - kCmdToStart)->isEnabled(); };
  w_->OnSourceOpened();
  EXPECT_TRUE(csv());
  ChooseFolder(0);
  ASSERT_TRUE(WaitBound(1) && w_->RunCommand(kCmdZoom));
  EXPECT_FALSE(listShown());
  w_->Browser()->List()->shownRows[1].frontPath = w_->Browser()->List()->shownRows[1].rearPath = dir_ / "gone.MP4";
  Select(1);
  ASSERT_TRUE(qvtest::WaitFor(listShown, 5000));
  ChooseFolder(1);
  Select(2);
  ASSERT_TRUE(WaitBound(2) && w_->RunCommand(kCmdZoom));
  w_->SeekToPosition(PlayerApi_GetDuration(2));
  ASSERT_EQ(w_->BindAndStart(), 1);
  ASSERT_TRUE(qvtest::WaitFor(listShown, 8000));

  ASSERT_TRUE(WaitBound(3));
  const RecordingEntry pair = w_->Playlist()[0];
  for (int command : {kCmdFrontRear, kCmdZoom, kCmdPlayPause}) ASSERT_TRUE(w_->RunCommand(command));
  w_->Browser()->Scanner().removed = 1;
  w_->OnSourceGone();
  boxes_.clear();
  EXPECT_EQ(static_cast<CMovieStatic*>(w_->Pane(0))->CameraIndex(), 0);
  EXPECT_EQ(w_->CommandButton(2)->toolTip().toStdString(), GetUiTextIn(UiLanguage, 12));
  EXPECT_TRUE(listShown() && w_->Playlist().empty() && !csv());
  EXPECT_FALSE(w_->StartDelete({pair}) || w_->StartJoin({pair}));
  EXPECT_EQ(boxes_, (std::vector<std::string>{GetUiText(UiText::DeleteFailed), GetUiText(UiText::JoinFailed)}));
  bool ended = false;
  QObject::connect(w_.get(), &CtesselDlg::ended, [&] { ended = true; });
  w_->SetProgramFile(dir_ / "quorvex");  // the program's own file went with the card
  w_->OnSourceGone();
  EXPECT_TRUE(ended && w_->Closing());
}

// A new source starts clean whichever way it came (the card going, the
// browse command): no curves or cursor in the graph, an empty slider and
// the normal rate, though a time-lapse pair played at its x0.5 and stood
// well inside its movie.
TEST_F(PlaybackTest, ResetForANewSourceLeavesNothingOfTheLastPair) {
  auto rateLabel = [&] { return w_->Info()->BandText().section(QLatin1Char('|'), 0, 0).toStdString(); };
  auto slider = [&] { return static_cast<CSkinSliderCtrl*>(w_->Child("positionSlider")); };
  auto playLastPair = [&](int binds) {
    ChooseFolder(1);  // time-lapse first
    ASSERT_TRUE(WaitBound(binds));
    ASSERT_TRUE(w_->RunCommand(kCmdPlayPause));
    w_->SeekToPosition(40);
    w_->Graph()->grab();
    ASSERT_FALSE(w_->Graph()->LastPlan().segments.empty());
    ASSERT_GT(w_->Graph()->LastPlan().cursorX, T(w_->Scale(), 40));
    ASSERT_EQ(slider()->Position(), 40);
    ASSERT_EQ(rateLabel(), GetUiTextIn(UiLanguage, 60));  // x0.5
  };
  auto expectClean = [&](const char* way) {
    SCOPED_TRACE(way);
    w_->Graph()->grab();
    const GraphPlan& plan = w_->Graph()->LastPlan();
    EXPECT_TRUE(plan.segments.empty() && plan.marks.empty() && plan.band.empty());
    EXPECT_EQ(plan.cursorX, T(w_->Scale(), 40));  // where it rests before any pair
    EXPECT_EQ(slider()->Position(), 0);
    EXPECT_EQ(slider()->Maximum(), 0);
    EXPECT_EQ(rateLabel(), GetUiTextIn(UiLanguage, 57));  // x1.0
    EXPECT_EQ(PlayerApi_Slot(PlayerApi_GetDataSlot()).rateCode, kNormalRateCode);
  };

  playLastPair(1);
  w_->Browser()->Scanner().removed = 1;
  w_->OnSourceGone();
  expectClean("the card went");

  w_->Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
  w_->Browser()->FinishScan();
  playLastPair(2);
  bool dialogShown = false;
  QTimer::singleShot(300, [&] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      dialogShown = true;
      expectClean("the source dialog shows");
      dialog->reject();
    }
  });
  ASSERT_TRUE(w_->RunCommand(kCmdBrowse));
  EXPECT_TRUE(dialogShown);
  expectClean("the source dialog was cancelled");
}

// The map shows only for a pair it can place: not for a parking pair after
// a driving one, nor when the pair's first point is no place on earth.
TEST_F(PlaybackTest, MapOnlyForAPairWithAPlace) {
  ChooseFolder(1);  // time-lapse (driving), then parked
  ASSERT_TRUE(WaitBound(1));
  ASSERT_TRUE(qvtest::WaitFor([] {
    std::lock_guard<std::mutex> lock(PlayerApi_TrackMutex());
    return PlayerApi_Track() && !PlayerApi_Track()->empty();
  }, 8000));
  w_->Inet().Stop();  // the tile host answers, and no probe asks the network
  w_->MapWrap().SetMapDisplay(1);
  w_->MapWrap().SetProbeResult(1);
  auto mapShown = [&] { return !w_->MapWrap().Dialog()->isHidden(); };
  w_->SeekToPosition(20);
  ASSERT_TRUE(mapShown());
  ASSERT_TRUE(w_->RunCommand(kCmdNext) && WaitBound(2));
  EXPECT_FALSE(mapShown());
  EXPECT_EQ(static_cast<CLogoDlg*>(w_->Child("logo"))->ShowFlag(), 1);
  std::string bytes = qvtest::ReadText(qvtest::Fixture("timelapse-F"));
  bytes.replace(bytes.rfind("CSODAT") + 6 + 35 + 2 + 19, 10, "99900.0000");  // the first record's longitude
  w_->Browser()->List()->shownRows[0].frontPath = dir_.Write("007_100200AT_F.MP4", bytes);
  Select(0);
  ASSERT_TRUE(WaitBound(3));
  w_->SeekToPosition(20);
  EXPECT_FALSE(mapShown());
}

TEST_F(PlaybackTest, OneCameraPairOpensAndBinds) {
  ChooseFolder(0);
  ASSERT_TRUE(WaitBound(1));
  {
    std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
    RecordingEntry& row = w_->Browser()->List()->shownRows[1];
    row.frontPath.clear();
    row.frontName.clear();
    w_->OnListRowSelected(1);
  }
  ASSERT_TRUE(WaitBound(2));
  EXPECT_EQ(w_->CurrentIndex(), 1);
  EXPECT_EQ(PlayerApi_GetDataSlot(), 1);
  EXPECT_EQ(w_->OpenCount(), 2);
}

TEST_F(PlaybackTest, EventJumpsAndTheLastPairMovesToTheNextFolder) {
  ChooseFolder(0);
  ASSERT_TRUE(WaitBound(1));
  const std::vector<RecordingEntry>& list = w_->Playlist();
  int shock = -1;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].frontName.find("GN") != std::string::npos) shock = static_cast<int>(i);
  }
  ASSERT_GE(shock, 0);
  Select(shock);
  ASSERT_TRUE(WaitBound(2));
  ASSERT_GT(w_->EventPointCount(), 0u);
  // The right click goes to the first point after the cursor, the left one
  // (none before the first point) wraps to the last.
  w_->Port().Post(kMsgNextEventMark);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->Graph()->Cursor() > 0; }, 2000));
  const int first = w_->Graph()->Cursor();
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - first) <= 2; }, 3000));
  w_->Port().Post(kMsgPrevEventMark);
  qvtest::Pump(200);
  EXPECT_GE(w_->Graph()->Cursor(), first);
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - w_->Graph()->Cursor()) <= 2; }, 3000));

  // The last pair of the folder plays to its end: the next date folder's
  // first pair opens and starts by itself.
  const int last = static_cast<int>(w_->Playlist().size()) - 1;
  const std::string firstFolderName = w_->Playlist()[0].frontName;
  Select(last);
  ASSERT_TRUE(WaitBound(3));
  w_->SeekToPosition(PlayerApi_GetDuration(2));
  ASSERT_EQ(w_->BindAndStart(), 1);
  ASSERT_TRUE(qvtest::WaitFor(
      [&] { return !w_->Playlist().empty() && w_->Playlist()[0].frontName != firstFolderName; }, 8000));
  ASSERT_TRUE(WaitBound(4));
  EXPECT_EQ(w_->CurrentIndex(), 0);
  EXPECT_TRUE(qvtest::WaitFor([&] { return PlayerApi_GetState(2) == kSlotPlaying; }, 3000));
}

// The next and previous commands and the end of a pair move the list's
// selection with the playing row, without a second open or the rate of a
// new selection: a click on the row left opens it again.
TEST_F(PlaybackTest, TheRowLeftByNextPreviousOrItsEndOpensAgainAtAClick) {
  qvtest::TempDir dir;
  std::filesystem::create_directories(dir / "20250101_001");
  for (int i = 0; i < 12; ++i) {
    const std::string name = "20250101_001/" + FormatPadded(i, 3) + "_" + FormatPadded(100000 + i, 6) + "AN_";
    std::filesystem::create_symlink(qvtest::Fixture("run-1-F"), dir / (name + "F.MP4"));
    std::filesystem::create_symlink(qvtest::Fixture("run-1-R"), dir / (name + "R.MP4"));
  }
  w_->Browser()->OpenSource(dir.path(), SourceMode::kFolder);
  w_->Browser()->FinishScan();
  QTreeWidgetItem* folder = w_->Browser()->Tree()->topLevelItem(0)->child(0);
  w_->Browser()->Tree()->SelectQuietly(folder);
  w_->OnFolderSelected(folder, true);
  w_->Browser()->FinishFill();
  ASSERT_EQ(w_->Playlist().size(), 12u);
  ASSERT_TRUE(WaitBound(1));

  CFileListCtrl* list = w_->Browser()->List();
  const auto click = [&](int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
  };
  // The row opens once, and the list selects it and draws it as current.
  const auto opens = [&](int row) {
    const int opensBefore = w_->OpenCount(), binds = w_->BindCount();
    if (!qvtest::WaitFor(
            [&] { return w_->CurrentIndex() == row && w_->BindCount() > binds && w_->PairBound() && !w_->Opening(); },
            8000))
      return false;
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    return w_->OpenCount() == opensBefore + 1 && selected.size() == 1 && selected[0].row() == row &&
           list->currentIndex().row() == row && list->currentRow == row;
  };
  const auto rate = [] { return PlayerApi_Slot(PlayerApi_GetDataSlot()).rateCode; };

  click(5);
  ASSERT_TRUE(opens(5));
  PlayerApi_SetRate(2);  // the user's rate stays from pair to pair
  for (int row : {6, 7}) {
    ASSERT_TRUE(w_->RunCommand(kCmdNext));
    ASSERT_TRUE(opens(row)) << row;
    EXPECT_EQ(rate(), 2);
  }
  click(5);
  EXPECT_TRUE(opens(5));
  EXPECT_EQ(rate(), kNormalRateCode);  // a choice in the list: the pair's own rate

  click(9);
  ASSERT_TRUE(opens(9));
  ASSERT_TRUE(w_->RunCommand(kCmdPrevious));
  ASSERT_TRUE(opens(8));
  click(9);
  EXPECT_TRUE(opens(9));

  // Also from a pair that failed to open (neither bound nor opening).
  boxes_.clear();
  list->shownRows[10].frontPath = list->shownRows[10].rearPath = dir / "gone.MP4";
  click(10);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !boxes_.empty() && !w_->Opening(); }, 8000));
  PlayerApi_SetRate(2);
  ASSERT_TRUE(w_->RunCommand(kCmdNext));
  ASSERT_TRUE(opens(11));
  EXPECT_EQ(rate(), 2);

  click(3);
  ASSERT_TRUE(opens(3));
  w_->SeekToPosition(PlayerApi_GetDuration(2));
  ASSERT_EQ(w_->BindAndStart(), 1);
  ASSERT_TRUE(opens(4));
  click(3);
  EXPECT_TRUE(opens(3));
}

TEST_F(PlaybackTest, TurningEveryFilterOffEmptiesTheListAndStops) {
  ChooseFolder(0);
  ASSERT_TRUE(WaitBound(1));
  for (int i = 0; i < 5; ++i) w_->OnFilterClicked(i);
  EXPECT_TRUE(w_->Playlist().empty());
  EXPECT_EQ(w_->CurrentIndex(), -1);
  EXPECT_EQ(PlayerApi_GetState(2), kSlotClosed);
  EXPECT_FALSE(w_->Browser()->FilterButton(0)->Latched());
  // Back on: the first row opens again.
  w_->OnFilterClicked(0);
  ASSERT_FALSE(w_->Playlist().empty());
  ASSERT_TRUE(WaitBound(2));
  EXPECT_EQ(w_->CurrentIndex(), 0);
}

TEST_F(PlaybackTest, PairWithoutGpsPlaysAndFolderChoiceNeverJoinsUnderTheListLock) {
  // A pair thread that wants the playlist lock while the folder choice
  // waits for it: the choice must not hold the lock while it waits.
  std::atomic<bool> threadDone{false};
  w_->Threads().StartPairThread(WindowThreads::kPrepare, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
    threadDone = true;
  });
  w_->Browser()->OpenSource(qvtest::Fixture("folder-root"), SourceMode::kFolder);
  w_->Browser()->FinishScan();
  QTreeWidgetItem* top = w_->Browser()->Tree()->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
  w_->OnFolderSelected(folder, true);
  EXPECT_TRUE(threadDone);
  w_->Browser()->FinishFill();

  // The list shows only recordings with drive data; the row is pointed at
  // a pair without any.
  ASSERT_GE(w_->Playlist().size(), 2u);
  const int row = 1;
  {
    std::lock_guard<std::recursive_mutex> lock(w_->PlaylistMutex());
    RecordingEntry& e = w_->Browser()->List()->shownRows[row];
    e.frontPath = qvtest::Fixture("no-block-F");
    e.rearPath = qvtest::Fixture("no-block-R");
    w_->OnListRowSelected(row);
  }
  // No drive data: it still binds and plays, and the map page that comes
  // up gets its points once, not on every tick.
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->CurrentIndex() == row && w_->PairBound() && !w_->Opening(); }, 8000));
  {
    DriveDataView view;
    EXPECT_TRUE(!view.Gps() || view.Gps()->empty());
  }
  EXPECT_EQ(w_->EventPointCount(), 0u);
  ASSERT_EQ(w_->BindAndStart(), 1);
  w_->Port().Post(kMsgMapLoaded);
  qvtest::Pump(100);
  const int sends = w_->EventPointSends();
  ASSERT_TRUE(qvtest::WaitFor([&] { return PlayerApi_GetPosition(2) > 30; }, 5000));
  EXPECT_EQ(w_->EventPointSends(), sends);
}

// The card's first folder gets its track without opening a pair.  A folder
// of 10,000 files chosen on a slow card: the window thread never stops for
// 50 ms until its first pair is chosen; the window's end stops a fill.
TEST_F(PlaybackTest, FoldersAreReadOffTheWindowThread) {
  ASSERT_TRUE(qvtest::WaitFor(
      [] {
        std::lock_guard<std::mutex> lock(PlayerApi_TrackMutex());
        return PlayerApi_Track() && !PlayerApi_Track()->empty();
      },
      8000));
  EXPECT_EQ(w_->OpenCount(), 0);
  qvtest::TempDir dir;
  std::filesystem::create_directories(dir / "20250101_001");
  for (int i = 0; i < 10000; ++i) {
    const std::string name = FormatPadded(i / 2 % 1000, 3) + "_" + FormatPadded(100000 + i / 2, 6) + "AN_";
    std::filesystem::create_symlink(qvtest::Fixture(i % 2 ? "run-1-R" : "run-1-F"),
                                    dir / ("20250101_001/" + name + (i % 2 ? "R.MP4" : "F.MP4")));
  }
  w_->Browser()->OpenSource(dir.path(), SourceMode::kFolder);
  w_->Browser()->FinishScan();
  QTreeWidgetItem* folder = w_->Browser()->Tree()->topLevelItem(0)->child(0);
  SetFileSourceDelay(std::chrono::microseconds(100));
  CountFileSourceCallsOn(std::this_thread::get_id());
  w_->OnFolderSelected(folder, true);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->Playlist().size() == 5000 && w_->CurrentIndex() == 0; }, 30000));
  EXPECT_EQ(FileSourceCallsCounted(), 0u);  // the card was read off the window thread
  CountFileSourceCallsOn({});
  w_->OnFolderSelected(folder, true);
  w_->Shutdown();
  SetFileSourceDelay(std::chrono::microseconds(0));
  EXPECT_FALSE(w_->Browser()->Filling());
}

// The pause after a bind's rate change holds no thread: the window waits
// for it on its timer; the user's presses in it come after the bind's
// remaining steps, in order.  A reset in the pause ends the bind there, and
// so does the window's end.
TEST(BindPause, TheWindowWaitsOnItsTimerAndPressesComeAfterTheBind) {
  qvtest::App();
  if (qvtest::Fixture("card-root").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::TempDir dir;
  FakeTimerClock clock;
  CtesselDlg w(&clock);
  w.OnInitDialog(dir.path());
  w.show();
  ASSERT_TRUE(qvtest::WaitFor([&] { return w.PostInitRuns() == 1; }, 5000));
  int windowSleeps = 0;
  const std::thread::id windowThread = std::this_thread::get_id();
  PlayerApi_Slot(0).sleep = [&](int ms) {
    if (std::this_thread::get_id() == windowThread) ++windowSleeps;
    RealSleep(ms);
  };
  struct NoSleepHook {
    ~NoSleepHook() { PlayerApi_Slot(0).sleep = nullptr; }
  } noHookAfter;
  int prepared = 0;
  intptr_t seekTo = -1;
  w.SetMessageObserver([&](uint32_t m, uintptr_t id, intptr_t l) {
    if (m == kMsgPairDataReady) ++prepared;
    if (m == qv::kMsgSliderDown && id == kCtlPositionSlider) seekTo = l;
  });
  const auto chooseFolder = [&] {
    w.Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
    w.Browser()->FinishScan();
    QTreeWidgetItem* folder = w.Browser()->Tree()->topLevelItem(0);
    w.Browser()->Tree()->SelectQuietly(folder);
    w.OnFolderSelected(folder, true);
    w.Browser()->FinishFill();
  };
  // `choose` a pair, let its open timer fire and wait until the prepared
  // pair's notice was handled: the bind has begun.
  const auto bindBegins = [&](const std::function<void()>& choose) {
    const int before = prepared;
    choose();
    clock.Advance(kOpenSelectionMs);
    return qvtest::WaitFor([&] { return prepared > before; }, 8000);
  };
  const auto clickAt = [&](QWidget* child, QPoint at) {
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, child->mapTo(&w, at));
  };

  int binds = w.BindCount();
  ASSERT_TRUE(bindBegins(chooseFolder));
  EXPECT_EQ(windowSleeps, 0);
  EXPECT_EQ(w.BindCount(), binds);  // the remaining steps wait for the pause
  QWidget* play = w.CommandButton(kCmdPlayPause - kCmdToStart);
  QWidget* slider = w.Child("positionSlider");
  clickAt(play, play->rect().center());
  clickAt(slider, QPoint(slider->width() * 3 / 5, slider->height() / 2));
  qvtest::Pump(50);
  EXPECT_EQ(PlayerApi_GetState(2), kSlotOpened);
  clock.Advance(kRateChangePauseMs - 1);
  EXPECT_EQ(w.BindCount(), binds);
  clock.Advance(1);
  EXPECT_EQ(w.BindCount(), binds + 1);
  // Play, then the seek on the bound pair's range: playing where the press
  // was, the button showing pause.
  ASSERT_TRUE(qvtest::WaitFor([&] { return seekTo > 0 && w.Graph()->Cursor() == seekTo; }, 3000));
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPlaying);
  EXPECT_EQ(w.CommandButton(kCmdPlayPause - kCmdToStart)->toolTip().toStdString(), GetUiTextIn(UiLanguage, 11));

  binds = w.BindCount();
  ASSERT_TRUE(bindBegins([&] { w.RunCommand(kCmdNext); }));
  w.ResetForNewSource();
  clock.Advance(kRateChangePauseMs);
  qvtest::Pump(50);
  EXPECT_EQ(w.BindCount(), binds);
  EXPECT_FALSE(w.PairBound());

  ASSERT_TRUE(bindBegins(chooseFolder));
  w.Shutdown();
  clock.Advance(kRateChangePauseMs);
  QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));  // input is not held any more
  qvtest::Pump(50);
  EXPECT_EQ(w.BindCount(), binds);
}

// A rate change holds no thread: the rate command, and a row click, a
// folder click and to-start while playing at x2 set the rate and go on at
// once; presses given right after come in order, once each.
TEST(RateChange, TheWindowThreadTakesNoPauseAndPressesComeInOrder) {
  qvtest::App();
  if (qvtest::Fixture("card-root").empty()) GTEST_SKIP() << "no fixture recordings";
  qvtest::TempDir dir;
  FakeTimerClock clock;
  CtesselDlg w(&clock);
  w.OnInitDialog(dir.path());
  w.show();
  ASSERT_TRUE(qvtest::WaitFor([&] { return w.PostInitRuns() == 1; }, 5000));
  // The window thread's sleeps, but for the position's 10 ms re-reads right
  // after a start.
  std::vector<int> pauses;
  const std::thread::id windowThread = std::this_thread::get_id();
  PlayerApi_Slot(0).sleep = [&](int ms) {
    if (std::this_thread::get_id() == windowThread && ms > 10) pauses.push_back(ms);
    RealSleep(ms);
  };
  struct NoSleepHook {
    ~NoSleepHook() { PlayerApi_Slot(0).sleep = nullptr; }
  } noHookAfter;
  std::vector<intptr_t> seeks;
  w.SetMessageObserver([&](uint32_t m, uintptr_t id, intptr_t l) {
    if (m == qv::kMsgSliderDown && id == kCtlPositionSlider) seeks.push_back(l);
  });
  const auto rate = [] { return PlayerApi_Slot(PlayerApi_GetDataSlot()).rateCode; };
  QTreeWidgetItem* folder = nullptr;
  const auto chooseFolder = [&] {
    if (!folder) {
      w.Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
      w.Browser()->FinishScan();
      folder = w.Browser()->Tree()->topLevelItem(0);
    }
    w.Browser()->Tree()->SelectQuietly(folder);
    w.OnFolderSelected(folder, true);
    w.Browser()->FinishFill();
  };
  const auto selectRow = [&](int row) {
    std::lock_guard<std::recursive_mutex> lock(w.PlaylistMutex());
    w.OnListRowSelected(row);
  };
  // The chosen pair opens and binds (its timers moved on by hand).
  const auto bound = [&] {
    const int binds = w.BindCount();
    clock.Advance(kOpenSelectionMs);
    if (!qvtest::WaitFor([&] { return w.Timers().IsSet(kTimerBindPause); }, 8000)) return false;
    clock.Advance(kRateChangePauseMs);
    return w.BindCount() > binds && w.PairBound();
  };
  // Playing, its position past 0, then the faster command: x2.
  const auto playAtDouble = [&] {
    if (!w.RunCommand(kCmdPlayPause) ||
        !qvtest::WaitFor([&] { return PlayerApi_GetState(2) == kSlotPlaying && PlayerApi_GetPosition(2) > 0; }, 3000))
      return false;
    clock.Advance(1000);  // the rate debounce
    return w.RunCommand(kCmdFaster) && rate() == 2;
  };

  chooseFolder();
  ASSERT_TRUE(bound());
  ASSERT_TRUE(playAtDouble());
  EXPECT_EQ(pauses, std::vector<int>{}) << "the rate command";
  selectRow(2);
  EXPECT_EQ(rate(), kNormalRateCode);
  EXPECT_EQ(pauses, std::vector<int>{}) << "a row click at x2";
  ASSERT_TRUE(bound());
  ASSERT_TRUE(playAtDouble());
  chooseFolder();
  EXPECT_EQ(rate(), kNormalRateCode);
  EXPECT_EQ(pauses, std::vector<int>{}) << "a folder click at x2";
  ASSERT_TRUE(bound());

  // To-start at x2, then play and a click on the slider's track: playing
  // from the click's position, the button showing pause, one seek.
  ASSERT_TRUE(playAtDouble());
  ASSERT_TRUE(w.RunCommand(kCmdToStart));
  EXPECT_EQ(rate(), kNormalRateCode);
  EXPECT_EQ(pauses, std::vector<int>{}) << "to-start at x2";
  QWidget* play = w.CommandButton(kCmdPlayPause - kCmdToStart);
  QWidget* slider = w.Child("positionSlider");
  QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, play->mapTo(&w, play->rect().center()));
  QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {},
                    slider->mapTo(&w, QPoint(slider->width() * 3 / 5, slider->height() / 2)));
  ASSERT_TRUE(qvtest::WaitFor([&] { return !seeks.empty() && w.Graph()->Cursor() == seeks.back(); }, 3000));
  qvtest::Pump(50);
  EXPECT_EQ(seeks.size(), 1u);
  EXPECT_GT(seeks[0], 0);
  EXPECT_EQ(PlayerApi_GetState(2), kSlotPlaying);
  EXPECT_EQ(w.CommandButton(kCmdPlayPause - kCmdToStart)->toolTip().toStdString(), GetUiTextIn(UiLanguage, 11));
  w.SetMessageObserver({});
  w.Shutdown();
}

// The tests' slow card for as long as it lives.
class SlowCard {
 public:
  explicit SlowCard(int microseconds) { SetFileSourceDelay(std::chrono::microseconds(microseconds)); }
  ~SlowCard() { SetFileSourceDelay(std::chrono::microseconds(0)); }
};

class PairOpenTest : public PlaybackTest {
 protected:
  void SetUp() override {
    PlaybackTest::SetUp();
    if (IsSkipped()) return;
    ChooseFolder(0);
    ASSERT_TRUE(WaitBound(1));
  }
  // Selects `row` and waits until its open timer has fired: the open reads
  // the card then.
  void SelectAndFire(int row) {
    Select(row);
    ASSERT_TRUE(w_->Timers().IsSet(kTimerOpenSelection));
    ASSERT_TRUE(qvtest::WaitFor([&] { return !w_->Timers().IsSet(kTimerOpenSelection); }, 3000));
  }
};

// On a slow card the pair opens off the window thread, which answers all
// along; the slots take the players on the open's notice, their ready
// notices come after it, and the first frame shows before the drive data
// is bound.
TEST_F(PairOpenTest, OpensOffTheWindowThreadInOrder) {
  std::vector<uint32_t> order;
  int opensAtNotice = -1, stateAtNotice = -1;
  uint64_t paintedAtReady[2] = {}, paintedAtBind[2] = {};
  w_->SetMessageObserver([&](uint32_t m, uintptr_t, intptr_t) {
    if (m != kMsgPairOpened && m != kMsgPaneTopologyReady && m != kMsgPairDataReady) return;
    order.push_back(m);
    uint64_t* painted = m == kMsgPairDataReady ? paintedAtBind : paintedAtReady;
    for (int i = 0; i < 2; ++i) painted[i] = w_->Pane(i)->FramesPainted();
    if (m == kMsgPairOpened) {
      opensAtNotice = w_->OpenCount();
      stateAtNotice = PlayerApi_GetState(0);
    }
  });
  const int opens = w_->OpenCount();
  {
    SlowCard card(3000);  // the open alone reads for most of a second
    CountFileSourceCallsOn(std::this_thread::get_id());
    Select(1);
    ASSERT_TRUE(qvtest::WaitFor([&] { return order.size() >= 3; }, 15000));
  }
  const uint64_t readsOnTheWindowThread = FileSourceCallsCounted();
  CountFileSourceCallsOn({});
  ASSERT_TRUE(WaitBound(2));
  w_->SetMessageObserver({});
  EXPECT_EQ(readsOnTheWindowThread, 0u);
  EXPECT_EQ(opensAtNotice, opens);  // nothing was opened before the notice
  EXPECT_EQ(stateAtNotice, kSlotClosed);
  EXPECT_EQ(w_->OpenCount(), opens + 1);
  EXPECT_EQ(order, (std::vector<uint32_t>{kMsgPairOpened, kMsgPaneTopologyReady, kMsgPaneTopologyReady,
                                          kMsgPairDataReady}));
  ASSERT_TRUE(w_->Pane(0)->isVisible());
  for (int i = 0; i < 2; ++i) {
    if (w_->Pane(i)->isVisible()) {
      EXPECT_GT(paintedAtBind[i], paintedAtReady[i]) << i;
    }
  }
  EXPECT_EQ(PlayerApi_GetState(2), kSlotOpened);
  EXPECT_TRUE(boxes_.empty());
}

// A selection while an open reads the card supersedes it: only the later
// pair is taken.  A reset while one reads (the card going) drops it, and so
// does the window's end.
TEST_F(PairOpenTest, AnOpenUnderWayIsSupersededOrDropped) {
  const int opens = w_->OpenCount(), binds = w_->BindCount();
  // The pair left behind has no front movie: taken, it would say so.
  w_->Browser()->List()->shownRows[2].frontPath = dir_ / "missing_F.MP4";
  {
    SlowCard card(3000);
    SelectAndFire(2);
    EXPECT_TRUE(w_->Opening());
    Select(1);
    ASSERT_TRUE(WaitBound(binds + 1));
  }
  EXPECT_EQ(w_->CurrentIndex(), 1);
  EXPECT_EQ(w_->OpenCount(), opens + 1);
  qvtest::Pump(300);
  EXPECT_EQ(w_->BindCount(), binds + 1);
  EXPECT_EQ(PlayerApi_GetState(0), kSlotOpened);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotOpened);
  EXPECT_TRUE(boxes_.empty());

  {
    SlowCard card(3000);
    SelectAndFire(2);
    w_->ResetForNewSource();
    EXPECT_FALSE(w_->Opening());
    // The open ends on its own; its players never reach the slots.
    qvtest::Pump(1500);
  }
  qvtest::Pump(500);
  EXPECT_EQ(w_->OpenCount(), opens + 1);
  EXPECT_EQ(PlayerApi_GetState(0), kSlotClosed);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotClosed);
  EXPECT_FALSE(w_->Opening());
  EXPECT_TRUE(boxes_.empty());

  w_->Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
  w_->Browser()->FinishScan();
  ChooseFolder(0);
  ASSERT_TRUE(WaitBound(binds + 2));
  SlowCard card(3000);
  SelectAndFire(1);
  w_->Shutdown();
  EXPECT_EQ(PlayerApi_GetState(0), kSlotClosed);
  EXPECT_EQ(PlayerApi_GetState(1), kSlotClosed);
}

}  // namespace
}  // namespace qv
