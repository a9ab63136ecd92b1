#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/server_settings.h"
#include "share/home_page.h"

namespace wizard {

// The setup wizard's reading and deciding, free of wx.

// What the wizard opens with: the two fields and the boxes to show before
// it becomes visible (the discovery-failed message, or the private-address
// warning).
struct WizardStart {
  std::string address, port;
  std::vector<std::string> messages;
};
WizardStart StartWizard(const settings::ServerSettings& settings);

constexpr char kEmptyAddressMessage[] = "IP address must not be empty!";

// OK: an empty address gets kEmptyAddressMessage, a port outside 1 to 65000 gets Setup's message,
// and the wizard stays open with nothing stored or written (Declined). Otherwise the port goes into
// `settings`, never undone, and the page is written (after the user's confirmation when one is
// there) with the address as typed, showing the stream in the camera's `picture` size, and the
// other cameras served in theirs (`others`, cameras 1, 2, ...).
share::HomePageOutcome FinishWizard(const std::string& address, const std::string& portText,
                                    settings::ServerSettings& settings, share::PictureSize picture,
                                    const std::vector<share::PictureSize>& others = {});

}  // namespace wizard
