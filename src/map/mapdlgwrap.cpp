#include "map/mapdlgwrap.h"

#include <mutex>

#include "map/mapmessages.h"
#include "platform/numtext.h"
#include "player/playerapi.h"
#include "uitext/uitext.h"

namespace qv {

namespace {

// The tile host, which also unlocks the stored key (none is stored: the
// default tile server takes no key).
constexpr std::string_view kMapHost = "tile.openstreetmap.org";
const std::vector<uint8_t> kStoredKey;

CMapDlgWrap::DataSource PlayerDataSource() {
  CMapDlgWrap::DataSource s;
  s.trackArray = [] {
    std::vector<GpsSample> copy;
    {
      std::lock_guard<std::mutex> lock(PlayerApi_TrackMutex());
      if (const std::vector<GpsSample>* track = PlayerApi_Track()) copy = *track;
    }
    return GpsArray(copy);
  };
  s.gridArray = []() -> std::optional<std::vector<double>> {
    DriveDataView view;
    if (!view.Gps() || view.Gps()->empty()) return std::nullopt;
    return GpsArray(*view.Gps());
  };
  s.positions = []() -> int64_t {
    DriveDataView view;
    return view.TimeIndex() ? static_cast<int64_t>(view.TimeIndex()->size()) : 0;
  };
  return s;
}

}  // namespace

CMapDlgWrap::CMapDlgWrap() : source_(PlayerDataSource()) {}

CMapDlgWrap::~CMapDlgWrap() {
  delete dlg2_.data();
  delete dlg_.data();
}

void CMapDlgWrap::SetMapDlg(CMapDlgBase* dlg) {
  dlg_ = dlg;
  if (dlg) dlg->wrap = this;
}

void CMapDlgWrap::SetMapDlg2(CMapDlgBase* dlg) {
  dlg2_ = dlg;
  if (dlg) dlg->wrap = this;
}

CMapDlgBase* CMapDlgWrap::Dialog() const { return dlg2_ ? dlg2_.data() : dlg_.data(); }

void CMapDlgWrap::ExecScript(const std::string& script) {
  CMapDlgBase* dlg = Dialog();
  if (!dlg) return;
  // The page reads the program's state synchronously; it gets it in the
  // same script call, ahead of the script that reads it.
  dlg->RunScript(StatePushScript(PageState()) + script);
}

void CMapDlgWrap::RedrawTrack(int32_t grid, int32_t whole) {
  if (!pageReady) return;
  ExecScript(std::string(kScriptClearCrashPos));
  ExecScript(std::string(kScriptRemoveLineList));
  if (whole) ExecScript(GpsDataScript(GetGPSData()) + std::string(kScriptCreateLine));
  ExecScript(GridDataScript(GetGridData(std::string())) + CreateGridLineScript(grid));
}

void CMapDlgWrap::SetPlayStatus(int state) {
  CMapDlgBase* dlg = Dialog();
  if (!dlg) return;
  if (std::optional<std::string> text = PlayStatusText(state)) dlg->status = *text;
  if (state == 2) ExecScript(std::string(kScriptMoveMarker));
  dlg->UpdateData();
}

int CMapDlgWrap::ShowMap(bool show) {
  CMapDlgBase* dlg = Dialog();
  if (show) {
    if (shown) return 0;
    if (!dlg) {
      shown = 1;
      return 1;
    }
    if (dlg->isVisible()) return 0;
    dlg->show();
    shown = 1;
    return 1;
  }
  if (!shown || !dlg || !dlg->isVisible()) return 0;
  dlg->hide();
  shown = 0;
  return 1;
}

void CMapDlgWrap::SetPosition(double lat, double lng) {
  CMapDlgBase* dlg = Dialog();
  if (!dlg) return;
  dlg->latitude = lat;
  dlg->longitude = lng;
  if (pushed_.dlg == dlg && pushed_.lat == lat && pushed_.lng == lng && pushed_.status == dlg->status) return;
  pushed_ = Pushed{dlg, lat, lng, dlg->status};
  dlg->UpdateData();
}

void CMapDlgWrap::SetStatusText(const std::string& text) {
  if (CMapDlgBase* dlg = Dialog()) dlg->status = text;
}

void CMapDlgWrap::SetMapDisplay(int on) {
  const bool wasOn = probeSwitch_.exchange(on) != 0;
  // A hidden page asks for nothing it does not need: it is given the state
  // now, which says that the map cannot show, and drops its map before a
  // later script could move it and have tiles fetched.
  if (wasOn && !on) ExecScript(std::string());
}

int CMapDlgWrap::ConnectTest() {
  if (!probeSwitch_.load()) return 0;
  const int connected = probeResult_.load() ? 1 : 0;
  if (!connected && pageReady) {
    // The page makes its map again when the connection returns and says so
    // (OnInitHtml); until then it must not keep a map the program no longer
    // draws into, so it is told at once.
    pageReady = 0;
    ExecScript(std::string());
  }
  return connected;
}

void CMapDlgWrap::OnInitHtml() {
  pageReady = 1;
  if (owner_) owner_.Post(kMsgMapPageLoaded, 0, 0);
}

std::vector<double> CMapDlgWrap::GetGPSData() {
  return source_.trackArray ? source_.trackArray() : std::vector<double>{0.0};
}

std::optional<std::vector<double>> CMapDlgWrap::GetGridData(const std::string&) {
  return source_.gridArray ? source_.gridArray() : std::nullopt;
}

std::string CMapDlgWrap::GetMarkName(int kind) {
  const int number = MarkNameTextNumber(kind);
  return number < 0 ? std::string() : std::string(GetUiTextIn(UiLanguage, number));
}

std::string CMapDlgWrap::GetRcString(int number) {
  if (number < 0 || number >= kUiTextCount) return std::string();
  return GetUiTextIn(UiLanguage, number);
}

std::string CMapDlgWrap::GetRelJpgNum() { return FormatInt(curPos); }

void CMapDlgWrap::DebLog(const std::string&) {}

void CMapDlgWrap::OnClickCrashPoint(int32_t, int32_t, int32_t ipos, int32_t, double, double, double, double) {
  if (!owner_) return;
  const int64_t positions = source_.positions ? source_.positions() : 0;
  owner_.Post(kMsgMapPointClicked, 0, ClampPointPosition(ipos, positions));
}

std::string CMapDlgWrap::GetMapURL() { return MapLibraryUrl(kMapLibraryUrl, kStoredKey, kMapHost); }

void CMapDlgWrap::SetSend() {
  if (CMapDlgBase* dlg = dlg2_.data()) dlg->PostUpdate();
}

MapPageState CMapDlgWrap::PageState() {
  MapPageState s;
  s.connect = probeSwitch_.load() != 0 && probeResult_.load() != 0;
  s.relJpgNum = curPos;
  s.mapUrl = GetMapURL();
  s.tileUrl = tileUrl_;
  for (int k = 0; k < 12; ++k) s.markNames.push_back(GetMarkName(k));
  return s;
}

}  // namespace qv
