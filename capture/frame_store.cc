#include "capture/frame_store.h"

#include <chrono>
#include <cstring>

#include "platform/clock.h"

namespace capture {

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
  publishedAt_[publishedCount_.load() % kPublishTimes].store(platform::SteadyMillis());
  publishedCount_.fetch_add(1);
  frameLock_.unlock();
  // Taking waitLock_ after the count changed means no waiter can miss it.
  { platform::MutexLock lock(waitLock_); }
  published_.notify_all();
}

FrameStore::Reader::Reader(FrameStore& store) : store_(store) {
  store_.frameLock_.lock();
  length_ = store_.jpegLength_;
  published_ = store_.publishedCount_.load();
}

FrameStore::Reader::~Reader() { store_.frameLock_.unlock(); }

void FrameStore::Reader::CopyTo(void* destination) const {
  if (length_ >= 1)
    std::memcpy(destination, store_.jpegBuffer_.get(), static_cast<size_t>(length_));
}

void FrameStore::WaitForNewFrame(uint64_t seen, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  platform::MutexLock lock(waitLock_);
  const uint64_t wakeups = wakeups_;
  while (publishedCount_.load() == seen && wakeups_ == wakeups)
    if (published_.wait_until(waitLock_, deadline) == std::cv_status::timeout) return;
}

double FrameStore::FramesPerSecond(int64_t nowMs) const {
  constexpr int64_t kWindowMs = 2000;
  int frames = 0;
  for (const auto& at : publishedAt_) {
    const int64_t when = at.load();
    if (when > 0 && nowMs - when < kWindowMs) ++frames;
  }
  return frames * 1000.0 / kWindowMs;
}

void FrameStore::WakeReaders() {
  {
    platform::MutexLock lock(waitLock_);
    ++wakeups_;
  }
  published_.notify_all();
}

}  // namespace capture
