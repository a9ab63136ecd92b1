// Stands in for the framework's worker threads (created suspended, priority,
// exit code polled). Promises a thread that runs its body only once resumed,
// reports STILL_ACTIVE until the body has returned, and is waited for by its
// owner. The system threads behind them are reused: one that has run a body
// waits a while for the next, so short-lived workers cost no thread creation.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include "platform/thread_annotations.h"

namespace platform {

constexpr int kStillActive = 259;
// How often an owner that waits for a thread's end looks up from the wait.
constexpr int kThreadEndStepMs = 200;

// Owned and driven by one thread; the body runs on the worker.
class WorkerThread {
 public:
  explicit WorkerThread(std::function<int()> body) : body_(std::move(body)) {}
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Creates the thread suspended. False when the system refuses a thread.
  [[nodiscard]] bool Create();
  // Asks for the lowest scheduling priority; best effort, applied when the
  // thread starts.
  void SetLowestPriority() { lowest_ = true; }
  void Resume();

  // kStillActive until the body has returned, then its result.
  int ExitCode() const { return exitCode_.load(); }
  // Waits up to `ms` for the body to return; true once it has. Returns at
  // once when the thread has ended.
  [[nodiscard]] bool WaitForEnd(int ms);

 private:
  void Main();  // runs the body on a pooled thread
  void End();   // then reports it ended, the thread back in the pool

  std::function<int()> body_;
  std::atomic<int> exitCode_{kStillActive};
  int result_ = 0;        // the pooled thread's, from Main to End
  bool created_ = false;  // the owner's alone: a thread is reserved
  bool resumed_ = false;  // the owner's alone: the body is handed to it
  bool lowest_ = false;
  Mutex mutex_;
  std::condition_variable_any changed_;
  bool ended_ OWL_GUARDED_BY(mutex_) = false;  // Main touches nothing after it
};

// Ends the system threads that wait for work, so that a program ends with
// none left behind. Called by a program's main once its workers have ended.
void EndIdleThreads();

}  // namespace platform
