#include "tests/support/test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

}  // namespace

bool TestClient::Connect(int port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(port);
  return fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool TestClient::ConnectFrom(const char* source, int port, int sourcePort) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_port = htons(static_cast<uint16_t>(sourcePort));
  sockaddr_in addr = Loopback(port);
  return fd_ >= 0 && ::inet_pton(AF_INET, source, &from.sin_addr) == 1 &&
         ::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
         ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool TestClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    long k = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (k <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(k));
  }
  return true;
}

std::string TestClient::ReadExactly(size_t n, int ms) {
  std::string out;
  int64_t deadline = platform::SteadyMillis() + ms;
  char buf[65536];
  while (out.size() < n) {
    int left = static_cast<int>(deadline - platform::SteadyMillis());
    pollfd p{fd_, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
    long k = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
    if (k <= 0) break;
    out.append(buf, static_cast<size_t>(k));
  }
  return out;
}

std::string TestClient::ReadAll(int ms, bool* closed, bool* reset) {
  std::string out;
  int64_t deadline = platform::SteadyMillis() + ms;
  char buf[65536];
  if (closed) *closed = false;
  if (reset) *reset = false;
  for (;;) {
    int left = static_cast<int>(deadline - platform::SteadyMillis());
    pollfd p{fd_, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
    long k = ::recv(fd_, buf, sizeof buf, 0);
    if (k <= 0) {
      if (closed) *closed = true;
      if (reset) *reset = k < 0 && errno == ECONNRESET;
      break;
    }
    out.append(buf, static_cast<size_t>(k));
  }
  return out;
}

void TestClient::Reset() {
  linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Close();
}

void TestClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

std::string Exchange(int port, std::string_view request, int ms) {
  TestClient client(port);
  client.Send(request);
  return client.ReadAll(ms);
}
