// The main window's own worker threads: the two short-lived pair threads
// (prepare the current pair's drive data, read the next pair's ahead), at
// most one file-operation worker (CSV export, delete, join) and one
// start-up chore that touches neither the window nor the playlist.
//
// The window thread starts and joins them; the threads themselves only post
// messages to the window and take the playlist mutex.  A pair thread's work
// starts once the earlier thread of its kind has ended, and a prepare's
// once the prefetch under way has too: the new thread waits for them, so
// that starting one never holds the window thread (they may still be
// reading a slow card).  Joining a pair thread joins those it waits for.
// The file worker is asked to stop through its stop token and then joined.
#pragma once

#include <functional>
#include <stop_token>
#include <thread>

namespace qv::mainwnd {

class WindowThreads {
 public:
  enum PairThread { kPrepare = 0, kPrefetch = 1 };

  WindowThreads() = default;
  ~WindowThreads() { JoinAll(); }
  WindowThreads(const WindowThreads&) = delete;
  WindowThreads& operator=(const WindowThreads&) = delete;

  void StartPairThread(PairThread kind, std::function<void()> work);
  void JoinPairThreads();

  // False (nothing started) while the last worker has not been ended
  // (EndFileWorker, which its done message calls).
  bool StartFileWorker(std::function<void(std::stop_token)> work);
  bool FileWorkerStarted() const { return fileWorker_.joinable(); }
  // Asks the file worker to stop and waits for it.
  void EndFileWorker();

  // Runs `work` once, off the window thread; joined with the others.
  void StartChore(std::function<void()> work);

  void JoinAll() {
    EndFileWorker();
    JoinPairThreads();
    if (chore_.joinable()) chore_.join();
  }

 private:
  std::jthread chore_;
  std::jthread pair_[2];
  std::jthread fileWorker_;
};

}  // namespace qv::mainwnd
