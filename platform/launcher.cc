#include "platform/launcher.h"

#include <poll.h>
#include <spawn.h>
#include <strings.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/registry.h"

extern char** environ;

namespace platform {

namespace {

constexpr int kVerdictWaitMs = 2000;

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

// WinExec's code for an exec that failed with `error`.
int ExecFailure(int error) {
  switch (error) {
    case ENOENT:
      return kLaunchFileNotFound;
    case ENOTDIR:
      return kLaunchPathNotFound;
    case EACCES:
    case EPERM:
      return kLaunchAccessDenied;
    case ENOEXEC:
      return kLaunchBadFormat;
    default:
      return kLaunchOutOfResources;
  }
}

// Starts `argv` without a shell; 0 with `pid` set, else the errno value.
int Spawn(std::vector<std::string> args, pid_t& pid) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
}

// The started program is reaped off this thread.
void ReapLater(pid_t pid) {
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) args.push_back(current);
  return args;
}

// Waits up to `ms` for `pid` to end; its exit status, or -1 if it runs on.
int WaitForExit(pid_t pid, int ms) {
  int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd ready{fd, POLLIN, 0};
    ::poll(&ready, 1, ms);
    ::close(fd);
  }
  int status = 0;
  if (::waitpid(pid, &status, WNOHANG) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int OpenDocument(const std::string& path, const std::string& mimeType) {
  std::string found = FindIgnoringCase(path);
  if (found.empty()) return kLaunchFileNotFound;
  if (!mimeType.empty() && !AnyProgramOpens(mimeType)) return kLaunchNoAssociation;
  pid_t pid = 0;
  if (Spawn({"xdg-open", found}, pid) != 0) return kLaunchNoAssociation;
  // xdg-open hands the file on and returns at once.
  ReapLater(pid);
  return kLaunchStarted;
}

int OpenUrl(const std::string& url) {
  pid_t pid = 0;
  if (Spawn({"xdg-open", url}, pid) != 0) return kLaunchNoAssociation;
  int status = WaitForExit(pid, kVerdictWaitMs);
  if (status < 0) {
    ReapLater(pid);
    return kLaunchStarted;
  }
  // xdg-open: 0 done, 2 no such file, 3 no program found, 4 the program failed.
  if (status == 0) return kLaunchStarted;
  return status == 2 ? kLaunchFileNotFound : kLaunchNoAssociation;
}

int RunCommandLine(const std::string& commandLine) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) return kLaunchFileNotFound;
  pid_t pid = 0;
  if (int error = Spawn(args, pid); error != 0) return ExecFailure(error);
  ReapLater(pid);
  return kLaunchStarted;
}

}  // namespace platform
