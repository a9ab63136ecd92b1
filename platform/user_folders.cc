#include "platform/user_folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

}  // namespace

std::string UserFolder(const char* which) {
  const std::string command = std::string("xdg-user-dir ") + which + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return Home();
  std::string folder;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe)) folder += buffer;
  ::pclose(pipe);
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '/')) folder.pop_back();
  return folder.empty() || folder.front() != '/' ? Home() : folder;
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = path.find('/', slash + 1);
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

}  // namespace platform
