// The source dialog: a removable card, a folder or one recording file.  The
// choice is remembered in the settings file's "SOURCE" section, which the
// browsing panel reads at start-up.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <string>
#include <vector>

#include "skin/skinbutton.h"
#include "skin/skindialog.h"

namespace qv {

class CSourceOpenDlg : public CSkinDialog {
  Q_OBJECT
 public:
  enum Command { kCmdCard = 39000, kCmdFolder = 39001, kCmdFile = 39002, kCmdBrowseFolder = 39003,
                 kCmdBrowseFile = 39004, kCmdClose = 21 };
  // drives: the removable mounts to offer (the system's when null).
  explicit CSourceOpenDlg(QWidget* parent = nullptr, const std::vector<std::string>* drives = nullptr);

  // 1 card, 2 folder, 3 file.
  int mode = 1;
  std::string folderPath, filePath, driveRoot;

  void SelectMode(int id);
  QPushButton* OkButton() const { return ok_; }
  QLineEdit* FolderEdit() const { return folderEdit_; }
  QLineEdit* FileEdit() const { return fileEdit_; }
  QComboBox* DriveList() const { return drives_; }
  CSkinCheckButton* Choice(int i) const { return choices_[static_cast<size_t>(i)]; }
  // Takes a chosen file: a recording name becomes the file path, anything
  // else is refused with the "ERROR" box.
  void TakeChosenFile(const std::string& path);

 protected:
  void OnCommand(int id) override;
  void OnOK();

 private:
  std::array<CSkinCheckButton*, 3> choices_{};
  QComboBox* drives_;
  QLineEdit* folderEdit_;
  QLineEdit* fileEdit_;
  QPushButton* folderBrowse_;
  QPushButton* fileBrowse_;
  QPushButton* ok_;
};

}  // namespace qv
