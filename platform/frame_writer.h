// Stands in for a camera's own encoding of a picture: writes a picture as
// one frame of a capture format, so a made-up picture (the "no camera" one)
// takes the same road through the frame pipeline as a camera's.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"

namespace platform {

// `bgr` is `format`'s size, top row first. False for a format it can't write.
bool WriteCaptureFrame(const BitmapInfoHeader& format, const std::vector<uint8_t>& bgr,
                       std::vector<uint8_t>& frame);

}  // namespace platform
