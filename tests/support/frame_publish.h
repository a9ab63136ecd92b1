#pragma once

#include <algorithm>
#include <string>

#include "capture/frame_store.h"

// Stores `image` as the frame pipeline does: a whole frame, then published.
inline void Publish(capture::FrameStore& store, const std::string& image,
                    capture::PictureShape shape = {}) {
  int32_t capacity = 0;
  uint8_t* buffer = store.BeginFrame(capacity);
  image.copy(reinterpret_cast<char*>(buffer), image.size());
  store.EndFrame(static_cast<int32_t>(image.size()), shape);
}

// The image the store holds now, as a stream would copy it ("" for none).
inline std::string StoredImage(capture::FrameStore& store) {
  capture::FrameStore::Reader reader(store);
  std::string image(static_cast<size_t>(std::max(reader.Length(), 0)), '\0');
  reader.CopyTo(image.data());
  return image;
}
