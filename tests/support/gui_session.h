#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

// The desktop program on a private Xvfb display, driven through its test
// driver: commands go to the FIFO "in", answers come back in "out".
class GuiSession {
 public:
  // Starts Xvfb and the program in the current folder with the registry
  // below `config`.
  GuiSession(const std::filesystem::path& work, const std::filesystem::path& config);
  ~GuiSession();

  bool Started() const { return programPid_ > 0; }
  void Send(const std::string& command);
  // Waits up to `ms` for a line of "out" that starts with `prefix` and was
  // written after the first `skip` lines; returns it, or "" on time-out.
  std::string WaitForLine(const std::string& prefix, int ms = 10000, size_t skip = 0);
  size_t LineCount() const;
  // Sends "status" until the panes read `expected` ("a|b|c"); true if so.
  bool StatusBecomes(const std::string& expected, int ms = 10000);
  // Runs xdotool on the session's display with these arguments; its output.
  std::string Xdotool(const std::string& arguments);
  // A screenshot of the display as packed RGB, 1024 x 768.
  std::string Screenshot();
  // Waits up to `ms` for the program to end; its exit status, or -1.
  int WaitForExit(int ms);
  pid_t Pid() const { return programPid_; }

 private:
  std::filesystem::path driver_;
  int display_ = -1;
  pid_t xvfbPid_ = -1, programPid_ = -1;
  int in_ = -1;
};
