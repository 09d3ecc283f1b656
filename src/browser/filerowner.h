// What the browsing panel asks of the window that hosts it.
#pragma once

#include <mutex>

class QTreeWidgetItem;

namespace qv {

class FilerOwner {
 public:
  virtual ~FilerOwner() = default;
  // The playlist mutex; the list's selection notice runs under it.
  virtual std::recursive_mutex& PlaylistMutex() = 0;
  // The user selected a row of the list (called with PlaylistMutex held).
  virtual void OnListRowSelected(int row) = 0;
  // The user selected a folder of the tree; the host stops playback and
  // has the panel show the folder (CFilerContainerDlg::OnFolderSelected).
  virtual void OnFolderSelected(QTreeWidgetItem* item) = 0;
  // The watched source is gone (the card was pulled out); window thread.
  virtual void OnSourceGone() = 0;
};

}  // namespace qv
