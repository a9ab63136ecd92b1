#include "keep/picture_names.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// 2026-12-09 07:05:03, local time.
std::tm SevenOFiveAndThree() {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 9;
  when.tm_hour = 7;
  when.tm_min = 5;
  when.tm_sec = 3;
  return when;
}

TEST(PictureNames, NamesFromTheLocalTime) {
  const std::tm when = SevenOFiveAndThree();
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

// With several cameras each file names its camera, and each camera's
// pictures are pruned apart from the others'.
TEST(PictureNames, EachCameraNamesAndPrunesItsOwnFiles) {
  const std::tm when = SevenOFiveAndThree();
  EXPECT_EQ(keep::IntervalPictureName(when, "Door"), "Door 2026-12-09_07-05-03.jpg");
  EXPECT_EQ(keep::RecordingName(when, "Door"), "Owlglance Door 2026-12-09 07-05-03.mkv");
  const struct {
    const char* name;
    bool recording;
  } recordings[] = {
      {"Owlglance Door 2026-12-09 07-05-03.mkv", true},
      {"Owlglance Front Door 2026-12-09 07-05-03_2.mkv", true},
      {"Owlglance 2026-12-09 07-05-03.mkv", true},
      {"Owlglance Door2026-12-09 07-05-03.mkv", false},
      {"Owlglance Door 2026-12-09.mkv", false},
      {"Door 2026-12-09 07-05-03.mkv", false},
  };
  for (const auto& c : recordings) EXPECT_EQ(keep::IsRecordingName(c.name), c.recording) << c.name;

  const std::vector<std::string> folder = {
      "Door 2026-12-09_07-05-04.jpg", "Garden 2026-12-09_07-05-01.jpg",
      "Door 2026-12-09_07-05-03.jpg", "2026-12-09_07-05-02.jpg", "Door 2026-12-09_07-05-03_2.jpg"};
  EXPECT_EQ(
      keep::PicturesBeyond(folder, 1, "Door"),
      (std::vector<std::string>{"Door 2026-12-09_07-05-03.jpg", "Door 2026-12-09_07-05-03_2.jpg"}));
  EXPECT_EQ(keep::PicturesBeyond(folder, 1, "Garden"), std::vector<std::string>{});
  EXPECT_EQ(keep::PicturesBeyond(folder, 1), std::vector<std::string>{});
  EXPECT_FALSE(keep::IsIntervalPicture("Door 2026-12-09_07-05-04.jpg", "Garden"));

  EXPECT_EQ(keep::CameraInFileName("USB 2.0 Camera: HD/720p\n"), "USB 2.0 Camera: HD_720p_");
  EXPECT_EQ(keep::CameraInFileName(std::string("a\nb", 3)), "a_b");
  EXPECT_EQ(keep::CameraInFileName(""), "camera");
}

}  // namespace
