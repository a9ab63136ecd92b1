#include "platform/registry.h"

#include <gtest/gtest.h>

namespace {

TEST(Registry, TextRoundTripKeepsOtherKeysAndLongLines) {
  platform::RegistrySections sections;
  std::string text =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"a \\\"b\\\"\"=dword:0000002a\r\n"
      "\"long\"=hex:01,02,\\\r\n  03\r\n\"s\"=\"text\"\r\n";
  ASSERT_TRUE(platform::ParseRegistry(text, sections));
  auto& values = sections["HKEY_CURRENT_USER\\Software\\Other"];
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].first, "a \"b\"");
  EXPECT_EQ(values[1].second.data, (std::vector<uint8_t>{1, 2, 3}));
  platform::RegistrySections again;
  ASSERT_TRUE(platform::ParseRegistry(platform::FormatRegistry(sections), again));
  EXPECT_EQ(platform::FormatRegistry(again), platform::FormatRegistry(sections));
}

}  // namespace
