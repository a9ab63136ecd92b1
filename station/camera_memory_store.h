#pragma once

#include "capture/camera_memory.h"

namespace station {

// Each camera's choices, kept in the settings file beside the settings.
class SettingsCameraMemory : public capture::CameraMemory {
 public:
  capture::CameraChoices Recall(const std::string& camera) override;
  void Keep(const std::string& camera, const capture::CameraChoices& choices) override;
};

}  // namespace station
