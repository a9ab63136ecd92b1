#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace server {

// How an answer goes out: as HTTP/1.0, ended by the close, as always; or,
// to an HTTP/1.1 request, as HTTP/1.1 with its length, the connection then
// kept open for the next request unless `close`.
struct Framing {
  bool http11 = false;
  bool close = true;
};

// A response's head as it goes on the wire: "HTTP/1.0 STATUS", the header
// fields, each "Name: value", and the empty line. Built in place, without
// allocating, and at compile time for the fixed answers. Every answer's
// head is built here.
class ResponseHead {
 public:
  // Room for the longest head the server sends (a file's type, length and
  // date); a field past it is left out whole.
  static constexpr size_t kCapacity = 256;

  constexpr explicit ResponseHead(std::string_view status) {
    Append("HTTP/1.0 ");
    Append(status);
    Append("\r\n");
  }
  // The status line for `framing`, and "Connection: close" where an
  // HTTP/1.1 client would otherwise wait for more on the connection.
  ResponseHead(std::string_view status, Framing framing) {
    Append(framing.http11 ? "HTTP/1.1 " : "HTTP/1.0 ");
    Append(status);
    Append("\r\n");
    if (framing.http11 && framing.close) Field("Connection", "close");
  }

  constexpr ResponseHead& Field(std::string_view name, std::string_view value) {
    if (size_ + name.size() + value.size() + 4 + 2 > kCapacity) return *this;  // the end stays
    Append(name);
    Append(": ");
    Append(value);
    Append("\r\n");
    return *this;
  }

  constexpr ResponseHead& Field(std::string_view name, int64_t value) {
    char digits[24] = {};
    size_t at = sizeof digits;
    const bool negative = value < 0;
    uint64_t rest = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
      digits[--at] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    } while (rest != 0);
    if (negative) digits[--at] = '-';
    return Field(name, std::string_view(digits + at, sizeof digits - at));
  }

  // Closes the head with its empty line.
  constexpr ResponseHead& End() {
    Append("\r\n");
    return *this;
  }

  // A short body behind the closed head, for the answers that carry one.
  constexpr ResponseHead& Body(std::string_view text) {
    Append(text);
    return *this;
  }

  constexpr std::string_view Text() const { return {text_, size_}; }
  constexpr const char* Data() const { return text_; }
  constexpr int Size() const { return static_cast<int>(size_); }

 private:
  constexpr void Append(std::string_view text) {
    for (char c : text)
      if (size_ < kCapacity) text_[size_++] = c;
  }

  char text_[kCapacity] = {};
  size_t size_ = 0;
};

// A short answer with no more than its status and `body` (text/html when
// there is one); with a length for HTTP/1.1, and for HTTP/1.0 when there is a
// body.
ResponseHead ShortAnswer(std::string_view status, std::string_view body, Framing framing);

// 401, asking for the password.
ResponseHead UnauthorizedAnswer(Framing framing);

// The fixed answers, each a whole response.
inline constexpr ResponseHead kNotImplementedResponse = ResponseHead("501 Not Implemented").End();
inline constexpr ResponseHead kServiceUnavailableResponse =
    ResponseHead("503 Service Unavailable").End();

// Who may watch: a peer outside the scope, a request without the password,
// and (Retry-After added where it is sent) an address locked out.
constexpr std::string_view kForbiddenBody =
    "<html><body>This camera is not shared with your network.</body></html>\n";
constexpr std::string_view kUnauthorizedBody =
    "<html><body>This camera asks for a password.</body></html>\n";
constexpr std::string_view kTooManyBody =
    "<html><body>Too many wrong passwords: try again later.</body></html>\n";
inline constexpr ResponseHead kForbiddenResponse =
    ResponseHead("403 Forbidden")
        .Field("Content-Type", "text/html")
        .Field("Content-Length", static_cast<int64_t>(kForbiddenBody.size()))
        .End()
        .Body(kForbiddenBody);
inline constexpr ResponseHead kUnauthorizedResponse =
    ResponseHead("401 Unauthorized")
        .Field("WWW-Authenticate", "Basic realm=\"Owlglance\", charset=\"UTF-8\"")
        .Field("Cache-Control", "no-store")
        .Field("Content-Type", "text/html")
        .Field("Content-Length", static_cast<int64_t>(kUnauthorizedBody.size()))
        .End()
        .Body(kUnauthorizedBody);

}  // namespace server
