#include "server/connection_log.h"

#include <fcntl.h>
#include <unistd.h>

std::string FormatLogLine(const std::tm& when, const std::string& text) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S ", &when);
  return stamp + text + "\r\n";
}

int AppendLog(const std::string& text) {
  int fd = ::open(kLogFileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::string line = FormatLogLine(local, text);
  ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  return written > 0 ? 1 : 0;
}
