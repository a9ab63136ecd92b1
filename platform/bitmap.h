// Stands in for the Windows bitmap header that describes frames and
// decompressed pictures. Promises the same fields with the same meaning.
#pragma once

#include <cstdint>

namespace platform {

struct BitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // positive: rows stored bottom-up; negative: top-down
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;  // a FOURCC, or 0 for uncompressed RGB
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

constexpr uint32_t kBiRgb = 0;

// Bytes per row of an uncompressed bitmap: rows are padded to 4 bytes.
inline int32_t BitmapStride(int32_t width, int bitCount) { return (width * bitCount / 8 + 3) & ~3; }

}  // namespace platform
