#include "tests/support/accept_faults.h"

#include <sys/socket.h>

#include <cerrno>
#include <deque>
#include <mutex>

namespace {
std::mutex faultsLock;
std::deque<int> acceptFaults;  // guarded by faultsLock
}  // namespace

void FailNextAccepts(std::vector<int> errors) {
  std::lock_guard lock(faultsLock);
  acceptFaults.insert(acceptFaults.end(), errors.begin(), errors.end());
}

// The linker sends the program's accept4 calls here; __real_accept4 is the
// C library's (or a sanitizer's interceptor).
extern "C" int __real_accept4(int fd, sockaddr* address, socklen_t* length, int flags);

extern "C" int __wrap_accept4(int fd, sockaddr* address, socklen_t* length, int flags) {
  {
    std::lock_guard lock(faultsLock);
    if (!acceptFaults.empty()) {
      errno = acceptFaults.front();
      acceptFaults.pop_front();
      return -1;
    }
  }
  return __real_accept4(fd, address, length, flags);
}
