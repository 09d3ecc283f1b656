#include "platform/qt/appmessage.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace qv {
namespace {

// Numbers of the application range, as a window would name them.
constexpr uint32_t kMsgProgress = kWmApp + 0x8;
constexpr uint32_t kMsgWorkerDone = kWmApp + 0x516;
constexpr uint32_t kMsgSourceGone = kWmApp + 0x4B1;
constexpr uint32_t kMsgUnhandled = kWmApp + 0x12D;

struct Received {
  uint32_t message;
  uintptr_t w;
  intptr_t l;
  bool onWindowThread;
};

class Window : public QObject {
 public:
  Window() {
    for (uint32_t m : {kMsgProgress, kMsgWorkerDone, kMsgSourceGone})
      sink.On(m, [this, m](uintptr_t w, intptr_t l) {
        got.push_back({m, w, l, QThread::currentThread() == thread()});
      });
  }
  std::vector<Received> got;
  AppMessageSink sink{this};
};

TEST(AppMessage, WorkerPostsArriveOnTheWindowThreadInOrder) {
  Window window;
  AppMessagePort port = window.sink.Port();
  std::thread worker([port] {
    for (int i = 0; i <= 100; ++i) EXPECT_TRUE(port.Post(kMsgProgress, static_cast<uintptr_t>(i), 100));
    EXPECT_TRUE(port.Post(kMsgWorkerDone));
    EXPECT_TRUE(port.Post(0x9999));  // no handler: dropped without harm
  });
  worker.join();
  EXPECT_TRUE(window.got.empty());  // nothing runs before the loop does
  QCoreApplication::processEvents();
  ASSERT_EQ(window.got.size(), 102u);
  for (int i = 0; i <= 100; ++i) {
    EXPECT_EQ(window.got[static_cast<size_t>(i)].message, kMsgProgress);
    EXPECT_EQ(window.got[static_cast<size_t>(i)].w, static_cast<uintptr_t>(i));
    EXPECT_EQ(window.got[static_cast<size_t>(i)].l, 100);
    EXPECT_TRUE(window.got[static_cast<size_t>(i)].onWindowThread);
  }
  EXPECT_EQ(window.got.back().message, kMsgWorkerDone);
}

TEST(AppMessage, SendRunsTheHandlerAtOnce) {
  Window window;
  EXPECT_TRUE(window.sink.Send(kMsgSourceGone, 1, -2));
  ASSERT_EQ(window.got.size(), 1u);
  EXPECT_EQ(window.got[0].l, -2);
  EXPECT_FALSE(window.sink.Send(kMsgUnhandled));
  // A handler set to empty is removed.
  window.sink.On(kMsgSourceGone, {});
  EXPECT_FALSE(window.sink.Send(kMsgSourceGone));
  // A direct post to the object goes through the same handlers.
  EXPECT_TRUE(PostAppMessage(&window, kMsgWorkerDone, 7, 8));
  EXPECT_FALSE(PostAppMessage(nullptr, kMsgWorkerDone));
  QCoreApplication::processEvents();
  ASSERT_EQ(window.got.size(), 2u);
  EXPECT_EQ(window.got[1].w, 7u);
  // Detaching discards what is still queued.
  EXPECT_TRUE(PostAppMessage(&window, kMsgWorkerDone));
  window.sink.Detach();
  EXPECT_FALSE(window.sink.Port().Post(kMsgWorkerDone));
  QCoreApplication::processEvents();
  EXPECT_EQ(window.got.size(), 2u);
}

TEST(AppMessage, PostsToAWindowBeingDestroyedAreDropped) {
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0}, refused{0};
  auto* window = new Window;
  AppMessagePort port = window->sink.Port();
  std::thread worker([&] {
    while (!stop) (port.Post(kMsgProgress, 1, 1) ? accepted : refused)++;
  });
  while (accepted < 1000) QThread::yieldCurrentThread();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window->got.empty());
  delete window;  // while the worker keeps posting
  while (refused < 1000) QThread::yieldCurrentThread();
  stop = true;
  worker.join();
  EXPECT_FALSE(port.IsAlive());
  EXPECT_FALSE(port.Post(kMsgProgress));
  // Queued posts were discarded with the window: nothing left to deliver.
  QCoreApplication::processEvents();
  EXPECT_FALSE(AppMessagePort().Post(kMsgProgress));
}

}  // namespace
}  // namespace qv
