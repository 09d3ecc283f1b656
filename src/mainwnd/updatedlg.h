// The update window: a white page with the update check's message, whose
// download pages are links that open in the desktop's browser, and a close
// button.  The main window makes it when the check's notice arrives, puts
// the message in and shows it; it stands on its own beside the main window
// and blocks nothing.  Enter does not close it.
//
// Window thread only.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <string_view>

#include "platform/rect.h"
#include "skin/skindialog.h"

namespace qv {

constexpr int kUpdateLinkId = 1007;
constexpr int kUpdateCloseId = 2;
constexpr Size kUpdateDesignSize{640, 480};
// The grey strip at the bottom that holds the close button, in design pixels.
constexpr int kUpdateButtonStrip = 50;

// The message (text with <a href="...">...</a> links, lines ended by CR LF,
// '&', '<', '>' and '"' outside the link markup as entities) as rich text:
// everything escaped, CR LF (and a lone LF) as line breaks, and only links
// to http or https pages kept as links.
QString UpdateMessageHtml(std::string_view message);

// Places of the link page and the close button in a client area of `client`
// at scale `s`.
struct UpdateLayout {
  Rect link;
  Rect close;
};
UpdateLayout UpdateDlgLayout(Size client, float s);

class CUpdateDialog : public CSkinDialog {
  Q_OBJECT
 public:
  CUpdateDialog();
  ~CUpdateDialog() override;

  // Makes the controls, sizes the window and centres it on the monitor
  // nearest `near` (the main window's corner); true.
  bool OnInitDialog(Point near);
  void Relayout() override;
  // The message for the link page.
  void SetMessage(std::string_view message);
  // Opens a clicked link (QDesktopServices unless a test sets its own).
  void SetLinkOpener(std::function<void(const QUrl&)> opener) { opener_ = std::move(opener); }
  void OnLinkClick(const QString& link);

  QLabel* LinkControl() const { return link_.get(); }
  QPushButton* CloseControl() const { return close_.get(); }
  bool Closed() const { return closed_; }

 protected:
  void OnCommand(int id) override;
  void OnScaleChanged() override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void PlaceControls();
  std::unique_ptr<QLabel> link_;
  std::unique_ptr<QPushButton> close_;
  bool closed_ = false;
  std::function<void(const QUrl&)> opener_;
};

}  // namespace qv
