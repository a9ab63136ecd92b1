#include "server/content_types.h"

#include <gtest/gtest.h>

namespace {

TEST(ContentTypeFor, GoesByTheLastExtensionWithoutCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"www/index.html", "text/html; charset=utf-8"},
      {"www/INDEX.HTM", "text/html; charset=utf-8"},
      {"www/app.min.mjs", "text/javascript; charset=utf-8"},
      {"www/logo.svg", "image/svg+xml; charset=utf-8"},
      {"www/hls/live.m3u8", "application/vnd.apple.mpegurl; charset=utf-8"},
      {"www/a.JPEG", "image/jpeg"},
      {"www/archive.tar.gz", "application/gzip"},
      {"www/fonts/a.WOFF2", "font/woff2"},
      {"www/clip.webm", "video/webm"},
      {"www/song.mp3", "audio/mpeg"},
      {"www/site.webmanifest", "application/manifest+json; charset=utf-8"},
      {"www/dash/seg-1.m4s", "video/iso.segment"},
      {"www/notes.md", "text/markdown; charset=utf-8"},
      {"www/a.exe", "application/octet-stream"},
      {"www/v1.2/README", "application/octet-stream"},
      {"www/.html", "text/html; charset=utf-8"},
      {"www/html", "application/octet-stream"},
  };
  for (const auto& [path, type] : cases) EXPECT_EQ(server::ContentTypeFor(path), type) << path;
}

}  // namespace
