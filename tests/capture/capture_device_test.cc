#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "capture/capture_device.h"
#include "platform/installed_drivers.h"
#include "tests/support/frame_publish.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/scripted_camera.h"
#include "tests/support/server_fixture.h"

namespace {

using namespace std::chrono;

int32_t StoredLength(capture::FrameStore& store) {
  return capture::FrameStore::Reader(store).Length();
}

TEST(CaptureDevice, WithoutADriverEveryOperationNeedingOneRefuses) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(9, 75), capture::DeviceResult::kOk);
  EXPECT_EQ(device.lastError.Category(), capture::ErrConnectFailed);
  int32_t width = -7, height = -7;
  struct Case {
    const char* name;
    std::function<capture::DeviceResult()> call;
  };
  const Case cases[] = {
      {"GetImageSize", [&] { return device.GetImageSize(width, height); }},
      {"StartPreview", [&] { return device.StartPreview(); }},
      {"StartGrabbing", [&] { return device.StartGrabbing(); }},
      {"ShowFormatDialog", [&] { return device.ShowFormatDialog(); }},
      {"ShowSourceDialog", [&] { return device.ShowSourceDialog(); }},
  };
  for (const auto& c : cases) {
    device.lastError.Record(capture::ErrJpegInit);
    EXPECT_EQ(c.call(), capture::DeviceResult::kFailed) << c.name;
    EXPECT_EQ(device.lastError.Category(), capture::ErrNotConnected) << c.name;
  }
  EXPECT_EQ(width, -7);
  device.StopPreview();
  device.StopGrabbing();
  EXPECT_FALSE(device.IsPreviewing());
  EXPECT_FALSE(device.IsGrabbing());
}

TEST(CaptureDevice, GetImageSizeWithoutAWindowLeavesTheSizeAlone) {
  capture::CaptureDevice device;
  int32_t width = 3, height = 4;
  EXPECT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 4);
}

TEST(CaptureDevice, TestPatternConnectsAt640x480AndRefusesSecondStarts) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  int32_t width = 0, height = 0;
  ASSERT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(device.frameStore.Capacity(), 640 * 480 * 4);

  ASSERT_EQ(device.StartPreview(), capture::DeviceResult::kOk);
  EXPECT_EQ(device.StartPreview(), capture::DeviceResult::kFailed);
  EXPECT_EQ(device.lastError.Category(), capture::ErrAlreadyPreviewing);
  EXPECT_TRUE(device.IsPreviewing());
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  EXPECT_EQ(device.StartGrabbing(), capture::DeviceResult::kFailed);
  EXPECT_EQ(device.lastError.Category(), capture::ErrAlreadyGrabbing);
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() >= 10; }));
  DecodedJpeg decoded = DecodeJpeg(StoredImage(device.frameStore));
  EXPECT_EQ(decoded.width, 640);
  EXPECT_EQ(decoded.height, 480);
  EXPECT_GT(device.Window()->PreviewFrames(), 0u);
  device.Destroy();
  device.Destroy();
  EXPECT_FALSE(device.IsGrabbing());
  EXPECT_FALSE(device.frameStore.HasBuffer());
}

TEST(CaptureDevice, QualityOutsideZeroToHundredIsIgnored) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 50), capture::DeviceResult::kOk);
  const std::pair<int32_t, int32_t> cases[] = {{101, 50}, {-1, 50}, {0, 0}, {100, 100}};
  for (auto [given, kept] : cases) {
    device.SetQuality(given);
    EXPECT_EQ(device.Quality(), kept) << given;
  }
}

TEST(CaptureDevice, AReconnectWhilePreviewingKeepsThePreviewMoving) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 50), capture::DeviceResult::kOk);
  ASSERT_EQ(device.StartPreview(), capture::DeviceResult::kOk);
  ASSERT_EQ(device.Connect(0), capture::DeviceResult::kOk);  // Select Driver's OK
  EXPECT_TRUE(device.IsPreviewing());
  const uint64_t frames = device.Window()->PreviewFrames();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_GT(device.Window()->PreviewFrames(), frames + 3);
  device.Destroy();
}

// A Motion-JPEG camera's frames as the streams get them: its own quality-90
// 4:2:2 images while passed through, the quality setting's 4:2:0 ones when
// encoded again; the switch takes effect with the next frame.
TEST(CaptureDevice, PassThroughSendsTheCamerasOwnJpegAndSwitchesAtTheNextFrame) {
  ::setenv(platform::kDriverListVariable, "pattern@640x480:mjpeg", 1);
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 35), capture::DeviceResult::kOk);
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  // The first entry of libjpeg's luminance table at quality 90 and 35.
  constexpr int kQuality90 = 3, kQuality35 = 23;
  auto next = [&] {
    const uint64_t seen = device.frameStore.PublishedCount();
    EXPECT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > seen + 1; }));
    return DecodeJpeg(StoredImage(device.frameStore));
  };
  struct Step {
    bool passThrough;
    int quant, lumaWidthSampling, lumaHeightSampling;
  };
  for (Step step : {Step{true, kQuality90, 2, 1}, Step{false, kQuality35, 2, 2},
                    Step{true, kQuality90, 2, 1}}) {
    device.SetPassThrough(step.passThrough);
    DecodedJpeg image = next();
    ASSERT_TRUE(image.ok) << step.passThrough;
    EXPECT_EQ(image.width, 640);
    EXPECT_EQ(image.quantTable0.at(0), step.quant) << step.passThrough;
    EXPECT_EQ(image.sampling.at(0), std::make_pair(step.lumaWidthSampling, step.lumaHeightSampling))
        << step.passThrough;
  }
  device.Destroy();
}

TEST(CaptureDevice, AMotionJpegPreviewIsDecodedAtTheScaleThatCoversItsSizeOnScreen) {
  ::setenv(platform::kDriverListVariable, "pattern@1920x1080:mjpeg", 1);
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 35), capture::DeviceResult::kOk);
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ASSERT_EQ(device.StartPreview(), capture::DeviceResult::kOk);
  for (const auto& [shownSize, decodedSize] :
       {std::pair{std::pair{480, 270}, std::pair{480, 270}},
        std::pair{std::pair{960, 600}, std::pair{1920, 1080}},
        std::pair{std::pair{900, 500}, std::pair{960, 540}},
        std::pair{std::pair{0, 0}, std::pair{1920, 1080}}}) {
    // Copies, since clang 14 can't capture a structured binding in a lambda.
    const std::pair<int, int> shown = shownSize, decoded = decodedSize;
    device.Window()->SetPreviewSize(shown.first, shown.second);
    platform::BitmapInfoHeader header;
    std::vector<uint8_t> rows;
    EXPECT_TRUE(Eventually([&] {
      return device.Window()->PreviewPicture(header, rows) && header.biWidth == decoded.first &&
             header.biHeight == decoded.second;
    })) << shown.first
        << " shown, last " << header.biWidth;
  }
  device.Destroy();
}

TEST(CaptureDevice, FailedConnectKeepsTheOldFormatAndBuffer) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  ASSERT_TRUE(device.frameStore.HasBuffer());
  EXPECT_EQ(device.Connect(5), capture::DeviceResult::kConnectFailed);
  EXPECT_EQ(device.lastError.Category(), capture::ErrConnectFailed);
  EXPECT_FALSE(device.IsConnected());
  EXPECT_TRUE(device.frameStore.HasBuffer());
  EXPECT_EQ(device.frameStore.Capacity(), 640 * 480 * 4);
}

TEST(CaptureDevice, FormatDialogReallocatesTheStoreEvenWhenCancelled) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  int32_t capacity;
  device.frameStore.BeginFrame(capacity);
  device.frameStore.EndFrame(123);
  ASSERT_EQ(device.ShowFormatDialog(), capture::DeviceResult::kOk);  // no presenter: cancelled
  EXPECT_EQ(StoredLength(device.frameStore), 0);

  device.Window()->SetDialogPresenter([](platform::DriverDialog& dialog) {
    dialog.settings[0].current = 0;  // 320 x 240
    return true;
  });
  ASSERT_EQ(device.ShowFormatDialog(), capture::DeviceResult::kOk);
  int32_t width = 0, height = 0;
  ASSERT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(device.frameStore.Capacity(), 320 * 240 * 4);
}

// Pictures kept while the server is stopped (a recording) go on across a
// Format dialog, in the new size; grabbing ends with its last holder.
TEST(CaptureDevice, GrabbingHoldersKeepPicturesComingAcrossAFormatChange) {
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  ASSERT_EQ(device.HoldGrabbing(), capture::DeviceResult::kOk);
  ASSERT_EQ(device.HoldGrabbing(), capture::DeviceResult::kOk);  // the server joins
  device.Window()->SetDialogPresenter([](platform::DriverDialog& dialog) {
    dialog.settings[0].current = 0;  // 320 x 240
    return true;
  });
  ASSERT_EQ(device.ShowFormatDialog(), capture::DeviceResult::kOk);
  EXPECT_TRUE(device.IsGrabbing());
  const uint64_t seen = device.frameStore.PublishedCount();
  for (int i = 0; i < 50 && device.frameStore.PublishedCount() == seen; ++i)
    device.frameStore.WaitForNewFrame(seen, 100);
  const DecodedJpeg picture = DecodeJpeg(StoredImage(device.frameStore));
  ASSERT_TRUE(picture.ok);
  EXPECT_EQ(picture.width, 320);
  device.ReleaseGrabbing();
  EXPECT_TRUE(device.IsGrabbing()) << "one holder left";
  device.ReleaseGrabbing();
  EXPECT_FALSE(device.IsGrabbing());
  device.ReleaseGrabbing();  // one too many changes nothing
  EXPECT_EQ(device.HoldGrabbing(), capture::DeviceResult::kOk);
  EXPECT_TRUE(device.IsGrabbing());
}

platform::BitmapInfoHeader Yuyv(int width, int height) {
  platform::BitmapInfoHeader format;
  format.biWidth = width;
  format.biHeight = height;
  format.biBitCount = 16;
  format.biCompression = platform::kFourccYuyv;
  format.biSizeImage = static_cast<uint32_t>(width * height * 2);
  return format;
}

std::vector<uint8_t> GreyYuyv(int width, int height, uint8_t luma) {
  std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 2);
  for (size_t i = 0; i < frame.size(); i += 2) {
    frame[i] = luma;
    frame[i + 1] = 128;
  }
  return frame;
}

TEST(FramePipeline, BadFrameGivesLengthZeroAndTheNextGoodOneIsStored) {
  ScriptedCamera camera(Yuyv(64, 48));
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  camera.Queue(GreyYuyv(64, 48, 100));
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 1; }));
  EXPECT_GT(StoredLength(device.frameStore), 0);

  camera.Queue(std::vector<uint8_t>(10, 0));  // too short to decompress
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 2; }));
  EXPECT_EQ(StoredLength(device.frameStore), 0);
  EXPECT_EQ(device.lastError.Category(), capture::ErrDecompressFailed);

  camera.Queue(GreyYuyv(64, 48, 200));
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 3; }));
  DecodedJpeg decoded = DecodeJpeg(StoredImage(device.frameStore));
  ASSERT_TRUE(decoded.ok);
  EXPECT_NEAR(decoded.Pixel(10, 10)[1], (200 - 16) * 255 / 219, 6);
}

TEST(FramePipeline, EncodeFailureGivesMinusOne) {
  platform::BitmapInfoHeader rgb;  // no decompressor: frames are taken as 24-bit rows
  rgb.biWidth = 32;
  rgb.biHeight = 32;
  rgb.biBitCount = 24;
  rgb.biSizeImage = 32 * 32 * 3;
  ScriptedCamera camera(rgb);
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  camera.Queue(std::vector<uint8_t>(32 * 32 * 3, 90));
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 1; }));
  EXPECT_GT(StoredLength(device.frameStore), 0);
  camera.Queue(std::vector<uint8_t>(100, 90));  // short: would be read past its end
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 2; }));
  EXPECT_EQ(StoredLength(device.frameStore), -1);
}

TEST(FramePipeline, QualityChangeShowsInTheNextFrame) {
  ScriptedCamera camera(Yuyv(64, 48));
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 90), capture::DeviceResult::kOk);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  camera.Queue(GreyYuyv(64, 48, 120));
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 1; }));
  auto before = DecodeJpeg(StoredImage(device.frameStore)).quantTable0;
  device.SetQuality(10);
  camera.Queue(GreyYuyv(64, 48, 120));
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 2; }));
  auto after = DecodeJpeg(StoredImage(device.frameStore)).quantTable0;
  ASSERT_EQ(before.size(), 64u);
  EXPECT_NE(before, after);
}

TEST(FramePipeline, UnpluggedCameraStopsCleanlyAndALaterStartFails) {
  ScriptedCamera camera(Yuyv(64, 48));
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  for (int i = 0; i < 10; ++i) camera.Queue(GreyYuyv(64, 48, static_cast<uint8_t>(50 + i)));
  camera.Unplug();
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() == 10; }));
  device.StopGrabbing();
  EXPECT_FALSE(device.IsGrabbing());
  EXPECT_EQ(device.StartGrabbing(), capture::DeviceResult::kStartCaptureFailed);
  EXPECT_EQ(device.lastError.Category(), capture::ErrStartCaptureFailed);
}

}  // namespace
