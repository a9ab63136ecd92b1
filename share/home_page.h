#pragma once

#include <cstdint>
#include <string>

namespace share {

enum class HomePageOutcome { Declined, Failed, Written };

// The camera's picture size: the page shows the stream in its own shape.
struct PictureSize {
  int32_t width = 640, height = 480;
};

// Writes "www/index.html" for a viewer at `address`:`port` of `streamPath`,
// after asking the user; a file that can't be opened is reported.
HomePageOutcome WriteHomePage(const std::string& address, int32_t port,
                              const std::string& streamPath, PictureSize picture);

// Writes the same page when there is none, asking nothing: false when a
// page is there already (it is never overwritten) or can't be written.
bool WriteMissingHomePage(const std::string& address, int32_t port, const std::string& streamPath,
                          PictureSize picture);

// The page's text, lines ending in CR LF.
std::string HomePageText(const std::string& address, int32_t port, const std::string& streamPath,
                         PictureSize picture);

}  // namespace share
