#include "capture/frame_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/frame_publish.h"

namespace {

using namespace std::chrono;

TEST(FrameStore, ReadersSeeWholeImagesOnly) {
  capture::FrameStore store;
  store.Reallocate(1000);
  EXPECT_EQ(capture::FrameStore::Reader(store).Length(), 0) << "right after sizing";

  Publish(store, "first");
  int32_t capacity = 0;
  uint8_t* buffer = store.BeginFrame(capacity);
  EXPECT_EQ(capacity, 1000);
  std::atomic<int32_t> seen{-100};
  std::thread reader([&] {
    seen = capture::FrameStore::Reader(store).Length();  // waits for the frame in progress
  });
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(seen, -100);
  std::memcpy(buffer, "second!", 7);
  store.EndFrame(7);
  reader.join();
  EXPECT_EQ(seen, 7);

  char a[8] = {}, b[8] = {};
  {
    capture::FrameStore::Reader image(store);
    ASSERT_EQ(image.Length(), 7);
    EXPECT_EQ(image.Published(), store.PublishedCount());
    image.CopyTo(a);
    image.CopyTo(b);
  }
  EXPECT_STREQ(a, "second!");
  EXPECT_STREQ(a, b);

  store.BeginFrame(capacity);
  store.EndFrame(-1);  // an encode failure
  capture::FrameStore::Reader failed(store);
  EXPECT_EQ(failed.Length(), -1);
  failed.CopyTo(a);  // copies nothing
  EXPECT_STREQ(a, "second!");
}

}  // namespace
