#include "platform/poller.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace platform {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Wakeup::~Wakeup() {
  if (fd_ >= 0) ::close(fd_);
}

void Wakeup::Signal() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n =
      ::write(fd_, &one, sizeof one);  // a full counter is still signalled
}

void Wakeup::Clear() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

Poller::Poller() : fd_(::epoll_create1(EPOLL_CLOEXEC)) {}

Poller::~Poller() {
  if (fd_ >= 0) ::close(fd_);
}

bool Poller::Add(int fd, uint32_t what, void* tag) {
  epoll_event event{};
  event.events = EPOLLET | EPOLLRDHUP;
  if (what & kReadable) event.events |= EPOLLIN;
  if (what & kWritable) event.events |= EPOLLOUT;
  event.data.ptr = tag;
  return ::epoll_ctl(fd_, EPOLL_CTL_ADD, fd, &event) == 0;
}

void Poller::Remove(int fd) { ::epoll_ctl(fd_, EPOLL_CTL_DEL, fd, nullptr); }

int Poller::Wait(Event* events, int capacity, int ms) {
  constexpr int kBatch = 64;
  std::array<epoll_event, kBatch> ready;
  const int n = ::epoll_wait(fd_, ready.data(), std::min(capacity, kBatch), ms);
  if (n < 0) return 0;  // EINTR: the caller looks again
  for (int i = 0; i < n; ++i) {
    const uint32_t got = ready[static_cast<size_t>(i)].events;
    events[i].tag = ready[static_cast<size_t>(i)].data.ptr;
    events[i].what = ((got & (EPOLLIN | EPOLLRDHUP)) ? kReadable : 0) |
                     ((got & EPOLLOUT) ? kWritable : 0) |
                     ((got & (EPOLLHUP | EPOLLERR)) ? kHangUp : 0);
  }
  return n;
}

}  // namespace platform
