#include "map/mapbridge.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QWebChannel>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cmath>
#include <limits>

#include "map/hostfuncs.h"
#include "skin/resourceimage.h"

namespace qv {

int32_t PageInt(double value) {
  if (!std::isfinite(value)) {
    if (std::isnan(value)) return 0;
    return value > 0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
  }
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

MapHost::MapHost(std::function<IHostWebViewFuncs*()> wrap, bool inlineIcons, QObject* parent)
    : QObject(parent), wrap_(std::move(wrap)), inlineIcons_(inlineIcons) {}

QString MapHost::PageState() {
  IHostWebViewFuncs* w = wrap_ ? wrap_() : nullptr;
  return QString::fromStdString(PageStateJson(w ? w->PageState() : MapPageState{}));
}

QStringList MapHost::Icons() {
  QStringList out;
  if (!inlineIcons_) return out;
  static const int kIds[13] = {183, 183, 183, 183, 183, 185, 182, 216, 221, 184, 180, 181, 186};
  for (int id : kIds) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    const QImage image = SkinImage(id);
    if (!image.isNull()) image.save(&buffer, "PNG");
    out << (png.isEmpty() ? QString() : QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()));
  }
  return out;
}

void MapHost::JS2C_ConnectTest() {
  if (IHostWebViewFuncs* w = wrap_ ? wrap_() : nullptr) w->ConnectTest();
}

void MapHost::JS2C_OnInitHtml() {
  if (IHostWebViewFuncs* w = wrap_ ? wrap_() : nullptr) w->OnInitHtml();
}

void MapHost::JS2C_OnClickCrashPoint(double ifile, double igrid, double ipos, double valid, double lat, double lng,
                                     double speed, double direction) {
  if (IHostWebViewFuncs* w = wrap_ ? wrap_() : nullptr)
    w->OnClickCrashPoint(PageInt(ifile), PageInt(igrid), PageInt(ipos), PageInt(valid), lat, lng, speed, direction);
}

void MapHost::JS2C_DEBLOG(const QString& text) {
  if (IHostWebViewFuncs* w = wrap_ ? wrap_() : nullptr) w->DebLog(text.toStdString());
}

void MapHost::JS2C_SetSend() {
  if (IHostWebViewFuncs* w = wrap_ ? wrap_() : nullptr) w->SetSend();
}

MapPage::MapPage(const QUrl& home, QObject* parent) : QWebEnginePage(parent), home_(home) {}

bool MapPage::IsOwnPage(const QUrl& url, const QUrl& home) {
  return url.adjusted(QUrl::RemoveFragment) == home.adjusted(QUrl::RemoveFragment);
}

bool MapPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (!isMainFrame) return false;
  if (IsOwnPage(url, home_)) return true;
  // A link the user follows (the tile server's attribution) opens in the
  // desktop's browser; nothing else leaves the page.
  if (type == NavigationTypeLinkClicked && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
    QDesktopServices::openUrl(url);
  return false;
}

QWebEnginePage* MapPage::createWindow(WebWindowType) { return nullptr; }

QWebChannel* SetUpMapView(QWebEngineView* view, MapPage* page, MapHost* host, const QString& name) {
  auto* channel = new QWebChannel(page);
  channel->registerObject(name, host);
  page->setWebChannel(channel);
  QWebEngineSettings* s = page->settings();
  s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  view->setPage(page);
  view->setAcceptDrops(false);
  view->setContextMenuPolicy(Qt::NoContextMenu);
  return channel;
}

}  // namespace qv
