// Application messages: how worker threads, player callbacks and child
// windows tell a window that something happened.
//
// A message is a number in the application range (kWmApp plus an offset)
// with two integer parameters; each number is named once, beside the code
// that sends it.  Threads never touch a window: they post a message through
// an AppMessagePort, and the window handles it later on its own thread, in
// arrival order.  A window owns an AppMessageSink; the sink
// dispatches the window's messages to the handlers registered with On(), and
// when the window goes away every port to it stops delivering (posts are
// dropped and answer false), so a late post from a worker is harmless.
//
//   constexpr uint32_t kMsgProgress = qv::kWmApp + 0x8;  // done / total
//   class Window : public QWidget {
//     qv::AppMessageSink messages_{this};
//     Window() { messages_.On(kMsgProgress, [this](uintptr_t done, intptr_t total) { ... }); }
//   };
//   // worker thread, with a port copied from messages_.Port():
//   port.Post(kMsgProgress, done, total);
#pragma once

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace qv {

// The first number of the application range.
constexpr uint32_t kWmApp = 0x8000;

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
