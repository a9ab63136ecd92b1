#pragma once

#include <cstddef>
#include <cstdint>

namespace keep {

// The picture size a JPEG's frame header gives; false when there is none
// within `size` bytes.
inline bool JpegSize(const uint8_t* jpeg, size_t size, int32_t& width, int32_t& height) {
  if (size < 4 || jpeg[0] != 0xff || jpeg[1] != 0xd8) return false;
  for (size_t at = 2; at + 4 <= size;) {
    if (jpeg[at] != 0xff) return false;
    const uint8_t marker = jpeg[at + 1];
    if (marker == 0xff) {  // fill byte
      ++at;
      continue;
    }
    const size_t length = static_cast<size_t>(jpeg[at + 2] << 8 | jpeg[at + 3]);
    const bool frameHeader =
        marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
    if (frameHeader) {
      if (at + 9 > size || length < 7) return false;
      height = jpeg[at + 5] << 8 | jpeg[at + 6];
      width = jpeg[at + 7] << 8 | jpeg[at + 8];
      return width > 0 && height > 0;
    }
    if (marker == 0xda || length < 2) return false;  // image data before any frame header
    at += 2 + length;
  }
  return false;
}

}  // namespace keep
