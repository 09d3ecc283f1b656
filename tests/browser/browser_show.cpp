// Shows the browsing panel on a source for a look (not a test):
//   qv_browser_show SOURCE [folder|file|card] [stacked] [seconds]
#include <QApplication>
#include <QTimer>
#include <QTreeWidgetItem>

#include <mutex>
#include <string>

#include "browser/filercontainerdlg.h"
#include "browser/filerowner.h"
#include "platform/numtext.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"

namespace {

struct Host : qv::FilerOwner {
  qv::CFilerContainerDlg* panel = nullptr;
  std::recursive_mutex mutex;
  std::recursive_mutex& PlaylistMutex() override { return mutex; }
  void OnListRowSelected(int row) override { panel->List()->currentRow = row; }
  void OnFolderSelected(QTreeWidgetItem* item) override { panel->OnFolderSelected(item); }
  void OnSourceGone() override { panel->ClearSource(); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  const std::string source = argv[1];
  const std::string kind = argc > 2 ? argv[2] : "card";
  const bool stacked = argc > 3 && std::string(argv[3]) == "stacked";
  int64_t seconds = 5;
  if (argc > 4) qv::ParseInt64(argv[4], seconds);
  QWidget window;
  window.setWindowTitle("browser");
  window.resize(600, 700);
  window.show();
  qv::CreateAppFonts(&window);
  auto k = [](int n) { return qv::ScaleInt(n, qv::UiScale); };
  window.resize(k(stacked ? 227 : 452) + 2 * k(10), k(634) + 2 * k(10));
  window.setStyleSheet("background: #202020");
  Host host;
  qv::CFilerContainerDlg panel(&window, &host);
  host.panel = &panel;
  panel.CreateChildren();
  const qv::Rect place = qv::Rect::FromSize(k(10), k(10), k(stacked ? 227 : 452), k(634));
  if (stacked)
    panel.LayoutStacked(place);
  else
    panel.LayoutSideBySide(place);
  const qv::SourceMode mode = kind == "folder" ? qv::SourceMode::kFolder
                              : kind == "file" ? qv::SourceMode::kFile
                                               : qv::SourceMode::kDrive;
  panel.OpenSource(source, mode);
  QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QApplication::quit);
  return app.exec();
}
