#pragma once

#include <string>
#include <string_view>

namespace server {

// The request's first three tokens, split at spaces alone (runs of spaces
// count as one; CR, LF and tab are ordinary characters). A NUL byte ends the
// request text.
struct RequestTokens {
  std::string_view token[3];
  int count = 0;
};
RequestTokens SplitRequest(const char* data, int length);

// The newest picture as one JPEG; also as "/snapshot.jpg".
constexpr char kSnapshotPath[] = "/snapshot";
// Camera N's own addresses, every camera's (camera 0 answers these too).
std::string CameraStreamPath(int camera);    // "/cam/N/video"
std::string CameraSnapshotPath(int camera);  // "/cam/N/snapshot"
// How the camera and the server are doing, as JSON.
constexpr char kStateRoute[] = "/state";

// What a request is answered with.
enum class Answer {
  kNone,            // closed without an answer: no URL or version, or a bad escape
  kNotImplemented,  // a method other than GET and HEAD
  kStream,
  kSnapshot,
  kState,  // how the camera and the server are doing, as JSON
  kFile,
  kWhepOffer,         // POST of an SDP offer: a WebRTC viewer
  kWhepEnd,           // DELETE of a WebRTC viewer's session
  kMethodNotAllowed,  // a WHEP address asked with another method
};

struct Route {
  Answer answer = Answer::kNone;
  bool headOnly = false;  // HEAD: the same status line and headers, no body
  std::string path;       // kFile: the URL's path, still encoded, for ResolvePath;
                          // kWhepEnd: the session's token
  int camera = 0;         // kStream, kSnapshot, kWhepOffer: which camera, from 0 in the order found
  const char* allow = "";  // kMethodNotAllowed: the method that is
};

// Routes a request by its first three tokens. An absolute-form URL
// ("http://host/path") counts as its path. The URL is split at its first
// "?", the part before it decoded once and compared, without regard to case,
// with the stream URL and the snapshot URLs; "/?action=stream" and
// "/?action=snapshot" name those too, for the first camera; every camera N
// also answers "/cam/N/video", "/cam/N/snapshot" and "/?action=stream_N",
// "/?action=snapshot_N". "/whep" (the first camera's) and "/cam/N/whep"
// take WebRTC offers, "/whep/TOKEN" is a WebRTC session: any method but
// POST and DELETE there is not allowed. Anything else is a file.
Route RouteRequest(const RequestTokens& tokens, std::string_view streamUrl);

// Decodes %XX escapes; "+" stays "+". False on a "%" not followed by two
// hexadecimal digits.
bool PercentDecode(std::string_view text, std::string& decoded);

// Where a request head ends: just past its empty line, or npos while it
// has none. Lines end in CR LF or in a bare LF.
size_t HeadEnd(std::string_view head);

// The value of the header field `name` (without regard to case) in a
// request head, without surrounding spaces; empty when it is absent. Lines
// end in CR LF or in a bare LF.
std::string_view HeaderValue(std::string_view head, std::string_view name);

}  // namespace server
