#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "platform/capture_driver.h"

// A camera whose frames a test scripts: each queued frame is delivered once,
// 5 ms apart; an empty frame in the queue means the device is gone from then
// on. Installed as the only driver while the object lives.
class ScriptedCamera {
 public:
  explicit ScriptedCamera(platform::BitmapInfoHeader format);
  ~ScriptedCamera();
  void Queue(std::vector<uint8_t> frame);
  void Unplug() { Queue({}); }
  size_t Delivered() const;

  // Used by the driver object.
  platform::BitmapInfoHeader format;
  mutable std::mutex mutex;
  std::deque<std::vector<uint8_t>> frames;  // guarded by mutex
  size_t delivered = 0;                     // guarded by mutex
  bool gone = false;                        // guarded by mutex
};
