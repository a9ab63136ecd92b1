#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

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
  // At the lowest priority on a loaded machine the body may start late; the
  // wait still ends long before its own limit.
  ASSERT_TRUE(worker.WaitForEnd(5000));
  EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
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

TEST(WorkerThread, ManyShortLivedWorkersEachRunOnceAndReportTheirOwnResult) {
  // Workers come and go faster than threads would be created: each body
  // runs exactly once whatever system thread it lands on, priorities and all.
  auto threads = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
  };
  {
    // A sanitizer starts a thread of its own once there are others: one
    // worker first, so that it is counted on both sides.
    platform::WorkerThread first([] { return 0; });
    ASSERT_TRUE(first.Create());
    first.Resume();
    ASSERT_TRUE(first.WaitForEnd(2000));
  }
  platform::EndIdleThreads();
  const auto before = threads();
  std::atomic<int> runs{0};
  for (int round = 0; round < 200; ++round) {
    std::vector<std::unique_ptr<platform::WorkerThread>> workers;
    for (int i = 0; i < 8; ++i) {
      workers.push_back(std::make_unique<platform::WorkerThread>([&runs, i] {
        runs.fetch_add(1);
        return i;
      }));
      ASSERT_TRUE(workers.back()->Create());
      if (i % 2) workers.back()->SetLowestPriority();
      if (i != 7) workers.back()->Resume();  // the last one is never resumed
    }
    for (int i = 0; i < 7; ++i) {
      ASSERT_TRUE(workers[i]->WaitForEnd(2000));
      EXPECT_EQ(workers[i]->ExitCode(), i);
    }
  }
  EXPECT_EQ(runs, 200 * 7);
  // Once they are done, no thread is left waiting for work.
  platform::EndIdleThreads();
  EXPECT_EQ(threads(), before);
}

}  // namespace
