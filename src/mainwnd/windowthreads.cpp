#include "mainwnd/windowthreads.h"

namespace qv::mainwnd {

void WindowThreads::StartPairThread(PairThread kind, std::function<void()> work) {
  std::jthread& t = pair_[kind];
  if (t.joinable()) t.join();
  t = std::jthread([w = std::move(work)] { w(); });
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
