#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/capture_driver.h"

namespace capture {

// Where the Video Source dialog reads and sets a camera's controls.
class ControlAccess {
 public:
  virtual ~ControlAccess() = default;
  virtual std::vector<platform::CameraControl> Controls() = 0;
  virtual bool SetControl(uint32_t id, int32_t value) = 0;
};

// The Video Source dialog without wx: the rows it shows (every control under
// its heading), a change that reaches the camera at once, Cancel putting back
// what was there when it opened, and Defaults the camera's own values.
class SourceControls {
 public:
  using Control = platform::CameraControl;

  explicit SourceControls(ControlAccess& camera);

  const std::vector<Control>& Rows() const { return rows_; }
  // Whether a row's control can be changed now: not read-only, and not
  // set aside by an automatic mode.
  static bool Enabled(const Control& row) {
    return !row.readOnly && !row.inactive && row.kind != Control::Kind::kHeading;
  }

  // Sets a control (an integer snapped to its step and range), or presses
  // a button. The rows are read again afterwards when others may follow it
  // (an automatic mode) or the camera kept another value: true then.
  bool Change(uint32_t id, int32_t value);
  // Every control changed since the dialog opened goes back to its value
  // then: the values an automatic mode rules first, while they can still
  // be set, then the modes.
  void Cancel();
  // Every control that can be set goes to the camera's default, in the same
  // order, and what was kept of this camera is to be forgotten.
  void Defaults();

  // What OK keeps: the values set since the dialog opened (or since
  // Defaults), and whether Defaults asked to forget the earlier ones.
  const std::vector<std::pair<uint32_t, int32_t>>& Changed() const { return changed_; }
  bool Forget() const { return forget_; }

 private:
  const Control* Find(uint32_t id) const;
  void Reread();
  // Sets `values`, the automatic modes last.
  void SetModesLast(const std::vector<std::pair<uint32_t, int32_t>>& values);

  ControlAccess& camera_;
  std::vector<Control> rows_;
  std::vector<Control> opened_;  // the rows when the dialog opened
  std::vector<std::pair<uint32_t, int32_t>> changed_;
  bool forget_ = false;
};

}  // namespace capture
