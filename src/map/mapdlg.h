// The map dialog with the plain page (page103.html): the page reaches the
// program through a window.external stand-in over the web channel (object
// "external"), and the dialog writes latitude, longitude and play status into
// the page's hidden inputs.  The page is zoomed to the display scale:
// trunc(UiScale x 100) percent.  Window thread only.
#pragma once

#include "map/mapdialog.h"

namespace qv {

class CMapDlg : public CMapWebDlg {
  Q_OBJECT
 public:
  explicit CMapDlg(QWidget* parent = nullptr);

  // Writes the three values into the hidden inputs (nothing before the page
  // has loaded; the load pushes them).
  void UpdateData() override;

 protected:
  double PageZoom() const override;
};

}  // namespace qv
