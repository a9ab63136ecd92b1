#pragma once

#include <wx/dialog.h>

#include <functional>

#include "server/server_settings.h"
#include "shell/setup_values.h"

namespace shell {

// Server > Setup: edits five of `settings` and calls `applyAndSave` when OK
// stored them. The reading and checking is ReadSetupTexts's; this only moves
// text and shows the boxes. User-interface thread.
class SetupDialog : public wxDialog {
 public:
  SetupDialog(wxWindow* owner, server::ServerSettings& settings, std::function<void()> applyAndSave);

 private:
  void OnInitDialog();
  void OnOK(wxCommandEvent& event);

  server::ServerSettings& settings_;
  std::function<void()> applyAndSave_;
  SetupTexts shown_;  // what the controls were filled with
};

}  // namespace shell
