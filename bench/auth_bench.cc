// What a password costs: one yescrypt verification, a page's requests with
// a remembered header against none, and a viewer's picture while another
// address floods the server with wrong passwords.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "bench/running_server.h"
#include "capture/capture_device.h"
#include "platform/password_hash.h"
#include "server/listen_thread.h"
#include "settings/server_settings.h"
#include "tests/support/frame_publish.h"
#include "tests/support/test_client.h"

namespace {

using namespace std::chrono;

// "anna:s3cret" in Basic's base64.
constexpr char kRight[] = "Authorization: Basic YW5uYTpzM2NyZXQ=\r\n";
constexpr char kWrong[] = "Authorization: Basic YW5uYTpndWVzcw==\r\n";  // anna:guess

double VerifyMs(const std::string& hash) {
  constexpr int kRounds = 10;
  const double start = WallSeconds();
  for (int i = 0; i < kRounds; ++i) Require(platform::PasswordMatches("s3cret", hash), "verify");
  return (WallSeconds() - start) * 1000 / kRounds;
}

// Requests a second for a small file, asking with `header`.
double RequestsPerSecond(int port, const std::string& header) {
  const std::string request = "GET /small.txt HTTP/1.0\r\n" + header + "\r\n";
  int done = 0;
  const double start = WallSeconds();
  while (WallSeconds() - start < 1.0) {
    Require(Exchange(port, request).rfind("HTTP/1.0 200", 0) == 0, "a 200");
    ++done;
  }
  return done / (WallSeconds() - start);
}

// A connection from 127.0.0.2: another address of this machine's loopback.
int ConnectFromElsewhere(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in from{}, to{};
  from.sin_family = to.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(0x7f000002);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The longest wait between two parts a viewer with the password reads while
// 127.0.0.2 sends 200 wrong passwords a second for 10 s.
double FloodGapMs(RunningServer& server) {
  std::atomic<bool> done{false};
  std::thread camera([&] {
    while (!done) {
      Publish(server.device.frameStore, std::string(20000, 'c'));
      std::this_thread::sleep_for(milliseconds(33));
    }
  });
  std::thread flood([&] {
    const std::string request = std::string("GET /video HTTP/1.0\r\n") + kWrong + "\r\n";
    for (auto next = steady_clock::now(); !done; next += milliseconds(5)) {
      TestClient guess = TestClient::Adopt(ConnectFromElsewhere(server.control.port));
      guess.Send(request);
      guess.ReadAll(1000);
      std::this_thread::sleep_until(next);
    }
  });
  TestClient viewer(server.control.port);
  viewer.Send(std::string("GET /video HTTP/1.0\r\n") + kRight + "\r\n");
  double worst = 0, last = WallSeconds();
  const double end = last + 10;
  while (WallSeconds() < end) {
    const std::string bytes = viewer.ReadExactly(20000, 3000);
    if (bytes.size() < 20000) break;
    const double now = WallSeconds();
    worst = std::max(worst, now - last);
    last = now;
  }
  done = true;
  flood.join();
  camera.join();
  return worst * 1000;
}

// 150 clients from as many addresses sending a wrong password at once,
// while a viewer with the password watches: how much memory the server
// takes on for them, the viewer's longest wait between two parts, and how
// many of them were answered 503 (the verifications' queue full).
void WrongPasswordStorm(RunningServer& server) {
  std::atomic<bool> done{false};
  std::thread camera([&] {
    while (!done) {
      Publish(server.device.frameStore, std::string(20000, 'c'));
      std::this_thread::sleep_for(milliseconds(33));
    }
  });
  TestClient viewer(server.control.port);
  viewer.Send(std::string("GET /video HTTP/1.0\r\n") + kRight + "\r\n");
  Require(viewer.ReadExactly(20000, 3000).size() == 20000, "the viewer's first part");
  const double before = ResidentKilobytes();
  double peak = before;
  std::vector<TestClient> guessers(150);
  const std::string request = std::string("GET /video HTTP/1.0\r\n") + kWrong + "\r\n";
  for (size_t i = 0; i < guessers.size(); ++i) {
    const std::string from = "127.0.1." + std::to_string(1 + i);
    Require(guessers[i].ConnectFrom(from.c_str(), server.control.port), "a guesser");
    guessers[i].Send(request);
  }
  double worst = 0, last = WallSeconds();
  for (const double end = last + 8; WallSeconds() < end;) {
    if (viewer.ReadExactly(20000, 3000).size() < 20000) break;
    const double now = WallSeconds();
    worst = std::max(worst, now - last);
    last = now;
    peak = std::max(peak, ResidentKilobytes());
  }
  int refused = 0;
  for (TestClient& guesser : guessers)
    refused += guesser.ReadAll(3000).rfind("HTTP/1.0 503", 0) == 0 ? 1 : 0;
  done = true;
  camera.join();
  Figure("auth_150_wrong_rss_growth_mb", (peak - before) / 1024, "MB");
  Figure("auth_150_wrong_viewer_gap_ms", worst * 1000, "ms");
  Figure("auth_150_wrong_answered_503", refused, "clients");
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / "owl-auth-bench";
  std::filesystem::create_directories(folder / "www");
  std::filesystem::current_path(folder);
  std::ofstream("www/small.txt") << "a small page";
  std::string hash;
  Require(platform::HashPassword("s3cret", hash), "a hash");
  Figure("auth_verify_ms", VerifyMs(hash), "ms");

  RunningServer server(50);
  double with = 0, without = 0;
  for (int round = 0; round < 3; ++round) {  // alternated: the machine is shared
    server.control.gate.SetRules(settings::kEveryone, "", "");
    without += RequestsPerSecond(server.control.port, "");
    server.control.gate.SetRules(settings::kEveryone, "anna", hash);
    with += RequestsPerSecond(server.control.port, kRight);
  }
  Figure("auth_cached_request_overhead_ratio", with / without, "ratio");
  Figure("auth_flood_viewer_gap_ms", FloodGapMs(server), "ms");
  WrongPasswordStorm(server);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
  return 0;
}
