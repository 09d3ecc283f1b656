#include "mainwnd/mapdlgwrap.h"

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

CMapDlg::CMapDlg(CMapDlgWrap*, QWidget* parent) : QWidget(parent) { setObjectName("map"); }
CMapDlg2::CMapDlg2(CMapDlgWrap*, QWidget* parent) : QWidget(parent) { setObjectName("map2"); }

CMapDlgWrap::CMapDlgWrap() = default;
CMapDlgWrap::~CMapDlgWrap() {
  delete map_.data();
  delete map2_.data();
}

void CMapDlgWrap::CreateMap(QWidget* popout) {
  if (map_ || map2_) return;
  if (WebEngineUsable()) {
    map2_ = new CMapDlg2(this, popout);
  } else {
    map_ = new CMapDlg(this, popout);
  }
  MapWindow()->hide();
}

QWidget* CMapDlgWrap::MapWindow() const {
  if (map2_) return map2_.data();
  return map_.data();
}

bool CMapDlgWrap::ShowMap(int show) {
  QWidget* w = MapWindow();
  if (!w) return false;
  w->setVisible(show != 0);
  return true;
}

}  // namespace qv
