#include "platform/qt/inputhold.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWindow>

namespace qv {

// A held event: its window, and how to make it again.  Pointer events are
// made anew from their values (the event point a pointer event carries may
// be shared with the device's later events); the others are copied.
struct InputHold::Held {
  QPointer<QWindow> window;
  std::function<std::unique_ptr<QEvent>()> make;
};

namespace {

std::function<std::unique_ptr<QEvent>()> Remake(const QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      const auto* m = static_cast<const QMouseEvent*>(event);
      return [type = m->type(), pos = m->position(), scene = m->scenePosition(), global = m->globalPosition(),
              button = m->button(), buttons = m->buttons(), modifiers = m->modifiers(), device = m->pointingDevice(),
              time = m->timestamp()] {
        auto e = std::make_unique<QMouseEvent>(type, pos, scene, global, button, buttons, modifiers, device);
        e->setTimestamp(time);
        return std::unique_ptr<QEvent>(std::move(e));
      };
    }
    case QEvent::Wheel: {
      const auto* w = static_cast<const QWheelEvent*>(event);
      return [pos = w->position(), global = w->globalPosition(), pixel = w->pixelDelta(), angle = w->angleDelta(),
              buttons = w->buttons(), modifiers = w->modifiers(), phase = w->phase(), inverted = w->inverted(),
              source = w->source(), device = w->pointingDevice(), time = w->timestamp()] {
        auto e = std::make_unique<QWheelEvent>(pos, global, pixel, angle, buttons, modifiers, phase, inverted, source,
                                               device);
        e->setTimestamp(time);
        return std::unique_ptr<QEvent>(std::move(e));
      };
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu: {
      std::shared_ptr<const QEvent> copy(event->clone());
      return [copy] { return std::unique_ptr<QEvent>(copy->clone()); };
    }
    default: return {};
  }
}

}  // namespace

InputHold::InputHold() = default;

InputHold::~InputHold() { Drop(); }

void InputHold::Hold() {
  if (holding_) return;
  holding_ = true;
  QCoreApplication::instance()->installEventFilter(this);
}

void InputHold::Stop() {
  if (!holding_) return;
  holding_ = false;
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void InputHold::Release() {
  Stop();
  // One at a time: a delivery that starts holding again leaves the rest
  // held behind it.
  while (!holding_ && !held_.empty()) {
    const std::unique_ptr<Held> held = std::move(held_.front());
    held_.pop_front();
    if (!held->window) continue;
    const std::unique_ptr<QEvent> event = held->make();
    QCoreApplication::sendEvent(held->window, event.get());
  }
}

void InputHold::Drop() {
  Stop();
  held_.clear();
}

bool InputHold::eventFilter(QObject* watched, QEvent* event) {
  // Input reaches a window first; its widgets get it from there.
  if (!holding_ || !watched->isWindowType()) return false;
  std::function<std::unique_ptr<QEvent>()> make = Remake(event);
  if (!make) return false;
  held_.push_back(std::make_unique<Held>(Held{qobject_cast<QWindow*>(watched), std::move(make)}));
  return true;
}

}  // namespace qv
