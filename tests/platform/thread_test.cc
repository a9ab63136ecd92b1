#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono;

TEST(WorkerThread, RunsOnlyOnceResumedAndReportsStillActiveUntilItReturns) {
  std::atomic<bool> ran{false}, release{false};
  platform::WorkerThread worker([&] {
    ran = true;
    while (!release) std::this_thread::sleep_for(milliseconds(1));
    return 7;
  });
  ASSERT_TRUE(worker.Create());
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_FALSE(ran);
  worker.Resume();
  EXPECT_FALSE(worker.WaitForEnd(50));
  EXPECT_EQ(worker.ExitCode(), platform::kStillActive);
  release = true;
  EXPECT_TRUE(worker.WaitForEnd(2000));
  EXPECT_TRUE(ran);
  EXPECT_EQ(worker.ExitCode(), 7);
  EXPECT_TRUE(worker.WaitForEnd(0)) << "asking again after the join";
}

TEST(WorkerThread, WaitReturnsAsSoonAsTheBodyEnds) {
  platform::WorkerThread worker([] {
    std::this_thread::sleep_for(milliseconds(20));
    return 0;
  });
  ASSERT_TRUE(worker.Create());
  worker.SetLowestPriority();
  worker.Resume();
  auto start = steady_clock::now();
  ASSERT_TRUE(worker.WaitForEnd(200));
  EXPECT_LT(steady_clock::now() - start, milliseconds(150));
}

TEST(WorkerThread, NeverResumedBodyNeverRuns) {
  bool ran = false;
  {
    platform::WorkerThread worker([&] {
      ran = true;
      return 0;
    });
    ASSERT_TRUE(worker.Create());
  }
  EXPECT_FALSE(ran);
}

}  // namespace
