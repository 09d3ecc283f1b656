#include "skin/msgbox.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "platform/qt/qtconvert.h"
#include "skin/skingeometry.h"

namespace qv {

CMsgDlg::CMsgDlg(const QString& text, const QString& caption, int type, QWidget* parent)
    : CSkinDialog(parent), text_(text), type_(type == 1 ? 1 : 0), parent_(parent) {
  setModal(true);
  setFont(SkinAppFont(this));
  setWindowTitle(caption);
  label_ = new QLabel(text, this);
  label_->setObjectName(QStringLiteral("1009"));
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label_->setStyleSheet(QStringLiteral("QLabel { background: transparent; color: black; }"));
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
  // Enter never presses a button of the box.
  for (QPushButton* b : {ok_, cancel_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  connect(ok_, &QPushButton::clicked, this, [this] { done(1); });
  connect(cancel_, &QPushButton::clicked, this, [this] { done(2); });
  Layout();
}

QSize CMsgDlg::MeasureText() const {
  const QFontMetrics fm(font());
  int width = 0, height = 0;
  for (const QString& piece : text_.split(QLatin1Char('\n'))) {
    width = std::max(width, fm.horizontalAdvance(piece));
    height += fm.height();
  }
  return QSize(width, height);
}

void CMsgDlg::Layout() {
  const QSize t = MeasureText();
  Rect parentRect;
  if (parent_ && parent_->isWindow()) {
    parentRect = FromQRect(parent_->frameGeometry());
  } else if (parent_) {
    parentRect = FromQRect(QRect(parent_->mapToGlobal(QPoint(0, 0)), parent_->size()));
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    parentRect = FromQRect(screen->geometry());
  }
  const skin::MsgBoxLayout m = skin::ComputeMsgBoxLayout({t.width(), t.height()}, Scale(), type_, parentRect);
  setGeometry(ToQRect(m.window));
  label_->setGeometry(ToQRect(m.text));
  ok_->setGeometry(ToQRect(m.ok));
  ok_->show();
  if (type_ == 1) {
    cancel_->setGeometry(ToQRect(m.cancel));
    cancel_->show();
  } else {
    cancel_->hide();
  }
  whiteBottom_ = m.whiteArea.bottom;
}

void CMsgDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(QRect(0, 0, width(), whiteBottom_), Qt::white);
  DrawCaption(p);
}

void CMsgDlg::closeEvent(QCloseEvent* e) {
  // A close that does not come from a button answers as the safe choice.
  if (isVisible()) done(type_ == 1 ? 2 : 1);
  e->accept();
}

int CMsgBox::Show(const QString& text, const QString& caption, int type) {
  CMsgDlg dlg(text, caption, type, parent_);
  const int r = dlg.exec();
  if (r == 1 || r == 2) return r;
  return type == 1 ? 2 : 1;
}

}  // namespace qv
