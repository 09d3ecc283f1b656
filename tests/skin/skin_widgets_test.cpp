// The skinned widgets on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "platform/apphelpers.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/monitor.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"
#include "skin/logodlg.h"
#include "skin/msgbox.h"
#include "skin/resourceimage.h"
#include "skin/skincontrols.h"
#include "skin/skindialog.h"
#include "skin/skinids.h"
#include "eventwait.h"
#include "testsupport.h"

using namespace qv;

namespace {

class Widgets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qvtest::App();
    UiScale = 1.0f;
  }
};

void SendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons = Qt::LeftButton) {
  const QPointF global = w->mapToGlobal(QPointF(local));
  QMouseEvent e(type, QPointF(local), global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

// Mouse event at a screen position, whatever the widget's place.
void SendGlobal(QWidget* w, QEvent::Type type, QPoint global) {
  const QPoint local = global - w->mapToGlobal(QPoint(0, 0));
  QMouseEvent e(type, QPointF(local), QPointF(global), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

TEST_F(Widgets, SkinnedDialogKeepsEnterAndEscapeButTextFieldsType) {
  CSkinDialog dlg;
  dlg.resize(300, 200);
  auto* edit = new QLineEdit(&dlg);
  edit->setGeometry(10, 40, 200, 24);
  dlg.show();
  edit->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  QTest::keyClicks(edit, "abc");
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Escape);
  QTest::keyClick(&dlg, Qt::Key_Escape);
  QTest::keyClick(&dlg, Qt::Key_Enter);
  // Nor does Enter on a focused push button that would end the dialog.
  auto* ok = new QPushButton(QStringLiteral("OK"), &dlg);
  QObject::connect(ok, &QPushButton::clicked, &dlg, &QDialog::accept);
  dlg.hide();
  dlg.show();
  ok->setFocus();
  QTest::keyClick(ok, Qt::Key_Return);
  QTest::keyClick(ok, Qt::Key_Enter);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(edit->text(), QStringLiteral("abc"));
  // The caption close button sits 20 px from the right, 4 from the top.
  dlg.CreateCloseButton(19);
  ASSERT_NE(dlg.CloseButton(), nullptr);
  EXPECT_EQ(dlg.CloseButton()->geometry(), QRect(280, 4, 13, 12));
  int command = 0;
  QObject::connect(&dlg, &CSkinDialog::command, [&](int id) { command = id; });
  dlg.CloseButton()->click();
  EXPECT_EQ(command, 19);
}

TEST_F(Widgets, ButtonPaintsItsChosenCell) {
  QWidget host;
  host.resize(100, 100);
  CSkinButton button(&host);
  ASSERT_TRUE(button.LoadSkin(kSkinPlay, Rect::FromSize(10, 10, 32, 32)));
  button.setGeometry(10, 10, 32, 32);
  host.show();
  auto expectCell = [&](int cell) {
    ASSERT_EQ(button.CurrentCell(), cell);
    const QImage shot = button.grab().toImage();
    const QImage want = button.Cell(cell);
    int compared = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (qAlpha(want.pixel(x, y)) == 255) {
          ASSERT_EQ(QColor(shot.pixel(x, y)), QColor(want.pixel(x, y))) << cell << " at " << x << "," << y;
          ++compared;
        }
    EXPECT_GT(compared, 400);
  };
  expectCell(0);
  button.SetLatched(true);
  expectCell(2);
  button.setEnabled(false);  // disabled beats latched
  expectCell(3);
  button.setEnabled(true);
  button.SetLatched(false);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&button, &enter);
  expectCell(1);
  // A strip that does not load leaves the button as it was.
  EXPECT_FALSE(button.LoadSkin(999, Rect::FromSize(0, 0, 20, 20)));
  EXPECT_EQ(button.ImageSize(), QSize(32, 32));
}

TEST_F(Widgets, CheckButtonCells) {
  CSkinCheckButton check;
  check.resize(200, 20);
  ASSERT_TRUE(check.LoadCheckImages(kSkinCheck));
  EXPECT_EQ(check.CurrentCell(), 0);
  check.SetChecked(true);
  EXPECT_EQ(check.CurrentCell(), 2);
  check.setEnabled(false);
  EXPECT_EQ(check.CurrentCell(), 3);
}

TEST_F(Widgets, SliderPostsPressMoveAndRelease) {
  QWidget parent;
  parent.resize(400, 300);
  struct Msg {
    uint32_t message;
    uintptr_t w;
    intptr_t l;
  };
  std::vector<Msg> got;
  AppMessageSink sink(&parent);
  for (uint32_t m : {uint32_t(kMsgSliderDown), uint32_t(kMsgSliderMove), uint32_t(kMsgSliderUp)})
    sink.On(m, [&got, m](uintptr_t w, intptr_t l) { got.push_back({m, w, l}); });
  CSkinSliderCtrl slider;
  ASSERT_TRUE(slider.Create(38100, &parent));
  ASSERT_TRUE(slider.LoadImages(174, 159, 160, 161));
  slider.setGeometry(0, 0, 400, 10);
  slider.SetRange(0, 99);
  // A release without a press posts nothing.
  SendMouse(&slider, QEvent::MouseButtonRelease, {100, 5}, Qt::NoButton);
  QApplication::processEvents();
  EXPECT_TRUE(got.empty());
  SendMouse(&slider, QEvent::MouseButtonPress, {200, 5});
  EXPECT_FALSE(slider.PressOnThumb());
  SendMouse(&slider, QEvent::MouseMove, {300, 5});
  SendMouse(&slider, QEvent::MouseButtonRelease, {300, 5}, Qt::NoButton);
  QApplication::processEvents();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].message, 0x8066u);
  EXPECT_EQ(got[0].w, 38100u);
  EXPECT_EQ(got[0].l, 50);
  EXPECT_EQ(got[1].message, 0x8065u);
  EXPECT_EQ(got[1].l, 75);
  EXPECT_EQ(got[2].message, 0x8067u);
  // The slider never moves itself; the parent answers with PaintNow.
  EXPECT_EQ(slider.Position(), 0);
  slider.PaintNow(50);
  got.clear();
  SendMouse(&slider, QEvent::MouseButtonPress, {197, 5});
  EXPECT_TRUE(slider.PressOnThumb());
  // A press just left of the control counts and gives the minimum.
  SendMouse(&slider, QEvent::MouseButtonRelease, {197, 5}, Qt::NoButton);
  SendMouse(&slider, QEvent::MouseButtonPress, {-5, 5});
  EXPECT_EQ(slider.DragPosition(), 0);
  SendMouse(&slider, QEvent::MouseButtonRelease, {-5, 5}, Qt::NoButton);
  // While disabled the mouse is ignored.
  slider.SetSliderEnabled(false);
  QApplication::processEvents();
  got.clear();
  SendMouse(&slider, QEvent::MouseButtonPress, {100, 5});
  SendMouse(&slider, QEvent::MouseButtonRelease, {100, 5}, Qt::NoButton);
  QApplication::processEvents();
  EXPECT_TRUE(got.empty());
}

TEST_F(Widgets, ListClickAndHover) {
  CSkinListCtrl list;
  list.setColumnCount(3);
  list.resize(300, 200);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  const int a = list.InsertRow({"001.MP4", "1 MB", "1 MB"}, 1);
  const int b = list.InsertRow({"002.MP4", "2 MB", "2 MB"}, 0);
  std::vector<std::pair<int, int>> changes;
  QObject::connect(&list, &CSkinListCtrl::stateChanged,
                   [&](int row, int, int now) { changes.push_back({row, now}); });
  const QPoint pa = list.visualItemRect(list.topLevelItem(a)).center();
  const QPoint pb = list.visualItemRect(list.topLevelItem(b)).center();
  SendMouse(list.viewport(), QEvent::MouseMove, pa, Qt::NoButton);
  EXPECT_EQ(list.StateImage(a), 2);
  auto click = [&](QPoint p) {
    SendMouse(list.viewport(), QEvent::MouseButtonPress, p);
    SendMouse(list.viewport(), QEvent::MouseButtonRelease, p, Qt::NoButton);
  };
  click(pa);
  EXPECT_EQ(list.StateImage(a), 3);
  click(pa);
  EXPECT_EQ(list.StateImage(a), 1);
  // A row without a state image gets the unchecked image.
  click(pb);
  EXPECT_EQ(list.StateImage(b), 1);
  // Pressed on one row and released on another: no click.
  SendMouse(list.viewport(), QEvent::MouseButtonPress, pa);
  SendMouse(list.viewport(), QEvent::MouseButtonRelease, pb, Qt::NoButton);
  EXPECT_EQ(list.StateImage(a), 1);
  EXPECT_EQ(list.StateImage(b), 1);
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.back(), std::make_pair(b, 1));
}

TEST_F(Widgets, MessageBoxAnswersAndSize) {
  QWidget parent;
  parent.setGeometry(100, 100, 1000, 800);
  parent.show();
  {
    CMsgDlg dlg(QStringLiteral("line"), QStringLiteral("ERROR"), 0, &parent);
    EXPECT_FALSE(dlg.CancelButton()->isVisibleTo(&dlg));
    CMsgDlg two(QStringLiteral("line\nline two"), QStringLiteral("ERROR"), 1, &parent);
    EXPECT_EQ(two.MeasureText().height(), 2 * dlg.MeasureText().height());
    // Centred on the parent.
    EXPECT_NEAR(two.geometry().center().x(), parent.geometry().center().x(), 1);
  }
  auto run = [&](int type, auto action) {
    QTimer::singleShot(0, [action] {
      auto* dlg = qobject_cast<CMsgDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      action(dlg);
    });
    return CMsgBox(&parent).Show(QStringLiteral("text"), QStringLiteral("caption"), type);
  };
  EXPECT_EQ(run(0, [](CMsgDlg* d) { d->OkButton()->click(); }), 1);
  EXPECT_EQ(run(1, [](CMsgDlg* d) { d->OkButton()->click(); }), 1);
  EXPECT_EQ(run(1, [](CMsgDlg* d) { d->CancelButton()->click(); }), 2);
  // Closed by the window manager: Cancel for type 1, OK for type 0.
  EXPECT_EQ(run(1, [](CMsgDlg* d) { d->close(); }), 2);
  EXPECT_EQ(run(0, [](CMsgDlg* d) { d->close(); }), 1);
  // Enter and Escape do not close the box.
  EXPECT_EQ(run(1,
                [](CMsgDlg* d) {
                  QTest::keyClick(d, Qt::Key_Escape);
                  QTest::keyClick(d->OkButton(), Qt::Key_Return);
                  EXPECT_TRUE(d->isVisible());
                  d->CancelButton()->click();
                }),
            2);
}

// On a 1366x768 screen (work area 728 high) the scale is about 0.69, on a
// work area 1584 high 1.5; the fonts are made for that screen.
TEST_F(Widgets, MessageBoxFitsTextAndButtonsAtSmallAndLargeScales) {
  const float savedFontScale = FontScale;
  for (const auto& [work, scale] : {std::pair{Rect(0, 0, 1366, 728), 0.689f}, {Rect(0, 0, 2816, 1584), 1.5f}}) {
    FixedMonitorProvider monitors({MonitorInfo{work, work, 96, 96}});
    SetMonitorProvider(&monitors);
    QWidget parent;
    parent.setGeometry(100, 100, 600, 400);
    ASSERT_TRUE(CreateAppFonts(&parent));
    ASSERT_NEAR(UiScale, scale, 0.001);
    for (int type : {0, 1})
      for (const char* text : {"ファイルが破損しています。修復して再生しますか？", "OK?\nFile No. 0123"}) {
        CMsgDlg dlg(QString::fromUtf8(text), QStringLiteral("ERROR"), type, &parent);
        const QRect box = dlg.rect();
        const QRect label = dlg.TextLabel()->geometry();
        const QSize need = dlg.TextLabel()->sizeHint();
        EXPECT_TRUE(box.contains(label)) << scale << " " << text;
        EXPECT_GE(label.width(), need.width()) << scale << " " << text;
        EXPECT_GE(label.height(), need.height()) << scale << " " << text;
        // No wider than the text, its margins and the buttons ask for.
        EXPECT_LE(box.width(), std::max(need.width() + 2 * int(40 * UiScale), int(245 * UiScale) + 1)) << text;
        for (QPushButton* b : {dlg.OkButton(), dlg.CancelButton()}) {
          if (b->isVisibleTo(&dlg)) {
            EXPECT_TRUE(box.contains(b->geometry())) << scale << " " << text;
          }
        }
      }
  }
  DeleteAppFonts();
  SetMonitorProvider(nullptr);
  UiScale = 1.0f;
  FontScale = savedFontScale;
}

TEST_F(Widgets, LogoShownAndHiddenByMessage) {
  QWidget popout;
  popout.resize(460, 300);
  popout.show();
  CResourceImage images;
  images.Load(1.0f);
  CLogoDlg logo(&images, &popout);
  logo.setGeometry(4, 20, 452, 276);
  logo.hide();
  logo.SetShowFlag(1);
  ASSERT_TRUE(logo.Port().Post(kMsgLogoShow));
  QApplication::processEvents();
  EXPECT_TRUE(logo.isVisible());
  logo.SetShowFlag(0);
  logo.Port().Post(kMsgLogoShow);
  QApplication::processEvents();
  EXPECT_FALSE(logo.isVisible());
}

// A pop-up built before the display scale is known lays itself out again
// when the scale is set, and takes its design size after construction.
TEST_F(Widgets, DialogBuiltBeforeTheScaleFollowsIt) {
  UiScale = 0.0f;  // not known yet: the dialog starts at 1.0
  CSkinDialog dlg;
  dlg.SetDesignSize({460, 315});
  EXPECT_EQ(QSize(dlg.DesignWidth(), dlg.DesignHeight()), QSize(460, 315));
  dlg.setGeometry(0, 0, 600, 400);
  dlg.CreateCloseButton(19);
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  dlg.SetScale(1.5f);
  EXPECT_EQ(QSize(dlg.DesignWidth(), dlg.DesignHeight()), QSize(690, 472));
  EXPECT_EQ(dlg.CloseButton()->geometry(), QRect(570, 6, 19, 18));
  const QImage shot = dlg.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(300, 29)), QColor(128, 128, 128));
  EXPECT_NE(QColor(shot.pixel(300, 30)), QColor(128, 128, 128));
  // Edge zones of the new scale: 5 px below the top edge is the top border,
  // 45 px above the bottom the client strip kept for the bottom controls.
  const QPoint origin = dlg.geometry().topLeft();
  for (const auto& [at, hit] : {std::pair{QPoint(300, 5), 12}, {QPoint(300, 355), 1}, {QPoint(300, 20), 2}}) {
    SendGlobal(&dlg, QEvent::MouseButtonPress, origin + at);
    EXPECT_EQ(dlg.HitCode(), hit) << at.y();
    SendGlobal(&dlg, QEvent::MouseButtonRelease, origin + at);
  }
  // The close button stays at the top right through a resize.
  dlg.resize(800, 400);
  EXPECT_EQ(dlg.CloseButton()->geometry(), QRect(770, 6, 19, 18));
  UiScale = 1.0f;
}

class TestDialog : public CSkinDialog {
 public:
  int relayouts = 0;
  void Relayout() override {
    ++relayouts;
    CSkinDialog::Relayout();
  }
};

TEST_F(Widgets, ResizeByBorderPersistsTheScale) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  SetAppFolder(dir.path().toStdString());
  FixedMonitorProvider monitors({MonitorInfo{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1040), 96, 96}});
  SetMonitorProvider(&monitors);
  ASSERT_TRUE(WriteDefaultFolderIni("MAPDISPLAY", "SCALEX", "1.500000"));
  ASSERT_TRUE(WriteDefaultFolderIni("MAPDISPLAY", "SCALEY", "-2.0"));
  // Saved scales are held to [1.0, what the work area allows].
  ASSERT_TRUE(WriteDefaultFolderIni("MOVIEDISPLAY", "SCALEX", "1e30"));
  ASSERT_TRUE(WriteDefaultFolderIni("MOVIEDISPLAY", "SCALEY", "0.5"));
  {
    TestDialog dlg;
    dlg.move(0, 0);
    dlg.InitScale("MAPDISPLAY");
    EXPECT_EQ(dlg.width(), 1680);
    EXPECT_EQ(dlg.height(), 697);  // a negative scale keeps 1.0
    TestDialog movie;
    movie.move(0, 0);
    movie.InitScale("MOVIEDISPLAY");
    EXPECT_NEAR(movie.ScaleX(), 1920.0f / 1120.0f, 1e-6);
    EXPECT_FLOAT_EQ(movie.ScaleY(), 1.0f);
    EXPECT_NEAR(movie.width(), 1920, 1);
    EXPECT_EQ(movie.height(), 697);
  }
  {
    const qvtest::DecimalCommaLocale comma;
    TestDialog dlg;
    dlg.setGeometry(0, 0, 1120, 697);
    dlg.InitScale("DISPLAY");
    dlg.CreateFrameWindow();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.setGeometry(0, 0, 1120, 697);
    const QPoint corner(1118, 695);
    SendGlobal(&dlg, QEvent::MouseButtonPress, corner);
    EXPECT_EQ(dlg.HitCode(), 17);
    EXPECT_TRUE(dlg.Outline()->isVisible());
    SendGlobal(&dlg, QEvent::MouseButtonRelease, QPoint(3000, 2000));
    EXPECT_EQ(dlg.relayouts, 1);
    EXPECT_NEAR(dlg.ScaleX(), 1.714286f, 1e-6);
    EXPECT_NEAR(dlg.ScaleY(), 1.492109f, 1e-6);
    EXPECT_EQ(dlg.geometry(), QRect(0, 0, 1920, 1040));
    EXPECT_EQ(ReadDefaultFolderIni("DISPLAY", "SCALEX"), "1.714286");
    EXPECT_EQ(ReadDefaultFolderIni("DISPLAY", "SCALEY"), "1.492109");
    // Back to the design size by hand, then a second drag released at the
    // very same point: the scale comes from this drag, not the earlier one.
    dlg.SetScales(1.0f, 1.0f);
    dlg.setGeometry(0, 0, 1120, 697);
    SendGlobal(&dlg, QEvent::MouseButtonPress, corner);
    SendGlobal(&dlg, QEvent::MouseButtonRelease, QPoint(3000, 2000));
    EXPECT_NEAR(dlg.ScaleX(), 1.714286f, 1e-6);
    EXPECT_EQ(dlg.geometry(), QRect(0, 0, 1920, 1040));
    // Dragged inside the design size: scale 1.0, design size.
    SendGlobal(&dlg, QEvent::MouseButtonPress, QPoint(1918, 1038));
    SendGlobal(&dlg, QEvent::MouseButtonRelease, QPoint(500, 400));
    EXPECT_FLOAT_EQ(dlg.ScaleX(), 1.0f);
    EXPECT_EQ(dlg.geometry(), QRect(0, 0, 1120, 697));
    EXPECT_EQ(ReadDefaultFolderIni("DISPLAY", "SCALEX"), "1.000000");
    // A double click ends the drag: no outline, no dragging until the next press.
    SendGlobal(&dlg, QEvent::MouseButtonPress, corner);
    SendGlobal(&dlg, QEvent::MouseButtonRelease, corner);
    SendGlobal(&dlg, QEvent::MouseButtonDblClick, corner);
    EXPECT_FALSE(dlg.Dragging());
    EXPECT_FALSE(dlg.Outline()->isVisible());
    SendGlobal(&dlg, QEvent::MouseButtonRelease, corner);
    EXPECT_EQ(dlg.geometry(), QRect(0, 0, 1120, 697));
    // Maximised, a press does nothing but take the mouse.
    dlg.SetMaximised(true);
    const int relayouts = dlg.relayouts;
    SendGlobal(&dlg, QEvent::MouseButtonPress, QPoint(1118, 695));
    EXPECT_TRUE(dlg.Dragging());
    EXPECT_FALSE(dlg.Outline()->isVisible());
    SendGlobal(&dlg, QEvent::MouseButtonRelease, QPoint(3000, 2000));
    EXPECT_EQ(dlg.relayouts, relayouts);
    EXPECT_EQ(dlg.size(), QSize(1120, 697));
    dlg.SetMaximised(false);
    // A caption drag moves the window and never resizes it.
    SendGlobal(&dlg, QEvent::MouseButtonPress, QPoint(100, 10));
    EXPECT_EQ(dlg.HitCode(), 2);
    EXPECT_TRUE(dlg.TakeCaptionClick());
    SendGlobal(&dlg, QEvent::MouseMove, QPoint(150, 40));
    EXPECT_EQ(dlg.pos(), QPoint(50, 30));
    SendGlobal(&dlg, QEvent::MouseButtonRelease, QPoint(150, 40));
    EXPECT_EQ(dlg.size(), QSize(1120, 697));
  }
  SetMonitorProvider(nullptr);
}
