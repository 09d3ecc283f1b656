// The application object and waiting while the window thread's events run,
// for the Qt tests and the benchmarks.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <thread>

namespace qvtest {

inline QApplication* App() {
  static int argc = 1;
  static char name[] = "qv_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    // What the program sets for the map's web engine (tests run as root in
    // CI, without a GPU).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    return new QApplication(argc, argv);
  }();
  return app;
}

// Runs the events until `pred` holds; false after `ms` milliseconds.  Sleeps
// a millisecond between rounds so a benchmark's CPU figures stay honest.
// `longestMs` (when given) gets the longest round: the longest the window
// thread could not answer the user.
template <class F>
bool WaitFor(F pred, int ms, double* longestMs = nullptr) {
  QElapsedTimer t, round;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    round.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (longestMs) *longestMs = std::max(*longestMs, static_cast<double>(round.nsecsElapsed()) / 1e6);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs the events for `ms` milliseconds.
inline void Pump(int ms) {
  WaitFor([] { return false; }, ms);
}

}  // namespace qvtest
