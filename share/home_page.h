#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace share {

enum class HomePageOutcome { Declined, Failed, Written };

// The camera's picture size: the page shows the stream in its own shape.
struct PictureSize {
  int32_t width = 640, height = 480;
};

// Writes "www/index.html" for a viewer at `address`:`port` of `streamPath`,
// after asking the user; a file that can't be opened is reported. The
// pictures of the other cameras served, `others` (cameras 1, 2, ...),
// follow the first's.
HomePageOutcome WriteHomePage(const std::string& address, int32_t port,
                              const std::string& streamPath, PictureSize picture,
                              const std::vector<PictureSize>& others = {});

// Writes the same page when there is none, asking nothing: false when a
// page is there already (it is never overwritten) or can't be written.
bool WriteMissingHomePage(const std::string& address, int32_t port, const std::string& streamPath,
                          PictureSize picture, const std::vector<PictureSize>& others = {});

// What FollowHomePage found.
enum class PageFollows {
  kNoPage,    // none there (or unreadable)
  kAlready,   // it shows this port and stream already
  kFollowed,  // written again for them
  kEdited,    // not the page Owlglance wrote: left alone
  kFailed,    // it could not be written
};

// A home page Owlglance wrote and nobody has changed since (byte for byte
// the page HomePageText gives for the address, port, stream and size it
// names) is written again for `port` and `streamPath`, keeping its address
// and its cameras' picture sizes. One edited by hand is never touched.
PageFollows FollowHomePage(int32_t port, const std::string& streamPath);

// What Setup says when the stream or port changed and the page, edited,
// stayed as it was.
constexpr char kEditedPageMessage[] =
    "The home page, www/index.html, was edited, so it was left as it is: it may still show the "
    "old address. Help > Wizard writes it anew.";

// The page's text, lines ending in CR LF.
std::string HomePageText(const std::string& address, int32_t port, const std::string& streamPath,
                         PictureSize picture, const std::vector<PictureSize>& others = {});

}  // namespace share
