// WHEP requests the loop answers itself, before any encoder: what is not an
// offer it can answer, and the methods WHEP's addresses don't take.
#include <string>

#include "tests/support/server_fixture.h"

namespace {

class WhepRequestTest : public ServerFixture {
 protected:
  void SetUp() override {
    folder.Write("www/404.html", "missing");
    StartListener();
  }
  std::string Post(const std::string& type, const std::string& body) {
    return Exchange(Port(), "POST /whep HTTP/1.1\r\nHost: cam\r\nContent-Type: " + type +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                body);
  }
};

// Each answered with its status, no session begun and no place kept.
TEST_F(WhepRequestTest, WhatIsNotAnOfferOfH264IsRefused) {
  const std::string session = "v=0\r\no=- 1 1 IN IP4 0.0.0.0\r\ns=-\r\nt=0 0\r\n";
  const std::string vp8 = session + "m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 VP8/90000\r\n";
  const std::string audio = session + "m=audio 9 RTP/SAVPF 111\r\na=rtpmap:111 opus/48000/2\r\n";
  const std::string h264 = session +
                           "m=video 9 RTP/SAVPF 96\r\na=rtpmap:96 H264/90000\r\n"
                           "a=fmtp:96 packetization-mode=1\r\n";
  struct Case {
    std::string what, request, status;
  };
  const Case cases[] = {
      {"no H.264",
       "POST /whep HTTP/1.1\r\nContent-Type: application/sdp\r\nContent-Length: " +
           std::to_string(vp8.size()) + "\r\n\r\n" + vp8,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"no video",
       "POST /whep HTTP/1.1\r\nContent-Type: application/sdp\r\nContent-Length: " +
           std::to_string(audio.size()) + "\r\n\r\n" + audio,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"not SDP",
       "POST /whep HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(h264.size()) + "\r\n\r\n" + h264,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"no length", "POST /whep HTTP/1.1\r\nContent-Type: application/sdp\r\n\r\n" + h264,
       "HTTP/1.1 400 Bad Request\r\n"},
      {"a camera not there",
       "POST /cam/3/whep HTTP/1.1\r\nContent-Type: application/sdp\r\nContent-Length: " +
           std::to_string(h264.size()) + "\r\n\r\n" + h264,
       "HTTP/1.1 404 File Not Found\r\n"},
      {"GET", "GET /whep HTTP/1.1\r\nConnection: close\r\n\r\n",
       "HTTP/1.1 405 Method Not Allowed\r\nConnection: close\r\nAllow: POST\r\n"},
      {"PATCH of a session", "PATCH /whep/abc HTTP/1.1\r\nConnection: close\r\n\r\n",
       "HTTP/1.1 405 Method Not Allowed\r\nConnection: close\r\nAllow: DELETE\r\n"},
      {"DELETE of no session", "DELETE /whep/0123456789abcdef HTTP/1.0\r\n\r\n",
       "HTTP/1.0 404 File Not Found\r\n"},
  };
  for (const Case& c : cases) {
    const std::string answer = Exchange(Port(), c.request);
    EXPECT_EQ(answer.substr(0, c.status.size()), c.status) << c.what << ": " << answer;
  }
  EXPECT_EQ(control.connectedCount.load(), 0) << "no place kept";
}

// A megabyte of junk is answered 400 without waiting for it, and the
// offer's bound is what may be read at all.
TEST_F(WhepRequestTest, AMegabyteOfJunkIsRefusedAtItsHead) {
  TestClient client(Port());
  client.Send(
      "POST /whep HTTP/1.1\r\nContent-Type: application/sdp\r\nContent-Length: 1048576\r\n\r\n");
  client.Send(std::string(64 * 1024, 'x'));
  const std::string answer = client.ReadAll(3000);
  EXPECT_EQ(answer.substr(0, 25), "HTTP/1.1 400 Bad Request\r") << answer;
  // A body that fits but is junk all the same.
  EXPECT_EQ(Post("application/sdp", std::string(60000, 'x')).substr(0, 25),
            "HTTP/1.1 400 Bad Request\r");
  EXPECT_EQ(Post("application/sdp; charset=utf-8", "m=video").substr(0, 25),
            "HTTP/1.1 400 Bad Request\r");
}

}  // namespace
