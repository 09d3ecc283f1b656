// The settings panel, the network probe, the update check and the update
// window.  The network cases run against a small HTTP server on 127.0.0.1
// that this test starts; nothing else is ever contacted.
#include <QKeyEvent>
#include <QTest>
#include <QTextDocument>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "browser/filercontainerdlg.h"
#include "eventwait.h"
#include "mainwnd/inetconnection.h"
#include "mainwnd/maphost.h"
#include "mainwnd/mainlayout.h"
#include "mainwnd/settingsfile.h"
#include "mainwnd/tesseldlg.h"
#include "platform/inifile.h"
#include "platform/pathutil.h"
#include "mainwnd/mainmessages.h"
#include "mainwnd/settingdlg.h"
#include "mainwnd/updatedlg.h"
#include "panels/gsensordlg.h"
#include "platform/qt/monitor.h"
#include "testsupport.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

using namespace std::chrono;
using mainwnd::UpdateInputs;

// A proxy in the environment must not take the local server's requests.
const bool kNoProxy = [] {
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  return true;
}();

// One answer of the local server; `stall` sends the head and then nothing.
struct Reply {
  int status = 200;
  std::string body;
  bool stall = false;
};

class LocalServer {
 public:
  explicit LocalServer(std::map<std::string, Reply> replies) : replies_(std::move(replies)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd_, 16) != 0) return;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalServer() { Close(); }
  void Close() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  int Requests(const std::string& path) {
    std::lock_guard<std::mutex> l(lock_);
    return hits_[path];
  }

 private:
  bool Wait(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 20) > 0;
  }
  void Serve() {
    while (!stop_) {
      if (!Wait(fd_)) continue;
      const int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::string request;
      char buf[2048];
      for (int i = 0; i < 1000 && !stop_ && request.find("\r\n\r\n") == std::string::npos; ++i) {
        if (!Wait(c)) continue;
        const ssize_t n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      const size_t sp = request.find(' ');
      const std::string path = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
      Reply r{404, "missing"};
      {
        std::lock_guard<std::mutex> l(lock_);
        ++hits_[path];
        if (auto it = replies_.find(path); it != replies_.end()) r = it->second;
      }
      std::string head = "HTTP/1.1 " + std::to_string(r.status) + " X\r\nContent-Length: " +
                         std::to_string(r.stall ? 100 : r.body.size()) + "\r\nConnection: close\r\n\r\n";
      if (!r.stall) head += request.rfind("HEAD", 0) == 0 ? std::string() : r.body;
      send(c, head.data(), head.size(), MSG_NOSIGNAL);
      while (r.stall && !stop_) std::this_thread::sleep_for(milliseconds(10));
      ::close(c);
    }
  }

  std::map<std::string, Reply> replies_;
  std::map<std::string, int> hits_;
  std::mutex lock_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

const std::string kFirmware(mainwnd::kFirmwareItem.versionFile);
const std::string kViewer(mainwnd::kViewerItem.versionFile);
const std::string kGps(mainwnd::kGpsItem.versionFile);

// The message of one whole check (both parts) against the server.
std::string Check(LocalServer& server, const UpdateInputs& in) {
  CInetConnectionAsync inet;
  inet.StartUpdateCheck(server.Host(), [] {});
  inet.StartCardCheck(server.Host(), in, [] {});
  for (int i = 0; i < 4000 && !inet.UpdateCheckDone(); ++i) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_TRUE(inet.UpdateCheckDone());
  return inet.Message();
}

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(UpdateCheck, VersionFilesDecideTheMessage) {
  const UpdateInputs card{"1.2.3", "240131", "", "6043-KDR"};
  const UpdateInputs noGps{"1.2.3", "", "", "6043-KDR"};
  {  // A trailing line break is no news; the same versions say nothing.
    LocalServer s({{kFirmware, {200, "VER:1.2.3.9\r\n"}}, {kViewer, {200, "VER:1.0.1\r\n"}}, {kGps, {200, "240131\n"}}});
    EXPECT_EQ(Check(s, card), "");
    EXPECT_EQ(s.Requests(kFirmware), 1);
  }
  {  // Every item newer: three blocks in order, firmware cut before its third '.'.
    LocalServer s({{kFirmware, {200, "xxVER:1.2.4.7\r\n"}}, {kViewer, {200, "VER:1.0.2"}}, {kGps, {200, "240215"}}});
    const std::string m = Check(s, card);
    const size_t fw = m.find("1.2.3   \xE2\x86\x92   "), viewer = m.find("1.0.1"), gps = m.find("24/01/31");
    ASSERT_NE(fw, std::string::npos);
    EXPECT_NE(m.find("1.2.4\r\n"), std::string::npos);
    EXPECT_EQ(m.find("1.2.4.7"), std::string::npos);
    ASSERT_NE(viewer, std::string::npos);
    ASSERT_NE(gps, std::string::npos);
    EXPECT_NE(m.find("24/02/15"), std::string::npos);
    EXPECT_LT(fw, viewer);
    EXPECT_LT(viewer, gps);
    EXPECT_EQ(Count(m, "<a href=\"http://" + s.Host()), 3);
    EXPECT_EQ(m.substr(m.size() - 6), "</a>\r\n");
  }
  {  // Another recorder: the firmware file is never read; one block ends at its link.
    LocalServer s({{kViewer, {200, "VER:1.0.2\r\n"}}});
    const std::string m = Check(s, {"1.0.0", "", "", "6043-KDX"});
    EXPECT_EQ(s.Requests(kFirmware), 0);
    EXPECT_EQ(s.Requests(kGps), 0);
    EXPECT_NE(m.find(std::string(mainwnd::kViewerItem.downloadPage) + "</a>"), std::string::npos);
    EXPECT_EQ(m.substr(m.size() - 4), "</a>");
  }
  {  // An error status is a failed download, not a version; a missing GPS file
     // silences the card's part (its firmware news too), not the viewer's.
    LocalServer s({{kFirmware, {404, "VER:9.9.9"}}, {kViewer, {500, "VER:9.9.9"}}});
    EXPECT_EQ(Check(s, noGps), "");
    LocalServer t({{kFirmware, {200, "VER:1.2.4"}}, {kViewer, {200, "VER:1.0.2"}}});
    const std::string m = Check(t, card);
    EXPECT_EQ(t.Requests(kGps), 1);
    EXPECT_NE(m.find("1.0.2"), std::string::npos);
    EXPECT_EQ(m.find("1.2.4"), std::string::npos);
  }
  {  // A body over the download cap is no version.
    LocalServer s({{kViewer, {200, "VER:1.0.2" + std::string(mainwnd::kDownloadMax, ' ')}}});
    EXPECT_EQ(Check(s, noGps), "");
  }
}

TEST(UpdateCheck, ServerTextIsShownAsPlainText) {
  qvtest::App();
  const std::string rlo = "\xE2\x80\xAE", link = "<a href=\"http://elsewhere.example/\">https://host/v.html</a>";
  // Server bodies and the new version the window shows ("": no news).
  const std::pair<std::string, std::string> cases[] = {
      {"VER:" + std::string(1, '\0') + "\x1B" + rlo + "\xE2\x81\xA6\r\n", ""},
      {"VER:\x1B[1;31m\xC2\x9B" + rlo + "1.0.2\x1B\xE2\x80\x8F\xEF\xBB\xBF\xFF", "1.0.2"},
      {"VER:" + link, link},
      {"VER:1.0.2\r\n", "1.0.2"}};
  for (const auto& [body, shown] : cases) {
    SCOPED_TRACE(shown);
    LocalServer s({{kViewer, {200, body}}});
    const std::string m = Check(s, {});
    if (shown.empty()) {
      EXPECT_EQ(m, "");
      continue;
    }
    // Only the template's link is live; nothing else stands between the
    // label and the version, or after it.
    const QString html = UpdateMessageHtml(m);
    EXPECT_EQ(html.count(QStringLiteral("<a href=")), 1);
    QTextDocument doc;
    doc.setHtml(html);
    EXPECT_TRUE(doc.toPlainText().contains(QStringLiteral("\uFF1A") + QString::fromStdString(shown) + QChar('\n')));
  }
}

TEST(UpdateCheck, LongVersionsAreCutBetweenWholeBlocks) {
  const std::string v(400, '7');
  LocalServer s({{kFirmware, {200, "VER:" + v}}, {kViewer, {200, "VER:" + v}}, {kGps, {200, v}}});
  const std::string m = Check(s, {"1.2.3", "240131", "", "6043-KDR"});
  ASSERT_FALSE(m.empty());
  EXPECT_LE(mainwnd::Utf16Length(m), mainwnd::kUpdateMessageMax);
  EXPECT_GE(Count(m, "<a href=\""), 1);
  EXPECT_EQ(Count(m, "<a href=\""), Count(m, "</a>"));
  EXPECT_EQ(m.find(std::string(260, '7')), std::string::npos);  // versions keep 259 characters
}

TEST(InetConnection, StopsPromptlyAndRunsOnce) {
  LocalServer s({{kViewer, {200, "", true}}});
  auto inet = std::make_unique<CInetConnectionAsync>();
  // The download's own limits outlast the test: only the stop can end it.
  inet->SetLimits({3000, 5000}, {600000, 600000});
  int notices = 0;
  inet->StartUpdateCheck(s.Host(), [&] { ++notices; });
  inet->StartUpdateCheck(s.Host(), [&] { ++notices; });
  for (int i = 0; i < 4000 && s.Requests(kViewer) == 0; ++i) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(s.Requests(kViewer), 1);
  inet.reset();  // the download is stalled: the destructor must not wait for it
  EXPECT_EQ(notices, 0);

  CInetConnectionAsync none;  // no update host: nothing starts
  none.StartUpdateCheck("", [&] { ++notices; });
  EXPECT_TRUE(none.UpdateCheckDone());
}

TEST(InetConnection, ProbeFollowsTheSiteAndTheSwitch) {
  auto server = std::make_unique<LocalServer>(std::map<std::string, Reply>{{"/", {200, "ok"}}});
  CInetConnectionAsync inet;
  inet.SetLimits({5000, 10000}, {});
  std::atomic<int> reported{-1};
  inet.StartProbe("http://" + server->Host() + "/{z}/{x}/{y}.png", [&](int r) { reported = r; });
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(inet.ProbeResult(), 0);  // switch off: no request
  EXPECT_EQ(server->Requests("/"), 0);
  inet.SetProbeSwitch(1);
  inet.ProbeNow();
  auto waitFor = [&](int want) {
    for (int i = 0; i < 4000 && (inet.ProbeResult() != want || reported != want); ++i)
      std::this_thread::sleep_for(milliseconds(5));
    return inet.ProbeResult() == want && reported == want;
  };
  EXPECT_TRUE(waitFor(1));
  server.reset();
  EXPECT_TRUE(waitFor(0));
  EXPECT_EQ(SiteRoot("https://tile.example.org/{z}/{x}/{y}.png"), "https://tile.example.org/");
  EXPECT_EQ(SiteRoot("{z}/{x}"), "");
}

// ---------------------------------------------------------------- windows

// Receives what the settings panel posts and applies it to a graph.
struct Owner : QObject {
  AppMessageSink sink{this};
  CGSensorDlg graph;
  std::vector<std::pair<uintptr_t, intptr_t>> got;
  Owner() {
    sink.On(mainwnd::kMsgDisplaySwitch, [this](uintptr_t w, intptr_t l) {
      got.emplace_back(w, l);
      if (const int series = DisplaySwitchSeries(w); series >= 0)
        graph.Series(series).shown = graph.Series(series).clickable = static_cast<int>(l);
    });
  }
};

TEST(SettingDlg, SwitchesTellTheOwnerAndFlipTheGraphSeries) {
  qvtest::App();
  FixedMonitorProvider monitors({MonitorInfo{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1040)}});
  SetMonitorProvider(&monitors);
  Owner owner;
  QWidget main;
  main.setGeometry(100, 100, 800, 600);
  CSettingDlg dlg(&main);
  dlg.SetOwnerPort(owner.sink.Port());
  dlg.OnInitDialog();
  dlg.show();

  QTest::mouseClick(dlg.Check(2), Qt::LeftButton);
  dlg.OnDisplayCheck(kFirstDisplayCheckId + 2);
  dlg.OnDisplayCheck(kFirstDisplayCheckId + 5);  // inside the command range, past the switches
  ASSERT_TRUE(qvtest::WaitFor([&] { return owner.got.size() >= 2; }, 2000));
  qvtest::Pump(20);
  ASSERT_EQ(owner.got.size(), 2u);
  EXPECT_EQ(owner.got[0], (std::pair<uintptr_t, intptr_t>{2, 0}));
  EXPECT_EQ(owner.got[1], (std::pair<uintptr_t, intptr_t>{2, 1}));
  QTest::mouseClick(dlg.Check(3), Qt::LeftButton);
  ASSERT_TRUE(qvtest::WaitFor([&] { return owner.got.size() == 3; }, 2000));
  EXPECT_EQ(owner.graph.Series(6).shown, 0);
  EXPECT_EQ(owner.graph.Series(6).clickable, 0);
  EXPECT_EQ(owner.graph.Series(5).shown, 1);
  EXPECT_FALSE(dlg.Checked(3));
  EXPECT_TRUE(dlg.VersionText().startsWith(QStringLiteral("version 1.0.1\n")));

  dlg.SetScale(1.5f);
  dlg.PlaceBesideOwner();
  EXPECT_EQ(dlg.geometry(), QRect((1920 - 690) / 2, (1080 - 472) / 2, 690, 472));
  EXPECT_EQ(SettingDlgLayout(1.5f).checks[3], Rect(360, 150, 600, 210));
  EXPECT_EQ(SettingDlgLayout(1.0f).versionText, Rect(20, 210, 434, 270));
  SetMonitorProvider(nullptr);
}

TEST(UpdateDialog, ShowsTheLinksAndStaysOpenOnEnter) {
  qvtest::App();
  CUpdateDialog dlg;
  dlg.OnInitDialog(Point{0, 0});
  std::vector<QUrl> opened;
  dlg.SetLinkOpener([&](const QUrl& u) { opened.push_back(u); });
  dlg.SetMessage("Head <b>\r\nURL : <a href=\"http://127.0.0.1/v.html\">http://127.0.0.1/v.html</a>\r\n"
                 "<a href=\"javascript:x()\">js</a>");
  dlg.show();
  const QString html = dlg.LinkControl()->text();
  EXPECT_TRUE(html.contains(QStringLiteral("Head &lt;b&gt;<br>URL : <a href=\"http://127.0.0.1/v.html\">")));
  EXPECT_FALSE(html.contains(QStringLiteral("<a href=\"javascript")));
  dlg.OnLinkClick(QStringLiteral("http://127.0.0.1/v.html"));
  dlg.OnLinkClick(QStringLiteral("file:///etc/passwd"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toString(), QStringLiteral("http://127.0.0.1/v.html"));

  EXPECT_EQ(dlg.size(), QSize(640, 480));
  const QRect close = dlg.CloseControl()->geometry();
  EXPECT_EQ(close, QRect(640 - 110, 480 - 40, 100, 30));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(&dlg, &enter);
  EXPECT_TRUE(dlg.isVisible());
  QTest::mouseClick(dlg.CloseControl(), Qt::LeftButton);
  EXPECT_TRUE(dlg.Closed());
  EXPECT_FALSE(dlg.isVisible());
}

// A join killed in the middle, in the last join's folder or in one never
// joined into before (remembered as unfinished, also in the form of a single
// folder that earlier versions wrote): its temporaries go at the next start,
// and the folders left without any are forgotten.  Nothing else goes: a
// running program's temporary stays (its folder stays remembered), and a
// link named like a temporary is neither removed nor followed.
TEST(MainWindow, StartUpSweepsKilledJoinsTemporariesFromTheirFolders) {
  qvtest::App();
  qvtest::TempDir dir;
  const std::string gone = std::to_string(qvtest::EndedProcessId());
  const std::string settings = dir / "Default_Folder.ini";
  const std::string stale = dir.Write("joined/.001_091520AN_F.MP4.qvtmp-" + gone + "-0", "a part");
  const std::string fresh = dir.Write("fresh/.001_091520AN_R.MP4.qvtmp-" + gone + "-1", "a part");
  const std::string running = dir.Write("busy/.002_091530AN_F.MP4.qvtmp-" + std::to_string(getpid()) + "-2", "mine");
  const std::string users = dir.Write("user/notes.txt", "the user's");
  const std::string link = dir / ("fresh/.003_F.MP4.qvtmp-" + gone + "-3");
  ASSERT_EQ(symlink(users.c_str(), link.c_str()), 0);
  dir.Write("joined/.notes", "the user's");
  ASSERT_TRUE(WriteIniString(mainwnd::kIniFolders, mainwnd::kIniJoinFolder, dir / "joined", settings));
  ASSERT_TRUE(WriteIniString(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, dir / "fresh", settings));
  ASSERT_TRUE(WriteIniString(mainwnd::kIniFolders, std::string(mainwnd::kIniJoinRunning) + "2", dir / "busy", settings));
  CtesselDlg w;
  w.OnInitDialog(dir.path());
  EXPECT_TRUE(qvtest::WaitFor(
      [&] {
        return !PathExists(stale) && !PathExists(fresh) &&
               ReadIniList(mainwnd::kIniFolders, mainwnd::kIniJoinRunning, settings) ==
                   std::vector<std::string>{dir / "busy"};
      },
      5000));
  EXPECT_TRUE(PathExists(dir / "joined/.notes") && PathExists(running) && PathExists(link));
  EXPECT_EQ(qvtest::ReadText(users), "the user's");
  w.Shutdown();
}

TEST(MainWindow, ShowsTheSettingsPanelAndTheUpdateFromTheConfiguredHost) {
  qvtest::App();
  SetWebEngineUsableForTests(false);
  LocalServer s({{kViewer, {200, "VER:1.0.2\r\n"}}, {kFirmware, {200, "VER:1.0.3\r\n"}}, {kGps, {200, "240131"}}});
  qvtest::TempDir dir;
  ASSERT_TRUE(WriteIniString(mainwnd::kIniUpdate, mainwnd::kIniUpdateHost, s.Host(), dir / "Default_Folder.ini"));
  // A card of the checked recorder, firmware 1.0.2.
  dir.Write("card/" + std::string(kFormatConfigName), std::string(16, '\0') + "6043-KDR102" + std::string(15, '\0'));
  const std::string card = dir / "card";
  {
    CtesselDlg w;
    w.OnInitDialog(dir.path());
    w.show();
    ASSERT_TRUE(qvtest::WaitFor([&] { return w.UpdateDlg() && w.UpdateDlg()->isVisible(); }, 10000));
    const auto shown = [&] { return w.UpdateDlg()->LinkControl()->text(); };
    EXPECT_TRUE(shown().contains(QString::fromStdString("<a href=\"http://" + s.Host() + "/0_recorder/viewer/")));
    EXPECT_EQ(s.Requests(kViewer), 1);

    ASSERT_NE(w.SettingDlg(), nullptr);
    EXPECT_FALSE(w.SettingDlg()->isVisible());
    w.CommandButton(mainwnd::kCmdSettings - mainwnd::kCmdToStart)->click();
    EXPECT_TRUE(w.SettingDlg()->isVisible());

    w.Browser()->OpenSource(card, SourceMode::kFolder);  // no format description: no card part
    w.Browser()->FinishScan();
    qvtest::Pump(100);
    EXPECT_EQ(s.Requests(kFirmware), 0);
    // As a card its firmware is checked, once.  The card's description has
    // no GPS-data version, so that file is never asked for.
    for (int i = 0; i < 2; ++i) {
      w.Browser()->OpenSource(card, SourceMode::kDrive);
      w.Browser()->FinishScan();
    }
    const QString firmware = QString::fromUtf8(GetUiText(UiText::UpdateFirmware));
    ASSERT_TRUE(qvtest::WaitFor([&] { return shown().contains(firmware); }, 10000));
    EXPECT_TRUE(shown().contains(QStringLiteral("1.0.2   \u2192   ")));
    EXPECT_LT(shown().indexOf(firmware), shown().indexOf(QString::fromUtf8(GetUiText(UiText::UpdateViewer))));
    qvtest::Pump(100);
    EXPECT_EQ(s.Requests(kFirmware), 1);
    EXPECT_EQ(s.Requests(kViewer), 1);
    EXPECT_EQ(s.Requests(kGps), 0);

    w.Shutdown();
    EXPECT_EQ(w.UpdateDlg(), nullptr);
  }
  SetWebEngineUsableForTests(std::nullopt);
}

}  // namespace
}  // namespace qv
