// File > Save Picture, Video > Pictures Every... and Video > Record in the
// real program.
#include <algorithm>
#include <fstream>
#include <thread>

#include "keep/picture_names.h"
#include "tests/support/command.h"
#include "tests/support/gui_fixture.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using KeepTest = GuiTest;
using Lines = std::vector<std::string>;
using namespace std::chrono;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_directory(folder))
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      files.push_back(entry.path());
  return files;
}

TEST_F(KeepTest, SavePictureWritesThePictureViewersGetServedOrNot) {
  Start();
  // Stopped: the camera is grabbed for the one picture.
  size_t skip = session->LineCount();
  EXPECT_TRUE(Menu(102).empty());
  std::string line = session->WaitForLine("save ", 10000, skip);
  const std::string name = line.substr(line.find('|') + 1);
  EXPECT_EQ(name.rfind("Owlglance 20", 0), 0u) << line;
  EXPECT_TRUE(name.ends_with(".jpg")) << line;
  const DecodedJpeg stopped = DecodeJpeg(ReadFile(folder.Path() / "driver" / name));
  ASSERT_TRUE(stopped.ok);
  EXPECT_EQ(stopped.width, 640);
  std::filesystem::remove(folder.Path() / "driver" / name);

  // Served: the file holds the bytes of a part viewers got.
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  TestClient viewer(port);
  viewer.Send("GET /video HTTP/1.0\r\n\r\n");
  std::string bytes;
  std::thread reader([&] { bytes = viewer.ReadAll(2500); });
  std::this_thread::sleep_for(milliseconds(1000));
  skip = session->LineCount();
  EXPECT_TRUE(Menu(102).empty());
  line = session->WaitForLine("save ", 10000, skip);
  reader.join();
  const std::string saved = ReadFile(folder.Path() / "driver" / line.substr(line.find('|') + 1));
  const ParsedStream stream = ParseStream(bytes);
  ASSERT_GT(stream.images.size(), 10u);
  EXPECT_NE(std::ranges::find(stream.images, saved), stream.images.end());
}

TEST_F(KeepTest, RecordIsACheckedItemShownInTheStatusBarAndItsFilePlays) {
  Start();
  const std::filesystem::path videos = folder.Path() / "videos";
  std::ofstream(folder.Path() / "config" / "user-dirs.dirs")
      << "XDG_VIDEOS_DIR=\"" << videos.string() << "\"\n";
  EXPECT_TRUE(Menu(206).empty());
  EXPECT_TRUE(
      session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing|Recording"));
  EXPECT_EQ(Saved().record, 1u);
  std::this_thread::sleep_for(seconds(2));
  EXPECT_TRUE(Menu(206).empty());
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  EXPECT_EQ(Saved().record, 0u);
  const auto files = FilesIn(videos);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(keep::IsRecordingName(files[0].filename().string())) << files[0];
  const std::string probe = RunCommand(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
      files[0].string() + "'");
  EXPECT_EQ(probe.rfind("mjpeg,640,480,", 0), 0u) << probe;
  EXPECT_GE(std::atoi(probe.c_str() + 14), 30) << probe;
}

TEST_F(KeepTest, PicturesEveryChecksWhatIsTypedAndKeepsTheNewestPictures) {
  Start();
  ASSERT_TRUE(OpenDialog(205, "Pictures Every"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1302", "value"), "value 1302|60");
  EXPECT_EQ(Ask("get 1304", "value"), "value 1304|0");
  const std::string pictures = (folder.Path() / "plant").string();
  for (const std::string& edit :
       Lines{"set 1301 1", "set 1302 0", "set 1303 " + pictures, "set 1304 2"})
    Ask(edit, "set");
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_EQ(BoxesSince(skip), Lines{"Invalid Parameter|Take a picture every 1 to 86400 seconds."});
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog Pictures Every") << "still open";
  // A folder no picture can go to is said at OK, not a minute later.
  folder.Write("a-file", "x");
  const std::string below = (folder.Path() / "a-file" / "plant").string();
  Ask("set 1302 1", "set");
  Ask("set 1303 " + below, "set");
  skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_EQ(BoxesSince(skip),
            Lines{"Invalid Parameter|No picture can be kept there: Not a directory. " + below});
  EXPECT_EQ(Saved().intervalon, 0u) << "nothing taken";
  Ask("set 1303 " + pictures, "set");
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  const settings::ServerSettings saved = Saved();
  EXPECT_EQ(saved.intervalon, 1u);
  EXPECT_EQ(saved.interval, 1u);
  EXPECT_EQ(saved.intervalkeep, 2u);
  EXPECT_EQ(saved.intervaldir, pictures);
  std::this_thread::sleep_for(milliseconds(3500));
  const auto files = FilesIn(pictures);
  ASSERT_EQ(files.size(), 2u) << "the newest two";
  for (const auto& file : files) EXPECT_TRUE(DecodeJpeg(ReadFile(file)).ok) << file;
}

}  // namespace
