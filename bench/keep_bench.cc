// What keeping the pictures costs: the recorder's CPU for 1080p pictures
// passed through at 30 a second, against the same 30 pictures a second
// published with nothing kept, measured in the same run.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/frame_store.h"
#include "keep/keeper.h"
#include "tests/support/frame_publish.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/pictures.h"

namespace {

using namespace std::chrono;

constexpr double kSeconds = 6;

// Publishes `picture` 30 times a second for kSeconds; the process's CPU
// seconds meanwhile.
double PublishAt30(capture::FrameStore& store, std::string picture) {
  const DecodedJpeg decoded = DecodeJpeg(picture);
  const capture::PictureShape shape{decoded.width, decoded.height, true};
  const double cpu = ProcessCpuSeconds();
  auto next = steady_clock::now();
  for (int i = 0; i < kSeconds * 30; ++i) {
    picture[picture.size() / 2] = static_cast<char>(i);  // each picture differs
    Publish(store, picture, shape);
    next += microseconds(33333);
    std::this_thread::sleep_until(next);
  }
  return ProcessCpuSeconds() - cpu;
}

}  // namespace

int main() {
  const std::string picture = CameraJpeg(1920, 1080);
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("owlglance-keep-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  capture::FrameStore store;
  store.Reallocate(1920 * 1080 * 4);

  const double plain = PublishAt30(store, picture);
  double recording = 0;
  {
    keep::Keeper keeper(store);
    keep::KeepPlan plan;
    plan.record = true;
    plan.videoFolder = folder.string();
    keeper.Apply(plan);
    recording = PublishAt30(store, picture);
    Require(keeper.TakeStops().messages.empty(), "a recording that runs");
  }
  std::filesystem::remove_all(folder);
  Figure("record_picture_kb_1080p", static_cast<double>(picture.size()) / 1024, "KB");
  Figure("record_cpu_percent_1080p_30fps", (recording - plain) / kSeconds * 100, "% of a core");
  Figure("publish_cpu_percent_1080p_30fps", plain / kSeconds * 100, "% of a core");
}
