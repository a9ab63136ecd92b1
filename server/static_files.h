#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace server {

constexpr char kWebFolder[] = "www";

// The URL's path below "www/", with %XX escapes decoded and an absolute
// URL's scheme and host skipped. False when the URL is rejected: a bad
// escape, or ".." anywhere in the decoded path.
[[nodiscard]] bool ResolvePath(const char* url, std::string& path);

// What a file request asks besides its path.
struct FileRequest {
  bool headOnly = false;                       // HEAD: the head alone
  int64_t ifModifiedSince = -1;                // the date of the client's copy, or -1
  std::string range;                           // the Range header's value, or empty
  std::string ifRange;                         // the If-Range header's value, or empty
  const std::atomic<int32_t>* stop = nullptr;  // the server's stopRequested
};

enum class FileAnswer {
  kSent,
  kSendFailed,  // a send or a read failed part way
  kNotOpened,   // not a regular file inside www/; nothing was sent
};

// Answers with the file at `path`: "HTTP/1.0 200 OK" with its type, length
// and date, then its bytes; "206 Partial Content" with the one range the
// request asks for ("416 Range Not Satisfiable" for one past the end); or
// "304 Not Modified" alone when the client's copy is as new as the file.
[[nodiscard]] FileAnswer SendFile(const std::string& path, const FileRequest& request,
                                  platform::Socket& connection);

// Answers any URL other than the stream and snapshot URLs from the "www/"
// folder, with the file or the 404 answer; a rejected URL gets no answer.
void ServeStaticFile(const char* url, const FileRequest& request, platform::Socket& connection);

}  // namespace server
