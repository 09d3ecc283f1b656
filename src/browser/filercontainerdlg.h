// The browsing panel: the folder tree, the recording list, five trigger
// filters and the item count.  It opens a source (a card, a folder or one
// recording file), scans it and fills the folders chosen in the tree off the
// window thread, and watches it so that the host learns when the card is
// pulled out.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "browser/browsermodel.h"
#include "browser/filelistctrl.h"
#include "browser/foldertreectrl.h"
#include "platform/qt/appmessage.h"
#include "platform/qt/ticketworker.h"
#include "recording/discovery.h"
#include "skin/skinbutton.h"

namespace qv {

class CResourceImage;
class FilerOwner;

// The panel's own messages: a source scan finished (generation / 0); the
// read of the command rows finished (its ticket / 0); the fill of a folder
// finished (its ticket / 0).
constexpr uint32_t kMsgFilerScanDone = kWmApp + 0x4B2;
constexpr uint32_t kMsgFilerRowsRead = kWmApp + 0x4B3;
constexpr uint32_t kMsgFilerFolderFilled = kWmApp + 0x4B4;

class CFilerContainerDlg : public QWidget {
  Q_OBJECT
 public:
  CFilerContainerDlg(QWidget* parent, FilerOwner* owner);
  ~CFilerContainerDlg() override;

  // Creates the children with all five filters on; 1.
  int CreateChildren();
  // Places the children for layout 0 (side by side) or 1 (stacked) in the
  // panel's rectangle (parent coordinates); answers the client rectangle.
  Rect LayoutSideBySide(const Rect& r);
  Rect LayoutStacked(const Rect& r);
  void ShowChildren(bool show);

  // Opens what DecideInitialSource chooses; 1 when a source was opened.
  int LoadInitialSource();
  void OpenSource(const std::string& path, SourceMode mode);
  // Waits for a running scan and shows its result now, with the rows of the
  // folder the source opens with.
  void FinishScan();
  bool Scanning() const { return scan_.thread.joinable(); }
  // Shows the folder of a tree item in the list.  Its files are read off the
  // window thread: the list empties at once and the panel shows that it is
  // busy; the owner hears OnFolderFilled(true) once the rows are listed.  A
  // fill under way is stopped and its rows dropped, as they are when the
  // source changes or is cleared meanwhile.  False (nothing started) when
  // the item names no folder.
  bool OnFolderSelected(QTreeWidgetItem* item, bool noCountRedraw = false);
  // A folder's rows are being read and not listed yet.
  bool Filling() const { return fillWanted_.item != nullptr; }
  // Waits for a fill under way and lists its rows now.
  void FinishFill();
  // Stops a fill under way and waits for its thread; its rows are dropped
  // and no notice comes.
  void CancelFill();
  // A scan or a fill runs: the panel shows the busy pointer.
  bool Busy() const { return scanBusy_ || Filling(); }
  // Makes `row` the list's current row, clears the old selection, selects
  // and focuses `row` and scrolls it into view (out of range: nothing); the
  // list's selection notice follows when the selection changed.  The flag
  // has no effect.
  void SelectRow(int row, int flag);
  // Reads every recording of the source afresh, regardless of the filters,
  // off the window thread; the owner gets the rows (OnEntriesRebuilt) when
  // they arrive, or a dropped notice when the source changed or was cleared
  // first.  False when there is nothing to read (no source yet), and then
  // no notice comes.  A read still under way is stopped and replaced.
  bool StartRebuild();
  bool Rebuilding() const { return rebuild_.thread.joinable(); }
  // Stops a read under way and waits for it; its rows are dropped and no
  // notice comes.
  void CancelRebuild();
  void SetFilter(int index, bool on);
  void ClearSource();

  void SetCover(bool on);
  void SetHidden(bool on);
  void SetImages(CResourceImage* images) { images_ = images; }

  CFolderTreeCtrl* Tree() const { return tree_; }
  CFileListCtrl* List() const { return list_; }
  QLineEdit* PathEdit() const { return pathEdit_; }
  CSkinButton* FilterButton(int i) const { return buttons_[static_cast<size_t>(i)]; }
  CMovieResource& Scanner() { return scanner_; }
  SourceMode Mode() const { return mode_; }
  const std::string& SourcePath() const { return sourcePath_; }
  const FormatInfo& Format() const { return format_; }
  const std::vector<RecordingEntry>& DriveRows() const { return driveRows_; }
  int Layout() const { return layout_; }
  // Raised by SetFilter: the list was filtered again, so a selection of the
  // row that already plays restarts it.  Taking it clears it.
  bool FilterChanged() const { return filterChanged_; }
  bool TakeFilterChanged() { return std::exchange(filterChanged_, false); }
  // Set while ClearSource empties the tree (its selection notices are then
  // no user's choice).
  bool Clearing() const { return clearing_; }
  // The count text ("12個").
  QString ItemCountText() const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  struct ScanResult;
  // A thread that fills a ScanResult and posts `message` with `ticket`
  // when done; the window thread takes the result on the notice.  Stopped
  // and joined when the panel goes.
  struct Worker : TicketWorker<ScanResult> {
    // `seed` is the scan memory the work starts from (the summaries of
    // movies already read); the work's scan stops when `cancel` is raised.
    void Start(AppMessagePort port, uint32_t message, uintptr_t ticket, std::function<void(ScanResult&)> work,
               ScanContext seed = {});
  };
  void StartScan(const std::string& path, SourceMode mode);
  void ApplyScan(uintptr_t generation);
  void ApplyRebuild(uintptr_t ticket);
  // Asks for the fill of an item's folder (chosen: asked for by the owner;
  // report: an unreadable file is reported to the owner).
  bool StartFill(QTreeWidgetItem* item, bool chosen, bool report, bool noCountRedraw);
  // Starts the fill asked for unless a stopped one still runs: the window
  // thread never waits for it (on a slow card, stopping takes as long as
  // the file read or folder listing under way); its notice starts the next.
  void LaunchFill();
  // Takes the result of the fill thread once ended; the scan memory it
  // took along comes back when the source is still the same.
  std::unique_ptr<ScanResult> TakeFill();
  void ApplyFill(uintptr_t ticket);
  // Forgets the fill asked for; a thread under way is told to stop.
  void DropFill();
  void ShowBusy();
  Rect LayoutPanel(int layout, const Rect& r);
  void ShowFirstFolder(bool scanReported);
  void PlaceChildren(const FilerPlaces& places);
  int FontHeight() const;
  void DrawBackground(QPainter& p);
  void DrawItemCount(QPainter& p);

  FilerOwner* owner_;
  AppMessageSink messages_{this};
  class Poster;
  std::unique_ptr<Poster> poster_;
  CMovieResource scanner_;
  ScanContext context_;

  int layout_ = 0;
  QLineEdit* pathEdit_ = nullptr;
  CFolderTreeCtrl* tree_ = nullptr;
  CFileListCtrl* list_ = nullptr;
  std::array<CSkinButton*, kFilterCount> buttons_{};
  CResourceImage* images_ = nullptr;

  bool clearing_ = false;
  bool filterChanged_ = false;
  bool cover_ = false;
  bool hidden_ = false;
  std::vector<RecordingEntry> driveRows_;
  SourceMode mode_ = SourceMode::kNone;
  FormatInfo format_;
  std::string sourcePath_;

  // The source scan, whose notice carries the source's generation.
  Worker scan_;
  uintptr_t generation_ = 0;

  // The read of the command rows: the source's generation when it started,
  // and a ticket per read, so that the notice of one stopped early is
  // dropped.
  Worker rebuild_;
  uintptr_t rebuildGeneration_ = 0;
  uintptr_t rebuildTicket_ = 0;
  bool scanBusy_ = false;

  // The fill asked for: the item whose folder it reads (null when none is
  // wanted), what it reads, whom it tells, and a ticket per fill.  The
  // thread runs one fill at a time (runTicket_, of the source's
  // runGeneration_) and holds the scan memory (context_) while it runs.
  struct FillRequest {
    QTreeWidgetItem* item = nullptr;
    std::string path;
    int depth = 0;
    bool chosen = false;
    bool report = true;
    bool noCountRedraw = false;
  };
  Worker fill_;
  FillRequest fillWanted_;
  uintptr_t fillTicket_ = 0;
  uintptr_t runTicket_ = 0;
  uintptr_t runGeneration_ = 0;
};

}  // namespace qv
