#include "browser/filercontainerdlg.h"

#include <QFontInfo>
#include <QPainter>
#include <QPaintEvent>

#include "browser/filerowner.h"
#include "browser/browsermodel.h"
#include "platform/apphelpers.h"
#include "platform/numtext.h"
#include "platform/pathutil.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "recording/checkfile.h"
#include "skin/fonts.h"
#include "skin/resourceimage.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

namespace {

constexpr ColorRef kPanelBackground = 0x313131;
constexpr ColorRef kPanelFrame = 0xAAAAAA;
constexpr int kCoverSideBySide = 214;
constexpr int kCoverStacked = 215;
const UiText kCaptions[kFilterCount] = {UiText::FilterA, UiText::FilterG, UiText::FilterM, UiText::FilterP,
                                        UiText::FilterS};

int K(int n) { return ScaleInt(n, BrowserScale()); }

}  // namespace

// The watcher's notice goes to the panel's own queue.
class CFilerContainerDlg::Poster : public MessagePost {
 public:
  explicit Poster(AppMessagePort port) : port_(std::move(port)) {}
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override { return port_.Post(message, wParam, lParam); }

 private:
  AppMessagePort port_;
};

struct CFilerContainerDlg::ScanResult {
  FolderTreeRecord tree;
  std::vector<RecordingEntry> entries;
  std::vector<RecordingEntry> driveRows;
  FormatInfo format;
  bool formatRead = false;
  ScanContext context;
};

void CFilerContainerDlg::Worker::Start(AppMessagePort port, uint32_t message, uintptr_t ticket,
                                       std::function<void(ScanResult&)> work, ScanContext seed) {
  ScanResult first;
  first.context = std::move(seed);
  TicketWorker::Start(
      std::move(port), message, ticket,
      [work = std::move(work)](ScanResult& r, const std::atomic<bool>& cancel) {
        r.context.cancel = &cancel;
        work(r);
        r.context.cancel = nullptr;
      },
      std::move(first));
}

CFilerContainerDlg::CFilerContainerDlg(QWidget* parent, FilerOwner* owner)
    : QWidget(parent), owner_(owner), poster_(std::make_unique<Poster>(messages_.Port())) {
  scanner_.SetOwner(poster_.get());
  messages_.On(kMsgMovieResourceRemoved, [this](uintptr_t, intptr_t) {
    if (owner_) owner_->OnSourceGone();
  });
  messages_.On(kMsgFilerScanDone, [this](uintptr_t generation, intptr_t) { ApplyScan(generation); });
  messages_.On(kMsgFilerRowsRead, [this](uintptr_t ticket, intptr_t) { ApplyRebuild(ticket); });
  messages_.On(kMsgFilerFolderFilled, [this](uintptr_t ticket, intptr_t) { ApplyFill(ticket); });
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CFilerContainerDlg::~CFilerContainerDlg() { scanner_.SetOwner(nullptr); }

int CFilerContainerDlg::CreateChildren() {
  tree_ = new CFolderTreeCtrl(this, owner_);
  list_ = new CFileListCtrl(this, owner_);
  if (Font13pt) {
    tree_->setFont(*Font13pt);
    list_->setFont(*Font13pt);
  }
  pathEdit_ = new QLineEdit(this);
  pathEdit_->setReadOnly(true);
  if (AppFont) pathEdit_->setFont(*AppFont);
  pathEdit_->hide();
  for (int i = 0; i < kFilterCount; ++i) {
    auto* b = new CSkinButton(this);
    b->LoadSkin(kSkinCheck, Rect::FromSize(K(200) + i * K(60), K(40), K(12), K(12)));
    b->setGeometry(ToQRect(Rect::FromSize(K(200) + i * K(60), K(40), K(12), K(12))));
    b->show();
    // A click goes to the host, which sets the filter (the panel alone
    // flips it).
    connect(b, &QAbstractButton::clicked, this, [this, i] {
      if (owner_)
        owner_->OnFilterClicked(i);
      else
        SetFilter(i, !buttons_[static_cast<size_t>(i)]->Latched());
    });
    buttons_[static_cast<size_t>(i)] = b;
    SetFilter(i, true);
  }
  filterChanged_ = false;
  return 1;
}

int CFilerContainerDlg::FontHeight() const {
  const QFont f = pathEdit_ ? pathEdit_->font() : font();
  return QFontInfo(f).pixelSize();
}

void CFilerContainerDlg::PlaceChildren(const FilerPlaces& places) {
  tree_->setGeometry(ToQRect(places.tree));
  list_->setGeometry(ToQRect(places.list));
  pathEdit_->setGeometry(ToQRect(places.pathEdit));
  for (int i = 0; i < kFilterCount; ++i) buttons_[static_cast<size_t>(i)]->setGeometry(ToQRect(places.buttons[i]));
}

Rect CFilerContainerDlg::LayoutSideBySide(const Rect& r) { return LayoutPanel(0, r); }

Rect CFilerContainerDlg::LayoutStacked(const Rect& r) { return LayoutPanel(1, r); }

Rect CFilerContainerDlg::LayoutPanel(int layout, const Rect& r) {
  layout_ = layout;
  if (r.Width() == 0 || !tree_) return Rect::FromSize(0, 0, width(), height());
  setGeometry(ToQRect(r));
  PlaceChildren(LayoutFiler(layout, Size{r.Width(), r.Height()}, BrowserScale(), FontHeight()));
  if (layout == 1 && parentWidget()) parentWidget()->update(ToQRect(r));
  ShowChildren(!cover_);
  setVisible(!hidden_);
  return Rect::FromSize(0, 0, r.Width(), r.Height());
}

void CFilerContainerDlg::ShowChildren(bool show) {
  if (!tree_) return;
  tree_->setVisible(show);
  list_->setVisible(show);
  for (CSkinButton* b : buttons_) b->setVisible(show);
  pathEdit_->hide();
  update();
}

void CFilerContainerDlg::SetCover(bool on) {
  cover_ = on;
  ShowChildren(!on);
}

void CFilerContainerDlg::SetHidden(bool on) {
  hidden_ = on;
  setVisible(!on);
}

int CFilerContainerDlg::LoadInitialSource() {
  if (tree_) tree_->clear();
  std::vector<std::string> mounts;
  FindRemovableDrives(mounts);
  const SourceChoice choice =
      DecideInitialSource(mounts, ReadDefaultFolderIni("SOURCE", "FOLDER"), ReadDefaultFolderIni("SOURCE", "FILE"),
                          [](const std::string& p) { return PathExists(p); });
  if (choice.mode == SourceMode::kNone) return 0;
  OpenSource(choice.path, choice.mode);
  return 1;
}

void CFilerContainerDlg::OpenSource(const std::string& path, SourceMode mode) {
  if (!tree_) return;
  // A read of the command rows belongs to the source that goes: it stops at
  // its next item and its rows are dropped when its notice arrives.
  rebuild_.cancel = true;
  scan_.cancel = true;
  if (scan_.thread.joinable()) scan_.thread.join();
  scanBusy_ = false;
  DropFill();
  ++generation_;
  scanner_.removed = 0;
  context_.Reset();
  list_->allRows.clear();
  list_->ClearShown();
  list_->currentRow = -1;
  tree_->clear();
  sourcePath_ = path;
  mode_ = mode;
  driveRows_.clear();
  update();

  switch (mode) {
    case SourceMode::kDrive:
      tree_->SetRootPath(path);
      scanner_.SetWatchPath(path);
      StartScan(path, mode);
      break;
    case SourceMode::kFolder: {
      const FolderSplit split = SplitSourceFolder(path);
      tree_->SetRootPath(split.parent);
      scanner_.SetWatchPath(JoinPath(split.parent, split.name));
      StartScan(path, mode);
      break;
    }
    case SourceMode::kFile: {
      if (!CheckFile(path)) break;
      scanner_.SetWatchPath(path);
      AddFileEntry(path, list_->allRows, context_);
      const std::string folder = ParentFolder(path);
      tree_->SetRootPath(folder);
      list_->ApplyFilter();
      if (list_->ItemCount() > 0) list_->MakeCurrent(0);
      pathEdit_->setText(QString::fromStdString(folder));
      if (owner_) owner_->OnFolderFilled(false);
      break;
    }
    case SourceMode::kNone:
      break;
  }
  ShowBusy();
}

void CFilerContainerDlg::StartScan(const std::string& path, SourceMode mode) {
  scanBusy_ = true;
  scan_.Start(messages_.Port(), kMsgFilerScanDone, generation_, [path, mode](ScanResult& r) {
    if (mode == SourceMode::kDrive) {
      FillFolderTree(path, &r.tree, 0, r.entries, &r.driveRows, true, nullptr, 0, r.context);
      r.formatRead = ReadFormatConfig(path, r.format);
    } else {
      const FolderSplit split = SplitSourceFolder(path);
      const FolderTreeSink::Item top = r.tree.InsertFolder(0, split.name);
      FillFolderTree(JoinPath(split.parent, split.name), &r.tree, top, r.entries, nullptr, false, nullptr, 0, r.context);
    }
    SortEntries(r.entries);
  });
}

void CFilerContainerDlg::FinishScan() {
  if (scan_.thread.joinable()) ApplyScan(generation_);
  FinishFill();
}

void CFilerContainerDlg::ApplyScan(uintptr_t generation) {
  if (generation != generation_) return;  // a later open replaced it
  std::unique_ptr<ScanResult> result = scan_.Take();
  if (!result) return;
  scanBusy_ = false;
  ShowBusy();
  const bool reported = !result->context.unreadablePath.empty() && owner_;
  if (reported) {
    owner_->OnSourceUnreadable(result->context.unreadablePath, result->context.unreadableError);
    // The message box's own event loop may have cleared or replaced the source.
    if (generation != generation_) return;
  }
  tree_->setUpdatesEnabled(false);
  tree_->clear();
  result->tree.Replay(*tree_, 0);
  tree_->setUpdatesEnabled(true);
  list_->allRows = std::move(result->entries);
  driveRows_ = std::move(result->driveRows);
  if (result->formatRead) format_ = result->format;
  context_ = std::move(result->context);
  ShowFirstFolder(reported);
  update();
  if (result->formatRead && owner_) owner_->OnFormatInfoRead(format_);
}

// A source opens with a folder selected: a card with its first date folder,
// filled as a chosen folder is; a folder source with its own item and the
// recordings the scan found in the folder itself.  No row becomes current.
void CFilerContainerDlg::ShowFirstFolder(bool scanReported) {
  QTreeWidgetItem* first = tree_->topLevelItem(0);
  if (first) tree_->SelectQuietly(first);
  if (first && mode_ == SourceMode::kDrive) {
    // The scan told of an unreadable file already.
    if (StartFill(first, false, !scanReported, false)) return;
  }
  if (first) {
    pathEdit_->setText(QString::fromStdString(tree_->GetItemPath(first)));
    tree_->ExpandToItem(first);
  }
  list_->ApplyFilter();
  if (owner_) owner_->OnFolderFilled(false);
}

bool CFilerContainerDlg::OnFolderSelected(QTreeWidgetItem* item, bool noCountRedraw) {
  return StartFill(item, true, true, noCountRedraw);
}

bool CFilerContainerDlg::StartFill(QTreeWidgetItem* item, bool chosen, bool report, bool noCountRedraw) {
  if (!tree_ || !item) return false;
  const std::string path = tree_->GetItemPath(item);
  if (path.empty()) return false;
  DropFill();
  pathEdit_->setText(QString::fromStdString(path));
  scanner_.removed = 0;
  list_->allRows.clear();
  list_->ApplyFilter();
  while (item->childCount() > 0) delete item->takeChild(0);
  int depth = 0;
  for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) ++depth;
  fillWanted_ = {item, path, depth, chosen, report, noCountRedraw};
  LaunchFill();
  ShowBusy();
  if (!noCountRedraw && !cover_) update();
  return true;
}

void CFilerContainerDlg::LaunchFill() {
  if (!fillWanted_.item || runTicket_ == fillTicket_) return;
  if (fill_.Busy()) return;
  TakeFill();
  context_.sequence = 0;
  context_.unreadablePath.clear();
  context_.unreadableError = 0;
  runTicket_ = fillTicket_;
  runGeneration_ = generation_;
  fill_.Start(
      messages_.Port(), kMsgFilerFolderFilled, runTicket_,
      [path = fillWanted_.path, recurse = mode_ == SourceMode::kDrive, depth = fillWanted_.depth](ScanResult& r) {
        FillFolderTree(path, &r.tree, 0, r.entries, nullptr, recurse, nullptr, depth, r.context);
        SortEntries(r.entries);
      },
      std::move(context_));
  context_.Reset();
}

std::unique_ptr<CFilerContainerDlg::ScanResult> CFilerContainerDlg::TakeFill() {
  std::unique_ptr<ScanResult> result = fill_.Take();
  if (result && runGeneration_ == generation_) context_ = std::move(result->context);
  return result;
}

void CFilerContainerDlg::FinishFill() {
  if (!fillWanted_.item) return;
  if (runTicket_ != fillTicket_) {
    // A stopped fill still ends: wait for it here and start the one asked for.
    TakeFill();
    LaunchFill();
  }
  ApplyFill(fillTicket_);
}

void CFilerContainerDlg::DropFill() {
  fill_.cancel = true;
  ++fillTicket_;  // a notice already queued is dropped
  fillWanted_.item = nullptr;
}

void CFilerContainerDlg::CancelFill() {
  DropFill();
  TakeFill();
  ShowBusy();
}

void CFilerContainerDlg::ApplyFill(uintptr_t ticket) {
  if (ticket != fillTicket_) {
    // A stopped fill ended: the one asked for meanwhile can start now.
    if (ticket == runTicket_) {
      TakeFill();
      LaunchFill();
    }
    return;
  }
  if (!fillWanted_.item) return;
  std::unique_ptr<ScanResult> result = TakeFill();
  QTreeWidgetItem* item = std::exchange(fillWanted_.item, nullptr);
  ShowBusy();
  if (!result) return;
  // The scan memory is back in context_, with the file it could not read.
  if (fillWanted_.report && !context_.unreadablePath.empty() && owner_) {
    owner_->OnSourceUnreadable(context_.unreadablePath, context_.unreadableError);
    // The message box's own event loop may have started another fill or
    // replaced the source.
    if (ticket != fillTicket_) return;
  }
  tree_->setUpdatesEnabled(false);
  result->tree.Replay(*tree_, reinterpret_cast<FolderTreeSink::Item>(item));
  tree_->setUpdatesEnabled(true);
  tree_->ExpandToItem(item);
  list_->allRows = std::move(result->entries);
  list_->ApplyFilter();
  if (!fillWanted_.noCountRedraw && !cover_) update();
  if (owner_) owner_->OnFolderFilled(fillWanted_.chosen);
}

void CFilerContainerDlg::ShowBusy() {
  if (Busy())
    setCursor(Qt::BusyCursor);
  else
    unsetCursor();
}

void CFilerContainerDlg::SelectRow(int row, int) {
  if (!list_ || row < 0 || row >= list_->ItemCount()) return;
  list_->MakeCurrent(row);
  list_->scrollTo(list_->model()->index(row, 0));
}

bool CFilerContainerDlg::StartRebuild() {
  if (!tree_) return false;
  // Delete, join and the CSV export act on these rows: the files are read
  // afresh rather than trusting what browsing remembered.  What to read is
  // taken from the tree here; the worker only reads files.
  std::string folder, file;
  if (mode_ == SourceMode::kDrive) {
    folder = tree_->RootPath();
  } else if (mode_ == SourceMode::kFile) {
    file = sourcePath_;
  } else if (QTreeWidgetItem* first = tree_->topLevelItem(0)) {
    folder = tree_->GetItemPath(first);
  }
  if (folder.empty() && file.empty()) return false;
  CancelRebuild();
  rebuildGeneration_ = generation_;
  rebuild_.Start(messages_.Port(), kMsgFilerRowsRead, ++rebuildTicket_, [folder, file](ScanResult& r) {
    if (!file.empty())
      AddFileEntry(file, r.entries, r.context);
    else
      ScanFolderEntries(folder, r.entries, nullptr, 0, r.context);
  });
  return true;
}

void CFilerContainerDlg::CancelRebuild() {
  rebuild_.cancel = true;
  ++rebuildTicket_;  // a notice already queued is dropped
  rebuild_.Take();
}

void CFilerContainerDlg::ApplyRebuild(uintptr_t ticket) {
  if (ticket != rebuildTicket_) return;  // stopped, or replaced by a later read
  std::unique_ptr<ScanResult> result = rebuild_.Take();
  if (!owner_) return;
  const uintptr_t started = rebuildGeneration_;
  bool current = result && started == generation_;
  if (current && !result->context.unreadablePath.empty()) {
    owner_->OnSourceUnreadable(result->context.unreadablePath, result->context.unreadableError);
    // The message box's own event loop may have cleared or replaced the source.
    if (ticket != rebuildTicket_) return;
    current = started == generation_;
  }
  owner_->OnEntriesRebuilt(current ? std::move(result->entries) : std::vector<RecordingEntry>{}, current);
}

void CFilerContainerDlg::SetFilter(int index, bool on) {
  if (index < 0 || index >= kFilterCount || !list_) return;  // five filters; others are ignored
  buttons_[static_cast<size_t>(index)]->SetLatched(on);
  filterChanged_ = true;
  list_->filter[index] = on ? 1 : 0;
  list_->ApplyFilter();
  if (list_->ItemCount() > 0) list_->MakeCurrent(0);
  update();
}

void CFilerContainerDlg::ClearSource() {
  // A scan or a read of the command rows under way belongs to the source
  // that went: it stops at its next item and its result is dropped.
  scan_.cancel = true;
  rebuild_.cancel = true;
  scanBusy_ = false;
  DropFill();
  ShowBusy();
  ++generation_;
  clearing_ = true;
  if (tree_) tree_->clear();
  driveRows_.clear();
  clearing_ = false;
  if (owner_ && list_) {
    pathEdit_->clear();
    list_->ClearShown();
  }
  if (list_) list_->allRows.clear();
  update();
}

QString CFilerContainerDlg::ItemCountText() const {
  QString text = QString::fromUtf8(GetUiText(UiText::ItemCount));
  return text.replace(QStringLiteral("%d"), QString::fromStdString(FormatInt(list_ ? list_->ItemCount() : 0)));
}

void CFilerContainerDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  DrawBackground(p);
}

void CFilerContainerDlg::DrawItemCount(QPainter& p) {
  const Rect r = ItemCountRect(layout_, Size{width(), height()}, BrowserScale(), FontHeight());
  if (r.IsEmpty()) return;
  p.fillRect(ToQRect(r), ToQColor(kPanelBackground));
  p.setPen(Qt::white);
  p.setFont(pathEdit_ ? pathEdit_->font() : font());
  p.drawText(ToQRect(r), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, ItemCountText());
}

void CFilerContainerDlg::DrawBackground(QPainter& p) {
  if ((layout_ != 0 && layout_ != 1) || width() == 0) return;
  const QRect client = rect();
  if (cover_) {
    const QImage cover = images_ ? images_->Image(layout_ == 0 ? kCoverSideBySide : kCoverStacked)
                                 : SkinImage(layout_ == 0 ? kCoverSideBySide : kCoverStacked);
    if (!cover.isNull()) p.drawImage(client, cover);
    const QRect box(client.center().x() - K(90), client.center().y() - K(50), 2 * K(90), 2 * K(50));
    p.setPen(Qt::white);
    if (Font13pt) p.setFont(*Font13pt);
    p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, QString::fromUtf8(GetUiText(UiText::ZoomCover)));
    return;
  }
  p.fillRect(client, ToQColor(kPanelBackground));
  p.setPen(ToQColor(kPanelFrame));
  p.setBrush(Qt::NoBrush);
  p.drawRect(client.adjusted(0, 0, -1, -1));
  DrawItemCount(p);
  if (!tree_) return;
  const FilerPlaces places = LayoutFiler(layout_, Size{width(), height()}, BrowserScale(), FontHeight());
  p.setPen(Qt::white);
  p.setFont(pathEdit_->font());
  for (int i = 0; i < kFilterCount; ++i)
    p.drawText(ToQRect(places.captions[i]), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               QString::fromUtf8(GetUiText(kCaptions[i])));
}

}  // namespace qv
