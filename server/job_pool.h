#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/thread.h"
#include "platform/thread_annotations.h"

namespace server {

// A pool thread with nothing to do for this long ends.
constexpr int kPoolThreadIdleMs = 2000;

// Runs work that may wait (opening a file on a slow disk, verifying a
// password) on a few threads of its own, so that the event loop never
// waits. Jobs run in the order they came; a job hands its result back to
// the loop itself. Submit and Stop are the loop's; the jobs run on the
// pool's threads.
class JobPool {
 public:
  // At most `threads` jobs run at once, and `queueMost` more wait.
  JobPool(int threads, size_t queueMost);
  ~JobPool();
  JobPool(const JobPool&) = delete;
  JobPool& operator=(const JobPool&) = delete;

  enum class Submitted { kQueued, kQueueFull, kNoThread };
  // Queues `job`, starting a thread for it when all are busy and there is
  // room for one. Unless kQueued, the job will not run: the queue is full,
  // or no thread runs and the system refused one.
  [[nodiscard]] Submitted Submit(std::function<void()> job) OWL_EXCLUDES(mutex_);
  // Jobs queued or running.
  size_t Load() const OWL_EXCLUDES(mutex_);
  // Drops the queued jobs and waits for the running ones to end.
  void Stop() OWL_EXCLUDES(mutex_);

 private:
  int Work() OWL_EXCLUDES(mutex_);

  const size_t threadsMost_, queueMost_;
  std::vector<std::unique_ptr<platform::WorkerThread>> threads_;  // the caller's alone
  mutable platform::Mutex mutex_;
  std::condition_variable_any queued_;
  std::deque<std::function<void()>> jobs_ OWL_GUARDED_BY(mutex_);
  size_t idle_ OWL_GUARDED_BY(mutex_) = 0;
  size_t live_ OWL_GUARDED_BY(mutex_) = 0;  // threads started and not yet ended
  size_t running_ OWL_GUARDED_BY(mutex_) = 0;
  bool stopping_ OWL_GUARDED_BY(mutex_) = false;
};

}  // namespace server
