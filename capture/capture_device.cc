#include "capture/capture_device.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "capture/jpeg_passthrough.h"

namespace capture {

using namespace platform;

DeviceResult CaptureDevice::Create(int driverIndex, int32_t quality) {
  captureWindow_ = CaptureWindow::Create("Capture Window", 0, 0, 640, 480);
  if (!captureWindow_) return DeviceResult::kFailed;
  // Without its driver the device still exists: lastError says why, and
  // each operation that needs one refuses.
  static_cast<void>(Connect(driverIndex));
  jpegQuality = quality;
  captureWindow_->SetUserData(this);
  return DeviceResult::kOk;
}

intptr_t CaptureDevice::Send(unsigned message, intptr_t wParam, intptr_t lParam) {
  if (!captureWindow_ || !captureWindow_->IsWindow()) return 0;
  return captureWindow_->SendMessage(message, wParam, lParam);
}

DeviceResult CaptureDevice::Connect(int driverIndex) {
  const bool grabbing = grabbing_;
  if (grabbing) StopGrabbing();
  const DeviceResult result = ConnectDriver(driverIndex);
  if (result == DeviceResult::kOk) RecallChoices();
  if (grabbing && connected_) static_cast<void>(StartGrabbing());
  return result;
}

DeviceResult CaptureDevice::ConnectDriver(int driverIndex) {
  if (connected_) Send(WM_CAP_DRIVER_DISCONNECT);
  connected_ = false;
  if (Send(WM_CAP_DRIVER_CONNECT, driverIndex) != 0) {
    connected_ = true;
    driverIndex_ = driverIndex;
    ReadFormat();
    // The window's disconnect ended its preview: a device that previews
    // goes on previewing from the driver now connected.
    if (previewing_) {
      Send(WM_CAP_SET_PREVIEWRATE, platform::kPreviewRateMs);
      previewing_ = Send(WM_CAP_SET_PREVIEW, 1) != 0;
    }
    return DeviceResult::kOk;
  }
  lastError.Record(ErrConnectFailed);
  return DeviceResult::kConnectFailed;
}

void CaptureDevice::ReadFormat() {
  if (frameStore.HasBuffer()) ReleaseFormat();
  captureFormat_.assign(static_cast<size_t>(Send(WM_CAP_GET_VIDEOFORMAT)), 0);
  Send(WM_CAP_GET_VIDEOFORMAT, static_cast<intptr_t>(captureFormat_.size()),
       reinterpret_cast<intptr_t>(captureFormat_.data()));
  BitmapInfoHeader format;
  std::memcpy(&format, captureFormat_.data(), std::min(sizeof format, captureFormat_.size()));

  outputHeader_ = BitmapInfoHeader{};
  outputHeader_.biSize = 40;
  outputHeader_.biWidth = format.biWidth;
  outputHeader_.biHeight = format.biHeight;
  outputHeader_.biPlanes = 1;
  outputHeader_.biBitCount = 24;
  outputHeader_.biCompression = kBiRgb;
  outputHeader_.biXPelsPerMeter = 1280;
  outputHeader_.biYPelsPerMeter = 1280;

  decompressor_ = Decompressor::Locate(ICTYPE_VIDEO, format, outputHeader_, ICMODE_FASTDECOMPRESS);
  motionJpeg_ = format.biCompression == kFourccMjpeg;
  // A top-down format's negative height gives no buffer at all, and every
  // frame then fails to encode instead of overrunning.
  frameStore.Reallocate(format.biWidth * format.biHeight * 4);
}

DeviceResult CaptureDevice::ReleaseFormat() {
  frameStore.Release();
  captureFormat_.clear();
  motionJpeg_ = false;
  if (!decompressor_) return DeviceResult::kOk;
  int result = decompressor_->Close();
  decompressor_.reset();
  if (result != 0) {
    lastError.Record(ErrDecompressorClose, result);
    return DeviceResult::kFailed;
  }
  return DeviceResult::kOk;
}

std::string CaptureDevice::FormatName() const {
  BitmapInfoHeader format;
  if (captureFormat_.size() < sizeof format) return {};
  std::memcpy(&format, captureFormat_.data(), sizeof format);
  if (format.biCompression == kBiRgb) return "RGB";
  std::string name;
  for (int shift = 0; shift < 32; shift += 8)
    name += static_cast<char>(format.biCompression >> shift);
  return name;
}

// Records category 4 when no driver is connected.
bool CaptureDevice::RequireDriver() {
  if (!connected_) lastError.Record(ErrNotConnected);
  return connected_;
}

DeviceResult CaptureDevice::GetImageSize(int32_t& width, int32_t& height) {
  if (!captureWindow_) return DeviceResult::kOk;
  if (!RequireDriver()) return DeviceResult::kFailed;
  CapStatus status;
  Send(WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<intptr_t>(&status));
  width = static_cast<int32_t>(status.uiImageWidth);
  height = static_cast<int32_t>(status.uiImageHeight);
  return DeviceResult::kOk;
}

DeviceResult CaptureDevice::ShowDialog(unsigned message) {
  if (!RequireDriver()) return DeviceResult::kFailed;
  // The format changes only while grabbing is off; pictures kept meanwhile
  // (a recording, interval pictures) pause for the dialog.
  const bool grabbing = grabbing_;
  if (grabbing) StopGrabbing();
  Send(message);
  ReadFormat();
  if (grabbing) static_cast<void>(StartGrabbing());
  return DeviceResult::kOk;
}

DeviceResult CaptureDevice::ShowFormatDialog() {
  const std::string before = captureWindow_ ? captureWindow_->FormatText() : "";
  const DeviceResult result = ShowDialog(WM_CAP_DLG_VIDEOFORMAT);
  // Kept when it changed: a cancelled dialog writes nothing.
  if (result == DeviceResult::kOk && memory_ && captureWindow_->FormatText() != before) {
    const std::string camera = captureWindow_->StableName();
    CameraChoices choices = memory_->Recall(camera);
    choices.format = captureWindow_->FormatText();
    memory_->Keep(camera, choices);
  }
  return result;
}

namespace {

// The capture window's controls, as the Video Source dialog reads them.
class WindowControls : public ControlAccess {
 public:
  explicit WindowControls(CaptureWindow& window) : window_(window) {}
  std::vector<CameraControl> Controls() override { return window_.Controls(); }
  bool SetControl(uint32_t id, int32_t value) override { return window_.SetControl(id, value); }

 private:
  CaptureWindow& window_;
};

}  // namespace

DeviceResult CaptureDevice::ShowSourceDialog() {
  if (!RequireDriver()) return DeviceResult::kFailed;
  // Frames go on meanwhile: the preview shows each change.
  WindowControls camera(*captureWindow_);
  SourceControls controls(camera);
  if (!sourcePresenter_ || !sourcePresenter_(controls)) {
    controls.Cancel();
    return DeviceResult::kOk;
  }
  if (memory_) {
    const std::string name = captureWindow_->StableName();
    CameraChoices choices = memory_->Recall(name);
    if (controls.Forget()) choices.controls.clear();
    choices.controls = Merge(std::move(choices.controls), controls.Changed());
    memory_->Keep(name, choices);
  }
  return DeviceResult::kOk;
}

void CaptureDevice::RecallChoices() {
  if (!memory_ || !connected_) return;
  const CameraChoices choices = memory_->Recall(captureWindow_->StableName());
  if (!choices.format.empty() && captureWindow_->SetFormatText(choices.format)) ReadFormat();
  if (choices.controls.empty()) return;
  // Automatic modes first: the values they rule are taken only after.
  const std::vector<CameraControl> controls = captureWindow_->Controls();
  for (bool leads : {true, false})
    for (const auto& [id, value] : choices.controls) {
      const auto control = std::ranges::find(controls, id, &CameraControl::id);
      if (control != controls.end() && control->leads == leads)
        static_cast<void>(captureWindow_->SetControl(id, value));  // one refused is skipped
    }
}

DeviceResult CaptureDevice::StartPreview() {
  if (!RequireDriver()) return DeviceResult::kFailed;
  if (previewing_) {
    lastError.Record(ErrAlreadyPreviewing);
    return DeviceResult::kFailed;
  }
  Send(WM_CAP_SET_PREVIEWRATE, platform::kPreviewRateMs);
  if (Send(WM_CAP_SET_PREVIEW, 1) != 0) previewing_ = true;
  return DeviceResult::kOk;
}

void CaptureDevice::StopPreview() {
  if (connected_ && previewing_ && Send(WM_CAP_SET_PREVIEW, 0) != 0) previewing_ = false;
}

DeviceResult CaptureDevice::StartGrabbing() {
  if (!RequireDriver()) return DeviceResult::kFailed;
  if (grabbing_) {
    lastError.Record(ErrAlreadyGrabbing);
    return DeviceResult::kFailed;
  }
  CaptureParms parms;
  Send(WM_CAP_GET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<intptr_t>(&parms));
  parms.fYield = 1;
  parms.wNumVideoRequested = 1;
  parms.vKeyAbort = 0;
  parms.fAbortLeftMouse = 0;
  parms.fAbortRightMouse = 0;
  Send(WM_CAP_SET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<intptr_t>(&parms));
  Send(WM_CAP_SET_CALLBACK_VIDEOSTREAM, 0, reinterpret_cast<intptr_t>(&OnVideoFrame));
  if (Send(WM_CAP_SEQUENCE_NOFILE) == 0) {
    lastError.Record(ErrStartCaptureFailed);
    return DeviceResult::kStartCaptureFailed;
  }
  grabbing_ = true;
  return DeviceResult::kOk;
}

void CaptureDevice::StopGrabbing() {
  if (!connected_ || !grabbing_) return;
  Send(WM_CAP_ABORT);
  CaptureParms parms;
  Send(WM_CAP_GET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<intptr_t>(&parms));
  parms.fYield = 0;
  parms.vKeyAbort = kVkEscape;
  parms.fAbortLeftMouse = 1;
  parms.fAbortRightMouse = 1;
  Send(WM_CAP_SET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<intptr_t>(&parms));
  Send(WM_CAP_SET_CALLBACK_VIDEOSTREAM, 0, 0);
  grabbing_ = false;
}

DeviceResult CaptureDevice::HoldGrabbing() {
  if (!grabbing_) {
    const DeviceResult started = StartGrabbing();
    if (started != DeviceResult::kOk) return started;
  }
  ++grabHolders_;
  return DeviceResult::kOk;
}

void CaptureDevice::ReleaseGrabbing() {
  if (grabHolders_ > 0 && --grabHolders_ == 0) StopGrabbing();
}

void CaptureDevice::SetQuality(int32_t quality) {
  if (quality >= 0 && quality <= 100) jpegQuality = quality;
}

bool CaptureDevice::GetDriverDescription(int index, char* name, int nameSize, char* version,
                                         int versionSize) {
  return platform::GetDriverDescription(index, name, nameSize, version, versionSize);
}

void CaptureDevice::Destroy() {
  grabHolders_ = 0;
  if (grabbing_) StopGrabbing();
  if (previewing_) StopPreview();
  ReleaseFormat();
  if (connected_) Send(WM_CAP_DRIVER_DISCONNECT);
  connected_ = false;
}

int CaptureDevice::OnVideoFrame(CaptureWindow* window, VideoHdr* header) {
  auto* device = static_cast<CaptureDevice*>(window->GetUserData());
  uint8_t* frame = header->lpData;
  int32_t capacity = 0;
  uint8_t* buffer = device->frameStore.BeginFrame(capacity);

  if (device->passThrough_.load() && device->motionJpeg_) {
    int32_t length = PassThroughJpeg(frame, header->dwBytesUsed, buffer, capacity);
    if (length == kNotAWholeJpeg) device->lastError.Record(ErrDecompressFailed);
    if (length == kJpegTooLarge) device->lastError.Record(ErrJpegWrite, -1);
    BitmapInfoHeader format;
    std::memcpy(&format, device->captureFormat_.data(), sizeof format);
    device->frameStore.EndFrame(length, {format.biWidth, std::abs(format.biHeight), true});
    return 1;
  }

  const BitmapInfoHeader* bitmap = &device->outputHeader_;
  uint8_t* rows = frame;
  PackedBitmap decompressed;
  if (device->decompressor_) {
    BitmapInfoHeader format;
    std::memcpy(&format, device->captureFormat_.data(), sizeof format);
    decompressed = device->decompressor_->Decompress(format, frame, header->dwBytesUsed,
                                                     device->outputHeader_);
    if (!decompressed) {
      device->lastError.Record(ErrDecompressFailed);
      device->frameStore.EndFrame(0);
      return 1;
    }
    bitmap = reinterpret_cast<const BitmapInfoHeader*>(decompressed.get());
    rows = decompressed.get() + bitmap->biSize;
  }
  // Without a decompressor the frame is taken as 24-bit rows of the format's
  // size; one that is too short for that is not read past its end.
  int32_t result = -1;
  const size_t need =
      static_cast<size_t>(BitmapStride(bitmap->biWidth, 24)) * std::abs(bitmap->biHeight);
  if (decompressed || header->dwBytesUsed >= need) {
    result = device->encoder_.Encode(*bitmap, rows, buffer, capacity, device->jpegQuality.load());
  } else {
    device->lastError.Record(ErrJpegWrite, -1);
  }
  device->frameStore.EndFrame(result, {bitmap->biWidth, std::abs(bitmap->biHeight), false});
  return 1;
}

}  // namespace capture
