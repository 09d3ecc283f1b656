#include "browser/sourceopendlg.h"

#include <QCoreApplication>
#include <QFileDialog>

#include "browser/browsermodel.h"
#include "platform/apphelpers.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "recording/recordingname.h"
#include "skin/fonts.h"
#include "skin/helpers.h"
#include "skin/msgbox.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

namespace {

int K(int n) { return ScaleInt(n, BrowserScale()); }
QString Text(UiText id) { return QString::fromUtf8(GetUiText(id)); }

}  // namespace

CSourceOpenDlg::CSourceOpenDlg(QWidget* parent, const std::vector<std::string>* drives) : CSkinDialog(parent) {
  setWindowTitle(Text(UiText::SourceTitle));
  if (AppFont) setFont(*AppFont);
  Rect work;
  GetMonitorRects(&work, nullptr, FromQPoint(pos()));
  setGeometry(work.left + (work.Width() - K(540)) / 2, work.top + (work.Height() - K(250)) / 2, K(540), K(250));

  const UiText captions[3] = {UiText::SourceCard, UiText::SourceFolder, UiText::SourceFile};
  drives_ = new QComboBox(this);
  folderEdit_ = new QLineEdit(this);
  fileEdit_ = new QLineEdit(this);
  folderBrowse_ = new QPushButton(QStringLiteral("..."), this);
  fileBrowse_ = new QPushButton(QStringLiteral("..."), this);
  QWidget* controls[3] = {drives_, folderEdit_, fileEdit_};
  for (int n = 1; n <= 3; ++n) {
    const int top = n * K(50);
    auto* choice = new CSkinCheckButton(this);
    choice->setText(Text(captions[n - 1]));
    choice->LoadCheckImages(kSkinChoice);
    choice->setGeometry(K(30), top, K(120), K(26));
    const int id = kCmdCard + n - 1;
    connect(choice, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    choices_[static_cast<size_t>(n - 1)] = choice;
    controls[n - 1]->setGeometry(K(30) + K(120), top, K(300), K(26));
  }
  const int right = K(30) + K(120) + K(300);
  folderBrowse_->setGeometry(right + K(20), 2 * K(50), K(40), K(26));
  fileBrowse_->setGeometry(right + K(20), 3 * K(50), K(40), K(26));
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(right + K(20) - K(60), 3 * K(50) + K(50), K(40) + K(60), K(26));
  connect(folderBrowse_, &QPushButton::clicked, this, [this] { OnCommand(kCmdBrowseFolder); });
  connect(fileBrowse_, &QPushButton::clicked, this, [this] { OnCommand(kCmdBrowseFile); });
  connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });
  CreateCloseButton(kCmdClose);

  std::vector<std::string> found;
  if (!drives) FindRemovableDrives(found);
  for (const std::string& d : drives ? *drives : found) drives_->addItem(QString::fromStdString(d));
  drives_->setCurrentIndex(drives_->count() - 1);  // the last removable drive, or none
  connect(drives_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    driveRoot = drives_->itemText(index).toStdString();
    SelectMode(kCmdCard);
  });
  // Typing a path chooses its row, so that a typed path can be confirmed.
  connect(folderEdit_, &QLineEdit::textEdited, this, [this] { SelectMode(kCmdFolder); });
  connect(fileEdit_, &QLineEdit::textEdited, this, [this] { SelectMode(kCmdFile); });

  folderPath = ReadDefaultFolderIni("SOURCE", "FOLDER");
  filePath = ReadDefaultFolderIni("SOURCE", "FILE");
  driveRoot = ReadDefaultFolderIni("SOURCE", "SD");
  folderEdit_->setText(QString::fromStdString(folderPath));
  fileEdit_->setText(QString::fromStdString(filePath));
  const std::string select = ReadDefaultFolderIni("SOURCE", "SELECT");
  SelectMode(select == "FOLDER" ? kCmdFolder : select == "FILE" ? kCmdFile : kCmdCard);
}

void CSourceOpenDlg::SelectMode(int id) {
  const bool driveChosen = drives_->currentIndex() >= 0;
  if (id == kCmdCard) {
    mode = 1;
    ok_->setEnabled(driveChosen);
  } else if (id == kCmdFolder) {
    mode = 2;
    ok_->setEnabled(!folderEdit_->text().isEmpty());
  } else if (id == kCmdFile) {
    mode = 3;
    ok_->setEnabled(!fileEdit_->text().isEmpty());
  } else {
    return;
  }
  for (int i = 0; i < 3; ++i) choices_[static_cast<size_t>(i)]->SetChecked(kCmdCard + i == id);
  update();
}

void CSourceOpenDlg::TakeChosenFile(const std::string& path) {
  if (!IsRecordingFileName(path)) {
    CMsgBox(this).Show(Text(UiText::MovieOpenFailed), QStringLiteral("ERROR"), 0);
    return;
  }
  filePath = path;
  fileEdit_->setText(QString::fromStdString(path));
  SelectMode(kCmdFile);
}

void CSourceOpenDlg::OnCommand(int id) {
  switch (id) {
    case kCmdCard:
    case kCmdFolder:
    case kCmdFile: SelectMode(id); break;
    case kCmdBrowseFolder: {
      const std::string chosen = BrowseForFolder(this, "SOURCE", "FOLDER", GetUiText(UiText::ChooseMovieFolder));
      if (chosen.empty()) break;
      folderPath = chosen;
      folderEdit_->setText(QString::fromStdString(chosen));
      SelectMode(kCmdFolder);
      break;
    }
    case kCmdBrowseFile: {
      const QString chosen = QFileDialog::getOpenFileName(
          this, QString(), QCoreApplication::applicationDirPath(),
          QStringLiteral("Movie Files(*.mp4 *.MP4);;All Files(*)"), nullptr, QFileDialog::DontUseNativeDialog);
      if (!chosen.isEmpty()) TakeChosenFile(chosen.toStdString());
      break;
    }
    case kCmdClose: reject(); break;
    default: CSkinDialog::OnCommand(id);
  }
}

void CSourceOpenDlg::OnOK() {
  if (drives_->currentIndex() >= 0) driveRoot = drives_->currentText().toStdString();
  folderPath = folderEdit_->text().toStdString();
  filePath = fileEdit_->text().toStdString();
  // A settings file that cannot be written costs only the memory of the
  // choice at the next start: the caller opens the source from the members.
  if (mode == 1) {
    WriteDefaultFolderIni("SOURCE", "SELECT", "SD");
    WriteDefaultFolderIni("SOURCE", "SD", driveRoot);
  } else if (mode == 2) {
    WriteDefaultFolderIni("SOURCE", "SELECT", "FOLDER");
    WriteDefaultFolderIni("SOURCE", "FOLDER", folderPath);
  } else if (mode == 3) {
    WriteDefaultFolderIni("SOURCE", "SELECT", "FILE");
    WriteDefaultFolderIni("SOURCE", "FILE", filePath);
  }
  accept();
}

}  // namespace qv
