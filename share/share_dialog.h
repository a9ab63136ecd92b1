#pragma once

#include <wx/choice.h>
#include <wx/dialog.h>

#include <string>
#include <vector>

#include "settings/server_settings.h"
#include "share/share_links.h"

namespace widgets {
class HyperlinkLabel;
}

namespace share {

// Server > Share: the addresses where the camera can be watched, each with
// a Copy button, and the home page's QR code for a phone. The reading and
// deciding is in share_links.h; this only shows it. User-interface thread.
class ShareDialog : public wxDialog {
 public:
  // `serverState` is the status bar's text for the server; `fingerprint`
  // the SHA-256 fingerprint of the certificate it serves HTTPS with, "" when
  // it is not known; `cameras` the names of the cameras served, by number.
  ShareDialog(wxWindow* owner, const settings::ServerSettings& settings,
              const std::string& serverState, const std::string& fingerprint,
              const std::vector<std::string>& cameras = {});

 private:
  void ShowAddress();
  void Copy(const std::string& text);

  const settings::ServerSettings& settings_;
  std::vector<std::string> addresses_;
  wxChoice* addressChoice_;
  wxChoice* schemeChoice_;
  wxChoice* cameraChoice_;
  ShareLinks links_;
  widgets::HyperlinkLabel* page_;
  widgets::HyperlinkLabel* stream_;
  widgets::HyperlinkLabel* snapshot_;
};

}  // namespace share
