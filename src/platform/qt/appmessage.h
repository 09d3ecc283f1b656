// Application messages: how worker threads, player callbacks and child
// windows tell a window that something happened.
//
// A message is a number in the application range (kWmApp plus an offset)
// with two integer parameters.  Threads never touch a window: they post a
// message through an AppMessagePort, and the window handles it later on its
// own thread, in arrival order.  A window owns an AppMessageSink; the sink
// dispatches the window's messages to the handlers registered with On(), and
// when the window goes away every port to it stops delivering (posts are
// dropped and answer false), so a late post from a worker is harmless.
//
//   class MainWindow : public QWidget {
//     qv::AppMessageSink messages_{this};
//     MainWindow() { messages_.On(qv::kMsgProgress, [this](uintptr_t done, intptr_t total) { ... }); }
//   };
//   // worker thread, with a port copied from messages_.Port():
//   port.Post(qv::kMsgProgress, done, total);
#pragma once

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace qv {

constexpr uint32_t kWmApp = 0x8000;

// The application's message numbers.
enum AppMessage : uint32_t {
  // To the main window.
  kMsgPlaybackEnded = kWmApp + 0x1,       // end of presentation
  kMsgIgnored2 = kWmApp + 0x2,            // mapped, does nothing
  kMsgDataRefresh = kWmApp + 0x3,         // wParam 1: rebind / lParam -1: reset the position range
  kMsgGraphEvent = kWmApp + 0x4,          // 0 / 0: drain the second playback path's event queue
  kMsgTick = kWmApp + 0x5,                // 0 / tick counter
  kMsgTickLimit = kWmApp + 0x6,           // 0 / counter: end of the pair's playback
  kMsgApplyZoomViews = kWmApp + 0x7,      // 0 / 0
  kMsgProgress = kWmApp + 0x8,            // done / total
  kMsgResetZoomView = kWmApp + 0x9,       // 0 / source pane (2 = rear)
  kMsgSliderMove = kWmApp + 0x65,         // control id / position
  kMsgSliderDown = kWmApp + 0x66,         // control id / position
  kMsgSliderUp = kWmApp + 0x67,           // control id / position
  kMsgMapLoaded = kWmApp + 0x12D,         // 0 / 0
  kMsgMapPointClicked = kWmApp + 0x12E,   // 0 / position value of the clicked point
  kMsgPrevEventMark = kWmApp + 0x191,     // 0 / 0
  kMsgNextEventMark = kWmApp + 0x192,     // 0 / 0
  kMsgDisplaySwitch = kWmApp + 0x1F5,     // index 0..3 / new state
  kMsgPaneContextMenu = kWmApp + 0x25C,   // direct call from a video pane
  kMsgIgnored25D = kWmApp + 0x25D,        // mapped, does nothing
  kMsgIgnored25E = kWmApp + 0x25E,        // mapped, does nothing
  kMsgPaneZoomClick = kWmApp + 0x25F,     // direct call: camera index, point
  kMsgPanePresentationEnded = kWmApp + 0x260,  // 0 / camera index
  kMsgPaneTopologyReady = kWmApp + 0x261,      // 0 / camera index
  kMsgInfoItemToggle = kWmApp + 0x2BD,    // index / state
  kMsgShellChange = kWmApp + 0x321,       // shell change notice: items / event
  kMsgListDoubleClick = kWmApp + 0x385,   // mapped, does nothing
  kMsgFolderSelected = kWmApp + 0x456,    // direct call from the folder tree
  kMsgSourceGone = kWmApp + 0x4B1,        // 0 / 0
  kMsgPairDataReady = kWmApp + 0x515,     // 0 / 0
  kMsgWorkerDone = kWmApp + 0x516,        // 0 / 0
  kMsgDeleteDone = kWmApp + 0x517,        // 0 / 0
  kMsgJoinDone = kWmApp + 0x518,          // 0 / 0
  kMsgCsvDone = kWmApp + 0x519,           // 0 / 0
  kMsgPostInit = kWmApp + 0x51A,          // 0 / 0
  kMsgAppBarNotify = kWmApp + 0x51B,      // notification code / value
  kMsgGaugeWindow = kWmApp + 0x708,       // mapped, does nothing
  kMsgPopoutPainted = kWmApp + 0x76D,     // 0 / pop-out window
  kMsgPopoutClosed = kWmApp + 0x76E,      // mapped, does nothing
  kMsgPopoutCaptionDoubleClick = kWmApp + 0x76F,  // 0 / 0
  kMsgPopoutResized = kWmApp + 0x770,     // 0 / pop-out window
  kMsgUpdateReady = kWmApp + 0x7D1,       // 0 / 0
  // To a video pane.
  kMsgPresenterFrame = kWmApp + 0x3E8,        // 0 / 0: a new frame waits to be painted
  kMsgPlayerIgnored3E9 = kWmApp + 0x3E9,      // mapped, does nothing
  kMsgPlayerPresentationEnded = kWmApp + 0x3EA,  // 0 / 0
  kMsgPlayerTopologyReady = kWmApp + 0x3EB,      // 0 / 0
  // To the logo window.
  kMsgLogoShow = kWmApp + 0x5DD,          // 0 / 0
};

// The event that carries one message to a window.
class AppMessageEvent : public QEvent {
 public:
  AppMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam);
  static QEvent::Type EventType();
  // The message in `e`, or null when `e` carries none.
  static const AppMessageEvent* From(const QEvent* e);

  uint32_t message() const { return message_; }
  uintptr_t wParam() const { return wParam_; }
  intptr_t lParam() const { return lParam_; }

 private:
  uint32_t message_;
  uintptr_t wParam_;
  intptr_t lParam_;
};

namespace detail {
struct PortState;
}

// A handle to a window's message queue that any thread may copy and post to.
// It never keeps the window alive: once the window's sink is gone (or
// detached), Post drops the message and answers false.
class AppMessagePort {
 public:
  AppMessagePort() = default;
  // Queues the message for the window; false when the window is gone or the
  // port is empty.  Thread-safe.
  bool Post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
  // Whether the window is still there (it may go right after).
  bool IsAlive() const;
  explicit operator bool() const { return state_ != nullptr; }

 private:
  friend class AppMessageSink;
  explicit AppMessagePort(std::shared_ptr<detail::PortState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::PortState> state_;
};

// The receiving side, owned by the window (as a member, so that it detaches
// before the window's QObject part is destroyed; declare it before members
// that own worker threads, so those are stopped while it still exists).  Handlers run on the
// window's thread.  Messages without a handler are dropped.
class AppMessageSink {
 public:
  using Handler = std::function<void(uintptr_t wParam, intptr_t lParam)>;

  explicit AppMessageSink(QObject* window);
  ~AppMessageSink();
  AppMessageSink(const AppMessageSink&) = delete;
  AppMessageSink& operator=(const AppMessageSink&) = delete;

  // Sets (or, with an empty handler, removes) the handler of a message.
  void On(uint32_t message, Handler handler);
  // A port for posting to this window from any thread.
  AppMessagePort Port() const;
  // Runs the message's handler now (the window thread's direct call); false
  // when no handler is set or the sink is detached.
  bool Send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Stops delivery: later posts are dropped and queued ones are discarded.
  // Called by the destructor; a window may call it earlier (on close).
  void Detach();

 private:
  class Filter;
  bool Dispatch(const AppMessageEvent& e);

  QObject* window_;
  std::shared_ptr<detail::PortState> state_;
  std::unique_ptr<Filter> filter_;
  std::unordered_map<uint32_t, Handler> handlers_;
};

// Posts to a window object directly (window thread, or a target whose
// lifetime the caller guarantees); false for a null target.  Workers use an
// AppMessagePort instead.
bool PostAppMessage(QObject* window, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

}  // namespace qv
