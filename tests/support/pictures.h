#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"

// A bitmap for tests and benchmarks: the header and its padded rows.
struct Picture {
  platform::BitmapInfoHeader header;
  std::vector<uint8_t> rows;
  uint8_t* Row(int y) {
    return rows.data() +
           static_cast<size_t>(platform::BitmapStride(header.biWidth, header.biBitCount)) * y;
  }
};

// An empty bitmap with every byte set to `fill`; rows bottom-up unless
// `topDown`.
Picture MakePicture(int width, int height, int bitCount, uint8_t fill = 0, bool topDown = false);

// A camera-like 24-bit picture: a colour gradient with noise.
Picture NoisyGradient(int width, int height, uint32_t seed = 1);

// NoisyGradient as libjpeg-turbo encodes it at `quality`: a camera-like JPEG.
std::string CameraJpeg(int width, int height, int quality = 90);

// The JPEG image without its Huffman tables (DHT), as UVC cameras send it.
std::string WithoutHuffmanTables(const std::string& jpeg);
