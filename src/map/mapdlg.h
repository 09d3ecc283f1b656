// The map dialog with the plain page (page103.html): the page reaches the
// program through a window.external stand-in over the web channel (object
// "external"), and the dialog writes latitude, longitude and play status into
// the page's hidden inputs.  The page is zoomed to the display scale:
// trunc(UiScale x 100) percent.  Window thread only.
#pragma once

#include "map/mapdialog.h"

class QWebEngineView;

namespace qv {

class MapHost;
class MapPage;

class CMapDlg : public CMapDlgBase {
  Q_OBJECT
 public:
  explicit CMapDlg(QWidget* parent = nullptr);
  ~CMapDlg() override;

  void RunScript(const std::string& script) override;
  // Writes the three values into the hidden inputs (nothing before the page
  // has loaded; the load pushes them).
  void UpdateData() override;

  QWebEngineView* View() const { return view_; }
  MapPage* Page() const { return page_; }
  bool PageLoaded() const { return loaded_; }

 private:
  void OnLoadFinished(bool ok);

  QWebEngineView* view_ = nullptr;
  MapPage* page_ = nullptr;
  MapHost* host_ = nullptr;
  bool loaded_ = false;
};

}  // namespace qv
