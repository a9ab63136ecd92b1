#include "platform/launcher.h"

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

extern char** environ;

namespace platform {

namespace {

// `path` itself, or a name in its folder that differs only in letter case.
std::string FindIgnoringCase(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_regular_file(path, error)) return path;
  fs::path wanted(path);
  fs::path folder = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error) &&
        ::strcasecmp(entry.path().filename().c_str(), wanted.filename().c_str()) == 0)
      return entry.path().string();
  }
  return {};
}

}  // namespace

int OpenDocument(const std::string& path) {
  std::string found = FindIgnoringCase(path);
  if (found.empty()) return kLaunchFileNotFound;
  char* argv[] = {const_cast<char*>("xdg-open"), found.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
    return kLaunchNoAssociation;
  // xdg-open hands the file on and returns at once; reap it off this thread.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return kLaunchStarted;
}

}  // namespace platform
