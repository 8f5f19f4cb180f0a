// TJobThread: jobs run in order on a thread of their own, a failing job does not end the
// thread, Stop runs what is queued and refuses what comes after.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Console.h"
#include "platform/JobThread.h"

namespace zq {
namespace {

TEST(JobThread, RunsJobsInOrderOffTheCallingThreadAndOutlivesAFailingOne) {
  ConsoleCapture console;
  TJobThread jobs;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::mutex lock;
  std::vector<int> order;
  std::thread::id ranOn;
  jobs.Add([released] { released.wait(); });  // holds the thread while more are queued
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(jobs.Add([&, i] {
      std::lock_guard guard(lock);
      order.push_back(i);
      ranOn = std::this_thread::get_id();
      if (i == 5) throw std::runtime_error("disk full");
    }));
  }
  release.set_value();
  jobs.Stop();  // runs the 20 queued jobs first
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_EQ(console.Count("Job failed: disk full"), 1);

  bool ran = false;
  EXPECT_FALSE(jobs.Add([&] { ran = true; }));
  jobs.Stop();  // again: nothing
  EXPECT_FALSE(ran);
}

TEST(JobThread, StopFromSeveralThreadsAtOnceEndsItOnce) {
  auto jobs = std::make_unique<TJobThread>();
  std::atomic<int> done{0};
  for (int i = 0; i < 100; ++i) jobs->Add([&] { ++done; });
  std::thread a([&] { jobs->Stop(); });
  std::thread b([&] { jobs->Stop(); });
  a.join();
  b.join();
  EXPECT_EQ(done.load(), 100);
  jobs.reset();
}

}  // namespace
}  // namespace zq
