#include "station/camera_memory_store.h"

#include "settings/settings_store.h"

namespace station {

capture::CameraChoices SettingsCameraMemory::Recall(const std::string& camera) {
  capture::CameraChoices choices;
  std::string controls;
  settings::LoadCameraValues(camera, choices.format, controls);
  choices.controls = capture::ReadControlsText(controls);
  return choices;
}

void SettingsCameraMemory::Keep(const std::string& camera, const capture::CameraChoices& choices) {
  settings::SaveCameraValues(camera, choices.format, capture::ControlsText(choices.controls));
}

}  // namespace station
