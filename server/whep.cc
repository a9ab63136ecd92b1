#include "server/whep.h"

#include <openssl/rand.h>

#include <algorithm>
#include <charconv>

namespace server {

namespace {

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// The value of `name` in an fmtp parameter list ("a=b;c=d"), or empty.
std::string_view Parameter(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    const size_t end = std::min(list.find(';'), list.size());
    std::string_view item = list.substr(0, end);
    list.remove_prefix(std::min(end + 1, list.size()));
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    const size_t equals = item.find('=');
    if (equals != std::string_view::npos && EqualNoCase(item.substr(0, equals), name))
      return item.substr(equals + 1);
  }
  return {};
}

int Number(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

}  // namespace

std::string CameraWhepPath(int camera) { return "/cam/" + std::to_string(camera) + "/whep"; }

int ChooseH264(std::string_view offer) {
  // The first video section's lines.
  bool inVideo = false, seenVideo = false;
  int best = -1, bestRank = 0;
  std::string_view h264[128];  // fmtp by payload type, for the H.264 ones
  bool isH264[128] = {};
  while (!offer.empty()) {
    const size_t end = std::min(offer.find('\n'), offer.size());
    std::string_view line = offer.substr(0, end);
    offer.remove_prefix(std::min(end + 1, offer.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (StartsWith(line, "m=")) {
      if (seenVideo) break;
      inVideo = StartsWith(line, "m=video ");
      seenVideo = inVideo;
      continue;
    }
    if (!inVideo) continue;
    const bool map = StartsWith(line, "a=rtpmap:"), fmtp = StartsWith(line, "a=fmtp:");
    if (!map && !fmtp) continue;
    line.remove_prefix(map ? 9 : 7);
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const int type = Number(line.substr(0, space));
    if (type < 0 || type >= 128) continue;
    const std::string_view rest = line.substr(space + 1);
    if (map) {
      isH264[type] = EqualNoCase(rest.substr(0, 5), "H264/");
    } else {
      h264[type] = rest;
    }
  }
  for (int type = 0; type < 128; ++type) {
    if (!isH264[type] || Parameter(h264[type], "packetization-mode") != "1") continue;
    const std::string_view profile = Parameter(h264[type], "profile-level-id");
    const std::string_view idc = profile.substr(0, std::min<size_t>(profile.size(), 2));
    const std::string_view constraints = profile.size() >= 4 ? profile.substr(2, 2) : "";
    const int rank = EqualNoCase(idc, "42") && EqualNoCase(constraints, "e0") ? 3
                     : EqualNoCase(idc, "42")                                 ? 2
                                                                              : 1;
    if (rank > bestRank) {
      best = type;
      bestRank = rank;
    }
  }
  return best;
}

int H264Kbps(uint32_t kbps1080p, int32_t width, int32_t height) {
  const double pixels = static_cast<double>(std::max(width, 1)) * std::max(height, 1);
  const double kbps = kbps1080p * pixels / (1920.0 * 1080.0);
  return static_cast<int>(std::clamp(kbps, 200.0, 100000.0));
}

std::string H264ProfileLevelId(int32_t width, int32_t height, int fps) {
  struct Level {
    int idc;
    int64_t macroblocksPerSecond, frameMacroblocks;
  };
  static constexpr Level kLevels[] = {
      {30, 40500, 1620},  {31, 108000, 3600},  {32, 216000, 5120},  {40, 245760, 8192},
      {42, 522240, 8704}, {50, 589824, 22080}, {51, 983040, 36864}, {52, 2073600, 36864},
  };
  const int64_t frame =
      int64_t{(std::max(width, 16) + 15) / 16} * ((std::max(height, 16) + 15) / 16);
  const int64_t rate = frame * std::max(fps, 1);
  int idc = 52;
  for (const Level& level : kLevels)
    if (frame <= level.frameMacroblocks && rate <= level.macroblocksPerSecond) {
      idc = level.idc;
      break;
    }
  static constexpr char kHex[] = "0123456789abcdef";
  return std::string("42e0") + kHex[idc >> 4] + kHex[idc & 15];
}

std::string NewSessionToken() {
  unsigned char random[16];
  if (RAND_bytes(random, sizeof random) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : random) {
    token += kHex[byte >> 4];
    token += kHex[byte & 15];
  }
  return token;
}

}  // namespace server
