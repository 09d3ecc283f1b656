#include "map/mapdialog.h"

#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "map/mapbridge.h"

namespace qv {

void InitMapResources();

CMapWebDlg::CMapWebDlg(const QUrl& url, bool inlineIcons, const QString& hostName, QWidget* parent)
    : CMapDlgBase(parent), url_(url), inlineIcons_(inlineIcons), hostName_(hostName) {
  InitMapResources();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

void CMapWebDlg::showEvent(QShowEvent* e) {
  MakePage();
  CMapDlgBase::showEvent(e);
}

void CMapWebDlg::MakePage() {
  if (page_) return;
  auto* view = new QWebEngineView(this);
  layout()->addWidget(view);
  page_ = new MapPage(url_, view);
  // The engine keeps what the page fetched in the program's own memory: a
  // few screens of tiles, not the engine's share of the machine's memory.
  page_->profile()->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  page_->profile()->setHttpCacheMaximumSize(kMapHttpCacheBytes);
  host_ = new MapHost([this] { return wrap; }, inlineIcons_, this);
  SetUpMapView(view, page_, host_, hostName_);
  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    loaded_ = ok;
    if (!ok) return;
    page_->setZoomFactor(PageZoom());
    UpdateData();
  });
  page_->load(url_);
}

void CMapWebDlg::RunScript(const std::string& script) {
  if (!loaded_ || !page_) return;
  page_->runJavaScript(QString::fromStdString(script));
}

}  // namespace qv
