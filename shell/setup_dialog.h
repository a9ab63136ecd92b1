#pragma once

#include <wx/dialog.h>

#include "shell/setup_values.h"

class MainFrame;

// Server > Setup: edits five of the main window's settings. The reading and
// checking is ReadSetupTexts's; this only moves text and shows the boxes.
// User-interface thread.
class SetupDialog : public wxDialog {
 public:
  explicit SetupDialog(MainFrame& owner);

 private:
  void OnInitDialog();
  void OnOK(wxCommandEvent& event);

  MainFrame& owner_;
  SetupTexts shown_;  // what the controls were filled with
};
