#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "capture/frame_store.h"
#include "capture/jpeg_encoder.h"
#include "tests/support/pictures.h"

// A camera for server tests: a noisy 320 x 240 gradient, encoded afresh
// into `store` about 30 times a second until destroyed.
class PictureFeed {
 public:
  explicit PictureFeed(capture::FrameStore& store) : store_(store) {
    store_.Reallocate(320 * 240 * 4);
    thread_ = std::thread([this] {
      capture::CaptureError lastError;
      capture::JpegEncoder encoder(lastError);
      Picture picture = NoisyGradient(320, 240);
      while (!stop_) {
        int32_t capacity = 0;
        uint8_t* buffer = store_.BeginFrame(capacity);
        store_.EndFrame(encoder.Encode(picture.header, picture.rows.data(), buffer, capacity, 80));
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
      }
    });
  }
  ~PictureFeed() {
    stop_ = true;
    thread_.join();
  }
  PictureFeed(const PictureFeed&) = delete;
  PictureFeed& operator=(const PictureFeed&) = delete;

 private:
  capture::FrameStore& store_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
