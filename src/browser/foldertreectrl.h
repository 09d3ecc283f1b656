// The folder tree of the browsing panel: one item per folder that holds
// recordings, drawn by itself with a badge of the trigger kinds found there.
#pragma once

#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <string>

#include "recording/discovery.h"

namespace qv {

class FilerOwner;
class CFolderTreeCtrl;

class FolderTreeDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit FolderTreeDelegate(CFolderTreeCtrl* tree);
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  CFolderTreeCtrl* tree_;
};

// The badge of trigger flags v at scale s: k(39) x k(26), transparent where
// the images are white; the base image first, then one overlay per kind.
QImage ComposeBadge(uint32_t v, float s);

class CFolderTreeCtrl : public QTreeWidget, public FolderTreeSink {
  Q_OBJECT
 public:
  CFolderTreeCtrl(QWidget* parent, FilerOwner* owner);

  static constexpr int kFlagsRole = Qt::UserRole + 1;

  void SetOwner(FilerOwner* owner) { owner_ = owner; }
  void SetRootPath(const std::string& path) { rootPath_ = path; }
  const std::string& RootPath() const { return rootPath_; }
  // The item's folder: the root path and the texts from the top down.
  std::string GetItemPath(QTreeWidgetItem* item) const;
  // Expands the item and its ancestors.
  void ExpandToItem(QTreeWidgetItem* item);
  // Selects an item without telling the owner.
  void SelectQuietly(QTreeWidgetItem* item);
  int RowHeight() const;

  // FolderTreeSink: item 0 is the invisible root.
  Item InsertFolder(Item parent, const std::string& name) override;
  void SetFolderFlags(Item item, uint32_t mask) override;
  QTreeWidgetItem* ItemOf(Item item) const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  FilerOwner* owner_;
  FolderTreeDelegate delegate_;
  std::string rootPath_;
  bool quiet_ = false;
  bool userInput_ = false;  // a selection change now comes from the user
};

}  // namespace qv
