#pragma once

#include <wx/dialog.h>

#include <cstdint>
#include <vector>

#include "capture/source_controls.h"

class wxWindow;

namespace capture {

// Video > Source: a row for every control of the camera (a slider and a
// value field for a number, a check box, a list for a menu, a button),
// under the camera's headings. What it decides is SourceControls's; this
// moves values in and out. User-interface thread.
class SourceDialog : public wxDialog {
 public:
  SourceDialog(wxWindow* owner, SourceControls& controls);

 private:
  // The widgets of one row; those it lacks stay null.
  struct Row {
    uint32_t id = 0;
    wxWindow* label = nullptr;
    wxWindow* control = nullptr;  // slider, check box, choice or button
    wxWindow* field = nullptr;    // a number's value field
  };

  void Build(wxWindow* panel);
  void Changed(uint32_t id, int32_t value);
  // Shows the rows' values and states as SourceControls has them.
  void ShowValues();

  SourceControls& controls_;
  std::vector<Row> rows_;
};

}  // namespace capture
