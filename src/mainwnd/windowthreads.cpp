#include "mainwnd/windowthreads.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace qv::mainwnd {

namespace {

std::atomic<int> g_choresLeft{0};

}  // namespace

// Shared by the chore's thread and its owner, so that either may go first.
struct WindowThreads::ChoreState {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  bool left = false;  // the owner went on without it
};

int WindowThreads::ChoresLeftRunning() { return g_choresLeft.load(); }

bool WindowThreads::EndChore(std::chrono::milliseconds bound) {
  if (!chore_.joinable()) return true;
  {
    std::unique_lock<std::mutex> lock(choreState_->mutex);
    if (!choreState_->changed.wait_for(lock, bound, [&] { return choreState_->done; })) {
      choreState_->left = true;
      ++g_choresLeft;
      lock.unlock();
      chore_.detach();
      choreState_.reset();
      return false;
    }
  }
  chore_.join();
  choreState_.reset();
  return true;
}

void WindowThreads::StartPairThread(PairThread kind, std::function<void()> work) {
  // A prepare also comes after the reading ahead under way, so that the
  // data it leaves in the slot is its pair's.
  std::jthread same = std::move(pair_[kind]);
  std::jthread ahead = kind == kPrepare ? std::move(pair_[kPrefetch]) : std::jthread();
  pair_[kind] = std::jthread([same = std::move(same), ahead = std::move(ahead), w = std::move(work)]() mutable {
    if (same.joinable()) same.join();
    if (ahead.joinable()) ahead.join();
    w();
  });
}

void WindowThreads::StartChore(std::function<void()> work) {
  if (chore_.joinable()) chore_.join();
  choreState_ = std::make_shared<ChoreState>();
  chore_ = std::jthread([state = choreState_, w = std::move(work)] {
    w();
    std::lock_guard<std::mutex> lock(state->mutex);
    state->done = true;
    if (state->left) --g_choresLeft;
    state->changed.notify_all();
  });
}

void WindowThreads::JoinPairThreads() {
  for (std::jthread& t : pair_) {
    if (t.joinable()) t.join();
  }
}

bool WindowThreads::StartFileWorker(std::function<void(std::stop_token)> work) {
  if (fileWorker_.joinable()) return false;
  fileWorker_ = std::jthread([w = std::move(work)](std::stop_token stop) { w(stop); });
  return true;
}

void WindowThreads::EndFileWorker() {
  if (!fileWorker_.joinable()) return;
  fileWorker_.request_stop();
  fileWorker_.join();
}

}  // namespace qv::mainwnd
