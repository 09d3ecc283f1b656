#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "platform/numtext.h"

int main(int argc, char** argv) {
  // Windows are placed by the program itself, which needs X11 rather than a
  // Wayland compositor; tests override this with the offscreen platform.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  app.setApplicationName("Quorvex");

  QWidget window;
  window.setWindowTitle("Quorvex");
  window.resize(1120, 697);
  window.show();

  // Used by the start-up test: quit on its own after the given milliseconds.
  int64_t quitAfter = 0;
  if (qv::ParseInt64(qgetenv("QUORVEX_QUIT_AFTER_MS").toStdString(), quitAfter) && quitAfter >= 0)
    QTimer::singleShot(static_cast<int>(quitAfter), &app, &QApplication::quit);
  return app.exec();
}
