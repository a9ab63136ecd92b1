#include "server/static_files.h"

#include <cstdio>
#include <cstring>

#include "platform/regular_file.h"
#include "server/byte_range.h"
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
  auto sent = [](bool ok) { return ok ? FileAnswer::kSent : FileAnswer::kSendFailed; };
  if (request.ifModifiedSince >= file.ModifiedSeconds()) {
    ResponseHead head("304 Not Modified");
    head.Field("Last-Modified", modified).End();
    return sent(SendHead(head, request, connection));
  }
  // A range of another version of the file (If-Range names another date)
  // is no range of this one: the whole file goes.
  const ByteRange range = request.ifRange.empty() || request.ifRange == modified
                              ? ReadByteRange(request.range, file.Size())
                              : ByteRange{};
  char contentRange[64];
  if (range.kind == ByteRange::Kind::kUnsatisfiable) {
    std::snprintf(contentRange, sizeof contentRange, "bytes */%lld",
                  static_cast<long long>(file.Size()));
    ResponseHead head("416 Range Not Satisfiable");
    head.Field("Content-Range", contentRange).Field("Content-Length", 0).End();
    return sent(SendHead(head, request, connection));
  }
  const bool part = range.kind == ByteRange::Kind::kPart;
  const int64_t first = part ? range.first : 0;
  const int64_t length = part ? range.last - range.first + 1 : file.Size();
  ResponseHead head(part ? "206 Partial Content" : "200 OK");
  head.Field("Content-Type", ContentTypeFor(path)).Field("Content-Length", length);
  if (part) {
    std::snprintf(contentRange, sizeof contentRange, "bytes %lld-%lld/%lld",
                  static_cast<long long>(range.first), static_cast<long long>(range.last),
                  static_cast<long long>(file.Size()));
    head.Field("Content-Range", contentRange);
  }
  head.Field("Last-Modified", modified).Field("Accept-Ranges", "bytes").End();
  if (request.headOnly) return sent(SendHead(head, request, connection));
  if (!part && file.Size() <= kSmallFile) {
    // Head and body in one send: a page or a script costs one system call.
    std::string response(head.Text());
    const size_t at = response.size();
    response.resize(at + static_cast<size_t>(file.Size()));
    if (file.Read(response.data() + at, static_cast<size_t>(file.Size())) != file.Size())
      return FileAnswer::kSendFailed;
    return sent(SendAll(response.data(), static_cast<int>(response.size()), connection,
                        request.stop) == SendResult::kSent);
  }
  connection.SetCorked(true);
  const bool ok =
      SendHead(head, request, connection) &&
      SendFileBytes(file.Fd(), first, length, connection, request.stop) == SendResult::kSent;
  connection.SetCorked(false);
  return sent(ok);
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
    static_cast<void>(
        SendFileBytes(page.Fd(), 0, page.Size(), connection, request.stop));  // the last
}

}  // namespace server
