#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/test_client.h"

// The most a running viewer may go without data in these tests. About 40 ms
// on an idle machine (a picture is 33 ms), but the loop runs at the lowest
// priority and a sanitizer build beside other tests has shown 590 ms; a loop
// held up by a request or a camera waits seconds, which this still fails.
inline constexpr std::chrono::milliseconds kWorstGapOnABusyMachine{1000};

// The longest time any of `viewers` (streams already running) went without
// data over `seconds`, while a visitor keeps opening a stream on `port`,
// reading a little and resetting it. Zero when a viewer's connection ended.
inline std::chrono::milliseconds WorstGapWhileAVisitorComesAndGoes(std::vector<TestClient>& viewers,
                                                                   int port, int seconds) {
  using namespace std::chrono;
  std::atomic<bool> done{false};
  std::thread visitor([&] {
    while (!done) {
      TestClient viewer(port);
      viewer.Send("GET /video HTTP/1.0\r\n\r\n");
      viewer.ReadExactly(5000, 1000);
      viewer.Reset();
    }
  });
  std::vector<pollfd> fds;
  for (auto& viewer : viewers) fds.push_back({viewer.Fd(), POLLIN, 0});
  std::vector<steady_clock::time_point> lastData(fds.size(), steady_clock::now());
  milliseconds worst{0};
  static char scratch[65536];
  bool ended = false;
  for (auto end = steady_clock::now() + std::chrono::seconds(seconds);
       steady_clock::now() < end && !ended;) {
    ::poll(fds.data(), fds.size(), 50);
    const auto now = steady_clock::now();
    for (size_t i = 0; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ended = ended || ::recv(fds[i].fd, scratch, sizeof scratch, MSG_DONTWAIT) <= 0;
      worst = std::max(worst, duration_cast<milliseconds>(now - lastData[i]));
      lastData[i] = now;
    }
  }
  done = true;
  visitor.join();
  return ended ? milliseconds(0) : worst;
}
