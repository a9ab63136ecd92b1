#include "wizard/wizard_steps.h"

#include "platform/atoi.h"
#include "wizard/address_discovery.h"

WizardStart StartWizard(const ServerSettings& settings) {
  WizardStart start;
  if (!DiscoverLocalAddress(start.address)) {
    start.messages.push_back(kDiscoveryFailedMessage);
    return start;
  }
  if (IsPrivateAddress(start.address)) start.messages.push_back(kPrivateAddressMessage);
  start.port = std::to_string(static_cast<int32_t>(settings.portnum));
  return start;
}

int32_t PortFromText(const std::string& text) { return platform::Atoi(text); }

HomePageOutcome FinishWizard(const std::string& address, const std::string& portText,
                             ServerSettings& settings) {
  settings.portnum = static_cast<uint32_t>(PortFromText(portText));
  return WriteHomePage(address, static_cast<int32_t>(settings.portnum), settings.camurl);
}
