#include "platform/running_mark.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

RunningMark::~RunningMark() {
  if (fd_ >= 0) ::close(fd_);  // the lock goes with the descriptor
}

bool RunningMark::Hold(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  return fd_ >= 0 && ::flock(fd_, LOCK_SH) == 0;
}

bool RunningMark::IsHeld(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;  // never made: nothing ever held it
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

}  // namespace platform
