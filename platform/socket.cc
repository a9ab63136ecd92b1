#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

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

void Socket::DiscardPending() {
  char scratch[4096];
  while (::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
  }
}

void Socket::ShutdownSending() { ::shutdown(fd_, SHUT_WR); }

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

// A socket bound to every local address at `port`: IPv6 with IPv4 mapped
// into it when `family` is AF_INET6. -1 with errno set when it fails.
int BoundSocket(int family, int port) {
  int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1, off = 0;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage storage{};
  socklen_t length;
  if (family == AF_INET6) {
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    auto* addr = reinterpret_cast<sockaddr_in6*>(&storage);
    addr->sin6_family = AF_INET6;
    addr->sin6_addr = in6addr_any;
    addr->sin6_port = htons(static_cast<uint16_t>(port));
    length = sizeof *addr;
  } else {
    auto* addr = reinterpret_cast<sockaddr_in*>(&storage);
    addr->sin_family = AF_INET;
    addr->sin_addr.s_addr = htonl(INADDR_ANY);
    addr->sin_port = htons(static_cast<uint16_t>(port));
    length = sizeof *addr;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// Errors that say this system has no IPv6, rather than that the port is taken.
bool NoIpv6(int error) {
  return error == EAFNOSUPPORT || error == EADDRNOTAVAIL || error == EPROTONOSUPPORT;
}

}  // namespace

int Socket::Listen(int port, int backlog) {
  Close();
  if (port < 0 || port > 65535) return kBindFailed;
  fd_ = BoundSocket(AF_INET6, port);
  if (fd_ < 0 && NoIpv6(errno)) fd_ = BoundSocket(AF_INET, port);
  if (fd_ < 0 || !SetNonBlocking()) {
    const bool notPermitted = fd_ < 0 && (errno == EACCES || errno == EPERM);
    Close();
    return notPermitted ? kBindNotPermitted : kBindFailed;
  }
  if (::listen(fd_, backlog) != 0) {
    Close();
    return kListenFailed;
  }
  return kListening;
}

int Socket::Accept(Socket& out) {
  int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return errno == EWOULDBLOCK ? EAGAIN : errno;
  out = Socket(fd);
  return 0;
}

bool Socket::SetNonBlocking() {
  int flags = ::fcntl(fd_, F_GETFL);
  return flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
}

void Socket::SetCorked(bool corked) {
  int on = corked ? 1 : 0;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
}

long Socket::Send(const void* data, size_t length) {
  return ::send(fd_, data, length, MSG_NOSIGNAL);
}

long Socket::SendPieces(const iovec* pieces, size_t count, bool more) {
  msghdr message{};
  message.msg_iov = const_cast<iovec*>(pieces);
  message.msg_iovlen = count;
  return ::sendmsg(fd_, &message, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
}

long Socket::SendFile(int fileFd, long long& offset, size_t count) {
  // sendfile has no MSG_NOSIGNAL: a peer gone mid-file would raise SIGPIPE,
  // whose default ends the process. It is blocked for this thread around the
  // call, and one it raised (also with a part sent) is taken off before the
  // mask is restored.
  sigset_t pipe, before;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe, &before);
  off_t at = static_cast<off_t>(offset);
  const ssize_t sent = ::sendfile(fd_, fileFd, &at, count);
  const int error = errno;
  sigset_t pending;
  if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
    const timespec none{0, 0};
    ::sigtimedwait(&pipe, nullptr, &none);
  }
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  errno = error;
  offset = at;
  return sent;
}

long Socket::Receive(void* data, size_t length) { return ::recv(fd_, data, length, 0); }

namespace {

IoResult Outcome(long n) {
  if (n > 0) return {IoStatus::kDone, static_cast<size_t>(n)};
  if (n == 0) return {IoStatus::kClosed, 0};
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {IoStatus::kWouldBlock, 0};
  return {IoStatus::kFailed, 0};
}

// Errors of accept(2) that concern one pending connection, not the
// listener: Linux reports a pending connection's network error through
// accept.
bool IsTransient(int error) {
  switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return true;
    default:
      return false;
  }
}

}  // namespace

IoResult Socket::Read(void* data, size_t length) { return Outcome(::recv(fd_, data, length, 0)); }

IoResult Socket::Write(const iovec* pieces, size_t count, bool more) {
  const long n = SendPieces(pieces, count, more);
  if (n == 0) return {IoStatus::kWouldBlock, 0};  // nothing asked, or no room
  return Outcome(n);
}

IoResult Socket::WriteFile(int fileFd, long long& offset, size_t count) {
  const long n = SendFile(fileFd, offset, count);
  if (n == 0 && count > 0) return {IoStatus::kFailed, 0};  // the file shrank
  if (n == 0) return {IoStatus::kDone, 0};
  return Outcome(n);
}

AcceptStatus Socket::AcceptNonBlocking(Socket& out) {
  const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd >= 0) {
    out = Socket(fd);
    return AcceptStatus::kAccepted;
  }
  const int error = errno;
  if (error == EAGAIN || error == EWOULDBLOCK) return AcceptStatus::kNonePending;
  if (IsTransient(error)) return AcceptStatus::kTryAgain;
  if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
    return AcceptStatus::kOutOfDescriptors;
  return AcceptStatus::kFailed;
}

int RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  constexpr rlim_t kMost = 1 << 20;
  return static_cast<int>(limit.rlim_cur == RLIM_INFINITY ? kMost
                                                          : std::min(limit.rlim_cur, kMost));
}

int Socket::BytesAvailable() {
  int count = 0;
  return ::ioctl(fd_, FIONREAD, &count) == 0 ? count : -1;
}

int Socket::QueuedBytes() const {
  int queued = 0;
  return ::ioctl(fd_, SIOCOUTQ, &queued) == 0 ? queued : -1;
}

static int WaitFor(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  int r = ::poll(&p, 1, ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

int Socket::WaitReadable(int ms) { return WaitFor(fd_, POLLIN, ms); }

bool Socket::PeerIp(IpAddress& out) const {
  sockaddr_storage storage{};
  socklen_t len = sizeof storage;
  if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&storage), &len) != 0) return false;
  if (storage.ss_family == AF_INET) {
    const auto* b =
        reinterpret_cast<const uint8_t*>(&reinterpret_cast<sockaddr_in*>(&storage)->sin_addr);
    out = IpAddress::V4(b[0], b[1], b[2], b[3]);
    return true;
  }
  if (storage.ss_family != AF_INET6) return false;
  std::memcpy(out.bytes.data(), &reinterpret_cast<sockaddr_in6*>(&storage)->sin6_addr, 16);
  return true;
}

namespace {

bool AddressText(const sockaddr_storage& storage, std::string& out) {
  char text[INET6_ADDRSTRLEN];
  const char* written = nullptr;
  if (storage.ss_family == AF_INET) {
    written = ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
                          sizeof text);
  } else if (storage.ss_family == AF_INET6) {
    const in6_addr& addr = reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
    // An IPv4 client of the dual-stack listener: shown as IPv4, as before.
    written = IN6_IS_ADDR_V4MAPPED(&addr)
                  ? ::inet_ntop(AF_INET, &addr.s6_addr[12], text, sizeof text)
                  : ::inet_ntop(AF_INET6, &addr, text, sizeof text);
  }
  if (!written) return false;
  out = text;
  return true;
}

}  // namespace

bool Socket::PeerAddress(std::string& out) const {
  sockaddr_storage storage{};
  socklen_t len = sizeof storage;
  return ::getpeername(fd_, reinterpret_cast<sockaddr*>(&storage), &len) == 0 &&
         AddressText(storage, out);
}

bool Socket::LocalAddress(std::string& out) const {
  sockaddr_storage storage{};
  socklen_t len = sizeof storage;
  return ::getsockname(fd_, reinterpret_cast<sockaddr*>(&storage), &len) == 0 &&
         AddressText(storage, out);
}

IoResult Socket::Peek(void* data, size_t length) {
  return Outcome(::recv(fd_, data, length, MSG_PEEK));
}

}  // namespace platform
