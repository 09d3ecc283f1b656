#include "map/mapdlg2.h"

#include <QUrl>

#include "map/mapbridge.h"

namespace qv {

CMapDlg2::CMapDlg2(QWidget* parent)
    : CMapWebDlg(QUrl(QStringLiteral("qrc:/map/page373.html")), true, QStringLiteral("sample"), parent) {}

void CMapDlg2::PostUpdate() {
  if (!Loaded()) return;
  json_.Clear();
  json_.Parse(UpdateMessageJson(latitude, longitude, status));
  emit Host()->webMessage(QString::fromStdString(json_.Serialize()));
}

void CMapDlg2::resizeEvent(QResizeEvent* e) {
  CMapWebDlg::resizeEvent(e);
  if (Loaded()) Page()->setZoomFactor(kMapDlg2Zoom);
}

}  // namespace qv
