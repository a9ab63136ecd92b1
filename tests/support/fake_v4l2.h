#pragma once

#include <linux/videodev2.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/v4l2_driver.h"

// A V4L2 camera as the kernel presents it, for tests: /dev/video0 captures
// YUYV at 640 x 480 or 320 x 240 (and lists MJPEG and H.264), /dev/video1
// is its metadata node, with the same card and bus, that can't capture. A
// frame is ready every 10 ms while streaming; each is grey with a luma that
// counts up. Unplug makes every later call fail with ENODEV and polls
// report POLLERR, as the kernel does; Replug brings the camera back as a new
// device at /dev/videoN (its metadata node at N + 1), its controls at their
// defaults. Its controls: user controls (brightness, automatic white
// balance and the temperature it rules, mains frequency) and camera
// controls (an exposure mode menu, the absolute exposure it rules, an
// integer menu of exposure bias, and an autofocus button), under their
// class headings; a ruled control is inactive, and refuses a new value,
// while its automatic mode is on.
class FakeV4l2 : public platform::V4l2Io {
 public:
  int Open(const std::string& path) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void* Mmap(size_t length, int fd, off_t offset) override;
  int Munmap(void*, size_t) override {
    --mapped_;
    return 0;
  }
  int Poll(int fd, int ms) override;
  int Close(int) override { return 0; }

  void Unplug() { unplugged = true; }
  void Replug(int number);
  // The next `count` buffers come flagged with V4L2_BUF_FLAG_ERROR.
  void FlagNextFramesAsErrors(int count) { errorFrames_ = count; }
  // A camera that is there but sends nothing.
  void Stall(bool stalled) { stalled_ = stalled; }
  // Buffers mapped and not unmapped yet.
  int Mapped() const { return mapped_.load(); }
  int Brightness() const { return Control(V4L2_CID_BRIGHTNESS); }
  // A control's value; -1 for none.
  int Control(uint32_t id) const;
  // Values this camera refuses from now on (as EINVAL).
  void Refuse(uint32_t id, int32_t value);
  // While its format is Motion-JPEG, the camera sends these frames in turn.
  void SendJpegFrames(std::vector<std::string> frames);
  // The frame interval last set (VIDIOC_S_PARM), as "1/15"; 1/30 at first.
  std::string Interval();

  std::atomic<bool> unplugged{false};

 private:
  int Fail(int error);
  void SetSize(uint32_t pixelFormat, uint32_t width, uint32_t height);

  mutable std::mutex mutex_;
  v4l2_pix_format format_{};
  std::vector<std::vector<uint8_t>> buffers_;
  std::vector<bool> queued_;
  bool streaming_ = false;
  std::chrono::steady_clock::time_point nextFrame_;
  uint8_t luma_ = 16;
  struct FakeControl {
    uint32_t id, type;
    const char* name;
    int32_t minimum, maximum, step, defaultValue;
    std::vector<int64_t> items;  // a menu's values by index (0: no item there)
    int32_t value;
  };
  static std::vector<FakeControl> DefaultControls();
  FakeControl* Find(uint32_t id);
  uint32_t Flags(const FakeControl& control) const;        // with mutex_ held
  int ControlIoctl(unsigned long request, void* arg);      // with mutex_ held
  std::vector<FakeControl> controls_ = DefaultControls();  // guarded by mutex_
  std::vector<std::pair<uint32_t, int32_t>> refused_;      // guarded by mutex_
  v4l2_fract interval_{1, 30};                             // guarded by mutex_
  bool intervalSet_ = false;  // guarded by mutex_: frames come at interval_, else every 10 ms
  std::vector<std::string> jpegFrames_;  // guarded by mutex_
  size_t nextJpeg_ = 0;                  // guarded by mutex_
  std::atomic<int> mapped_{0};
  std::atomic<int> errorFrames_{0};
  std::atomic<bool> stalled_{false};
  std::atomic<int> cameraNumber_{0};
};
