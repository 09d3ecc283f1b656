// The program's side of the bridge between a map dialog and its page, over
// Qt WebEngine and QWebChannel.
//
// The page's JS2C_ calls are synchronous, the channel is not.  The order of
// the page holds because the channel carries only what the page tells the
// program (page ready, event point clicked, connection test, send request,
// trace texts) plus one question per one-second cycle (PageState, answered
// by callback before the cycle's step runs); everything else the page reads
// the program pushes ahead of the script that reads it (CMapDlgWrap::
// ExecScript puts the state in front of every script, RedrawTrack the GPS
// arrays).  resources/map/bridge.js is the page's side.
//
// The bridge serves only our own page: MapPage refuses every navigation
// away from it (a link to the web opens in the desktop browser) and every
// new window, the view takes no drops, and the host object is registered
// once, with the channel, not at each navigation.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEnginePage>

#include <functional>
#include <string>

class QWebEngineView;
class QWebChannel;

namespace qv {

class IHostWebViewFuncs;

// The object the page's stand-in calls.  `wrap` answers: the dialog's
// wrapper at the time of the call (none: every call does nothing).
class MapHost : public QObject {
  Q_OBJECT
 public:
  MapHost(std::function<IHostWebViewFuncs*()> wrap, bool inlineIcons, QObject* parent = nullptr);

  Q_INVOKABLE QString PageState();
  // Event-point icons 0..11 and the shadow as PNG data addresses (the
  // host-object page carries its icons inline); empty for the other page.
  Q_INVOKABLE QStringList Icons();
  Q_INVOKABLE void JS2C_ConnectTest();
  Q_INVOKABLE void JS2C_OnInitHtml();
  Q_INVOKABLE void JS2C_OnClickCrashPoint(double ifile, double igrid, double ipos, double valid, double lat,
                                          double lng, double speed, double direction);
  Q_INVOKABLE void JS2C_DEBLOG(const QString& text);
  Q_INVOKABLE void JS2C_SetSend();

 signals:
  // The update message (JSON text) for the host-object page.
  void webMessage(const QString& json);

 private:
  std::function<IHostWebViewFuncs*()> wrap_;
  bool inlineIcons_;
};

// A page that stays on `home`.
class MapPage : public QWebEnginePage {
  Q_OBJECT
 public:
  MapPage(const QUrl& home, QObject* parent = nullptr);
  // Whether a navigation to `url` may go ahead in the view (true only for
  // the page itself).
  static bool IsOwnPage(const QUrl& url, const QUrl& home);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;

 private:
  QUrl home_;
};

// Puts `page` into `view`, with `host` on the page's channel under `name`,
// drops off and the settings the map needs, and loads the page.
QWebChannel* SetUpMapView(QWebEngineView* view, MapPage* page, MapHost* host, const QString& name);

// A JS2C_ number from the page as a 32-bit integer: NaN 0, the rest truncated
// and clamped to the range.
int32_t PageInt(double value);

}  // namespace qv
