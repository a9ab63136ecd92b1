// soak [MINUTES]: the server under a mixed and hostile load for that long
// (default 10) on 127.0.0.1, with a client limit of 50 and logging on. Ends
// with one "NAME: VALUE UNIT" line per figure and exit status 1 when a
// figure misses its target.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/require.h"
#include "capture/capture_device.h"
#include "platform/installed_drivers.h"
#include "platform/thread.h"
#include "server/connection_log.h"
#include "server/job_pool.h"
#include "server/listen_thread.h"
#include "server/server_controller.h"
#include "tests/support/test_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::atomic<bool> running{true};
std::atomic<int> open{0};  // our connections that the server accepted and we hold
std::atomic<int> refusedWrongly{0};
std::atomic<int64_t> worstGapMs{0};
int port = 0;

size_t Entries(const char* folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

double ResidentMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
  return 0;
}

int64_t Ms(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Reads a stream for as long as asked, noting the longest pause between two
// part delimiters when `worst` is given.
void Watch(TestClient& client, Clock::time_point until, std::atomic<int64_t>* worst) {
  const std::string delimiter = "\r\n--Owlglance\r\n";
  std::string tail;
  Clock::time_point last = Clock::now();
  bool started = false;
  while (running && Clock::now() < until) {
    bool closed = false;
    std::string bytes = client.ReadAll(50, &closed);
    if (closed) return;
    tail += bytes;
    size_t at = tail.rfind(delimiter);
    if (at != std::string::npos) {
      auto now = Clock::now();
      if (started && worst) {
        int64_t gap = Ms(now - last), seen = worst->load();
        while (gap > seen && !worst->compare_exchange_weak(seen, gap)) {
        }
      }
      started = true;
      last = now;
      tail.erase(0, at + delimiter.size());
    }
    if (tail.size() > 64) tail.erase(0, tail.size() - 64);
  }
}

void StayingViewer() {
  TestClient client(port);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  ++open;
  Watch(client, Clock::time_point::max(), &worstGapMs);
  --open;
}

void ComingAndGoing(unsigned seed) {
  std::mt19937 random(seed);
  while (running) {
    TestClient client(port);
    client.Send("GET /video HTTP/1.0\r\n\r\n");
    ++open;
    Watch(client, Clock::now() + std::chrono::milliseconds(300 + random() % 1700), nullptr);
    random() % 2 ? client.Reset() : client.Close();
    --open;
  }
}

void Hostile(unsigned seed) {
  std::mt19937 random(seed);
  while (running) {
    TestClient client(port);
    ++open;
    switch (random() % 5) {
      case 0: {  // junk
        std::string junk(1 + random() % 200, '\0');
        for (char& c : junk) c = static_cast<char>(random());
        client.Send(junk + "\r\n");
        client.ReadAll(3000);
        break;
      }
      case 1:  // half a request, then silence until the server gives up or we do
        client.Send("GET /vid");
        client.ReadAll(static_cast<int>(1000 + random() % 7000));
        break;
      case 2:  // 1024 bytes without a line end
        client.Send(std::string(1024, 'A'));
        client.ReadAll(3000);
        break;
      case 3:  // a request, then a reset
        client.Send("GET / HTTP/1.0\r\nCookie: " + std::string(random() % 3000, 'c') + "\r\n\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
        client.Reset();
        break;
      case 4: {  // asks for the stream and never reads: dropped after 6 s
        client.Send("GET /video HTTP/1.0\r\n\r\n");
        int small = 4096;
        ::setsockopt(client.Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        for (int i = 0; i < 100 && running; ++i) std::this_thread::sleep_for(100ms);
        break;
      }
    }
    --open;
  }
}

// Connections beyond the limit, in fives (the listen backlog is 5).
void Bursts() {
  while (running) {
    std::vector<TestClient> burst;
    for (int i = 0; i < 30 && running; ++i) {
      burst.emplace_back(port);
      burst.back().Send("GET /404.html HTTP/1.0\r\n\r\n");
      if (i % 5 == 4) std::this_thread::sleep_for(20ms);
    }
    for (auto& client : burst) {
      const int held = open.load();
      std::string answer = client.ReadAll(3000);
      // A refusal while we held clearly fewer than the limit (the margin
      // covers clients that ended but were not reaped yet).
      if (answer.rfind("HTTP/1.0 503", 0) == 0 && held + 30 < 40) ++refusedWrongly;
    }
    for (int i = 0; i < 50 && running; ++i) std::this_thread::sleep_for(100ms);
  }
}

size_t Lines(const std::string& log, const std::string& text) {
  size_t n = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10;
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  char folder[] = "/tmp/owl-soak-XXXXXX";
  std::filesystem::current_path(::mkdtemp(folder));
  std::filesystem::create_directory("www");
  std::ofstream("www/404.html") << "not here";

  const size_t fdsBefore = Entries("/proc/self/fd"), threadsBefore = Entries("/proc/self/task");
  capture::CaptureDevice device;
  Require(device.Create(0, 35) == capture::DeviceResult::kOk, "the camera");
  settings::ServerSettings settings;
  port = FreePort();
  settings.portnum = static_cast<uint32_t>(port);
  settings.maxclients = 50;
  settings.connections = 1;
  server::ServerController controller(settings, device);
  if (controller.StartServer() != server::StartResult::kStarted) return 2;
  std::this_thread::sleep_for(500ms);
  const size_t fdsServing = Entries("/proc/self/fd"), threadsServing = Entries("/proc/self/task");

  std::vector<std::thread> clients;
  for (int i = 0; i < 10; ++i) clients.emplace_back(StayingViewer);
  for (int i = 0; i < 20; ++i) clients.emplace_back(ComingAndGoing, 100 + i);
  for (int i = 0; i < 8; ++i) clients.emplace_back(Hostile, 200 + i);
  clients.emplace_back(Bursts);

  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(static_cast<int64_t>(minutes * 60000));
  // Memory is compared with what it was after the first minute (or the
  // first sixth of a shorter run), when every kind of client has come.
  const auto settle = start + std::min<Clock::duration>(60s, (end - start) / 6);
  double rssSettled = 0;
  while (Clock::now() < end) {
    std::this_thread::sleep_for(200ms);
    if (rssSettled == 0 && Clock::now() > settle) rssSettled = ResidentMb();
  }
  const double rssEnd = ResidentMb();
  running = false;
  for (auto& client : clients) client.join();
  for (int i = 0; i < 100 && controller.SessionThreads() > 0; ++i)
    std::this_thread::sleep_for(100ms);
  // The server's pool threads end once idle; then the system threads kept
  // for reuse are ended too: neither is growth.
  std::this_thread::sleep_for(std::chrono::milliseconds(server::kPoolThreadIdleMs + 500));
  platform::EndIdleThreads();
  const long fdGrowth = static_cast<long>(Entries("/proc/self/fd")) - static_cast<long>(fdsServing);
  const long threadGrowth =
      static_cast<long>(Entries("/proc/self/task")) - static_cast<long>(threadsServing);
  const bool serving = TestClient().Connect(port);
  controller.StopServer();
  device.Destroy();

  std::ifstream in(server::kLogFileName);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const long unbalanced = static_cast<long>(Lines(log, "Connection received from: ")) -
                          static_cast<long>(Lines(log, "Connection closed: "));
  std::printf("soak_minutes: %.2f min\n", minutes);
  std::printf("soak_connections_logged: %zu count\n", Lines(log, "Connection received from: "));
  std::printf("soak_worst_viewer_gap_ms: %lld ms\n", static_cast<long long>(worstGapMs.load()));
  std::printf("soak_fd_growth: %ld count\n", fdGrowth);
  std::printf("soak_thread_growth: %ld count\n", threadGrowth);
  std::printf("soak_rss_growth_mb: %.2f MB\n", rssEnd - rssSettled);
  std::printf("soak_log_unbalanced: %ld lines\n", unbalanced);
  std::printf("soak_refused_wrongly: %d count\n", refusedWrongly.load());
  std::printf("soak_still_serving: %d bool\n", serving ? 1 : 0);
  std::printf("soak_fds_before_start: %zu count\nsoak_threads_before_start: %zu count\n", fdsBefore,
              threadsBefore);
#if defined(__SANITIZE_ADDRESS__)
  // ASan keeps freed memory in quarantine: resident memory says nothing here.
  const bool memoryMet = true;
  std::printf("soak_rss_growth_judged: 0 bool (AddressSanitizer build)\n");
#else
  const bool memoryMet = rssEnd - rssSettled < 5;
#endif
  const bool met = worstGapMs < 1500 && fdGrowth == 0 && threadGrowth == 0 && memoryMet &&
                   unbalanced == 0 && refusedWrongly == 0 && serving;
  std::printf("soak: %s\n", met ? "every figure on target" : "a figure missed its target");
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
  return met ? 0 : 1;
}
