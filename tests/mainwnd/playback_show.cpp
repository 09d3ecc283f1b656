// Plays the first pair of a card in the main window for a look (not a test):
//   qv_playback_show CARD [seconds] [map|map-plain]
// With "map" the map command is pressed once the pair plays; "map-plain"
// also takes the map page without the host object.
// Run it in an empty folder: the main window keeps its settings there.
#include <QApplication>
#include <QTimer>
#include <QTreeWidgetItem>

#include <unistd.h>

#include <string>

#include "browser/filercontainerdlg.h"
#include "mainwnd/maphost.h"
#include "mainwnd/tesseldlg.h"
#include "platform/apphelpers.h"
#include "platform/numtext.h"
#include "skin/fonts.h"

int main(int argc, char** argv) {
  const std::string settingsFolder = qv::InitAppFolder();
  if (argc < 2) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QApplication app(argc, argv);
  int64_t seconds = 8;
  if (argc > 2) qv::ParseInt64(argv[2], seconds);
  const std::string mapArg = argc > 3 ? argv[3] : "";
  const bool pressMap = mapArg == "map" || mapArg == "map-plain";
  if (mapArg == "map-plain") qv::SetWebEngineUsableForTests(false);
  {
    qv::CtesselDlg window;
    window.OnInitDialog(settingsFolder);
    window.show();
    QTimer::singleShot(1000, &window, [&window, card = std::string(argv[1])] {
      window.Browser()->OpenSource(card, qv::SourceMode::kDrive);
      window.Browser()->FinishScan();
      window.OnSourceOpened();  // as a card the program found
      QTreeWidgetItem* top = window.Browser()->Tree()->topLevelItem(0);
      if (!top) return;
      QTreeWidgetItem* folder = top->childCount() ? top->child(0) : top;
      window.Browser()->Tree()->SelectQuietly(folder);
      window.OnFolderSelected(folder, true);
    });
    // The play command once the pair is bound.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
      if (window.PairBound() && !window.Opening()) {
        window.BindAndStart();
        if (pressMap) window.OnMapCommand();
        poll.stop();
      }
    });
    poll.start(100);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QApplication::quit);
    app.exec();
    window.Shutdown();
  }
  qv::DeleteAppFonts();
  return 0;
}
