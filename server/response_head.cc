#include "server/response_head.h"

namespace server {

ResponseHead ShortAnswer(std::string_view status, std::string_view body, Framing framing) {
  ResponseHead head(status, framing);
  if (!body.empty()) head.Field("Content-Type", "text/html");
  if (!body.empty() || framing.http11)
    head.Field("Content-Length", static_cast<int64_t>(body.size()));
  head.End().Body(body);
  return head;
}

ResponseHead UnauthorizedAnswer(Framing framing) {
  ResponseHead head("401 Unauthorized", framing);
  head.Field("WWW-Authenticate", "Basic realm=\"Owlglance\", charset=\"UTF-8\"")
      .Field("Cache-Control", "no-store")
      .Field("Content-Type", "text/html")
      .Field("Content-Length", static_cast<int64_t>(kUnauthorizedBody.size()))
      .End()
      .Body(kUnauthorizedBody);
  return head;
}

}  // namespace server
