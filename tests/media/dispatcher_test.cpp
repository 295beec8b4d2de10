#include "media/dispatcher.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

TEST(Dispatcher, WithoutDispatcherRunsInPlace) {
  SetMainThreadDispatcher(nullptr);
  std::thread::id ran;
  std::thread t([&] { RunInMainThread([&] { ran = std::this_thread::get_id(); }); });
  auto worker = t.get_id();
  t.join();
  EXPECT_EQ(ran, worker);
  EXPECT_TRUE(IsMainThread());
}

TEST(Dispatcher, WorkerCallRunsOnMainThreadAndWaits) {
  TLoopDispatcher loop;
  SetMainThreadDispatcher(&loop);
  std::thread::id ran;
  std::atomic<bool> returned{false};
  std::thread t([&] {
    EXPECT_FALSE(IsMainThread());
    RunInMainThread([&] { ran = std::this_thread::get_id(); });
    returned = true;
  });
  EXPECT_TRUE(loop.RunPendingUntil([&] { return returned.load(); }, std::chrono::seconds(10)));
  t.join();
  EXPECT_EQ(ran, std::this_thread::get_id());
  SetMainThreadDispatcher(nullptr);
}

TEST(Dispatcher, MainThreadCallRunsDirectly) {
  TLoopDispatcher loop;
  SetMainThreadDispatcher(&loop);
  int calls = 0;
  RunInMainThread([&] { ++calls; });
  EXPECT_EQ(calls, 1);
  SetMainThreadDispatcher(nullptr);
}

TEST(Dispatcher, CallsFromSeveralWorkersAllComplete) {
  TLoopDispatcher loop;
  SetMainThreadDispatcher(&loop);
  std::atomic<int> done{0};
  int sum = 0;  // touched only on the main thread
  std::vector<std::thread> workers;
  for (int i = 1; i <= 4; ++i)
    workers.emplace_back([&, i] {
      for (int k = 0; k < 25; ++k)
        RunInMainThread([&] { sum += i; });
      ++done;
    });
  EXPECT_TRUE(loop.RunPendingUntil([&] { return done == 4; }, std::chrono::seconds(10)));
  for (auto& w : workers)
    w.join();
  EXPECT_EQ(sum, 25 * (1 + 2 + 3 + 4));
  SetMainThreadDispatcher(nullptr);
}
