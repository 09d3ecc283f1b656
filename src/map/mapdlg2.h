// The map dialog with the host-object page (page373.html): the page calls
// the host object "sample" over the web channel, and asks each second for the
// update message (a small JSON object, CJsonHolder) that carries latitude,
// longitude and play status to its hidden inputs.  The page is zoomed to
// 0.65.  Window thread only.
#pragma once

#include "map/jsonholder.h"
#include "map/mapdialog.h"

namespace qv {

// The page zoom of the host-object flavour.
inline constexpr double kMapDlg2Zoom = 0.65;

class CMapDlg2 : public CMapWebDlg {
  Q_OBJECT
 public:
  explicit CMapDlg2(QWidget* parent = nullptr);

  // The page pulls the values (JS2C_SetSend): nothing to push.
  void UpdateData() override {}
  // Sends the update message with the dialog's values (nothing before the
  // page has loaded).
  void PostUpdate() override;

  // The last message sent.
  const CJsonHolder& Json() const { return json_; }

 protected:
  double PageZoom() const override { return kMapDlg2Zoom; }
  void resizeEvent(QResizeEvent* e) override;

 private:
  CJsonHolder json_;
};

}  // namespace qv
