#include "map/mapdlg.h"

#include <QVBoxLayout>
#include <QWebEngineView>

#include "map/mapbridge.h"
#include "map/mapscript.h"
#include "platform/uiscale.h"

namespace qv {

namespace {
const QUrl kPage103(QStringLiteral("qrc:/map/page103.html"));
}

void InitMapResources();

CMapDlg::CMapDlg(QWidget* parent) : CMapDlgBase(parent) {
  InitMapResources();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new QWebEngineView(this);
  layout->addWidget(view_);
  page_ = new MapPage(kPage103, view_);
  host_ = new MapHost([this] { return wrap; }, false, this);
  SetUpMapView(view_, page_, host_, QStringLiteral("external"));
  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) { OnLoadFinished(ok); });
  page_->load(kPage103);
}

CMapDlg::~CMapDlg() = default;

void CMapDlg::OnLoadFinished(bool ok) {
  loaded_ = ok;
  if (!ok) return;
  page_->setZoomFactor(PageZoomPercent(UiScale) / 100.0);
  UpdateData();
}

void CMapDlg::RunScript(const std::string& script) {
  if (!loaded_) return;
  page_->runJavaScript(QString::fromStdString(script));
}

void CMapDlg::UpdateData() { RunScript(HiddenInputsScript(latitude, longitude, status)); }

}  // namespace qv
