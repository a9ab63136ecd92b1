// What the keeper does when its disk fills: one message that says why and
// where, a file that still reads, and a server that goes on.
#include "keep/keeper.h"

#include <sys/mount.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "tests/support/command.h"
#include "tests/support/frame_publish.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/pictures.h"
#include "tests/support/server_fixture.h"

namespace {

using namespace std::chrono;

// A 1 MB disk of its own, mounted for the test.
class SmallDisk {
 public:
  explicit SmallDisk(const std::filesystem::path& at) : path_(at.string()) {
    std::filesystem::create_directory(at);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

class KeeperTest : public ServerFixture {
 protected:
  void SetUp() override {
    device.frameStore.Reallocate(1 << 20);
    StartListener();
  }
  // Publishes the camera's pictures at about 100 a second until the keeper
  // stops something, or 10 s pass; what it said.
  keep::Keeper::Stops PublishUntilStopped(keep::Keeper& keeper, const std::string& picture) {
    const DecodedJpeg decoded = DecodeJpeg(picture);
    const capture::PictureShape shape{decoded.width, decoded.height, true};
    keep::Keeper::Stops stops;
    for (auto end = steady_clock::now() + seconds(10); steady_clock::now() < end;) {
      Publish(device.frameStore, picture, shape);
      std::this_thread::sleep_for(milliseconds(10));
      stops = keeper.TakeStops();
      if (!stops.messages.empty()) break;
    }
    // Nothing more comes after the one message.
    for (int i = 0; i < 30; ++i) {
      Publish(device.frameStore, picture, shape);
      std::this_thread::sleep_for(milliseconds(10));
    }
    for (std::string& more : keeper.TakeStops().messages) stops.messages.push_back(more);
    return stops;
  }
  bool ServerAnswers() {
    return Exchange(Port(), "GET /snapshot HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 200 OK", 0) == 0;
  }
};

TEST_F(KeeperTest, AFullDiskStopsTheRecordingWithOneMessageAndTheFileStillPlays) {
  SmallDisk disk(folder.Path() / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "tmpfs can't be mounted here: " << std::strerror(errno);
  keep::Keeper keeper(device.frameStore);
  keep::KeepPlan plan;
  plan.record = true;
  plan.videoFolder = disk.Path();
  plan.minFreeBytes = 0;  // let it run into the full disk
  keeper.Apply(plan);
  const keep::Keeper::Stops stops = PublishUntilStopped(keeper, CameraJpeg(640, 480));
  ASSERT_EQ(stops.messages.size(), 1u);
  const std::string prefix = "The disk is full: recording stopped. " + disk.Path() + "/Owlglance ";
  EXPECT_EQ(stops.messages[0].rfind(prefix, 0), 0u) << stops.messages[0];
  EXPECT_TRUE(stops.record);
  EXPECT_FALSE(keeper.Recording());
  EXPECT_FALSE(keeper.Wants());
  const std::string file = stops.messages[0].substr(stops.messages[0].find(disk.Path()));
  const std::string probe = RunCommand(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_name,width,nb_read_frames -of csv=p=0 '" +
      file + "'");
  EXPECT_EQ(probe.rfind("mjpeg,640,", 0), 0u) << probe;
  EXPECT_GT(std::atoi(probe.c_str() + 10), 5) << probe;
  EXPECT_TRUE(ServerAnswers());
}

TEST_F(KeeperTest, IntervalPicturesOnAFullDiskStopWithOneMessageAndLeaveNoHalfFile) {
  SmallDisk disk(folder.Path() / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "tmpfs can't be mounted here: " << std::strerror(errno);
  std::ofstream(disk.Path() + "/filler") << std::string(1000 * 1024, 'f');
  keep::Keeper keeper(device.frameStore);
  keep::KeepPlan plan;
  plan.interval = true;
  plan.seconds = 1;
  plan.pictureFolder = disk.Path();
  keeper.Apply(plan);
  const keep::Keeper::Stops stops = PublishUntilStopped(keeper, CameraJpeg(640, 480));
  ASSERT_EQ(stops.messages.size(), 1u);
  EXPECT_EQ(stops.messages[0].rfind(
                "The disk is full: interval pictures stopped. " + disk.Path() + "/2", 0),
            0u)
      << stops.messages[0];
  EXPECT_TRUE(stops.interval);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(disk.Path()))
    ++files;
  EXPECT_EQ(files, 1) << "the filler alone: no half picture, no temporary file";
  EXPECT_TRUE(ServerAnswers());
}

TEST_F(KeeperTest, RecordingStopsWhenTooLittleSpaceIsLeft) {
  SmallDisk disk(folder.Path() / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "tmpfs can't be mounted here: " << std::strerror(errno);
  keep::Keeper keeper(device.frameStore);
  keep::KeepPlan plan;
  plan.record = true;
  plan.videoFolder = disk.Path();  // 1 MB: below the 200 MB a recording needs
  keeper.Apply(plan);
  const keep::Keeper::Stops stops = PublishUntilStopped(keeper, CameraJpeg(320, 240));
  ASSERT_EQ(stops.messages.size(), 1u);
  EXPECT_EQ(stops.messages[0],
            "Less than 200 MB are left on the disk: recording stopped. " + disk.Path());
}

}  // namespace
