#include "server/whep.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// An SDP offer: the session's lines, then `sections`.
std::string Offer(const std::string& sections) {
  return "v=0\r\no=- 1 1 IN IP4 0.0.0.0\r\ns=-\r\nt=0 0\r\n" + sections;
}

TEST(ChooseH264, PicksTheH264EveryBrowserDecodes) {
  const std::string chromium =
      "m=video 9 UDP/TLS/RTP/SAVPF 96 102 106 112 127\r\n"
      "a=rtpmap:96 VP8/90000\r\n"
      "a=rtpmap:102 H264/90000\r\n"
      "a=fmtp:102 level-asymmetry-allowed=1;packetization-mode=1;profile-level-id=42001f\r\n"
      "a=rtpmap:106 H264/90000\r\n"
      "a=fmtp:106 level-asymmetry-allowed=1;packetization-mode=0;profile-level-id=42e01f\r\n"
      "a=rtpmap:112 H264/90000\r\n"
      "a=fmtp:112 level-asymmetry-allowed=1;packetization-mode=1;profile-level-id=42e01f\r\n"
      "a=rtpmap:127 H264/90000\r\n"
      "a=fmtp:127 level-asymmetry-allowed=1;packetization-mode=1;profile-level-id=4d001f\r\n";
  struct Case {
    std::string what, offer;
    int type;
  };
  const Case cases[] = {
      {"constrained baseline, mode 1, first", Offer(chromium), 112},
      {"baseline next",
       Offer("m=video 9 RTP/SAVPF 100 101\r\na=rtpmap:100 H264/90000\r\n"
             "a=fmtp:100 profile-level-id=4d001f;packetization-mode=1\r\n"
             "a=rtpmap:101 h264/90000\r\n"
             "a=fmtp:101 packetization-mode=1; profile-level-id=42001F\r\n"),
       101},
      {"any H.264 with mode 1",
       Offer("m=video 9 RTP/SAVPF 99\na=rtpmap:99 H264/90000\n"
             "a=fmtp:99 packetization-mode=1\n"),
       99},
      {"audio's sections don't count",
       Offer("m=audio 9 RTP/SAVPF 111 120\r\na=rtpmap:120 H264/90000\r\n"
             "a=fmtp:120 packetization-mode=1\r\nm=video 9 RTP/SAVPF 96\r\n"
             "a=rtpmap:96 H264/90000\r\na=fmtp:96 packetization-mode=1\r\n"),
       96},
      {"the first video section alone",
       Offer("m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 VP8/90000\r\nm=video 9 RTP/SAVPF 97\r\n"
             "a=rtpmap:97 H264/90000\r\na=fmtp:97 packetization-mode=1\r\n"),
       -1},
      {"mode 0 alone",
       Offer("m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 H264/90000\r\n"
             "a=fmtp:96 packetization-mode=0;profile-level-id=42e01f\r\n"),
       -1},
      {"no fmtp: mode 0", Offer("m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 H264/90000\r\n"), -1},
      {"no H.264", Offer("m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 VP8/90000\r\n"), -1},
      {"no video", Offer("m=audio 9 RTP/SAVPF 111\r\na=rtpmap:111 opus/48000/2\r\n"), -1},
      {"junk", std::string(100000, 'x'), -1},
      {"a payload type past 127",
       Offer("m=video 9 RTP/SAVPF 300\r\na=rtpmap:300 H264/90000\r\n"
             "a=fmtp:300 packetization-mode=1\r\n"),
       -1},
      {"empty", "", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(server::ChooseH264(c.offer), c.type) << c.what;
}

TEST(H264Kbps, ScalesTheSettingFrom1080pByThePixels) {
  EXPECT_EQ(server::H264Kbps(2500, 1920, 1080), 2500);
  EXPECT_EQ(server::H264Kbps(2500, 1280, 720), 1111);
  EXPECT_EQ(server::H264Kbps(4000, 3840, 2160), 16000);
  EXPECT_EQ(server::H264Kbps(2500, 320, 240), 200) << "never below 200";
  EXPECT_EQ(server::H264Kbps(2500, 0, 0), 200) << "a camera not known yet";
}

TEST(H264ProfileLevelId, TheLowestLevelThatHoldsTheSizeAndRate) {
  struct Case {
    int32_t width, height;
    int fps;
    std::string id;
  };
  const Case cases[] = {
      {640, 480, 30, "42e01e"},   {1280, 720, 30, "42e01f"},  {1280, 720, 31, "42e020"},
      {1920, 1080, 30, "42e028"}, {1920, 1080, 60, "42e02a"}, {3840, 2160, 30, "42e033"},
      {0, 0, 0, "42e01e"},        {8000, 8000, 60, "42e034"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(server::H264ProfileLevelId(c.width, c.height, c.fps), c.id)
        << c.width << "x" << c.height << "@" << c.fps;
}

TEST(NewSessionToken, IsLongHexAndNeverTheSame) {
  std::set<std::string> tokens;
  for (int i = 0; i < 100; ++i) {
    const std::string token = server::NewSessionToken();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    tokens.insert(token);
  }
  EXPECT_EQ(tokens.size(), 100u);
}

}  // namespace
