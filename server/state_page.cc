#include "server/state_page.h"

#include <cstdio>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "server/request_route.h"
#include "server/response_head.h"

namespace server {

namespace {

// A JSON string: quoted, with quotes, backslashes and control characters
// escaped; other bytes as they are.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string StateJson(const StateFacts& facts) {
  char fps[32];
  std::snprintf(fps, sizeof fps, "%.1f", facts.fps);
  const auto number = [](int64_t n) { return std::to_string(n); };
  return "{\"camera\": {\"name\": " + Quoted(facts.camera.name) +
         ", \"width\": " + number(facts.camera.width) +
         ", \"height\": " + number(facts.camera.height) +
         ", \"format\": " + Quoted(facts.camera.format) + ", \"fps\": " + fps +
         ", \"online\": " + (facts.online ? "true" : "false") +
         ", \"passthrough\": " + (facts.passthrough ? "true" : "false") +
         "}, \"server\": {\"clients\": " + number(facts.clients) +
         ", \"maxclients\": " + number(facts.maxclients) +
         ", \"uptime_s\": " + number(facts.uptimeSeconds) +
         "}, \"stream\": {\"url\": " + Quoted(facts.streamUrl) +
         ", \"snapshot\": " + Quoted(kSnapshotPath) + "}}\n";
}

void AnswerState(const ServerControl& control, std::string_view streamUrl, bool headOnly,
                 Framing framing, Outgoing& out) {
  StateFacts facts;
  const int64_t now = platform::SteadyMillis();
  facts.camera = control.Camera();
  facts.clients = control.connectedCount.load() - 1;  // not this request's own place
  facts.maxclients = control.clientLimit.load();
  facts.uptimeSeconds = (now - control.startedMs.load()) / 1000;
  if (const capture::CaptureDevice* device = control.frameSource) {
    facts.fps = device->frameStore.FramesPerSecond(now);
    facts.online = device->Online();
    facts.passthrough = device->SendsCameraJpeg();  // what goes out, not the setting
  }
  facts.streamUrl = streamUrl;
  const std::string json = StateJson(facts);
  ResponseHead head("200 OK", framing);
  head.Field("Content-Type", "application/json")
      .Field("Content-Length", static_cast<int64_t>(json.size()))
      .Field("Cache-Control", "no-store")
      .End();
  std::string& text = out.Reset();
  text.assign(head.Text());
  if (!headOnly) text += json;
}

}  // namespace server
