#include "server/static_files.h"

#include <cstdio>
#include <cstring>

#include "server/byte_range.h"
#include "server/content_types.h"
#include "server/http_date.h"
#include "server/request_route.h"

namespace server {

namespace {

constexpr int64_t kSmallFile = 16 << 10;  // kept in memory and sent with its head
constexpr size_t kCacheBytesMost = 4 << 20;

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
  std::string decoded;
  if (!PercentDecode(std::string_view(url, length).substr(std::min(PathStart(url, length), length)),
                     decoded))
    return false;
  path = "www/" + decoded;
  path.resize(std::strlen(path.c_str()));  // a decoded NUL ends the path
  return path.find("..") == std::string::npos;
}

WebFile OpenWebFile(const std::string& path) {
  WebFile found;
  auto file = std::make_unique<platform::RegularFile>();
  if (!file->OpenInside(kWebFolder, path)) return found;
  found.found = true;
  found.size = file->Size();
  found.modified = file->ModifiedSeconds();
  found.stamp = file->Stamp();
  if (found.size <= kSmallFile) {
    auto bytes = std::make_shared<std::string>(static_cast<size_t>(found.size), '\0');
    size_t at = 0;
    while (at < bytes->size()) {
      const long n = file->Read(bytes->data() + at, bytes->size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    // A file that shrank as it was read is sent as it is now.
    bytes->resize(at);
    found.size = static_cast<int64_t>(at);
    found.bytes = std::move(bytes);
  } else {
    found.file = std::move(file);
  }
  return found;
}

WebFile WebFileCache::Find(const std::string& path) {
  WebFile copy;
  auto known = files_.find(path);
  if (known == files_.end()) return copy;
  platform::FileStamp now;
  if (!platform::StampOf(path, now) || now != known->second.stamp) {
    bytes_ -= known->second.bytes->size();
    files_.erase(known);
    return copy;
  }
  copy.found = true;
  copy.size = known->second.size;
  copy.modified = known->second.modified;
  copy.stamp = known->second.stamp;
  copy.bytes = known->second.bytes;
  return copy;
}

void WebFileCache::Keep(const std::string& path, const WebFile& file) {
  if (!file.found || !file.bytes || file.bytes->size() != static_cast<size_t>(file.stamp.size))
    return;
  if (bytes_ + file.bytes->size() > kCacheBytesMost) {
    files_.clear();
    bytes_ = 0;
  }
  WebFile& kept = files_[path];
  if (kept.bytes) bytes_ -= kept.bytes->size();
  kept.found = true;
  kept.size = file.size;
  kept.modified = file.modified;
  kept.stamp = file.stamp;
  kept.bytes = file.bytes;
  bytes_ += file.bytes->size();
}

void AnswerFile(const std::string& path, WebFile file, const FileRequest& request, Framing framing,
                Outgoing& out) {
  const std::string modified = FormatHttpDate(file.modified);
  if (request.ifModifiedSince >= file.modified) {
    ResponseHead head("304 Not Modified", framing);
    head.Field("Last-Modified", modified).End();
    out.Reset().assign(head.Text());
    return;
  }
  // A range of another version of the file (If-Range names another date)
  // is no range of this one: the whole file goes.
  const ByteRange range = request.ifRange.empty() || request.ifRange == modified
                              ? ReadByteRange(request.range, file.size)
                              : ByteRange{};
  char contentRange[64];
  if (range.kind == ByteRange::Kind::kUnsatisfiable) {
    std::snprintf(contentRange, sizeof contentRange, "bytes */%lld",
                  static_cast<long long>(file.size));
    ResponseHead head("416 Range Not Satisfiable", framing);
    head.Field("Content-Range", contentRange).Field("Content-Length", 0).End();
    out.Reset().assign(head.Text());
    return;
  }
  const bool part = range.kind == ByteRange::Kind::kPart;
  const int64_t first = part ? range.first : 0;
  const int64_t length = part ? range.last - range.first + 1 : file.size;
  ResponseHead head(part ? "206 Partial Content" : "200 OK", framing);
  head.Field("Content-Type", ContentTypeFor(path)).Field("Content-Length", length);
  if (part) {
    std::snprintf(contentRange, sizeof contentRange, "bytes %lld-%lld/%lld",
                  static_cast<long long>(range.first), static_cast<long long>(range.last),
                  static_cast<long long>(file.size));
    head.Field("Content-Range", contentRange);
  }
  head.Field("Last-Modified", modified).Field("Accept-Ranges", "bytes").End();
  if (request.headOnly) {
    out.Reset().assign(head.Text());
    return;
  }
  // A small file's bytes go in one send with the head; a larger one's
  // straight from the file behind it.
  if (file.bytes) {
    std::string& whole = out.Reset();
    whole.reserve(static_cast<size_t>(head.Size() + length));
    whole.assign(head.Text());
    whole.append(*file.bytes, static_cast<size_t>(first), static_cast<size_t>(length));
  } else {
    out.Reset().assign(head.Text());
    out.SetFile(std::move(file.file), first, length);
  }
}

void AnswerNotFound(WebFile page, const FileRequest& request, Framing framing, Outgoing& out) {
  ResponseHead head("404 File Not Found", framing);
  if (page.found) {
    head.Field("Content-Type", "text/html").Field("Content-Length", page.size);
  } else if (framing.http11) {
    head.Field("Content-Length", 0);
  }
  head.End();
  if (!page.found || request.headOnly) {
    out.Reset().assign(head.Text());
  } else if (page.bytes) {
    out.Reset().assign(head.Text()).append(*page.bytes);
  } else {
    out.Reset().assign(head.Text());
    out.SetFile(std::move(page.file), 0, page.size);
  }
}

}  // namespace server
