#include "browser/fileselectdlg.h"

#include <QHeaderView>

#include "browser/browsermodel.h"
#include "platform/numtext.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"
#include "skin/helpers.h"
#include "skin/msgbox.h"
#include "skin/skinids.h"
#include "uitext/uitext.h"

namespace qv {

namespace {

int K(int n) { return ScaleInt(n, BrowserScale()); }
QString Text(UiText id) { return QString::fromUtf8(GetUiText(id)); }
QString Megabytes(uint64_t bytes) { return QString::fromStdString(FormatInt(static_cast<int64_t>(bytes >> 20)) + " MB"); }

void SetTextColor(QLabel* label, bool over) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, over ? QColor(255, 0, 0) : QColor(0, 0, 0));
  label->setPalette(pal);
}

}  // namespace

CFileSelectDlg::CFileSelectDlg(QWidget* parent) : CSkinDialog(parent) {
  if (AppFont) setFont(*AppFont);
  errorBox = [this](const QString& text) { CMsgBox(this).Show(text, QStringLiteral("ERROR"), 0); };
  list_ = new CSkinListCtrl(this);
  list_->setColumnCount(3);
  list_->setHeaderLabels({Text(UiText::ColumnFileName), Text(UiText::ColumnFront), Text(UiText::ColumnRear)});
  list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The sizes' headers sit over their right-aligned cells.
  for (int column : {1, 2}) list_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  list_->setColumnWidth(0, K(270));
  list_->setColumnWidth(1, K(105));
  list_->setColumnWidth(2, K(90));
  showAll_ = new CSkinCheckButton(this);
  showAll_->setText(Text(UiText::ShowAllFiles));
  showAll_->LoadCheckImages(kSkinCheck);
  tickAll_ = new CSkinCheckButton(this);
  tickAll_->setText(Text(UiText::SelectAllShown));
  tickAll_->LoadCheckImages(kSkinCheck);
  front_ = new QLabel(QStringLiteral("0 MB"), this);
  rear_ = new QLabel(QStringLiteral("0 MB"), this);
  ok_ = new QPushButton(this);
  CreateCloseButton(kCmdClose);
  connect(list_, &CSkinListCtrl::stateChanged, this, &CFileSelectDlg::OnStateChanged);
  connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });
  auto flip = [this](CSkinCheckButton* box) {
    box->SetChecked(!box->Checked());
    FillList(showAll_->Checked());
    if (tickAll_->Checked()) {
      model_.TickAll();
      SyncImages();
    }
    UpdateTotals();
  };
  connect(showAll_, &QAbstractButton::clicked, this, [this, flip] { flip(showAll_); });
  connect(tickAll_, &QAbstractButton::clicked, this, [this, flip] { flip(tickAll_); });
}

int CFileSelectDlg::SetFileList(const std::vector<RecordingEntry>& rows) {
  if (rows.empty()) return 1;
  const size_t n = std::min<size_t>(rows.size(), kSelectMaxRows);
  given_.assign(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n));
  if (rows.size() > static_cast<size_t>(kSelectMaxRows) && errorBox) errorBox(Text(UiText::TooManyRows));
  return 1;
}

void CFileSelectDlg::InitDialog() {
  Rect work;
  GetMonitorRects(&work, nullptr, FromQPoint(pos()));
  setGeometry(work.left + (work.Width() - K(520)) / 2, work.top + (work.Height() - K(500)) / 2, K(520), K(500));
  const int W = K(520), H = K(500);
  model_.SetMode(mode);
  FillList(false);
  list_->setGeometry(K(10), K(10) + K(20), W - K(20), H - K(140));
  ok_->setGeometry(W - K(130), H - K(40), K(120), K(30));
  showAll_->setGeometry(K(20), H - K(70), K(200), K(20));
  tickAll_->setGeometry(K(20), H - K(40), K(200), K(20));
  if (mode == FileSelectModel::kJoin) {
    front_->setGeometry(W - K(240), H - K(70), K(60), K(20));
    rear_->setGeometry(W - K(160), H - K(70), K(140), K(20));
    rear_->show();
    showAll_->hide();
    setWindowTitle(Text(UiText::JoinTitle));
    ok_->setText(Text(UiText::JoinNext));
  } else {
    front_->setGeometry(W - K(160), H - K(70), K(140), K(20));
    rear_->hide();
    setWindowTitle(Text(UiText::DeleteTitle));
    ok_->setText(Text(UiText::DeleteTitle));
  }
  ok_->setEnabled(false);
}

int CFileSelectDlg::DoModal() {
  InitDialog();
  return exec();
}

void CFileSelectDlg::FillList(bool showAll) {
  busy_ = true;
  list_->clear();
  std::vector<RecordingEntry> shown;
  for (const RecordingEntry& e : showAll ? allRows : given_)
    if (mode != FileSelectModel::kJoin || JoinableRow(e)) shown.push_back(e);
  for (const RecordingEntry& e : shown) {
    const std::string& name = e.frontName.empty() ? e.rearName : e.frontName;
    const int row = list_->InsertRow({QString::fromStdString(name), Megabytes(e.frontSize), Megabytes(e.rearSize)}, 1);
    QTreeWidgetItem* item = list_->topLevelItem(row);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    if (mode == FileSelectModel::kJoin && e.joined) {
      for (int c = 0; c < 3; ++c) {
        item->setForeground(c, QColor(0xFF, 0x00, 0xFF));
        item->setBackground(c, QColor(0xFF, 0xFF, 0x00));
      }
    }
  }
  model_.SetRows(std::move(shown));
  busy_ = false;
}

void CFileSelectDlg::SyncImages() {
  busy_ = true;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    const int want = model_.Ticked(i) ? 3 : (list_->StateImage(i) == 2 ? 2 : 1);
    if ((list_->StateImage(i) == 3) != model_.Ticked(i)) list_->SetStateImage(i, want);
  }
  busy_ = false;
}

void CFileSelectDlg::OnStateChanged(int row, int oldState, int newState) {
  if (busy_) return;
  const bool was = oldState == 3, now = newState == 3;
  if (was == now) return;  // the cursor passing over a row
  model_.Tick(row, now);
  SyncImages();
  UpdateTotals();
}

void CFileSelectDlg::ToggleRow(int row) {
  const int state = list_->StateImage(row);
  list_->SetStateImage(row, state == 3 ? 1 : 3);
}

void CFileSelectDlg::UpdateTotals() {
  totals_ = model_.ComputeTotals();
  if (mode == FileSelectModel::kJoin) {
    front_->setText(Megabytes(totals_.frontBytes));
    rear_->setText(Megabytes(totals_.rearBytes));
    SetTextColor(front_, totals_.frontOver);
    SetTextColor(rear_, totals_.rearOver);
  } else {
    front_->setText(Megabytes(totals_.frontBytes + totals_.rearBytes));
    SetTextColor(front_, false);
  }
  ok_->setEnabled(totals_.okEnabled);
}

void CFileSelectDlg::OnOK() {
  totals_ = model_.ComputeTotals();
  if (mode == FileSelectModel::kJoin && (totals_.frontOver || totals_.rearOver)) {
    errorBox(Text(UiText::SizeOver));
    return;
  }
  if (mode == FileSelectModel::kJoin && (totals_.frontTooMany || totals_.rearTooMany)) {
    errorBox(Text(UiText::TooManyFiles));
    return;
  }
  result = model_.TickedRows();
  accept();
}

void CFileSelectDlg::OnCommand(int id) {
  if (id == kCmdClose) {
    reject();
    return;
  }
  CSkinDialog::OnCommand(id);
}

}  // namespace qv
