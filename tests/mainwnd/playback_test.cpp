// Playback control on the offscreen platform with the fixture card: a
// selection opens once after the debounce, binds the drive data, seeks, and
// moves on to the next pair; stale prepare completions and one-camera pairs.
#include <gtest/gtest.h>

#include <QTreeWidgetItem>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/tesseldlg.h"
#include "panels/gsensordlg.h"
#include "player/playerapi.h"
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
    w_->show();
    ASSERT_TRUE(qvtest::WaitFor([&] { return w_->PostInitRuns() == 1; }, 5000));
    w_->Browser()->OpenSource(qvtest::Fixture("card-root"), SourceMode::kDrive);
    w_->Browser()->FinishScan();
  }
  // Chooses the first date folder as the user would; its first pair opens.
  void ChooseFirstFolder() {
    QTreeWidgetItem* top = w_->Browser()->Tree()->topLevelItem(0);
    ASSERT_NE(top, nullptr);
    QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
    w_->Browser()->Tree()->SelectQuietly(folder);
    w_->OnFolderSelected(folder, true);
    ASSERT_GT(w_->Playlist().size(), 2u);
  }
  bool WaitBound(int binds) {
    return qvtest::WaitFor([&] { return w_->BindCount() >= binds && w_->PairBound() && !w_->Opening(); }, 8000);
  }
  qvtest::TempDir dir_;
  std::unique_ptr<CtesselDlg> w_;
};

TEST_F(PlaybackTest, SelectOpensOnceBindsSeeksAndMovesOn) {
  ChooseFirstFolder();
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
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - 150) <= 2; }, 3000));
  // Past the end the player stops the end margin short; the display shows the last slot.
  w_->SeekToPosition(1000000);
  ASSERT_TRUE(qvtest::WaitFor([&] { return std::abs(PlayerApi_GetPosition(2) - (PlayerApi_GetDuration(2) - 20)) <= 2; },
                              3000));

  // Play to the end: the next pair opens the same way.
  ASSERT_EQ(w_->BindAndStart(), 1);
  ASSERT_TRUE(qvtest::WaitFor([&] { return w_->CurrentIndex() == 1; }, 8000));
  ASSERT_TRUE(WaitBound(binds + 1));
  EXPECT_EQ(w_->OpenCount(), 2);
}

TEST_F(PlaybackTest, OneCameraPairOpensAndBinds) {
  ChooseFirstFolder();
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

}  // namespace
}  // namespace qv
