#include "wizard/wizard_steps.h"

#include "platform/atoi.h"
#include "platform/message_box.h"
#include "wizard/address_discovery.h"

namespace wizard {

WizardStart StartWizard(const server::ServerSettings& settings) {
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
                             server::ServerSettings& settings) {
  // Setup's check and message: a page naming port 0 would serve nobody.
  constexpr const server::Setting& kPort = server::SettingNamed("portnum");
  const auto port = static_cast<uint32_t>(PortFromText(portText));
  if (!kPort.setup.Holds(port)) {
    platform::ShowMessageBox(kPort.setupMessage, server::kInvalidParameter, platform::kMbOk);
    return HomePageOutcome::Declined;
  }
  settings.portnum = port;
  return WriteHomePage(address, static_cast<int32_t>(port), settings.camurl);
}

}  // namespace wizard
