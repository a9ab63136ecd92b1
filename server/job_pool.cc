#include "server/job_pool.h"

#include <chrono>

namespace server {

JobPool::JobPool(int threads, size_t queueMost)
    : threadsMost_(static_cast<size_t>(threads > 0 ? threads : 1)), queueMost_(queueMost) {}

JobPool::~JobPool() { Stop(); }

JobPool::Submitted JobPool::Submit(std::function<void()> job) {
  // Threads that ended for want of work leave the list.
  std::erase_if(threads_,
                [](const auto& thread) { return thread->ExitCode() != platform::kStillActive; });
  {
    platform::MutexLock lock(mutex_);
    if (stopping_ || jobs_.size() >= queueMost_ + idle_) return Submitted::kQueueFull;
    jobs_.push_back(std::move(job));
    if (idle_ > 0 || live_ >= threadsMost_) {
      queued_.notify_one();
      return Submitted::kQueued;
    }
    ++live_;
  }
  auto thread = std::make_unique<platform::WorkerThread>([this] { return Work(); });
  if (thread->Create()) {
    thread->SetLowestPriority();
    thread->Resume();
    threads_.push_back(std::move(thread));
    return Submitted::kQueued;
  }
  // Refused: the job waits for a running thread, or there is none to run it.
  platform::MutexLock lock(mutex_);
  --live_;
  if (live_ > 0) return Submitted::kQueued;
  jobs_.pop_back();
  return Submitted::kNoThread;
}

size_t JobPool::Load() const {
  platform::MutexLock lock(mutex_);
  return jobs_.size() + running_;
}

void JobPool::Stop() {
  {
    platform::MutexLock lock(mutex_);
    stopping_ = true;
    jobs_.clear();
    queued_.notify_all();
  }
  for (auto& thread : threads_) {
    while (!thread->WaitForEnd(platform::kThreadEndStepMs)) {
    }
  }
  threads_.clear();
}

int JobPool::Work() {
  for (;;) {
    std::function<void()> job;
    {
      platform::MutexLock lock(mutex_);
      ++idle_;
      const bool woken =
          queued_.wait_for(mutex_, std::chrono::milliseconds(kPoolThreadIdleMs),
                           [this]() OWL_REQUIRES(mutex_) { return !jobs_.empty() || stopping_; });
      --idle_;
      if (stopping_ || !woken) {
        --live_;
        return 0;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
      ++running_;
    }
    job();
    job = nullptr;  // what it held goes before the pool counts it done
    platform::MutexLock lock(mutex_);
    --running_;
  }
}

}  // namespace server
