#include "server/static_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "server/send_all.h"

namespace {

constexpr char kOk[] = "HTTP/1.0 200 OK\r\n\r\n";
constexpr char kNotFound[] = "HTTP/1.0 404 File Not Found\r\n\r\n";
constexpr size_t kPieceSize = 512;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Where the path starts: past the leading "/", or past the host of an
// absolute URL.
size_t PathStart(const char* url, size_t length) {
  if (std::strstr(url, "http:") && length >= 9) {
    if (const char* slash = std::strchr(url + 8, '/')) return static_cast<size_t>(slash - url) + 1;
  }
  return 1;
}

}  // namespace

bool ResolvePath(const char* url, std::string& path) {
  size_t length = std::strlen(url);
  path = "www/";
  for (size_t i = std::min(PathStart(url, length), length); i < length; ++i) {
    if (url[i] != '%') {
      path += url[i];
      continue;
    }
    int high = i + 1 < length ? HexValue(url[i + 1]) : -1;
    int low = i + 2 < length ? HexValue(url[i + 2]) : -1;
    if (high < 0 || low < 0) return false;
    path += static_cast<char>(high * 16 + low);
    i += 2;
  }
  path.resize(std::strlen(path.c_str()));  // a decoded NUL ends the path
  return path.find("..") == std::string::npos;
}

int SendFile(const std::string& path, bool withHeader, platform::Socket& connection) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  struct stat info {};
  if (!file || ::fstat(::fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode))
    return kFileNotOpened;
  if (withHeader && !SendAll(kOk, sizeof kOk - 1, connection)) return kFileSendFailed;
  char piece[kPieceSize];
  while (!std::feof(file.get())) {
    size_t n = std::fread(piece, 1, sizeof piece, file.get());
    if (!SendAll(piece, static_cast<int>(n), connection)) return kFileSendFailed;
    if (n < sizeof piece && std::ferror(file.get())) return kFileSendFailed;
  }
  return kFileSent;
}

void ServeStaticFile(const char* url, platform::Socket& connection) {
  std::string path;
  if (!ResolvePath(url, path)) return;
  if (SendFile(path == "www/" ? "www/index.html" : path, true, connection) == kFileNotOpened) {
    SendAll(kNotFound, sizeof kNotFound - 1, connection);
    SendFile("www/404.html", false, connection);
  }
}
