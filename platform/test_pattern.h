// Stands in for a camera when there is none: the built-in test pattern.
// Promises 30 frames a second of colour bars with a moving ball, a frame
// counter and the time, in YUYV, 24-bit bottom-up RGB or Motion-JPEG (as a
// UVC camera sends it: 4:2:2, no Huffman tables), at four sizes.
#pragma once

#include <chrono>

#include "platform/capture_driver.h"

namespace platform {

// The picture a capture window shows while its camera is away, in the test
// pattern's style: "NO CAMERA" and the time it went, top row first, BGR.
void DrawNoCamera(int width, int height, const std::string& since, std::vector<uint8_t>& bgr);

class TestPatternDriver : public CaptureDriver {
 public:
  explicit TestPatternDriver(std::string name = "Owlglance Test Pattern");
  std::string Name() const override { return name_; }
  std::string Version() const override { return "Version: " OWL_VERSION; }
  bool Open() override { return true; }
  void Close() override {}
  BitmapInfoHeader Format() const override;
  bool StartStreaming() override;
  void StopStreaming() override {}
  FrameResult NextFrame(std::vector<uint8_t>& frame, int ms) override;
  DriverDialog Dialog(DialogKind kind) const override;
  bool Apply(DialogKind kind, const std::vector<int>& choices) override;

  // Draws frame number `index` (top row first, BGR) into `bgr`.
  void Render(uint64_t index, std::vector<uint8_t>& bgr);

 private:
  void Resize();

  std::string name_;
  enum PixelFormat { kYuyv, kRgb, kMjpeg };

  int sizeIndex_ = 1;  // 640 x 480
  PixelFormat pixelFormat_ = kYuyv;
  int pattern_ = 0;                  // colour bars or grey ramp
  std::vector<uint8_t> background_;  // the still part, BGR top-down
  std::vector<uint8_t> bgr_;         // the frame being drawn
  uint64_t frameIndex_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace platform
