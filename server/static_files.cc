#include "server/static_files.h"

#include <cstring>

#include "platform/regular_file.h"
#include "server/content_types.h"
#include "server/http_date.h"
#include "server/request_route.h"
#include "server/response_head.h"
#include "server/send_all.h"

namespace server {

namespace {

constexpr int64_t kSmallFile = 16 << 10;  // read and sent with its head; larger ones go by sendfile

// Where the path starts: past the leading "/", or past the host of an
// absolute URL.
size_t PathStart(const char* url, size_t length) {
  if (std::strstr(url, "http:") && length >= 9) {
    if (const char* slash = std::strchr(url + 8, '/')) return static_cast<size_t>(slash - url) + 1;
  }
  return 1;
}

bool SendHead(const ResponseHead& head, const FileRequest& request, platform::Socket& connection) {
  return SendAll(head.Data(), head.Size(), connection, request.stop) == SendResult::kSent;
}

}  // namespace

bool ResolvePath(const char* url, std::string& path) {
  size_t length = std::strlen(url);
  std::string decoded;
  if (!PercentDecode(std::string_view(url, length).substr(std::min(PathStart(url, length), length)),
                     decoded))
    return false;
  path = "www/" + decoded;
  path.resize(std::strlen(path.c_str()));  // a decoded NUL ends the path
  return path.find("..") == std::string::npos;
}

FileAnswer SendFile(const std::string& path, const FileRequest& request,
                    platform::Socket& connection) {
  platform::RegularFile file;
  if (!file.OpenInside(kWebFolder, path)) return FileAnswer::kNotOpened;
  const std::string modified = FormatHttpDate(file.ModifiedSeconds());
  if (request.ifModifiedSince >= file.ModifiedSeconds()) {
    ResponseHead head("304 Not Modified");
    head.Field("Last-Modified", modified).End();
    return SendHead(head, request, connection) ? FileAnswer::kSent : FileAnswer::kSendFailed;
  }
  ResponseHead head("200 OK");
  head.Field("Content-Type", ContentTypeFor(path))
      .Field("Content-Length", file.Size())
      .Field("Last-Modified", modified)
      .End();
  if (request.headOnly)
    return SendHead(head, request, connection) ? FileAnswer::kSent : FileAnswer::kSendFailed;
  if (file.Size() <= kSmallFile) {
    // Head and body in one send: a page or a script costs one system call.
    std::string response(head.Text());
    const size_t at = response.size();
    response.resize(at + static_cast<size_t>(file.Size()));
    if (file.Read(response.data() + at, static_cast<size_t>(file.Size())) != file.Size())
      return FileAnswer::kSendFailed;
    return SendAll(response.data(), static_cast<int>(response.size()), connection, request.stop) ==
                   SendResult::kSent
               ? FileAnswer::kSent
               : FileAnswer::kSendFailed;
  }
  connection.SetCorked(true);
  bool sent = SendHead(head, request, connection) &&
              SendFileBytes(file.Fd(), file.Size(), connection, request.stop) == SendResult::kSent;
  connection.SetCorked(false);
  return sent ? FileAnswer::kSent : FileAnswer::kSendFailed;
}

void ServeStaticFile(const char* url, const FileRequest& request, platform::Socket& connection) {
  std::string path;
  if (!ResolvePath(url, path)) return;
  if (SendFile(path == "www/" ? "www/index.html" : path, request, connection) !=
      FileAnswer::kNotOpened)
    return;
  // The 404 page goes out with its type and length; without it, the
  // status line alone.
  platform::RegularFile page;
  ResponseHead head("404 File Not Found");
  if (page.OpenInside(kWebFolder, "www/404.html"))
    head.Field("Content-Type", "text/html").Field("Content-Length", page.Size());
  head.End();
  if (SendHead(head, request, connection) && page.Fd() >= 0 && !request.headOnly)
    static_cast<void>(SendFileBytes(page.Fd(), page.Size(), connection, request.stop));  // the last
}

}  // namespace server
