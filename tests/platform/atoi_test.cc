#include "platform/atoi.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(Atoi, ReadsTheLeadingNumberAndSaturatesOutsideTheIntRange) {
  const std::pair<std::string, int32_t> cases[] = {
      {"8080", 8080},
      {"  \t42", 42},
      {"+7", 7},
      {"-7", -7},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"4294967376", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(platform::Atoi(text), value) << text;
}

}  // namespace
