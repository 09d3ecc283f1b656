// The map as the main window sees it: one wrapper that holds whichever map
// dialog the main window made and handed over.  The dialogs here are bare
// windows of the right place and size, with the wrapper's and dialogs' names
// and calls as the map's own code has them, so that it takes their place by
// a change of include and library.
//
// Window thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/qt/appmessage.h"

namespace qv {

class CMapDlgBase : public QWidget {
  Q_OBJECT
 public:
  explicit CMapDlgBase(QWidget* parent = nullptr) : QWidget(parent) {}
};

// The plain map page.
class CMapDlg : public CMapDlgBase {
  Q_OBJECT
 public:
  explicit CMapDlg(QWidget* parent = nullptr);
};

// The map page with the web engine's host object.
class CMapDlg2 : public CMapDlgBase {
  Q_OBJECT
 public:
  explicit CMapDlg2(QWidget* parent = nullptr);
};

class CMapDlgWrap {
 public:
  CMapDlgWrap() = default;
  ~CMapDlgWrap();
  CMapDlgWrap(const CMapDlgWrap&) = delete;
  CMapDlgWrap& operator=(const CMapDlgWrap&) = delete;

  // The dialogs (owned: deleted with the wrapper unless their parent, the
  // map pop-out, went first).
  void SetMapDlg(CMapDlgBase* dlg) { dlg_ = dlg; }
  void SetMapDlg2(CMapDlgBase* dlg) { dlg2_ = dlg; }
  CMapDlgBase* MapDlg() const { return dlg_.data(); }
  CMapDlgBase* MapDlg2() const { return dlg2_.data(); }
  // The dialog that exists, or null.
  CMapDlgBase* Dialog() const { return dlg2_ ? dlg2_.data() : dlg_.data(); }
  void SetOwner(AppMessagePort owner) { owner_ = std::move(owner); }

  // Shows or hides the map dialog; 1 when that changed the window.
  int ShowMap(bool show);
  // Whether the map site answered (no probe runs yet: 0).
  int ConnectTest() { return 0; }

  int shown = 0;       // the map window is shown
  int trackShown = 0;  // the playing pair's track may be shown

 private:
  QPointer<CMapDlgBase> dlg_;
  QPointer<CMapDlgBase> dlg2_;
  AppMessagePort owner_;
};

}  // namespace qv
