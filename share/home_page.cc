#include "share/home_page.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/message_box.h"
#include "share/share_links.h"

namespace share {

std::string HomePageText(const std::string& address, int32_t port, const std::string& streamPath,
                         PictureSize picture) {
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
           // In the picture's own shape, narrowed to fit a phone's screen.
           "<IMG SRC=\"" + streamPath + "\" WIDTH=\"" + std::to_string(picture.width) +
               "\" HEIGHT=\"" + std::to_string(picture.height) +
               "\" STYLE=\"max-width:100%;height:auto\" ALT=\"Live camera picture\">",
           std::string("</APPLET>"),
           std::string(),
           std::string("</BODY>"),
           std::string("</HTML>"),
       })
    page += line + "\r\n";
  return page;
}

HomePageOutcome WriteHomePage(const std::string& address, int32_t port,
                              const std::string& streamPath, PictureSize picture) {
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
  std::string page = HomePageText(address, port, streamPath, picture);
  [[maybe_unused]] ssize_t written = ::write(fd, page.data(), page.size());
  ::close(fd);
  return HomePageOutcome::Written;
}

bool WriteMissingHomePage(const std::string& address, int32_t port, const std::string& streamPath,
                          PictureSize picture) {
  // O_EXCL: a page that appears meanwhile, or a link in its place, stays.
  int fd = ::open("www/index.html", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string page = HomePageText(address, port, streamPath, picture);
  const bool written = ::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
  ::close(fd);
  if (!written) ::unlink("www/index.html");  // half a page would never be replaced
  return written;
}

}  // namespace share
