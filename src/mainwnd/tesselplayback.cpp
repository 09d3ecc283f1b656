// Playback control of the main window: the browsing panel's notices.
#include "browser/filercontainerdlg.h"
#include "mainwnd/tesseldlg.h"

namespace qv {

void CtesselDlg::OnListRowSelected(int row) {
  listIndex_ = row;
  if (browser_ && browser_->List()) {
    playlist_ = browser_->List()->shownRows;
    browser_->List()->currentRow = row;
  }
}

void CtesselDlg::OnFolderSelected(QTreeWidgetItem* item, bool) {
  if (browser_ && !browser_->Clearing()) browser_->OnFolderSelected(item);
}

void CtesselDlg::OnFilterClicked(int index) {
  if (browser_) browser_->SetFilter(index, !browser_->FilterButton(index)->Latched());
}

void CtesselDlg::OnSourceGone() {
  if (browser_) browser_->ClearSource();
}

}  // namespace qv
