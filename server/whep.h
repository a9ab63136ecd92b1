#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace server {

// WebRTC viewers ask for a camera the WHEP way: an SDP offer POSTed to its
// address, answered 201 with the session's own address, which DELETE ends.
constexpr char kWhepPath[] = "/whep";            // the first camera's
std::string CameraWhepPath(int camera);          // "/cam/N/whep", every camera's
constexpr char kWhepSessionPrefix[] = "/whep/";  // then the session's token

// The longest offer read: a browser's is a few kilobytes.
constexpr size_t kOfferMost = 64 * 1024;
// A viewer whose connection is not up this long after its answer, or lost
// this long, is let go.
constexpr int64_t kWhepConnectMs = 10000;
// The encoder runs on this long after its last viewer, for one coming back.
constexpr int64_t kEncoderLingerMs = 4000;

// The payload type of the offer's H.264 that every browser decodes: the
// first video section's H.264 with packetization-mode 1, constrained
// baseline (42e0..) first, then baseline (4200..), then any; -1 when the
// offer has no video or no such H.264.
int ChooseH264(std::string_view offer);

// The encoder's bitrate for a camera's size: `kbps1080p` at 1920x1080,
// scaled by the pixels, never below 200.
int H264Kbps(uint32_t kbps1080p, int32_t width, int32_t height);

// The profile-level-id the answers name: constrained baseline ("42e0") at
// the lowest level whose frame size and macroblock rate hold `width` x
// `height` at `fps`, as the encoder picks it for the same.
std::string H264ProfileLevelId(int32_t width, int32_t height, int fps);

// A new session's token: 32 hexadecimal digits nobody can guess.
std::string NewSessionToken();

}  // namespace server
