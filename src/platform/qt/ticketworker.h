// A thread that fills a result off the window thread and then posts
// `message` (wParam: the job's ticket) to the window, which takes the result
// on that notice.
//
// The window gives every job a ticket of its own and drops a notice whose
// ticket is no longer the one it wants: a job it stopped (`cancel`, which
// the work may test between its steps) or replaced.  A new job is started
// only once the thread is idle or finished (`Busy()` false): while a stopped
// job still runs, the window waits for its notice instead of for the thread,
// so that it never waits for the card.  Stopped and joined when it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/qt/appmessage.h"

namespace qv {

template <class Result>
struct TicketWorker {
  std::thread thread;
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};  // the result is in, the notice on its way
  std::mutex mutex;
  std::unique_ptr<Result> result;

  TicketWorker() = default;
  TicketWorker(const TicketWorker&) = delete;
  TicketWorker& operator=(const TicketWorker&) = delete;
  ~TicketWorker() {
    cancel = true;
    if (thread.joinable()) thread.join();
  }

  // A job under way that has not finished yet.
  bool Busy() const { return thread.joinable() && !finished; }

  // Runs `work` on a new thread over a result made from `seed`; the caller
  // has taken the previous job (Take).
  void Start(AppMessagePort port, uint32_t message, uintptr_t ticket,
             std::function<void(Result&, const std::atomic<bool>& cancel)> work, Result seed = Result()) {
    cancel = false;
    finished = false;
    thread = std::thread([this, port, message, ticket, work = std::move(work), seed = std::move(seed)]() mutable {
      auto r = std::make_unique<Result>(std::move(seed));
      work(*r, cancel);
      {
        std::lock_guard<std::mutex> lock(mutex);
        result = std::move(r);
      }
      finished = true;
      port.Post(message, ticket, 0);
    });
  }

  // Waits for the thread and hands over its result (none when taken).
  std::unique_ptr<Result> Take() {
    if (thread.joinable()) thread.join();
    std::lock_guard<std::mutex> lock(mutex);
    return std::move(result);
  }
};

}  // namespace qv
