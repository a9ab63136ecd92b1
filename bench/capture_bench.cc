// Capture figures: the frame pipeline against the encoder alone, and the CPU
// that grabbing the test pattern costs.
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "platform/test_pattern.h"

namespace {

constexpr int kQuality = 75;

void PipelineAgainstEncode() {
  capture::CaptureDevice device;
  Require(device.Create(0, kQuality) == capture::DeviceResult::kOk,
          "the camera");  // the test pattern: YUYV 640 x 480
  platform::TestPatternDriver pattern;
  pattern.StartStreaming();
  std::vector<uint8_t> frame;
  pattern.NextFrame(frame, 1000);
  platform::VideoHdr header{frame.data(), static_cast<uint32_t>(frame.size()),
                            static_cast<uint32_t>(frame.size())};

  // The same picture as the pipeline's encoder gets it.
  platform::BitmapInfoHeader format = pattern.Format(), out;
  out.biWidth = format.biWidth;
  out.biHeight = format.biHeight;
  out.biBitCount = 24;
  auto decompressor = platform::Decompressor::Locate(platform::ICTYPE_VIDEO, format, out,
                                                     platform::ICMODE_FASTDECOMPRESS);
  platform::PackedBitmap picture =
      decompressor->Decompress(format, frame.data(), static_cast<uint32_t>(frame.size()), out);
  std::vector<uint8_t> output(640 * 480 * 4);
  capture::CaptureError lastError;
  capture::JpegEncoder encoder(lastError);

  auto pipeline = [&] { capture::CaptureDevice::OnVideoFrame(device.Window(), &header); };
  auto encode = [&] {
    encoder.Encode(out, picture.get() + out.biSize, output.data(),
                   static_cast<int32_t>(output.size()), kQuality);
  };
  auto perFrame = [](auto& step) {
    double start = WallSeconds();
    for (int i = 0; i < 30; ++i) step();
    return (WallSeconds() - start) / 30;
  };
  std::vector<double> a, b;
  for (int round = 0; round < 15; ++round) {
    a.push_back(perFrame(pipeline));
    b.push_back(perFrame(encode));
  }
  double ratio = Percentile(a, 50) / Percentile(b, 50);
  Figure("pipeline_time_ratio_vs_encode_640x480", ratio, "ratio");
  Figure("pipeline_ms_640x480", Percentile(a, 50) * 1000, "ms");
  Figure("encode_only_ms_640x480", Percentile(b, 50) * 1000, "ms");
}

void GrabCpu() {
  capture::CaptureDevice device;
  Require(device.Create(0, kQuality) == capture::DeviceResult::kOk, "the camera");
  Require(device.StartGrabbing() == capture::DeviceResult::kOk, "grabbing");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  double cpu = ProcessCpuSeconds(), wall = WallSeconds();
  uint64_t frames = device.frameStore.PublishedCount();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  double seconds = WallSeconds() - wall;
  Figure("grab_cpu_percent_640x480_30fps", (ProcessCpuSeconds() - cpu) / seconds * 100, "%");
  Figure("grab_fps_640x480",
         static_cast<double>(device.frameStore.PublishedCount() - frames) / seconds, "fps");
  device.Destroy();
}

}  // namespace

int main() {
  PipelineAgainstEncode();
  GrabCpu();
}
