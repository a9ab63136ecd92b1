#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/server_settings.h"
#include "wizard/home_page.h"

namespace wizard {

// The setup wizard's reading and deciding, free of wx.

// What the wizard opens with: the two fields and the boxes to show before
// it becomes visible (the discovery-failed message, or the private-address
// warning).
struct WizardStart {
  std::string address, port;
  std::vector<std::string> messages;
};
WizardStart StartWizard(const server::ServerSettings& settings);

// The port field as the C library's atoi reads it.
int32_t PortFromText(const std::string& text);

// OK: a port outside 1 to 65000 gets Setup's message, and the wizard stays
// open with nothing stored or written (Declined). Otherwise the port goes
// into `settings`, never undone, and the page is written (after the user's
// confirmation when one is there) with the address as typed.
HomePageOutcome FinishWizard(const std::string& address, const std::string& portText,
                             server::ServerSettings& settings);

}  // namespace wizard
