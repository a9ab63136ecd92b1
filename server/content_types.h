#pragma once

#include <string_view>

namespace server {

// The Content-Type for a file, from its name's extension (without regard
// to case); "application/octet-stream" for any other. Text types carry
// "; charset=utf-8".
std::string_view ContentTypeFor(std::string_view path);

}  // namespace server
