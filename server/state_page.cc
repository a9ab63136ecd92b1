#include "server/state_page.h"

#include <cstdio>

#include "platform/clock.h"
#include "server/request_route.h"
#include "server/response_head.h"
#include "server/whep.h"

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
  const auto number = [](int64_t n) { return std::to_string(n); };
  // One camera's fields, without braces.
  const auto camera = [&](const CameraState& state) {
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.1f", state.fps);
    return "\"name\": " + Quoted(state.facts.name) + ", \"width\": " + number(state.facts.width) +
           ", \"height\": " + number(state.facts.height) +
           ", \"format\": " + Quoted(state.facts.format) + ", \"fps\": " + fps +
           ", \"online\": " + (state.online ? "true" : "false") +
           ", \"passthrough\": " + (state.passthrough ? "true" : "false") +
           ", \"webrtc_viewers\": " + number(state.webrtcViewers) +
           ", \"h264_encoding\": " + (state.h264Encoding ? "true" : "false");
  };
  std::string cameras;
  int64_t webrtcViewers = 0;
  for (size_t n = 0; n < facts.cameras.size(); ++n) {
    const int at = static_cast<int>(n);
    cameras += std::string(n ? ", " : "") + "{" + camera(facts.cameras[n]) +
               ", \"stream\": " + Quoted(CameraStreamPath(at)) +
               ", \"snapshot\": " + Quoted(CameraSnapshotPath(at)) +
               ", \"whep\": " + Quoted(CameraWhepPath(at)) + "}";
    webrtcViewers += facts.cameras[n].webrtcViewers;
  }
  return "{\"camera\": {" + camera(facts.cameras.empty() ? CameraState{} : facts.cameras.front()) +
         "}, \"server\": {\"clients\": " + number(facts.clients) +
         ", \"maxclients\": " + number(facts.maxclients) +
         ", \"uptime_s\": " + number(facts.uptimeSeconds) +
         ", \"webrtc_viewers\": " + number(webrtcViewers) +
         "}, \"stream\": {\"url\": " + Quoted(facts.streamUrl) +
         ", \"snapshot\": " + Quoted(kSnapshotPath) + "}, \"cameras\": [" + cameras + "]}\n";
}

void AnswerState(const ServerControl& control, std::string_view streamUrl,
                 const std::vector<WebRtcState>& webrtc, bool headOnly, Framing framing,
                 Outgoing& out) {
  StateFacts facts;
  const int64_t now = platform::SteadyMillis();
  const std::vector<CameraFacts> cameras = control.Cameras();
  facts.clients = control.connectedCount.load() - 1;  // not this request's own place
  facts.maxclients = control.clientLimit.load();
  facts.uptimeSeconds = (now - control.startedMs.load()) / 1000;
  for (size_t n = 0; n < control.cameras.size() && n < cameras.size(); ++n) {
    const ServedCamera& camera = control.cameras[n];
    CameraState& state = facts.cameras.emplace_back();
    state.facts = cameras[n];
    state.fps = camera.store->FramesPerSecond(now);
    state.online = camera.status->Online();
    state.passthrough = camera.status->SendsCameraJpeg();  // what goes out, not the setting
    if (n < webrtc.size()) {
      state.webrtcViewers = webrtc[n].viewers;
      state.h264Encoding = webrtc[n].encoding;
    }
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
