// What the browsing panel asks of the window that hosts it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "recording/discovery.h"
#include "recording/recordingentry.h"

class QTreeWidgetItem;

namespace qv {

class FilerOwner {
 public:
  virtual ~FilerOwner() = default;
  // The playlist mutex; the list's selection notice runs under it.
  virtual std::recursive_mutex& PlaylistMutex() = 0;
  // The user selected a row of the list (called with PlaylistMutex held).
  virtual void OnListRowSelected(int row) = 0;
  // A folder of the tree became selected (byUser: by the mouse or the
  // keyboard); the host stops playback and has the panel show the folder
  // (CFilerContainerDlg::OnFolderSelected) unless the panel is clearing.
  virtual void OnFolderSelected(QTreeWidgetItem* item, bool byUser) = 0;
  // The rows of a folder are listed: of one the host had the panel show
  // (`chosen`), or of the folder a new source opens with (no row is made
  // current for it).  Window thread.
  virtual void OnFolderFilled(bool /*chosen*/) {}
  // A filter button was clicked; the host sets the filter to the opposite
  // of the button's latched state (CFilerContainerDlg::SetFilter).
  virtual void OnFilterClicked(int index) = 0;
  // The watched source is gone (the card was pulled out); window thread.
  virtual void OnSourceGone() = 0;
  // A scan met a file it could not read (a failing card: the files are not
  // merely cut short); `error` is the errno.  Window thread.
  virtual void OnSourceUnreadable(const std::string& /*path*/, int /*error*/) {}
  // The rows a CFilerContainerDlg::StartRebuild read; `current` false (and
  // no rows) when the source changed or was cleared while they were read.
  // Window thread.
  virtual void OnEntriesRebuilt(std::vector<RecordingEntry> /*rows*/, bool /*current*/) {}
  // A card's scan read its format description (CFilerContainerDlg::Format
  // holds it from now on).  Window thread.
  virtual void OnFormatInfoRead(const FormatInfo& /*info*/) {}
};

}  // namespace qv
