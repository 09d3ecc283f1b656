#include "skin/helpers.h"

#include <QApplication>
#include <QFileDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/apphelpers.h"
#include "platform/qt/monitor.h"
#include "platform/uiscale.h"
#include "skin/pngdrawer.h"
#include "testsupport.h"

namespace qv {
namespace {

struct ScaleGuard {
  explicit ScaleGuard(float s) : saved(UiScale) { UiScale = s; }
  ~ScaleGuard() { UiScale = saved; }
  float saved;
};

TEST(SkinHelpers, MonitorRectsOfTheNearestMonitor) {
  FixedMonitorProvider fake({MonitorInfo{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1040), 96, 96},
                             MonitorInfo{Rect(1920, 0, 3840, 1080), Rect(1920, 30, 3840, 1080), 96, 96}});
  SetMonitorProvider(&fake);
  Rect work, whole;
  GetMonitorRects(&work, &whole, Point{3000, 2000});
  EXPECT_EQ(work, Rect(1920, 30, 3840, 1080));
  EXPECT_EQ(whole, Rect(1920, 0, 3840, 1080));
  GetMonitorRects(&work, nullptr, Point{5, 5});
  EXPECT_EQ(work, Rect(0, 0, 1920, 1040));
  GetMonitorRects(nullptr, nullptr, Point{5, 5});
  SetMonitorProvider(nullptr);
}

TEST(SkinHelpers, DialogControlsScaleAsAWhole) {
  ScaleGuard scale(1.5f);
  QWidget dialog(nullptr, Qt::FramelessWindowHint);
  dialog.setGeometry(100, 200, 800, 500);
  auto* button = new QWidget(&dialog);
  button->setGeometry(10, 20, 38, 18);
  auto* inner = new QWidget(button);
  inner->setGeometry(1, 2, 3, 4);
  EXPECT_EQ(GetChildRectInParent(&dialog, button), Rect(10, 19, 48, 37));
  ScaleDialogControls(&dialog);
  EXPECT_EQ(button->geometry(), QRect(15, 30, 57, 27));
  EXPECT_EQ(inner->geometry(), QRect(1, 2, 3, 4));  // grandchildren are left alone
  EXPECT_TRUE(MoveControlScaled(inner, &dialog));
  EXPECT_EQ(inner->geometry(), QRect(1, 2, 3, 4));
}

TEST(SkinHelpers, ScaledBitmapsFromImagesAndFiles) {
  ScaleGuard scale(1.5f);
  QImage plain(100, 30, QImage::Format_RGB32);
  plain.fill(Qt::blue);
  EXPECT_EQ(LoadScaledBitmap(plain).size(), QSize(150, 45));
  EXPECT_TRUE(LoadScaledBitmap(QImage()).isNull());
  EXPECT_TRUE(LoadScaledBitmap(QStringLiteral(":/no/such.bmp")).isNull());
  qvtest::TempDir dir;
  ASSERT_TRUE(plain.save(QString::fromStdString(dir / "b.png")));
  EXPECT_EQ(LoadScaledBitmap(QString::fromStdString(dir / "b.png")).size(), QSize(150, 45));
}

TEST(SkinHelpers, DrawerLoadsPngsAndDrawsThemScaled) {
  ScaleGuard scale(1.5f);
  qvtest::TempDir dir;
  QImage red(10, 10, QImage::Format_ARGB32);
  red.fill(Qt::red);
  ASSERT_TRUE(red.save(QString::fromStdString(dir / "r.png")));
  qvtest::WriteText(dir / "empty.png", "");
  qvtest::WriteText(dir / "bad.png", "not a png");
  CDrawer& drawer = GetDrawer();
  EXPECT_TRUE(drawer.LoadPngResource(QString::fromStdString(dir / "empty.png")).isNull());
  EXPECT_TRUE(drawer.LoadPngResource(QString::fromStdString(dir / "bad.png")).isNull());
  EXPECT_TRUE(drawer.LoadPngResource(QStringLiteral(":/missing.png")).isNull());
  QImage image = drawer.LoadPngResource(QString::fromStdString(dir / "r.png"));
  ASSERT_EQ(image.size(), QSize(10, 10));

  QImage canvas(64, 64, QImage::Format_ARGB32);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    drawer.Draw(image, p, 5, 5, 2.0);  // 10 × 2 × 1.5 = 30 pixels
  }
  EXPECT_EQ(canvas.pixelColor(5, 5), QColor(Qt::red));
  EXPECT_EQ(canvas.pixelColor(34, 34), QColor(Qt::red));
  EXPECT_EQ(canvas.pixelColor(35, 35), QColor(Qt::white));
  EXPECT_EQ(canvas.pixelColor(4, 4), QColor(Qt::white));
}

class FakeBrowser : public FolderBrowser {
 public:
  Choice Browse(QWidget*, const std::string& startFolder, const std::string& title) override {
    start = startFolder;
    lastTitle = title;
    return next;
  }
  Choice next;
  std::string start, lastTitle;
};

TEST(SkinHelpers, FolderBrowserStartsAtTheRememberedFolder) {
  qvtest::TempDir dir;
  SetAppFolder(dir.path());
  FakeBrowser browser;
  SetFolderBrowser(&browser);
  std::vector<std::pair<std::string, std::string>> boxes;
  SetBrowseErrorBox([&](QWidget*, const std::string& text, const std::string& caption) {
    boxes.push_back({text, caption});
  });

  browser.next = {true, "/media/card/DCIM"};
  EXPECT_EQ(BrowseForFolder(nullptr, "FOLDERPATH", "CSV_FOLDER", "Pick"), "/media/card/DCIM");
  EXPECT_EQ(browser.start, dir.path());  // nothing remembered: the settings folder
  EXPECT_EQ(browser.lastTitle, "Pick");
  EXPECT_EQ(ReadDefaultFolderIni("FOLDERPATH", "CSV_FOLDER"), "");  // the choice is not stored

  ASSERT_TRUE(WriteDefaultFolderIni("FOLDERPATH", "CSV_FOLDER", "/home/u/csv"));
  browser.next = {false, ""};
  EXPECT_EQ(BrowseForFolder(nullptr, "FOLDERPATH", "CSV_FOLDER", "Pick"), "");
  EXPECT_EQ(browser.start, "/home/u/csv");
  EXPECT_TRUE(boxes.empty());  // cancelling shows nothing

  browser.next = {true, ""};
  EXPECT_EQ(BrowseForFolder(nullptr, "FOLDERPATH", "CSV_FOLDER", "Pick"), "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, "フォルダパスの取得に失敗しました。");
  EXPECT_EQ(boxes[0].second, "ERROR");

  SetFolderBrowser(nullptr);
  SetBrowseErrorBox(nullptr);
  SetAppFolder("");
}

TEST(SkinHelpers, TheDialogBrowserIsQtsOwnFolderDialog) {
  qvtest::TempDir dir;
  // The dialog keeps its history in the toolkit's settings: here, not the user's.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.path()));
  bool nonNative = false;
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&, accept] {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      nonNative = d->testOption(QFileDialog::DontUseNativeDialog) && d->fileMode() == QFileDialog::Directory;
      QDialog* dialog = d;  // accept() is public on QDialog
      accept ? dialog->accept() : dialog->reject();
    });
  };
  DialogFolderBrowser browser;
  answer(true);
  FolderBrowser::Choice c = browser.Browse(nullptr, dir.path(), "Pick");
  EXPECT_TRUE(nonNative);
  EXPECT_TRUE(c.chosen);
  EXPECT_EQ(c.path, dir.path());
  answer(false);
  EXPECT_FALSE(browser.Browse(nullptr, dir.path(), "Pick").chosen);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

}  // namespace
}  // namespace qv
