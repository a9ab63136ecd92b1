// Whole-server figures: how long StopServer takes with 50 streaming clients,
// and how long a frame takes from the pipeline to a client's last byte.
#include <sys/socket.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "platform/test_pattern.h"
#include "server/listen_thread.h"
#include "server/server_controller.h"
#include "tests/support/test_client.h"

namespace {

using namespace std::chrono;

void StopWithFiftyClients() {
  capture::CaptureDevice device;
  Require(device.Create(0, 35) == capture::DeviceResult::kOk,
          "the camera");  // the test pattern, grabbing while the server runs
  settings::ServerSettings settings;
  settings.portnum = static_cast<uint32_t>(FreePort());
  settings.maxclients = 50;
  std::vector<double> samples;
  for (int round = 0; round < 3; ++round) {
    server::ServerController controller(settings, device);
    Require(controller.StartServer() == server::StartResult::kStarted, "the server");
    while (device.frameStore.PublishedCount() == 0 || !TestClient().Connect(settings.portnum))
      std::this_thread::sleep_for(milliseconds(5));
    std::this_thread::sleep_for(milliseconds(400));  // the probe is reaped
    pid_t child = SpawnDrain(static_cast<int>(settings.portnum), "GET /video HTTP/1.0\r\n\r\n", 50);
    while (controller.ConnectedCount() < 50) std::this_thread::sleep_for(milliseconds(5));
    std::this_thread::sleep_for(milliseconds(300));
    double start = WallSeconds();
    controller.StopServer();
    samples.push_back((WallSeconds() - start) * 1000);
    ::waitpid(child, nullptr, 0);
  }
  Figure("stop_50_clients_ms", Percentile(samples, 50), "ms");
}

// Reads one stream and notes when each part's last byte arrived.
void ReadParts(TestClient& client, std::vector<double>& arrivals, std::mutex& lock) {
  std::string buffer;
  char chunk[65536];
  for (;;) {
    long k = ::recv(client.Fd(), chunk, sizeof chunk, 0);
    if (k <= 0) return;
    buffer.append(chunk, static_cast<size_t>(k));
    for (;;) {
      size_t length = buffer.find("Content-Length: ");
      size_t body = buffer.find("\r\n\r\n", length);
      if (length == std::string::npos || body == std::string::npos) break;
      size_t end = body + 4 + std::strtoul(buffer.c_str() + length + 16, nullptr, 10) + 15;
      if (buffer.size() < end) break;
      double now = WallSeconds();
      {
        std::lock_guard guard(lock);
        arrivals.push_back(now);
      }
      buffer.erase(0, end);
    }
  }
}

// Frames enter the pipeline 30 times a second; each arrival is matched with
// the latest frame that entered before it.
double FrameLatencyP99(int clientCount) {
  capture::CaptureDevice device;
  Require(device.Create(0, 35) == capture::DeviceResult::kOk, "the camera");
  platform::TestPatternDriver pattern;
  pattern.StartStreaming();
  std::vector<uint8_t> frame;
  pattern.NextFrame(frame, 1000);

  server::ServerControl control;
  control.port = FreePort();
  control.clientLimit = 50;
  control.cameras = {{device.frameStore, device}};
  control.SetStreamUrl("/video");
  server::ListenThread listener(control);
  Require(listener.Thread().Create(), "the listener thread");
  listener.Thread().Resume();
  platform::VideoHdr header{frame.data(), static_cast<uint32_t>(frame.size()),
                            static_cast<uint32_t>(frame.size())};
  capture::CaptureDevice::OnVideoFrame(device.Window(), &header);
  while (!TestClient().Connect(control.port)) std::this_thread::sleep_for(milliseconds(5));
  std::this_thread::sleep_for(milliseconds(400));

  std::vector<TestClient> clients;
  std::vector<double> arrivals;
  std::mutex lock;
  for (int i = 0; i < clientCount; ++i) {
    clients.emplace_back(control.port);
    clients.back().Send("GET /video HTTP/1.0\r\n\r\n");
    if (i % 5 == 4) std::this_thread::sleep_for(milliseconds(20));
  }
  std::vector<std::thread> readers;
  for (auto& client : clients) readers.emplace_back([&] { ReadParts(client, arrivals, lock); });
  std::this_thread::sleep_for(milliseconds(500));
  {
    std::lock_guard guard(lock);
    arrivals.clear();
  }
  std::vector<double> entered;
  auto next = steady_clock::now();
  for (int i = 0; i < 150; ++i) {
    entered.push_back(WallSeconds());
    capture::CaptureDevice::OnVideoFrame(device.Window(), &header);
    next += microseconds(33333);
    std::this_thread::sleep_until(next);
  }
  control.RequestStop();
  device.frameStore.WakeReaders();
  while (!listener.Thread().WaitForEnd(200)) {
  }
  for (auto& reader : readers) reader.join();

  std::vector<double> latencies;
  for (double arrival : arrivals) {
    auto after = std::upper_bound(entered.begin(), entered.end(), arrival);
    if (after != entered.begin()) latencies.push_back((arrival - *(after - 1)) * 1000);
  }
  return Percentile(latencies, 99);
}

}  // namespace

int main(int argc, char** argv) {
  if (int status; RunDrainIfAsked(argc, argv, status)) return status;
  StopWithFiftyClients();
  Figure("frame_latency_p99_ms_1_client", FrameLatencyP99(1), "ms");
  Figure("frame_latency_p99_ms_50_clients", FrameLatencyP99(50), "ms");
}
