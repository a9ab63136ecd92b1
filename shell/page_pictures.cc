#include "shell/page_pictures.h"

namespace shell {

std::vector<share::PictureSize> OtherPictures(station::Station& station) {
  std::vector<share::PictureSize> pictures;
  for (size_t n = 1; n < station.Count(); ++n) {
    if (!station.At(n).served) continue;
    share::PictureSize& picture = pictures.emplace_back();
    static_cast<void>(station.At(n).device.GetImageSize(picture.width, picture.height));
  }
  return pictures;
}

}  // namespace shell
