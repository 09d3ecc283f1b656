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
// The chore is waited for a moment only: it may be looking into a folder
// on a card that does not answer, and the program's end must not wait for
// that.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
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

  // Runs `work` once, off the window thread.  `work` must own what it uses
  // (a chore may outlive the window, see EndChore) and touch no object
  // that a static destructor ends.
  void StartChore(std::function<void()> work);
  // Waits for the chore at most `bound` and joins it; one still running
  // then is left to run on its own.  True when no chore runs any more.
  bool EndChore(std::chrono::milliseconds bound);
  // How many chores of the process were left running and have not ended:
  // while any has, the process ends without running static destructors
  // (main does so).
  static int ChoresLeftRunning();

  // How long the window's end waits for its chore.
  static constexpr std::chrono::milliseconds kChoreWaitAtEnd{500};

  void JoinAll() {
    EndFileWorker();
    JoinPairThreads();
    EndChore(kChoreWaitAtEnd);
  }

 private:
  struct ChoreState;

  std::jthread chore_;
  std::shared_ptr<ChoreState> choreState_;
  std::jthread pair_[2];
  std::jthread fileWorker_;
};

}  // namespace qv::mainwnd
