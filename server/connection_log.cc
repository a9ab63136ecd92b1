#include "server/connection_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/thread_annotations.h"

namespace server {

namespace {

// The log for appending; -1 when it can't be opened or is no regular file.
int OpenLog() {
  // Never waits: a FIFO or a device in the log's place is not written to.
  int fd =
      ::open(kLogFileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Renames a log that has passed `limit` to kOldLogFileName. Sessions that
// found it full at once rename it once: the second finds the new log.
void KeepFullLogAside(int64_t limit) {
  static platform::Mutex renaming;
  platform::MutexLock lock(renaming);
  struct stat info {};
  if (::stat(kLogFileName, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= limit)
    ::rename(kLogFileName, kOldLogFileName);
}

}  // namespace

std::string FormatLogLine(const std::tm& when, const std::string& text) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%m/%d/%y %H:%M:%S ", &when);
  return stamp + text + "\r\n";
}

bool AppendLog(const std::string& text, int64_t limit) {
  int fd = OpenLog();
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size >= limit) {
    ::close(fd);
    KeepFullLogAside(limit);
    if ((fd = OpenLog()) < 0) return false;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::string line = FormatLogLine(local, text);
  ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  return written > 0;
}

void LogPeer(const platform::Socket& connection, const char* message, std::string& peer,
             Notices* notices) {
  std::string now;
  if (connection.PeerAddress(now)) peer = now;
  if (peer.empty()) return;
  const bool written = AppendLog(message + peer);
  if (notices) notices->LogWrite(written);
}

}  // namespace server
