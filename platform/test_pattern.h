// Stands in for a camera when there is none: the built-in test pattern.
// Promises 30 frames a second of colour bars with a moving ball, a frame
// counter and the time, in YUYV, 24-bit bottom-up RGB or Motion-JPEG (as a
// UVC camera sends it: 4:2:2, no Huffman tables), at four sizes.
#pragma once

#include <atomic>
#include <chrono>

#include "platform/capture_driver.h"

namespace platform {

// The picture a capture window shows while its camera is away, in the test
// pattern's style: "NO CAMERA" and the time it went, top row first, BGR.
void DrawNoCamera(int width, int height, const std::string& since, std::vector<uint8_t>& bgr);

// The test pattern's controls, numbered as V4L2 numbers a camera's user
// controls.
constexpr uint32_t kPatternControls = 0x00980001;  // the heading
constexpr uint32_t kPatternBrightness = 0x00980900;
constexpr uint32_t kPatternContrast = 0x00980901;
constexpr uint32_t kPatternShowClock = 0x0098f901;
constexpr uint32_t kPatternChoice = 0x0098f902;  // colour bars or grey ramp

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
  // Brightness and contrast change the picture, "Show clock" the caption
  // with the frame counter and the time, "Pattern" the picture behind.
  std::vector<CameraControl> Controls() override;
  bool SetControl(uint32_t id, int32_t value) override;
  // "MJPG 1280x720": the pixel format and the size.
  std::string FormatText() const override;
  bool SetFormatText(const std::string& text) override;

  // Draws frame number `index` (top row first, BGR) into `bgr`.
  void Render(uint64_t index, std::vector<uint8_t>& bgr);

 private:
  void Resize();

  std::string name_;
  enum PixelFormat { kYuyv, kRgb, kMjpeg };

  int sizeIndex_ = 1;  // 640 x 480
  PixelFormat pixelFormat_ = kYuyv;
  // Set from the user-interface thread while frames are drawn.
  std::atomic<int> pattern_{0};  // colour bars or grey ramp
  std::atomic<int> brightness_{0}, contrast_{100};
  std::atomic<bool> showClock_{true};
  int drawnPattern_ = 0;             // the pattern background_ holds
  std::vector<uint8_t> background_;  // the still part, BGR top-down
  std::vector<uint8_t> bgr_;         // the frame being drawn
  uint64_t frameIndex_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace platform
