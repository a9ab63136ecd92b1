#include "tests/support/command.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

std::string RunCommand(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

bool ChromiumScreenshot(const std::string& url, const std::string& png, int width, int height) {
  std::string profile = (std::filesystem::temp_directory_path() / "owl-chromium-XXXXXX").string();
  if (!::mkdtemp(profile.data())) return false;
  std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--hide-scrollbars --timeout=4000 --user-data-dir=" +
      profile + " --window-size=" + std::to_string(width) + "," + std::to_string(height) +
      " --screenshot=" + png + " '" + url + "' >/dev/null 2>&1";
  RunCommand(command);
  std::filesystem::remove_all(profile);
  return std::filesystem::exists(png);
}

bool FirefoxScreenshot(const std::string& url, const std::string& png, int width, int height) {
  std::string profile = (std::filesystem::temp_directory_path() / "owl-firefox-XXXXXX").string();
  if (!::mkdtemp(profile.data())) return false;
  RunCommand("timeout 60 firefox-esr --headless --no-remote --profile " + profile +
             " --window-size=" + std::to_string(width) + "," + std::to_string(height) +
             " --screenshot " + png + " '" + url + "' >/dev/null 2>&1");
  std::filesystem::remove_all(profile);
  return std::filesystem::exists(png);
}

std::string ImageToRgb(const std::string& path) {
  return RunCommand("ffmpeg -v error -i " + path + " -f rawvideo -pix_fmt rgb24 -");
}

int WaitForChild(pid_t pid, int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}
