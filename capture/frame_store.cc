#include "capture/frame_store.h"

#include <chrono>
#include <cstring>

void FrameStore::Reallocate(int32_t capacity) {
  jpegBuffer_.reset(capacity > 0 ? new uint8_t[static_cast<size_t>(capacity)] : nullptr);
  jpegCapacity_ = capacity > 0 ? capacity : 0;
  jpegLength_ = 0;
}

void FrameStore::Release() {
  jpegBuffer_.reset();
  jpegCapacity_ = 0;
  jpegLength_ = 0;
}

uint8_t* FrameStore::BeginFrame(int32_t& capacity) {
  frameLock_.lock();
  jpegLength_ = 0;
  capacity = jpegCapacity_;
  return jpegBuffer_.get();
}

void FrameStore::EndFrame(int32_t result) {
  jpegLength_ = result;
  publishedCount_.fetch_add(1);
  frameLock_.unlock();
  // Taking waitLock_ after the count changed means no waiter can miss it.
  { std::lock_guard lock(waitLock_); }
  published_.notify_all();
}

int32_t FrameStore::LockAndGetLength() {
  frameLock_.lock();
  return jpegLength_;
}

void FrameStore::CopyAndUnlock(void* destination) {
  std::memcpy(destination, jpegBuffer_.get(), static_cast<size_t>(jpegLength_));
  frameLock_.unlock();
}

void FrameStore::Unlock() { frameLock_.unlock(); }

void FrameStore::WaitForNewFrame(uint64_t seen, int ms) {
  std::unique_lock lock(waitLock_);
  uint64_t wakeups = wakeups_;
  published_.wait_for(lock, std::chrono::milliseconds(ms),
                      [&] { return publishedCount_.load() != seen || wakeups_ != wakeups; });
}

void FrameStore::WakeReaders() {
  {
    std::lock_guard lock(waitLock_);
    ++wakeups_;
  }
  published_.notify_all();
}
