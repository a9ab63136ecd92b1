// Waiting on many sockets at once from one thread: epoll, and an eventfd
// that other threads signal to wake it.
#pragma once

#include <cstdint>

namespace platform {

// Signalled by any thread; wakes a Poller that watches it. Signals coalesce
// until Clear.
class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Signal();
  void Clear();

 private:
  int fd_;
};

// Readiness events of the descriptors added, each reported with the tag it
// was added with. Used by one thread.
class Poller {
 public:
  // What a descriptor is watched for. A peer that closes its side is
  // reported as kReadable (the read that follows meets its end); a reset or
  // an error always comes as kHangUp.
  static constexpr uint32_t kReadable = 1;
  static constexpr uint32_t kWritable = 2;
  static constexpr uint32_t kHangUp = 4;

  struct Event {
    void* tag;
    uint32_t what;  // kReadable | kWritable | kHangUp
  };

  Poller();
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Edge-triggered: an event comes when the state changes, so a reader
  // reads until it would block, and a writer that was full hears when
  // there is room again.
  [[nodiscard]] bool Add(int fd, uint32_t what, void* tag);
  void Remove(int fd);
  // Waits up to `ms` (-1 for no limit) for events, at most `capacity` of
  // them into `events`. Their count; 0 after the time-out or on EINTR.
  int Wait(Event* events, int capacity, int ms);

 private:
  int fd_;
};

}  // namespace platform
