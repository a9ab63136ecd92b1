#include "bench/bench_support.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tests/support/test_client.h"

extern char** environ;

double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[std::min(index, samples.size() - 1)];
}

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double WallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6);
  return 0;
}

int ThreadCount() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                        std::filesystem::directory_iterator()));
}

pid_t SpawnDrain(int port, const char* request, int count) {
  std::string portText = std::to_string(port), countText = std::to_string(count);
  char* argv[] = {const_cast<char*>("bench"),
                  const_cast<char*>("--drain"),
                  portText.data(),
                  const_cast<char*>(request),
                  countText.data(),
                  nullptr};
  pid_t pid = 0;
  ::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ);
  return pid;
}

bool RunDrainIfAsked(int argc, char** argv, int& status) {
  if (argc != 5 || std::strcmp(argv[1], "--drain") != 0) return false;
  const int port = std::atoi(argv[2]), count = std::atoi(argv[4]);
  std::vector<TestClient> clients;
  for (int i = 0; i < count; ++i) {
    clients.emplace_back(port);
    if (*argv[3]) clients.back().Send(argv[3]);
    // The listen backlog is 5: a larger burst would wait for SYN retries.
    if (i % 5 == 4) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<std::thread> readers;
  // Read and discard: keeping the bytes would cost the readers more than the
  // server spends sending them.
  for (auto& client : clients)
    readers.emplace_back([&client] {
      char buffer[65536];
      while (::recv(client.Fd(), buffer, sizeof buffer, 0) > 0) {
      }
    });
  for (auto& reader : readers) reader.join();
  status = 0;
  return true;
}
