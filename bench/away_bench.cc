// A camera that goes away under a live stream and comes back: the longest
// pause a viewer sees, how soon live frames return, and how soon a viewer
// that connects right at Start Server gets its first part.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "platform/installed_drivers.h"
#include "platform/test_pattern.h"
#include "server/server_controller.h"
#include "tests/support/fake_v4l2.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/test_client.h"

namespace {

FakeV4l2* fake = nullptr;

std::vector<std::unique_ptr<platform::CaptureDriver>> FakeCamera() {
  return platform::ListV4l2Drivers(*fake);
}

// Reads a stream on a thread of its own and notes when each part arrived
// and whether it showed the live (grey) picture.
class Viewer {
 public:
  explicit Viewer(int port) : client_(port) {
    client_.Send("GET /video HTTP/1.0\r\n\r\n");
    reader_ = std::thread([this] { Read(); });
  }
  ~Viewer() {
    stop_ = true;
    reader_.join();
  }
  struct Part {
    double at;
    bool live;
  };
  std::vector<Part> Parts() {
    std::lock_guard lock(mutex_);
    return parts_;
  }

 private:
  void Read() {
    std::string bytes;
    const std::string delimiter = "\r\n--Owlglance\r\n";
    while (!stop_) {
      bytes += client_.ReadAll(20);
      size_t end;
      while ((end = bytes.find(delimiter)) != std::string::npos) {
        size_t body = bytes.find("\r\n\r\n");
        if (body != std::string::npos && body < end) {
          DecodedJpeg picture = DecodeJpeg(bytes.substr(body + 4, end - body - 4));
          bool live = picture.ok && std::abs(picture.Pixel(0, 0)[2] - picture.Pixel(0, 0)[0]) < 8;
          std::lock_guard lock(mutex_);
          parts_.push_back({WallSeconds(), live});
        }
        bytes.erase(0, end + delimiter.size() - 13);  // keep "--Owlglance\r\n"
      }
    }
  }
  TestClient client_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Part> parts_;  // guarded by mutex_
};

void UnplugAndReplug() {
  FakeV4l2 camera;
  fake = &camera;
  platform::SetDriverListSource(FakeCamera);
  capture::CaptureDevice device;
  Require(device.Create(0, 75) == capture::DeviceResult::kOk, "the camera");
  settings::ServerSettings settings;
  settings.portnum = static_cast<uint32_t>(FreePort());
  server::ServerController controller(settings, device);
  Require(controller.StartServer() == server::StartResult::kStarted, "the server");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::vector<double> gapsMs, reconnectMs;
  for (int round = 0; round < 3; ++round) {
    Viewer viewer(static_cast<int>(settings.portnum));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double unplugged = WallSeconds();
    camera.Unplug();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double replugged = WallSeconds();
    camera.Replug(round * 2 + 2);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    auto parts = viewer.Parts();
    double gap = 0, back = -1;
    for (size_t i = 1; i < parts.size(); ++i)
      if (parts[i].at > unplugged - 0.5) gap = std::max(gap, parts[i].at - parts[i - 1].at);
    for (const auto& part : parts)
      if (part.at > replugged && part.live) {
        back = part.at - replugged;
        break;
      }
    gapsMs.push_back(gap * 1000);
    reconnectMs.push_back(back * 1000);
  }
  controller.StopServer();
  device.Destroy();
  platform::SetDriverListSource(nullptr);
  Figure("stream_gap_on_unplug_ms", *std::max_element(gapsMs.begin(), gapsMs.end()), "ms");
  Figure("reconnect_ms", *std::max_element(reconnectMs.begin(), reconnectMs.end()), "ms");
}

void FirstPartAfterStart() {
  std::vector<double> samples;
  for (int round = 0; round < 5; ++round) {
    capture::CaptureDevice device;
    Require(device.Create(0, 75) == capture::DeviceResult::kOk, "the camera");  // the test pattern
    settings::ServerSettings settings;
    settings.portnum = static_cast<uint32_t>(FreePort());
    server::ServerController controller(settings, device);
    double start = WallSeconds();
    Require(controller.StartServer() == server::StartResult::kStarted, "the server");
    TestClient client;
    while (!client.Connect(static_cast<int>(settings.portnum))) {
    }
    client.Send("GET /video HTTP/1.0\r\n\r\n");
    std::string bytes;
    while (bytes.find("\r\n--Owlglance\r\n") == std::string::npos && WallSeconds() - start < 10)
      bytes += client.ReadAll(5);
    samples.push_back((WallSeconds() - start) * 1000);
    controller.StopServer();
  }
  Figure("first_part_after_start_ms", Percentile(samples, 50), "ms");
}

}  // namespace

int main() {
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  FirstPartAfterStart();
  UnplugAndReplug();
}
