// The HTTP side against Debian's nginx on the same folder, snapshots, and
// what stalled and slow viewers cost. Every ratio's baseline runs in the
// same process, alternated with the server, since this machine is shared.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/nginx.h"
#include "bench/require.h"
#include "bench/running_server.h"
#include "capture/capture_device.h"
#include "capture/jpeg_encoder.h"
#include "server/listen_thread.h"
#include "tests/support/pictures.h"
#include "tests/support/test_client.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// Publishes a 640x480 test picture `fps` times a second while it lives.
class Camera {
 public:
  Camera(capture::FrameStore& store, int width, int height, int fps) : store_(store) {
    thread_ = std::thread([this, width, height, fps] {
      Picture picture = NoisyGradient(width, height);
      capture::CaptureError error;
      capture::JpegEncoder encoder(error);
      while (!done_) {
        int32_t capacity = 0;
        uint8_t* buffer = store_.BeginFrame(capacity);
        store_.EndFrame(encoder.Encode(picture.header, picture.rows.data(), buffer, capacity, 35));
        std::this_thread::sleep_for(milliseconds(1000 / fps));
      }
    });
    while (store_.PublishedCount() == 0) std::this_thread::sleep_for(milliseconds(5));
  }
  ~Camera() {
    done_ = true;
    thread_.join();
  }

 private:
  capture::FrameStore& store_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// ApacheBench's requests per second for `url` at concurrency 4.
double RequestsPerSecond(const std::string& url, int requests) {
  return CommandFigure("ab -q -c 4 -n " + std::to_string(requests) + " " + url,
                       "Requests per second: %lf");
}

// The median of `rounds` alternated runs against each server: a new
// connection per request (ApacheBench), or HTTP/1.1 connections kept open
// (wrk, when `keptOpen`).
void RatioVsNginx(const char* name, const std::string& file, int requests, int rounds,
                  bool keptOpen) {
  RunningServer ours(50);
  int nginxPort = FreePort();
  Nginx nginx(nginxPort);
  auto measure = [&](int port) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/" + file;
    return keptOpen ? KeptOpenRequestsPerSecond(url) : RequestsPerSecond(url, requests);
  };
  std::vector<double> own, theirs;
  for (int i = 0; i < rounds; ++i) {
    own.push_back(measure(ours.control.port));
    theirs.push_back(measure(nginxPort));
  }
  double a = Percentile(own, 50), b = Percentile(theirs, 50);
  std::printf("%s%s: owlglance %.0f/s, nginx %.0f/s\n", file.c_str(),
              keptOpen ? " (kept open)" : "", a, b);
  Figure(name, b > 0 ? a / b : 0, "ratio");
}

// What a connection still sending its request costs: 1,000 of them, half
// silent and half having sent a first byte, from ten addresses.
void PendingConnections() {
  RunningServer server(5);
  const int threads = ThreadCount();
  const double before = ResidentKilobytes();
  std::vector<TestClient> pending(1000);
  for (size_t i = 0; i < pending.size(); ++i) {
    const std::string from = "127.0.0." + std::to_string(2 + i % 10);
    Require(pending[i].ConnectFrom(from.c_str(), server.control.port), "a pending connection");
    if (i % 2) pending[i].Send("GET /sm");
  }
  while (server.control.arrivingCount.load() < 1000) std::this_thread::sleep_for(milliseconds(5));
  Figure("pending_connection_kb", (ResidentKilobytes() - before) / 1000, "kB");
  Figure("threads_1000_pending", ThreadCount() - threads, "threads");
}

void SnapshotLatency() {
  RunningServer server(50);
  Camera camera(server.device.frameStore, 640, 480, 30);
  std::vector<double> samples;
  for (int i = 0; i < 300; ++i) {
    double start = WallSeconds();
    std::string answer = Exchange(server.control.port, "GET /snapshot HTTP/1.0\r\n\r\n", 3000);
    samples.push_back((WallSeconds() - start) * 1000);
    if (answer.rfind("HTTP/1.0 200 OK", 0) != 0) std::printf("a snapshot failed\n");
  }
  Figure("snapshot_latency_p50_ms", Percentile(samples, 50), "ms");
}

// Bytes queued on the server's side of its connections on `port`: the
// tx_queue column of /proc/net/tcp and tcp6 (what SIOCOUTQ reports).
double SendQueueMegabytes(int port) {
  double bytes = 0;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues;
      fields >> slot >> local >> remote >> state >> queues;
      if (std::stoi(local.substr(local.find(':') + 1), nullptr, 16) != port) continue;
      bytes += static_cast<double>(std::stoul(queues.substr(0, queues.find(':')), nullptr, 16));
    }
  }
  return bytes / (1 << 20);
}

void StalledStreams() {
  RunningServer server(50);
  Camera camera(server.device.frameStore, 640, 480, 30);
  std::vector<TestClient> viewers;
  for (int i = 0; i < 50; ++i) {
    viewers.emplace_back(server.control.port);
    viewers.back().Send("GET /video HTTP/1.0\r\n\r\n");  // and never read
  }
  std::this_thread::sleep_for(seconds(20));
  Figure("kernel_send_queue_mb_50_stalled_streams", SendQueueMegabytes(server.control.port), "MB");
  Figure("stop_ms_50_stalled_streams", server.Stop(), "ms");
}

// A viewer on a slow link (a small receive window) taking 5 parts a second
// of a 30-per-second stream: how old each image is when it has arrived.
void SlowReader() {
  RunningServer server(50);
  std::vector<double> published(100000, 0);
  std::atomic<bool> done{false};
  std::thread camera([&] {
    for (size_t n = 0; n < published.size() && !done; ++n) {
      std::string image(40000, 'p');
      std::memcpy(image.data(), &n, sizeof n);
      published[n] = WallSeconds();
      int32_t capacity = 0;
      uint8_t* buffer = server.device.frameStore.BeginFrame(capacity);
      std::memcpy(buffer, image.data(), image.size());
      server.device.frameStore.EndFrame(static_cast<int32_t>(image.size()));
      std::this_thread::sleep_for(milliseconds(33));
    }
  });
  int fd = ::socket(AF_INET, SOCK_STREAM, 0), window = 16 << 10;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(server.control.port));
  ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  TestClient client = TestClient::Adopt(fd);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  client.ReadExactly(sizeof "HTTP/1.0 200 OK\r\n" - 1, 3000);
  std::vector<double> ages;
  std::string pending;
  for (double end = WallSeconds() + 10; WallSeconds() < end;) {
    // One whole part: its header lines, then its image.
    size_t head;
    while ((head = pending.find("Content-Length: ")) == std::string::npos ||
           pending.find("\r\n\r\n", head) == std::string::npos)
      pending += client.ReadExactly(1, 3000);
    size_t length = std::stoul(pending.substr(head + 16));
    size_t body = pending.find("\r\n\r\n", head) + 4;
    if (pending.size() < body + length)
      pending += client.ReadExactly(body + length - pending.size(), 3000);
    size_t n = 0;
    std::memcpy(&n, pending.data() + body, sizeof n);
    ages.push_back((WallSeconds() - published[n]) * 1000);
    pending.erase(0, body + length);
    std::this_thread::sleep_for(milliseconds(200));
  }
  done = true;
  camera.join();
  Figure("slow_reader_image_age_p95_ms", Percentile(ages, 95), "ms");
}

}  // namespace

int main() {
  fs::path folder = fs::temp_directory_path() / ("owl_http_bench_" + std::to_string(::getpid()));
  fs::create_directories(folder / "www");
  fs::current_path(folder);
  std::ofstream("www/small.html") << std::string(247, 's') << '\n';
  std::ofstream("www/big.bin") << std::string(512 << 10, 'b');
  std::ofstream("www/404.html") << "not here\n";

  RatioVsNginx("static_small_rps_ratio_vs_nginx", "small.html", 5000, 5, false);
  RatioVsNginx("static_small_keepalive_rps_ratio_vs_nginx", "small.html", 0, 5, true);
  RatioVsNginx("static_512k_rps_ratio_vs_nginx", "big.bin", 2000, 5, false);
  PendingConnections();
  SnapshotLatency();
  SlowReader();
  StalledStreams();
  fs::current_path("/");
  fs::remove_all(folder);
}
