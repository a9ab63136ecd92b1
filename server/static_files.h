#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/regular_file.h"
#include "server/outgoing.h"
#include "server/response_head.h"

namespace server {

constexpr char kWebFolder[] = "www";

// The URL's path below "www/", with %XX escapes decoded and an absolute
// URL's scheme and host skipped. False when the URL is rejected: a bad
// escape, or ".." anywhere in the decoded path.
[[nodiscard]] bool ResolvePath(const char* url, std::string& path);

// What a file request asks besides its path.
struct FileRequest {
  bool headOnly = false;         // HEAD: the head alone
  int64_t ifModifiedSince = -1;  // the date of the client's copy, or -1
  std::string range;             // the Range header's value, or empty
  std::string ifRange;           // the If-Range header's value, or empty
};

// A file of www/ as it was opened: a small one's bytes, or a larger one
// open for sending straight from the file.
struct WebFile {
  bool found = false;  // a regular file inside www/
  int64_t size = 0;
  int64_t modified = 0;  // seconds since 1970 (UTC)
  platform::FileStamp stamp;
  std::shared_ptr<const std::string> bytes;     // the whole file, when small
  std::unique_ptr<platform::RegularFile> file;  // otherwise, open
};

// Opens `path` when it is a regular file inside www/, reading it whole when
// it is small. May wait for the disk: run it off the event loop.
WebFile OpenWebFile(const std::string& path);

// The small files lately opened, each checked against the file system
// before it is used again, so a page or a script costs no open. Used by the
// event loop's thread.
class WebFileCache {
 public:
  // A copy of the file at `path` when it is known and unchanged; one that
  // is not found.
  WebFile Find(const std::string& path);
  void Keep(const std::string& path, const WebFile& file);

 private:
  std::map<std::string, WebFile, std::less<>> files_;
  size_t bytes_ = 0;
};

// Puts the answer to a request for `path` (`file` as opened) into `out`:
// 200 with the file's type, length and date, then its bytes; 206 with the
// one range the request asks for (416 for one past the end); 304 alone when
// the client's copy is as new as the file.
void AnswerFile(const std::string& path, WebFile file, const FileRequest& request, Framing framing,
                Outgoing& out);

// Puts the 404 answer into `out`: with the page www/404.html (`page`) when
// there is one, the status line alone otherwise.
void AnswerNotFound(WebFile page, const FileRequest& request, Framing framing, Outgoing& out);

}  // namespace server
