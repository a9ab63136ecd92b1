#include "tests/support/gui_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/command.h"

extern char** environ;

namespace {

using namespace std::chrono;

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

GuiSession::GuiSession(const std::filesystem::path& work, const std::filesystem::path& config)
    : driver_(work / "driver") {
  std::filesystem::create_directories(driver_);
  ::mkfifo((driver_ / "in").c_str(), 0600);
  // Xvfb picks a free display and tells its number through a pipe.
  int pipe[2];
  if (::pipe(pipe) != 0) return;
  std::string fd = std::to_string(pipe[1]);
  char* xvfbArgs[] = {const_cast<char*>("Xvfb"),
                      const_cast<char*>("-displayfd"),
                      fd.data(),
                      const_cast<char*>("-screen"),
                      const_cast<char*>("0"),
                      const_cast<char*>("1024x768x24"),
                      const_cast<char*>("-nolisten"),
                      const_cast<char*>("tcp"),
                      nullptr};
  if (::posix_spawnp(&xvfbPid_, "Xvfb", nullptr, nullptr, xvfbArgs, environ) != 0) return;
  ::close(pipe[1]);
  char number[16] = {};
  if (::read(pipe[0], number, sizeof number - 1) > 0) display_ = std::atoi(number);
  ::close(pipe[0]);
  if (display_ < 0) return;

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back("DISPLAY=:" + std::to_string(display_));
  env.push_back("XDG_CONFIG_HOME=" + config.string());
  env.push_back("OWLGLANCE_TEST_DRIVER=" + driver_.string());
  env.push_back("NO_AT_BRIDGE=1");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  char* args[] = {const_cast<char*>(OWLGLANCE_PROGRAM), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, (driver_ / "stderr.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (::posix_spawn(&programPid_, OWLGLANCE_PROGRAM, &actions, nullptr, args, envp.data()) != 0)
    programPid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  // Read and write, so opening never waits for the program's side.
  in_ = ::open((driver_ / "in").c_str(), O_RDWR | O_CLOEXEC);
  if (WaitForLine("ready", 20000).empty()) {
    ::kill(programPid_, SIGKILL);
    ::waitpid(programPid_, nullptr, 0);
    programPid_ = -1;
  }
}

GuiSession::~GuiSession() {
  if (in_ >= 0) ::close(in_);
  if (programPid_ > 0) {
    ::kill(programPid_, SIGKILL);
    ::waitpid(programPid_, nullptr, 0);
  }
  if (xvfbPid_ > 0) {
    ::kill(xvfbPid_, SIGTERM);
    ::waitpid(xvfbPid_, nullptr, 0);
  }
}

void GuiSession::Send(const std::string& command) {
  std::string line = command + "\n";
  [[maybe_unused]] ssize_t n = ::write(in_, line.data(), line.size());
}

size_t GuiSession::LineCount() const { return ReadLines(driver_ / "out").size(); }

std::string GuiSession::WaitForLine(const std::string& prefix, int ms, size_t skip) {
  auto deadline = steady_clock::now() + milliseconds(ms);
  do {
    auto lines = ReadLines(driver_ / "out");
    for (size_t i = skip; i < lines.size(); ++i)
      if (lines[i].rfind(prefix, 0) == 0) return lines[i];
    std::this_thread::sleep_for(milliseconds(20));
  } while (steady_clock::now() < deadline);
  return {};
}

bool GuiSession::StatusBecomes(const std::string& expected, int ms) {
  auto deadline = steady_clock::now() + milliseconds(ms);
  do {
    size_t skip = LineCount();
    Send("status");
    if (WaitForLine("status ", 2000, skip) == "status " + expected) return true;
    std::this_thread::sleep_for(milliseconds(100));
  } while (steady_clock::now() < deadline);
  return false;
}

std::string GuiSession::Xdotool(const std::string& arguments) {
  return RunCommand("DISPLAY=:" + std::to_string(display_) + " xdotool " + arguments);
}

std::string GuiSession::Screenshot() {
  std::string png = (driver_ / "shot.png").string();
  RunCommand("import -display :" + std::to_string(display_) + " -window root " + png);
  return ImageToRgb(png);
}

int GuiSession::WaitForExit(int ms) {
  int status = WaitForChild(programPid_, ms);
  if (status >= 0) programPid_ = -1;
  return status;
}
