#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "settings/server_settings.h"

namespace shell {

// How a settings dialog's OK ends: each message of its checks in a box,
// and the dialog stays open with what was typed; with none, the settings
// are applied and saved and the dialog closes.
inline void FinishOk(wxDialog& dialog, const std::vector<std::string>& messages,
                     const std::function<void()>& applyAndSave) {
  for (const std::string& message : messages)
    platform::ShowMessageBox(message, settings::kInvalidParameter, platform::kMbOk);
  if (!messages.empty()) return;
  applyAndSave();
  dialog.EndModal(wxID_OK);
}

}  // namespace shell
