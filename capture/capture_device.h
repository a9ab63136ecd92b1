#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/camera_memory.h"
#include "capture/camera_status.h"
#include "capture/capture_error.h"
#include "capture/frame_store.h"
#include "capture/jpeg_encoder.h"
#include "capture/source_controls.h"
#include "platform/bitmap.h"
#include "platform/capture_window.h"
#include "platform/decompressor.h"

namespace capture {

// The device's results; each failure also lands in lastError.
enum class DeviceResult {
  kOk,
  kFailed,              // no driver, or already previewing or grabbing
  kStartCaptureFailed,  // the window would not start grabbing
  kConnectFailed,       // the driver would not connect
};

// The system's one camera, wrapping a capture window. Its operations run on
// the user-interface thread; OnVideoFrame runs on the window's capture thread
// and reads the format fields, which change only while grabbing is off.
class CaptureDevice : public CameraStatus {
 public:
  CaptureDevice() = default;
  ~CaptureDevice() override { Destroy(); }
  CaptureDevice(const CaptureDevice&) = delete;
  CaptureDevice& operator=(const CaptureDevice&) = delete;

  [[nodiscard]] DeviceResult Create(int driverIndex, int32_t quality);
  [[nodiscard]] DeviceResult Connect(int driverIndex);
  [[nodiscard]] DeviceResult GetImageSize(int32_t& width, int32_t& height);
  [[nodiscard]] DeviceResult ShowFormatDialog();
  // The camera's controls, in the dialog the source presenter shows; the
  // values set are kept for this camera on OK and put back on Cancel.
  [[nodiscard]] DeviceResult ShowSourceDialog();
  using SourcePresenter = std::function<bool(SourceControls& controls)>;  // true for OK
  void SetSourcePresenter(SourcePresenter presenter) { sourcePresenter_ = std::move(presenter); }
  // Where each camera's format and control values are kept; they are put
  // back each time a camera is connected (at Create, Connect). Set before
  // Create; none keeps nothing.
  void SetCameraMemory(CameraMemory* memory) { memory_ = memory; }
  [[nodiscard]] DeviceResult StartPreview();
  void StopPreview();
  bool IsPreviewing() const { return previewing_; }
  [[nodiscard]] DeviceResult StartGrabbing();
  void StopGrabbing();
  bool IsGrabbing() const { return grabbing_; }
  // Grabbing for whoever needs the pictures (the server, interval pictures,
  // a recording): started for the first holder, stopped after the last.
  [[nodiscard]] DeviceResult HoldGrabbing();
  void ReleaseGrabbing();
  void SetQuality(int32_t quality);
  // On: a Motion-JPEG camera's frames are checked and stored as they came
  // (the quality then does not apply); off: decoded and encoded again.
  // Takes effect with the next frame.
  void SetPassThrough(bool on) { passThrough_.store(on); }
  bool PassThrough() const { return passThrough_.load(); }
  // Whether the camera's own JPEG pictures go out: passthrough is on and
  // the camera sends Motion-JPEG. Any thread.
  bool SendsCameraJpeg() const override { return passThrough_.load() && motionJpeg_.load(); }
  int32_t Quality() const { return jpegQuality.load(); }
  static bool GetDriverDescription(int index, char* name, int nameSize, char* version,
                                   int versionSize);
  void Destroy();

  // The frame pipeline: the video-stream callback of the capture window.
  static int OnVideoFrame(platform::CaptureWindow* window, platform::VideoHdr* header);

  platform::CaptureWindow* Window() const { return captureWindow_.get(); }
  bool IsConnected() const { return connected_.load(); }
  // A camera is connected and sending (not unplugged): any thread, while
  // the server runs (the driver can't change then).
  bool Online() const override {
    return connected_.load() && !(captureWindow_ && captureWindow_->CameraAway());
  }
  // The connected driver's index, and its capture format's four-character
  // code ("YUY2", "MJPG"; "RGB" for plain bitmaps); -1 and "" without one.
  int DriverIndex() const { return connected_ ? driverIndex_ : -1; }
  std::string FormatName() const;

  CaptureError lastError;
  FrameStore frameStore;
  std::atomic<int32_t> jpegQuality{75};

 private:
  bool RequireDriver();
  DeviceResult ConnectDriver(int driverIndex);
  // Puts back what was kept of the camera now connected.
  void RecallChoices();
  void ReadFormat();
  DeviceResult ReleaseFormat();
  intptr_t Send(unsigned message, intptr_t wParam = 0, intptr_t lParam = 0);
  DeviceResult ShowDialog(unsigned message);

  platform::BitmapInfoHeader outputHeader_;
  std::vector<uint8_t> captureFormat_;  // the record as the window reports it
  std::atomic<bool> connected_{false};  // read by the server's threads for /state
  int driverIndex_ = -1;
  bool previewing_ = false;
  bool grabbing_ = false;
  int grabHolders_ = 0;
  std::unique_ptr<platform::Decompressor> decompressor_;
  // The capture format is Motion-JPEG; set with the decompressor.
  std::atomic<bool> motionJpeg_{false};
  std::unique_ptr<platform::CaptureWindow> captureWindow_;
  JpegEncoder encoder_{lastError};
  std::atomic<bool> passThrough_{true};
  CameraMemory* memory_ = nullptr;
  SourcePresenter sourcePresenter_;
};

}  // namespace capture
