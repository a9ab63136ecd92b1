// JPEG encoding figures: our Encode against TurboJPEG's tjCompress2 with the
// same picture, sampling and quality, interleaved in one run.
#include <turbojpeg.h>

#include <vector>

#include "bench/bench_support.h"
#include "capture/jpeg_encoder.h"
#include "tests/support/pictures.h"

namespace {

constexpr int kQuality = 35;

struct Timing {
  double ours, turbo;  // seconds per frame, medians of the rounds
};

Timing Compare(int width, int height) {
  Picture picture = NoisyGradient(width, height);
  std::vector<uint8_t> output(static_cast<size_t>(width) * height * 4);
  capture::CaptureError lastError;
  capture::JpegEncoder encoder(lastError);
  tjhandle turbo = tjInitCompress();
  const int stride = platform::BitmapStride(width, 24);

  auto ours = [&] {
    encoder.Encode(picture.header, picture.rows.data(), output.data(),
                   static_cast<int32_t>(output.size()), kQuality);
  };
  auto theirs = [&] {
    unsigned char* out = output.data();
    unsigned long size = output.size();
    tjCompress2(turbo, picture.rows.data(), width, stride, height, TJPF_BGR, &out, &size,
                TJSAMP_420, kQuality, TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC);
  };
  auto perFrame = [](auto& encode, int frames) {
    double start = WallSeconds();
    for (int i = 0; i < frames; ++i) encode();
    return (WallSeconds() - start) / frames;
  };
  const int frames = width * height > 500000 ? 10 : 30;
  ours();
  theirs();
  std::vector<double> a, b;
  for (int round = 0; round < 15; ++round) {
    a.push_back(perFrame(ours, frames));
    b.push_back(perFrame(theirs, frames));
  }
  tjDestroy(turbo);
  return {Percentile(a, 50), Percentile(b, 50)};
}

}  // namespace

int main() {
  Timing vga = Compare(640, 480);
  Figure("encode_time_ratio_vs_turbojpeg_640x480", vga.ours / vga.turbo, "ratio");
  Figure("encode_ms_640x480", vga.ours * 1000, "ms");
  Figure("turbojpeg_ms_640x480", vga.turbo * 1000, "ms");
  Timing hd = Compare(1280, 720);
  Figure("encode_time_ratio_vs_turbojpeg_1280x720", hd.ours / hd.turbo, "ratio");
  Figure("encode_fps_640x480", 1.0 / vga.ours, "fps");
}
