// Feeds arbitrary request bytes through the tokenizer, the router and, for
// the URL it finds, the path resolver: none may crash or overrun, a file's
// path never keeps its query, and no path accepts "..".
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/connection.h"
#include "server/request_route.h"
#include "server/static_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > server::kRequestBufferSize) size = server::kRequestBufferSize;
  std::string request(reinterpret_cast<const char*>(data), size);
  server::RequestTokens tokens =
      server::SplitRequest(request.data(), static_cast<int>(request.size()));
  server::Route route = RouteRequest(tokens, "/video");
  if (route.answer == server::Answer::kFile && route.path.find('?') != std::string::npos)
    std::abort();
  server::HeaderValue(request, "If-Modified-Since");
  for (int i = 0; i < tokens.count; ++i) {
    std::string url(tokens.token[i]);
    std::string path;
    if (server::ResolvePath(url.c_str(), path)) {
      if (path.rfind("www/", 0) != 0 || path.find("..") != std::string::npos) std::abort();
    }
  }
  return 0;
}
