// The main window: a borderless skinned dialog at 1120 × 697 design pixels
// holding the front video pane, the sliders, the information panel, the
// G-sensor graph, the recording browser, the command and frame buttons, and
// owning the two pop-outs (map and rear camera).
//
// Everything here runs on the window thread.  Workers reach the window only
// through Port() (application messages, handled in arrival order); the
// panes and children call the window's handlers directly.  Start-up is the
// constructor, then OnInitDialog (which posts kMsgPostInit to itself), then
// show(); the three ways out (close button, the window system's close and
// the source going away) run Shutdown, which runs once.
//
// Locks: the playlist mutex guards the playlist (the pair threads take it
// while they copy a pair), the event-point mutex the event points.  Both
// live as long as the window.
//
// The children: the browsing panel, the G-sensor graph, the information
// panel, the gauge window and the settings panel.
#pragma once

#include <QIcon>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/filerowner.h"
#include "mainwnd/inetconnection.h"
#include "mainwnd/mainlayout.h"
#include "map/mapdlg.h"
#include "map/mapdlg2.h"
#include "map/mapdlgwrap.h"
#include "mainwnd/moviestatic.h"
#include "mainwnd/windowrules.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/windowthreads.h"
#include "panels/gsensorplan.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/inputhold.h"
#include "platform/qt/ticketworker.h"
#include "platform/qt/wintimer.h"
#include "player/playerapi.h"
#include "recording/recordingentry.h"
#include "skin/resizedialog.h"
#include "skin/resourceimage.h"
#include "uitext/uitext.h"

namespace qv {

class CFilerContainerDlg;
class CGSensorDlg;
class CInfoDlg;
class CLogoDlg;
class CObdDlg;
class CSettingDlg;
class CUpdateDialog;
class CSkinButton;
class CSkinProgressBarCtrl;
class CSkinSliderCtrl;
class CMovieDialog;
class VideoPane;

class CtesselDlg : public CResizeDialog, public IMovieOwner, public IZoomModeHost, public FilerOwner {
  Q_OBJECT
 public:
  // `clock` (not owned) drives the window's timers in tests; the real
  // timers when null.
  explicit CtesselDlg(TimerClock* clock = nullptr);
  ~CtesselDlg() override;

  // Start-up, once after construction.  `settingsFolder` is the folder of
  // the settings file: the current folder at start-up (main() takes it
  // before anything else can change it).  Always true.
  bool OnInitDialog(const std::string& settingsFolder);
  // kMsgPostInit: places the pop-outs and fits the window to its monitor;
  // runs once.
  void OnPostInit();
  // Orderly end: threads joined, players stopped, slots released, windows
  // hidden.  A second call returns at once.
  void Shutdown();

  // Children and layout.
  void CreateChildWindows();
  void CreateSkinButtons();
  void LayoutChildren();
  void Relayout() override;
  void InitScale(const std::string& section) override;
  void PlaceMapPopout();
  void PlaceMoviePopout();
  void ApplyLogoAndMapRule();
  // Rebuilds fonts, button images and slider images for the current scale.
  void RebuildScaledResources();

  // Window states.
  void ToggleFullScreen(bool fromPane) override;
  void ApplyFullScreen();
  void Maximise();
  void Restore();
  void Minimise();
  // Fits the maximised window to its monitor's work area.
  void FitMaximised();
  // Re-lays the window out when its monitor's work area changed.
  void RefitToMonitor();

  // Direct calls from the video panes.  The zoom at a point is the zoom
  // command's; ready and ended go to playback control's handlers through
  // the table; the context menu's items go to OnCommand.
  void OnPaneContextMenu(Point screen, CMovieStatic* pane) override;
  void OnPaneZoomClick(int camera, Point point) override;
  void OnPanePresentationEnded(uintptr_t wParam, int camera) override;
  void OnPaneTopologyReady(uintptr_t wParam, int camera) override;
  mainwnd::PaneOwnerState PaneOwnerStateNow() const override;

  // What zoom mode changes in the window besides the panes.
  void SetBrowserZoomMode(bool on) override;
  void RepaintInformationBand() override { RepaintInformationBand(true); }
  // The band along the bottom again; unless `always`, only when its texts changed.
  void RepaintInformationBand(bool always);
  void ShowBrowserUnlessFullScreen() override;
  void ResetPaneViews() override {
    ResetView(0);
    ResetView(1);
  }
  void RedrawVideoViews() override { RedrawViews(); }

  // The browsing panel's notices (FilerOwner).
  void OnListRowSelected(int row) override;
  // A folder chosen in the tree (or by moving on into the next folder)
  // stops playback; its rows arrive later (OnFolderFilled), and then its
  // first pair opens.
  void OnFolderSelected(QTreeWidgetItem* item, bool byUser) override;
  void OnFolderFilled(bool chosen) override;
  void OnFilterClicked(int index) override;
  void OnSourceGone() override;
  void OnSourceUnreadable(const std::string& path, int error) override;
  void OnEntriesRebuilt(std::vector<RecordingEntry> rows, bool current) override;
  // The browser has opened a source: the not-a-card flag follows its mode
  // (the CSV command lists a card's recordings only).
  void OnSourceOpened();

  // ---- Playback control (tesselplayback.cpp).
  // The list selection of a row; false when the row is not in the playlist.
  bool SelectListItem();
  void UpdateButtonStates();
  // The command guard; refusing sets the latch that a new pair clears.
  bool IsCommandBlocked();
  void SetPlayButtonState(bool playing);
  void SetVolume(int volume);
  void OnFilterButton(int id);
  void UpdateMapPlayStatus();
  // Opening, binding and sequencing pairs.  A bind of a pair not bound yet
  // goes on after the rate change's pause (timer 107), and its start with
  // it: it answers 1 then, and a start that fails is retried at the next
  // bind.  For a pair bound already, the start's result.
  int BindAndStart();
  int StartIfPaused();
  void PauseAndShow();
  void StopPlayback();
  void PlayNextFile();
  void PlayPreviousFile();
  void ContinueInNextFolder();
  void ResetPlayback();
  void RebuildTrack();
  // Position, seeking and event points.
  void SetPosition(int64_t pos);
  void UpdatePanels(int64_t pos);
  int SeekToPosition(int64_t pos);
  int SendEventPoints(int index, bool send);
  // Seeks to the first shown event point after `pos` (before it when not
  // `forward`); false when there is none.
  bool StepEventPoint(int64_t pos, bool forward);
  // Seeks to an event point found by the above (paused when only opened).
  void SeekToEventPoint(int64_t target);
  void UpdateMapStatus();
  // The 30 ms tick (timer 100).
  void OnTick();
  // State the tests read.
  int CurrentIndex() const { return listIndex_; }
  // The pair's bind is done (it does not wait out its pause any more).
  bool PairBound() const { return pairBound_ && bindRest_ == BindRest::kNone; }
  bool Opening() const { return opening_; }
  int OpenCount() const { return openCount_; }
  int BindCount() const { return bindCount_; }
  uint64_t PrepareGeneration() const { return prepareGeneration_; }
  size_t EventPointCount();
  int EventPointSends() const { return eventPointSends_; }
  const std::vector<RecordingEntry>& Playlist() const { return playlist_; }

  // Where workers post.
  AppMessagePort Port() const { return messages_.Port(); }
  WindowTimers& Timers() { return timers_; }
  mainwnd::WindowThreads& Threads() { return threads_; }
  std::recursive_mutex& PlaylistMutex() override { return playlistMutex_; }
  std::mutex& EventPointMutex() { return eventPointMutex_; }

  // State the tests and the panels read.
  bool Closing() const { return closing_; }
  bool FullScreen() const { return fullScreen_; }
  bool KeepAspect() const { return keepAspect_; }
  int Volume() const { return volume_; }
  int PostInitRuns() const { return postInitRuns_; }
  int ProgressPercent() const;
  bool BusyLayout() const { return busy_; }
  void SetBusy(bool on);
  VideoPane* Pane(int index) const;
  CMovieDialog* MapPopout() const { return mapPopout_.get(); }
  CMovieDialog* MoviePopout() const { return moviePopout_.get(); }
  CMapDlgWrap& MapWrap() { return mapWrap_; }
  CSkinButton* CommandButton(int index) const { return commandButtons_[index].get(); }
  CSkinButton* FrameButton(int index) const { return frameButtons_[index].get(); }
  CFilerContainerDlg* Browser() const { return browser_.get(); }
  CGSensorDlg* Graph() const { return graphDlg_.get(); }
  CInfoDlg* Info() const { return infoDlg_.get(); }
  // Every child window the main window made, by role (null when missing).
  QWidget* Child(const char* role) const;
  // Sees every message before its handler runs (tests).
  void SetMessageObserver(std::function<void(uint32_t, uintptr_t, intptr_t)> observer) {
    observer_ = std::move(observer);
  }

  // ---- File commands (tesselcommands.cpp): CSV export, still, delete, join.
  // The message boxes they show: (text, caption, type 0 OK / 1 OK-Cancel),
  // answering 1 for OK; tests put their own in place.
  using CommandBoxFn = std::function<int(const std::string& text, const std::string& caption, int type)>;
  void SetCommandBox(CommandBoxFn box) { commandBox_ = std::move(box); }
  // Rows the CSV export lists and the file commands choose from (the
  // source's recordings); the playlist until the browser hands its own.
  void SetSourceRows(std::vector<RecordingEntry> rows) { sourceRows_ = std::move(rows); }
  const std::vector<RecordingEntry>& SourceRows() const { return sourceRows_; }
  void OnCsvCommand();
  void OnStillCommand();
  void OnDeleteCommand();
  void OnJoinCommand();
  // The view commands: zoom mode on/off, the rear camera's mirror image,
  // full screen's aspect rule (kept in the settings file), and to-start
  // while a file operation runs (it stops the operation, nothing more).
  void OnZoomCommand();
  // Zoom mode off (nothing when it is off already).
  void LeaveZoomMode();
  void OnMirrorCommand();
  void OnFullScreenModeCommand();
  void OnToStartCommand();
  // Playback's commands: play / pause, previous, next, slower, faster; the
  // map pop-out on/off; the camera switch.
  void OnPlayPauseCommand();
  // The pause of the play and still commands: silent, the panel and the
  // play button showing it, the frame drawn again.
  void PauseByCommand();
  void OnStepPairCommand(bool next);
  void OnRateCommand(bool faster);
  void OnMapCommand();
  void OnCameraSwitchCommand();
  // A new source from the source dialog (card, folder or one recording).
  void OnBrowseCommand();
  // What a new source starts from (the browse command, the source going):
  // the front camera in the main pane, no pair, the play look, no zoom, an
  // empty list.
  void ResetForNewSource();
  // The source watcher has seen the source go.
  bool SourceRemoved();
  // The program's own file, taken at start-up: when it goes with the source,
  // the program ends.
  void SetProgramFile(std::string path) { programFile_ = std::move(path); }
  // Shows camera `mainCamera` in the main window and the other in the
  // pop-out, carrying the zoom views over to their new panes.
  void PlaceCameras(int mainCamera);
  // The command table: the guard first for every command that has one.
  bool RunCommand(int id);
  // How the delete and join commands choose their rows (mode 0 delete, 2
  // join): the selection dialog unless a test puts its own in place.
  using RowChooserFn = std::function<bool(int mode, const std::vector<RecordingEntry>& rows,
                                          std::vector<RecordingEntry>& chosen)>;
  void SetRowChooser(RowChooserFn chooser) { rowChooser_ = std::move(chooser); }
  // Delete / join of chosen pairs (the choosing is the selection dialog's).
  // Stops the pair at its start, at the default rate, before a delete or join.
  void StopPairForFileWork();
  bool StartDelete(std::vector<RecordingEntry> chosen);
  bool StartJoin(std::vector<RecordingEntry> chosen);
  // Stops a running file operation between two items (the to-start command).
  void CancelFileWork();
  bool FileWorkRunning() const { return busy_; }
  // A CSV, delete or join command waits for the source's rows, read off the
  // window thread; the command controls are off meanwhile.
  bool ReadingCommandRows() const { return rowsFor_ != RowsFor::kNone; }

 signals:
  // The window has shut down and the program should end.
  void ended();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void RegisterHandlers();
  void OnTimer(int id);
  void OnCommand(int id);
  void OnProgress(uintptr_t done, intptr_t total);
  void OnResetZoomView(intptr_t source);
  void OnWorkAreaChanged(uintptr_t code);
  void OnPopoutResized(intptr_t which);
  void OnPopoutCaptionDoubleClick();
  // The volume to the data slot and the slider; to the settings file when `save`.
  void ApplyVolume(bool save);
  void ShowNormalChildren(bool show);
  void LayoutBusyTail();
  // The children a running file operation disables besides the buttons.
  std::vector<QWidget*> ControlsOffWhileBusy() const;
  void ResetView(int pane);
  // Camera `camera`'s slot keeps the picture's aspect ratio or fills its pane.
  void SetSlotAspect(int camera, bool keep);
  void RedrawViews();
  void UpdateMaximiseTooltip();
  // Command button i's image and tooltip for the play button's current face.
  int CommandBitmap(int i) const;
  const char* CommandTooltip(int i) const;
  // The play button's image and tooltip from its stored face.
  void ShowPlayButtonFace();
  void WatchScreens();
  float S() const { return Scale(); }
  Rect ClientRect() const;

  // Messages and timers first, so that the members after them (which own
  // windows and threads) go while the window can still take messages.
  AppMessageSink messages_{this};
  WindowTimers timers_;
  // The user's input while a bind waits out the rate change's pause.
  InputHold inputHold_;

  // Members in their design order (the destructor runs them backwards).
  QIcon appIcon_;
  CResourceImage images_;

  // Scalar state.
  bool closing_ = false;
  bool ownsSlots_ = false;  // start-up gave the player slots this window's panes
  bool busy_ = false;  // a file operation runs
  int volume_ = mainwnd::kVolumeMax;
  int frontPaneIndex_ = 0;
  int selector_ = 2;
  // Per pane: the zoom view (centre, offsets, factor).
  std::array<ZoomRecord, 2> views_{};
  bool keepAspect_ = true;
  // The map command's flag: the map is on (the probe runs and the pop-out
  // shows).  Before the first press the pop-out shows the logo and nothing
  // reaches the network.
  bool mapShown_ = false;
  bool mapPlaced_ = false;  // the map command has placed the pop-out once
  bool MapPopoutOn() const { return mapShown_ || !mapPlaced_; }
  int listIndex_ = -1;
  // Set while the source is no card (or there is none); the CSV command is
  // enabled only while it is clear.
  bool notACard_ = true;
  bool playButtonPlaying_ = false;  // the play button's face: pause while the pair plays
  QString bandText_;                // what the band showed when it was last repainted
  bool fullScreen_ = false;
  bool maximiseAfterFullScreen_ = false;
  bool firstRun_ = false;
  bool logoShown_ = false;
  bool connected_ = false;
  bool fitting_ = false;
  bool pressOnCaption_ = false;
  bool popoutsShown_[2] = {false, false};  // map, movie: visible when the window was minimised
  Point pressPoint_;
  Rect workArea_;
  float lastFitScale_ = -1.0f;
  int postInitRuns_ = 0;

  CMapDlgWrap mapWrap_;
  std::unique_ptr<CInfoDlg> infoDlg_;
  std::unique_ptr<CGSensorDlg> graphDlg_;
  std::unique_ptr<CSettingDlg> settingDlg_;
  std::unique_ptr<CObdDlg> obdDlg_;
  std::unique_ptr<CMovieDialog> mapPopout_;
  std::unique_ptr<CMovieDialog> moviePopout_;
  std::array<std::unique_ptr<CMovieStatic>, 2> panes_;
  std::unique_ptr<CSkinSliderCtrl> positionSlider_;
  std::unique_ptr<CSkinSliderCtrl> volumeSlider_;
  std::unique_ptr<CSkinProgressBarCtrl> progress_;
  std::unique_ptr<CFilerContainerDlg> browser_;
  std::unique_ptr<CLogoDlg> logo_;
  Rect origin_;
  Rect paneArea_;
  std::array<std::unique_ptr<CSkinButton>, mainwnd::kCommandButtonCount> commandButtons_;
  std::array<std::unique_ptr<CSkinButton>, mainwnd::kFrameButtonCount> frameButtons_;
  std::mutex eventPointMutex_;
  std::vector<EventPoint> eventPoints_;
  std::unique_ptr<CUpdateDialog> updateDlg_;
  std::recursive_mutex playlistMutex_;
  std::vector<RecordingEntry> playlist_;

  // ---- settings panel, network probe and update check (tesselsettings.cpp)
 public:
  CSettingDlg* SettingDlg() const { return settingDlg_.get(); }
  CUpdateDialog* UpdateDlg() const { return updateDlg_.get(); }
  CInetConnectionAsync& Inet() { return inet_; }
  // The browsing panel read a card's format description: the card's part
  // of the update check runs with it (once per run).
  void OnFormatInfoRead(const FormatInfo& info) override;

 private:
  // OnInitDialog: the settings panel, and the probe against the tile host
  // (its switch is the map wrapper's "map display on", its result the
  // wrapper's connected value).
  void CreateSettingsAndNetwork();
  // OnPostInit: the viewer's part of the update check, once, when the
  // settings file names an update host.
  void StartUpdateCheckOnce();
  // kMsgUpdateReady: the update window with the check's message.
  void OnUpdateReady();
  // kMsgDisplaySwitch from the panel: both flags of the switch's graph
  // series; other indices are ignored.
  void OnDisplaySwitch(uintptr_t index, intptr_t state);
  // The settings command: the panel, centred on the window's monitor.
  void ShowSettings();
  // The idle timer: the logo-and-map rule runs again when the probe's
  // answer changed.
  void FollowProbe();
  // Scale change: the panel and the update window lay themselves out again.
  void RescaleSettingsWindows(float s);

  int probeSeen_ = 0;
  // Declared after the map wrapper, which its probe thread writes to: the
  // thread ends before the wrapper goes.
  CInetConnectionAsync inet_;

  // ---- Playback state (tesselplayback.cpp).
  void RegisterPlaybackHandlers();
  // The playback handler of a message of the table; empty when none.
  AppMessageSink::Handler PlaybackHandler(uint32_t message);
  void OnOpenTimer();
  // What the open timer does once the open's result is known.
  void FinishOpenTimer(int result);
  void OnOpenTimeout();
  // 1 opened, 0 failed, 2 too short, 3 skipped to the next pair, or
  // kOpenUnderWay: the movies are read and opened off the window thread,
  // and OnPairOpened goes on with the result.
  static constexpr int kOpenUnderWay = -1;
  int OpenSelectedRecording();
  // Starts the open asked for unless a stopped one still runs: its notice
  // starts the next (the window thread never waits for the card).
  void LaunchOpen();
  // Takes the thread's last open, which was stopped, and closes its players.
  void TakeStoppedOpen();
  // kMsgPairOpened: the players go into the slots, and the open goes on.
  void OnPairOpened(uintptr_t ticket);
  // OpenSelectedRecording after the players were put into the slots.
  int AfterPairOpened(int opened);
  // Drops the open under way: its players are closed and its notice
  // dropped; a new open may be armed.
  void DropOpen();
  // Drops an open that is armed or under way (its timers, the wait cursor).
  void CancelOpen();
  void ArmOpen();
  // Leaves the pair for the row listIndex_ now names: the list selects it,
  // playback stops, what `resets` names starts over, and its open is armed.
  enum RowResets { kResetPosition = 1, kResetGraph = 2, kResetInfo = 4 };
  void LeavePairFor(int resets);
  // Selects the row listIndex_ names in the list (current, selected,
  // focused, visible); the list's notice of it opens nothing.
  void ShowPlayingRow();
  void StopForSwitch();
  void OnTopologyReady();
  void OnPresentationEnded();
  void OnPairPrepared(uint64_t generation);
  // The bind sets the pair's rate; its remaining steps (`rest`) follow the
  // pause after it, which the window waits out on timer 107 while the
  // user's input is held back.  A pair left meanwhile is bound no further.
  enum class BindRest { kNone, kPrepared, kStart };
  void SetRateThenBind(BindRest rest, bool hasData);
  void OnBindPause();
  void FinishPreparedBind(bool hasData);
  void FinishBindAndStart(bool hasData);
  // BindAndStart's end: the opening is over, the play button shows the start.
  void EndBindAndStart(int started);
  void StartPlayback(bool hasData);
  bool BindDriveData();
  void OnSlider(uint32_t message, uintptr_t id, intptr_t pos);
  void AfterSliderSeek(int64_t pos);
  void ShowRateLabel();
  void ApplyDefaultRate();
  void SetCommandsEnabled(bool on);
  void BeginWait();
  void EndWait();
  void StartPrefetch(bool current);
  void SyncPlaylist();
  int DataRate() const;
  int OpenedPlayers() const;
  bool ValidIndex() const { return listIndex_ >= 0 && listIndex_ < static_cast<int>(playlist_.size()); }

  bool openArmed_ = true;
  bool opening_ = false;
  bool pairBound_ = false;
  bool waitCursor_ = false;
  int readyCount_ = 0;
  int endedCount_ = 0;
  int pendingBind_ = 0;
  bool continueNextFolder_ = false;
  // The folder whose rows are being read was reached by moving on.
  bool folderContinuing_ = false;
  bool stoppedAtEnd_ = false;
  bool inEndHandling_ = false;
  bool showingPlayingRow_ = false;  // ShowPlayingRow's selection is under way
  bool startFailed_ = false;
  bool openFailed_ = false;
  bool nearEndLatch_ = false;
  bool controlsLockedNearEnd_ = false;
  bool eventPointsSent_ = false;
  bool mapPageReady_ = false;
  bool mapRowSelected_ = false;
  bool gpsFlag_ = false;
  bool invalidPosition_ = false;  // the bound pair's first track point is no place on earth
  bool dataPending_ = true;
  int stateBeforeDrag_ = 0;
  int64_t pendingTarget_ = -1;
  int64_t positionMax_ = 0;
  uint64_t prepareGeneration_ = 0;
  // The bind waiting out its pause: what follows, for which pair.
  BindRest bindRest_ = BindRest::kNone;
  bool bindHasData_ = false;
  uint64_t bindGeneration_ = 0;
  int openCount_ = 0;
  int bindCount_ = 0;
  int eventPointSends_ = 0;
  bool trackAgain_ = false;  // the list changed while the track was built

  // The player's messages reach the window through its error sink, from
  // whatever thread reports them, as kMsgPlayerError with the serial of the
  // open they belong to; the window shows one box per pair that did not
  // open in full, on its own thread.
  struct PlayerErrors {
    std::mutex mutex;
    uint64_t serial = 0;      // the open under way (or the last one)
    uint64_t textSerial = 0;  // the open `text` belongs to
    std::string text;         // the player's first message of that open
  };
  void InstallPlayerErrorSink();
  // A new open: its serial; the player's messages from now on are its.
  uint64_t BeginOpenErrors();
  std::string PlayerErrorText(uint64_t serial);
  // The movies of `entry` that the open just made did not open.
  static std::vector<std::string> FailedMovies(const RecordingEntry& entry);
  void OnPlayerError(uint64_t serial);
  std::shared_ptr<PlayerErrors> playerErrors_ = std::make_shared<PlayerErrors>();
  uint64_t errorShownFor_ = 0;  // the last open whose box was shown or left out
  uint64_t failedFor_ = 0;      // the open failedMovies_ belongs to
  std::vector<std::string> failedMovies_;
  std::jthread trackThread_;

  // File commands' state.  A worker gets copies of what it needs and writes
  // only its outcome, which the window reads after joining it.
  enum class FileWork { kNone, kCsv, kDelete, kJoin };
  struct FileWorkOutcome {
    int result = 0;  // 0 failed, 1 done, 2 cancelled
    std::vector<std::string> deleted;  // key paths of the pairs deleted
    int fault = 0;  // JoinFault of a failed join
  };
  int ShowCommandBox(const std::string& text, const std::string& caption, int type);
  bool StartFileWork(FileWork kind, std::function<uint32_t(const std::atomic<bool>& cancel, const AppMessagePort& port,
                                                           FileWorkOutcome& outcome)> job);
  void SetCommandControlsEnabled(bool on);
  void OnFileWorkerDone();
  // The command that waits for the source's rows.
  enum class RowsFor { kNone, kCsv, kDelete, kJoin };
  // The rows a command acts on: the source rows when set, else every
  // recording of the source read afresh (the command goes on in
  // OnEntriesRebuilt), else the playlist.
  void WithCommandRows(RowsFor command);
  void ContinueWithRows(RowsFor command, std::vector<RecordingEntry> rows);
  std::vector<RecordingEntry> PlaylistCopy();
  // The CSV export of `rows` into csvFolder_, once they are known.
  void ExportCsv(std::vector<RecordingEntry> rows);
  bool ChooseRows(int mode, const std::vector<RecordingEntry>& rows, std::vector<RecordingEntry>& chosen);
  CommandBoxFn commandBox_;
  RowChooserFn rowChooser_;
  std::vector<RecordingEntry> sourceRows_;
  std::shared_ptr<std::atomic<bool>> fileCancel_;
  std::shared_ptr<FileWorkOutcome> fileOutcome_;
  FileWork fileWork_ = FileWork::kNone;
  std::vector<RecordingEntry> selectedEntries_;
  std::string commandFolder_;  // the CSV or join output folder, remembered on success
  std::string csvFolder_;      // the CSV folder chosen while the rows are read
  RowsFor rowsFor_ = RowsFor::kNone;
  bool zoomMode_ = false;
  std::string programFile_;

  // The open off the window thread: the entry, quiet flag and error serial
  // of the open under way, the pair asked for while a stopped open still
  // runs, the ticket of the open wanted and of the one the thread runs.
  struct PairOpening {
    std::shared_ptr<OpenedPair> pair;
  };
  bool openUnderWay_ = false;
  RecordingEntry openEntry_;
  bool openQuiet_ = false;
  uint64_t openSerial_ = 0;
  std::shared_ptr<OpenedPair> openWanted_;
  uintptr_t openTicket_ = 0;
  uintptr_t openRunTicket_ = 0;
  // The drive-data head the prepare thread read for its pair, for the bind.
  struct PreparedHead {
    uint64_t generation = 0;
    std::string path;
    std::atomic<bool> done{false};
    bool ok = false;
    DriveDataHead head;
  };
  std::shared_ptr<PreparedHead> preparedHead_;

  // The window's own threads last: they are joined (by Shutdown, else by
  // their destructor) before anything they may touch goes.
  TicketWorker<PairOpening> opener_;
  mainwnd::WindowThreads threads_;
  std::function<void(uint32_t, uintptr_t, intptr_t)> observer_;
};

}  // namespace qv
