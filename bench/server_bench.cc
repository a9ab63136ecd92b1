// Listener and client-session figures: how soon a connection is answered,
// and what idle clients cost.
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "platform/socket.h"
#include "server/listen_thread.h"
#include "tests/support/test_client.h"

namespace {

constexpr char kRequest[] = "POST / HTTP/1.0\r\n\r\n";

// Time from connect to the first byte of the answer, in milliseconds.
double TimeToFirstByte(int port) {
  double start = WallSeconds();
  TestClient client(port);
  client.Send(kRequest);
  client.ReadExactly(1, 5000);
  return (WallSeconds() - start) * 1000;
}

struct RunningListener {
  server::ServerControl control;
  std::unique_ptr<server::ListenThread> listener;

  explicit RunningListener(int clientLimit) {
    control.port = FreePort();
    control.clientLimit = clientLimit;
    control.SetStreamUrl("/video");
    listener = std::make_unique<server::ListenThread>(control);
    Require(listener->Thread().Create(), "the listener thread");
    listener->Thread().Resume();
    while (!TestClient().Connect(control.port))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The probe's thread is reaped at the next idle wake-up.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    while (control.connectedCount != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~RunningListener() {
    control.RequestStop();
    while (!listener->Thread().WaitForEnd(200)) {
    }
  }
};

// The same exchange against a bare blocking accept-and-answer loop: what the
// kernel and the client cost without the server.
double BaselineP99(int connections) {
  platform::Socket listener;
  int port = FreePort();
  Require(listener.Listen(port, 64) == platform::kListening, "the port");
  std::thread server([&] {
    for (int i = 0; i < connections; ++i) {
      platform::Socket connection;
      while (listener.WaitReadable(1000) == 1 && listener.Accept(connection) != 0) {
      }
      char buffer[64];
      static_cast<void>(connection.WaitReadable(1000));
      static_cast<void>(connection.Receive(buffer, sizeof buffer));
      static_cast<void>(connection.Send("HTTP/1.0 501 Not Implemented\r\n\r\n", 33));
    }
  });
  std::vector<double> samples;
  for (int i = 0; i < connections; ++i) samples.push_back(TimeToFirstByte(port));
  server.join();
  return Percentile(samples, 99);
}

void AcceptLatency() {
  constexpr int kConnections = 1000;
  RunningListener running(50);
  std::vector<double> samples;
  for (int i = 0; i < kConnections; ++i) {
    samples.push_back(TimeToFirstByte(running.control.port));
    // Pauses now and then let the listener fall idle in its wait.
    if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Figure("accept_latency_p99_ms", Percentile(samples, 99), "ms");
  Figure("accept_latency_p50_ms", Percentile(samples, 50), "ms");
  Figure("accept_latency_baseline_p99_ms", BaselineP99(kConnections), "ms");
}

void IdleClientsCpu() {
  RunningListener running(50);
  std::vector<TestClient> clients;
  for (int i = 0; i < 50; ++i) clients.emplace_back(running.control.port);
  while (running.control.arrivingCount < 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // A byte now and then, within the 6 s a request has to arrive.
  double cpu = ProcessCpuSeconds(), wall = WallSeconds();
  for (int tick = 0; tick < 2; ++tick) {
    for (auto& client : clients) client.Send("G");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  }
  double percent = (ProcessCpuSeconds() - cpu) / (WallSeconds() - wall) * 100;
  Figure("idle_clients_cpu_percent", percent, "%");
}

}  // namespace

int main() {
  AcceptLatency();
  IdleClientsCpu();
}
