#include "platform/thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

namespace {

// System threads that have finished a job wait here for the next one; one
// that gets none for kIdleLimit ends. A server that takes thousands of
// short connections a second then creates no thread for each.
class ThreadPool {
 public:
  static constexpr auto kIdleLimit = std::chrono::seconds(2);

  // Makes sure a thread will be there for one Run: a waiting one, or a new
  // one. False when the system refuses a new thread.
  bool Reserve() OWL_EXCLUDES(mutex_) {
    {
      MutexLock lock(mutex_);
      if (idle_ > reserved_ + jobs_.size()) {
        ++reserved_;
        return true;
      }
    }
    JoinFinished();
    MutexLock lock(mutex_);
    try {
      threads_.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
      return false;
    }
    ++reserved_;
    return true;
  }
  // Runs `job` on the thread reserved for it, then `done` once that thread
  // is back among the waiting ones (so that whoever `done` tells finds it
  // there, for EndIdle to end).
  void Run(std::function<void()> job, std::function<void()> done) OWL_EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    --reserved_;
    jobs_.push_back({std::move(job), std::move(done)});
    wake_.notify_one();
  }
  // Gives back a reservation that no job will use.
  void Unreserve() OWL_EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    --reserved_;
  }
  // Ends every waiting thread, and waits (a while) for them to be gone.
  void EndIdle() OWL_EXCLUDES(mutex_) {
    {
      MutexLock lock(mutex_);
      ending_ = true;
      wake_.notify_all();
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (idle_ > reserved_ && gone_.wait_until(mutex_, deadline) != std::cv_status::timeout) {
      }
      ending_ = false;
    }
    JoinFinished();
  }

 private:
  void Serve() OWL_EXCLUDES(mutex_) {
    mutex_.lock();
    ++idle_;
    for (;;) {
      if (!jobs_.empty()) {
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        --idle_;
        mutex_.unlock();
        job.run();
        mutex_.lock();
        ++idle_;
        job.done();
        continue;
      }
      // A thread that no reservation needs ends when asked to, or after
      // kIdleLimit without work.
      if (ending_ && idle_ > reserved_) break;
      if (wake_.wait_for(mutex_, kIdleLimit) == std::cv_status::timeout && jobs_.empty() &&
          idle_ > reserved_)
        break;
    }
    --idle_;
    finished_.push_back(std::this_thread::get_id());
    gone_.notify_all();
    mutex_.unlock();
  }

  // Joins the threads that have left Serve.
  void JoinFinished() OWL_EXCLUDES(mutex_) {
    std::vector<std::thread> ended;
    {
      MutexLock lock(mutex_);
      for (std::thread::id id : finished_) {
        auto it = std::find_if(threads_.begin(), threads_.end(),
                               [id](const std::thread& t) { return t.get_id() == id; });
        if (it == threads_.end()) continue;
        ended.push_back(std::move(*it));
        threads_.erase(it);
      }
      finished_.clear();
    }
    for (std::thread& thread : ended) thread.join();
  }

  Mutex mutex_;
  std::condition_variable_any wake_, gone_;
  struct Job {
    std::function<void()> run, done;
  };
  std::deque<Job> jobs_ OWL_GUARDED_BY(mutex_);
  bool ending_ OWL_GUARDED_BY(mutex_) = false;                    // EndIdle is waiting
  std::vector<std::thread> threads_ OWL_GUARDED_BY(mutex_);       // every thread started
  std::vector<std::thread::id> finished_ OWL_GUARDED_BY(mutex_);  // left Serve, to be joined
  size_t idle_ OWL_GUARDED_BY(mutex_) = 0;                        // threads in Serve without a job
  size_t reserved_ OWL_GUARDED_BY(mutex_) = 0;                    // promised to a Run to come
};

// A raised nice value for the calling thread alone, by `raise` over the one
// it started with: below the capture thread and the user interface, as the
// design's THREAD_PRIORITY_LOWEST. A pooled thread keeps what it has when
// the next body asks for the same.
void SetNiceRaise(int raise) {
  thread_local int base = -100, current = 0;
  const int self = static_cast<int>(::gettid());
  if (base == -100) {
    errno = 0;
    base = ::getpriority(PRIO_PROCESS, self);
    if (errno != 0) base = 0;
  }
  if (raise == current) return;
  if (::setpriority(PRIO_PROCESS, self, std::min(base + raise, 19)) == 0) current = raise;
}

// Never destroyed: waiting threads may still use it while the process exits.
ThreadPool& Pool() {
  static ThreadPool* pool = new ThreadPool;
  return *pool;
}

}  // namespace

WorkerThread::~WorkerThread() {
  if (!created_) return;
  if (!resumed_) {
    Pool().Unreserve();  // never resumed: the body never runs
    return;
  }
  MutexLock lock(mutex_);
  while (!ended_) changed_.wait(mutex_);
}

bool WorkerThread::Create() {
  created_ = Pool().Reserve();
  return created_;
}

void WorkerThread::Resume() {
  if (!created_ || resumed_) return;
  resumed_ = true;
  Pool().Run([this] { Main(); }, [this] { End(); });
}

bool WorkerThread::WaitForEnd(int ms) {
  if (!created_) return exitCode_.load() != kStillActive;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MutexLock lock(mutex_);
  while (!ended_)
    if (changed_.wait_until(mutex_, deadline) == std::cv_status::timeout) return ended_;
  return true;
}

void WorkerThread::Main() {
  SetNiceRaise(lowest_ ? 2 : 0);
  result_ = body_();
}

void WorkerThread::End() {
  // Notified under the lock: once the owner sees ended_, this object may be
  // gone, and the lock's release is the last thing that touches it.
  MutexLock lock(mutex_);
  exitCode_.store(result_);
  ended_ = true;
  changed_.notify_all();
}

void EndIdleThreads() { Pool().EndIdle(); }

}  // namespace platform
