#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "mainwnd/tesseldlg.h"
#include "mainwnd/windowthreads.h"
#include "platform/apphelpers.h"
#include "platform/heap.h"
#include "platform/numtext.h"
#include "skin/fonts.h"

int main(int argc, char** argv) {
  // Before any thread starts (see platform/heap.h).
  qv::BoundHeapArenas();
  // The settings folder is the folder current at start-up: taken first, so
  // that nothing later (fonts, the toolkit) can change what it is.
  const std::string settingsFolder = qv::InitAppFolder();

  // Windows are placed by the program itself, which needs X11 rather than a
  // Wayland compositor; tests override this with the offscreen platform.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  // The map's web engine shares its GL contexts with the toolkit; its
  // sandbox cannot start for root.  Asked of the engine itself (the
  // variable that does the same also prints a line at every start).
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // A quiet terminal: Chromium's own log (a machine without a GPU reports
  // its failed GPU start at the first map) shows only fatal errors unless
  // the user sets the engine's flags, which then stand as they are given.
  if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3");
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --no-sandbox");
  }
  // A quiet terminal: not the web engine's set-up report at every start
  // (QT_LOGGING_RULES still turns it on).
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  int result = 0;
  {
    QApplication app(argc, argv);
    app.setApplicationName("Quorvex");
    // Qt's own dialogs and buttons speak the language of the text table.
    qv::InstallToolkitTranslation(qv::InitUiLanguage());

    {
      qv::CtesselDlg window;
      window.OnInitDialog(settingsFolder);
      QObject::connect(&window, &qv::CtesselDlg::ended, &app, &QApplication::quit, Qt::QueuedConnection);
      window.show();

      // Used by the start-up test: shut down on its own after the given milliseconds.
      int64_t quitAfter = 0;
      if (qv::ParseInt64(qgetenv("QUORVEX_QUIT_AFTER_MS").toStdString(), quitAfter) && quitAfter >= 0) {
        QTimer::singleShot(static_cast<int>(quitAfter), &window, [&window] {
          window.Shutdown();
          emit window.ended();
        });
      }
      result = app.exec();
      window.Shutdown();
    }
    qv::DeleteAppFonts();
  }
  // The start-up sweep may still wait on a card that does not answer: the
  // program ends without it, and without the static destructors, whose
  // objects it may still use.  Everything it writes is replaced whole, so
  // ending it anywhere loses nothing.
  if (qv::mainwnd::WindowThreads::ChoresLeftRunning() > 0) {
    std::fflush(nullptr);
    std::_Exit(result);
  }
  return result;
}
