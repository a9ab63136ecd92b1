#include "capture/frame_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/support/frame_publish.h"

namespace {

std::string Bytes(const capture::FrameRef& image) {
  return {reinterpret_cast<const char*>(image.Data()), static_cast<size_t>(image.Length())};
}

TEST(FrameStore, ReadersSeeWholeImagesOnly) {
  capture::FrameStore store;
  store.Reallocate(1000);
  EXPECT_EQ(capture::FrameStore::Reader(store).Length(), 0) << "right after sizing";

  Publish(store, "first");
  int32_t capacity = 0;
  uint8_t* buffer = store.BeginFrame(capacity);
  EXPECT_EQ(capacity, 1000);
  std::memcpy(buffer, "second!", 7);
  EXPECT_EQ(StoredImage(store), "first") << "a frame being written is not seen";
  store.EndFrame(7);

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

// A stream sends straight from the store's buffers: a picture it holds keeps
// its bytes while the camera goes on, and the buffers go back to the
// writer once nobody holds them, so the pool stays small.
TEST(FrameStore, HeldPicturesKeepTheirBytesAndBuffersAreReused) {
  capture::FrameStore store;
  store.Reallocate(100);
  Publish(store, "one");
  capture::FrameRef held = capture::FrameStore::Reader(store).Image();
  std::set<const uint8_t*> buffers;
  for (int i = 0; i < 50; ++i) {
    Publish(store, "frame " + std::to_string(i));
    buffers.insert(capture::FrameStore::Reader(store).Image().Data());
  }
  EXPECT_EQ(Bytes(held), "one");
  EXPECT_LE(buffers.size(), 3u) << "buffers nobody holds are written again";

  std::vector<capture::FrameRef> pinned;  // slow readers, each on its own picture
  for (int i = 0; i < 10; ++i) {
    Publish(store, "pinned " + std::to_string(i));
    pinned.push_back(capture::FrameStore::Reader(store).Image());
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Bytes(pinned[i]), "pinned " + std::to_string(i));

  // Sizing leaves what readers hold alone.
  store.Reallocate(200);
  EXPECT_EQ(StoredImage(store), "");
  EXPECT_EQ(Bytes(held), "one");
  Publish(store, "after");
  EXPECT_EQ(StoredImage(store), "after");
}

}  // namespace
