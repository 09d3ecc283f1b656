#include "map/mapdlg2.h"

#include <QVBoxLayout>
#include <QWebEngineView>

#include "map/mapbridge.h"

namespace qv {

namespace {
const QUrl kPage373(QStringLiteral("qrc:/map/page373.html"));
}

void InitMapResources();

CMapDlg2::CMapDlg2(QWidget* parent) : CMapDlgBase(parent) {
  InitMapResources();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new QWebEngineView(this);
  layout->addWidget(view_);
  page_ = new MapPage(kPage373, view_);
  host_ = new MapHost([this] { return wrap; }, true, this);
  SetUpMapView(view_, page_, host_, QStringLiteral("sample"));
  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
    loaded_ = ok;
    if (ok) page_->setZoomFactor(kMapDlg2Zoom);
  });
  page_->load(kPage373);
}

CMapDlg2::~CMapDlg2() = default;

void CMapDlg2::RunScript(const std::string& script) {
  if (!loaded_) return;
  page_->runJavaScript(QString::fromStdString(script));
}

void CMapDlg2::PostUpdate() { PostUpdateMessage(); }

bool CMapDlg2::PostUpdateMessage() {
  if (!loaded_) return false;
  json_.Clear();
  json_.Parse(UpdateMessageJson(latitude, longitude, status));
  emit host_->webMessage(QString::fromStdString(json_.Serialize()));
  return true;
}

void CMapDlg2::resizeEvent(QResizeEvent* e) {
  CMapDlgBase::resizeEvent(e);
  if (loaded_) page_->setZoomFactor(kMapDlg2Zoom);
}

}  // namespace qv
