// A 1920x1080 Motion-JPEG camera's cost: the frame pipeline with its own
// image passed through (checked, tables added) against decoded and encoded
// again, and the preview's scaled decode against a full one; each pair
// interleaved in one run.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "capture/jpeg_encoder.h"
#include "capture/jpeg_passthrough.h"
#include "platform/decompressor.h"
#include "platform/installed_drivers.h"
#include "platform/test_pattern.h"
#include "platform/v4l2_driver.h"
#include "tests/support/fake_v4l2.h"
#include "tests/support/pictures.h"

namespace {

// A frame of the test pattern as a Motion-JPEG camera sends it: 1920x1080,
// or else 1280x720.
std::vector<uint8_t> CameraFrame(int width) {
  platform::TestPatternDriver pattern;
  const int size = width == 1920 ? 3 : 2;
  pattern.Apply(platform::DialogKind::Format, {size, 2});
  pattern.StartStreaming();
  std::vector<uint8_t> frame;
  pattern.NextFrame(frame, 1000);
  return frame;
}

FakeV4l2* camera = nullptr;
std::vector<std::unique_ptr<platform::CaptureDriver>> FakeCamera() {
  return platform::ListV4l2Drivers(*camera);
}

// The whole capture side, preview off: a 1920x1080 Motion-JPEG camera (the
// fake V4L2 device sending one camera-like JPEG file) at 30 frames a
// second, its frames passed through into the store. CPU in % of one core.
double GrabCpuPercent() {
  FakeV4l2 fake;
  camera = &fake;
  platform::SetDriverListSource(FakeCamera);
  capture::CaptureDevice device;
  Require(device.Create(0, 35) == capture::DeviceResult::kOk, "the camera");
  device.Window()->SetDialogPresenter([](platform::DriverDialog& dialog) {
    dialog.settings.at(1).current = 1;  // Motion-JPEG
    dialog.settings.at(2).current = 0;  // 30 fps
    return true;
  });
  Require(device.ShowFormatDialog() == capture::DeviceResult::kOk, "the camera format");
  fake.SendJpegFrames({CameraJpeg(1920, 1080)});
  Require(device.StartGrabbing() == capture::DeviceResult::kOk, "grabbing");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const uint64_t frames = device.frameStore.PublishedCount();
  const double cpu = ProcessCpuSeconds(), wall = WallSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const double percent = (ProcessCpuSeconds() - cpu) / (WallSeconds() - wall) * 100;
  std::printf("grabbed %llu frames in 5 s\n",
              static_cast<unsigned long long>(device.frameStore.PublishedCount() - frames));
  device.Destroy();
  platform::SetDriverListSource(nullptr);
  return percent;
}

}  // namespace

int main() {
  constexpr int kWidth = 1920, kHeight = 1080, kFrames = 20;
  const std::vector<uint8_t> frame = CameraFrame(kWidth);
  std::vector<uint8_t> check(static_cast<size_t>(kWidth) * kHeight * 4);
  std::printf("camera frame: %zu bytes, %d with its tables\n", frame.size(),
              capture::PassThroughJpeg(frame.data(), frame.size(), check.data(),
                                       static_cast<int32_t>(check.size())));
  std::vector<uint8_t> store(static_cast<size_t>(kWidth) * kHeight * 4);
  const int32_t capacity = static_cast<int32_t>(store.size());

  platform::BitmapInfoHeader format;
  format.biWidth = kWidth;
  format.biHeight = kHeight;
  format.biBitCount = 24;
  format.biCompression = platform::kFourccMjpeg;
  platform::BitmapInfoHeader output;
  output.biWidth = kWidth;
  output.biHeight = kHeight;
  output.biBitCount = 24;
  auto decompressor = platform::Decompressor::Locate(platform::ICTYPE_VIDEO, format, output,
                                                     platform::ICMODE_FASTDECOMPRESS);
  capture::CaptureError error;
  capture::JpegEncoder encoder(error);

  auto passThrough = [&] {
    capture::PassThroughJpeg(frame.data(), frame.size(), store.data(), capacity);
  };
  auto reencode = [&] {
    platform::PackedBitmap bitmap =
        decompressor->Decompress(format, frame.data(), static_cast<uint32_t>(frame.size()), output);
    const auto* header = reinterpret_cast<const platform::BitmapInfoHeader*>(bitmap.get());
    encoder.Encode(*header, bitmap.get() + header->biSize, store.data(), capacity, 35);
  };
  auto cpuPerFrame = [](auto& step, int frames) {
    double start = ProcessCpuSeconds();
    for (int i = 0; i < frames; ++i) step();
    return (ProcessCpuSeconds() - start) / frames;
  };
  std::vector<double> a, b;
  for (int round = 0; round < 9; ++round) {
    a.push_back(cpuPerFrame(passThrough, kFrames * 10));
    b.push_back(cpuPerFrame(reencode, kFrames));
  }
  const double passed = Percentile(a, 50), encoded = Percentile(b, 50);
  Figure("pipeline_cpu_ratio_passthrough_vs_reencode_1080p", passed / encoded, "ratio");
  Figure("pipeline_ms_passthrough_1080p", passed * 1000, "ms");
  Figure("pipeline_ms_reencode_1080p", encoded * 1000, "ms");

  // The preview of a 1080p camera in a 960x540 picture on screen: decoded
  // at half scale, against the full decode it did before.
  auto scaled = [&] {
    platform::DecompressMjpegFor(frame.data(), static_cast<uint32_t>(frame.size()), 960, 540);
  };
  auto full = [&] {
    decompressor->Decompress(format, frame.data(), static_cast<uint32_t>(frame.size()), output);
  };
  std::vector<double> c, d;
  for (int round = 0; round < 9; ++round) {
    c.push_back(cpuPerFrame(scaled, kFrames));
    d.push_back(cpuPerFrame(full, kFrames));
  }
  Figure("preview_cpu_ratio_scaled_vs_full_1080p", Percentile(c, 50) / Percentile(d, 50), "ratio");
  Figure("grab_cpu_percent_1080p_30fps_passthrough", GrabCpuPercent(), "%");
}
