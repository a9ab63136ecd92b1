#pragma once

namespace capture {

// How a camera is doing, safe to ask from any thread: what the server's
// threads need of a camera besides its pictures.
class CameraStatus {
 public:
  virtual ~CameraStatus() = default;
  // Connected and sending (not unplugged).
  virtual bool Online() const = 0;
  // Its own JPEG pictures go out as they came (passthrough on a
  // Motion-JPEG camera).
  virtual bool SendsCameraJpeg() const = 0;
};

}  // namespace capture
