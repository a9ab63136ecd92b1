#include "capture/source_controls.h"

#include <algorithm>

namespace capture {

using Kind = platform::CameraControl::Kind;

SourceControls::SourceControls(ControlAccess& camera)
    : camera_(camera), rows_(camera.Controls()), opened_(rows_) {}

const SourceControls::Control* SourceControls::Find(uint32_t id) const {
  const auto row = std::ranges::find(rows_, id, &Control::id);
  return row == rows_.end() ? nullptr : &*row;
}

void SourceControls::Reread() { rows_ = camera_.Controls(); }

bool SourceControls::Change(uint32_t id, int32_t value) {
  const Control* row = Find(id);
  if (!row || !Enabled(*row)) return false;
  if (row->kind == Kind::kButton) {
    camera_.SetControl(id, 1);
    Reread();
    return true;
  }
  if (row->kind == Kind::kInteger) {
    value = std::clamp(value, row->minimum, row->maximum);
    value = row->minimum + (value - row->minimum) / row->step * row->step;
  }
  const bool leads = row->leads;
  if (!camera_.SetControl(id, value)) {
    Reread();  // the value the camera kept
    return true;
  }
  std::erase_if(changed_, [&](const auto& earlier) { return earlier.first == id; });
  changed_.emplace_back(id, value);
  if (!leads) {
    rows_[static_cast<size_t>(row - rows_.data())].value = value;
    return false;
  }
  Reread();  // the controls an automatic mode rules change state
  return true;
}

void SourceControls::SetModesLast(const std::vector<std::pair<uint32_t, int32_t>>& values) {
  for (bool leads : {false, true})
    for (const auto& [id, value] : values) {
      const Control* row = Find(id);
      if (row && row->leads == leads) camera_.SetControl(id, value);
    }
}

void SourceControls::Cancel() {
  std::vector<std::pair<uint32_t, int32_t>> back;
  for (const Control& row : opened_) {
    const Control* now = Find(row.id);
    const bool valued = row.kind != Kind::kButton && row.kind != Kind::kHeading && !row.readOnly;
    if (valued && now && now->value != row.value) back.emplace_back(row.id, row.value);
  }
  SetModesLast(back);
  changed_.clear();
  forget_ = false;
  Reread();
}

void SourceControls::Defaults() {
  std::vector<std::pair<uint32_t, int32_t>> defaults;
  for (const Control& row : rows_)
    if (row.kind != Kind::kButton && row.kind != Kind::kHeading && !row.readOnly)
      defaults.emplace_back(row.id, row.defaultValue);
  SetModesLast(defaults);
  changed_.clear();
  forget_ = true;
  Reread();
}

}  // namespace capture
