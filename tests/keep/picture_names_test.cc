#include "keep/picture_names.h"

#include <gtest/gtest.h>

#include <set>

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

}  // namespace
