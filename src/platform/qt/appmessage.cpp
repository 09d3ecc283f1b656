#include "platform/qt/appmessage.h"

#include <QCoreApplication>

#include <mutex>

namespace qv {

namespace detail {
// Shared between a sink and all ports copied from it.  `target` is cleared
// under the lock before the window's QObject goes away, and a post holds the
// lock while it queues the event, so a post never reaches a destroyed object:
// either it is queued first (and Qt discards it with the object) or it sees
// the cleared target.
struct PortState {
  std::mutex mutex;
  QObject* target = nullptr;
};
}  // namespace detail

AppMessageEvent::AppMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam)
    : QEvent(EventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type AppMessageEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

const AppMessageEvent* AppMessageEvent::From(const QEvent* e) {
  if (!e || e->type() != EventType()) return nullptr;
  return static_cast<const AppMessageEvent*>(e);
}

bool AppMessagePort::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
  if (!state_) return false;
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->target) return false;
  QCoreApplication::postEvent(state_->target, new AppMessageEvent(message, wParam, lParam));
  return true;
}

bool AppMessagePort::IsAlive() const {
  if (!state_) return false;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->target != nullptr;
}

class AppMessageSink::Filter : public QObject {
 public:
  explicit Filter(AppMessageSink* sink) : sink_(sink) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (const AppMessageEvent* m = AppMessageEvent::From(event); m && watched == sink_->window_) {
      sink_->Dispatch(*m);
      return true;
    }
    return false;
  }

 private:
  AppMessageSink* sink_;
};

AppMessageSink::AppMessageSink(QObject* window)
    : window_(window), state_(std::make_shared<detail::PortState>()), filter_(std::make_unique<Filter>(this)) {
  state_->target = window;
  if (window_) window_->installEventFilter(filter_.get());
}

AppMessageSink::~AppMessageSink() { Detach(); }

void AppMessageSink::On(uint32_t message, Handler handler) {
  if (handler)
    handlers_[message] = std::move(handler);
  else
    handlers_.erase(message);
}

AppMessagePort AppMessageSink::Port() const { return AppMessagePort(state_); }

bool AppMessageSink::Send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return Dispatch(AppMessageEvent(message, wParam, lParam));
}

void AppMessageSink::Detach() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->target) return;
    state_->target = nullptr;
  }
  if (window_) {
    window_->removeEventFilter(filter_.get());
    QCoreApplication::removePostedEvents(window_, AppMessageEvent::EventType());
  }
}

bool AppMessageSink::Dispatch(const AppMessageEvent& e) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->target) return false;
  }
  auto it = handlers_.find(e.message());
  if (it == handlers_.end()) return false;
  Handler handler = it->second;  // the handler may replace itself
  handler(e.wParam(), e.lParam());
  return true;
}

bool PostAppMessage(QObject* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!window) return false;
  QCoreApplication::postEvent(window, new AppMessageEvent(message, wParam, lParam));
  return true;
}

}  // namespace qv
