#pragma once

#include <atomic>
#include <cstdint>

namespace capture {

// Which operation of the capture side failed last.
enum CaptureErrorCategory : int32_t {
  ErrJpegInit = 0,
  ErrJpegWrite = 1,
  ErrJpegFree = 2,
  ErrDecompressorClose = 3,
  ErrNotConnected = 4,
  ErrConnectFailed = 5,
  ErrAlreadyGrabbing = 6,
  ErrStartCaptureFailed = 7,
  ErrAlreadyPreviewing = 8,
  ErrDecompressFailed = 9,
};

// The message of each category, in ten 64-byte slots.
extern const char kCaptureErrorText[10][64];

// The latest failure: overwritten by each failure, left alone by successes.
// Written by the user-interface and capture threads, read for display only.
// The category and its code are one word, so that a reader never sees one
// failure's category with another's code.
struct CaptureError {
  void Record(CaptureErrorCategory category, std::int32_t code = 0) {
    record_ = static_cast<std::int64_t>(category) << 32 | static_cast<std::uint32_t>(code);
  }
  struct Entry {
    CaptureErrorCategory category;
    std::int32_t code;
  };
  // The latest failure whole, as one Record wrote it.
  Entry Last() const {
    const std::int64_t record = record_.load();
    return {static_cast<CaptureErrorCategory>(record >> 32),
            static_cast<std::int32_t>(record & 0xffffffff)};
  }
  CaptureErrorCategory Category() const { return Last().category; }
  std::int32_t Code() const { return Last().code; }
  const char* Message() const { return kCaptureErrorText[Category()]; }

 private:
  std::atomic<std::int64_t> record_{0};
};

}  // namespace capture
