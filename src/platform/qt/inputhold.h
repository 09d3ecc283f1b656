// Holding the user's input for a moment.
//
// A window that waits out a short pause between two steps of its work
// without blocking its thread (a timer goes on with the work) keeps
// painting and taking messages meanwhile; what the user presses must still
// come after the work's next step, as it would had the thread slept.  While
// an InputHold holds, the mouse, wheel, key and context-menu events that
// come for any of the program's windows are kept back; when it lets go it
// delivers them to their windows in the order they came, as if they came
// now.  Closing a window is not held back.
//
// Window thread only.  An event whose window went meanwhile is dropped.
// Input that comes while the held events are being delivered (a menu one of
// them opened runs its own loop) goes straight to its window.
#pragma once

#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

class QEvent;
class QWindow;

namespace qv {

class InputHold : public QObject {
 public:
  InputHold();
  // Lets go, dropping what it holds.
  ~InputHold() override;
  InputHold(const InputHold&) = delete;
  InputHold& operator=(const InputHold&) = delete;

  // Starts holding (holding already: nothing changes).
  void Hold();
  // Stops holding and delivers what was held, in order.
  void Release();
  // Stops holding and drops what was held.
  void Drop();
  bool Holding() const { return holding_; }
  size_t HeldCount() const { return held_.size(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Held;
  void Stop();

  bool holding_ = false;
  std::deque<std::unique_ptr<Held>> held_;
};

}  // namespace qv
