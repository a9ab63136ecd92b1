#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a decoder finds in a JPEG image: the frame header, the first
// quantisation table, and the pixels as RGB (3 components only).
struct DecodedJpeg {
  bool ok = false;
  int width = 0, height = 0, components = 0;
  std::vector<std::pair<int, int>> sampling;  // h, v per component
  std::vector<uint16_t> quantTable0;
  std::vector<uint8_t> rgb;  // top row first
  const uint8_t* Pixel(int x, int y) const {
    return &rgb[(static_cast<size_t>(y) * width + x) * 3];
  }
};
DecodedJpeg DecodeJpeg(const uint8_t* data, size_t size);
inline DecodedJpeg DecodeJpeg(const std::string& bytes) {
  return DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
