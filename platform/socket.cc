#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>

namespace platform {

namespace {
std::mutex faultsLock;
std::deque<int> acceptFaults;  // guarded by faultsLock

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void FailNextAccepts(std::vector<int> errors) {
  std::lock_guard lock(faultsLock);
  acceptFaults.insert(acceptFaults.end(), errors.begin(), errors.end());
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Detach();
  }
  return *this;
}

int Socket::Detach() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void Socket::CloseGracefully(int ms, const std::function<bool()>& enough) {
  constexpr int kStepMs = 100;  // how soon `enough` is seen
  if (fd_ < 0) return;
  if (::shutdown(fd_, SHUT_WR) == 0) {
    char scratch[4096];
    for (int64_t deadline = NowMs() + ms;;) {
      int left = static_cast<int>(deadline - NowMs());
      int unacknowledged = 0;
      if (enough && enough() && ::ioctl(fd_, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0)
        break;
      pollfd ready{fd_, POLLIN, 0};
      if (left <= 0) break;
      int polled = ::poll(&ready, 1, enough ? std::min(left, kStepMs) : left);
      if (polled < 0) break;
      if (polled == 0) continue;
      long n = ::recv(fd_, scratch, sizeof scratch, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
  }
  Close();
}

void Socket::DiscardPending() {
  char scratch[4096];
  while (::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
  }
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int Socket::Listen(int port, int backlog) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return kBindFailed;
  int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (port < 0 || port > 65535 ||
      ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !SetNonBlocking()) {
    Close();
    return kBindFailed;
  }
  if (::listen(fd_, backlog) != 0) {
    Close();
    return kListenFailed;
  }
  return kListening;
}

int Socket::Accept(Socket& out) {
  {
    std::lock_guard lock(faultsLock);
    if (!acceptFaults.empty()) {
      int error = acceptFaults.front();
      acceptFaults.pop_front();
      return error;
    }
  }
  int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return errno == EWOULDBLOCK ? EAGAIN : errno;
  out = Socket(fd);
  return 0;
}

bool Socket::SetNonBlocking() {
  int flags = ::fcntl(fd_, F_GETFL);
  return flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
}

long Socket::Send(const void* data, size_t length) {
  return ::send(fd_, data, length, MSG_NOSIGNAL);
}

long Socket::Receive(void* data, size_t length) { return ::recv(fd_, data, length, 0); }

int Socket::BytesAvailable() {
  int count = 0;
  return ::ioctl(fd_, FIONREAD, &count) == 0 ? count : -1;
}

static int WaitFor(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  int r = ::poll(&p, 1, ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

int Socket::WaitReadable(int ms) { return WaitFor(fd_, POLLIN, ms); }
int Socket::WaitWritable(int ms) { return WaitFor(fd_, POLLOUT, ms); }

bool Socket::PeerAddress(std::string& out) const {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      addr.sin_family != AF_INET)
    return false;
  char text[INET_ADDRSTRLEN];
  if (!::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text)) return false;
  out = text;
  return true;
}

int Socket::LocalPort() const {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
  return ntohs(addr.sin_port);
}

}  // namespace platform
