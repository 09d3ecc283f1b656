// The browser's windows on the offscreen platform, over the fixture card.
#include <QTest>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "browser/filercontainerdlg.h"
#include "browser/filerowner.h"
#include "browser/fileselectdlg.h"
#include "browser/sourceopendlg.h"
#include "eventwait.h"
#include "platform/apphelpers.h"
#include "platform/qt/qtconvert.h"
#include "testsupport.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

struct Host : FilerOwner {
  CFilerContainerDlg* panel = nullptr;
  std::recursive_mutex mutex;
  std::vector<int> selected;
  int gone = 0;
  std::recursive_mutex& PlaylistMutex() override { return mutex; }
  void OnListRowSelected(int row) override { selected.push_back(row); }
  void OnFolderSelected(QTreeWidgetItem* item, bool) override {
    if (!panel->Clearing()) panel->OnFolderSelected(item);
  }
  void OnFilterClicked(int index) override { panel->SetFilter(index, !panel->FilterButton(index)->Latched()); }
  void OnSourceGone() override {
    ++gone;
    panel->ClearSource();
  }
  void OnEntriesRebuilt(std::vector<RecordingEntry> rows, bool current) override {
    rebuilt.emplace_back(rows.size(), current);
  }
  void OnFolderFilled(bool chosen) override { filled.push_back(chosen); }
  void OnSourceUnreadable(const std::string& path, int) override {
    ++unreadable;
    unreadablePath = path;
  }
  std::vector<std::pair<size_t, bool>> rebuilt;  // rows, current
  std::vector<bool> filled;                      // chosen
  int unreadable = 0;
  std::string unreadablePath;
};

struct Panel {
  QApplication* app = qvtest::App();
  Host host;
  QWidget window;
  CFilerContainerDlg panel{&window, &host};
  Panel() {
    host.panel = &panel;
    panel.CreateChildren();
    window.resize(460, 640);
    panel.LayoutSideBySide(Rect::FromSize(0, 0, 452, 634));
    window.show();
  }
};

TEST(BrowserWindows, CardOpensWithItsFirstDateFolderAndFilters) {
  Panel p;
  const std::string card = qvtest::Fixture("card-root");
  ASSERT_FALSE(card.empty());
  p.panel.OpenSource(card, SourceMode::kDrive);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !p.panel.Scanning(); }, 20000));
  p.panel.FinishScan();
  CFolderTreeCtrl* tree = p.panel.Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->GetItemPath(tree->topLevelItem(1)), card + "/20250305_002");
  EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
  EXPECT_EQ(p.panel.List()->ItemCount(), 6);
  EXPECT_EQ(p.panel.ItemCountText(), QStringLiteral("6個"));
  EXPECT_FALSE(p.panel.Format().version.empty());
  EXPECT_EQ(p.panel.DriveRows().size(), 2u);

  p.panel.SetFilter(0, false);  // continuous recordings off: shock and manual remain
  EXPECT_EQ(p.panel.List()->ItemCount(), 2);
  EXPECT_FALSE(p.host.selected.empty());
  EXPECT_TRUE(p.panel.TakeFilterChanged());
  p.panel.FilterButton(1)->click();  // through the host: shock off
  EXPECT_EQ(p.panel.List()->ItemCount(), 1);
  EXPECT_FALSE(p.panel.FilterButton(1)->Latched());
  p.panel.SetFilter(9, false);  // no such filter
  EXPECT_EQ(p.panel.List()->ItemCount(), 1);
  for (int i = 1; i < 5; ++i) p.panel.SetFilter(i, false);
  EXPECT_EQ(p.panel.ItemCountText(), QStringLiteral("0個"));

  // The command rows: every pair of the card whatever the filters.
  ASSERT_TRUE(p.panel.StartRebuild());
  ASSERT_TRUE(qvtest::WaitFor([&] { return p.host.rebuilt.size() == 1; }, 20000));
  EXPECT_EQ(p.host.rebuilt[0], std::make_pair(size_t{9}, true));
  p.panel.ClearSource();
  EXPECT_EQ(tree->topLevelItemCount(), 0);
}

// A folder source opens on its own item; a folder chosen in the tree is read
// off the window thread, says once per choice that a file cannot be read,
// and is dropped when another choice or a new source overtakes it.
TEST(BrowserWindows, FolderSourceChosenFoldersAndPulledCard) {
  Panel p;
  qvtest::TempDir dir;
  const std::string folder = dir / "Videos";
  fs::create_directories(folder + "/20250305_002");
  fs::create_directories(folder + "/20250305_001");
  for (const char* role : {"run-1-F", "run-1-R"})
    fs::create_symlink(qvtest::Fixture(role), folder + "/20250305_001/" + fs::path(qvtest::Fixture(role)).filename().string());
  // A link that loops stands in for a failing card (root reads any file).
  fs::create_symlink("009_184117SN_F.MP4", folder + "/20250305_001/009_184117SN_F.MP4");
  p.panel.OpenSource(folder + "/", SourceMode::kFolder);
  p.panel.FinishScan();
  CFolderTreeCtrl* tree = p.panel.Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Videos"));
  EXPECT_EQ(tree->RootPath(), dir.path());
  EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
  EXPECT_EQ(p.panel.List()->ItemCount(), 0);
  EXPECT_EQ(p.panel.PathEdit()->text().toStdString(), folder);
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 2);
  QTreeWidgetItem* first = tree->topLevelItem(0)->child(0);
  QTreeWidgetItem* second = tree->topLevelItem(0)->child(1);

  tree->setCurrentItem(first);
  EXPECT_TRUE(p.panel.Filling() && p.panel.List()->ItemCount() == 0 && p.panel.cursor().shape() == Qt::BusyCursor);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !p.panel.Filling(); }, 20000));
  EXPECT_EQ(p.panel.List()->ItemCount(), 1);
  tree->setCurrentItem(second);
  tree->setCurrentItem(first);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !p.panel.Filling(); }, 20000));
  EXPECT_EQ(p.host.unreadable, 2);
  tree->setCurrentItem(second);
  p.panel.OpenSource(folder, SourceMode::kFolder);
  p.panel.FinishScan();
  EXPECT_EQ(p.host.filled, (std::vector<bool>{false, true, true, false}));

  fs::remove_all(folder);
  EXPECT_TRUE(qvtest::WaitFor([&] { return p.host.gone == 1; }, 2000));
  qvtest::Pump(300);
  EXPECT_EQ(p.host.gone, 1);
  EXPECT_EQ(p.panel.List()->ItemCount(), 0);
}

// A date folder of the card that cannot be read: one message naming it, and
// the folder is not in the tree.
TEST(BrowserWindows, CardWithAnUnreadableDateFolderTellsOnce) {
  Panel p;
  qvtest::TempDir dir;
  const std::string card = dir / "card";
  for (const char* day : {"20250305_001", "20250305_002"}) {
    fs::create_directories(card + "/" + day);
    for (const char* role : {"run-1-F", "run-1-R"})
      fs::create_symlink(qvtest::Fixture(role), card + "/" + day + "/" + fs::path(qvtest::Fixture(role)).filename().string());
  }
  const std::string unreadable = card + "/20250305_002";
  InjectFolderListFailure(unreadable, EACCES);
  p.panel.OpenSource(card, SourceMode::kDrive);
  ASSERT_TRUE(qvtest::WaitFor([&] { return !p.panel.Scanning(); }, 20000));
  p.panel.FinishScan();
  ASSERT_TRUE(qvtest::WaitFor([&] { return !p.panel.Filling(); }, 20000));
  qvtest::Pump(100);
  InjectFolderListFailure("", 0);
  CFolderTreeCtrl* tree = p.panel.Tree();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->GetItemPath(tree->topLevelItem(0)), card + "/20250305_001");
  EXPECT_EQ(p.panel.List()->ItemCount(), 1);
  EXPECT_EQ(p.host.unreadable, 1);
  EXPECT_EQ(p.host.unreadablePath, unreadable);
}

TEST(BrowserWindows, ListDrawsTriggerColoursAndTreeBadges) {
  Panel p;
  CFileListCtrl* list = p.panel.List();
  RecordingEntry a, g;
  a.frontName = "001_100000AN_F.MP4";
  g.frontName = "002_100100GN_F.MP4";
  list->allRows = {a, g};
  list->ApplyFilter();
  list->currentRow = 0;
  p.panel.show();
  qvtest::Pump(50);
  const QImage shot = list->viewport()->grab().toImage();
  const int rowH = list->visualRect(list->model()->index(0, 0)).height();
  EXPECT_EQ(FromQColor(shot.pixelColor(shot.width() / 2, rowH / 2)), 0xB2B2B2u);
  EXPECT_EQ(FromQColor(shot.pixelColor(shot.width() / 2, rowH + rowH / 2)), 0xCCFFFFu);
  EXPECT_EQ(FromQColor(shot.pixelColor(shot.width() / 2, 5 * rowH)), 0x151823u);

  const QImage base = ComposeBadge(0x01, 1.0f), shock = ComposeBadge(0x05, 1.0f);
  EXPECT_EQ(base.size(), QSize(39, 26));
  EXPECT_NE(base, shock);
  EXPECT_EQ(base.pixelColor(0, 0).alpha(), 0);  // above the images: transparent
}

TEST(BrowserWindows, SourceDialogTakesTypedPaths) {
  qvtest::App();
  qvtest::TempDir dir;
  SetAppFolder(dir.path());
  ASSERT_TRUE(WriteDefaultFolderIni("SOURCE", "SELECT", "FILE"));
  const std::vector<std::string> drives = {"/media/E", "/media/F"};
  CSourceOpenDlg dlg(nullptr, &drives);
  EXPECT_TRUE(dlg.Choice(2)->Checked());
  EXPECT_FALSE(dlg.OkButton()->isEnabled());
  EXPECT_EQ(dlg.DriveList()->currentText(), QStringLiteral("/media/F"));
  QTest::keyClicks(dlg.FolderEdit(), QStringLiteral("/data/Videos"));
  EXPECT_TRUE(dlg.Choice(1)->Checked());
  ASSERT_TRUE(dlg.OkButton()->isEnabled());
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(ReadDefaultFolderIni("SOURCE", "SELECT"), "FOLDER");
  EXPECT_EQ(ReadDefaultFolderIni("SOURCE", "FOLDER"), "/data/Videos");
  SetAppFolder("");
}

TEST(BrowserWindows, SelectionDialogCapsRowsAndKeepsTheJoinBlock) {
  qvtest::App();
  CFileSelectDlg dlg;
  int boxes = 0;
  dlg.errorBox = [&](const QString& text) {
    ++boxes;
    EXPECT_EQ(text, QString::fromUtf8(GetUiText(UiText::TooManyRows)));
  };
  RecordingEntry e;
  e.frontPath = "/c/001_100000AN_F.MP4";
  e.frontName = "001_100000AN_F.MP4";
  e.frontSize = e.rearSize = 5u << 20;
  std::vector<RecordingEntry> rows(1501, e);
  rows[3].joined = 1;
  dlg.SetFileList(rows);
  dlg.mode = FileSelectModel::kJoin;
  dlg.InitDialog();
  EXPECT_EQ(boxes, 1);
  ASSERT_EQ(dlg.List()->topLevelItemCount(), 1500);
  for (int column : {0, 1, 2})  // headers aligned like their cells
    EXPECT_EQ(dlg.List()->headerItem()->textAlignment(column) & Qt::AlignHorizontal_Mask,
              dlg.List()->topLevelItem(0)->textAlignment(column) & Qt::AlignHorizontal_Mask) << column;
  EXPECT_EQ(dlg.List()->topLevelItem(3)->background(0).color(), QColor(0xFF, 0xFF, 0x00));
  for (int r : {2, 3, 6}) dlg.ToggleRow(r);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(dlg.List()->StateImage(i) == 3, i >= 2 && i <= 6) << i;
  EXPECT_EQ(dlg.FrontTotal()->text(), QStringLiteral("25 MB"));
  EXPECT_TRUE(dlg.OkButton()->isEnabled());
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.result.size(), 5u);
}

}  // namespace
}  // namespace qv
