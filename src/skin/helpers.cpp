#include "skin/helpers.h"

#include <QFileDialog>
#include <QWidget>

#include "platform/apphelpers.h"
#include "platform/qt/monitor.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "skin/msgbox.h"
#include "uitext/uitext.h"

namespace qv {

namespace {

FolderBrowser* g_browser = nullptr;
ErrorBoxFn g_errorBox;

}  // namespace

void GetMonitorRects(Rect* workArea, Rect* monitorArea, Point point) {
  const MonitorInfo m = CurrentMonitors().Nearest(point);
  if (workArea) *workArea = m.workArea;
  if (monitorArea) *monitorArea = m.area;
}

Rect GetWindowRect(const QWidget* widget) {
  if (!widget) return {};
  if (widget->isWindow()) return FromQRect(widget->frameGeometry());
  const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
  return Rect::FromSize(origin.x(), origin.y(), widget->width(), widget->height());
}

Rect GetChildRectInParent(const QWidget* parent, const QWidget* child) {
  return ChildRectInParent(GetWindowRect(child), GetWindowRect(parent));
}

bool MoveControlScaled(QWidget* child, QWidget* parentWindow) {
  if (!child || !parentWindow || child->parentWidget() != parentWindow || child->isWindow()) return true;
  const Rect r = ScaledChildRect(GetWindowRect(child), GetWindowRect(parentWindow),
                                 Size{child->width(), child->height()}, UiScale);
  child->setGeometry(ToQRect(r));
  child->update();
  return true;
}

void ScaleDialogControls(QWidget* dialog) {
  if (!dialog) return;
  for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) MoveControlScaled(child, dialog);
}

QPixmap LoadScaledBitmap(const QImage& image) {
  if (image.isNull()) return {};
  const Size s = ScaledBitmapSize(image.width(), image.height(), UiScale);
  if (s.width <= 0 || s.height <= 0) return {};
  // Nearest-pixel scaling keeps the cells of an image strip from bleeding
  // into each other.
  return QPixmap::fromImage(image.scaled(s.width, s.height, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

QPixmap LoadScaledBitmap(const QString& path) { return LoadScaledBitmap(QImage(path)); }

FolderBrowser::Choice DialogFolderBrowser::Browse(QWidget* parent, const std::string& startFolder,
                                                  const std::string& title) {
  QFileDialog dialog(parent, QString::fromStdString(title), QString::fromStdString(startFolder));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setFileMode(QFileDialog::Directory);
  Choice c;
  if (dialog.exec() != QDialog::Accepted) return c;
  c.chosen = true;
  const QList<QUrl> urls = dialog.selectedUrls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) c.path = urls.front().toLocalFile().toStdString();
  return c;
}

void SetFolderBrowser(FolderBrowser* browser) { g_browser = browser; }

void SetBrowseErrorBox(ErrorBoxFn show) { g_errorBox = std::move(show); }

std::string BrowseForFolder(QWidget* parent, const std::string& section, const std::string& key,
                            const std::string& title) {
  std::string start = ReadDefaultFolderIni(section, key);
  if (start.empty()) start = GetAppFolder();
  DialogFolderBrowser dialog;
  FolderBrowser& browser = g_browser ? *g_browser : dialog;
  const FolderBrowser::Choice c = browser.Browse(parent, start, title);
  if (!c.chosen) return {};
  if (c.path.empty()) {
    const std::string text = GetUiText(UiText::FolderPathError);
    if (g_errorBox)
      g_errorBox(parent, text, "ERROR");
    else
      CMsgBox(parent).Show(QString::fromStdString(text), QStringLiteral("ERROR"), 0);
    return {};
  }
  return c.path;
}

}  // namespace qv
