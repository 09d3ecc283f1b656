// The selection dialog of the delete and join commands: a check list of
// recordings with the size totals.  In join mode the ticked rows stay one
// block and the totals are held to 1024 MB and 100 files per camera.
#pragma once

#include <QLabel>
#include <QPushButton>

#include <functional>
#include <vector>

#include "browser/browsermodel.h"
#include "skin/skinbutton.h"
#include "skin/skincontrols.h"
#include "skin/skindialog.h"

namespace qv {

class CFileSelectDlg : public CSkinDialog {
  Q_OBJECT
 public:
  enum Command { kCmdClose = 20 };
  explicit CFileSelectDlg(QWidget* parent = nullptr);

  // Takes at most the first 1500 rows (saying so once when there are more);
  // 1.  An empty vector changes nothing.
  int SetFileList(const std::vector<RecordingEntry>& rows);
  // Every recording of the source (delete mode's "show all files").
  std::vector<RecordingEntry> allRows;
  // 0 delete, 2 join; set before InitDialog.
  int mode = FileSelectModel::kDelete;
  // The ticked rows after OK.
  std::vector<RecordingEntry> result;

  // Builds the list and places the controls for the mode (DoModal does it).
  void InitDialog();
  int DoModal();
  void FillList(bool showAll);
  // A tick or untick by the user, as a click does it.
  void ToggleRow(int row);
  void OnOK();

  // How the dialog shows its "ERROR" boxes; a test puts its own in place.
  std::function<void(const QString& text)> errorBox;

  CSkinListCtrl* List() const { return list_; }
  QPushButton* OkButton() const { return ok_; }
  QLabel* FrontTotal() const { return front_; }
  QLabel* RearTotal() const { return rear_; }
  CSkinCheckButton* ShowAll() const { return showAll_; }
  CSkinCheckButton* TickAll() const { return tickAll_; }
  const FileSelectModel& Model() const { return model_; }

 protected:
  void OnCommand(int id) override;

 private:
  void OnStateChanged(int row, int oldState, int newState);
  void SyncImages();
  void UpdateTotals();

  std::vector<RecordingEntry> given_;
  FileSelectModel model_;
  CSkinListCtrl* list_;
  CSkinCheckButton* showAll_;
  CSkinCheckButton* tickAll_;
  QLabel* front_;
  QLabel* rear_;
  QPushButton* ok_;
  bool busy_ = false;
  FileSelectModel::Totals totals_;
};

}  // namespace qv
