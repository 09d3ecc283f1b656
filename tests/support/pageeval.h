// Runs a script in a web page and waits for its result, for the tests of the
// map page (Qt WebEngine programs only).
#pragma once

#include <QString>
#include <QVariant>
#include <QWebEnginePage>

#include "eventwait.h"

namespace qvtest {

// The script's value; an invalid QVariant when none came within 10 s.
inline QVariant Eval(QWebEnginePage* page, const QString& code) {
  QVariant out;
  bool done = false;
  page->runJavaScript(code, [&](const QVariant& v) {
    out = v;
    done = true;
  });
  WaitFor([&] { return done; }, 10000);
  return out;
}

}  // namespace qvtest
