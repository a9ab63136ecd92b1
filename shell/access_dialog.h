#pragma once

#include <wx/dialog.h>

#include <functional>

#include "settings/access_values.h"
#include "settings/server_settings.h"

namespace shell {

// Server > Access: who may watch, and the password. The reading and
// checking is ReadAccessTexts's; this only moves text and shows the boxes.
// User-interface thread.
class AccessDialog : public wxDialog {
 public:
  AccessDialog(wxWindow* owner, settings::ServerSettings& settings,
               std::function<void()> applyAndSave);

 private:
  void OnOK(wxCommandEvent& event);

  settings::ServerSettings& settings_;
  std::function<void()> applyAndSave_;
};

}  // namespace shell
