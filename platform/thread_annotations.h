#pragma once

#include <mutex>

// Clang's thread-safety analysis (-Wthread-safety): which lock guards what,
// checked at compile time. Other compilers see nothing.
#if defined(__clang__)
#define OWL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OWL_THREAD_ANNOTATION(x)
#endif

#define OWL_CAPABILITY(x) OWL_THREAD_ANNOTATION(capability(x))
#define OWL_SCOPED_CAPABILITY OWL_THREAD_ANNOTATION(scoped_lockable)
#define OWL_GUARDED_BY(x) OWL_THREAD_ANNOTATION(guarded_by(x))
#define OWL_ACQUIRE(...) OWL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define OWL_RELEASE(...) OWL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define OWL_REQUIRES(...) OWL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define OWL_EXCLUDES(...) OWL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define OWL_NO_THREAD_SAFETY_ANALYSIS OWL_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace platform {

// std::mutex as the analysis knows it. Lockable, so a
// std::condition_variable_any can wait on it.
class OWL_CAPABILITY("mutex") Mutex {
 public:
  void lock() OWL_ACQUIRE() { mutex_.lock(); }
  void unlock() OWL_RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds `mutex` for its lifetime.
class OWL_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) OWL_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() OWL_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace platform
