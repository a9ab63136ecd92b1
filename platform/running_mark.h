#pragma once

#include <string>

namespace platform {

// A mark a running program holds on a file (a shared flock) while it runs,
// so that another process can tell whether one is running: a command that
// changes the settings says "from now on" only when a running server takes
// them. The file stays; only the lock comes and goes with the holder.
class RunningMark {
 public:
  RunningMark() = default;
  ~RunningMark();
  RunningMark(const RunningMark&) = delete;
  RunningMark& operator=(const RunningMark&) = delete;

  // Holds the mark on `path` (made when missing) until destroyed; false
  // when the file can't be opened.
  bool Hold(const std::string& path);

  // Whether any process holds the mark on `path`.
  static bool IsHeld(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace platform
