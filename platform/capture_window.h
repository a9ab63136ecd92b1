// Stands in for the Video for Windows capture window and its messages.
// Promises the messages the capture device sends, answered as the platform
// answers them, with frames delivered one at a time on a capture thread of
// the window while grabbing, and the latest preview picture kept for a view.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture_driver.h"
#include "platform/decompressor.h"
#include "platform/thread_annotations.h"

namespace platform {

constexpr unsigned WM_USER = 0x400;
constexpr unsigned WM_CAP_SET_CALLBACK_VIDEOSTREAM = WM_USER + 6;
constexpr unsigned WM_CAP_DRIVER_CONNECT = WM_USER + 10;
constexpr unsigned WM_CAP_DRIVER_DISCONNECT = WM_USER + 11;
constexpr unsigned WM_CAP_DLG_VIDEOFORMAT = WM_USER + 41;
constexpr unsigned WM_CAP_DLG_VIDEOSOURCE = WM_USER + 42;
constexpr unsigned WM_CAP_GET_VIDEOFORMAT = WM_USER + 44;
constexpr unsigned WM_CAP_SET_PREVIEW = WM_USER + 50;
constexpr unsigned WM_CAP_SET_PREVIEWRATE = WM_USER + 52;
constexpr unsigned WM_CAP_GET_STATUS = WM_USER + 54;
constexpr unsigned WM_CAP_SEQUENCE_NOFILE = WM_USER + 63;
constexpr unsigned WM_CAP_SET_SEQUENCE_SETUP = WM_USER + 64;
constexpr unsigned WM_CAP_GET_SEQUENCE_SETUP = WM_USER + 65;
constexpr unsigned WM_CAP_ABORT = WM_USER + 69;

// How often the preview shows a new picture: about 30 a second.
constexpr int kPreviewRateMs = 33;

constexpr int kVkEscape = 27;

struct CapStatus {  // the fields the device reads
  uint32_t uiImageWidth = 0;
  uint32_t uiImageHeight = 0;
};

struct CaptureParms {  // the fields the device changes
  int32_t fYield = 0;
  int32_t wNumVideoRequested = 2;
  int32_t vKeyAbort = kVkEscape;
  int32_t fAbortLeftMouse = 1;
  int32_t fAbortRightMouse = 1;
};

struct VideoHdr {
  uint8_t* lpData = nullptr;
  uint32_t dwBufferLength = 0;
  uint32_t dwBytesUsed = 0;
};

class CaptureWindow;
using VideoStreamCallback = int (*)(CaptureWindow* window, VideoHdr* header);

// Runs a driver's format or source dialog; the GUI installs one that draws
// it. Returns the chosen indexes, or nothing when the user cancels.
using DialogPresenter = std::function<bool(DriverDialog& dialog)>;

// Messages come from the user-interface thread; frames go to the callback
// on the window's capture thread. The preview picture is read by the view.
class CaptureWindow {
 public:
  // capCreateCaptureWindowA. The window lives until it is destroyed.
  static std::unique_ptr<CaptureWindow> Create(const std::string& name, int x, int y, int width,
                                               int height);
  ~CaptureWindow();

  intptr_t SendMessage(unsigned message, intptr_t wParam, intptr_t lParam);
  bool IsWindow() const { return alive_; }
  void Destroy();

  void SetUserData(void* data) { userData_.store(data); }
  void* GetUserData() const { return userData_.load(); }
  void SetDialogPresenter(DialogPresenter presenter) { presenter_ = std::move(presenter); }

  // The latest preview picture as 24-bit bottom-up rows; false when none.
  bool PreviewPicture(BitmapInfoHeader& header, std::vector<uint8_t>& rows) const;
  // The preview picture's size on screen, when it is drawn smaller than the
  // video: Motion-JPEG previews are then decoded at a scale that covers it.
  void SetPreviewSize(int width, int height) {
    previewWidth_.store(width);
    previewHeight_.store(height);
  }
  // Preview pictures kept so far.
  uint64_t PreviewFrames() const { return previewFrames_.load(); }
  // The connected camera's controls, read and set while frames flow;
  // empty or false without one.
  std::vector<CameraControl> Controls();
  bool SetControl(uint32_t id, int32_t value);
  // What finds the camera again, and its format as a line to keep; empty
  // without one.
  std::string StableName() const;
  std::string FormatText() const { return formatText_; }
  // Takes a kept format; frames pause for it. False when the camera can't.
  bool SetFormatText(const std::string& text);

  // True while the camera is away and the "no camera" picture stands in.
  // Any thread.
  bool CameraAway() const { return cameraAway_.load(); }

 private:
  CaptureWindow() = default;
  bool Connect(int index);
  void Disconnect();
  bool RunDialog(DialogKind kind);
  void UpdatePump();  // starts or stops the capture thread as needed
  void StopPump();
  void Pump(bool away);  // away: the camera has to be found again first
  bool AwaitReturn(const BitmapInfoHeader& format);
  void Deliver(std::vector<uint8_t>& frame, const BitmapInfoHeader& format);
  void KeepPreview(const std::vector<uint8_t>& frame, const BitmapInfoHeader& format);

  bool alive_ = true;
  std::atomic<void*> userData_{nullptr};
  DialogPresenter presenter_;
  std::unique_ptr<CaptureDriver> driver_;
  BitmapInfoHeader format_;
  std::string formatText_;  // the driver's, read while the capture thread is stopped
  CaptureParms parms_;
  std::atomic<int> previewRateMs_{66};
  std::atomic<int> previewWidth_{0}, previewHeight_{0};  // 0: the video's own size
  bool previewing_ = false;
  bool grabbing_ = false;
  std::atomic<VideoStreamCallback> callback_{nullptr};
  // Held by the capture thread while the callback runs, so that an abort can
  // wait for a running callback; it guards no field.
  Mutex callbackLock_;

  // The capture thread, running while previewing or grabbing.
  std::thread pump_;
  std::atomic<bool> pumpStop_{false};
  std::atomic<bool> pumpGrab_{false};
  std::atomic<bool> pumpPreview_{false};
  std::atomic<bool> cameraAway_{false};
  std::chrono::steady_clock::time_point lastPreview_;  // the capture thread's

  mutable Mutex previewLock_;
  BitmapInfoHeader previewHeader_ OWL_GUARDED_BY(previewLock_);
  std::vector<uint8_t> previewRows_ OWL_GUARDED_BY(previewLock_);
  std::atomic<uint64_t> previewFrames_{0};
};

// capGetDriverDescriptionA: the name and version of driver `index` (0 to 9).
bool GetDriverDescription(int index, char* name, int nameSize, char* version, int versionSize);

}  // namespace platform
