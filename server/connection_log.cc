#include "server/connection_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace server {

std::string FormatLogLine(const std::tm& when, const std::string& text) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S ", &when);
  return stamp + text + "\r\n";
}

bool AppendLog(const std::string& text) {
  // Never waits: a FIFO or a device in the log's place is not written to.
  int fd =
      ::open(kLogFileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::string line = FormatLogLine(local, text);
  ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  return written > 0;
}

}  // namespace server
