#include "server/content_types.h"

#include <strings.h>

#include <string>

namespace server {

namespace {

struct Type {
  const char* extension;
  const char* type;
};

constexpr Type kTypes[] = {
    {"html", "text/html; charset=utf-8"},
    {"htm", "text/html; charset=utf-8"},
    {"css", "text/css; charset=utf-8"},
    {"js", "text/javascript; charset=utf-8"},
    {"mjs", "text/javascript; charset=utf-8"},
    {"json", "application/json; charset=utf-8"},
    {"txt", "text/plain; charset=utf-8"},
    {"xml", "text/xml; charset=utf-8"},
    {"svg", "image/svg+xml; charset=utf-8"},
    {"m3u8", "application/vnd.apple.mpegurl; charset=utf-8"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"ico", "image/x-icon"},
    {"webp", "image/webp"},
    {"pdf", "application/pdf"},
    {"wasm", "application/wasm"},
    {"ts", "video/mp2t"},
    {"mp4", "video/mp4"},
    {"class", "application/java-vm"},
    {"webmanifest", "application/manifest+json; charset=utf-8"},
    {"csv", "text/csv; charset=utf-8"},
    {"md", "text/markdown; charset=utf-8"},
    {"vtt", "text/vtt; charset=utf-8"},
    {"avif", "image/avif"},
    {"bmp", "image/bmp"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"webm", "video/webm"},
    {"ogv", "video/ogg"},
    {"ogg", "audio/ogg"},
    {"oga", "audio/ogg"},
    {"opus", "audio/ogg"},
    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},
    {"flac", "audio/flac"},
    {"m4a", "audio/mp4"},
    {"m4s", "video/iso.segment"},
    {"mpd", "application/dash+xml"},
    {"zip", "application/zip"},
    {"gz", "application/gzip"},
};

}  // namespace

std::string_view ContentTypeFor(std::string_view path) {
  size_t dot = path.find_last_of("./");
  if (dot != std::string_view::npos && path[dot] == '.') {
    std::string extension(path.substr(dot + 1));
    for (const Type& t : kTypes)
      if (::strcasecmp(extension.c_str(), t.extension) == 0) return t.type;
  }
  return "application/octet-stream";
}

}  // namespace server
