#include "capture/frame_store.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/clock.h"
#include "platform/poller.h"

namespace capture {

FrameRef::~FrameRef() {
  if (frame_ && frame_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete frame_;
}

void FrameStore::Reallocate(int32_t capacity) {
  platform::MutexLock lock(frameLock_);
  capacity_ = std::max(capacity, 0);
  pool_.clear();  // buffers still read are freed by their last reader
  latest_ = FrameRef();
}

int32_t FrameStore::Capacity() const {
  platform::MutexLock lock(frameLock_);
  return capacity_;
}

uint8_t* FrameStore::BeginFrame(int32_t& capacity) {
  {
    platform::MutexLock lock(frameLock_);
    capacity = capacity_;
    if (capacity_ == 0) return nullptr;
    // A buffer only the pool holds: not the latest, and no reader's.
    auto free = std::ranges::find_if(pool_, &FrameRef::Unshared);
    if (free == pool_.end()) {
      pool_.push_back(FrameRef(new FrameBuffer(capacity_)));
      free = pool_.end() - 1;
    }
    writing_ = *free;
    // Buffers that readers pinned for a while go once they are free again.
    if (pool_.size() > kSpareBuffers + 1) {
      std::erase_if(pool_, [](const FrameRef& buffer) { return buffer.Unshared(); });
    }
  }
  return writing_.frame_->bytes.get();
}

void FrameStore::EndFrame(int32_t result, PictureShape shape) {
  {
    platform::MutexLock lock(frameLock_);
    const int64_t now = platform::SteadyMillis();
    if (writing_.frame_) {
      writing_.frame_->length = result;
      writing_.frame_->publishedMs = now;
      writing_.frame_->shape = shape;
      latest_ = std::move(writing_);
    } else {
      latest_ = FrameRef();
    }
    writing_ = FrameRef();
    publishedAt_[publishedCount_.load() % kPublishTimes].store(now);
    publishedCount_.fetch_add(1);
  }
  // Taking waitLock_ after the count changed means no waiter can miss it.
  {
    platform::MutexLock lock(waitLock_);
    if (wakeup_) wakeup_->Signal();
  }
  published_.notify_all();
}

FrameStore::Reader::Reader(FrameStore& store) {
  platform::MutexLock lock(store.frameLock_);
  image_ = store.latest_;
  published_ = store.publishedCount_.load();
}

void FrameStore::Reader::CopyTo(void* destination) const {
  if (Length() >= 1) std::memcpy(destination, image_.Data(), static_cast<size_t>(Length()));
}

void FrameStore::WaitForNewFrame(uint64_t seen, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  platform::MutexLock lock(waitLock_);
  const uint64_t wakeups = wakeups_;
  while (publishedCount_.load() == seen && wakeups_ == wakeups)
    if (published_.wait_until(waitLock_, deadline) == std::cv_status::timeout) return;
}

FrameStore::Recent FrameStore::RecentPictures(int64_t nowMs) const {
  Recent recent{0, nowMs, 0};
  for (const auto& at : publishedAt_) {
    const int64_t when = at.load();
    if (when <= 0 || nowMs - when >= kRecentMs) continue;
    ++recent.frames;
    recent.oldest = std::min(recent.oldest, when);
    recent.newest = std::max(recent.newest, when);
  }
  return recent;
}

double FrameStore::FramesPerSecond(int64_t nowMs) const {
  return RecentPictures(nowMs).frames * 1000.0 / kRecentMs;
}

double FrameStore::PictureRate(int64_t nowMs) const {
  constexpr int64_t kSpanLeastMs = 500;
  const Recent recent = RecentPictures(nowMs);
  const int64_t span = recent.newest - recent.oldest;
  if (recent.frames < 2 || span < kSpanLeastMs) return 0;
  return (recent.frames - 1) * 1000.0 / static_cast<double>(span);
}

void FrameStore::WakeReaders() {
  {
    platform::MutexLock lock(waitLock_);
    ++wakeups_;
    if (wakeup_) wakeup_->Signal();
  }
  published_.notify_all();
}

void FrameStore::SetWakeup(platform::Wakeup* wakeup) {
  platform::MutexLock lock(waitLock_);
  wakeup_ = wakeup;
}

}  // namespace capture
