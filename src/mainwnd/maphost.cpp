#include "mainwnd/maphost.h"

#include <QFileInfo>
#include <QLibraryInfo>

namespace qv {
namespace {
std::optional<bool> forcedWebEngine;
}

bool WebEngineUsable() {
  if (forcedWebEngine) return *forcedWebEngine;
  const QFileInfo helper(QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess");
  return helper.isFile() && helper.isExecutable();
}

void SetWebEngineUsableForTests(std::optional<bool> answer) { forcedWebEngine = answer; }

}  // namespace qv
