// The recording list of the browsing panel: one row per front/rear pair of
// the current folder, filtered by trigger kind, each row drawn in the
// colours of its trigger with the current row highlighted.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <vector>

#include "browser/browsermodel.h"
#include "recording/recordingentry.h"

namespace qv {

class FilerOwner;
class CFileListCtrl;

// The shown rows as a list model (the view holds no rows of its own).
class FileListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit FileListModel(CFileListCtrl* list);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  void Reset();

 private:
  CFileListCtrl* list_;
};

class FileListDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit FileListDelegate(CFileListCtrl* list);
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  CFileListCtrl* list_;
};

class CFileListCtrl : public QListView {
  Q_OBJECT
 public:
  CFileListCtrl(QWidget* parent, FilerOwner* owner);

  // Every row of the current folder, and the filtered rows the list shows.
  std::vector<RecordingEntry> allRows;
  std::vector<RecordingEntry> shownRows;
  // One flag per trigger kind, A, G, M, P, S.
  uint32_t filter[kFilterCount] = {0, 0, 0, 0, 0};
  // The row drawn as current (set by the panel and the host), -1 for none.
  int currentRow = -1;
  bool clicked = false;

  void SetOwner(FilerOwner* owner) { owner_ = owner; }
  // Rebuilds the shown rows from all rows with the filter.
  void ApplyFilter();
  // Empties the shown rows (all rows stay).
  void ClearShown();
  int ItemCount() const { return static_cast<int>(shownRows.size()); }
  // Makes `row` the current row and selects it; the selection notice
  // reaches the owner as for a click.
  void MakeCurrent(int row);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void OnSelectionChanged();

  FilerOwner* owner_;
  FileListModel model_;
  FileListDelegate delegate_;
};

}  // namespace qv
