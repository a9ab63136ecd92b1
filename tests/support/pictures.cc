#include "tests/support/pictures.h"

#include "capture/capture_error.h"
#include "capture/jpeg_encoder.h"

#include <random>

Picture MakePicture(int width, int height, int bitCount, uint8_t fill, bool topDown) {
  Picture p;
  p.header.biWidth = width;
  p.header.biHeight = topDown ? -height : height;
  p.header.biBitCount = static_cast<uint16_t>(bitCount);
  p.rows.assign(static_cast<size_t>(platform::BitmapStride(width, bitCount)) * height, fill);
  return p;
}

Picture NoisyGradient(int width, int height, uint32_t seed) {
  Picture p = MakePicture(width, height, 24);
  std::minstd_rand random(seed);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = p.Row(y);
    for (int x = 0; x < width; ++x) {
      int noise = static_cast<int>(random() % 24) - 12;
      auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      row[x * 3 + 0] = clamp(255 * x / width + noise);
      row[x * 3 + 1] = clamp(255 * y / height + noise);
      row[x * 3 + 2] = clamp(128 + noise * 2);
    }
  }
  return p;
}

std::string CameraJpeg(int width, int height, int quality) {
  Picture picture = NoisyGradient(width, height);
  capture::CaptureError error;
  capture::JpegEncoder encoder(error);
  std::string jpeg(static_cast<size_t>(width) * height * 3, '\0');
  int32_t n =
      encoder.Encode(picture.header, picture.rows.data(), reinterpret_cast<uint8_t*>(jpeg.data()),
                     static_cast<int32_t>(jpeg.size()), quality);
  jpeg.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return jpeg;
}

std::string WithoutHuffmanTables(const std::string& jpeg) {
  std::string out = jpeg.substr(0, 2);
  size_t at = 2;
  while (at + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[at + 1]) != 0xda) {
    const size_t length = 2 + (static_cast<size_t>(static_cast<uint8_t>(jpeg[at + 2])) << 8 |
                               static_cast<uint8_t>(jpeg[at + 3]));
    if (static_cast<uint8_t>(jpeg[at + 1]) != 0xc4) out += jpeg.substr(at, length);
    at += length;
  }
  return out + jpeg.substr(at);
}
