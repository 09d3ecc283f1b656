// The one object through which the program talks to the map, whichever of
// the two map dialogs shows it.  The main window owns one as a member, makes
// one map dialog at start-up and hands it over (SetMapDlg or SetMapDlg2).
//
// The wrapper runs scripts in the page (track redraw, event points, marker,
// play status), answers the page's calls (IHostWebViewFuncs: GPS arrays,
// texts, the current position, the map library's address, the connection)
// and posts its owner the two notices of mapmessages.h.
//
// Window thread only, except the probe result and switch, which the network
// probe's thread may write at any time (atomics).  The shared GPS track is
// read under its own mutex, the pair's samples through a DriveDataView.
#pragma once

#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "map/hostfuncs.h"
#include "map/mapdialog.h"
#include "platform/qt/appmessage.h"
#include "recording/recordingentry.h"

namespace qv {

class CMapDlgWrap : public IHostWebViewFuncs {
 public:
  CMapDlgWrap();
  ~CMapDlgWrap() override;
  CMapDlgWrap(const CMapDlgWrap&) = delete;
  CMapDlgWrap& operator=(const CMapDlgWrap&) = delete;

  // The dialogs (owned: deleted with the wrapper unless their parent went
  // first).  The host-object flavour wins when both are set.
  void SetMapDlg(CMapDlgBase* dlg);
  void SetMapDlg2(CMapDlgBase* dlg);
  CMapDlgBase* MapDlg() const { return dlg_.data(); }
  CMapDlgBase* MapDlg2() const { return dlg2_.data(); }
  // The dialog that exists (host-object flavour first), or null.
  CMapDlgBase* Dialog() const;
  void SetOwner(AppMessagePort owner) { owner_ = std::move(owner); }

  // The network probe's fields: its result (1 the tile host answered) and
  // its switch (non-zero: the map display is on).  The page is told at once
  // when the display goes off, and lets go of its map (window thread).
  void SetProbeResult(int connected) { probeResult_.store(connected); }
  void SetMapDisplay(int on);
  int ProbeResult() const { return probeResult_.load(); }
  int MapDisplayOn() const { return probeSwitch_.load(); }
  // Tile address template ({z}/{x}/{y}); empty draws no tiles.
  void SetTileUrl(std::string url) { tileUrl_ = std::move(url); }

  // Runs a script in the page (dropped with no dialog or no page yet).
  void ExecScript(const std::string& script);
  // Redraws the track of the pair (and the whole track when `whole`) and
  // clears the event points; dropped until the page is ready.
  void RedrawTrack(int32_t grid, int32_t whole);
  // 0 playing, 1 paused, 2 stopped (also moves the marker).
  void SetPlayStatus(int state);
  // Shows or hides the map dialog; 1 when that changed the window.
  int ShowMap(bool show);
  // Sets the dialog's position values and pushes them to the page when they
  // (or the status text) differ from what it was last given: the playback
  // tick calls this every 30 ms.
  void SetPosition(double lat, double lng);
  // Sets the dialog's status text without pushing it.
  void SetStatusText(const std::string& text);

  // IHostWebViewFuncs
  int ConnectTest() override;
  void OnInitHtml() override;
  std::vector<double> GetGPSData() override;
  std::optional<std::vector<double>> GetGridData(const std::string& text) override;
  std::string GetMarkName(int kind) override;
  std::string GetRcString(int number) override;
  std::string GetRelJpgNum() override;
  void DebLog(const std::string& text) override;
  void OnClickCrashPoint(int32_t ifile, int32_t igrid, int32_t ipos, int32_t valid, double lat, double lng,
                         double speed, double direction) override;
  std::string GetMapURL() override;
  void SetSend() override;
  MapPageState PageState() override;

  // Where the data come from: the player layer unless a test sets others.
  struct DataSource {
    std::function<std::vector<double>()> trackArray;                // the shared track
    std::function<std::optional<std::vector<double>>()> gridArray;  // the pair's samples
    std::function<int64_t()> positions;                             // the movie's positions
  };
  void SetDataSource(DataSource source) { source_ = std::move(source); }

  // The recordings whose drive data make up the whole track.
  std::vector<RecordingEntry> recordings;
  int pageReady = 0;   // the page made its map
  int shown = 0;       // the map window is shown
  int trackShown = 0;  // the playing pair's track may be shown (the main window's)
  int32_t curPos = -1;  // the current position index; -1 none
  int32_t headFlag = 0;  // a flag byte of the pair's drive-data head (the main window's)

 private:
  QPointer<CMapDlgBase> dlg_;
  QPointer<CMapDlgBase> dlg2_;
  std::atomic<int> probeResult_{0};
  std::atomic<int> probeSwitch_{0};
  AppMessagePort owner_;
  std::string tileUrl_{kDefaultTileUrl};
  DataSource source_;
  // What SetPosition last pushed, and to which dialog.
  struct Pushed {
    const CMapDlgBase* dlg = nullptr;
    double lat = 0, lng = 0;
    std::string status;
  } pushed_;
};

// The bundled map library's address inside the program's resources.
inline constexpr std::string_view kMapLibraryUrl = "qrc:/map/leaflet/leaflet.js";

}  // namespace qv
