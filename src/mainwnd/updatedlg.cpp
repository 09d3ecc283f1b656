#include "mainwnd/updatedlg.h"

#include <QDesktopServices>
#include <QPainter>
#include <QRegularExpression>

#include "mainwnd/mainlayout.h"
#include "platform/qt/monitor.h"
#include "platform/qt/qtconvert.h"
#include "skin/fonts.h"
#include "skin/skingeometry.h"
#include "uitext/uitext.h"

namespace qv {

using skin::T;

namespace {

// The message's text with its entities ("&lt;" and the like) turned back
// into characters.
QString MessageText(std::string_view text) {
  QString plain = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  plain.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
  plain.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
  plain.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
  plain.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
  return plain;
}

// The message's text as rich text: escaped, line ends as <br>.
void AppendPlain(QString& out, std::string_view text) {
  QString plain = MessageText(text);
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QString escaped = plain.toHtmlEscaped();
  escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  out += escaped;
}

bool IsWebAddress(const QString& href) {
  return href.startsWith(QLatin1String("http://")) || href.startsWith(QLatin1String("https://"));
}

}  // namespace

QString UpdateMessageHtml(std::string_view message) {
  constexpr std::string_view kOpen = "<a href=\"";
  constexpr std::string_view kMid = "\">";
  constexpr std::string_view kClose = "</a>";
  QString out;
  size_t at = 0;
  while (at < message.size()) {
    const size_t open = message.find(kOpen, at);
    if (open == std::string_view::npos) break;
    const size_t hrefStart = open + kOpen.size();
    const size_t mid = message.find(kMid, hrefStart);
    const size_t close = mid == std::string_view::npos ? mid : message.find(kClose, mid + kMid.size());
    if (close == std::string_view::npos) break;
    const QString href = MessageText(message.substr(hrefStart, mid - hrefStart));
    const std::string_view label = message.substr(mid + kMid.size(), close - mid - kMid.size());
    AppendPlain(out, message.substr(at, open - at));
    if (IsWebAddress(href) && !href.contains(QRegularExpression(QStringLiteral("[\"<> \r\n]")))) {
      out += QStringLiteral("<a href=\"") + href.toHtmlEscaped() + QStringLiteral("\">");
      AppendPlain(out, label);
      out += QStringLiteral("</a>");
    } else {
      AppendPlain(out, message.substr(open, close + kClose.size() - open));
    }
    at = close + kClose.size();
  }
  if (at < message.size()) AppendPlain(out, message.substr(at));
  // Runs of blanks stay as the message has them ("1.0.1   →   1.0.2").
  return QStringLiteral("<div style=\"white-space: pre-wrap\">") + out + QStringLiteral("</div>");
}

UpdateLayout UpdateDlgLayout(Size client, float s) {
  UpdateLayout l;
  l.link = Rect::FromSize(T(s, 10), T(s, 10) + T(s, 20), client.width - T(s, 20), client.height - T(s, 80));
  l.close = Rect::FromSize(client.width - T(s, 10) - T(s, 100), client.height - T(s, 40), T(s, 100), T(s, 30));
  return l;
}

CUpdateDialog::CUpdateDialog() : CSkinDialog(nullptr) {
  // Its own top-level window, not one of the main window's.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_DeleteOnClose, false);
}

CUpdateDialog::~CUpdateDialog() = default;

bool CUpdateDialog::OnInitDialog(Point near) {
  SetScale(CurrentUiScale());
  SetDesignSize(kUpdateDesignSize);
  const QFont font = Font9pt ? *Font9pt : SkinAppFont(this);
  setFont(font);
  setWindowTitle(QString::fromUtf8(GetUiText(UiText::UpdateTitle)));

  link_ = std::make_unique<QLabel>(this);
  link_->setObjectName(QString::number(kUpdateLinkId));
  link_->setTextFormat(Qt::RichText);
  link_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  link_->setWordWrap(true);
  link_->setOpenExternalLinks(false);
  link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  QPalette pal = link_->palette();
  pal.setColor(QPalette::WindowText, Qt::black);
  link_->setPalette(pal);
  link_->setFont(font);
  connect(link_.get(), &QLabel::linkActivated, this, [this](const QString& href) { OnLinkClick(href); });

  close_ = std::make_unique<QPushButton>(QString::fromUtf8(GetUiText(UiText::CloseButton)), this);
  close_->setObjectName(QString::number(kUpdateCloseId));
  close_->setFont(font);
  connect(close_.get(), &QPushButton::clicked, this, [this] { OnCommand(kUpdateCloseId); });

  const float s = Scale();
  const Size size{T(s, kUpdateDesignSize.width), T(s, kUpdateDesignSize.height)};
  const MonitorInfo m = CurrentMonitors().Nearest(near);
  const Rect r = mainwnd::CentreOnMonitor(m.area, size, near);
  setGeometry(ToQRect(r));
  SetDragRect(r);
  PlaceControls();
  CreateCloseButton(kUpdateCloseId);
  return true;
}

void CUpdateDialog::Relayout() {
  CSkinDialog::Relayout();
  PlaceControls();
}

void CUpdateDialog::PlaceControls() {
  const UpdateLayout l = UpdateDlgLayout(Size{width(), height()}, Scale());
  const QFont font = Font9pt ? *Font9pt : SkinAppFont(this);
  if (link_) {
    link_->setFont(font);
    link_->setGeometry(ToQRect(l.link));
  }
  if (close_) {
    close_->setFont(font);
    close_->setGeometry(ToQRect(l.close));
  }
}

void CUpdateDialog::resizeEvent(QResizeEvent* e) {
  CSkinDialog::resizeEvent(e);
  PlaceControls();
}

void CUpdateDialog::OnScaleChanged() {
  CSkinDialog::OnScaleChanged();
  PlaceControls();
}

void CUpdateDialog::SetMessage(std::string_view message) {
  if (link_) link_->setText(UpdateMessageHtml(message));
}

void CUpdateDialog::OnLinkClick(const QString& link) {
  const QUrl url(link);
  if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) return;
  if (opener_) {
    opener_(url);
  } else {
    QDesktopServices::openUrl(url);
  }
}

void CUpdateDialog::OnCommand(int id) {
  // The close button and the caption's close button close; any other
  // command (Enter's) leaves the window open.
  if (id == kUpdateCloseId) {
    closed_ = true;
    hide();
    return;
  }
  CSkinDialog::OnCommand(id);
}

void CUpdateDialog::paintEvent(QPaintEvent* e) {
  {
    QPainter p(this);
    p.fillRect(rect(), QColor(0xF0, 0xF0, 0xF0));
    const int strip = T(Scale(), kUpdateButtonStrip);
    p.fillRect(QRect(0, 0, width(), std::max(0, height() - strip)), Qt::white);
  }
  CSkinDialog::paintEvent(e);
}

}  // namespace qv
