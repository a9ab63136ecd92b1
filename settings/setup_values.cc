#include "settings/setup_values.h"

#include "platform/atoi.h"

namespace settings {

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
  ServerSettings typed = settings;
  typed.compression = AsTyped(texts.compression);
  typed.maxclients = AsTyped(texts.maxclients);
  typed.portnum = AsTyped(texts.portnum);
  typed.camurl = texts.camurl;
  typed.connections = texts.connections ? 1 : 0;
  for (const Setting& setting : kSettings)
    if (setting.textMends) setting.textMends(typed.*setting.text);

  std::vector<std::string> messages;
  for (const Setting& setting : kSettings)
    if (setting.setupMessage)
      if (const char* message = setting.SetupFault(typed)) messages.push_back(message);
  // A cancelled edit must change nothing: the settings take what was typed
  // only when all of it passed.
  if (messages.empty()) settings = typed;
  return messages;
}

const char* ReadPortText(const std::string& text, uint32_t& port) {
  constexpr const Setting& kPort = SettingNamed("portnum");
  const uint32_t typed = AsTyped(text);
  if (!kPort.setup.Holds(typed)) return kPort.setupMessage;
  port = typed;
  return nullptr;
}

}  // namespace settings
