#pragma once

#include <string>
#include <string_view>

// A plain blocking TCP client on 127.0.0.1 for tests.
class TestClient {
 public:
  TestClient() = default;
  explicit TestClient(int port) { Connect(port); }
  ~TestClient() { Close(); }
  TestClient(TestClient&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TestClient(const TestClient&) = delete;

  // Takes over a connected socket.
  static TestClient Adopt(int fd) {
    TestClient client;
    client.fd_ = fd;
    return client;
  }
  TestClient& operator=(TestClient&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }

  bool Connect(int port);
  // Connects from the loopback address `source` ("127.0.0.2"), and from
  // `sourcePort` when it is not 0.
  bool ConnectFrom(const char* source, int port, int sourcePort = 0);
  bool Send(std::string_view bytes);
  // Reads until the server closes or `ms` pass; `closed` tells which, and
  // `reset` whether the end was a reset rather than a clean close.
  std::string ReadAll(int ms, bool* closed = nullptr, bool* reset = nullptr);
  // Closes with a reset (SO_LINGER 0), as a browser tab that goes away may.
  void Reset();
  // Reads exactly `n` bytes unless the server closes or `ms` pass first.
  std::string ReadExactly(size_t n, int ms);
  void Close();
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// A TCP port on 127.0.0.1 that is free right now.
int FreePort();

// Sends `request` and returns everything until the server closes (at most `ms`).
std::string Exchange(int port, std::string_view request, int ms = 3000);
