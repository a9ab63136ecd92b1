#include "server/request_route.h"

#include <gtest/gtest.h>

namespace {

TEST(RouteRequest, SplitsAtTheQueryDecodesOnceAndPicksTheAnswer) {
  struct Case {
    std::string request;
    server::Answer answer;
    bool headOnly;
    std::string path;  // for files
  };
  const Case cases[] = {
      {"GET /video HTTP/1.0", server::Answer::kStream, false, ""},
      {"get /VIDEO HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET /video?t=1733000000 HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET /vide%6f HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET /vide%256f HTTP/1.1", server::Answer::kFile, false, "/vide%256f"},  // decoded once only
      {"GET /video%00 HTTP/1.1", server::Answer::kFile, false, "/video%00"},
      {"GET /?action=stream HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET /?x=1&action=stream HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET /?action=snapshot HTTP/1.1", server::Answer::kSnapshot, false, ""},
      {"GET /index.html?action=stream HTTP/1.1", server::Answer::kFile, false, "/index.html"},
      {"GET /?action=other HTTP/1.1", server::Answer::kFile, false, "/"},
      // Clients that append their own "?nonce" to an mjpg-streamer URL.
      {"GET /?action=stream?nonce_dashboard=1 HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET /?action=snapshot?x=1 HTTP/1.1", server::Answer::kSnapshot, false, ""},
      {"GET /?action=streamer HTTP/1.1", server::Answer::kFile, false, "/"},
      // Absolute-form targets route like their path.
      {"GET http://cam:8080/video HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET HTTP://cam/snapshot.jpg HTTP/1.1", server::Answer::kSnapshot, false, ""},
      {"GET http://cam/?action=stream HTTP/1.1", server::Answer::kStream, false, ""},
      {"GET http://cam/live.html?x=1 HTTP/1.1", server::Answer::kFile, false, "/live.html"},
      {"GET http://cam HTTP/1.1", server::Answer::kFile, false, "/"},
      {"GET http://cam?action=stream HTTP/1.1", server::Answer::kFile, false, "/"},
      {"GET /snapshot HTTP/1.1", server::Answer::kSnapshot, false, ""},
      {"GET /Snapshot.JPG?n=3 HTTP/1.1", server::Answer::kSnapshot, false, ""},
      {"GET /snapshot.jpeg HTTP/1.1", server::Answer::kFile, false, "/snapshot.jpeg"},
      {"GET /state HTTP/1.1", server::Answer::kState, false, ""},
      {"HEAD /STATE?x=1 HTTP/1.1", server::Answer::kState, true, ""},
      {"GET /state.json HTTP/1.1", server::Answer::kFile, false, "/state.json"},
      {"GET /index.html?x=1 HTTP/1.0", server::Answer::kFile, false, "/index.html"},
      {"GET /a%20b.html?q=%zz HTTP/1.0", server::Answer::kFile, false, "/a%20b.html"},
      {"GET /%zz HTTP/1.0", server::Answer::kNone, false, ""},
      {"HEAD /video HTTP/1.0", server::Answer::kStream, true, ""},
      {"head /x.css HTTP/1.0", server::Answer::kFile, true, "/x.css"},
      {"HEAD /snapshot HTTP/1.0", server::Answer::kSnapshot, true, ""},
      {"POST / HTTP/1.0", server::Answer::kNotImplemented, false, ""},
      {"HEADER / HTTP/1.0", server::Answer::kNotImplemented, false, ""},
      {"HEAD /", server::Answer::kNone, true, ""},  // no version
      {"", server::Answer::kNone, false, ""},
  };
  for (const Case& c : cases) {
    server::Route route = server::RouteRequest(
        server::SplitRequest(c.request.data(), static_cast<int>(c.request.size())), "/video");
    EXPECT_EQ(route.answer, c.answer) << c.request;
    EXPECT_EQ(route.headOnly, c.headOnly) << c.request;
    EXPECT_EQ(route.path, c.path) << c.request;
  }
}

// Every camera N at its own addresses; the plain ones are camera 0's.
TEST(RouteRequest, EachCameraHasItsAddresses) {
  struct Case {
    std::string target;
    server::Answer answer;
    int camera;
  };
  const Case cases[] = {
      {"/video", server::Answer::kStream, 0},
      {"/cam/0/video", server::Answer::kStream, 0},
      {"/cam/1/video", server::Answer::kStream, 1},
      {"/CAM/12/Video?t=3", server::Answer::kStream, 12},
      {"/cam/1/snapshot", server::Answer::kSnapshot, 1},
      {"/cam/1/snapshot.jpg", server::Answer::kSnapshot, 1},
      {"/?action=stream_1", server::Answer::kStream, 1},
      {"/?action=snapshot_2", server::Answer::kSnapshot, 2},
      {"/?action=stream_1?nonce=5", server::Answer::kStream, 1},
      {"/cam/%31/video", server::Answer::kStream, 1},  // decoded like any path
      // Not a camera's address: files, which are 404 unless they are there.
      {"/cam/01/video", server::Answer::kFile, 0},
      {"/cam/100/video", server::Answer::kFile, 0},
      {"/cam/-1/video", server::Answer::kFile, 0},
      {"/cam/1", server::Answer::kFile, 0},
      {"/cam/1/video/x", server::Answer::kFile, 0},
      {"/cam//video", server::Answer::kFile, 0},
      {"/?action=stream_", server::Answer::kFile, 0},
      {"/?action=stream_x", server::Answer::kFile, 0},
  };
  for (const Case& c : cases) {
    const std::string request = "GET " + c.target + " HTTP/1.0";
    const server::Route route = server::RouteRequest(
        server::SplitRequest(request.data(), static_cast<int>(request.size())), "/video");
    EXPECT_EQ(route.answer, c.answer) << c.target;
    EXPECT_EQ(route.camera, c.camera) << c.target;
  }
}

// WHEP: offers are POSTed to a camera's address, sessions are DELETEd; any
// other method there is 405 with the one allowed.
TEST(RouteRequest, WebRtcOffersAndSessionsTakeTheirOwnMethods) {
  struct Case {
    std::string request;
    server::Answer answer;
    int camera;
    std::string allow, path;
  };
  const Case cases[] = {
      {"POST /whep HTTP/1.1", server::Answer::kWhepOffer, 0, "POST", ""},
      {"post /WHEP?x=1 HTTP/1.1", server::Answer::kWhepOffer, 0, "POST", ""},
      {"POST /cam/2/whep HTTP/1.1", server::Answer::kWhepOffer, 2, "POST", ""},
      {"POST http://cam/cam/1/whep HTTP/1.1", server::Answer::kWhepOffer, 1, "POST", ""},
      {"GET /whep HTTP/1.1", server::Answer::kMethodNotAllowed, 0, "POST", ""},
      {"HEAD /cam/1/whep HTTP/1.1", server::Answer::kMethodNotAllowed, 1, "POST", ""},
      {"PATCH /whep HTTP/1.1", server::Answer::kMethodNotAllowed, 0, "POST", ""},
      {"DELETE /whep/0123abcd HTTP/1.1", server::Answer::kWhepEnd, 0, "DELETE", "0123abcd"},
      {"PATCH /whep/0123abcd HTTP/1.1", server::Answer::kMethodNotAllowed, 0, "DELETE", "0123abcd"},
      {"GET /whep/0123abcd HTTP/1.1", server::Answer::kMethodNotAllowed, 0, "DELETE", "0123abcd"},
      // Not WHEP: the methods elsewhere stay as they were.
      {"POST /cam/01/whep HTTP/1.1", server::Answer::kNotImplemented, 0, "", ""},
      {"POST /cam/1/whepx HTTP/1.1", server::Answer::kNotImplemented, 0, "", ""},
      {"DELETE /whep/ HTTP/1.1", server::Answer::kNotImplemented, 0, "", ""},
      {"POST /whep", server::Answer::kNotImplemented, 0, "", ""},  // no version
      {"GET /whep.html HTTP/1.1", server::Answer::kFile, 0, "", "/whep.html"},
  };
  for (const Case& c : cases) {
    const server::Route route = server::RouteRequest(
        server::SplitRequest(c.request.data(), static_cast<int>(c.request.size())), "/video");
    EXPECT_EQ(route.answer, c.answer) << c.request;
    EXPECT_EQ(route.camera, c.camera) << c.request;
    EXPECT_EQ(route.allow, c.allow) << c.request;
    EXPECT_EQ(route.path, c.path) << c.request;
  }
}

TEST(RouteRequest, TheStreamUrlWinsOverTheSnapshotUrls) {
  const std::string request = "GET /snapshot HTTP/1.0";
  server::Route route = server::RouteRequest(
      server::SplitRequest(request.data(), static_cast<int>(request.size())), "/snapshot");
  EXPECT_EQ(route.answer, server::Answer::kStream);
}

TEST(HeaderValue, FindsAFieldByNameWithoutCase) {
  const std::string head =
      "GET / HTTP/1.0\r\nHost: x\r\nif-modified-since:  Sun, 06 Nov 1994 08:49:37 GMT \r\n"
      "X-If-Modified-Since: no\r\n\r\n";
  EXPECT_EQ(server::HeaderValue(head, "If-Modified-Since"), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(server::HeaderValue(head, "Host"), "x");
  EXPECT_EQ(server::HeaderValue(head, "Cookie"), "");
  EXPECT_EQ(server::HeaderValue("GET /If-Modified-Since: x HTTP/1.0\r\n", "If-Modified-Since"), "")
      << "the request line is no header";
  EXPECT_EQ(server::HeaderValue("GET / HTTP/1.0\nHost: y\n\n", "Host"), "y") << "bare LF";
}

TEST(HeadEnd, FindsTheEmptyLineAfterCrLfOrBareLf) {
  const std::pair<std::string, size_t> cases[] = {
      {"GET / HTTP/1.0\r\n\r\n", 18},
      {"GET / HTTP/1.0\n\n", 16},
      {"GET / HTTP/1.0\nHost: x\r\n\r\nbody", 26},
      {"GET / HTTP/1.0\r\nHost: x\r\n", std::string::npos},
      {"GET / HTTP/1.0\r\n\r", std::string::npos},
  };
  for (const auto& [head, end] : cases) EXPECT_EQ(server::HeadEnd(head), end) << head;
}

}  // namespace
