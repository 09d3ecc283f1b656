// The main window's settings panel, network probe and update window.
#include "mainwnd/mainmessages.h"
#include "mainwnd/settingdlg.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/tesseldlg.h"
#include "mainwnd/updatedlg.h"
#include "map/mapscript.h"
#include "panels/gsensordlg.h"
#include "platform/apphelpers.h"

namespace qv {

using namespace mainwnd;

void CtesselDlg::CreateSettingsAndNetwork() {
  settingDlg_ = std::make_unique<CSettingDlg>(this);
  settingDlg_->setObjectName(QStringLiteral("settings"));
  settingDlg_->SetOwnerPort(Port());
  settingDlg_->OnInitDialog();
  settingDlg_->hide();

  // One tile address for the map pages and the probe of their host.
  std::string tiles = ReadDefaultFolderIni(kIniMap, kIniTileUrl);
  if (tiles.empty()) tiles = std::string(kDefaultTileUrl);
  mapWrap_.SetTileUrl(tiles);
  // The probe touches the network only while the map display is on, which
  // only the map command turns on.
  inet_.SetSwitchSource([this] { return mapWrap_.MapDisplayOn(); });
  inet_.StartProbe(tiles, [this](int result) { mapWrap_.SetProbeResult(result); });
}

void CtesselDlg::StartUpdateCheckOnce() {
  if (inet_.UpdateCheckStarted()) return;
  const std::string host = ReadDefaultFolderIni(kIniUpdate, kIniUpdateHost);
  inet_.StartUpdateCheck(host, [port = Port()] { port.Post(kMsgUpdateReady); });
}

void CtesselDlg::OnFormatInfoRead(const FormatInfo& info) {
  // The card is scanned off the window thread, so its description comes
  // after the viewer's part of the check started; its own part runs now.
  if (inet_.CardCheckStarted() || closing_) return;
  const std::string host = ReadDefaultFolderIni(kIniUpdate, kIniUpdateHost);
  inet_.StartCardCheck(host, UpdateInputs{info.version, info.extra1, info.extra2, info.model},
                       [port = Port()] { port.Post(kMsgUpdateReady); });
}

void CtesselDlg::OnUpdateReady() {
  const std::string message = inet_.Message();
  if (message.empty() || closing_) return;
  if (!updateDlg_) {
    updateDlg_ = std::make_unique<CUpdateDialog>();
    updateDlg_->setObjectName(QStringLiteral("update"));
    updateDlg_->OnInitDialog(WindowRect().TopLeft());
  }
  updateDlg_->SetMessage(message);
  updateDlg_->show();
  updateDlg_->raise();
}

void CtesselDlg::OnDisplaySwitch(uintptr_t index, intptr_t state) {
  const int series = DisplaySwitchSeries(index);
  if (series < 0) return;
  // The graph's marks and the map's event points follow at once.
  if (graphDlg_) {
    GSensorSeries& s = graphDlg_->Series(series);
    s.shown = s.clickable = state ? 1 : 0;
    graphDlg_->update();
  }
  if (listIndex_ >= 0) SendEventPoints(listIndex_, false);
}

void CtesselDlg::ShowSettings() {
  if (!settingDlg_) return;
  settingDlg_->PlaceBesideOwner();
  settingDlg_->show();
  settingDlg_->raise();
}

void CtesselDlg::FollowProbe() {
  const int result = mapWrap_.ProbeResult();
  if (result == probeSeen_) return;
  probeSeen_ = result;
  ApplyLogoAndMapRule();
}

void CtesselDlg::RescaleSettingsWindows(float s) {
  if (settingDlg_) settingDlg_->SetScale(s);
  if (updateDlg_) updateDlg_->SetScale(s);
}

}  // namespace qv
