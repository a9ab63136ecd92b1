#include "share/home_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <string_view>

#include "platform/message_box.h"
#include "server/request_route.h"
#include "share/share_links.h"

namespace share {

namespace {

// Plays the pictures through WebRTC where the browser can (www/whep.js).
constexpr std::string_view kWebRtcLine = "<SCRIPT SRC=\"whep.js\"></SCRIPT>";

// A live picture in its own shape, narrowed to fit a phone's screen.
std::string Picture(const std::string& path, PictureSize picture, const std::string& alt) {
  return "<IMG SRC=\"" + path + "\" WIDTH=\"" + std::to_string(picture.width) + "\" HEIGHT=\"" +
         std::to_string(picture.height) + "\" STYLE=\"max-width:100%;height:auto\" ALT=\"" + alt +
         "\">";
}

}  // namespace

std::string HomePageText(const std::string& address, int32_t port, const std::string& streamPath,
                         PictureSize picture, const std::vector<PictureSize>& others) {
  const std::string portText = std::to_string(port);
  std::string page;
  for (const std::string& line : {
           std::string("<HTML>"),
           std::string("<HEAD>"),
           std::string("<TITLE>My Webcam</TITLE>"),
           std::string("</HEAD>"),
           std::string("<BODY>"),
           std::string(),
           std::string("<P><H1>My Webcam</H1></P>"),
           std::string(),
           "<APPLET CODE=\"OwlglanceApplet2.class\" CODEBASE=\"" +
               BaseUrl(address, static_cast<uint32_t>(port)) + "/\" WIDTH=\"320\" HEIGHT=\"240\">",
           "<PARAM NAME=\"SERVER\" VALUE=\"" + address + "\">",
           "<PARAM NAME=\"PORT\" VALUE=\"" + portText + "\">",
           "<PARAM NAME=\"URI\" VALUE=\"" + streamPath + "\">",
           // Browsers without applets (all current ones) show the stream here.
           Picture(streamPath, picture, "Live camera picture"),
           std::string("</APPLET>"),
           std::string(),
       })
    page += line + "\r\n";
  for (size_t n = 1; n <= others.size(); ++n)
    page += "<P>" +
            Picture(server::CameraStreamPath(static_cast<int>(n)), others[n - 1],
                    "Live picture of camera " + std::to_string(n)) +
            "</P>\r\n";
  if (!others.empty()) page += "\r\n";
  page += std::string(kWebRtcLine) + "\r\n</BODY>\r\n</HTML>\r\n";
  return page;
}

HomePageOutcome WriteHomePage(const std::string& address, int32_t port,
                              const std::string& streamPath, PictureSize picture,
                              const std::vector<PictureSize>& others) {
  // Asked only when there is a page to overwrite.
  if (::access("www/index.html", F_OK) == 0 &&
      platform::ShowMessageBox("Are you sure you want to overwrite www/index.html?", "Overwrite?",
                               platform::kMbOkCancel) == platform::kIdCancel)
    return HomePageOutcome::Declined;
  int fd = ::open("www/index.html", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    platform::ShowMessageBox(
        "Could not open index.html, make sure \"www\" folder exists and file is not write "
        "protected.",
        "Error", platform::kMbOk);
    return HomePageOutcome::Failed;
  }
  std::string page = HomePageText(address, port, streamPath, picture, others);
  [[maybe_unused]] ssize_t written = ::write(fd, page.data(), page.size());
  ::close(fd);
  return HomePageOutcome::Written;
}

bool WriteMissingHomePage(const std::string& address, int32_t port, const std::string& streamPath,
                          PictureSize picture, const std::vector<PictureSize>& others) {
  // O_EXCL: a page that appears meanwhile, or a link in its place, stays.
  int fd = ::open("www/index.html", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string page = HomePageText(address, port, streamPath, picture, others);
  const bool written = ::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
  ::close(fd);
  if (!written) ::unlink("www/index.html");  // half a page would never be replaced
  return written;
}

namespace {

constexpr char kPagePath[] = "www/index.html";

// The text between `before` and the next `after` in `page`.
std::string_view Between(std::string_view page, std::string_view before, std::string_view after) {
  const size_t start = page.find(before);
  if (start == std::string_view::npos) return {};
  const size_t end = page.find(after, start + before.size());
  if (end == std::string_view::npos) return {};
  return page.substr(start + before.size(), end - start - before.size());
}

int32_t Number(std::string_view text) {
  int32_t value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

// A page written whole or not at all: a viewer never loads half of one.
bool ReplacePage(const std::string& page) {
  const std::string temporary = std::string(kPagePath) + ".new";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
  ::close(fd);
  if (written && std::rename(temporary.c_str(), kPagePath) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace

PageFollows FollowHomePage(int32_t port, const std::string& streamPath) {
  // Owlglance's page is under a kilobyte: a larger one is someone's own.
  char buffer[4096];
  int fd = ::open(kPagePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return PageFollows::kNoPage;
  const ssize_t size = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (size < 0) return PageFollows::kNoPage;
  const std::string_view page(buffer, static_cast<size_t>(size));

  const std::string address(Between(page, "<PARAM NAME=\"SERVER\" VALUE=\"", "\">"));
  const int32_t shownPort = Number(Between(page, "<PARAM NAME=\"PORT\" VALUE=\"", "\">"));
  const std::string shownPath(Between(page, "<PARAM NAME=\"URI\" VALUE=\"", "\">"));
  // The applet has a size too: the pictures' are read from their lines.
  auto sizeOn = [](std::string_view line) {
    return PictureSize{Number(Between(line, "\" WIDTH=\"", "\" HEIGHT")),
                       Number(Between(line, "\" HEIGHT=\"", "\" STYLE"))};
  };
  const PictureSize picture = sizeOn(Between(page, "<IMG SRC=\"", "\r\n"));
  std::vector<PictureSize> others;
  for (int n = 1;; ++n) {
    const std::string_view line =
        Between(page, "<P><IMG SRC=\"" + server::CameraStreamPath(n), "\r\n");
    if (line.empty()) break;
    others.push_back(sizeOn(line));
  }
  // Pages written before WebRTC lack its line: they are Owlglance's too.
  const std::string ours = HomePageText(address, shownPort, shownPath, picture, others);
  std::string older = ours;
  older.erase(older.find(kWebRtcLine), kWebRtcLine.size() + 2);
  if (page != ours && page != older) return PageFollows::kEdited;
  if (shownPort == port && shownPath == streamPath) return PageFollows::kAlready;
  return ReplacePage(HomePageText(address, port, streamPath, picture, others))
             ? PageFollows::kFollowed
             : PageFollows::kFailed;
}

}  // namespace share
