// Figures for the recipes of deploy/: the time nginx adds between a new
// image and the first byte of its part at a viewer, and the time from a
// change of the picture to its first decoded appearance in the HLS output
// read through nginx. Owlglance runs in this process with a picture it
// controls; tests/deploy/deploy_env.sh puts nginx and FFmpeg in front.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "capture/jpeg_encoder.h"
#include "server/listen_thread.h"
#include "tests/support/frame_publish.h"
#include "tests/support/pictures.h"
#include "tests/support/test_client.h"

extern char** environ;

namespace {

using namespace std::chrono;
using Clock = steady_clock;

constexpr int kWidth = 320, kHeight = 240;

struct Rgb {
  int r, g, b;
};
constexpr std::array<Rgb, 4> kColours = {
    {{128, 128, 128}, {220, 30, 30}, {30, 200, 30}, {30, 30, 220}}};

std::string SolidJpeg(Rgb colour) {
  Picture picture = MakePicture(kWidth, kHeight, 24);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* pixel = picture.Row(y) + 3 * x;  // blue, green, red
      pixel[0] = static_cast<uint8_t>(colour.b);
      pixel[1] = static_cast<uint8_t>(colour.g);
      pixel[2] = static_cast<uint8_t>(colour.r);
    }
  capture::CaptureError error;
  capture::JpegEncoder encoder(error);
  std::string jpeg(1 << 20, '\0');
  int32_t length =
      encoder.Encode(picture.header, picture.rows.data(), reinterpret_cast<uint8_t*>(jpeg.data()),
                     static_cast<int32_t>(jpeg.size()), 90);
  jpeg.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return jpeg;
}

// Owlglance's server on a free port, fed 25 images a second of the colour
// `colour` names; remembers when each image was published.
class Camera {
 public:
  Camera() {
    for (Rgb c : kColours) images_.push_back(SolidJpeg(c));
    device_.frameStore.Reallocate(1 << 20);
    control_.port = FreePort();
    control_.clientLimit = 50;
    control_.cameras = {{device_.frameStore, device_}};
    control_.SetStreamUrl("/video");
    listener_ = std::make_unique<server::ListenThread>(control_);
    Require(listener_->Thread().Create(), "the listener thread");
    listener_->Thread().Resume();
    publisher_ = std::thread([this] { Run(); });
  }
  ~Camera() {
    stop_ = true;
    publisher_.join();
    control_.RequestStop();
    device_.frameStore.WakeReaders();
    while (!listener_->Thread().WaitForEnd(200)) {
    }
  }
  int Port() const { return control_.port; }
  std::atomic<int> colour{0};
  // When the newest image before `t` was published.
  Clock::time_point LastPublishBefore(Clock::time_point t) {
    std::lock_guard lock(mutex_);
    for (auto it = published_.rbegin(); it != published_.rend(); ++it)
      if (*it <= t) return *it;
    return t;
  }

 private:
  void Run() {
    auto next = Clock::now();
    while (!stop_) {
      Publish(device_.frameStore, images_[static_cast<size_t>(colour.load())]);
      {
        std::lock_guard lock(mutex_);
        published_.push_back(Clock::now());
        if (published_.size() > 64) published_.erase(published_.begin());
      }
      next += milliseconds(40);
      std::this_thread::sleep_until(next);
    }
  }

  capture::CaptureDevice device_;
  server::ServerControl control_;
  std::unique_ptr<server::ListenThread> listener_;
  std::vector<std::string> images_;
  std::mutex mutex_;
  std::vector<Clock::time_point> published_;
  std::atomic<bool> stop_{false};
  std::thread publisher_;
};

// A program whose standard output this process reads.
struct Child {
  pid_t pid = -1;
  int out = -1;
  explicit Child(const std::vector<std::string>& args) {
    int pipes[2];
    if (::pipe2(pipes, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipes[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipes[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipes[1]);
    out = pipes[0];
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    if (out >= 0) ::close(out);
  }
};

std::map<std::string, std::string> ReadEnv(const std::string& file) {
  std::map<std::string, std::string> values;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (auto eq = line.find('='); eq != std::string::npos)
      values[line.substr(0, eq)] = line.substr(eq + 1);
  return values;
}

// For `seconds`, the delay from each image's publishing to the arrival of
// its part's first byte, in milliseconds, at a curl reading `url`.
std::vector<double> PartDelays(Camera& camera, std::vector<std::string> curl, double seconds) {
  Child child(curl);
  std::vector<double> delays;
  const std::string boundary = "--Owlglance";
  std::string carry;
  char buffer[65536];
  const auto end = Clock::now() + duration<double>(seconds);
  while (Clock::now() < end) {
    ssize_t n = ::read(child.out, buffer, sizeof buffer);
    if (n <= 0) break;
    const auto arrived = Clock::now();
    std::string bytes = carry + std::string(buffer, static_cast<size_t>(n));
    for (size_t pos = 0; (pos = bytes.find(boundary, pos)) != std::string::npos;
         pos += boundary.size())
      if (pos + boundary.size() > carry.size())  // new in this read
        delays.push_back(
            duration<double, std::milli>(arrived - camera.LastPublishBefore(arrived)).count());
    carry = bytes.substr(bytes.size() > boundary.size() ? bytes.size() - boundary.size() : 0);
  }
  if (!delays.empty()) delays.erase(delays.begin());  // the first part waits for no image
  return delays;
}

// The colour index that a decoded 8x8 frame shows, or -1 for none.
int ColourOf(const uint8_t* rgb) {
  long sum[3] = {0, 0, 0};
  for (int i = 0; i < 64; ++i)
    for (int c = 0; c < 3; ++c) sum[c] += rgb[3 * i + c];
  for (size_t k = 0; k < kColours.size(); ++k) {
    const Rgb& want = kColours[k];
    if (std::abs(sum[0] / 64 - want.r) < 25 && std::abs(sum[1] / 64 - want.g) < 25 &&
        std::abs(sum[2] / 64 - want.b) < 25)
      return static_cast<int>(k);
  }
  return -1;
}

// The seconds from each change of colour to its first frame in the HLS
// output that `url` names, over `changes` changes.
std::vector<double> HlsDelays(Camera& camera, const std::string& url, int changes) {
  Child reader({"ffmpeg", "-nostdin", "-v", "fatal", "-live_start_index", "-1", "-i", url, "-vf",
                "scale=8:8", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  std::atomic<int> seen{-1};
  std::atomic<bool> done{false};
  std::thread decode([&] {
    uint8_t frame[192];
    size_t have = 0;
    while (!done) {
      ssize_t n = ::read(reader.out, frame + have, sizeof frame - have);
      if (n <= 0) return;
      have += static_cast<size_t>(n);
      if (have == sizeof frame) {
        seen = ColourOf(frame);
        have = 0;
      }
    }
  });
  std::vector<double> delays;
  const auto wait = [&](int colour, seconds limit) {
    const auto until = Clock::now() + limit;
    while (seen != colour && Clock::now() < until) std::this_thread::sleep_for(milliseconds(5));
    return seen == colour;
  };
  if (wait(0, seconds(30))) {
    for (int i = 1; i <= changes; ++i) {
      const int colour = 1 + (i - 1) % 3;
      camera.colour = colour;
      const auto changed = Clock::now();
      if (!wait(colour, seconds(15))) break;
      delays.push_back(duration<double>(Clock::now() - changed).count());
      // Changes fall at different points of a segment.
      std::this_thread::sleep_for(milliseconds(2000 + 370 * i % 1000));
    }
  }
  done = true;
  ::kill(reader.pid, SIGTERM);
  decode.join();
  return delays;
}

}  // namespace

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  Camera camera;
  char folder[] = "/tmp/owl-deploy-bench-XXXXXX";
  if (!::mkdtemp(folder)) return 1;
  const std::string scratch = folder, script = OWL_SOURCE_DIR "/tests/deploy/deploy_env.sh";
  if (std::system(
          (script + " up " + scratch + "/deploy " + std::to_string(camera.Port())).c_str()) != 0)
    return 1;
  auto env = ReadEnv(scratch + "/deploy/env");
  const std::string https = "https://127.0.0.1:" + env["HTTPS_PORT"];

  std::vector<double> direct = PartDelays(
      camera, {"curl", "-sN", "http://127.0.0.1:" + std::to_string(camera.Port()) + "/video"}, 8);
  std::vector<double> proxied = PartDelays(
      camera,
      {"curl", "-sN", "--cacert", env["CERT"], "-u", "viewer:" + env["PASSWORD"], https + "/video"},
      8);
  if (!direct.empty() && !proxied.empty()) {
    Figure("direct_part_delay_p50_ms", Percentile(direct, 50), "ms");
    Figure("nginx_part_delay_p50_ms", Percentile(proxied, 50), "ms");
    Figure("nginx_added_latency_p50_ms", Percentile(proxied, 50) - Percentile(direct, 50), "ms");
  }

  std::vector<double> hls = HlsDelays(
      camera,
      "https://viewer:" + env["PASSWORD"] + "@127.0.0.1:" + env["HTTPS_PORT"] + "/hls/live.m3u8",
      7);
  if (!hls.empty()) Figure("hls_latency_s", Percentile(hls, 50), "s");
  Figure("hls_changes_seen", static_cast<double>(hls.size()), "of 7");

  std::system((script + " down " + scratch + "/deploy").c_str());
  std::system(("rm -rf " + scratch).c_str());
  return 0;
}
