// The main window's file commands: CSV export, still images, delete and join.
//
// The work itself runs on the file worker (fileops.h, csvexport.h), which
// only touches files and posts its progress and its done message; the
// folder prompts, questions, players, lists and message boxes are all
// handled here on the window thread, before the worker starts or when its
// done message arrives.  The rows a command chooses from are read first on
// the browsing panel's worker; the command goes on when they arrive.
#include <time.h>

#include <algorithm>
#include <utility>

#include "browser/fileselectdlg.h"
#include "browser/filercontainerdlg.h"
#include "browser/sourceopendlg.h"
#include "mainwnd/csvexport.h"
#include "mainwnd/fileops.h"
#include "mainwnd/mainlayout.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/moviedialog.h"
#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "mainwnd/playbackrules.h"
#include "mainwnd/stillnames.h"
#include "mainwnd/tesseldlg.h"
#include "mainwnd/zoomclick.h"
#include "platform/numtext.h"
#include "platform/apphelpers.h"
#include "platform/pathutil.h"
#include "player/playerslot.h"
#include "recording/recordingname.h"
#include "skin/helpers.h"
#include "skin/msgbox.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"

namespace qv {

using namespace mainwnd;

namespace {

constexpr const char* kFolderSection = kIniFolders;
constexpr char kCsvFolderKey[] = "CSV_FOLDER";
constexpr const char* kJoinFolderKey = kIniJoinFolder;
constexpr char kStillFolderKey[] = "SNAPSHOT_FOLDER";
constexpr char kErrorCaption[] = "ERROR";

std::string Ui(UiText id) { return GetUiText(id); }

CivilTime LocalNow() {
  const time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  return NormalizeCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

int CtesselDlg::ShowCommandBox(const std::string& text, const std::string& caption, int type) {
  if (commandBox_) return commandBox_(text, caption, type);
  return CMsgBox(this).Show(QString::fromStdString(text), QString::fromStdString(caption), type);
}

std::vector<RecordingEntry> CtesselDlg::PlaylistCopy() {
  std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
  return playlist_;
}

void CtesselDlg::WithCommandRows(RowsFor command) {
  if (!sourceRows_.empty()) {
    ContinueWithRows(command, sourceRows_);
    return;
  }
  // Every recording of the source, whatever the filters show, read afresh
  // off the window thread; the command goes on when they arrive.
  if (browser_ && browser_->StartRebuild()) {
    rowsFor_ = command;
    SetCommandControlsEnabled(false);
    return;
  }
  ContinueWithRows(command, PlaylistCopy());
}

void CtesselDlg::OnEntriesRebuilt(std::vector<RecordingEntry> rows, bool current) {
  const RowsFor command = std::exchange(rowsFor_, RowsFor::kNone);
  if (command == RowsFor::kNone || closing_) return;
  SetCommandControlsEnabled(true);
  UpdateButtonStates();
  // Rows of a source that went meanwhile are no answer to the command.
  if (!current) return;
  if (!sourceRows_.empty()) {
    rows = sourceRows_;
  } else if (rows.empty()) {
    rows = PlaylistCopy();
  }
  ContinueWithRows(command, std::move(rows));
}

void CtesselDlg::ContinueWithRows(RowsFor command, std::vector<RecordingEntry> rows) {
  std::vector<RecordingEntry> chosen;
  switch (command) {
    case RowsFor::kCsv: ExportCsv(std::move(rows)); break;
    case RowsFor::kDelete:
      if (ChooseRows(FileSelectModel::kDelete, rows, chosen)) StartDelete(std::move(chosen));
      break;
    case RowsFor::kJoin:
      if (ChooseRows(FileSelectModel::kJoin, rows, chosen)) StartJoin(std::move(chosen));
      break;
    case RowsFor::kNone: break;
  }
}

void CtesselDlg::SetCommandControlsEnabled(bool on) {
  for (QWidget* w : ControlsOffWhileBusy())
    if (w) w->setEnabled(on);
  for (auto& b : frameButtons_)
    if (b) b->setEnabled(on);
  for (auto& b : commandButtons_)
    if (b) b->setEnabled(on);
}

bool CtesselDlg::StartFileWork(FileWork kind,
                               std::function<uint32_t(const std::atomic<bool>&, const AppMessagePort&,
                                                      FileWorkOutcome&)> job) {
  if (busy_ || threads_.FileWorkerStarted()) return false;
  fileCancel_ = std::make_shared<std::atomic<bool>>(false);
  fileOutcome_ = std::make_shared<FileWorkOutcome>();
  fileWork_ = kind;
  OnProgress(0, 1);
  SetBusy(true);
  SetCommandControlsEnabled(false);
  return threads_.StartFileWorker(
      [cancel = fileCancel_, outcome = fileOutcome_, port = Port(), job = std::move(job)](std::stop_token stop) {
        // The window's end asks the worker to stop the same way the to-start command does.
        std::stop_callback onStop(stop, [&cancel] { cancel->store(true); });
        port.Post(job(*cancel, port, *outcome));
      });
}

void CtesselDlg::CancelFileWork() {
  if (fileCancel_) fileCancel_->store(true);
}

void CtesselDlg::OnFileWorkerDone() {
  // Joined first: the outcome is read only once the worker has ended.
  threads_.EndFileWorker();
  if (fileWork_ == FileWork::kNone) return;
  const FileWork kind = fileWork_;
  const FileWorkOutcome outcome = fileOutcome_ ? *fileOutcome_ : FileWorkOutcome{};
  fileWork_ = FileWork::kNone;
  // Pairs that went leave the lists even when a later one failed.
  if (!outcome.deleted.empty()) {
    {
      std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
      RemoveRowsByKey(playlist_, outcome.deleted);
    }
    RemoveRowsByKey(sourceRows_, outcome.deleted);
  }
  if (kind == FileWork::kDelete) {
    // The source is read again: the list shows what is left.
    ResetPlayback();
    if (browser_ && !browser_->SourcePath().empty()) browser_->OpenSource(browser_->SourcePath(), browser_->Mode());
  }
  if (outcome.result == 1) {
    if (kind == FileWork::kCsv) WriteDefaultFolderIni(kFolderSection, kCsvFolderKey, commandFolder_);
    if (kind == FileWork::kJoin) {
      WriteDefaultFolderIni(kFolderSection, kJoinFolderKey, commandFolder_);
      std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
      MarkJoined(playlist_, selectedEntries_);
    }
  }
  selectedEntries_.clear();
  SetBusy(false);
  UpdateButtonStates();
  if (kind == FileWork::kJoin && ValidIndex()) {
    ShowPlayingRow();
    ArmOpen();  // the pair comes back from its start
  }
  if (outcome.result == 0) {
    const UiText text = kind == FileWork::kCsv      ? UiText::CsvFailed
                        : kind == FileWork::kDelete ? UiText::DeleteFailed
                                                    : UiText::JoinFailed;
    std::string message = Ui(text);
    // A join says why it failed.
    if (kind == FileWork::kJoin && outcome.fault != 0)
      message += std::string("\n") + JoinFaultText(static_cast<JoinFault>(outcome.fault));
    ShowCommandBox(message, kErrorCaption, 0);
  }
  if (outcome.result == 1) ShowCommandBox(Ui(UiText::Done), Ui(UiText::DoneCaption), 0);
}

void CtesselDlg::OnCsvCommand() {
  if (busy_ || ReadingCommandRows()) return;
  PauseAndShow();
  csvFolder_ = BrowseForFolder(this, kFolderSection, kCsvFolderKey, Ui(UiText::ChooseOutputFolder));
  if (csvFolder_.empty()) return;
  WithCommandRows(RowsFor::kCsv);
}

void CtesselDlg::ExportCsv(std::vector<RecordingEntry> rows) {
  const std::string folder = std::exchange(csvFolder_, {});
  if (rows.empty()) {
    ShowCommandBox(Ui(UiText::NoMovies), kErrorCaption, 0);
    ShowCommandBox(Ui(UiText::CsvFailed), kErrorCaption, 0);
    return;
  }
  const std::string path = InFolder(folder, CsvFileName(rows, LocalNow()));
  if (PathExists(path) && ShowCommandBox(Ui(UiText::SameNameExists), Ui(UiText::ConfirmCaption), 1) != 1) return;
  commandFolder_ = folder;
  StartFileWork(FileWork::kCsv, [rows = std::move(rows), path](const std::atomic<bool>& cancel,
                                                               const AppMessagePort& port, FileWorkOutcome& out) {
    const CsvResult r = WriteCsvList(path, rows, cancel, [&](int done, int total) {
      port.Post(kMsgProgress, static_cast<uintptr_t>(done), total);
    });
    out.result = static_cast<int>(r);
    return r == CsvResult::kDone ? uint32_t{kMsgCsvDone} : uint32_t{kMsgWorkerDone};
  });
}

bool CtesselDlg::ChooseRows(int mode, const std::vector<RecordingEntry>& rows, std::vector<RecordingEntry>& chosen) {
  chosen.clear();
  if (rowChooser_) return rowChooser_(mode, rows, chosen) && !chosen.empty();
  CFileSelectDlg dialog(this);
  dialog.errorBox = [this](const QString& text) { ShowCommandBox(text.toStdString(), kErrorCaption, 0); };
  dialog.SetFileList(rows);
  if (mode == FileSelectModel::kDelete)
    dialog.allRows.assign(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(rows.size(), 1500)));
  dialog.mode = mode;
  if (dialog.DoModal() != QDialog::Accepted) return false;
  chosen = dialog.result;
  return !chosen.empty();
}

void CtesselDlg::OnDeleteCommand() {
  if (busy_ || ReadingCommandRows()) return;
  WithCommandRows(RowsFor::kDelete);
}

void CtesselDlg::OnJoinCommand() {
  if (busy_ || ReadingCommandRows()) return;
  std::vector<RecordingEntry> playlist = PlaylistCopy();
  if (playlist.empty()) {
    WithCommandRows(RowsFor::kJoin);
    return;
  }
  ContinueWithRows(RowsFor::kJoin, std::move(playlist));
}

void CtesselDlg::StopPairForFileWork() {
  StopPlayback();
  ApplyDefaultRate();
  PlayerApi_SetVolume(selector_, volume_);
  ShowRateLabel();
  PlayerApi_SeekAlt(selector_, 0);
  SetPosition(0);
}

bool CtesselDlg::StartDelete(std::vector<RecordingEntry> chosen) {
  if (busy_ || chosen.empty()) return false;
  // Nothing is deleted from a card that was pulled out meanwhile.
  if (SourceRemoved()) {
    ShowCommandBox(Ui(UiText::DeleteFailed), kErrorCaption, 0);
    return false;
  }
  // The players let go of every file before any goes.
  StopPairForFileWork();
  StopForSwitch();
  PlayerApi_Close();
  PlayerApi_FreeDriveData();
  selectedEntries_ = chosen;
  // A name a move into a card's Delete Folder claims is remembered until
  // it is filled: the next start removes one a stopped move left empty.
  return StartFileWork(FileWork::kDelete, [chosen = std::move(chosen), settingsFile = GetSettingsFilePath()](
                                              const std::atomic<bool>& cancel, const AppMessagePort& port,
                                              FileWorkOutcome& out) {
    SettingsClaimRecord claims(settingsFile);
    DeleteOutcome d = DeletePairs(
        chosen, cancel,
        [&](int64_t done, int64_t total) {
          port.Post(kMsgProgress, static_cast<uintptr_t>(done), static_cast<intptr_t>(total));
        },
        &claims);
    out.result = static_cast<int>(d.result);
    out.deleted = std::move(d.deleted);
    return d.result == FileOpResult::kDone ? uint32_t{kMsgDeleteDone} : uint32_t{kMsgWorkerDone};
  });
}

bool CtesselDlg::StartJoin(std::vector<RecordingEntry> chosen) {
  if (busy_ || chosen.empty()) return false;
  if (SourceRemoved()) {
    ShowCommandBox(Ui(UiText::JoinFailed), kErrorCaption, 0);
    return false;
  }
  StopPairForFileWork();
  const std::string folder = BrowseForFolder(this, kFolderSection, kJoinFolderKey, Ui(UiText::ChooseBackupFolder));
  if (folder.empty()) return false;
  std::string front, rear;
  JoinOutputPaths(folder, chosen.front(), front, rear);
  // Every folder where the join makes a file under construction is
  // remembered before the file is made, and forgotten at the end once the
  // folder holds none: the next start sweeps what a killed join, or one on
  // a card that turned read-only, left there.
  const std::string settingsFile = GetSettingsFilePath();
  JoinFolderRecord probes(settingsFile);
  const bool outputIsInput = JoinOutputIsInput(front, rear, chosen, &probes);
  probes.ForgetFinished();  // the question's own files are gone again
  if (outputIsInput) {
    ShowCommandBox(Ui(UiText::JoinFailed) + "\n" + JoinFaultText(JoinFault::kOutputIsInput), kErrorCaption, 0);
    return false;
  }
  if (PathExists(front) && ShowCommandBox(Ui(UiText::SameNameExists), Ui(UiText::ConfirmCaption), 1) != 1)
    return false;
  if (JoinNeededBytes(chosen) >= GetDiskFreeBytes(folder)) {
    ShowCommandBox(Ui(UiText::JoinFailed) + "\n" + JoinFaultText(JoinFault::kDiskFull), kErrorCaption, 0);
    return false;
  }
  StopForSwitch();
  PlayerApi_Close();
  commandFolder_ = folder;
  selectedEntries_ = chosen;
  return StartFileWork(FileWork::kJoin, [chosen = std::move(chosen), front, rear, settingsFile](
                                            const std::atomic<bool>& cancel, const AppMessagePort& port,
                                            FileWorkOutcome& out) {
    JoinFolderRecord record(settingsFile);
    const JoinOutcome j = JoinPairs(
        chosen, front, rear, cancel,
        [&](int64_t done, int64_t total) {
          port.Post(kMsgProgress, static_cast<uintptr_t>(done), static_cast<intptr_t>(total));
        },
        &record);
    record.ForgetFinished();
    out.result = static_cast<int>(j.result);
    out.fault = static_cast<int>(j.fault);
    return j.result == FileOpResult::kDone ? uint32_t{kMsgJoinDone} : uint32_t{kMsgWorkerDone};
  });
}

void CtesselDlg::OnStillCommand() {
  if (busy_ || ReadingCommandRows() || !pairBound_) return;
  RecordingEntry pair;
  {
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    if (playlist_.empty()) return;
    pair = playlist_[listIndex_ >= 0 && listIndex_ < static_cast<int>(playlist_.size()) ? listIndex_ : 0];
  }
  if (PlayerApi_GetState(selector_) == kSlotPlaying) {
    PauseByCommand();
  } else {
    PlayerApi_RefreshFrame(selector_);
  }
  SetCommandControlsEnabled(false);
  int result = 2;
  const std::string folder = BrowseForFolder(this, kFolderSection, kStillFolderKey, Ui(UiText::ChooseBackupFolder));
  StillNames names;
  if (!folder.empty()) {
    result = 0;
    if (BuildStillNames(folder, pair, PlayerApi_GetPosition(2), names)) {
      // Both stills are asked about before either is written.
      const bool taken = (!names.front.empty() && PathExists(names.front) && !IsFolder(names.front)) ||
                         (!names.rear.empty() && PathExists(names.rear) && !IsFolder(names.rear));
      if (taken && ShowCommandBox(Ui(UiText::SameNameExists), Ui(UiText::ConfirmCaption), 1) != 1) {
        result = 2;
      } else {
        // Each slot whose camera has a file and was opened captures its own still.
        int made = 0;
        bool ok = true;
        for (int i = 0; i < 2; ++i) {
          PlayerSlot& slot = PlayerApi_Slot(i);
          const std::string& path = i == 0 ? names.front : names.rear;
          if (!slot.initialised || !slot.opened.load() || path.empty()) continue;
          const PlayerSlotTable& table = PlayerApi_Table(i);
          const bool saved = table.saveSnapshot && table.saveSnapshot(&slot, 0, path) == 1;
          ok = ok && saved;
          made += saved ? 1 : 0;
        }
        result = ok && made > 0 ? 1 : 0;
        if (result == 1) WriteDefaultFolderIni(kFolderSection, kStillFolderKey, folder);
      }
    }
  }
  SetCommandControlsEnabled(true);
  UpdateButtonStates();
  RedrawViews();
  if (result == 0) ShowCommandBox(Ui(UiText::StillFailed), kErrorCaption, 0);
  if (result == 1) ShowCommandBox(Ui(UiText::Done), Ui(UiText::DoneCaption), 0);
}

bool CtesselDlg::RunCommand(int id) {
  // To-start while a file operation runs, full screen's aspect rule and the
  // filter buttons pass without the guard.
  if (id == kCmdToStart && busy_) {
    OnToStartCommand();
    return true;
  }
  if (id == kCmdFullScreenMode) {
    OnFullScreenModeCommand();
    return true;
  }
  if (id >= kFilterButtonFirst && id <= kFilterButtonFirst + 5) {
    OnFilterButton(id);  // ids past the five filters are refused there
    return true;
  }
  // While a file command waits for the source's rows, the others wait too.
  if (id < kCmdToStart || id > kCmdFrontRear || ReadingCommandRows() || IsCommandBlocked()) return false;
  switch (id) {
    case kCmdToStart: OnToStartCommand(); break;
    case kCmdPrevious: OnStepPairCommand(false); break;
    case kCmdPlayPause: OnPlayPauseCommand(); break;
    case kCmdSlower: OnRateCommand(false); break;
    case kCmdFaster: OnRateCommand(true); break;
    case kCmdNext: OnStepPairCommand(true); break;
    case kCmdStill: OnStillCommand(); break;
    case kCmdJoin: OnJoinCommand(); break;
    case kCmdZoom: OnZoomCommand(); break;
    case kCmdMirror: OnMirrorCommand(); break;
    case kCmdMap: OnMapCommand(); break;
    case kCmdBrowse: OnBrowseCommand(); break;
    case kCmdDelete: OnDeleteCommand(); break;
    case kCmdCsv: OnCsvCommand(); break;
    case kCmdFrontRear: OnCameraSwitchCommand(); break;
    default: return false;  // the settings panel has its own handler
  }
  return true;
}

void CtesselDlg::OnToStartCommand() {
  // While a file operation runs this is the way to stop it; its done message
  // ends the worker and brings the window back.
  if (busy_) {
    CancelFileWork();
    return;
  }
  ApplyDefaultRate();
  PlayerApi_SetVolume(selector_, 0);
  ShowRateLabel();
  PlayerApi_SeekAlt(selector_, 0);
  SetPosition(0);
  mapWrap_.SetPlayStatus(2);
  StopPlayback();
  UpdateButtonStates();
}

void CtesselDlg::OnPlayPauseCommand() {
  if (!firstRun_) {
    firstRun_ = true;
    ApplyLogoAndMapRule();
  }
  if (!pairBound_) return;
  if (PlayerApi_GetState(selector_) == kSlotPlaying) {
    ApplyDefaultRate();
    PauseByCommand();
    return;
  }
  PlayerApi_SetVolume(selector_, volume_);
  stoppedAtEnd_ = false;
  const int started = StartIfPaused();
  if (started == 0) startFailed_ = true;  // the next bind starts again
  ShowRateLabel();
  SetPlayButtonState(started != 0);
}

void CtesselDlg::PauseByCommand() {
  PauseAndShow();
  ShowRateLabel();
  if (!fullScreen_ && infoDlg_) infoDlg_->update();
  SetPlayButtonState(PlayerApi_GetState(selector_) == kSlotPlaying);
  PlayerApi_SetVolume(selector_, 0);
  PlayerApi_RefreshFrame(selector_);
}

void CtesselDlg::OnStepPairCommand(bool next) {
  PlayerApi_SetVolume(selector_, 0);
  PlayerApi_Pause(selector_);
  StopPlayback();
  if (next) {
    PlayNextFile();
  } else {
    PlayPreviousFile();
  }
}

void CtesselDlg::OnRateCommand(bool faster) {
  // One step a second at most: the debounce timer's expiry allows the next.
  if (timers_.IsSet(kTimerRateDebounce)) return;
  timers_.Set(kTimerRateDebounce, 1000);
  const int code = PlayerApi_GetNextRate(2, faster ? 1 : 0);
  if (code == DataRate()) return;
  PlayerApi_SetRate(code);
  PlayerApi_SeekPlaying(selector_, PlayerApi_GetPosition(2));
  UpdateButtonStates();
  ShowRateLabel();
}

void CtesselDlg::OnMapCommand() {
  mapShown_ = !mapShown_;
  if (commandButtons_[10]) commandButtons_[10]->SetLatched(mapShown_);
  mapWrap_.SetMapDisplay(mapShown_ ? 1 : 0);
  inet_.ProbeNow();
  if (!mapPlaced_) {
    PlaceMapPopout();
    mapPlaced_ = true;
  }
  ApplyLogoAndMapRule();
  if (mapPopout_) mapPopout_->setVisible(mapShown_);
}

void CtesselDlg::OnCameraSwitchCommand() {
  const int state = PlayerApi_GetState(selector_);
  PlaceCameras(frontPaneIndex_ == 0 ? 1 : 0);
  PlayerApi_SetVolume(selector_, volume_);
  if (state != kSlotClosed && state != kSlotPlaying) PlayerApi_RefreshFrame(selector_);
  if (moviePopout_) moviePopout_->raise();
}

void CtesselDlg::OnBrowseCommand() {
  // The pair and the list go before the dialog shows, as for a new source.
  if (PlayerApi_GetState(selector_) != kSlotPaused) PlayerApi_Pause(selector_);
  StopPlayback();
  ResetForNewSource();
  pendingBind_ = 0;
  CSourceOpenDlg dialog(this);
  if (dialog.exec() != QDialog::Accepted) {
    UpdateButtonStates();
    return;
  }
  std::string path = dialog.mode == 1 ? dialog.driveRoot : dialog.mode == 2 ? dialog.folderPath : dialog.filePath;
  if (path.empty()) {
    UpdateButtonStates();
    return;
  }
  if (!PathExists(path) || (dialog.mode == 3 && !IsRecordingFileName(path))) {
    ShowCommandBox(Ui(UiText::MovieOpenFailed), kErrorCaption, 0);
    UpdateButtonStates();
    return;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (browser_) browser_->OpenSource(path, static_cast<SourceMode>(dialog.mode));
  if (dialog.mode == 3) SendEventPoints(listIndex_, true);
  OnSourceOpened();
}

void CtesselDlg::ResetForNewSource() {
  PlaceCameras(0);  // the front camera back in the main pane; the pop-out's caption follows
  ResetPlayback();
  // No pair is left, and whatever rate the last one played at, the next
  // source starts at the normal rate (a pair's default is applied when it
  // opens): the slots and the band's label say so, as at start-up.
  if (DataRate() != kNormalRateCode) PlayerApi_SetRate(kNormalRateCode);
  ShowRateLabel();
  SetPlayButtonState(false);
  if (infoDlg_) {
    infoDlg_->ResetValues();
    infoDlg_->update();
  }
  if (graphDlg_) graphDlg_->update();
  LeaveZoomMode();
  if (browser_) browser_->ClearSource();
  notACard_ = true;
  {
    std::lock_guard<std::recursive_mutex> lock(playlistMutex_);
    SyncPlaylist();
  }
  UpdateButtonStates();
}

bool CtesselDlg::SourceRemoved() {
  return browser_ && browser_->Scanner().removed.load() != 0;
}

void CtesselDlg::PlaceCameras(int mainCamera) {
  mainCamera = mainCamera == 1 ? 1 : 0;
  if (!panes_[0] || !panes_[1]) return;
  // Pane 0 is the main window's, pane 1 the pop-out's; each camera's slot
  // draws into the pane it is shown in.
  const int panesOf[2] = {mainCamera == 0 ? 0 : 1, mainCamera == 0 ? 1 : 0};
  for (int camera = 0; camera < 2; ++camera) {
    VideoPane* from = nullptr;
    for (const auto& p : panes_)
      if (p->CameraIndex() == camera) from = p.get();
    CMovieStatic* to = panes_[panesOf[camera]].get();
    if (from) RescaleZoomView(views_[camera], from->ClientSize(), to->ClientSize());
  }
  for (int camera = 0; camera < 2; ++camera) {
    CMovieStatic* pane = panes_[panesOf[camera]].get();
    pane->SetCameraIndex(camera);
    PlayerSlot& slot = PlayerApi_Slot(camera);
    const PlayerSlotTable& table = PlayerApi_Table(camera);
    if (slot.initialised && table.setWindows) table.setWindows(&slot, pane, nullptr);
    if (slot.initialised) pane->ShowSlot(&slot);
    if (fullScreen_) SetSlotAspect(camera, camera == mainCamera ? keepAspect_ : true);
  }
  frontPaneIndex_ = mainCamera;
  if (moviePopout_) moviePopout_->SetCaption(mainCamera == 0 ? UiText::RearCameraCaption : UiText::ColumnFront);
  RedrawViews();
  panes_[1]->show();
}

void CtesselDlg::OnZoomCommand() {
  zoomMode_ = !zoomMode_;
  SetZoomMode(zoomMode_, panes_[0].get(), panes_[1].get(), *this);
}

void CtesselDlg::LeaveZoomMode() {
  if (zoomMode_) OnZoomCommand();
}

void CtesselDlg::SetBrowserZoomMode(bool on) {
  // The list gives way to the cover that says how to zoom.
  if (browser_) browser_->SetCover(on);
}

void CtesselDlg::OnPaneZoomClick(int camera, Point point) {
  if (!zoomMode_ || camera < 0 || camera > 1) return;
  const VideoPane* pane = nullptr;
  for (const auto& p : panes_)
    if (p && p->CameraIndex() == camera) pane = p.get();
  if (!pane || !ZoomAtClick(views_[camera], point, pane->ClientSize())) return;
  RedrawViews();
  PlayerApi_RefreshFrame(camera);
}

void CtesselDlg::OnMirrorCommand() {
  PlayerSlot& rear = PlayerApi_Slot(1);
  const PlayerSlotTable& table = PlayerApi_Table(1);
  const int flag = rear.initialised && table.setMirror ? table.setMirror(&rear) : 0;
  for (const auto& p : panes_)
    if (p && p->CameraIndex() == 1) p->SetMirrorChecked(flag != 0);
  PlayerApi_RefreshFrame(1);
}

void CtesselDlg::OnFullScreenModeCommand() {
  if (!pairBound_) return;
  keepAspect_ = !keepAspect_;
  SetSlotAspect(frontPaneIndex_, keepAspect_);
  PlayerApi_RefreshFrame(frontPaneIndex_);
  WriteDefaultFolderIni(kIniDisplay, kIniAspect, keepAspect_ ? kIniOn : kIniOff);
  ShowRateLabel();
}

}  // namespace qv
