#include "capture/jpeg_encoder.h"

#include <cstdlib>
#include <utility>

#include "platform/jpeg_library.h"

namespace capture {

using namespace platform;

// The code recorded when a bitmap has neither 24 nor 32 bits per pixel.
constexpr int32_t kUnsupportedBitCount = -4;

int32_t JpegEncoder::Encode(const BitmapInfoHeader& header, uint8_t* pixels, uint8_t* output,
                            int32_t capacity, int32_t quality) {
  JPEG_CORE_PROPERTIES jcprops{};
  if (int result = ijlInit(&jcprops); result != IJL_OK) {
    lastError_.Record(ErrJpegInit, result);
    return -1;
  }
  const int32_t rows = std::abs(header.biHeight);
  jcprops.JPGFile = nullptr;
  jcprops.DIBWidth = header.biWidth;
  jcprops.DIBHeight = -header.biHeight;
  jcprops.DIBBytes = pixels;
  jcprops.JPGWidth = header.biWidth;
  jcprops.JPGHeight = rows;
  jcprops.JPGBytes = output;
  jcprops.JPGSizeBytes = capacity;
  jcprops.jquality = quality;

  const int bytesPerPixel = header.biBitCount / 8;
  if (bytesPerPixel == 3) {
    jcprops.DIBPadBytes = BitmapStride(header.biWidth, 24) - header.biWidth * 3;
    jcprops.DIBChannels = 3;
    jcprops.DIBColor = IJL_BGR;
    jcprops.JPGChannels = 3;
    jcprops.JPGColor = IJL_YCBCR;
    jcprops.JPGSubsampling = IJL_411;
  } else if (bytesPerPixel == 4) {
    jcprops.DIBPadBytes = 0;
    jcprops.DIBChannels = 4;
    jcprops.DIBColor = IJL_RGBA_FPX;
    jcprops.JPGChannels = 4;
    jcprops.JPGColor = IJL_YCBCRA_FPX;
    jcprops.JPGSubsampling = IJL_4114;
    SwapRedBlue(pixels, header.biWidth, rows);
  } else {
    ijlFree(&jcprops);
    lastError_.Record(ErrJpegWrite, kUnsupportedBitCount);
    return -1;
  }

  if (int result = ijlWrite(&jcprops, IJL_JBUFF_WRITEWHOLEIMAGE); result != IJL_OK) {
    lastError_.Record(ErrJpegWrite, result);
    ijlFree(&jcprops);
    return -1;
  }
  if (int result = ijlFree(&jcprops); result != IJL_OK) {
    lastError_.Record(ErrJpegFree, result);
    return -1;
  }
  return jcprops.JPGSizeBytes;
}

void SwapRedBlue(uint8_t* rows, int32_t width, int32_t rowCount) {
  if (rowCount <= 0 || width <= 0) return;
  const size_t stride = static_cast<size_t>(BitmapStride(width, 32));
  for (int32_t y = 0; y < rowCount; ++y) {
    uint8_t* pixel = rows + stride * static_cast<size_t>(y);
    for (int32_t x = 0; x < width; ++x, pixel += 4) std::swap(pixel[0], pixel[2]);
  }
}

}  // namespace capture
