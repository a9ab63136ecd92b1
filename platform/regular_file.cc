#include "platform/regular_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
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

FileStamp StampFrom(const struct stat& info) {
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), info.st_size,
          info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

}  // namespace

bool StampOf(const std::string& path, FileStamp& stamp) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  stamp = StampFrom(info);
  return true;
}

int RegularFile::Detach() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool RegularFile::OpenInside(const std::string& folder, const std::string& path) {
  Close();
  // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and
  // is then refused below like anything else that is not a regular file.
  constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  // The kernel resolves the path without leaving the folder: one call. A
  // link it won't follow that way (an absolute one, or one leading out) is
  // settled by comparing real paths.
  if (path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
      path[folder.size()] == '/') {
    int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      open_how how{};
      how.flags = kFlags;
      how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
      fd_ = static_cast<int>(
          ::syscall(SYS_openat2, dir, path.c_str() + folder.size() + 1, &how, sizeof how));
      const int error = errno;
      ::close(dir);
      if (fd_ < 0 && error != EXDEV && error != ENOSYS) return false;
    }
  }
  if (fd_ < 0) {
    std::string real = RealPath(path);
    if (real.empty() || !IsInside(real, RealPath(folder))) return false;
    fd_ = ::open(real.c_str(), kFlags | O_NOFOLLOW);
  }
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    Close();
    return false;
  }
  size_ = info.st_size;
  modified_ = info.st_mtim.tv_sec;
  stamp_ = StampFrom(info);
  return true;
}

long RegularFile::Read(void* into, size_t count) { return ::read(fd_, into, count); }

void RegularFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  modified_ = 0;
  stamp_ = {};
}

}  // namespace platform
