#include "map/mapdialog.h"

#include <QVBoxLayout>
#include <QWebEngineView>

#include "map/mapbridge.h"

namespace qv {

void InitMapResources();

CMapWebDlg::CMapWebDlg(const QUrl& url, bool inlineIcons, const QString& hostName, QWidget* parent)
    : CMapDlgBase(parent) {
  InitMapResources();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* view = new QWebEngineView(this);
  layout->addWidget(view);
  page_ = new MapPage(url, view);
  host_ = new MapHost([this] { return wrap; }, inlineIcons, this);
  SetUpMapView(view, page_, host_, hostName);
  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    loaded_ = ok;
    if (!ok) return;
    page_->setZoomFactor(PageZoom());
    UpdateData();
  });
  page_->load(url);
}

void CMapWebDlg::RunScript(const std::string& script) {
  if (!loaded_) return;
  page_->runJavaScript(QString::fromStdString(script));
}

}  // namespace qv
