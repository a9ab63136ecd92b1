#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace capture {

// What the user chose for one camera: its format (the driver's own line)
// and the controls' values they set, in the order they set them.
struct CameraChoices {
  std::string format;
  std::vector<std::pair<uint32_t, int32_t>> controls;
};

// Where the device keeps the choices of each camera, by its stable name.
// The programs keep them in the settings file; without one nothing is kept.
class CameraMemory {
 public:
  virtual ~CameraMemory() = default;
  virtual CameraChoices Recall(const std::string& camera) = 0;
  virtual void Keep(const std::string& camera, const CameraChoices& choices) = 0;
};

// The controls as one line, "9963776=128 10094849=1", and back; pairs that
// don't read are skipped.
std::string ControlsText(const std::vector<std::pair<uint32_t, int32_t>>& controls);
std::vector<std::pair<uint32_t, int32_t>> ReadControlsText(const std::string& text);

// `kept` with `changed` laid over it: a control keeps its place and takes
// its new value; new ones come last.
std::vector<std::pair<uint32_t, int32_t>> Merge(
    std::vector<std::pair<uint32_t, int32_t>> kept,
    const std::vector<std::pair<uint32_t, int32_t>>& changed);

}  // namespace capture
