#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace platform {

namespace {

// The path with every link resolved, or "" when it doesn't exist.
std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), std::free);
  return real ? std::string(real.get()) : std::string();
}

bool IsInside(const std::string& real, const std::string& folder) {
  return !folder.empty() && real.size() > folder.size() &&
         real.compare(0, folder.size(), folder) == 0 &&
         (folder.back() == '/' || real[folder.size()] == '/');
}

}  // namespace

bool RegularFile::OpenInside(const std::string& folder, const std::string& path) {
  Close();
  std::string real = RealPath(path);
  if (real.empty() || !IsInside(real, RealPath(folder))) return false;
  // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and
  // is then refused below like anything else that is not a regular file.
  fd_ = ::open(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    Close();
    return false;
  }
  size_ = info.st_size;
  modified_ = info.st_mtim.tv_sec;
  return true;
}

void RegularFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  modified_ = 0;
}

}  // namespace platform
