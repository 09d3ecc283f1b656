#include "browser/filelistctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <mutex>

#include "browser/filerowner.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "recording/recordingname.h"

namespace qv {

FileListModel::FileListModel(CFileListCtrl* list) : list_(list) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_->shownRows.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return QString::fromStdString(ListRowText(list_->shownRows[static_cast<size_t>(index.row())]));
}

void FileListModel::Reset() {
  beginResetModel();
  endResetModel();
}

FileListDelegate::FileListDelegate(CFileListCtrl* list) : QStyledItemDelegate(list), list_(list) {}

QSize FileListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(1, std::max(1, ScaleInt(20, BrowserScale())));
}

void FileListDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const int row = index.row();
  if (row < 0 || row >= static_cast<int>(list_->shownRows.size()) || list_->viewport()->width() == 0) return;
  const RecordingEntry& e = list_->shownRows[static_cast<size_t>(row)];
  const RowColors c = ListRowColors(row == list_->currentRow, ListRowTrigger(e));
  QRect bounds = option.rect;
  if (c.fillFromLeft) bounds.setLeft(0);
  p->save();
  p->fillRect(bounds, ToQColor(c.fill));
  // The frame grows one pixel right and down, so neighbours share lines.
  p->setPen(ToQColor(kListFrame));
  p->setBrush(Qt::NoBrush);
  p->drawRect(option.rect);
  QRect text = option.rect.adjusted(ScaleInt(6, BrowserScale()), 0, 0, 0);
  p->setFont(list_->font());
  p->setPen(ToQColor(c.text));
  const QString elided = p->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight, text.width());
  p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
  p->restore();
}

CFileListCtrl::CFileListCtrl(QWidget* parent, FilerOwner* owner)
    : QListView(parent), owner_(owner), model_(this), delegate_(this) {
  setModel(&model_);
  setItemDelegate(&delegate_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setWordWrap(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, ToQColor(kListBackground));
  pal.setColor(QPalette::Window, ToQColor(kListBackground));
  setPalette(pal);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
}

void CFileListCtrl::ApplyFilter() {
  shownRows.clear();
  FilterEntriesByTrigger(allRows, shownRows, filter);
  model_.Reset();
  // An empty list keeps a disabled scroll bar.
  verticalScrollBar()->setEnabled(!shownRows.empty());
  viewport()->update();
}

void CFileListCtrl::ClearShown() {
  shownRows.clear();
  model_.Reset();
  verticalScrollBar()->setEnabled(false);
}

void CFileListCtrl::MakeCurrent(int row) {
  if (row < 0 || row >= ItemCount()) return;
  currentRow = row;
  selectionModel()->setCurrentIndex(model_.index(row, 0), QItemSelectionModel::ClearAndSelect);
  viewport()->update();
}

void CFileListCtrl::OnSelectionChanged() {
  if (!owner_) return;
  const QModelIndexList rows = selectionModel()->selectedIndexes();
  std::lock_guard<std::recursive_mutex> lock(owner_->PlaylistMutex());
  if (!rows.isEmpty()) owner_->OnListRowSelected(rows.first().row());
}

void CFileListCtrl::mousePressEvent(QMouseEvent* e) {
  clicked = true;
  QListView::mousePressEvent(e);
}

void CFileListCtrl::paintEvent(QPaintEvent* e) {
  {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), ToQColor(kListBackground));
  }
  QListView::paintEvent(e);
}

}  // namespace qv
