#pragma once

#include <vector>

#include "share/home_page.h"
#include "station/station.h"

namespace shell {

// The picture sizes of the cameras served after the first, in the server's
// order: the home page shows each of them.
std::vector<share::PictureSize> OtherPictures(station::Station& station);

}  // namespace shell
