#pragma once

#include <cstdint>

#include "capture/capture_error.h"
#include "platform/bitmap.h"

namespace capture {

// Turns one 24- or 32-bit bitmap into one JPEG image in the caller's buffer.
// Keeps nothing between calls; runs on any thread, reporting failures into
// its owner's CaptureError.
class JpegEncoder {
 public:
  explicit JpegEncoder(CaptureError& lastError) : lastError_(lastError) {}

  // The JPEG byte count now at the start of `output`, or -1 after a failure.
  // A 32-bit bitmap comes back with red and blue exchanged in place. Other
  // bit counts are refused (category 1) instead of being read as 24-bit rows.
  int32_t Encode(const platform::BitmapInfoHeader& header, uint8_t* pixels, uint8_t* output,
                 int32_t capacity, int32_t quality);

 private:
  CaptureError& lastError_;
};

// Exchanges the first and third byte of every 4-byte pixel, in place.
void SwapRedBlue(uint8_t* rows, int32_t width, int32_t rowCount);

}  // namespace capture
