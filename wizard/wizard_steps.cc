#include "wizard/wizard_steps.h"

#include "platform/message_box.h"
#include "settings/setup_values.h"
#include "share/address_discovery.h"

namespace wizard {

WizardStart StartWizard(const settings::ServerSettings& settings) {
  WizardStart start;
  if (!share::DiscoverLocalAddress(start.address)) {
    start.messages.push_back(share::kDiscoveryFailedMessage);
    return start;
  }
  if (share::IsPrivateAddress(start.address))
    start.messages.push_back(share::kPrivateAddressMessage);
  start.port = std::to_string(static_cast<int32_t>(settings.portnum));
  return start;
}

share::HomePageOutcome FinishWizard(const std::string& address, const std::string& portText,
                                    settings::ServerSettings& settings, share::PictureSize picture,
                                    const std::vector<share::PictureSize>& others) {
  // A page for "http://:8391/" would lead nowhere.
  if (address.find_first_not_of(" \t") == std::string::npos) {
    platform::ShowMessageBox(kEmptyAddressMessage, settings::kInvalidParameter, platform::kMbOk);
    return share::HomePageOutcome::Declined;
  }
  uint32_t port = 0;
  if (const char* message = settings::ReadPortText(portText, port)) {
    platform::ShowMessageBox(message, settings::kInvalidParameter, platform::kMbOk);
    return share::HomePageOutcome::Declined;
  }
  settings.portnum = port;
  return share::WriteHomePage(address, static_cast<int32_t>(port), settings.camurl, picture,
                              others);
}

}  // namespace wizard
