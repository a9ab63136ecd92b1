#include "server/job_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "server/static_files.h"
#include "tests/support/temp_folder.h"

namespace {

using Submitted = server::JobPool::Submitted;

// One thread and one job waiting: a third is refused while the first runs,
// and everything queued runs once it ends.
TEST(JobPool, AFullQueueRefusesAndQueuedJobsRun) {
  server::JobPool pool(1, 1);
  std::atomic<bool> release{false};
  std::atomic<int> ran{0};
  auto job = [&] {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++ran;
  };
  ASSERT_EQ(pool.Submit(job), Submitted::kQueued);
  while (pool.Load() != 1 || ran != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the first is running
  EXPECT_EQ(pool.Submit(job), Submitted::kQueued);
  EXPECT_EQ(pool.Submit(job), Submitted::kQueueFull);
  release = true;
  for (int i = 0; i < 2000 && ran < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(ran, 2);
  pool.Stop();
  EXPECT_EQ(pool.Submit(job), Submitted::kQueueFull) << "a stopped pool takes nothing";
}

// A kept small file is used while the file system says it is unchanged,
// and forgotten once it changes or goes.
TEST(WebFileCache, KeepsASmallFileUntilItChanges) {
  TempFolder folder;
  folder.Write("www/page.html", "first");
  server::WebFileCache cache;
  EXPECT_FALSE(cache.Find("www/page.html").found);
  cache.Keep("www/page.html", server::OpenWebFile("www/page.html"));
  server::WebFile kept = cache.Find("www/page.html");
  ASSERT_TRUE(kept.found);
  EXPECT_EQ(*kept.bytes, "first");
  folder.Write("www/page.html", "second, longer");
  EXPECT_FALSE(cache.Find("www/page.html").found);
  cache.Keep("www/page.html", server::OpenWebFile("www/page.html"));
  std::remove("www/page.html");
  EXPECT_FALSE(cache.Find("www/page.html").found);
}

}  // namespace
