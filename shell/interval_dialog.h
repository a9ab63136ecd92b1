#pragma once

#include <wx/dialog.h>

#include <functional>

#include "settings/server_settings.h"

namespace shell {

// Video > Pictures Every...: how often a picture is kept, where, and how
// many stay. The reading and checking is ReadIntervalTexts's; this only
// moves text and shows the boxes. User-interface thread.
class IntervalDialog : public wxDialog {
 public:
  IntervalDialog(wxWindow* owner, settings::ServerSettings& settings,
                 std::function<void()> applyAndSave);

 private:
  void OnOK(wxCommandEvent& event);

  settings::ServerSettings& settings_;
  std::function<void()> applyAndSave_;
};

}  // namespace shell
