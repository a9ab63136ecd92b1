#pragma once

#include <string>

#include "capture/frame_store.h"

// Stores `image` as the frame pipeline does: a whole frame under the lock.
inline void Publish(FrameStore& store, const std::string& image) {
  int32_t capacity = 0;
  uint8_t* buffer = store.BeginFrame(capacity);
  image.copy(reinterpret_cast<char*>(buffer), image.size());
  store.EndFrame(static_cast<int32_t>(image.size()));
}

// The image the store holds now, as a stream would copy it ("" for none).
inline std::string StoredImage(FrameStore& store) {
  int32_t length = store.LockAndGetLength();
  if (length < 1) {
    store.Unlock();
    return {};
  }
  std::string image(static_cast<size_t>(length), '\0');
  store.CopyAndUnlock(image.data());
  return image;
}
