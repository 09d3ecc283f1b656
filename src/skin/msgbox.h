// The skinned modal message box that replaces the system's.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>

#include "skin/skindialog.h"

namespace qv {

// The box itself: the text on white, OK (type 0) or OK and Cancel (type 1)
// at the bottom right, sized to the text and centred on its parent.
class CMsgDlg : public CSkinDialog {
  Q_OBJECT
 public:
  CMsgDlg(const QString& text, const QString& caption, int type, QWidget* parent);

  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QLabel* TextLabel() const { return label_; }
  // The text's size: the widest line piece and the sum of their heights.
  QSize MeasureText() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void Layout();

  QString text_;
  int type_;
  QWidget* parent_;
  QLabel* label_;
  QPushButton* ok_;
  QPushButton* cancel_;
  int whiteBottom_ = 0;
};

class CMsgBox {
 public:
  explicit CMsgBox(QWidget* parent = nullptr) : parent_(parent) {}
  // Runs the box modally; 1 for OK, 2 for Cancel.  A close by the window
  // manager answers Cancel for type 1 and OK for type 0.
  int Show(const QString& text, const QString& caption, int type);

 private:
  QWidget* parent_;
};

}  // namespace qv
