// The map behind one wrapper: the page host (CMapDlg2 on the Qt web engine,
// CMapDlg when that engine cannot run) is chosen once when the main window
// makes its children, and the window only speaks to the wrapper.
//
// Window thread only.  The map dialogs here are bare windows of the right
// place and size; the map itself (page, track, event points, connection
// probe) is filled in by the map subsystem behind the same interface.
#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

namespace qv {

// Whether the Qt web engine can run here: its helper process is installed.
// Stands in for looking up the web runtime's registration.
bool WebEngineUsable();
// Forces WebEngineUsable's answer (tests); nullopt asks the system again.
void SetWebEngineUsableForTests(std::optional<bool> answer);

class CMapDlgWrap;

// The map page on the older host.
class CMapDlg : public QWidget {
  Q_OBJECT
 public:
  CMapDlg(CMapDlgWrap* owner, QWidget* parent);
};

// The map page on the Qt web engine.
class CMapDlg2 : public QWidget {
  Q_OBJECT
 public:
  CMapDlg2(CMapDlgWrap* owner, QWidget* parent);
};

class CMapDlgWrap {
 public:
  CMapDlgWrap();
  ~CMapDlgWrap();
  CMapDlgWrap(const CMapDlgWrap&) = delete;
  CMapDlgWrap& operator=(const CMapDlgWrap&) = delete;

  // Makes the map dialog of the chosen host inside `popout`; the other
  // pointer stays null.
  void CreateMap(QWidget* popout);
  CMapDlg* Map() const { return map_.data(); }
  CMapDlg2* Map2() const { return map2_.data(); }
  // Whichever map dialog exists (null before CreateMap).
  QWidget* MapWindow() const;

  // Shows (1) or hides (0) the map; false when there is no map dialog.
  bool ShowMap(int show);
  // Whether the map site answered the last probe (0 while no probe runs).
  int ConnectTest() const { return 0; }
  // The track-shown field: a pair's track has been drawn.
  int shown = 0;

  // Ends the wrapper's own threads (the connection probe and the update
  // check); the main window's shutdown calls it after detaching its
  // message targets.  A second call does nothing.
  void StopThreads() {}
  bool UpdateCheckStarted() const { return updateCheckStarted_; }
  // Starts the update check once; its answer would arrive as a message.
  void StartUpdateCheck() { updateCheckStarted_ = true; }

 private:
  // The map dialog lives inside its pop-out, which may go first (it then
  // takes the dialog with it); the wrapper deletes one that is still there.
  QPointer<CMapDlg> map_;
  QPointer<CMapDlg2> map2_;
  bool updateCheckStarted_ = false;
};

}  // namespace qv
