// The main window's start-up, message dispatch, timers and shutdown.
#include "mainwnd/tesseldlg.h"

#include "browser/filercontainerdlg.h"
#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "panels/obddlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include "mainwnd/fileops.h"
#include "mainwnd/mainmessages.h"
#include "platform/numtext.h"
#include "platform/qt/qtconvert.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/moviemenu.h"
#include "mainwnd/settingdlg.h"
#include "mainwnd/updatedlg.h"
#include "platform/apphelpers.h"
#include "player/playerslot.h"
#include "player/slotstate.h"
#include "skin/fonts.h"
#include "skin/logodlg.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

using namespace mainwnd;

CtesselDlg::CtesselDlg(TimerClock* clock)
    : CResizeDialog(nullptr), timers_(this, [this](int id) { OnTimer(id); }, clock) {
  // The program's main window: a top-level window of its own (not a dialog
  // owned by another), drawn without the window system's frame.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setWindowTitle(QStringLiteral("Quorvex"));
  RegisterHandlers();
  RegisterPlaybackHandlers();
}

CtesselDlg::~CtesselDlg() {
  // Whatever road ended the program, the threads stop before the members
  // they use go.
  Shutdown();
  // The browsing panel calls back into the window (selection, folder and
  // list notices): it goes while the playlist and its lock still exist.
  browser_.reset();
}

// ---------------------------------------------------------------- start-up

bool CtesselDlg::OnInitDialog(const std::string& settingsFolder) {
  // Application icon.
  const QImage icon = SkinImage(kSkinAppIcon);
  if (!icon.isNull()) appIcon_ = QIcon(QPixmap::fromImage(icon));
  setWindowIcon(appIcon_);

  // Language, fonts and scale.  The settings folder is the one main() took
  // at start-up, whether or not the fonts could be made.
  InitUiLanguage();
  CreateAppFonts(this);
  SetAppFolder(settingsFolder);
  SetScale(CurrentUiScale());

  origin_ = WindowRect();
  programFile_ = QCoreApplication::applicationFilePath().toStdString();
  images_.Load(CurrentUiScale());
  CreateChildWindows();

  // The settings file: made with its defaults when missing, then read.  The
  // box-type set of the MP4 reader is built on its first use and needs no
  // registering here.
  const StartupSettings settings = LoadStartupSettings(settingsFolder, settingsFolder);
  keepAspect_ = settings.keepAspect;
  volume_ = settings.volume;
  // A join killed in the middle, or one whose card turned read-only, leaves
  // its hidden temporaries, as large as its outputs, in the folders it wrote
  // to (remembered before its first byte), and on a card without a
  // no-replace rename maybe an empty placeholder under an output's name:
  // those of processes that no longer run go now, off the window thread
  // (the folder may be on a slow card).
  if (!settings.joinFolder.empty() || !settings.unfinishedJoins.empty() || !settings.claimedNames.empty())
    threads_.StartChore([file = settings.path, last = settings.joinFolder] { SweepJoinFolders(file, last); });

  // Both player slots draw into their panes.
  if (panes_[0] && panes_[1]) {
    PlayerApi_InitSlots(panes_[0].get(), panes_[1].get(), GetUiText(UiText::FaceName));
    ownsSlots_ = true;
    InstallPlayerErrorSink();
    for (int i = 0; i < 2; ++i) panes_[i]->ShowSlot(&PlayerApi_Slot(i));
    const int data = PlayerApi_GetDataSlot();
    if (PlayerApi_Table(data).setHardwareDecode)
      PlayerApi_Table(data).setHardwareDecode(&PlayerApi_Slot(data), settings.hardwareDecoding ? 1 : 0);
  }

  // The settings panel and the gauge window.
  CreateSettingsAndNetwork();
  obdDlg_ = std::make_unique<CObdDlg>(this);
  obdDlg_->setObjectName(QStringLiteral("gauges"));
  obdDlg_->SetImages(&images_);
  obdDlg_->SetOwnerPort(Port());
  obdDlg_->hide();

  const Size size = MainWindowSize(S(), ScaleX(), ScaleY());
  setGeometry(origin_.left, origin_.top, size.width, size.height);

  if (mapWrap_.shown && mapWrap_.Dialog() && mapWrap_.Dialog()->isVisible()) mapWrap_.Dialog()->hide();
  mapWrap_.shown = 0;
  if (logo_ && logo_->isVisible()) {
    logo_->SetShowFlag(0);
    logo_->Port().Post(kMsgLogoShow);
  }
  if (logo_) logo_->hide();

  LayoutChildren();
  ApplyVolume(true);
  ShowPlayButtonFace();

  if (progress_) {
    progress_->setGeometry(ToQRect(BusyProgressBar(paneArea_, S())));
    progress_->minimum = 0;
    progress_->maximum = 100;
    progress_->position = 0;
    progress_->raise();
    progress_->hide();
  }

  // The front view starts plain; the rear one centred on its pop-out.
  ResetView(0);
  const int w = T(S(), 440) + 2 * T(S(), 6);
  views_[1] = ZoomRecord{w / 2, 9 * w / 32, 0, 0, 1.0f};
  if (commandButtons_[10]) commandButtons_[10]->SetLatched(mapShown_);

  for (int i = 0; i < 2; ++i) SetSlotAspect(i, i == 0 ? keepAspect_ : true);
  PlayerApi_RefreshFrame(0);
  update();

  timers_.Set(kTimerIdle, kIdleMs);

  InitScale("DISPLAY");
  SetDesignSize(Size{kDesignWidth, kDesignHeight});
  WatchScreens();
  Port().Post(kMsgPostInit);
  return true;
}

void CtesselDlg::OnPostInit() {
  // Start-up posts it once; a stray second one changes nothing.
  if (postInitRuns_ > 0 || closing_) return;
  ++postInitRuns_;
  PlaceMoviePopout();
  firstRun_ = true;
  ApplyLogoAndMapRule();
  // The first source: the last removable drive, else the settings file's
  // folder or file.
  if (browser_ && browser_->LoadInitialSource()) OnSourceOpened();
  // The update check's viewer part (once); its card part follows the
  // card's format description (OnFormatInfoRead).
  StartUpdateCheckOnce();

  // Keep the window inside its monitor's work area and fit it there.
  const Rect work = WorkArea();
  Rect r = WindowRect();
  if (!work.IsEmpty()) {
    const int dx = std::max(0, work.left - r.left) - std::max(0, r.right - work.right);
    const int dy = std::max(0, work.top - r.top) - std::max(0, r.bottom - work.bottom);
    if (dx || dy) move(r.left + dx, r.top + dy);
  }
  RefitToMonitor();
  SetDragRect(WindowRect());
  if (MaximiseAfterFit(FitUiScaleToMonitor(this))) {
    Maximise();
    PlaceMoviePopout();
  }
  if (moviePopout_) moviePopout_->raise();
}

// ---------------------------------------------------------------- shutdown

void CtesselDlg::Shutdown() {
  if (closing_) return;
  closing_ = true;
  // Out of sight at once: what follows may wait for threads and the card.
  // Hiding, not closing: a close would come back here as a close event.
  hide();
  if (moviePopout_) moviePopout_->hide();
  if (mapPopout_) mapPopout_->hide();

  timers_.KillAll();
  inputHold_.Drop();  // a bind waiting out its pause goes no further
  // No thread may still use the playlist, the slots or the window.
  threads_.EndFileWorker();
  threads_.JoinPairThreads();
  // An open under way stops; its players close before the slots go.
  DropOpen();
  TakeStoppedOpen();
  PlayerApi_WaitClosed();
  trackThread_.request_stop();
  if (trackThread_.joinable()) trackThread_.join();
  // A read of the command rows or of a folder stops at its next file; its
  // rows are dropped.
  if (browser_) {
    browser_->CancelRebuild();
    browser_->CancelFill();
  }
  rowsFor_ = RowsFor::kNone;
  { std::lock_guard<std::recursive_mutex> wait(playlistMutex_); }
  { std::lock_guard<std::mutex> wait(eventPointMutex_); }

  if (ownsSlots_) {
    PlayerApi_SetErrorSink(nullptr);
    if (PlayerApi_GetState(selector_) != kSlotPaused) PlayerApi_Pause(selector_);
    PlayerApi_Close();
    ResetView(0);
    PlayerApi_FreeTrackObject();
    for (int i = 0; i < 2; ++i) {
      PlayerSlot& slot = PlayerApi_Slot(i);
      if (!slot.initialised) continue;
      slot.initialised = 0;
      if (PlayerApi_Table(i).release) PlayerApi_Table(i).release(&slot);
    }
  }

  // The probe and the update check stop here (a download in flight is
  // aborted); nothing reaches the windows any more; the source watcher ends
  // after this, with its owner.
  inet_.Stop();
  messages_.Detach();
  for (auto& pane : panes_) {
    if (pane) pane->Messages().Detach();
  }

  updateDlg_.reset();
  if (OutlineWindow* o = Outline()) o->hide();
  for (CMovieDialog* p : {mapPopout_.get(), moviePopout_.get()}) {
    if (p && p->Outline()) p->Outline()->hide();
  }
}

void CtesselDlg::closeEvent(QCloseEvent* e) {
  // The window system's close: the same end as the close button.
  Shutdown();
  e->accept();
  emit ended();
}

void CtesselDlg::keyPressEvent(QKeyEvent* e) {
  // Enter and Escape would end a dialog without its shutdown.
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: e->accept(); return;
    default: CResizeDialog::keyPressEvent(e);
  }
}

// ---------------------------------------------------------------- messages

void CtesselDlg::RegisterHandlers() {
  for (const MessageRow& row : MainMessageTable()) {
    const uint32_t m = row.message;
    AppMessageSink::Handler h;
    switch (m) {
      case kMsgProgress: h = [this](uintptr_t w, intptr_t l) { OnProgress(w, l); }; break;
      case kMsgResetZoomView: h = [this](uintptr_t, intptr_t l) { OnResetZoomView(l); }; break;
      case kMsgPostInit: h = [this](uintptr_t, intptr_t) { OnPostInit(); }; break;
      case kMsgWorkAreaChanged: h = [this](uintptr_t w, intptr_t) { OnWorkAreaChanged(w); }; break;
      case kMsgPopoutPainted:
        h = [this](uintptr_t, intptr_t l) {
          // Repaints of the views are coalesced: the panes paint opaque,
          // so their paint does not bring the pop-out's paint back.
          if (l == reinterpret_cast<intptr_t>(moviePopout_.get())) RedrawViews();
        };
        break;
      case kMsgPopoutResized: h = [this](uintptr_t, intptr_t l) { OnPopoutResized(l); }; break;
      case kMsgPopoutCaptionDoubleClick: h = [this](uintptr_t, intptr_t) { OnPopoutCaptionDoubleClick(); }; break;
      case kMsgWorkerDone:  // the file commands' done messages end the worker alike
      case kMsgCsvDone:
      case kMsgDeleteDone:
      case kMsgJoinDone: h = [this](uintptr_t, intptr_t) { OnFileWorkerDone(); }; break;
      case kMsgUpdateReady: h = [this](uintptr_t, intptr_t) { OnUpdateReady(); }; break;
      case kMsgDisplaySwitch: h = [this](uintptr_t w, intptr_t l) { OnDisplaySwitch(w, l); }; break;
      default:
        // Playback control's handlers; mapped no-ops, and the command and
        // file handlers that their own code sets in place of this one.
        h = PlaybackHandler(m);
        if (!h) h = [](uintptr_t, intptr_t) {};
        break;
    }
    messages_.On(m, [this, m, h = std::move(h)](uintptr_t w, intptr_t l) {
      if (observer_) observer_(m, w, l);
      h(w, l);
    });
  }
}

void CtesselDlg::OnProgress(uintptr_t done, intptr_t total) {
  if (!progress_) return;
  progress_->position = total <= 0 ? 100 : static_cast<int>(static_cast<int64_t>(done) * 100 / total);
  progress_->update();
}

int CtesselDlg::ProgressPercent() const { return progress_ ? progress_->position : 0; }

void CtesselDlg::OnResetZoomView(intptr_t source) {
  CResizeDialog* w = source == kResetZoomRear ? static_cast<CResizeDialog*>(moviePopout_.get()) : this;
  if (!w) return;
  if (w->TakeCaptionClick()) return;
  ResetView(source == kResetZoomRear ? 1 - frontPaneIndex_ : frontPaneIndex_);
  RedrawViews();
}

void CtesselDlg::OnWorkAreaChanged(uintptr_t code) {
  if (code != kWorkAreaPosChanged) return;
  if (Maximised()) {
    FitMaximised();
    if (busy_) LayoutBusyTail();
  } else {
    RefitToMonitor();
  }
}

void CtesselDlg::OnPopoutResized(intptr_t which) {
  if (moviePopout_ && which == reinterpret_cast<intptr_t>(moviePopout_.get())) {
    const Rect r = PopoutContentRect(FromQSize(moviePopout_->size()), S());
    if (panes_[1]) {
      panes_[1]->setGeometry(ToQRect(r));
      panes_[1]->show();
    }
  } else if (mapPopout_ && which == reinterpret_cast<intptr_t>(mapPopout_.get())) {
    const Rect r = PopoutContentRect(FromQSize(mapPopout_->size()), S());
    if (QWidget* map = mapWrap_.Dialog()) map->setGeometry(ToQRect(r));
    if (logo_) logo_->setGeometry(ToQRect(r));
  }
}

void CtesselDlg::OnPopoutCaptionDoubleClick() {
  for (CMovieDialog* p : {mapPopout_.get(), moviePopout_.get()}) {
    if (!p) continue;
    p->SetScales(1.0f, 1.0f);
    p->SaveScale();
  }
  ResetView(1 - frontPaneIndex_);
  PlaceMoviePopout();
}

void CtesselDlg::OnPanePresentationEnded(uintptr_t wParam, int camera) {
  messages_.Send(kMsgPanePresentationEnded, wParam, camera);
}

void CtesselDlg::OnPaneContextMenu(Point screen, CMovieStatic* pane) {
  // No menu without a pair, while one opens, or while the guard refuses
  // commands near the end.
  PaneMenuInput in;
  in.playState = PlayerApi_GetState(selector_);
  if (in.playState == kSlotClosed || opening_ || waitCursor_ || IsCommandBlocked()) return;
  in.rateIndex = DataRate();
  // Nothing here caps the rate by the display's refresh: faster is never locked.
  in.fastForwardLock = false;
  in.fullScreen = fullScreen_;
  in.frontAspectMode = keepAspect_ ? 1 : 0;
  in.mirrorChecked = pane && pane->MirrorChecked();
  in.frontPane = pane && pane->CameraIndex() == frontPaneIndex_;
  CMovieMenu menu(fullScreen_, S(), this);
  switch (in.playState) {
    case kSlotPlaying: menu.CreatePlayingMenu(in); break;
    case kSlotPaused: menu.CreatePausedMenu(in); break;
    default: menu.CreateStoppedMenu(in); break;
  }
  if (const int id = menu.Track(ToQPoint(screen))) OnCommand(id);
}

mainwnd::PaneOwnerState CtesselDlg::PaneOwnerStateNow() const {
  mainwnd::PaneOwnerState st;
  st.frontPaneIndex = frontPaneIndex_;
  st.controlsEnabled = !busy_ && !ReadingCommandRows();
  st.listHasRows = !playlist_.empty();
  st.pairOpen = PlayerApi_GetState(selector_) != kSlotClosed;
  return st;
}

void CtesselDlg::ShowBrowserUnlessFullScreen() {
  if (browser_ && !fullScreen_) browser_->show();
}

void CtesselDlg::OnPaneTopologyReady(uintptr_t wParam, int camera) {
  // While an open runs off the window thread its players say they are
  // ready before the slots hold them: the slots ask again once they do
  // (and an older player's word is of no use any more).
  if (openUnderWay_) return;
  // The slot's player can now place its picture: the pane's view record and
  // aspect mode (the front keeps the aspect by the settings, the rear always).
  if (camera == 0 || camera == 1) {
    SetSlotAspect(camera, camera == frontPaneIndex_ ? keepAspect_ : true);
    RedrawViews();
  }
  messages_.Send(kMsgPaneTopologyReady, wParam, camera);
}

// ---------------------------------------------------------------- timers and commands

void CtesselDlg::OnTimer(int id) {
  switch (id) {
    case kTimerOpenSelection: OnOpenTimer(); break;
    case kTimerOpenTimeout: OnOpenTimeout(); break;
    case kTimerPlaybackTick: OnTick(); break;
    case kTimerRateDebounce:
      timers_.Kill(id);
      break;
    case kTimerBindPause: OnBindPause(); break;
    case kTimerAfterMove:
      timers_.Kill(id);
      RebuildScaledResources();
      LayoutChildren();
      RefitToMonitor();
      Port().Post(kMsgResetZoomView, 0, frontPaneIndex_);
      break;
    case kTimerIdle: FollowProbe(); break;
    default:  // 100 (playback tick); Qt runs its own idle work
      break;
  }
}

void CtesselDlg::OnCommand(int id) {
  switch (id) {
    case kFrameClose:
      Shutdown();
      emit ended();
      break;
    case kFrameMaximise:
      if (Maximised()) {
        Restore();
      } else {
        Maximise();
      }
      break;
    case kFrameMinimise: Minimise(); break;
    case kCmdSettings: ShowSettings(); break;
    default: RunCommand(id); break;
  }
}

void CtesselDlg::ApplyVolume(bool save) {
  if (save) WriteDefaultFolderIni(kIniDisplay, kIniVolume, FormatInt(volume_));
  PlayerApi_SetVolume(selector_, volume_);
  if (volumeSlider_) volumeSlider_->PaintNow(volume_);
}

void CtesselDlg::ResetView(int pane) {
  if (pane < 0 || pane > 1) return;
  views_[pane] = ZoomRecord{};
}

void CtesselDlg::SetSlotAspect(int camera, bool keep) {
  PlayerSlot& slot = PlayerApi_Slot(camera);
  const PlayerSlotTable& table = PlayerApi_Table(camera);
  if (slot.initialised && table.setAspectMode) table.setAspectMode(&slot, 0, keep ? 1 : 0);
}

void CtesselDlg::RedrawViews() { PlayerApi_Redraw(views_.data(), 1); }

VideoPane* CtesselDlg::Pane(int index) const {
  return index >= 0 && index < 2 ? panes_[index].get() : nullptr;
}

QWidget* CtesselDlg::Child(const char* role) const {
  const std::string r = role;
  if (r == "browser") return browser_.get();
  if (r == "info") return infoDlg_.get();
  if (r == "graph") return graphDlg_.get();
  if (r == "settings") return settingDlg_.get();
  if (r == "gauges") return obdDlg_.get();
  if (r == "logo") return logo_.get();
  if (r == "map") return mapWrap_.Dialog();
  if (r == "positionSlider") return positionSlider_.get();
  if (r == "volumeSlider") return volumeSlider_.get();
  if (r == "progress") return progress_.get();
  return nullptr;
}

void CtesselDlg::WatchScreens() {
  auto watch = [this](QScreen* screen) {
    connect(screen, &QScreen::availableGeometryChanged, this,
            [this] { Port().Post(kMsgWorkAreaChanged, kWorkAreaPosChanged, 0); });
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  connect(qApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
    watch(screen);
    Port().Post(kMsgWorkAreaChanged, kWorkAreaPosChanged, 0);
  });
  connect(qApp, &QGuiApplication::screenRemoved, this,
          [this] { Port().Post(kMsgWorkAreaChanged, kWorkAreaPosChanged, 0); });
}

}  // namespace qv
