#include "keep/picture_names.h"

#include <gtest/gtest.h>

#include <set>

#include "keep/jpeg_size.h"

namespace {

TEST(PictureNames, NamesFromTheLocalTime) {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 9;
  when.tm_hour = 7;
  when.tm_min = 5;
  when.tm_sec = 3;
  EXPECT_EQ(keep::IntervalPictureName(when), "2026-12-09_07-05-03.jpg");
  EXPECT_EQ(keep::SavedPictureName(when), "Owlglance 2026-12-09 07-05-03.jpg");
  EXPECT_EQ(keep::RecordingName(when), "Owlglance 2026-12-09 07-05-03.mkv");
}

TEST(PictureNames, TwoInOneSecondKeepBoth) {
  std::set<std::string> folder;
  auto taken = [&](const std::string& name) { return folder.contains(name); };
  for (const char* expected :
       {"2026-12-09_07-05-03.jpg", "2026-12-09_07-05-03_2.jpg", "2026-12-09_07-05-03_3.jpg"}) {
    const std::string name = keep::FreeName("2026-12-09_07-05-03.jpg", taken);
    EXPECT_EQ(name, expected);
    folder.insert(name);
  }
}

TEST(PictureNames, PruningDeletesTheOldestIntervalPicturesAlone) {
  const std::vector<std::string> folder = {"2026-12-09_07-05-04.jpg",
                                           "2026-12-09_07-05-03_10.jpg",
                                           "holiday.jpg",
                                           "2026-12-09_07-05-03_9.jpg",
                                           "2026-12-09_07-05-03.jpg",
                                           "2026-12-09_07-05-03_2.jpg",
                                           ".2026-12-09_07-05-05.jpg.part-12",
                                           "2026-12-09_07-05-05.jpeg",
                                           "2026-12-09_07-05-03_1.jpg",
                                           "2026-12-09_07-05-03_x.jpg",
                                           "Owlglance 2026-12-09 07-05-03.jpg"};
  struct Case {
    uint32_t keep;
    std::vector<std::string> deleted;
  };
  const Case cases[] = {
      {0, {}},  // all stay
      {5, {}},
      {4, {"2026-12-09_07-05-03.jpg"}},
      {2, {"2026-12-09_07-05-03.jpg", "2026-12-09_07-05-03_2.jpg", "2026-12-09_07-05-03_9.jpg"}},
      {1,
       {"2026-12-09_07-05-03.jpg", "2026-12-09_07-05-03_2.jpg", "2026-12-09_07-05-03_9.jpg",
        "2026-12-09_07-05-03_10.jpg"}},
  };
  for (const Case& c : cases) EXPECT_EQ(keep::PicturesBeyond(folder, c.keep), c.deleted) << c.keep;
}

TEST(JpegSize, TheFrameHeadersSizeOrNone) {
  // SOI, an APP0 of 4 bytes, SOF0 with 480 x 640.
  const uint8_t picture[] = {0xff, 0xd8, 0xff, 0xe0, 0x00, 0x04, 0x00, 0x00, 0xff,
                             0xc0, 0x00, 0x11, 0x08, 0x01, 0xe0, 0x02, 0x80, 0x03};
  int32_t width = 0, height = 0;
  ASSERT_TRUE(keep::JpegSize(picture, sizeof picture, width, height));
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_FALSE(keep::JpegSize(picture, 12, width, height)) << "cut before the size";
  const uint8_t scanFirst[] = {0xff, 0xd8, 0xff, 0xda, 0x00, 0x04, 0x00, 0x00, 0xff, 0xc0};
  EXPECT_FALSE(keep::JpegSize(scanFirst, sizeof scanFirst, width, height));
  const uint8_t notJpeg[] = {0x89, 'P', 'N', 'G'};
  EXPECT_FALSE(keep::JpegSize(notJpeg, sizeof notJpeg, width, height));
}

}  // namespace
