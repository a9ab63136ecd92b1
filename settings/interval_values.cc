#include "settings/interval_values.h"

#include <algorithm>
#include <cctype>

namespace settings {

namespace {

// Digits alone (spaces around them allowed), within `range`.
bool ReadNumber(const std::string& text, SettingRange range, uint32_t& value) {
  const auto first = text.find_first_not_of(' ');
  const auto last = text.find_last_not_of(' ');
  if (first == std::string::npos) return false;
  const std::string digits = text.substr(first, last - first + 1);
  if (digits.size() > 9 || !std::ranges::all_of(digits, [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      }))
    return false;
  value = static_cast<uint32_t>(std::stoul(digits));
  return range.Holds(value);
}

}  // namespace

IntervalTexts IntervalTextsFrom(const ServerSettings& settings) {
  return {settings.intervalon != 0, std::to_string(settings.interval), settings.intervaldir,
          std::to_string(settings.intervalkeep)};
}

std::vector<std::string> ReadIntervalTexts(const IntervalTexts& texts, ServerSettings& settings) {
  ServerSettings typed = settings;
  std::vector<std::string> messages;
  if (!ReadNumber(texts.seconds, SettingNamed("interval").load, typed.interval))
    messages.emplace_back(kIntervalSecondsMessage);
  if (!ReadNumber(texts.keep, SettingNamed("intervalkeep").load, typed.intervalkeep))
    messages.emplace_back(kIntervalKeepMessage);
  typed.intervaldir = texts.folder;
  while (typed.intervaldir.size() > 1 && typed.intervaldir.back() == '/')
    typed.intervaldir.pop_back();
  if (!IsFolderPath(typed.intervaldir)) messages.emplace_back(kIntervalFolderMessage);
  typed.intervalon = texts.on ? 1 : 0;
  if (messages.empty()) settings = typed;
  return messages;
}

}  // namespace settings
