#include "mainwnd/maphost.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>

namespace qv {
namespace {
std::optional<bool> forcedWebEngine;
}

std::string WebEngineHelperPath() {
  const QString name = QStringLiteral("QtWebEngineProcess");
  QStringList candidates;
  const QString fromEnvironment = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
  if (!fromEnvironment.isEmpty()) {
    candidates << fromEnvironment;
  } else {
    candidates << QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + QLatin1Char('/') + name;
    if (QCoreApplication::instance()) candidates << QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
  }
  for (const QString& candidate : candidates) {
    const QFileInfo helper(candidate);
    if (helper.isFile() && helper.isExecutable()) return helper.filePath().toStdString();
  }
  return std::string();
}

bool WebEngineUsable() {
  if (forcedWebEngine) return *forcedWebEngine;
  return !WebEngineHelperPath().empty();
}

void SetWebEngineUsableForTests(std::optional<bool> answer) { forcedWebEngine = answer; }

}  // namespace qv
