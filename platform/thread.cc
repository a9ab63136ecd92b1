#include "platform/thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <system_error>

namespace platform {

WorkerThread::~WorkerThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    if (!started_) cancelled_ = true;
    started_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool WorkerThread::Create() {
  try {
    thread_ = std::thread(&WorkerThread::Main, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void WorkerThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    started_ = true;
  }
  changed_.notify_all();
}

bool WorkerThread::WaitForEnd(int ms) {
  if (!thread_.joinable()) return exitCode_.load() != kStillActive;
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; }))
    return false;
  lock.unlock();
  thread_.join();
  return true;
}

void WorkerThread::Main() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return started_; });
    if (cancelled_) return;
  }
  if (lowest_) {
    // A raised nice value for this thread alone: below the capture thread
    // and the user interface, as the design's THREAD_PRIORITY_LOWEST.
    const int self = static_cast<int>(::gettid());
    errno = 0;
    int nice = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) ::setpriority(PRIO_PROCESS, self, nice + 2 > 19 ? 19 : nice + 2);
  }
  int result = body_();
  {
    std::lock_guard lock(mutex_);
    exitCode_.store(result);
    ended_ = true;
  }
  changed_.notify_all();
}

}  // namespace platform
