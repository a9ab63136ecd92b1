#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>

#include "platform/thread_annotations.h"

namespace capture {

// The latest JPEG image of the camera. One writer (the frame pipeline, on the
// capture thread), any number of readers (the streams, on client threads);
// sizing runs on the user-interface thread while neither is active.
class FrameStore {
 public:
  // Sizing: a fresh buffer of `capacity` bytes with no image in it. No
  // reader or writer is active then, so it takes no lock.
  void Reallocate(int32_t capacity) OWL_NO_THREAD_SAFETY_ANALYSIS;
  void Release() OWL_NO_THREAD_SAFETY_ANALYSIS;
  bool HasBuffer() const { return jpegBuffer_ != nullptr; }
  int32_t Capacity() const { return jpegCapacity_; }

  // Writer: takes the lock, marks the image missing and hands out the buffer.
  uint8_t* BeginFrame(int32_t& capacity) OWL_ACQUIRE(frameLock_);
  // Writer: publishes `result` (a byte count, 0 or -1) and releases the lock.
  void EndFrame(int32_t result) OWL_RELEASE(frameLock_);

  // A reader's view of the image, the lock held for its lifetime.
  class OWL_SCOPED_CAPABILITY Reader {
   public:
    explicit Reader(FrameStore& store) OWL_ACQUIRE(store.frameLock_);
    ~Reader() OWL_RELEASE();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The image's byte count; below 1 when there is none (not yet, or a
    // frame that failed).
    int32_t Length() const { return length_; }
    // Which frame that is: PublishedCount when it was published.
    uint64_t Published() const { return published_; }
    // Copies the image, Length() bytes, when there is one.
    void CopyTo(void* destination) const OWL_NO_THREAD_SAFETY_ANALYSIS;  // under this lock

   private:
    FrameStore& store_;
    int32_t length_;
    uint64_t published_;
  };

  // How many frames EndFrame has published.
  uint64_t PublishedCount() const { return publishedCount_.load(); }
  // Frames published a second over the last two seconds, as at `nowMs`
  // (platform::SteadyMillis). Any thread, without the lock.
  double FramesPerSecond(int64_t nowMs) const;
  // Waits, without the lock, until the published count differs from `seen`,
  // `ms` pass, or WakeReaders is called.
  void WaitForNewFrame(uint64_t seen, int ms) OWL_EXCLUDES(waitLock_);
  // Wakes every waiting reader, so that it looks at its stop flag at once.
  void WakeReaders() OWL_EXCLUDES(waitLock_);

 private:
  platform::Mutex frameLock_;
  // The buffer itself changes only while sizing; its bytes are read and
  // written under frameLock_ (clang 14 can't annotate a smart pointer's).
  std::unique_ptr<uint8_t[]> jpegBuffer_;
  int32_t jpegCapacity_ = 0;
  int32_t jpegLength_ OWL_GUARDED_BY(frameLock_) = 0;

  std::atomic<uint64_t> publishedCount_{0};  // written under frameLock_
  // When the last frames were published, a ring by published count; enough
  // for 2 s of a 120 fps camera.
  static constexpr size_t kPublishTimes = 256;
  std::array<std::atomic<int64_t>, kPublishTimes> publishedAt_{};
  platform::Mutex waitLock_;  // pairs with published_; a leaf lock
  std::condition_variable_any published_;
  uint64_t wakeups_ OWL_GUARDED_BY(waitLock_) = 0;
};

}  // namespace capture
