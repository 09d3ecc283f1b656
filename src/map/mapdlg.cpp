#include "map/mapdlg.h"

#include <QUrl>

#include "map/mapscript.h"
#include "platform/uiscale.h"

namespace qv {

CMapDlg::CMapDlg(QWidget* parent)
    : CMapWebDlg(QUrl(QStringLiteral("qrc:/map/page103.html")), false, QStringLiteral("external"), parent) {}

double CMapDlg::PageZoom() const { return PageZoomPercent(UiScale) / 100.0; }

void CMapDlg::UpdateData() { RunScript(HiddenInputsScript(latitude, longitude, status)); }

}  // namespace qv
