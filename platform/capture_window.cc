#include "platform/capture_window.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/frame_writer.h"
#include "platform/installed_drivers.h"
#include "platform/test_pattern.h"

namespace platform {

namespace {

constexpr int kFrameWaitMs = 100;      // how soon the capture thread sees a stop
constexpr int kAwayIntervalMs = 1000;  // the "no camera" picture and the look for the camera

}  // namespace

bool GetDriverDescription(int index, char* name, int nameSize, char* version, int versionSize) {
  auto drivers = InstalledDrivers();
  if (index < 0 || index >= static_cast<int>(drivers.size()) || nameSize < 1 || versionSize < 1)
    return false;
  std::snprintf(name, static_cast<size_t>(nameSize), "%s", drivers[index]->Name().c_str());
  std::snprintf(version, static_cast<size_t>(versionSize), "%s", drivers[index]->Version().c_str());
  return true;
}

std::unique_ptr<CaptureWindow> CaptureWindow::Create(const std::string&, int, int, int, int) {
  return std::unique_ptr<CaptureWindow>(new CaptureWindow());
}

CaptureWindow::~CaptureWindow() { Destroy(); }

void CaptureWindow::Destroy() {
  if (!alive_) return;
  Disconnect();
  alive_ = false;
}

intptr_t CaptureWindow::SendMessage(unsigned message, intptr_t wParam, intptr_t lParam) {
  if (!alive_) return 0;
  switch (message) {
    case WM_CAP_SET_CALLBACK_VIDEOSTREAM:
      callback_.store(reinterpret_cast<VideoStreamCallback>(lParam));
      return 1;
    case WM_CAP_DRIVER_CONNECT:
      return Connect(static_cast<int>(wParam));
    case WM_CAP_DRIVER_DISCONNECT:
      Disconnect();
      return 1;
    case WM_CAP_DLG_VIDEOFORMAT:
      return RunDialog(DialogKind::Format);
    case WM_CAP_DLG_VIDEOSOURCE:
      return RunDialog(DialogKind::Source);
    case WM_CAP_GET_VIDEOFORMAT: {
      if (!driver_) return 0;
      if (wParam == 0 || lParam == 0) return sizeof format_;
      size_t n = std::min(static_cast<size_t>(wParam), sizeof format_);
      std::memcpy(reinterpret_cast<void*>(lParam), &format_, n);
      return static_cast<intptr_t>(n);
    }
    case WM_CAP_SET_PREVIEW:
      if (!driver_) return 0;
      previewing_ = wParam != 0;
      UpdatePump();
      return 1;
    case WM_CAP_SET_PREVIEWRATE:
      previewRateMs_ = static_cast<int>(wParam);
      return 1;
    case WM_CAP_GET_STATUS: {
      if (!driver_ || static_cast<size_t>(wParam) < sizeof(CapStatus) || !lParam) return 0;
      auto* status = reinterpret_cast<CapStatus*>(lParam);
      status->uiImageWidth = static_cast<uint32_t>(format_.biWidth);
      status->uiImageHeight = static_cast<uint32_t>(std::abs(format_.biHeight));
      return 1;
    }
    case WM_CAP_GET_SEQUENCE_SETUP:
      if (static_cast<size_t>(wParam) < sizeof(CaptureParms) || !lParam) return 0;
      *reinterpret_cast<CaptureParms*>(lParam) = parms_;
      return 1;
    case WM_CAP_SET_SEQUENCE_SETUP:
      if (static_cast<size_t>(wParam) < sizeof(CaptureParms) || !lParam) return 0;
      parms_ = *reinterpret_cast<const CaptureParms*>(lParam);
      return 1;
    case WM_CAP_SEQUENCE_NOFILE:
      if (!driver_) return 0;
      grabbing_ = true;
      UpdatePump();
      if (pump_.joinable()) return 1;
      grabbing_ = false;  // the driver would not stream
      return 0;
    case WM_CAP_ABORT: {
      grabbing_ = false;
      UpdatePump();
      // A frame already handed to the callback is finished before the abort
      // returns: the caller may free what the callback uses right after.
      MutexLock wait(callbackLock_);
      return 1;
    }
    default:
      return 0;
  }
}

bool CaptureWindow::Connect(int index) {
  Disconnect();
  auto drivers = InstalledDrivers();
  if (index < 0 || index >= static_cast<int>(drivers.size()) || !drivers[index]->Open())
    return false;
  driver_ = std::move(drivers[index]);
  format_ = driver_->Format();
  formatText_ = driver_->FormatText();
  return true;
}

void CaptureWindow::Disconnect() {
  StopPump();
  previewing_ = grabbing_ = false;
  if (driver_) driver_->Close();
  driver_.reset();
  formatText_.clear();
}

bool CaptureWindow::RunDialog(DialogKind kind) {
  if (!driver_) return false;
  // The capture thread stops first, cancelled or not: the driver is the
  // capture thread's while it runs, and the format is read again afterwards.
  StopPump();
  DriverDialog dialog = driver_->Dialog(kind);
  if (presenter_ && presenter_(dialog)) {
    std::vector<int> choices;
    for (const auto& setting : dialog.settings) choices.push_back(setting.current);
    driver_->Apply(kind, choices);
    format_ = driver_->Format();
    formatText_ = driver_->FormatText();
  }
  UpdatePump();
  return true;
}

std::vector<CameraControl> CaptureWindow::Controls() {
  return driver_ ? driver_->Controls() : std::vector<CameraControl>{};
}

bool CaptureWindow::SetControl(uint32_t id, int32_t value) {
  return driver_ && driver_->SetControl(id, value);
}

std::string CaptureWindow::StableName() const { return driver_ ? driver_->StableName() : ""; }

bool CaptureWindow::SetFormatText(const std::string& text) {
  if (!driver_) return false;
  StopPump();  // the driver is the capture thread's while it runs
  const bool taken = driver_->SetFormatText(text);
  format_ = driver_->Format();
  formatText_ = driver_->FormatText();
  UpdatePump();
  return taken;
}

void CaptureWindow::StopPump() {
  if (!pump_.joinable()) return;
  pumpStop_ = true;
  pump_.join();
  driver_->StopStreaming();
}

void CaptureWindow::UpdatePump() {
  pumpGrab_ = grabbing_;
  pumpPreview_ = previewing_;
  bool wanted = driver_ && (previewing_ || grabbing_);
  if (wanted == pump_.joinable()) return;
  if (!wanted) return StopPump();
  // A camera that went away while nothing captured is looked for from
  // here on, with the "no camera" picture meanwhile, as if it had gone
  // while capturing.
  const bool away = !driver_->StartStreaming();
  if (away && !driver_->CanReturn()) return;
  pumpStop_ = false;
  pump_ = std::thread(&CaptureWindow::Pump, this, away);
}

// The capture thread: one frame at a time, to the callback while grabbing
// and into the preview picture at the preview rate.
void CaptureWindow::Pump(bool away) {
  const BitmapInfoHeader format = format_;
  std::vector<uint8_t> frame;
  frame.reserve(format.biSizeImage);
  lastPreview_ = {};
  if (away && !AwaitReturn(format)) return;
  while (!pumpStop_) {
    FrameResult result = driver_->NextFrame(frame, kFrameWaitMs);
    if (result == FrameResult::Gone) {
      // A camera that may come back is papered over, as a driver would.
      if (!driver_->CanReturn() || !AwaitReturn(format)) return;
      continue;
    }
    if (result == FrameResult::Timeout) continue;
    Deliver(frame, format);
  }
}

// While the camera is away: the "no camera" picture at least once a second,
// through the same road as a camera's frames, and a look for the camera
// every second. True once it is back; false when the pump is stopped.
bool CaptureWindow::AwaitReturn(const BitmapInfoHeader& format) {
  char since[16];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::strftime(since, sizeof since, "%H:%M:%S", &local);
  std::vector<uint8_t> bgr, frame;
  DrawNoCamera(format.biWidth, std::abs(format.biHeight), since, bgr);
  const bool written = WriteCaptureFrame(format, bgr, frame);
  cameraAway_ = true;
  while (!pumpStop_) {
    if (written) Deliver(frame, format);
    for (int waited = 0; waited < kAwayIntervalMs && !pumpStop_; waited += kFrameWaitMs)
      std::this_thread::sleep_for(std::chrono::milliseconds(kFrameWaitMs));
    if (!pumpStop_ && driver_->Reconnect()) {
      cameraAway_ = false;
      return true;
    }
  }
  return false;
}

void CaptureWindow::Deliver(std::vector<uint8_t>& frame, const BitmapInfoHeader& format) {
  if (pumpGrab_) {
    MutexLock running(callbackLock_);
    if (VideoStreamCallback callback = callback_.load(); callback && pumpGrab_) {
      VideoHdr header{frame.data(), static_cast<uint32_t>(frame.size()),
                      static_cast<uint32_t>(frame.size())};
      callback(this, &header);
    }
  }
  auto now = std::chrono::steady_clock::now();
  if (pumpPreview_ && now - lastPreview_ >= std::chrono::milliseconds(previewRateMs_.load())) {
    lastPreview_ = now;
    KeepPreview(frame, format);
  }
}

void CaptureWindow::KeepPreview(const std::vector<uint8_t>& frame, const BitmapInfoHeader& format) {
  BitmapInfoHeader out;
  out.biWidth = format.biWidth;
  out.biHeight = format.biHeight;
  out.biBitCount = 24;
  PackedBitmap converted;
  const uint8_t* rows = frame.data();
  const int width = previewWidth_.load(), height = previewHeight_.load();
  if (format.biCompression == kFourccMjpeg && width > 0 && height > 0 &&
      JpegScaleFor(format.biWidth, std::abs(format.biHeight), width, height) > 1) {
    converted =
        DecompressMjpegFor(frame.data(), static_cast<uint32_t>(frame.size()), width, height);
    if (!converted) return;
    std::memcpy(&out, converted.get(), sizeof out);
    rows = converted.get() + out.biSize;
  } else if (auto decompressor =
                 Decompressor::Locate(ICTYPE_VIDEO, format, out, ICMODE_FASTDECOMPRESS)) {
    converted =
        decompressor->Decompress(format, frame.data(), static_cast<uint32_t>(frame.size()), out);
    if (!converted) return;
    rows = converted.get() + out.biSize;
  } else if (format.biCompression != kBiRgb || format.biBitCount != 24) {
    return;
  }
  size_t bytes = static_cast<size_t>(BitmapStride(out.biWidth, 24)) * std::abs(out.biHeight);
  if (!converted && frame.size() < bytes) return;
  MutexLock lock(previewLock_);
  previewHeader_ = out;
  previewRows_.assign(rows, rows + bytes);
  previewFrames_.fetch_add(1);
}

bool CaptureWindow::PreviewPicture(BitmapInfoHeader& header, std::vector<uint8_t>& rows) const {
  MutexLock lock(previewLock_);
  if (previewRows_.empty()) return false;
  header = previewHeader_;
  rows = previewRows_;
  return true;
}

}  // namespace platform
