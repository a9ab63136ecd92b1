// HTTPS figures: the server's CPU per stream part over TLS against plain
// HTTP (50 viewers, the readers in a child process), small files over TLS
// against nginx with the same certificate, and the time of a handshake.
// Each ratio's baseline runs in the same process, alternated with it.
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/nginx.h"
#include "bench/require.h"
#include "bench/running_server.h"
#include "platform/tls.h"
#include "tests/support/test_client.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

constexpr size_t kImageBytes = 30 * 1024;

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  Require(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0, "a connection");
  return fd;
}

// A blocking TLS client that checks nothing of the certificate.
struct TlsClient {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  SSL* ssl = nullptr;
  int fd = -1;
  explicit TlsClient(int port) {
    fd = Connect(port);
    ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    Require(SSL_connect(ssl) == 1, "a TLS handshake");
  }
  ~TlsClient() {
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    ::close(fd);
  }
};

// In the child: `count` TLS viewers of the stream at `port`, reading until
// the server closes.
int TlsDrain(int port, int count) {
  std::vector<std::thread> readers;
  for (int i = 0; i < count; ++i) {
    readers.emplace_back([port] {
      TlsClient client(port);
      const char request[] = "GET /video HTTP/1.0\r\n\r\n";
      SSL_write(client.ssl, request, sizeof request - 1);
      char buffer[65536];
      while (SSL_read(client.ssl, buffer, sizeof buffer) > 0) {
      }
    });
    if (i % 5 == 4) std::this_thread::sleep_for(milliseconds(20));
  }
  for (auto& reader : readers) reader.join();
  return 0;
}

// Starts this program again as the child that runs TlsDrain.
pid_t SpawnTlsDrain(int port, int count) {
  std::string portText = std::to_string(port), countText = std::to_string(count);
  char* argv[] = {const_cast<char*>("tls_bench"), const_cast<char*>("--tls-drain"), portText.data(),
                  countText.data(), nullptr};
  pid_t pid = 0;
  ::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ);
  return pid;
}

// Publishes `seconds` of 30 images a second.
void PublishAt30(capture::FrameStore& store, std::vector<uint8_t>& image, double seconds) {
  auto next = steady_clock::now();
  for (int i = 0; i < seconds * 30; ++i) {
    image[0]++;
    int32_t capacity = 0;
    uint8_t* buffer = store.BeginFrame(capacity);
    std::memcpy(buffer, image.data(), image.size());
    store.EndFrame(static_cast<int32_t>(image.size()));
    next += microseconds(33333);
    std::this_thread::sleep_until(next);
  }
}

// The server's CPU per part for 50 viewers, over TLS or plain.
double CpuPerPart(const std::shared_ptr<const platform::TlsContext>& tls, bool overTls) {
  RunningServer server(50, tls);
  std::vector<uint8_t> image(kImageBytes, 0x42);
  PublishAt30(server.device.frameStore, image, 0.2);
  const pid_t child = overTls ? SpawnTlsDrain(server.control.port, 50)
                              : SpawnDrain(server.control.port, "GET /video HTTP/1.0\r\n\r\n", 50);
  while (server.control.connectedCount.load() < 50) std::this_thread::sleep_for(milliseconds(5));
  PublishAt30(server.device.frameStore, image, 1);  // warm up
  const double cpu = ProcessCpuSeconds();
  PublishAt30(server.device.frameStore, image, 4);
  const double perPart = (ProcessCpuSeconds() - cpu) / (4 * 30 * 50);
  server.Stop();
  ::waitpid(child, nullptr, 0);
  return perPart;
}

void StreamCpu(const std::shared_ptr<const platform::TlsContext>& tls) {
  std::vector<double> plain, secure;
  for (int round = 0; round < 5; ++round) {
    plain.push_back(CpuPerPart(tls, false));
    secure.push_back(CpuPerPart(tls, true));
  }
  const double a = Percentile(secure, 50), b = Percentile(plain, 50);
  std::printf("CPU per 30 kB part, 50 viewers: TLS %.1f us, plain %.1f us\n", a * 1e6, b * 1e6);
  Figure("tls_stream_cpu_ratio_vs_plain", a / b, "ratio");
}

void SmallFilesVsNginx(const std::string& cert, const std::string& key,
                       const std::shared_ptr<const platform::TlsContext>& tls) {
  RunningServer ours(50, tls);
  const int nginxPort = FreePort();
  Nginx nginx(nginxPort, cert, key);
  std::vector<double> own, theirs;
  for (int round = 0; round < 5; ++round) {
    own.push_back(KeptOpenRequestsPerSecond(
        "https://127.0.0.1:" + std::to_string(ours.control.port) + "/small.html"));
    theirs.push_back(KeptOpenRequestsPerSecond("https://127.0.0.1:" + std::to_string(nginxPort) +
                                               "/small.html"));
  }
  const double a = Percentile(own, 50), b = Percentile(theirs, 50);
  std::printf("small.html over TLS (kept open): owlglance %.0f/s, nginx %.0f/s\n", a, b);
  Figure("tls_static_small_rps_ratio_vs_nginx_tls", b > 0 ? a / b : 0, "ratio");
}

void Handshakes(const std::shared_ptr<const platform::TlsContext>& tls) {
  RunningServer server(50, tls);
  std::vector<double> samples;
  for (int i = 0; i < 300; ++i) {
    const double start = WallSeconds();
    TlsClient client(server.control.port);
    samples.push_back((WallSeconds() - start) * 1000);
  }
  Figure("tls_handshake_ms_p50", Percentile(samples, 50), "ms");
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (RunDrainIfAsked(argc, argv, status)) return status;
  if (argc == 4 && std::strcmp(argv[1], "--tls-drain") == 0)
    return TlsDrain(std::atoi(argv[2]), std::atoi(argv[3]));
  const fs::path folder =
      fs::temp_directory_path() / ("owl_tls_bench_" + std::to_string(::getpid()));
  fs::create_directories(folder / "www");
  fs::current_path(folder);
  std::ofstream("www/small.html") << std::string(247, 's') << '\n';
  const std::string cert = (folder / "cert.pem").string(), key = (folder / "key.pem").string();
  std::string why;
  Require(platform::MakeSelfSignedCertificate(cert, key, {"localhost"}, {"127.0.0.1"}, why),
          "a certificate");
  const std::shared_ptr<const platform::TlsContext> tls =
      platform::TlsContext::Load(cert, key, why);
  Require(tls != nullptr, "the certificate loaded");

  StreamCpu(tls);
  SmallFilesVsNginx(cert, key, tls);
  Handshakes(tls);
  fs::current_path("/");
  fs::remove_all(folder);
}
