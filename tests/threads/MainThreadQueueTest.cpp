// TMainThreadQueue and TThread without an event loop: steps run on the main thread in order,
// exceptions travel back, WaitFor keeps serving calls until the thread ends.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/MainThreadQueue.h"
#include "platform/WorkerThread.h"

namespace zq {
namespace {

TEST(MainThreadQueueTest, OnTheMainThreadAStepRunsAtOnce) {
  TMainThreadQueue queue;
  int wakes = 0;
  queue.SetWakeup([&] { ++wakes; });
  bool ran = false;
  queue.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(wakes, 0);
  EXPECT_EQ(queue.ServePending(), 0u);
  EXPECT_THROW(queue.Synchronize([] { throw EConvertError("bad"); }), EConvertError);
}

TEST(MainThreadQueueTest, StepsFromWorkersRunOnMainInOrderAndErrorsTravelBack) {
  TMainThreadQueue queue;
  std::atomic<int> wakes{0};
  queue.SetWakeup([&] { ++wakes; });
  const int threads = 4, calls = 100;
  std::vector<std::vector<int>> seen(threads);  // touched only by steps, on main
  int offMain = 0;
  std::atomic<int> finished{0};
  std::vector<std::string> errors(threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      for (int i = 0; i < calls; ++i)
        queue.Synchronize([&, t, i] {
          offMain += !queue.IsMainThread();
          seen[t].push_back(i);
        });
      try {
        queue.Synchronize([t] { throw EInOutError("step " + std::to_string(t)); });
      } catch (const EInOutError& e) {
        errors[t] = e.what();
      }
      ++finished;
      queue.Notify();
    });
  queue.ServeUntil([&] { return finished.load() == threads; });
  for (auto& w : workers) w.join();
  EXPECT_EQ(offMain, 0);
  for (int t = 0; t < threads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(calls));
    for (int i = 0; i < calls; ++i) EXPECT_EQ(seen[t][i], i);
    EXPECT_EQ(errors[t], "step " + std::to_string(t));
  }
  EXPECT_EQ(wakes.load(), threads * (calls + 1));
}

class LoopingThread : public TThread {
 public:
  using TThread::TThread;
  int served = 0;  // main thread only
  bool fail = false;

 protected:
  void Execute() override {
    if (fail) throw EInOutError("cannot go on");
    // Runs until told to stop, handing a step to the main thread on every round.
    for (int i = 0; i < 1000000 && !Terminated(); ++i) Synchronize([this] { ++served; });
    Synchronize([this] { served += 1000; });  // a last hand-over during WaitFor
  }
};

TEST(MainThreadQueueTest, PostedStepsRunInOrderWithWaitedOnes) {
  TMainThreadQueue main;
  std::vector<int> order;
  std::thread worker([&] {
    main.Post([&] { order.push_back(1); });
    main.Post([] { throw std::runtime_error("posted step fails"); });
    main.Synchronize([&] { order.push_back(2); });  // runs after the posted ones
    main.Post([&] { order.push_back(3); });
  });
  ConsoleCapture console;
  main.ServeUntil([&] { return order.size() == 3; });
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(console.Contains("posted step fails"));
  std::thread late([&] { main.Post([] {}); });  // never served: freed with the queue
  late.join();
}

TEST(WorkerThreadTest, TerminateAndWaitForServeCallsUntilTheEnd) {
  TMainThreadQueue queue;
  LoopingThread worker(queue);
  worker.Start();
  queue.ServeUntil([&] { return worker.served >= 10; });
  EXPECT_FALSE(worker.Finished());
  worker.Terminate();
  EXPECT_TRUE(worker.Terminated());
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
  EXPECT_GE(worker.served, 1010);
}

TEST(WorkerThreadTest, ErrorInExecuteEndsTheThreadWithAConsoleLine) {
  ConsoleCapture console;
  TMainThreadQueue queue;
  LoopingThread worker(queue);
  worker.fail = true;
  worker.Start();
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
  EXPECT_EQ(console.Count("Thread ended by error: cannot go on"), 1);
}

}  // namespace
}  // namespace zq
