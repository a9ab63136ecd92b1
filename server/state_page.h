#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/outgoing.h"
#include "server/response_head.h"
#include "server/server_control.h"

namespace server {

// How the camera and the server are doing, for the tools around a camera
// server (dashboards, timelapse scripts), as /state answers it.
struct CameraState {
  CameraFacts facts;
  double fps = 0;  // over the last two seconds
  bool online = false, passthrough = false;
  int32_t webrtcViewers = 0;
  bool h264Encoding = false;  // its WebRTC encoder runs
};
struct StateFacts {
  std::vector<CameraState> cameras;  // in the order of their numbers
  int32_t clients = 0, maxclients = 0;
  int64_t uptimeSeconds = 0;
  std::string streamUrl;
};

// The facts as one JSON object: {"camera": {...}, "server": {...},
// "stream": {...}, "cameras": [...]}: "camera" is the first camera (the one
// "stream" names), "cameras" every camera with its own addresses.
std::string StateJson(const StateFacts& facts);

// Puts the answer to /state into `out`: 200 with the JSON,
// application/json, not to be cached; for HEAD, the head alone. Asked while
// the request holds a place of its own, which it does not count.
// Each camera's WebRTC viewers, and whether its encoder runs.
struct WebRtcState {
  int32_t viewers = 0;
  bool encoding = false;
};

void AnswerState(const ServerControl& control, std::string_view streamUrl,
                 const std::vector<WebRtcState>& webrtc, bool headOnly, Framing framing,
                 Outgoing& out);

}  // namespace server
