// Stream figures: pacing, CPU per part against a plain send loop (and for
// 50 viewers of VGA and of 1080p pictures), the threads 50 viewers cost,
// heap allocations per part, and the frame writer's wait for a buffer.
// The reading clients run in a child process so that the parent's CPU time
// is the server's alone.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "platform/socket.h"
#include "server/listen_thread.h"
#include "tests/support/stream_gaps.h"
#include "tests/support/test_client.h"

// Every C++ heap allocation in this process is counted.
static std::atomic<uint64_t> allocations{0};
void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// GCC takes free() after its own operator new for a mismatch; here they pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using namespace std::chrono;

constexpr int kImageBytes = 30 * 1024;

struct Server {
  capture::CaptureDevice device;
  server::ServerControl control;
  std::unique_ptr<server::ListenThread> listener;
  std::vector<uint8_t> image;

  // With `second`, it is served as camera 1 (/cam/1/video).
  explicit Server(size_t imageBytes = kImageBytes, capture::CaptureDevice* second = nullptr)
      : image(imageBytes, 0x42) {
    device.frameStore.Reallocate(1 << 20);
    control.port = FreePort();
    control.clientLimit = 50;
    control.cameras = {{device.frameStore, device}};
    if (second) control.cameras.emplace_back(second->frameStore, *second);
    control.SetStreamUrl("/video");
    listener = std::make_unique<server::ListenThread>(control);
    Require(listener->Thread().Create(), "the listener thread");
    listener->Thread().Resume();
    while (!TestClient().Connect(control.port)) std::this_thread::sleep_for(milliseconds(5));
  }
  ~Server() { Stop(); }
  void Stop() {
    if (!listener) return;
    control.RequestStop();
    device.frameStore.WakeReaders();
    while (!listener->Thread().WaitForEnd(200)) {
    }
    listener.reset();
  }
  // Publishes one image to every camera; returns the first's wait for the
  // lock in milliseconds.
  double Publish() {
    double waited = 0;
    image[0]++;  // each frame differs
    for (const server::ServedCamera& camera : control.cameras) {
      double start = WallSeconds();
      int32_t capacity = 0;
      uint8_t* buffer = camera.store->BeginFrame(capacity);
      if (camera.store == &device.frameStore) waited = (WallSeconds() - start) * 1000;
      std::memcpy(buffer, image.data(), image.size());
      camera.store->EndFrame(static_cast<int32_t>(image.size()));
    }
    return waited;
  }
  void WaitForClients(int n) {
    while (control.connectedCount < n) std::this_thread::sleep_for(milliseconds(5));
  }
};

// Publishes at 30 images a second for `seconds`; returns the lock waits.
std::vector<double> PublishAt30(Server& server, double seconds) {
  std::vector<double> waits;
  waits.reserve(static_cast<size_t>(seconds * 30) + 1);
  auto next = steady_clock::now();
  for (int i = 0; i < seconds * 30; ++i) {
    waits.push_back(server.Publish());
    next += microseconds(33333);
    std::this_thread::sleep_until(next);
  }
  return waits;
}

void PartsPerNewFrame() {
  Server server;
  TestClient client(server.control.port);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  server.Publish();
  std::string bytes;
  std::thread reader([&] { bytes = client.ReadAll(3500); });
  PublishAt30(server, 3);
  reader.join();
  size_t parts = 0;
  for (size_t pos = 0; (pos = bytes.find("Content-Type: image/jpeg", pos)) != std::string::npos;
       ++pos)
    ++parts;
  Figure("stream_parts_per_new_frame", static_cast<double>(parts) / (3 * 30 + 1), "parts/frame");
}

size_t ThreadCount() {
  auto tasks = std::filesystem::directory_iterator("/proc/self/task");
  return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
}

// The server's CPU per part for 50 streaming clients (in the child) at 30
// images a second of `imageBytes`; the idle server's CPU is taken off.
double ServerCpuPerPart(size_t imageBytes, bool report) {
  Server server(imageBytes);
  server.Publish();
  double idle = ProcessCpuSeconds();
  std::this_thread::sleep_for(seconds(1));
  idle = ProcessCpuSeconds() - idle;
  pid_t child = SpawnDrain(server.control.port, "GET /video HTTP/1.0\r\n\r\n", 50);
  server.WaitForClients(50);
  PublishAt30(server, 3);  // warm up; the sessions' threads leave
  double cpu = ProcessCpuSeconds();
  std::vector<double> waits = PublishAt30(server, 4);
  const double perPart = (ProcessCpuSeconds() - cpu - 4 * idle) / (4 * 30 * 50);
  if (report) {
    Figure("writer_lock_wait_p99_ms", Percentile(waits, 99), "ms");
    // This process: the main thread (the camera here), the listener and the sender.
    Figure("stream_threads_50_viewers", static_cast<double>(ThreadCount()), "threads");
  }
  server.Stop();
  ::waitpid(child, nullptr, 0);
  return perPart;
}

// The server's CPU for 50 viewers of 640x480 pictures at 30 a second: all
// of one camera, or 25 each of two.
double CamerasCpu(bool two) {
  capture::CaptureDevice second;
  second.frameStore.Reallocate(1 << 20);
  Server server(11 * 1024, two ? &second : nullptr);
  server.Publish();
  pid_t first = SpawnDrain(server.control.port, "GET /video HTTP/1.0\r\n\r\n", two ? 25 : 50);
  pid_t other = two ? SpawnDrain(server.control.port, "GET /cam/1/video HTTP/1.0\r\n\r\n", 25) : 0;
  server.WaitForClients(50);
  PublishAt30(server, 2);  // warm up
  double cpu = ProcessCpuSeconds();
  PublishAt30(server, 4);
  cpu = ProcessCpuSeconds() - cpu;
  server.Stop();
  ::waitpid(first, nullptr, 0);
  if (other) ::waitpid(other, nullptr, 0);
  return cpu;
}

void TwoCamerasAgainstOne() {
  const double one = CamerasCpu(false), two = CamerasCpu(true);
  Figure("two_cameras_cpu_ratio_vs_one", two / one, "ratio");
}

void CpuAndLockWait() {
  Figure("stream_us_per_part_50_viewers_640x480", ServerCpuPerPart(11 * 1024, false) * 1e6, "us");
  Figure("stream_us_per_part_50_viewers_1080p", ServerCpuPerPart(100 * 1024, false) * 1e6, "us");
  const double serverCpuPerPart = ServerCpuPerPart(kImageBytes, true);
  // The baseline: one loop sending the same bytes to 50 sockets.
  double plainCpuPerPart;
  {
    platform::Socket listener;
    int port = FreePort();
    Require(listener.Listen(port, 64) == platform::kListening, "the port");
    pid_t child = SpawnDrain(port, "", 50);
    std::vector<platform::Socket> sockets(50);
    for (auto& s : sockets) {
      while (listener.WaitReadable(1000) == 1 && listener.Accept(s) != 0) {
      }
    }
    std::vector<char> part(kImageBytes + 60, 'x');
    auto next = steady_clock::now();
    double cpu = ProcessCpuSeconds();
    for (int frame = 0; frame < 4 * 30; ++frame) {
      for (auto& s : sockets) {
        for (size_t sent = 0; sent < part.size();) {
          long k = s.Send(part.data() + sent, part.size() - sent);
          if (k <= 0) break;
          sent += static_cast<size_t>(k);
        }
      }
      next += microseconds(33333);
      std::this_thread::sleep_until(next);
    }
    plainCpuPerPart = (ProcessCpuSeconds() - cpu) / (4 * 30 * 50);
    for (auto& s : sockets) s.Close();
    ::waitpid(child, nullptr, 0);
  }
  Figure("stream_cpu_ratio_vs_plain_send", serverCpuPerPart / plainCpuPerPart, "ratio");
  Figure("stream_cpu_us_per_part", serverCpuPerPart * 1e6, "us");
  Figure("plain_send_cpu_us_per_part", plainCpuPerPart * 1e6, "us");
}

// The longest any of 49 viewers waits for data at 30 pictures a second
// while a 50th keeps coming and going.
void WorstGapWithAVisitor() {
  Server server;
  server.Publish();
  std::vector<TestClient> viewers;
  for (int i = 0; i < 49; ++i) {
    viewers.emplace_back(server.control.port);
    viewers.back().Send("GET /video HTTP/1.0\r\n\r\n");
  }
  server.WaitForClients(49);
  std::atomic<bool> done{false};
  std::thread camera([&] {
    while (!done) PublishAt30(server, 0.5);
  });
  const auto worst = WorstGapWhileAVisitorComesAndGoes(viewers, server.control.port, 5);
  done = true;
  camera.join();
  Figure("stream_worst_gap_ms_49_viewers_with_visitor", static_cast<double>(worst.count()), "ms");
}

void AllocationsPerPart() {
  Server server;
  server.Publish();
  TestClient client(server.control.port);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  std::atomic<bool> done{false};
  std::atomic<uint64_t> received{0};
  std::thread reader([&] {
    char buffer[65536];
    while (!done) {
      long k = ::recv(client.Fd(), buffer, sizeof buffer, 0);
      if (k <= 0) break;
      received += static_cast<uint64_t>(k);
    }
  });
  PublishAt30(server, 0.5);  // the part buffer reaches its size
  // The slope over two windows: allocations that grow with the parts sent,
  // not one-off ones elsewhere in the process.
  auto window = [&](double seconds) {
    uint64_t before = allocations.load(), bytesBefore = received.load();
    PublishAt30(server, seconds);
    return std::pair<double, double>(
        static_cast<double>(allocations.load() - before),
        static_cast<double>(received.load() - bytesBefore) / (kImageBytes + 60));
  };
  auto [allocsShort, partsShort] = window(1);
  auto [allocsLong, partsLong] = window(4);
  done = true;
  server.Stop();
  reader.join();
  double perPart = (allocsLong - allocsShort) / (partsLong - partsShort);
  Figure("stream_allocs_per_part", perPart < 0 ? 0 : perPart, "allocs");
}

}  // namespace

int main(int argc, char** argv) {
  if (int status; RunDrainIfAsked(argc, argv, status)) return status;
  // "--cpu" runs the CPU comparison alone, for a profiler.
  if (argc == 2 && std::strcmp(argv[1], "--cpu") == 0) return CpuAndLockWait(), 0;
  PartsPerNewFrame();
  WorstGapWithAVisitor();
  AllocationsPerPart();
  CpuAndLockWait();
  TwoCamerasAgainstOne();
}
