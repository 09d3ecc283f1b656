// Helpers of the slot tests: the application object and waiting while the
// window thread's events run.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace slottest {

inline QApplication* App() {
  static int argc = 1;
  static char name[] = "qv_slot_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

// Runs the events until `pred` holds; false after `ms` milliseconds.
template <class F>
bool WaitFor(F pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace slottest
