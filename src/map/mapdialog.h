// What both map dialogs share: the three values the page shows as its
// hidden inputs (latitude, longitude, play status), the wrapper the page's
// calls go to, and the operations the wrapper runs on whichever dialog
// exists.  A QWidget that the map pop-out holds.  Window thread only.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <string>

namespace qv {

// The most the web engine keeps in memory of what the map page fetched.
inline constexpr int kMapHttpCacheBytes = 8 << 20;

class IHostWebViewFuncs;
class MapHost;
class MapPage;

class CMapDlgBase : public QWidget {
  Q_OBJECT
 public:
  explicit CMapDlgBase(QWidget* parent = nullptr) : QWidget(parent) {}

  double longitude = 0.0;
  double latitude = 0.0;
  std::string status;
  // Not owned; set by the main window right after it makes the dialog.
  IHostWebViewFuncs* wrap = nullptr;

  // Runs a script in the page; dropped while there is no page.
  virtual void RunScript(const std::string& script) = 0;
  // Pushes the three values to the page (the plain flavour writes its hidden
  // inputs; the host-object flavour's page asks for them each second).
  virtual void UpdateData() = 0;
  // Sends the update message (host-object flavour only).
  virtual void PostUpdate() {}
};

// A map dialog that shows its page in a web view, with the host object the
// page calls registered on the page's channel under `hostName`.  Each load
// that succeeds zooms the page to PageZoom() and pushes the values
// (UpdateData); scripts are dropped until the page has loaded.
//
// The web view and its page are made when the dialog first shows: until the
// map is wanted the web engine is not started, and its pop-out is drawn
// without OpenGL.
class CMapWebDlg : public CMapDlgBase {
  Q_OBJECT
 public:
  CMapWebDlg(const QUrl& url, bool inlineIcons, const QString& hostName, QWidget* parent);

  void RunScript(const std::string& script) override;
  // The page (null before the dialog first showed).
  MapPage* Page() const { return page_; }

 protected:
  void showEvent(QShowEvent* e) override;
  virtual double PageZoom() const = 0;
  MapHost* Host() const { return host_; }
  bool Loaded() const { return loaded_; }

 private:
  void MakePage();

  QUrl url_;
  bool inlineIcons_;
  QString hostName_;
  MapPage* page_ = nullptr;
  MapHost* host_ = nullptr;
  bool loaded_ = false;
};

}  // namespace qv
