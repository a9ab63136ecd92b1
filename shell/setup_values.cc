#include "shell/setup_values.h"

#include "platform/atoi.h"

namespace {

uint32_t AsTyped(const std::string& text) { return static_cast<uint32_t>(platform::Atoi(text)); }

}  // namespace

SetupTexts SetupTextsFrom(const ServerSettings& settings) {
  // "%d": a value stored above INT32_MAX shows as the negative number typed.
  auto decimal = [](uint32_t value) { return std::to_string(static_cast<int32_t>(value)); };
  return {decimal(settings.compression), decimal(settings.maxclients), decimal(settings.portnum),
          settings.camurl, settings.connections != 0};
}

std::vector<std::string> ReadSetupTexts(const SetupTexts& texts, ServerSettings& settings) {
  const ServerSettings defaults;
  settings.compression = AsTyped(texts.compression);
  settings.maxclients = AsTyped(texts.maxclients);
  settings.portnum = AsTyped(texts.portnum);
  settings.camurl = texts.camurl;
  settings.connections = texts.connections ? 1 : 0;

  std::vector<std::string> messages;
  if (settings.compression == 0 || settings.compression > 100) {
    messages.push_back("Jpeg quality must be a value between 1 and 100");
    settings.compression = defaults.compression;
  }
  if (settings.maxclients == 0 || settings.maxclients > 50) {
    messages.push_back("Maximum number of connections must be between 1 and 50!");
    settings.maxclients = defaults.maxclients;
  }
  if (!IsStreamPath(settings.camurl)) {
    messages.push_back("Length of webcam URL must be between 0 and 64!");
    settings.camurl = defaults.camurl;
  }
  if (!IsPortInRange(settings.portnum)) {
    messages.push_back(kPortRangeMessage);
    settings.portnum = defaults.portnum;
  }
  return messages;
}
