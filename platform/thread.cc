#include "platform/thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <system_error>
#include <thread>

namespace platform {

namespace {

// System threads that have finished a job wait here for the next one; one
// that gets none for kIdleLimit ends. A server that takes thousands of
// short connections a second then creates no thread for each.
class ThreadPool {
 public:
  static constexpr auto kIdleLimit = std::chrono::seconds(2);

  // Runs `job` on a waiting thread or a new one; false when the system
  // refuses a new thread.
  bool Run(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      if (idle_ > jobs_.size()) {
        jobs_.push_back(std::move(job));
        wake_.notify_one();
        return true;
      }
    }
    try {
      std::thread([this, first = std::move(job)] {
        first();
        Serve();
      }).detach();
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

 private:
  void Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      bool woken = wake_.wait_for(lock, kIdleLimit, [this] { return !jobs_.empty(); });
      --idle_;
      if (!woken) return;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;  // guarded by mutex_
  size_t idle_ = 0;                         // guarded by mutex_: threads waiting in Serve
};

// Never destroyed: waiting threads may still use it while the process exits.
ThreadPool& Pool() {
  static ThreadPool* pool = new ThreadPool;
  return *pool;
}

}  // namespace

WorkerThread::~WorkerThread() {
  if (!created_) return;
  std::unique_lock lock(mutex_);
  if (!started_) cancelled_ = true;
  started_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return ended_; });
}

bool WorkerThread::Create() {
  created_ = Pool().Run([this] { Main(); });
  return created_;
}

void WorkerThread::Resume() {
  std::lock_guard lock(mutex_);
  started_ = true;
  changed_.notify_all();
}

bool WorkerThread::WaitForEnd(int ms) {
  if (!created_) return exitCode_.load() != kStillActive;
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; });
}

void WorkerThread::Main() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return started_; });
  if (!cancelled_) {
    lock.unlock();
    // A raised nice value for this thread alone while the body runs: below
    // the capture thread and the user interface, as the design's
    // THREAD_PRIORITY_LOWEST. The thread goes back to the pool as it came.
    const int self = static_cast<int>(::gettid());
    errno = 0;
    const int nice = lowest_ ? ::getpriority(PRIO_PROCESS, self) : 0;
    const bool lowered = lowest_ && errno == 0 &&
                         ::setpriority(PRIO_PROCESS, self, nice + 2 > 19 ? 19 : nice + 2) == 0;
    int result = body_();
    if (lowered) ::setpriority(PRIO_PROCESS, self, nice);
    lock.lock();
    exitCode_.store(result);
  }
  // Notified under the lock: once the owner sees ended_, this object may be
  // gone, and the lock's release is the last thing that touches it.
  ended_ = true;
  changed_.notify_all();
}

}  // namespace platform
