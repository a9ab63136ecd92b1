#include "keep/picture_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "keep/picture_names.h"
#include "platform/user_folders.h"

namespace keep {

namespace {

// Writes all of `bytes`; 0 or the errno value.
int WriteAll(int fd, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t k = ::write(fd, bytes, size);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return k < 0 ? errno : ENOSPC;
    bytes += k;
    size -= static_cast<size_t>(k);
  }
  return 0;
}

}  // namespace

int WriteWholeFile(const std::string& folder, const std::string& name, const uint8_t* bytes,
                   size_t size, std::string& written) {
  const std::string temporary = folder + "/." + name + ".part-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int error = WriteAll(fd, bytes, size);
  if (::close(fd) != 0 && error == 0) error = errno;
  // link() takes the name only when nobody has it: a name taken meanwhile
  // moves on to the next free one.
  std::string target;
  while (error == 0) {
    target = FreeName(name, [&](const std::string& candidate) {
      return ::access((folder + "/" + candidate).c_str(), F_OK) == 0;
    });
    const std::string path = folder + "/" + target;
    if (::link(temporary.c_str(), path.c_str()) == 0) break;
    // A file system without hard links (FAT): a rename, over a name that
    // was free a moment ago.
    if ((errno == EPERM || errno == EOPNOTSUPP) && ::rename(temporary.c_str(), path.c_str()) == 0)
      break;
    if (errno != EEXIST) error = errno;
  }
  ::unlink(temporary.c_str());
  if (error == 0) written = target;
  return error;
}

int ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size) {
  const std::string temporary = path + ".part-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int error = WriteAll(fd, bytes, size);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

std::string WriteFailedMessage(int error, const std::string& outcome, const std::string& where) {
  if (error == ENOSPC || error == EDQUOT) return "The disk is full: " + outcome + ". " + where;
  std::string text = outcome + ": " + std::strerror(error) + ". " + where;
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

int TryFolder(const std::string& folder) {
  if (!platform::MakeFolders(folder)) return errno;
  const std::string probe = folder + "/.owlglance-" + std::to_string(::getpid());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  ::close(fd);
  ::unlink(probe.c_str());
  return 0;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

int64_t FreeBytes(const std::string& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

}  // namespace keep
