// Stands in for a Video for Windows driver backed by a V4L2 camera. Promises
// the camera's formats, sizes and controls as dialog data, and its frames
// through mmap buffers; an unplugged camera ends the stream, never the
// process. The kernel is reached through V4l2Io, so tests can fake a device.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/capture_driver.h"
#include "platform/thread_annotations.h"

namespace platform {

// The system calls the driver makes; each returns what the call returns and
// leaves errno set as the kernel does.
class V4l2Io {
 public:
  virtual ~V4l2Io() = default;
  virtual int Open(const std::string& path) = 0;
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void* Mmap(size_t length, int fd, off_t offset) = 0;
  virtual int Munmap(void* address, size_t length) = 0;
  // poll(2) for input on fd: its revents, 0 after the time-out, -1 on error.
  virtual int Poll(int fd, int ms) = 0;
  virtual int Close(int fd) = 0;
};

V4l2Io& SystemV4l2Io();

// Every /dev/video* (in number order) that can capture and stream.
std::vector<std::unique_ptr<CaptureDriver>> ListV4l2Drivers(V4l2Io& io);

class V4l2Driver : public CaptureDriver {
 public:
  V4l2Driver(V4l2Io& io, std::string path, std::string name, std::string version,
             std::string busInfo = {});
  ~V4l2Driver() override;
  std::string Name() const override { return name_; }
  std::string Version() const override { return version_; }
  bool Open() override;
  void Close() override;
  BitmapInfoHeader Format() const override { return format_; }
  bool StartStreaming() override;
  void StopStreaming() override;
  // Gone on ENODEV, EIO or ENXIO, on POLLERR or POLLHUP, on several
  // buffers in a row flagged as errors, or after 2 s without a frame; the
  // device is closed at once, so the kernel can free its node.
  FrameResult NextFrame(std::vector<uint8_t>& frame, int ms) override;
  bool CanReturn() const override { return true; }
  // Finds the camera by its card name and bus info (the kernel may give it
  // another /dev/video number), a capture node only.
  bool Reconnect() override;
  DriverDialog Dialog(DialogKind kind) const override;
  bool Apply(DialogKind kind, const std::vector<int>& choices) override;
  // Every control VIDIOC_QUERY_EXT_CTRL lists, menus with their items.
  std::vector<CameraControl> Controls() override OWL_EXCLUDES(fdLock_);
  // A value set is set again when the camera comes back after an unplug.
  bool SetControl(uint32_t id, int32_t value) override OWL_EXCLUDES(fdLock_);
  // Its /dev/v4l/by-id name, else its card name and bus.
  std::string StableName() const override { return stableName_; }
  // "YUYV 640x480 1/30": pixel format, size and frame interval.
  std::string FormatText() const override;
  bool SetFormatText(const std::string& text) override;

 private:
  struct Buffer {
    void* address;
    size_t length;
  };
  bool ReadFormat();
  bool SetFormat(uint32_t pixelFormat, uint32_t width, uint32_t height);
  std::vector<uint32_t> PixelFormats() const;
  std::vector<std::pair<uint32_t, uint32_t>> FrameSizes(uint32_t pixelFormat) const;
  // The frame intervals (seconds as numerator / denominator) the camera
  // offers at this format and size, the most frames a second first.
  std::vector<std::pair<uint32_t, uint32_t>> FrameIntervals(uint32_t pixelFormat, uint32_t width,
                                                            uint32_t height) const;
  FrameResult Lost();
  void SetAgain() OWL_EXCLUDES(fdLock_);  // the values set before an unplug, leads first
  void CloseDevice() OWL_EXCLUDES(fdLock_);

  V4l2Io& io_;
  std::string path_, name_, version_, busInfo_, stableName_;
  // Opened and closed on the thread that takes frames (or with it stopped);
  // controls are read and set from the user-interface thread meanwhile.
  mutable Mutex fdLock_;
  int fd_ = -1;
  // Values set through SetControl, in order, leads marked.
  struct SetValue {
    uint32_t id;
    int32_t value;
    bool leads;
  };
  std::vector<SetValue> set_ OWL_GUARDED_BY(fdLock_);
  int64_t lastFrameMs_ = 0;
  int errorFrames_ = 0;  // buffers flagged as errors in a row
  uint32_t pixelFormat_ = 0;
  BitmapInfoHeader format_;
  std::vector<Buffer> buffers_;
};

}  // namespace platform
