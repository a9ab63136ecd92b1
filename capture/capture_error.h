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
struct CaptureError {
  std::atomic<std::int32_t> errorCode{0};
  std::atomic<std::int32_t> errorCategory{0};

  void Record(CaptureErrorCategory category, std::int32_t code = 0) {
    errorCategory = category;
    errorCode = code;
  }
  const char* Message() const { return kCaptureErrorText[errorCategory.load()]; }
};

}  // namespace capture
