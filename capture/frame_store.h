#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

// The latest JPEG image of the camera. One writer (the frame pipeline, on the
// capture thread), any number of readers (the streams, on client threads);
// sizing runs on the user-interface thread while neither is active.
class FrameStore {
 public:
  // Sizing: a fresh buffer of `capacity` bytes with no image in it.
  void Reallocate(int32_t capacity);
  void Release();
  bool HasBuffer() const { return jpegBuffer_ != nullptr; }
  int32_t Capacity() const { return jpegCapacity_; }

  // Writer: takes the lock, marks the image missing and hands out the buffer.
  uint8_t* BeginFrame(int32_t& capacity);
  // Writer: publishes `result` (a byte count, 0 or -1) and releases the lock.
  void EndFrame(int32_t result);

  // Reader: takes the lock and returns the image length, keeping the lock.
  int32_t LockAndGetLength();
  // Reader, after a length of 1 or more: copies the image and releases.
  void CopyAndUnlock(void* destination);
  // Reader, after a length below 1: releases without copying.
  void Unlock();

  // How many frames EndFrame has published. Read it while holding the lock
  // to learn which frame the length belongs to.
  uint64_t PublishedCount() const { return publishedCount_.load(); }
  // Waits, without the lock, until the published count differs from `seen`,
  // `ms` pass, or WakeReaders is called.
  void WaitForNewFrame(uint64_t seen, int ms);
  // Wakes every waiting reader, so that it looks at its stop flag at once.
  void WakeReaders();

 private:
  std::mutex frameLock_;  // guards jpegBuffer_'s contents and jpegLength_
  std::unique_ptr<uint8_t[]> jpegBuffer_;
  int32_t jpegCapacity_ = 0;
  int32_t jpegLength_ = 0;

  std::atomic<uint64_t> publishedCount_{0};  // written under frameLock_
  std::mutex waitLock_;                      // pairs with published_; a leaf lock
  std::condition_variable published_;
  uint64_t wakeups_ = 0;  // guarded by waitLock_
};
