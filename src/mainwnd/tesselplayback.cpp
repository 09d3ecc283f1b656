// Playback control of the main window: choosing a pair, opening it in both
// player slots, binding its drive data to the graph, the information panel
// and the map, the 30 ms tick, seeking, event points, the button states and
// the command guard, and moving on from pair to pair and folder to folder.
//
// Window thread, except the prepare, prefetch and track threads, which copy
// what they need under the playlist mutex (or take a copy along) and answer
// only by posting, and the open thread, which reads the pair's movies and
// opens their players with the paths it was given; the slots take the
// players on its notice.  No thread is joined while the playlist mutex is
// held: a pair thread takes that mutex itself.  The window thread never
// sleeps: the pause a bind keeps after setting the rate is a timer, with
// the user's input held back until the bind's remaining steps are done.
#include <QApplication>
#include <QTreeWidgetItem>

#include <cmath>
#include <cstring>

#include "browser/filercontainerdlg.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/moviedialog.h"
#include "mainwnd/playbackrules.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/tesseldlg.h"
#include "map/mapscript.h"
#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "panels/obddlg.h"
#include "platform/apphelpers.h"
#include "platform/numtext.h"
#include "player/playermessages.h"
#include "player/playerslot.h"
#include "skin/fonts.h"
#include "skin/msgbox.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

using namespace mainwnd;

namespace {

// The track thread has rebuilt the playlist's GPS track (0 / 0).
constexpr uint32_t kMsgTrackBuilt = kAppRange + 0x520;

QString Ui(int entry) { return QString::fromUtf8(GetUiText(static_cast<UiText>(entry))); }

}  // namespace

// ---------------------------------------------------------------- small helpers

int CtesselDlg::DataRate() const { return PlayerApi_Slot(PlayerApi_GetDataSlot()).rateCode; }

int CtesselDlg::OpenedPlayers() const {
  int n = 0;
  for (int i = 0; i < 2; ++i) n += PlayerApi_Slot(i).opened != 0;
  return n;
}

void CtesselDlg::BeginWait() {
  if (!waitCursor_) setCursor(Qt::WaitCursor);
  waitCursor_ = true;
}

void CtesselDlg::EndWait() {
  if (waitCursor_) unsetCursor();
  waitCursor_ = false;
}

void CtesselDlg::SetCommandsEnabled(bool on) {
  for (auto& b : commandButtons_) {
    if (b) b->setEnabled(on);
  }
}

void CtesselDlg::SyncPlaylist() {
  if (browser_ && browser_->List()) playlist_ = browser_->List()->shownRows;
}

void CtesselDlg::ShowRateLabel() {
  if (!infoDlg_) return;
  const int entry = RateLabelEntry(DataRate());
  infoDlg_->SetRateText(entry ? Ui(entry) : QString());
  infoDlg_->update();
  RepaintInformationBand(false);
}

void CtesselDlg::ApplyDefaultRate() {
  if (!ValidIndex()) return;
  const RecordingEntry& e = playlist_[listIndex_];
  const int code = DefaultRateCode(e.frontName, e.rearName);
  if (DataRate() != code) PlayerApi_SetRate(code);
}

// ---------------------------------------------------------------- messages and timers

AppMessageSink::Handler CtesselDlg::PlaybackHandler(uint32_t m) {
  switch (m) {
    case kMsgPaneTopologyReady: return [this](uintptr_t, intptr_t) { OnTopologyReady(); };
    case kMsgPanePresentationEnded: return [this](uintptr_t, intptr_t) { OnPresentationEnded(); };
    case kMsgPairDataReady: return [this](uintptr_t w, intptr_t) { OnPairPrepared(w); };
    case kMsgPairOpened: return [this](uintptr_t w, intptr_t) { OnPairOpened(w); };
    case qv::kMsgTick: return [](uintptr_t, intptr_t l) { PlayerApi_SeekTo(2, static_cast<int32_t>(l)); };
    case qv::kMsgTickLimit:
      return [this](uintptr_t, intptr_t) {
        inEndHandling_ = true;
        PlayNextFile();
        ContinueInNextFolder();
        inEndHandling_ = false;
      };
    case qv::kMsgSliderDown:
    case qv::kMsgSliderMove:
    case qv::kMsgSliderUp: return [this, m](uintptr_t w, intptr_t l) { OnSlider(m, w, l); };
    case kMsgMapLoaded:
      return [this](uintptr_t, intptr_t) {
        mapPageReady_ = true;
        eventPointsSent_ = false;
        UpdateMapStatus();
        update();
      };
    case kMsgMapPointClicked: return [this](uintptr_t, intptr_t l) { SeekToPosition(l); };
    case kMsgPrevEventMark:
    case kMsgNextEventMark:
      // The first point past the cursor; past the last one, the first from the other end.
      return [this, forward = m == kMsgNextEventMark](uintptr_t, intptr_t) {
        if (IsCommandBlocked() || !graphDlg_) return;
        if (!StepEventPoint(graphDlg_->Cursor(), forward)) StepEventPoint(forward ? -1 : positionMax_ + 1, forward);
      };
    case kMsgInfoItemToggle:
      return [this](uintptr_t w, intptr_t l) {
        const int series = static_cast<int>(w);
        if (!graphDlg_ || series < 0 || series >= kGraphSeriesCount) return;
        graphDlg_->Series(series).shown = graphDlg_->Series(series).clickable = l ? 1 : 0;
        graphDlg_->update();
        if (listIndex_ >= 0) SendEventPoints(listIndex_, false);
      };
    case kMsgSourceGone: return [this](uintptr_t, intptr_t) { OnSourceGone(); };
    case kMsgPlayerError: return [this](uintptr_t w, intptr_t) { OnPlayerError(w); };
    default: return {};
  }
}

void CtesselDlg::RegisterPlaybackHandlers() {
  messages_.On(kMsgTrackBuilt, [this](uintptr_t, intptr_t) {
    // The thread has posted its last word: the join is immediate.
    if (trackThread_.joinable()) trackThread_.join();
    if (std::exchange(trackAgain_, false)) {
      RebuildTrack();
      return;
    }
    // The page draws the list's track also before a pair is chosen; whether
    // the map shows depends on the track too.
    if (mapPageReady_) SendEventPoints(listIndex_, true);
    ApplyLogoAndMapRule();
  });
}

void CtesselDlg::OnOpenTimer() {
  timers_.Kill(kTimerOpenSelection);
  if (!openArmed_) {
    EndWait();
    return;
  }
  openArmed_ = false;
  const int r = OpenSelectedRecording();
  if (r != kOpenUnderWay) FinishOpenTimer(r);
}

void CtesselDlg::FinishOpenTimer(int r) {
  if (r == 1) {
    controlsLockedNearEnd_ = false;
    EndWait();
    return;
  }
  if (r == 0) timers_.Kill(kTimerOpenTimeout);
  UpdateMapPlayStatus();
  opening_ = false;
  const bool later = listIndex_ + 1 < static_cast<int>(playlist_.size());
  if (!openFailed_ || later) continueNextFolder_ = !later;
  if (r == 0 && later) LeaveZoomMode();
  SetCommandsEnabled(true);
  UpdateButtonStates();
  openArmed_ = true;
  EndWait();
}

void CtesselDlg::OnOpenTimeout() {
  timers_.Kill(kTimerOpenTimeout);
  pendingBind_ = 0;
  opening_ = false;
  continueNextFolder_ = false;
  nearEndLatch_ = false;
  EndWait();
  RedrawViews();
  SetCommandsEnabled(true);
  UpdateButtonStates();
  openArmed_ = true;
}

// ---------------------------------------------------------------- choosing a pair

void CtesselDlg::OnListRowSelected(int row) {
  // The notice of the list marking the row playback moved to is no choice.
  if (closing_ || (showingPlayingRow_ && row == listIndex_)) return;
  // The list's selection notice runs with the playlist mutex held.
  SyncPlaylist();
  const bool refiltered = browser_ && browser_->TakeFilterChanged();
  if (row == listIndex_ && !refiltered && (pairBound_ || opening_)) return;
  listIndex_ = row;
  PlayerApi_SetVolume(selector_, 0);
  if (!continueNextFolder_) stoppedAtEnd_ = true;
  if (!SelectListItem()) stoppedAtEnd_ = false;
  if (!continueNextFolder_) ApplyDefaultRate();
}

bool CtesselDlg::SelectListItem() {
  if (!ValidIndex()) return false;
  mapWrap_.trackShown = 0;
  LeavePairFor(kResetPosition | kResetGraph | kResetInfo);
  return true;
}

void CtesselDlg::ShowPlayingRow() {
  if (!browser_) return;
  // The list's own selection moves too, so that a click on the row left
  // is a change of selection again.
  const bool outer = std::exchange(showingPlayingRow_, true);
  browser_->SelectRow(listIndex_, 0);
  showingPlayingRow_ = outer;
}

void CtesselDlg::LeavePairFor(int resets) {
  ShowPlayingRow();
  StopPlayback();
  pairBound_ = false;
  dataPending_ = true;
  if (resets & kResetPosition) UpdatePanels(0);
  if ((resets & kResetGraph) && graphDlg_) {
    graphDlg_->SetScaleMode(0);
    graphDlg_->update();
  }
  if ((resets & kResetInfo) && infoDlg_) {
    infoDlg_->ResetValues();
    infoDlg_->update();
  }
  if (!inEndHandling_) UpdateButtonStates();
  ArmOpen();
}

void CtesselDlg::CancelOpen() {
  timers_.Kill(kTimerOpenSelection);
  if (opening_) {
    timers_.Kill(kTimerOpenTimeout);
    opening_ = false;
    EndWait();
  }
}

void CtesselDlg::ArmOpen() {
  ++prepareGeneration_;  // a prepare under way belongs to the row being left
  DropOpen();            // and so does an open
  CancelOpen();
  if (!openArmed_) return;
  opening_ = true;
  BeginWait();
  SetCommandsEnabled(false);
  timers_.Set(kTimerOpenTimeout, kOpenTimeoutMs);
  timers_.Set(kTimerOpenSelection, kOpenSelectionMs);
}

void CtesselDlg::StopForSwitch() {
  timers_.Kill(kTimerPlaybackTick);
  if (positionSlider_) positionSlider_->SetSliderEnabled(true);
  controlsLockedNearEnd_ = false;
  pairBound_ = false;
  pendingTarget_ = -1;
  // A prepare thread or an open still under way belongs to the pair being left.
  ++prepareGeneration_;
  DropOpen();
  if (QWidget* grab = QWidget::mouseGrabber()) grab->releaseMouse();
  PlayerApi_FreeDriveData();
  // The old pipelines stop off the window thread (PlayerApi_Close, which
  // the file commands call next, waits for them).
  PlayerApi_CloseApart();
  if (graphDlg_) graphDlg_->update();
  readyCount_ = endedCount_ = 0;
}

int CtesselDlg::OpenSelectedRecording() {
  StopForSwitch();
  SetCommandsEnabled(false);
  if (!ValidIndex()) return 0;
  openQuiet_ = pendingBind_ != 0;
  openFailed_ = false;
  timers_.Kill(kTimerOpenTimeout);
  openEntry_ = playlist_[listIndex_];
  openSerial_ = BeginOpenErrors();
  // Reading the movies and waiting for their players' first frames would
  // hold the window: a thread does it, and the slots take the players on
  // its notice (OnPairOpened).
  openWanted_ = PlayerApi_BeginOpenPair(openEntry_.frontPath, openEntry_.rearPath);
  ++openTicket_;
  openUnderWay_ = true;
  LaunchOpen();
  return kOpenUnderWay;
}

void CtesselDlg::LaunchOpen() {
  if (!openWanted_ || opener_.Busy()) return;
  TakeStoppedOpen();
  openRunTicket_ = openTicket_;
  opener_.Start(Port(), kMsgPairOpened, openRunTicket_,
                [pair = std::exchange(openWanted_, nullptr)](PairOpening& r, const std::atomic<bool>& cancel) mutable {
                  PlayerApi_RunOpenPair(*pair, cancel);
                  r.pair = std::move(pair);
                });
}

void CtesselDlg::TakeStoppedOpen() {
  // An open stopped after it had opened its players: they close off the
  // window thread too.
  const std::unique_ptr<PairOpening> stopped = opener_.Take();
  if (stopped && stopped->pair) PlayerApi_CloseOpenedPair(*stopped->pair);
}

void CtesselDlg::DropOpen() {
  if (!openUnderWay_) return;
  openUnderWay_ = false;
  ++openTicket_;  // its notice, queued or to come, is dropped
  openWanted_.reset();
  opener_.cancel = true;
  openArmed_ = true;
  CancelOpen();
}

void CtesselDlg::OnPairOpened(uintptr_t ticket) {
  if (ticket != openTicket_) {
    // A stopped open ended: the one asked for meanwhile starts now.
    if (ticket == openRunTicket_) {
      TakeStoppedOpen();
      LaunchOpen();
    }
    return;
  }
  openUnderWay_ = false;
  const std::unique_ptr<PairOpening> done = opener_.Take();
  const int r = done && done->pair ? PlayerApi_TakeOpenedPair(*done->pair) : 0;
  // The players' own ready messages came while the slots did not hold them.
  if (r == 1) PlayerApi_RepeatReadyMessages();
  FinishOpenTimer(AfterPairOpened(r));
}

int CtesselDlg::AfterPairOpened(int r) {
  const RecordingEntry entry = openEntry_;
  const uint64_t serial = openSerial_;
  const bool quiet = openQuiet_;
  ++openCount_;
  timers_.Set(kTimerOpenTimeout, kOpenTimeoutMs);
  if (r == 1) {
    RedrawViews();
    // A pane whose camera did not open says so.
    for (auto& pane : panes_)
      if (pane) pane->update();
    if (moviePopout_) moviePopout_->SetCaption(frontPaneIndex_ == 1 ? UiText::ColumnFront : UiText::RearCameraCaption);
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    // A camera that did not open is told of once; the other plays on.  The
    // player's messages of this open waited for its result.
    failedFor_ = serial;
    failedMovies_ = FailedMovies(entry);
    if (!failedMovies_.empty() || !PlayerErrorText(serial).empty())
      Port().Post(kMsgPlayerError, static_cast<uintptr_t>(serial), 0);
    return 1;
  }
  const bool tooShort = r == 2;
  pendingBind_ = 0;
  ApplyLogoAndMapRule();
  // The pair's one message is the box below, or none while playback moves
  // on by itself to the next pair.
  errorShownFor_ = serial;
  if (continueNextFolder_) {
    openArmed_ = true;
    openFailed_ = true;
  } else if (!quiet) {
    RedrawViews();
    openFailed_ = true;
    const std::string head = GetUiText(tooShort ? UiText::MovieTooShort : UiText::MovieOpenFailed);
    ShowCommandBox(PairOpenMessage(head, PlayerErrorText(serial), tooShort ? std::vector<std::string>{}
                                                                           : FailedMovies(entry)),
                   "ERROR", 0);
    UpdateButtonStates();
    return 0;
  } else {
    openArmed_ = true;
    if (listIndex_ + 1 < static_cast<int>(playlist_.size())) {
      PlayNextFile();
      return 3;
    }
    continueNextFolder_ = true;
  }
  ContinueInNextFolder();
  return tooShort ? 2 : 0;
}

// ---------------------------------------------------------------- the player's messages

void CtesselDlg::InstallPlayerErrorSink() {
  PlayerApi_SetErrorSink([errors = playerErrors_, port = Port()](const std::string& text, const std::string&) {
    uint64_t serial = 0;
    {
      std::lock_guard<std::mutex> lock(errors->mutex);
      serial = errors->serial;
      if (errors->textSerial != serial) {
        errors->textSerial = serial;
        errors->text = text;
      }
    }
    port.Post(kMsgPlayerError, static_cast<uintptr_t>(serial), 0);
  });
}

uint64_t CtesselDlg::BeginOpenErrors() {
  std::lock_guard<std::mutex> lock(playerErrors_->mutex);
  return ++playerErrors_->serial;
}

std::string CtesselDlg::PlayerErrorText(uint64_t serial) {
  std::lock_guard<std::mutex> lock(playerErrors_->mutex);
  return playerErrors_->textSerial == serial ? playerErrors_->text : std::string();
}

std::vector<std::string> CtesselDlg::FailedMovies(const RecordingEntry& entry) {
  std::vector<std::string> failed;
  for (int i = 0; i < 2; ++i) {
    const std::string& path = i == 0 ? entry.frontPath : entry.rearPath;
    if (!path.empty() && !PlayerApi_Slot(i).opened) failed.push_back(path);
  }
  return failed;
}

void CtesselDlg::OnPlayerError(uint64_t serial) {
  // Once per open, however many cameras or messages it had; those of the
  // open under way wait for its result.
  if (closing_ || serial <= errorShownFor_ || (openUnderWay_ && serial == openSerial_)) return;
  errorShownFor_ = serial;
  ShowCommandBox(PairOpenMessage(GetUiText(UiText::MovieOpenFailed), PlayerErrorText(serial),
                                 failedFor_ == serial ? failedMovies_ : std::vector<std::string>{}),
                 "ERROR", 0);
}

// ---------------------------------------------------------------- opened, prepared, bound

void CtesselDlg::OnTopologyReady() {
  // One notice per opened player: a pair with one camera counts one.
  if (!CountPairNotice(readyCount_, OpenedPlayers())) return;
  timers_.Kill(kTimerOpenTimeout);
  timers_.Kill(kTimerOpenSelection);
  openArmed_ = true;
  nearEndLatch_ = false;
  controlsLockedNearEnd_ = true;
  if (listIndex_ >= 0) {
    // The panel's clock runs on the data slot's view factor (milliseconds
    // per position); the duration is only the positions' range.
    if (infoDlg_) infoDlg_->SetSlotTime(PlayerApi_GetViewFactor(selector_));
    ShowRateLabel();
    RedrawViews();
    PlayerApi_RefreshFrame(selector_);
    // The first frame shows now, before the thread that reads the drive
    // data starts (a later repaint could come after the bind).
    for (auto& pane : panes_)
      if (pane && pane->isVisible()) pane->repaint();
  }
  const int bind = std::exchange(pendingBind_, 0);
  continueNextFolder_ = false;
  if (bind == 0) {
    connected_ = false;  // the new pair's position has not been shown yet
    StartPrefetch(true);
  } else if (!BindAndStart()) {
    startFailed_ = true;
  }
  if (moviePopout_ && moviePopout_->isVisible()) moviePopout_->raise();
}

void CtesselDlg::StartPrefetch(bool current) {
  if (browser_ && browser_->Scanner().removed) return;
  // Joining happens here, on the window thread, with the playlist mutex
  // free: the thread being joined may be waiting for it.
  const uint64_t generation = prepareGeneration_;
  // The prepare thread reads the head the bind needs too.
  std::shared_ptr<PreparedHead> head;
  if (current) {
    head = std::make_shared<PreparedHead>();
    head->generation = generation;
    preparedHead_ = head;
  }
  threads_.StartPairThread(current ? WindowThreads::kPrepare : WindowThreads::kPrefetch,
                           [this, current, generation, head, port = Port()] {
                             std::string front, rear;
                             {
                               std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
                               const int i = listIndex_ + (current ? 0 : 1);
                               if (i < 0 || i >= static_cast<int>(playlist_.size())) return;
                               front = playlist_[i].frontPath;
                               rear = playlist_[i].rearPath;
                             }
                             // Without a front movie the rear's data is read.
                             PlayerApi_PrefetchDriveData(front.empty() ? nullptr : front.c_str(), rear.c_str());
                             if (!current) return;
                             head->path = front.empty() ? rear : front;
                             head->ok = PlayerApi_ReadDriveDataHead(&head->head, head->path) != 0;
                             head->done = true;
                             port.Post(kMsgPairDataReady, generation, 0);
                           });
}

void CtesselDlg::OnPairPrepared(uint64_t generation) {
  // A completion of a thread started for a pair since left binds nothing.
  if (generation != prepareGeneration_ || pairBound_) return;
  pairBound_ = true;
  if (opening_) {
    if (openArmed_) timers_.Kill(kTimerOpenTimeout);
    opening_ = false;
    EndWait();
  }
  UpdateButtonStates();
  if (!ValidIndex()) return;
  const RecordingEntry& e = playlist_[listIndex_];
  // A pair without GPS samples plays on with empty panels.
  const bool hasData = PlayerApi_LoadDriveData(e.frontPath, e.rearPath) != 0;
  PlayerApi_SetVolume(selector_, volume_);
  SetRateThenBind(BindRest::kPrepared, hasData);
}

void CtesselDlg::FinishPreparedBind(bool hasData) {
  if (startFailed_ || continueNextFolder_) {
    startFailed_ = continueNextFolder_ = false;
    if (StartIfPaused()) SetPlayButtonState(true);
    UpdateButtonStates();
  } else if (!fullScreen_) {
    SetPlayButtonState(false);
  }
  dataPending_ = false;
  StartPlayback(hasData);
}

int CtesselDlg::BindAndStart() {
  if (ValidIndex() && !pairBound_) {
    pairBound_ = true;
    const RecordingEntry& e = playlist_[listIndex_];
    const bool hasData = PlayerApi_LoadDriveData(e.frontPath, e.rearPath) != 0;
    dataPending_ = false;
    PlayerApi_SetVolume(selector_, volume_);
    SetRateThenBind(BindRest::kStart, hasData);
    return 1;
  }
  const int started = ValidIndex() ? StartIfPaused() : 0;
  EndBindAndStart(started);
  return started;
}

void CtesselDlg::FinishBindAndStart(bool hasData) {
  const int started = StartIfPaused();
  StartPlayback(hasData);
  EndBindAndStart(started);
  if (!started) startFailed_ = true;
}

void CtesselDlg::EndBindAndStart(int started) {
  timers_.Kill(kTimerOpenTimeout);
  opening_ = false;
  EndWait();
  SetPlayButtonState(started != 0);
}

void CtesselDlg::SetRateThenBind(BindRest rest, bool hasData) {
  PlayerApi_SetRate(DataRate());
  // The bind goes on after a pause, which the window waits out on a timer,
  // painting and taking messages; what the user presses meanwhile comes
  // after the bind's remaining steps.
  bindRest_ = rest;
  bindHasData_ = hasData;
  bindGeneration_ = prepareGeneration_;
  inputHold_.Hold();
  timers_.Set(kTimerBindPause, kRateChangePauseMs);
}

void CtesselDlg::OnBindPause() {
  timers_.Kill(kTimerBindPause);
  const BindRest rest = std::exchange(bindRest_, BindRest::kNone);
  // A pair left meanwhile (a new selection, a reset) is bound no further.
  if (bindGeneration_ == prepareGeneration_ && pairBound_ && ValidIndex()) {
    if (rest == BindRest::kPrepared) FinishPreparedBind(bindHasData_);
    if (rest == BindRest::kStart) FinishBindAndStart(bindHasData_);
  } else if (rest == BindRest::kStart && !openUnderWay_ && !timers_.IsSet(kTimerOpenSelection)) {
    EndBindAndStart(0);  // a reset, which opens nothing that would end the opening
  }
  inputHold_.Release();
}

void CtesselDlg::StartPlayback(bool hasData) {
  if (!ValidIndex()) return;
  ++bindCount_;
  RecordingEntry& e = playlist_[listIndex_];
  int resolution = PlayerApi_GetResolutionClass(0);
  if (resolution == 0) resolution = PlayerApi_GetResolutionClass(1);
  if (infoDlg_) {
    infoDlg_->SetResolutionClass(resolution);
    infoDlg_->SetStartTime(e.startTime);
    infoDlg_->SetHasData(1);
  }
  invalidPosition_ = false;
  if (hasData) BindDriveData();
  positionMax_ = PlayerApi_GetDuration(selector_);
  if (positionSlider_) positionSlider_->SetRange(0, static_cast<int>(positionMax_));
  eventPointsSent_ = false;
  if (SendEventPoints(listIndex_, false)) eventPointsSent_ = mapPageReady_;
  ShowRateLabel();
  if (infoDlg_) infoDlg_->SetSlotTime(PlayerApi_GetViewFactor(selector_));
  SetVolume(volume_);
  SetPosition(0);
  mapWrap_.ExecScript("orbitgrplist.MoveMarker()");
  ApplyLogoAndMapRule();  // a new pair: the map or the logo by its data
  pendingTarget_ = -1;
  timers_.Set(kTimerPlaybackTick, kPlaybackTickMs);
  StartPrefetch(false);
}

bool CtesselDlg::BindDriveData() {
  const int margin = T(S(), 40);
  if (graphDlg_) {
    graphDlg_->SetMargin(margin);
    graphDlg_->SetTileSpacing(CGSensorDlg::TileSpacingFor(margin));
    graphDlg_->SetPositionRange(static_cast<int>(positionMax_));
    graphDlg_->SetCursor(0);
  }
  const int slot = PlayerApi_GetDataSlot();
  if (!PlayerSlot_CopyDriveData(&PlayerApi_Slot(slot)) || !ValidIndex()) {
    UpdateButtonStates();
    if (PlayerApi_GetState(selector_) != kSlotPlaying) PlayerApi_SeekTo(selector_, 0);
    return false;
  }
  RecordingEntry& e = playlist_[listIndex_];
  double largest = 0.0;
  {
    DriveDataView view;
    if (view.Gps() && !view.Gps()->empty()) {
      const GpsSample& first = view.Gps()->front();
      e.startTime = first.localTime;
      invalidPosition_ = first.latitude > 360.0 || first.longitude > 360.0;
    }
    if (view.Sensors()) {
      for (const SensorSample& s : *view.Sensors())
        largest = std::max({largest, std::fabs(s.gX), std::fabs(s.gY), std::fabs(s.gZ)});
    }
  }
  const float vf = PlayerApi_GetViewFactor(selector_);
  e.sortValue = vf != 0.0f ? 1000.0f / vf : 0.0f;
  if (infoDlg_) {
    infoDlg_->SetStartTime(e.startTime);
    infoDlg_->SetHasData(1);
    infoDlg_->SetTimeLapse(TimeLapseName(e.frontPath.empty() ? e.rearName : e.frontName) ? 1 : 0);
  }
  // The head of the pair's first movie, as the prepare thread read it (the
  // bind without one reads it here).
  DriveDataHead head;
  const std::string& headPath = e.frontPath.empty() ? e.rearPath : e.frontPath;
  const std::shared_ptr<PreparedHead> prepared = preparedHead_;
  const bool headRead = prepared && prepared->done && prepared->generation == prepareGeneration_ &&
                                prepared->path == headPath
                            ? (head = prepared->head, prepared->ok)
                            : PlayerApi_ReadDriveDataHead(&head, headPath) != 0;
  if (headRead) {
    gpsFlag_ = head.byte27 != 0;
    for (int i = 0; i < 3 && graphDlg_; ++i) {
      if (head.thresholds[i] > 0) graphDlg_->Series(i).threshold = head.thresholds[i];
    }
  } else {
    gpsFlag_ = true;
  }
  if (graphDlg_) {
    graphDlg_->SetScaleMode(ScaleModeForMaxG(largest));
    graphDlg_->SetHasData(1);
    graphDlg_->update();
  }
  UpdateButtonStates();
  if (PlayerApi_GetState(selector_) != kSlotPlaying) PlayerApi_SeekTo(selector_, 0);
  return true;
}

// ---------------------------------------------------------------- start, stop, sequence

int CtesselDlg::StartIfPaused() {
  const int state = PlayerApi_GetState(selector_);
  if (state == kSlotClosed || state == kSlotPlaying) return 0;
  const int r = PlayerApi_Start(selector_);
  if (r) stoppedAtEnd_ = false;
  mapWrap_.SetStatusText("");
  return r;
}

void CtesselDlg::PauseAndShow() {
  if (PlayerApi_GetState(selector_) != kSlotPlaying) return;
  PlayerApi_Pause(selector_);
  SetPlayButtonState(false);
  mapWrap_.SetStatusText("pause");
}

void CtesselDlg::StopPlayback() {
  const int state = PlayerApi_GetState(selector_);
  if (state != kSlotPlaying && state != kSlotPaused) return;
  std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
  bool anyStopped = false;
  for (int i = 0; i < 2; ++i) {
    PlayerSlot& slot = PlayerApi_Slot(i);
    if (slot.initialised && PlayerApi_Table(i).stop) anyStopped |= PlayerApi_Table(i).stop(&slot) != 0;
  }
  if (!inEndHandling_) SetPlayButtonState(!anyStopped);
  mapWrap_.SetPlayStatus(2);
}

void CtesselDlg::PlayNextFile() {
  std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
  if (!ValidIndex()) return;
  const RecordingEntry& here = playlist_[listIndex_];
  const int hereDefault = DefaultRateCode(here.frontName, here.rearName);
  if (listIndex_ + 1 < static_cast<int>(playlist_.size())) {
    const bool followDefault = DataRate() == hereDefault;
    ++listIndex_;
    if (followDefault) {
      ApplyDefaultRate();
      ShowRateLabel();
    }
    if (infoDlg_) infoDlg_->SetHasData(0);
    stoppedAtEnd_ = false;
    LeavePairFor(kResetGraph);
    return;
  }
  QTreeWidgetItem* folder = browser_ && browser_->Tree() ? browser_->Tree()->currentItem() : nullptr;
  QTreeWidgetItem* parent = folder ? folder->parent() : nullptr;
  const bool nextFolder =
      folder && (parent ? parent->indexOfChild(folder) + 1 < parent->childCount()
                        : browser_->Tree()->indexOfTopLevelItem(folder) + 1 < browser_->Tree()->topLevelItemCount());
  if (nextFolder) {
    PlayerApi_Pause(selector_);
    PlayerApi_SetVolume(selector_, volume_);
    ShowRateLabel();
    if (!inEndHandling_) StopPlayback();
  } else {
    if (DataRate() != hereDefault) PlayerApi_SetRate(hereDefault);
    stoppedAtEnd_ = true;
    LeavePairFor(kResetPosition);  // the last pair again, from its start
  }
  continueNextFolder_ = true;
}

void CtesselDlg::PlayPreviousFile() {
  std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
  if (listIndex_ >= 1 && ValidIndex()) {
    --listIndex_;
    LeavePairFor(kResetPosition | kResetGraph);
  } else if (listIndex_ == 0) {
    ApplyDefaultRate();
    StopPlayback();
    PlayerApi_SeekAlt(selector_, 0);
    RedrawViews();
    SetPosition(0);
  }
}

void CtesselDlg::OnPresentationEnded() {
  if (!CountPairNotice(endedCount_, OpenedPlayers())) {
    if (endedCount_ > 0) timers_.Set(kTimerOpenTimeout, kOpenTimeoutMs);
    return;
  }
  timers_.Kill(kTimerOpenTimeout);
  if (stoppedAtEnd_) return;
  inEndHandling_ = true;
  PlayNextFile();
  ContinueInNextFolder();
  inEndHandling_ = false;
}

void CtesselDlg::ContinueInNextFolder() {
  if (!continueNextFolder_ || !browser_ || !browser_->Tree()) return;
  CFolderTreeCtrl* tree = browser_->Tree();
  QTreeWidgetItem* folder = tree->currentItem();
  QTreeWidgetItem* parent = folder ? folder->parent() : nullptr;
  QTreeWidgetItem* next = nullptr;
  if (folder) {
    next = parent ? parent->child(parent->indexOfChild(folder) + 1)
                  : tree->topLevelItem(tree->indexOfTopLevelItem(folder) + 1);
  }
  if (next) {
    // The tree's notice runs the folder selection, which plays the first pair.
    tree->setCurrentItem(next);
    return;
  }
  // The end of the last folder: zoom mode ends, and full screen too unless
  // the picture stands at the end.
  continueNextFolder_ = false;
  LeaveZoomMode();
  if (fullScreen_ && PlayerApi_GetPosition(selector_) + 10 < PlayerApi_GetDuration(selector_)) {
    fullScreen_ = false;
    ApplyFullScreen();
    return;
  }
  if (!fullScreen_) LayoutChildren();
  SetPlayButtonState(PlayerApi_GetState(selector_) == kSlotPlaying);
}

void CtesselDlg::OnFolderSelected(QTreeWidgetItem* item, bool byUser) {
  if (closing_ || !browser_ || browser_->Clearing() || !item) return;
  if (!byUser && !continueNextFolder_) return;
  // The folder is chosen: playback stops and the panel reads the folder off
  // the window thread.  The rest waits for its rows (OnFolderFilled).
  const bool continuing = continueNextFolder_;
  const int state = PlayerApi_GetState(selector_);
  if (state != kSlotClosed) {
    if (state != kSlotPaused) PlayerApi_Pause(selector_);
    if (!inEndHandling_) StopPlayback();
  }
  if (!continuing) ApplyDefaultRate();
  // ResetPlayback joins the pair threads: never with the playlist mutex held.
  ResetPlayback();
  // An open armed for the old list has nothing left to open.
  CancelOpen();
  bool reading = false;
  {
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    reading = browser_->OnFolderSelected(item);
    SyncPlaylist();
  }
  folderContinuing_ = continuing;
  if (!inEndHandling_) {
    SetPlayButtonState(false);
    UpdateButtonStates();
  }
  // An item that names no folder leaves the list as it was.
  if (!reading) OnFolderFilled(true);
}

void CtesselDlg::OnFolderFilled(bool chosen) {
  if (closing_ || !browser_) return;
  {
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    SyncPlaylist();
  }
  if (!chosen) {
    // The folder a source opens with: its track is built and the map
    // follows it, but no pair opens that the user did not choose.
    RebuildTrack();
    UpdateButtonStates();
    return;
  }
  const bool continuing = std::exchange(folderContinuing_, false);
  if (browser_->List() && !browser_->List()->allRows.empty()) dataPending_ = false;
  UpdateButtonStates();
  if (playlist_.empty()) {
    continueNextFolder_ = true;
    ContinueInNextFolder();
    return;
  }
  RebuildTrack();
  pendingBind_ = continuing ? 1 : 0;
  continueNextFolder_ = continuing;
  browser_->SelectRow(0, 1);
  if (listIndex_ != 0) {
    // The list kept row 0 selected: no notice came, so choose it here.
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    OnListRowSelected(0);
  }
  SendEventPoints(listIndex_, true);
}

void CtesselDlg::ResetPlayback() {
  if (infoDlg_) infoDlg_->SetHasData(0);
  positionMax_ = 0;
  if (positionSlider_) {
    // An empty bar: the last pair's position goes with its range.
    positionSlider_->SetRange(0, 0);
    positionSlider_->PaintNow(0);
  }
  timers_.Kill(kTimerPlaybackTick);
  ShowRateLabel();
  PlayerApi_FreeDriveData();
  PlayerApi_CloseApart();
  ++prepareGeneration_;
  DropOpen();
  threads_.JoinPairThreads();
  pairBound_ = false;
  dataPending_ = true;
  openFailed_ = false;
  connected_ = false;
  invalidPosition_ = false;
  mapWrap_.trackShown = 0;
  mapWrap_.curPos = -1;
  mapWrap_.ShowMap(false);
  {
    std::lock_guard<std::mutex> lock(eventPointMutex_);
    eventPoints_.clear();
  }
  eventPointsSent_ = false;
  if (graphDlg_) {
    // No curves and the cursor back at the start, as before any pair.
    graphDlg_->SetScaleMode(0);
    graphDlg_->SetHasData(0);
    graphDlg_->SetPositionRange(0);
    graphDlg_->SetCursor(0);
    graphDlg_->update();
  }
  if (infoDlg_) infoDlg_->ResetValues();
  PlayerApi_PrefetchDriveData(nullptr, nullptr);
  listIndex_ = -1;
  openArmed_ = true;
  if (!fullScreen_) LayoutChildren();
}

void CtesselDlg::RebuildTrack() {
  // Reading every file of the list takes long: a thread builds the track
  // from a copy and the window redraws it when told.  While one build runs,
  // the next waits for its end (the window thread never waits for it).
  if (trackThread_.joinable()) {
    trackAgain_ = true;
    return;
  }
  std::vector<RecordingEntry> copy;
  {
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    copy = playlist_;
  }
  trackThread_ = std::jthread([entries = std::move(copy), port = Port()](std::stop_token stop) {
    PlayerApi_FreeTrackObject();
    PlayerApi_BuildTrackList(entries, stop);
    port.Post(kMsgTrackBuilt);
  });
}

// ---------------------------------------------------------------- browser notices

void CtesselDlg::OnFilterClicked(int index) { OnFilterButton(kFilterButtonFirst + index); }

void CtesselDlg::OnFilterButton(int id) {
  // The one handler of the five filter buttons, whether the panel or the
  // command table reached it.  It does what both descriptions of the
  // buttons ask: the filter flips with the window's updates held, the
  // panel selects row 0 again (which reopens it), the playlist's track is
  // rebuilt and the map redrawn when it is ready; an emptied list stops and
  // resets playback with the old pair's default rate, the front camera in
  // the main pane and the play look.
  const int index = id - kFilterButtonFirst;
  if (closing_ || !browser_ || index < 0 || index >= kFilterCount) return;
  setFocus();
  int oldDefault = 0;
  if (ValidIndex()) oldDefault = DefaultRateCode(playlist_[listIndex_].frontName, playlist_[listIndex_].rearName);
  setUpdatesEnabled(false);
  browser_->SetFilter(index, !browser_->FilterButton(index)->Latched());
  setUpdatesEnabled(true);
  {
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    SyncPlaylist();
  }
  RebuildTrack();
  if (playlist_.empty()) {
    if (PlayerApi_GetState(selector_) != kSlotPaused) PlayerApi_Pause(selector_);
    StopPlayback();
    if (oldDefault != 0 && DataRate() != oldDefault) PlayerApi_SetRate(oldDefault);
    ResetPlayback();
    PlaceCameras(0);  // the front camera back in the main window, its slot with it
    if (!fullScreen_) SetPlayButtonState(false);
    UpdateButtonStates();
    if (infoDlg_) {
      infoDlg_->ResetValues();
      infoDlg_->update();
    }
  } else if (browser_->List()) {
    browser_->List()->viewport()->update();
  }
  clearFocus();
}

void CtesselDlg::OnSourceUnreadable(const std::string& path, int error) {
  if (closing_) return;
  // A card that fails to read: say so with the system's reason, so that its
  // recordings are not taken for cut-short ones.
  const QString text = Ui(static_cast<int>(UiText::MovieOpenFailed)) + QStringLiteral("\n") +
                       QString::fromStdString(path) + QStringLiteral("\n") + QString::fromLocal8Bit(std::strerror(error));
  CMsgBox(this).Show(text, QStringLiteral("ERROR"), 0);
}

void CtesselDlg::OnSourceOpened() {
  notACard_ = !browser_ || browser_->Mode() != SourceMode::kDrive;
  UpdateButtonStates();
}

void CtesselDlg::OnSourceGone() {
  if (closing_) return;
  pairBound_ = false;
  if (PlayerApi_GetState(selector_) != kSlotPaused) PlayerApi_Pause(selector_);
  StopPlayback();
  ResetForNewSource();
  update();
  // The program ran from the card that went: it ends.
  if (!programFile_.empty() && !PathExists(programFile_)) {
    Shutdown();
    emit ended();
  }
}

// ---------------------------------------------------------------- buttons, guard, volume

void CtesselDlg::UpdateButtonStates() {
  if (!browser_ || !browser_->List() || busy_ || ReadingCommandRows()) return;
  ButtonStateInput in;
  in.notACard = notACard_;
  in.rows = static_cast<int>(playlist_.size());
  in.currentRow = listIndex_;
  in.playState = PlayerApi_GetState(selector_);
  const int data = PlayerApi_GetDataSlot();
  in.dataReady = PlayerApi_Slot(data).dataReady != 0 || (pairBound_ && in.playState != kSlotClosed);
  in.rateIndex = PlayerApi_Slot(data).rateCode;
  in.sourceMode = static_cast<int>(browser_->Mode());
  in.rearOpenResult = PlayerApi_Slot(1).opened;
  const ButtonStates on = DecideButtonStates(in);
  for (int i = 0; i < kCommandButtonCount; ++i) {
    if (commandButtons_[i]) commandButtons_[i]->setEnabled(on[i]);
  }
  for (auto& b : frameButtons_) {
    if (b) b->setEnabled(true);
  }
  if (infoDlg_) infoDlg_->setEnabled(true);
  browser_->setEnabled(true);
}

bool CtesselDlg::IsCommandBlocked() {
  GuardInput in;
  in.nearEndLatch = nearEndLatch_;
  in.pairOpen = PlayerApi_GetState(selector_) != kSlotClosed;
  in.playState = PlayerApi_GetState(selector_);
  in.position = PlayerApi_GetPosition(selector_);
  in.length = PlayerApi_GetDuration(selector_);
  in.rateIndex = DataRate();
  in.viewFactor = PlayerApi_GetViewFactor(selector_);
  if (!mainwnd::IsCommandBlocked(in)) return false;
  nearEndLatch_ = true;
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  return true;
}

void CtesselDlg::SetPlayButtonState(bool playing) {
  playButtonPlaying_ = playing;
  if (!fullScreen_) ShowPlayButtonFace();
  if (!busy_) UpdateButtonStates();
}

void CtesselDlg::SetVolume(int volume) {
  volume = std::clamp(volume, 0, kVolumeMax);
  // Each pair's start sets the volume again: only a new one is written.
  ApplyVolume(std::exchange(volume_, volume) != volume);
}

void CtesselDlg::UpdateMapPlayStatus() {
  // Once the map page is up, a row the list shows as current and nobody
  // has opened yet is opened.
  if (!mapRowSelected_ && mapPageReady_ && listIndex_ < 0 && browser_ && browser_->List()) {
    const int row = browser_->List()->currentRow;
    if (row >= 0 && row < browser_->List()->ItemCount()) {
      mapRowSelected_ = true;
      std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
      OnListRowSelected(row);
      return;
    }
  }
  switch (PlayerApi_GetState(selector_)) {
    case kSlotPlaying: break;
    case kSlotPaused: mapWrap_.SetStatusText("pause"); break;
    default: mapWrap_.SetPlayStatus(2); break;
  }
}

// ---------------------------------------------------------------- tick, position, seeking

void CtesselDlg::OnTick() {
  const int state = PlayerApi_GetState(selector_);
  if (state == kSlotOpened || state == kSlotPaused) {
    mapWrap_.ConnectTest();
    return;
  }
  if (state == kSlotPlaying) {
    const bool blocked = IsCommandBlocked();
    if (blocked && !controlsLockedNearEnd_) {
      if (positionSlider_) positionSlider_->SetSliderEnabled(false);
      SetCommandsEnabled(false);
      controlsLockedNearEnd_ = true;
    } else if (!blocked && controlsLockedNearEnd_) {
      if (positionSlider_) positionSlider_->SetSliderEnabled(true);
      UpdateButtonStates();
      controlsLockedNearEnd_ = false;
    }
  }
  const int64_t shown = TickDisplayPosition(PlayerApi_GetPosition(selector_), pendingTarget_,
                                            PlayerApi_GetDataSlotDuration(), DataRate());
  if (shown >= 0) {
    SetPosition(shown);
    pendingTarget_ = -1;
  }
  UpdateMapStatus();
}

void CtesselDlg::SetPosition(int64_t pos) {
  pos = ClampDisplay(pos, 0, positionMax_);
  pendingTarget_ = pos;
  // The map page reads the position to split the track into driven and
  // remaining parts and to place its marker.
  mapWrap_.curPos = static_cast<int32_t>(pos);
  bool parking = ValidIndex() && playlist_[listIndex_].parking != 0;
  bool haveLatLng = false;
  double lat = 0.0, lng = 0.0;
  {
    DriveDataView view;
    const SensorSample* sample = nullptr;
    if (view.TimeIndex() && view.Sensors() && pos >= 0 && pos < static_cast<int64_t>(view.TimeIndex()->size()))
      sample = (*view.TimeIndex())[static_cast<size_t>(pos)];
    if (infoDlg_) {
      if (sample) {
        infoDlg_->SetG(sample->gX, sample->gY, sample->gZ);
        infoDlg_->SetStateLetter(sample->extra87);
        if (const GpsSample* g = sample->gps) {
          if (parking) {
            infoDlg_->SetSpeed(-1.0);
          } else if (g->latitude <= 360.0 && g->longitude <= 360.0) {
            haveLatLng = true;
            lat = g->latitude;
            lng = g->longitude;
            infoDlg_->SetSpeed(g->speed);
          }
          infoDlg_->SetFix(g->valid);
          infoDlg_->SetVoltage(sample->number88);
        } else {
          infoDlg_->SetFix(0);
        }
      } else {
        infoDlg_->ClearG();
        infoDlg_->SetFix(0);
        if (parking) infoDlg_->SetSpeed(-1.0);
      }
    }
  }
  // The map's visibility follows the marker flag, and the first answer of
  // the connection while a position is shown lets the map take the logo's
  // place.
  bool visibilityChanged = false;
  if (!dataPending_) {
    const int track = gpsFlag_ ? 1 : 0;
    visibilityChanged = track != mapWrap_.trackShown;
    mapWrap_.trackShown = track;
  }
  if (haveLatLng) {
    mapWrap_.SetPosition(lat, lng);
    if (!connected_ && mapWrap_.ConnectTest()) {
      connected_ = true;
      visibilityChanged = true;
    }
  }
  if (visibilityChanged) ApplyLogoAndMapRule();
  UpdatePanels(pos);
}

void CtesselDlg::UpdatePanels(int64_t pos) {
  if (positionSlider_) positionSlider_->PaintNow(static_cast<int>(pos));
  if (graphDlg_) {
    graphDlg_->SetPositionRange(static_cast<int>(positionMax_));
    graphDlg_->SetCursor(static_cast<int>(pos));
    graphDlg_->update();
  }
  if (infoDlg_) {
    infoDlg_->SetCursor(static_cast<int>(pos));
    if (!fullScreen_) infoDlg_->update();
  }
  RepaintInformationBand(false);  // it shows the position's time and speed too
}

int CtesselDlg::SeekToPosition(int64_t pos) {
  const int64_t target = SeekTarget(pos, PlayerApi_GetDuration(selector_), DataRate());
  const int64_t shown = ClampDisplay(pos, 0, positionMax_);
  switch (PlayerApi_GetState(selector_)) {
    case kSlotPlaying:
      PlayerApi_Pause(selector_);
      PlayerApi_SeekTo(selector_, static_cast<int32_t>(target));
      SetPosition(shown);
      PlayerApi_Start(selector_);
      break;
    case kSlotOpened:
    case kSlotPaused:
      PlayerApi_SeekAlt(selector_, static_cast<int32_t>(target));
      SetPosition(shown);
      UpdateButtonStates();
      mapWrap_.ExecScript("orbitgrplist.MoveMarker()");
      break;
    default: break;
  }
  return 1;
}

void CtesselDlg::OnSlider(uint32_t message, uintptr_t id, intptr_t pos) {
  if (opening_) return;
  if (id == static_cast<uintptr_t>(kCtlVolumeSlider)) {
    if (message != qv::kMsgSliderDown) SetVolume(static_cast<int>(pos));
    return;
  }
  if (id != static_cast<uintptr_t>(kCtlPositionSlider) || !pairBound_ || !positionSlider_) return;
  switch (message) {
    case qv::kMsgSliderDown:
      PlayerApi_SetVolume(selector_, 0);
      stateBeforeDrag_ = PlayerApi_GetState(selector_);
      if (stateBeforeDrag_ != kSlotPaused) PlayerApi_Pause(selector_);
      if (!positionSlider_->PressOnThumb()) AfterSliderSeek(pos);
      break;
    case qv::kMsgSliderMove:
      if (positionSlider_->PressOnThumb()) SetPosition(pos);
      break;
    case qv::kMsgSliderUp:
      if (positionSlider_->PressOnThumb()) AfterSliderSeek(pos);
      break;
    default: break;
  }
}

void CtesselDlg::AfterSliderSeek(int64_t pos) {
  SeekToPosition(pos);
  if (stateBeforeDrag_ == kSlotPlaying) PlayerApi_Start(selector_);
  UpdateButtonStates();
  const int rate = DataRate();
  if (PlayerApi_GetState(selector_) == kSlotPlaying && (rate == -4 || rate == -2)) {
    PlayerApi_Pause(selector_);
    PlayerApi_RefreshFrame(selector_);
    PlayerApi_Start(selector_);
  }
  PlayerApi_SetVolume(selector_, volume_);
}

// ---------------------------------------------------------------- event points and the map

size_t CtesselDlg::EventPointCount() {
  std::lock_guard<std::mutex> lock(eventPointMutex_);
  return eventPoints_.size();
}

int CtesselDlg::SendEventPoints(int index, bool send) {
  if (!graphDlg_) return 0;
  std::lock_guard<std::mutex> lock(eventPointMutex_);
  eventPoints_.clear();
  const auto& series = graphDlg_->AllSeries();
  std::string script;
  {
    DriveDataView view;
    const SlotRecords data(view.Sensors(), view.TimeIndex());
    const long slotCount = data.SlotCount();
    for (long u = 0; u < slotCount; ++u) {
      if (series[6].clickable) FindEventAt(data, series, eventPoints_, u, 6);
      for (int s = 0; s < kGraphSeriesCount; ++s) {
        if (s == 6 || !series[static_cast<size_t>(s)].clickable) continue;
        const size_t before = eventPoints_.size();
        FindEventAt(data, series, eventPoints_, u, s);
        if (eventPoints_.size() > before) break;
      }
    }
    if (!mapPageReady_) return 1;
    // The scripts are made while the samples are held and run after.
    for (auto it = eventPoints_.rbegin(); it != eventPoints_.rend(); ++it) {
      if (it->series < 0 || !series[static_cast<size_t>(it->series)].clickable) continue;
      if (it->record < 0 || it->record >= data.SampleCount()) continue;
      const SensorSample& s = data.Sample(it->record);
      // A point without a position is left off the map; the others still go.
      const GpsSample* g = s.gps;
      if (!g || (g->latitude == 0.0 && g->longitude == 0.0)) continue;
      // The page's own number forms: a non-finite value from a card never
      // reaches the script.
      CrashPosArgs point = CrashPosOf(s, index, static_cast<int32_t>(it->position));
      point.icolor = it->kind;
      point.direction = 0.0;
      script += AddCrashPosScript(point) + ";";
    }
  }
  ++eventPointSends_;
  mapWrap_.RedrawTrack(index, send ? 1 : 0);
  if (!script.empty()) mapWrap_.ExecScript(script);
  return 1;
}

bool CtesselDlg::StepEventPoint(int64_t pos, bool forward) {
  if (!pairBound_ || !graphDlg_) return false;
  int64_t target = -1;
  {
    std::lock_guard<std::mutex> lock(eventPointMutex_);
    // Forward from the first point, backward from the last.
    const int n = static_cast<int>(eventPoints_.size());
    for (int k = 0; k < n && target < 0; ++k) {
      const EventPoint& p = eventPoints_[static_cast<size_t>(forward ? k : n - 1 - k)];
      if (p.series >= 0 && graphDlg_->Series(p.series).shown && (forward ? p.position > pos : p.position < pos))
        target = p.position;
    }
  }
  if (target < 0) return false;
  SeekToEventPoint(target);
  return true;
}

void CtesselDlg::SeekToEventPoint(int64_t target) {
  SeekToPosition(target);
  if (PlayerApi_GetState(selector_) == kSlotOpened) PlayerApi_Pause(selector_);
  UpdateButtonStates();
}

void CtesselDlg::UpdateMapStatus() {
  if (!eventPointsSent_ && mapPageReady_ && ValidIndex() && SendEventPoints(listIndex_, true))
    eventPointsSent_ = true;
  UpdateMapPlayStatus();
}

}  // namespace qv
