// The map dialog with the host-object page (page373.html): the page calls
// the host object "sample" over the web channel, and asks each second for the
// update message (a small JSON object, CJsonHolder) that carries latitude,
// longitude and play status to its hidden inputs.  The page is zoomed to
// 0.65.  Window thread only.
#pragma once

#include "map/jsonholder.h"
#include "map/mapdialog.h"

class QWebEngineView;

namespace qv {

class MapHost;
class MapPage;

class CMapDlg2 : public CMapDlgBase {
  Q_OBJECT
 public:
  explicit CMapDlg2(QWidget* parent = nullptr);
  ~CMapDlg2() override;

  void RunScript(const std::string& script) override;
  // The page pulls the values (JS2C_SetSend): nothing to push.
  void UpdateData() override {}
  // Sends the update message with the dialog's values; false before the
  // page has loaded.
  void PostUpdate() override;
  bool PostUpdateMessage();

  // The last message sent.
  const CJsonHolder& Json() const { return json_; }
  QWebEngineView* View() const { return view_; }
  MapPage* Page() const { return page_; }
  bool PageLoaded() const { return loaded_; }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  QWebEngineView* view_ = nullptr;
  MapPage* page_ = nullptr;
  MapHost* host_ = nullptr;
  CJsonHolder json_;
  bool loaded_ = false;
};

// The page zoom of the host-object flavour.
inline constexpr double kMapDlg2Zoom = 0.65;

}  // namespace qv
