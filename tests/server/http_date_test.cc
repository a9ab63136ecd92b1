#include "server/http_date.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpDate, ReadsTheThreeFormsAndWritesRfc1123) {
  constexpr int64_t kSample = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(server::FormatHttpDate(kSample), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(server::FormatHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  struct Case {
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true},
      {"Sunday, 06-Nov-94 08:49:37 GMT", true},
      {"Sun Nov  6 08:49:37 1994", true},
      {"Sun, 06 Nov 1994 08:49:37", false},
      {"Sun, 06 Foo 1994 08:49:37 GMT", false},
      {"Sun, 32 Nov 1994 08:49:37 GMT", false},
      {"yesterday", false},
      {"", false},
  };
  for (const Case& c : cases) {
    int64_t seconds = -1;
    EXPECT_EQ(server::ParseHttpDate(c.text, seconds), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(seconds, kSample) << c.text;
    }
  }
}

}  // namespace
