#include "mainwnd/mapdlgwrap.h"

namespace qv {

CMapDlg::CMapDlg(QWidget* parent) : CMapDlgBase(parent) { setObjectName("map"); }
CMapDlg2::CMapDlg2(QWidget* parent) : CMapDlgBase(parent) { setObjectName("map2"); }

CMapDlgWrap::~CMapDlgWrap() {
  delete dlg_.data();
  delete dlg2_.data();
}

int CMapDlgWrap::ShowMap(bool show) {
  CMapDlgBase* d = Dialog();
  if (!d || d->isVisible() == show) return 0;
  d->setVisible(show);
  shown = show ? 1 : 0;
  return 1;
}

}  // namespace qv
