// The main window's children: making them, placing them by the pure layout,
// the pop-outs' places, the logo-and-map rule and the layout while a file
// operation runs.
#include <QToolTip>

#include <cstdio>

#include "browser/filercontainerdlg.h"
#include "mainwnd/maphost.h"
#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/tesseldlg.h"
#include "platform/qt/qtconvert.h"
#include "player/playerapi.h"
#include "skin/fonts.h"
#include "skin/logodlg.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

using namespace mainwnd;

namespace {

const char* Tooltip(int text) { return GetUiText(static_cast<UiText>(text)); }

// A pop-out of the main window, hidden, at its section's saved scale.  The
// map's is not the window's child object (see CMovieDialog).
std::unique_ptr<CMovieDialog> MakePopout(CtesselDlg* owner, UiText caption, const char* section) {
  auto p = section == CMovieDialog::kMapSection ? std::make_unique<CMovieDialog>(owner, CMovieDialog::DetachedTag{})
                                                : std::make_unique<CMovieDialog>(owner);
  p->SetOwnerPort(owner->Port());
  p->SetScale(owner->Scale());
  p->OnInitDialog();
  p->SetCaption(caption);
  p->InitScale(section);
  p->hide();
  return p;
}

}  // namespace

Rect CtesselDlg::ClientRect() const { return Rect::FromSize(0, 0, width(), height()); }

void CtesselDlg::CreateChildWindows() {
  if (width() == 0) return;

  browser_ = std::make_unique<CFilerContainerDlg>(this, this);
  browser_->setObjectName(QStringLiteral("browser"));
  browser_->SetImages(&images_);
  browser_->CreateChildren();
  // The playlist is the list's rows in list order: whenever the list shows
  // other rows (a scan, a folder, a filter) the copy follows.
  connect(browser_->List()->model(), &QAbstractItemModel::modelReset, this, [this] {
    if (closing_) return;
    {
      std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
      SyncPlaylist();
    }
    if (!opening_) UpdateButtonStates();
  });

  mapPopout_ = MakePopout(this, UiText::MapCaption, CMovieDialog::kMapSection);
  // The map host: the web engine's host-object page when the engine can
  // run here, else the plain page.  Without the engine's helper no page can
  // show (the engine would end the program at its first web view): there is
  // no map dialog, and the pop-out keeps the logo.
  if (WebEngineHelperPath().empty()) {
    std::fprintf(stderr, "%s\n", kNoMapNotice);
  } else if (WebEngineUsable()) {
    mapWrap_.SetMapDlg2(new CMapDlg2(mapPopout_.get()));
  } else {
    mapWrap_.SetMapDlg(new CMapDlg(mapPopout_.get()));
  }
  mapWrap_.SetOwner(Port());
  if (QWidget* map = mapWrap_.Dialog()) map->hide();
  logo_ = std::make_unique<CLogoDlg>(&images_, mapPopout_.get());
  logo_->hide();

  if (Font9pt) QToolTip::setFont(*Font9pt);

  moviePopout_ = MakePopout(this, UiText::RearCameraCaption, CMovieDialog::kMovieSection);

  panes_[0] = std::make_unique<CMovieStatic>(this);
  panes_[1] = std::make_unique<CMovieStatic>(moviePopout_.get());
  for (int i = 0; i < 2; ++i) {
    panes_[i]->setObjectName(i == 0 ? QStringLiteral("frontPane") : QStringLiteral("rearPane"));
    panes_[i]->SetOwner(this);
    panes_[i]->SetCameraIndex(i);
    // A slot's tick worker reports to the main window.
    panes_[i]->SetParentPort(Port());
  }

  graphDlg_ = std::make_unique<CGSensorDlg>(this);
  graphDlg_->setObjectName(QStringLiteral("graph"));
  graphDlg_->SetMargin(T(S(), 40));
  graphDlg_->SetTileSpacing(CGSensorDlg::TileSpacingFor(T(S(), 40)));
  infoDlg_ = std::make_unique<CInfoDlg>(this);
  infoDlg_->setObjectName(QStringLiteral("info"));
  infoDlg_->SetImages(&images_);

  positionSlider_ = std::make_unique<CSkinSliderCtrl>(this);
  positionSlider_->Create(kCtlPositionSlider, this);
  positionSlider_->LoadImages(kSkinPositionSlider[0], kSkinPositionSlider[1], kSkinPositionSlider[2],
                              kSkinPositionSlider[3]);
  volumeSlider_ = std::make_unique<CSkinSliderCtrl>(this);
  volumeSlider_->Create(kCtlVolumeSlider, this);
  volumeSlider_->LoadImages(kSkinVolumeSlider[0], kSkinVolumeSlider[1], kSkinVolumeSlider[2],
                            kSkinVolumeSlider[3]);
  volumeSlider_->SetRange(0, kVolumeMax);

  progress_ = std::make_unique<CSkinProgressBarCtrl>(this);
  progress_->setObjectName(QStringLiteral("progress bar"));
  progress_->resize(progress_->width(), T(S(), 22));
  progress_->setFont(SkinAppFont(this));

  CreateSkinButtons();
}

void CtesselDlg::CreateSkinButtons() {
  const int side = T(S(), 32);
  for (int i = 0; i < kCommandButtonCount; ++i) {
    const ButtonRow& row = CommandButtons()[i];
    auto b = std::make_unique<CSkinButton>(this);
    b->setText(QStringLiteral("button"));
    b->setObjectName(QString::number(row.id));
    b->LoadSkin(row.bitmap, Rect::FromSize(0, 0, side, side));
    b->setToolTip(QString::fromUtf8(Tooltip(row.tooltip)));
    connect(b.get(), &QAbstractButton::clicked, this, [this, id = row.id] { OnCommand(id); });
    commandButtons_[i] = std::move(b);
  }
  for (int i = 0; i < kFrameButtonCount; ++i) {
    const ButtonRow& row = FrameButtons()[i];
    auto b = std::make_unique<CSkinButton>(this);
    b->setText(QStringLiteral("button"));
    b->setObjectName(QString::number(row.id));
    b->LoadSkin(row.bitmap, Rect::FromSize(0, 0, T(S(), row.designWidth), T(S(), 18)));
    b->setToolTip(QString::fromUtf8(Tooltip(row.tooltip)));
    connect(b.get(), &QAbstractButton::clicked, this, [this, id = row.id] { OnCommand(id); });
    frameButtons_[i] = std::move(b);
  }
}

void CtesselDlg::ShowNormalChildren(bool show) {
  for (QWidget* w : std::initializer_list<QWidget*>{graphDlg_.get(), positionSlider_.get(),
                     volumeSlider_.get(), infoDlg_.get(), browser_.get()}) {
    if (w) w->setVisible(show);
  }
  for (auto& b : commandButtons_) {
    if (b) b->setVisible(show);
  }
  for (auto& b : frameButtons_) {
    if (b) b->setVisible(show);
  }
}

void CtesselDlg::LayoutChildren() {
  if (!panes_[0]) return;
  if (fullScreen_) {
    // Full screen has one child: the front pane over the whole window.
    panes_[0]->setGeometry(rect());
    RedrawViews();
    return;
  }
  ShowNormalChildren(true);
  const std::optional<MainLayout> layout = mainwnd::LayoutChildren(ClientRect(), S());
  if (!layout) return;
  panes_[0]->setGeometry(ToQRect(layout->frontPane));
  RedrawViews();
  paneArea_ = layout->paneArea;
  positionSlider_->setGeometry(ToQRect(layout->positionSlider));
  infoDlg_->setGeometry(ToQRect(layout->infoPanel));
  graphDlg_->setGeometry(ToQRect(layout->graph));
  ApplyLogoAndMapRule();
  browser_->LayoutSideBySide(layout->browser);
  browser_->show();
  for (int i = 0; i < kCommandButtonCount; ++i) {
    const Rect& r = layout->commandButtons[i];
    if (commandButtons_[i]->ImageSize() != QSize(r.Width(), r.Height()))
      commandButtons_[i]->LoadSkin(CommandBitmap(i), r);
    commandButtons_[i]->setGeometry(ToQRect(r));
    commandButtons_[i]->show();
  }
  for (int i = 0; i < kFrameButtonCount; ++i) frameButtons_[i]->setGeometry(ToQRect(layout->frameButtons[i]));
  UpdateMaximiseTooltip();
  volumeSlider_->setGeometry(ToQRect(layout->volumeSlider));
  volumeSlider_->show();
  update();
  if (busy_) LayoutBusyTail();
}

int CtesselDlg::CommandBitmap(int i) const {
  const ButtonRow& row = CommandButtons()[i];
  return playButtonPlaying_ && row.playingBitmap ? row.playingBitmap : row.bitmap;
}

const char* CtesselDlg::CommandTooltip(int i) const {
  const ButtonRow& row = CommandButtons()[i];
  return Tooltip(playButtonPlaying_ && row.playingTooltip ? row.playingTooltip : row.tooltip);
}

void CtesselDlg::ShowPlayButtonFace() {
  constexpr int kPlay = kCmdPlayPause - kCmdToStart;
  CSkinButton* b = commandButtons_[kPlay].get();
  if (!b) return;
  b->setToolTip(QString::fromUtf8(CommandTooltip(kPlay)));
  b->LoadSkin(CommandBitmap(kPlay), Rect::FromSize(0, 0, T(S(), 32), T(S(), 32)));
  b->update();
}

void CtesselDlg::UpdateMaximiseTooltip() {
  const ButtonRow& row = FrameButtons()[1];
  if (frameButtons_[1])
    frameButtons_[1]->setToolTip(QString::fromUtf8(Tooltip(Maximised() ? row.playingTooltip : row.tooltip)));
}

void CtesselDlg::Relayout() {
  ClearDragEdge();
  if (HitCode() != skin::kHitCaption) {
    setGeometry(ToQRect(DragRect()));
    LayoutChildren();
  }
  SaveScale();
}

void CtesselDlg::InitScale(const std::string& section) {
  CResizeDialog::InitScale(section);
  const Size size = MainWindowSize(S(), ScaleX(), ScaleY());
  setGeometry(x(), y(), size.width, size.height);
  LayoutChildren();
  lastFitScale_ = CurrentUiScale();
  CreateFrameWindow();
  for (CMovieDialog* p : {mapPopout_.get(), moviePopout_.get()}) {
    if (p) p->CreateFrameWindow();
  }
}

std::vector<QWidget*> CtesselDlg::ControlsOffWhileBusy() const {
  return {positionSlider_.get(), volumeSlider_.get(), graphDlg_.get(), infoDlg_.get(),
          browser_.get(),        mapWrap_.Dialog(),   logo_.get()};
}

void CtesselDlg::SetBusy(bool on) {
  busy_ = on;
  if (on) {
    LayoutBusyTail();
    return;
  }
  if (progress_) progress_->hide();
  SetCommandControlsEnabled(true);
  for (auto& p : panes_) p->setEnabled(true);
}

void CtesselDlg::LayoutBusyTail() {
  if (!progress_) return;
  // The panes go black while the operation runs.
  for (auto& p : panes_) {
    p->setEnabled(false);
    p->update();
  }
  progress_->setGeometry(ToQRect(BusyProgressBar(paneArea_, S())));
  progress_->setFont(SkinAppFont(this));
  progress_->show();
  progress_->raise();
  progress_->update();
  SetCommandControlsEnabled(false);
}

// ---------------------------------------------------------------- pop-outs

void CtesselDlg::PlaceMapPopout() {
  const std::optional<MainLayout> layout = mainwnd::LayoutChildren(ClientRect(), S());
  if (!layout || !mapPopout_) return;
  const Point at = MapPopoutOrigin(WindowRect().TopLeft(), *layout);
  const Size size = PopoutWindowSize(MapPopoutDesignSize(S()), mapPopout_->ScaleX(), mapPopout_->ScaleY());
  mapPopout_->setGeometry(at.x, at.y, size.width, size.height);
  const QRect content = ToQRect(PopoutContentRect(size, S()));
  if (QWidget* map = mapWrap_.Dialog()) map->setGeometry(content);
  if (logo_) logo_->setGeometry(content);
  mapPopout_->raise();
}

void CtesselDlg::PlaceMoviePopout() {
  const std::optional<MainLayout> layout = mainwnd::LayoutChildren(ClientRect(), S());
  if (!layout || !moviePopout_) return;
  if (MapPopoutOn()) {
    PlaceMapPopout();
    if (!fullScreen_) mapPopout_->show();
  }
  const Point at = MoviePopoutOrigin(WindowRect().TopLeft(), *layout, S());
  const Size size = PopoutWindowSize(MoviePopoutDesignSize(S()), moviePopout_->ScaleX(), moviePopout_->ScaleY());
  moviePopout_->setGeometry(at.x, at.y, size.width, size.height);
  panes_[1]->setGeometry(ToQRect(PopoutContentRect(size, S())));
  if (moviePopout_->isHidden()) moviePopout_->show();
  moviePopout_->update();
  moviePopout_->raise();
}

void CtesselDlg::ApplyLogoAndMapRule() {
  LogoMapInput in;
  {
    std::lock_guard<std::mutex> track(PlayerApi_TrackMutex());
    const std::vector<GpsSample>* t = PlayerApi_Track();
    in.trackEmpty = t == nullptr || t->empty();
  }
  // The rest is the window's own state: no slot lock is needed (a slot's
  // lock may be held over file reads).
  in.trackShown = mapWrap_.trackShown != 0;
  in.connectTest = mapWrap_.ConnectTest() != 0;
  in.currentRowValid = listIndex_ >= 0 && listIndex_ < static_cast<int>(playlist_.size());
  in.parking = in.currentRowValid && playlist_[listIndex_].parking != 0;
  in.invalidPosition = invalidPosition_;
  in.connected = connected_;
  in.mapShown = mapShown_;
  in.firstRun = firstRun_;
  in.fullScreen = fullScreen_;
  in.mapDialogExists = mapWrap_.Dialog() != nullptr;
  in.mapAvailable = in.mapDialogExists;
  in.mapDialogVisible = in.mapDialogExists && mapWrap_.Dialog()->isVisible();
  in.logoVisible = logo_ && logo_->isVisible();
  in.logoFrameFlag = logo_ ? logo_->FrameFlag() : 1;
  const LogoMapDecision d = DecideLogoAndMap(in, logoShown_);

  if (d.hideMap) mapWrap_.ShowMap(false);
  if (d.showMap && mapWrap_.ShowMap(true)) mapWrap_.Dialog()->setFocus();
  logoShown_ = d.logoShown;
  if (!logo_) return;
  switch (d.logo) {
    case LogoAction::kShow:
      logo_->SetShowFlag(1);
      logo_->Port().Post(kMsgLogoShow);
      break;
    case LogoAction::kHide:
      logo_->SetShowFlag(0);
      logo_->Port().Post(kMsgLogoShow);
      break;
    case LogoAction::kHideNow: logo_->hide(); break;
    case LogoAction::kNone: break;
  }
  logo_->SetFrameFlag(d.logoFrameFlag);
  if (d.redrawLogo) logo_->update();
}

// ---------------------------------------------------------------- scale

void CtesselDlg::RebuildScaledResources() {
  CreateAppFonts(this);
  const float s = CurrentUiScale();
  SetScale(s);
  for (CMovieDialog* p : {mapPopout_.get(), moviePopout_.get()}) {
    if (p) p->SetScale(s);
  }
  const int side = T(s, 32);
  for (int i = 0; i < kCommandButtonCount; ++i) {
    CSkinButton* b = commandButtons_[i].get();
    if (!b) continue;
    b->SetLoading(true);
    b->LoadSkin(CommandBitmap(i), Rect::FromSize(0, 0, side, side));
    b->SetLoading(false);
    b->setToolTip(QString::fromUtf8(CommandTooltip(i)));
  }
  for (int i = 0; i < kFrameButtonCount; ++i) {
    CSkinButton* b = frameButtons_[i].get();
    if (!b) continue;
    b->SetLoading(true);
    b->LoadSkin(FrameButtons()[i].bitmap, Rect::FromSize(0, 0, T(s, FrameButtons()[i].designWidth), T(s, 18)));
    b->SetLoading(false);
    b->setToolTip(QString::fromUtf8(Tooltip(FrameButtons()[i].tooltip)));
  }
  UpdateMaximiseTooltip();
  if (Font9pt) QToolTip::setFont(*Font9pt);
  if (positionSlider_) positionSlider_->FitHeight();
  if (volumeSlider_) volumeSlider_->FitHeight();
  RescaleSettingsWindows(s);
}

}  // namespace qv
