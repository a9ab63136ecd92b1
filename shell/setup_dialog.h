#pragma once

#include <wx/dialog.h>

#include <functional>

#include "settings/server_settings.h"
#include "settings/setup_values.h"

namespace shell {

// Server > Setup: edits five of `settings` and calls `applyAndSave` when OK
// stored them. The reading and checking is ReadSetupTexts's; this only moves
// text and shows the boxes. User-interface thread.
class SetupDialog : public wxDialog {
 public:
  SetupDialog(wxWindow* owner, settings::ServerSettings& settings,
              std::function<void()> applyAndSave);

 private:
  void OnInitDialog();
  void OnOK(wxCommandEvent& event);

  settings::ServerSettings& settings_;
  std::function<void()> applyAndSave_;
  settings::SetupTexts shown_;  // what the controls were filled with
};

}  // namespace shell
