// The stream as FFmpeg and Chromium see it.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "capture/jpeg_encoder.h"
#include "tests/support/command.h"
#include "tests/support/pictures.h"
#include "tests/support/server_fixture.h"

namespace {

class RealClientsTest : public ServerFixture {
 protected:
  void SetUp() override {
    device.frameStore.Reallocate(320 * 240 * 4);
    StartListener();
  }
  void TearDown() override {
    stopWriter = true;
    if (writer.joinable()) writer.join();
    ServerFixture::TearDown();
  }
  // Publishes `picture` 30 times a second until the test ends.
  void StartWriter(Picture picture) {
    writer = std::thread([this, picture]() mutable {
      capture::CaptureError lastError;
      capture::JpegEncoder encoder(lastError);
      while (!stopWriter) {
        int32_t capacity = 0;
        uint8_t* buffer = device.frameStore.BeginFrame(capacity);
        int32_t length = encoder.Encode(picture.header, picture.rows.data(), buffer, capacity, 80);
        device.frameStore.EndFrame(length);
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
      }
    });
    ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > 0; }));
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
  }

  std::thread writer;
  std::atomic<bool> stopWriter{false};
};

TEST_F(RealClientsTest, FfmpegDecodesTenFramesOfTheRightSize) {
  StartWriter(NoisyGradient(320, 240));
  std::string raw = RunCommand("timeout 20 ffmpeg -v error -i " + Url("/video") +
                               " -frames:v 10 -f rawvideo -pix_fmt rgb24 -");
  EXPECT_EQ(raw.size(), 10u * 320 * 240 * 3);
  std::string probe = RunCommand(
      "timeout 20 ffprobe -v error -select_streams v:0 -show_entries "
      "stream=width,height -of csv=p=0 " +
      Url("/video"));
  EXPECT_EQ(probe, "320,240\n");
}

TEST_F(RealClientsTest, ChromiumShowsTheStoredImage) {
  Picture orange = MakePicture(320, 240, 24);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      uint8_t* bgr = orange.Row(y) + x * 3;
      bgr[0] = 20;
      bgr[1] = 120;
      bgr[2] = 240;
    }
  StartWriter(orange);
  folder.Write("www/view.html",
               "<html><body style='margin:0;background:#000'>"
               "<img src='/video' width='320' height='240'></body></html>");
  std::string png = (folder.Path() / "shot.png").string();
  ASSERT_TRUE(ChromiumScreenshot(Url("/view.html"), png, 400, 300));
  std::string rgb = ImageToRgb(png);
  ASSERT_EQ(rgb.size(), 400u * 300 * 3);
  auto pixel = [&](int x, int y) {
    return reinterpret_cast<const uint8_t*>(&rgb[(y * 400 + x) * 3]);
  };
  const uint8_t* inside = pixel(160, 120);
  EXPECT_NEAR(inside[0], 240, 20);
  EXPECT_NEAR(inside[1], 120, 20);
  EXPECT_NEAR(inside[2], 20, 20);
  EXPECT_LT(pixel(380, 280)[0], 20) << "outside the image: the page's black";
}

TEST_F(RealClientsTest, FfmpegReadsTheSnapshotAsOneImageOfTheStreamsSize) {
  StartWriter(NoisyGradient(320, 240));
  EXPECT_EQ(RunCommand("timeout 20 ffprobe -v error -show_entries stream=codec_name,width,height "
                       "-of csv=p=0 " +
                       Url("/snapshot")),
            "mjpeg,320,240\n");
  std::string raw = RunCommand("timeout 20 ffmpeg -v error -i " + Url("/?action=snapshot") +
                               " -f rawvideo -pix_fmt rgb24 -");
  EXPECT_EQ(raw.size(), 320u * 240 * 3) << "exactly one frame";
}

TEST_F(RealClientsTest, CurlStreamsOverIpv6AndTheLogShowsEachAddressInItsOwnForm) {
  StartWriter(NoisyGradient(320, 240));
  control.logConnections = 1;
  std::string port = std::to_string(Port());
  std::string head =
      RunCommand("curl -sg --max-time 2 'http://[::1]:" + port + "/video' | head -c 200");
  EXPECT_EQ(head.rfind("--Owlglance\r\nContent-Type: image/jpeg\r\n", 0), 0u) << head;
  RunCommand("curl -s --max-time 2 http://127.0.0.1:" + port + "/snapshot >/dev/null");
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }, 5000));
  // curl keeps its HTTP/1.1 connection open until it ends, a moment later.
  ASSERT_TRUE(Eventually([&] {
    return folder.Read("Owlglance.log").find(" Connection closed: 127.0.0.1\r\n") !=
           std::string::npos;
  }));
  std::string log = folder.Read("Owlglance.log");
  EXPECT_NE(log.find(" Connection received from: ::1\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Connection closed: 127.0.0.1\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("::ffff:"), std::string::npos) << log;
}

TEST_F(RealClientsTest, ChromiumRendersAnSvgImageAndRunsAModuleScript) {
  folder.Write("www/red.svg",
               "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='100'>"
               "<rect width='100' height='100' fill='#f00'/></svg>");
  folder.Write("www/paint.mjs", "document.getElementById('m').style.background = '#0f0';\n");
  folder.Write("www/types.html",
               "<html><body style='margin:0;background:#000'>"
               "<img src='/red.svg' style='position:absolute;left:0;top:0'>"
               "<div id='m' style='position:absolute;left:200px;top:0;width:100px;height:100px'>"
               "</div><script type='module' src='/paint.mjs'></script></body></html>");
  std::string png = (folder.Path() / "types.png").string();
  ASSERT_TRUE(ChromiumScreenshot(Url("/types.html"), png, 400, 200));
  std::string rgb = ImageToRgb(png);
  ASSERT_EQ(rgb.size(), 400u * 200 * 3);
  auto pixel = [&](int x, int y) {
    const auto* p = reinterpret_cast<const uint8_t*>(&rgb[(y * 400 + x) * 3]);
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(pixel(50, 50), (std::vector<int>{255, 0, 0})) << "the SVG";
  EXPECT_EQ(pixel(250, 50), (std::vector<int>{0, 255, 0})) << "the module's paint";
}

// A player seeks in a video of www/ with Range requests: without them
// Chromium can't leave the start.
TEST_F(RealClientsTest, ChromiumSeeksInAWebmVideo) {
  const std::string modules = std::string(OWL_SOURCE_DIR) + "/build/node/node_modules";
  if (!std::filesystem::exists(modules + "/playwright-core"))
    GTEST_SKIP() << "playwright-core is missing from build/node (./owl test installs it)";
  folder.Write(
      "www/seek.html",
      "<html><body><video src='/clip.webm' preload='metadata' muted></video></body></html>");
  // A minute of video, more than a player reads ahead: two seconds encoded,
  // then repeated without encoding.
  ASSERT_EQ(
      RunCommand("cd www && ffmpeg -v error -f lavfi -i testsrc=duration=2:size=640x480:rate=25 "
                 "-c:v libvpx -deadline realtime -cpu-used 8 -b:v 3M -g 25 two.webm && "
                 "ffmpeg -v error -stream_loop 29 -i two.webm -c copy clip.webm && echo made"),
      "made\n");
  const std::string time =
      RunCommand("NODE_PATH='" + modules + "' timeout 60 node '" + OWL_SOURCE_DIR +
                 "/tests/support/seek_video.cjs' '" + Url("/seek.html") + "' 50");
  EXPECT_NEAR(std::atof(time.c_str()), 50.0, 0.5) << time;
}

}  // namespace
