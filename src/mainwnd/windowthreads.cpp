#include "mainwnd/windowthreads.h"

namespace qv::mainwnd {

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
  chore_ = std::jthread([w = std::move(work)] { w(); });
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
