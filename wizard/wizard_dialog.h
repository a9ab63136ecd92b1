#pragma once

#include <wx/dialog.h>

#include <functional>
#include <vector>

#include "settings/server_settings.h"
#include "share/home_page.h"

namespace widgets {
class HyperlinkLabel;
}

namespace wizard {

// Help > Wizard and the first run: proposes the address and port browsers
// will use and writes the home page with them. `settings` are the main
// window's; `applyAndSave` hands them to the running objects and saves
// them. User-interface thread.
class WizardDialog : public wxDialog {
 public:
  // `picture` is the camera's size, for the page's picture; `others` the
  // other cameras' served, each with its picture on the page.
  WizardDialog(wxWindow* owner, settings::ServerSettings& settings, share::PictureSize picture,
               std::function<void()> applyAndSave, std::vector<share::PictureSize> others = {});

 private:
  void OnOK(wxCommandEvent& event);

  settings::ServerSettings& settings_;
  share::PictureSize picture_;
  std::vector<share::PictureSize> others_;
  std::function<void()> applyAndSave_;
  widgets::HyperlinkLabel* link_;
};

}  // namespace wizard
