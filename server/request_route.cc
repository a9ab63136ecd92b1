#include "server/request_route.h"

#include <strings.h>

#include <cstring>

#include "server/whep.h"

namespace server {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The value of "action" among the query's "&"-separated fields, the form
// mjpg-streamer's clients use. A second "?" ends it: some clients (the
// OctoPrint dashboard) append "?nonce=..." to "/?action=stream".
std::string_view Action(std::string_view query) {
  while (!query.empty()) {
    size_t end = query.find('&');
    std::string_view field = query.substr(0, end);
    if (field.substr(0, 7) == "action=") {
      std::string_view value = field.substr(7);
      return value.substr(0, value.find('?'));
    }
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return {};
}

// kSnapshotPath, alone or with ".jpg", without regard to case.
bool IsSnapshotPath(std::string_view path) {
  const std::string_view base = kSnapshotPath;
  if (path.size() < base.size() || !EqualNoCase(path.substr(0, base.size()), base)) return false;
  const std::string_view rest = path.substr(base.size());
  return rest.empty() || EqualNoCase(rest, ".jpg");
}

// An absolute-form target ("http://host:port/path?query") as its path and
// query; any other target as it is.
std::string_view OriginForm(std::string_view target) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (target.size() < scheme.size() || !EqualNoCase(target.substr(0, scheme.size()), scheme))
      continue;
    const size_t path = target.find_first_of("/?", scheme.size());
    if (path == std::string_view::npos) return "/";
    return target[path] == '/' ? target.substr(path) : "/";  // "http://host?x": no path
  }
  return target;
}

// A camera's number, 0 to 99 without leading zeros; -1 for anything else.
int CameraNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 2 || (digits.size() == 2 && digits[0] == '0')) return -1;
  int number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

// "stream_N" or "snapshot_N" as their answer and camera.
bool NumberedAction(std::string_view action, Route& route) {
  for (auto [name, answer] : {std::pair{std::string_view("stream_"), Answer::kStream},
                              std::pair{std::string_view("snapshot_"), Answer::kSnapshot}}) {
    if (action.substr(0, name.size()) != name) continue;
    const int camera = CameraNumber(action.substr(name.size()));
    if (camera < 0) return false;
    route.answer = answer;
    route.camera = camera;
    return true;
  }
  return false;
}

// "/cam/N/video" or "/cam/N/snapshot" (".jpg" too), without regard to case.
bool CameraPath(std::string_view path, Route& route) {
  constexpr std::string_view kCam = "/cam/";
  if (path.size() <= kCam.size() || !EqualNoCase(path.substr(0, kCam.size()), kCam)) return false;
  path.remove_prefix(kCam.size());
  const size_t slash = path.find('/');
  if (slash == std::string_view::npos) return false;
  const int camera = CameraNumber(path.substr(0, slash));
  const std::string_view rest = path.substr(slash);
  if (camera < 0) return false;
  if (EqualNoCase(rest, "/video")) {
    route.answer = Answer::kStream;
  } else if (IsSnapshotPath(rest)) {
    route.answer = Answer::kSnapshot;
  } else {
    return false;
  }
  route.camera = camera;
  return true;
}

// The WHEP addresses: "/whep" and "/cam/N/whep" take offers (POST),
// "/whep/TOKEN" is a session (DELETE); any other method there is not
// allowed. False for any other path.
bool WhepRoute(std::string_view path, std::string_view method, Route& route) {
  const std::string_view session = kWhepSessionPrefix;
  if (path.size() > session.size() && path.substr(0, session.size()) == session) {
    route.path = path.substr(session.size());
    route.answer = EqualNoCase(method, "delete") ? Answer::kWhepEnd : Answer::kMethodNotAllowed;
    route.allow = "DELETE";
    return true;
  }
  int camera = 0;
  if (!EqualNoCase(path, kWhepPath)) {
    constexpr std::string_view kCam = "/cam/", kWhep = "/whep";
    if (path.size() <= kCam.size() + kWhep.size() ||
        !EqualNoCase(path.substr(0, kCam.size()), kCam) ||
        !EqualNoCase(path.substr(path.size() - kWhep.size()), kWhep))
      return false;
    camera = CameraNumber(path.substr(kCam.size(), path.size() - kCam.size() - kWhep.size()));
    if (camera < 0) return false;
  }
  route.camera = camera;
  route.answer = EqualNoCase(method, "post") ? Answer::kWhepOffer : Answer::kMethodNotAllowed;
  route.allow = "POST";
  return true;
}

}  // namespace

std::string CameraStreamPath(int camera) { return "/cam/" + std::to_string(camera) + "/video"; }
std::string CameraSnapshotPath(int camera) {
  return "/cam/" + std::to_string(camera) + "/snapshot";
}

RequestTokens SplitRequest(const char* data, int length) {
  RequestTokens result;
  std::string_view text(data, ::strnlen(data, static_cast<size_t>(length)));
  size_t pos = 0;
  while (result.count < 3) {
    pos = text.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos) break;
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    result.token[result.count++] = text.substr(pos, end - pos);
    pos = end;
  }
  return result;
}

bool PercentDecode(std::string_view text, std::string& decoded) {
  decoded.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
    int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) return false;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

Route RouteRequest(const RequestTokens& tokens, std::string_view streamUrl) {
  Route route;
  if (tokens.count < 1) return route;
  const bool get = EqualNoCase(tokens.token[0], "get");
  route.headOnly = EqualNoCase(tokens.token[0], "head");
  if (tokens.count < 3) {
    if (!get && !route.headOnly) route.answer = Answer::kNotImplemented;
    return route;
  }

  std::string_view target = OriginForm(tokens.token[1]);
  size_t question = target.find('?');
  std::string_view path = target.substr(0, question);
  std::string_view query =
      question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
  std::string decoded;
  if (!PercentDecode(path, decoded)) return route;
  if (WhepRoute(decoded, tokens.token[0], route)) return route;
  if (!get && !route.headOnly) {
    route.answer = Answer::kNotImplemented;
    return route;
  }

  std::string_view action = decoded == "/" ? Action(query) : std::string_view();
  if (NumberedAction(action, route) || CameraPath(decoded, route)) return route;
  if (action == "stream" || EqualNoCase(decoded, streamUrl)) {
    route.answer = Answer::kStream;
  } else if (action == "snapshot" || IsSnapshotPath(decoded)) {
    route.answer = Answer::kSnapshot;
  } else if (EqualNoCase(decoded, kStateRoute)) {
    route.answer = Answer::kState;
  } else {
    route.answer = Answer::kFile;
    route.path = path;
  }
  return route;
}

size_t HeadEnd(std::string_view head) {
  for (size_t lf = head.find('\n'); lf != std::string_view::npos; lf = head.find('\n', lf + 1)) {
    if (lf + 1 < head.size() && head[lf + 1] == '\n') return lf + 2;
    if (lf + 2 < head.size() && head[lf + 1] == '\r' && head[lf + 2] == '\n') return lf + 3;
  }
  return std::string_view::npos;
}

std::string_view HeaderValue(std::string_view head, std::string_view name) {
  for (size_t start = head.find('\n'); start != std::string_view::npos;
       start = head.find('\n', start + 1)) {
    std::string_view line = head.substr(start + 1);
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        !EqualNoCase(line.substr(0, name.size()), name))
      continue;
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return value;
  }
  return {};
}

}  // namespace server
