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

TEST(Registry, OtherValueTypesKeepTheirHexadecimalType) {
  struct Case {
    const char* line;
    bool parses;
    int type;
  };
  const Case cases[] = {
      {"\"m\"=hex(7):41,00", true, 7}, {"\"m\"=hex(72):41,00", true, 0x72},
      {"\"m\"=hex(b):01", true, 11},   {"\"m\"=hex():01", false, 0},
      {"\"m\"=hex(zz):01", false, 0},  {"\"m\"=hex(123456789):01", false, 0},
  };
  for (const Case& c : cases) {
    platform::RegistrySections sections;
    std::string text = std::string("REGEDIT4\r\n\r\n[K]\r\n") + c.line + "\r\n";
    ASSERT_EQ(platform::ParseRegistry(text, sections), c.parses) << c.line;
    if (!c.parses) continue;
    EXPECT_EQ(sections["K"][0].second.type, c.type) << c.line;
    platform::RegistrySections again;
    ASSERT_TRUE(platform::ParseRegistry(platform::FormatRegistry(sections), again));
    EXPECT_EQ(again["K"][0].second.type, c.type) << "written back: " << c.line;
  }
}

}  // namespace
