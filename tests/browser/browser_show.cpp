// Shows the browsing panel on a source for a look (not a test):
//   qv_browser_show SOURCE [folder|file|card|source|join] [stacked] [seconds]
#include <QApplication>
#include <QTimer>
#include <QTreeWidgetItem>

#include <memory>
#include <mutex>
#include <string>

#include "browser/filercontainerdlg.h"
#include "browser/filerowner.h"
#include "browser/fileselectdlg.h"
#include "browser/sourceopendlg.h"
#include "platform/numtext.h"
#include "platform/uiscale.h"
#include "skin/fonts.h"

namespace {

struct Host : qv::FilerOwner {
  qv::CFilerContainerDlg* panel = nullptr;
  std::recursive_mutex mutex;
  std::recursive_mutex& PlaylistMutex() override { return mutex; }
  void OnListRowSelected(int row) override { panel->List()->currentRow = row; }
  void OnFolderSelected(QTreeWidgetItem* item, bool) override {
    if (!panel->Clearing()) panel->OnFolderSelected(item);
  }
  void OnFilterClicked(int index) override { panel->SetFilter(index, !panel->FilterButton(index)->Latched()); }
  void OnSourceGone() override { panel->ClearSource(); }
  void OnEntriesRebuilt(std::vector<qv::RecordingEntry> rows, bool) override {
    rebuilt = std::move(rows);
    rebuiltDone = true;
  }
  std::vector<qv::RecordingEntry> rebuilt;
  bool rebuiltDone = false;
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
  std::unique_ptr<QDialog> dialog;
  if (kind == "source") {
    dialog = std::make_unique<qv::CSourceOpenDlg>(&window);
  } else if (kind == "join") {
    panel.OpenSource(source, qv::SourceMode::kDrive);
    panel.FinishScan();
    auto select = std::make_unique<qv::CFileSelectDlg>(&window);
    if (panel.StartRebuild())
      while (!host.rebuiltDone) app.processEvents(QEventLoop::WaitForMoreEvents);
    std::vector<qv::RecordingEntry> rows = std::move(host.rebuilt);
    if (rows.size() > 3) rows[3].joined = 1;
    select->SetFileList(rows);
    select->mode = qv::FileSelectModel::kJoin;
    select->InitDialog();
    select->ToggleRow(1);
    select->ToggleRow(4);
    dialog = std::move(select);
  } else {
    panel.OpenSource(source, mode);
  }
  if (dialog) dialog->show();
  QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QApplication::quit);
  return app.exec();
}
