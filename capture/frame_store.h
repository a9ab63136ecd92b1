#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/thread_annotations.h"

namespace platform {
class Wakeup;
}

namespace capture {

// What a picture is, beside its bytes: its size, and whether it is the
// camera's own JPEG (passed through) or one encoded here.
struct PictureShape {
  int32_t width = 0, height = 0;
  bool cameraJpeg = false;
};

// One picture's buffer, shared by the store and whoever reads it. Its bytes
// change only while nobody but the store holds it.
struct FrameBuffer {
  explicit FrameBuffer(int32_t size)
      : bytes(new uint8_t[static_cast<size_t>(size)]), capacity(size) {}
  std::atomic<int32_t> holders{1};
  std::unique_ptr<uint8_t[]> bytes;
  int32_t capacity;
  int32_t length = 0;       // written before it is published, read-only after
  int64_t publishedMs = 0;  // platform::SteadyMillis when it was published
  PictureShape shape;       // written before it is published, like length
};

// A reference to a published picture: its bytes stay as they are for as long
// as it is held, whatever the camera publishes meanwhile. Copying one costs
// an atomic increment, no allocation.
class FrameRef {
 public:
  FrameRef() = default;
  FrameRef(const FrameRef& other) : frame_(other.frame_) { Hold(); }
  FrameRef(FrameRef&& other) noexcept : frame_(other.frame_) { other.frame_ = nullptr; }
  FrameRef& operator=(FrameRef other) noexcept {
    std::swap(frame_, other.frame_);
    return *this;
  }
  ~FrameRef();

  // The picture's byte count; below 1 for none (no frame, or one that failed).
  int32_t Length() const { return frame_ ? frame_->length : 0; }
  const uint8_t* Data() const { return frame_ ? frame_->bytes.get() : nullptr; }
  // When the camera's picture came: platform::SteadyMillis at its publish.
  int64_t PublishedMs() const { return frame_ ? frame_->publishedMs : 0; }
  // Its size and kind, as the camera pipeline published them.
  PictureShape Shape() const { return frame_ ? frame_->shape : PictureShape{}; }

 private:
  friend class FrameStore;
  explicit FrameRef(FrameBuffer* adopted) : frame_(adopted) {}
  void Hold() const {
    if (frame_) frame_->holders.fetch_add(1, std::memory_order_relaxed);
  }
  // Whether the store's reference is the only one, so that its bytes may be
  // written.
  bool Unshared() const { return frame_->holders.load(std::memory_order_acquire) == 1; }
  FrameBuffer* frame_ = nullptr;
};

// The latest JPEG image of the camera. One writer (the frame pipeline, on the
// capture thread), any number of readers (the streams and snapshots). The
// writer fills a buffer nobody reads and publishes it whole; readers hold a
// reference to the picture they send, so neither waits for the other.
class FrameStore {
 public:
  // Sizing, on the user-interface thread: pictures from now on get buffers
  // of `capacity` bytes, and there is no picture until the next one. Readers
  // keep what they hold.
  void Reallocate(int32_t capacity) OWL_EXCLUDES(frameLock_);
  void Release() OWL_EXCLUDES(frameLock_) { Reallocate(0); }
  bool HasBuffer() const { return Capacity() > 0; }
  int32_t Capacity() const OWL_EXCLUDES(frameLock_);

  // Writer: a buffer of `capacity` bytes that no reader holds (nullptr and 0
  // without a size), to be filled and published by EndFrame.
  uint8_t* BeginFrame(int32_t& capacity) OWL_EXCLUDES(frameLock_);
  // Writer: publishes `result` (a byte count, 0 or -1) as the latest
  // picture, of `shape`.
  void EndFrame(int32_t result, PictureShape shape = {}) OWL_EXCLUDES(frameLock_, waitLock_);

  // A reader's hold on the latest picture, taken when it is made.
  class Reader {
   public:
    explicit Reader(FrameStore& store);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The image's byte count; below 1 when there is none (not yet, or a
    // frame that failed).
    int32_t Length() const { return image_.Length(); }
    // Which frame that is: PublishedCount when it was published.
    uint64_t Published() const { return published_; }
    // Copies the image, Length() bytes, when there is one.
    void CopyTo(void* destination) const;
    const FrameRef& Image() const { return image_; }

   private:
    FrameRef image_;
    uint64_t published_;
  };

  // How many frames EndFrame has published.
  uint64_t PublishedCount() const { return publishedCount_.load(); }
  // Frames published a second over the last two seconds, as at `nowMs`
  // (platform::SteadyMillis). Any thread, without the lock.
  double FramesPerSecond(int64_t nowMs) const;
  // The camera's own rate, from the spacing of the pictures of the last two
  // seconds: 0 until they span half a second (a camera just started).
  double PictureRate(int64_t nowMs) const;
  // Waits until the published count differs from `seen`, `ms` pass, or
  // WakeReaders is called.
  void WaitForNewFrame(uint64_t seen, int ms) OWL_EXCLUDES(waitLock_);
  // Wakes every waiting reader, so that it looks at its stop flag at once.
  void WakeReaders() OWL_EXCLUDES(waitLock_);
  // A reader that waits in a poll of its own (the stream sender) has
  // `wakeup` signalled at every publish and WakeReaders; nullptr to stop.
  void SetWakeup(platform::Wakeup* wakeup) OWL_EXCLUDES(waitLock_);

 private:
  // A picture being written is never the latest; readers pin at most one
  // each, so the pool stays near two buffers and grows only while
  // slow readers hold older ones.
  static constexpr size_t kSpareBuffers = 2;

  mutable platform::Mutex frameLock_;
  int32_t capacity_ OWL_GUARDED_BY(frameLock_) = 0;
  std::vector<FrameRef> pool_ OWL_GUARDED_BY(frameLock_);
  FrameRef latest_ OWL_GUARDED_BY(frameLock_);
  FrameRef writing_;  // the writer's alone, from BeginFrame to EndFrame

  std::atomic<uint64_t> publishedCount_{0};   // written under frameLock_
  static constexpr int64_t kRecentMs = 2000;  // the window both rates look at
  // The pictures published within kRecentMs of `nowMs`: how many, and the
  // first's and the last's times.
  struct Recent {
    int frames;
    int64_t oldest, newest;
  };
  Recent RecentPictures(int64_t nowMs) const;
  // When the last frames were published, a ring by published count; enough
  // for 2 s of a 120 fps camera.
  static constexpr size_t kPublishTimes = 256;
  std::array<std::atomic<int64_t>, kPublishTimes> publishedAt_{};
  platform::Mutex waitLock_;  // pairs with published_; a leaf lock
  std::condition_variable_any published_;
  uint64_t wakeups_ OWL_GUARDED_BY(waitLock_) = 0;
  platform::Wakeup* wakeup_ OWL_GUARDED_BY(waitLock_) = nullptr;
};

}  // namespace capture
