#include "settings/interval_values.h"

#include <gtest/gtest.h>

namespace {

using settings::IntervalTexts;
using settings::kIntervalFolderMessage;
using settings::kIntervalKeepMessage;
using settings::kIntervalSecondsMessage;

TEST(IntervalValues, OkTakesWhatPassesAndNothingOtherwise) {
  struct Case {
    IntervalTexts typed;
    std::vector<std::string> messages;
    uint32_t interval, keep;
    const char* folder;
  };
  const Case cases[] = {
      {{true, "5", "/home/ann/Pictures/plant", "100"}, {}, 5, 100, "/home/ann/Pictures/plant"},
      {{true, " 86400 ", "", "0"}, {}, 86400, 0, ""},
      {{false, "1", "/srv/cam/", "1000000"}, {}, 1, 1000000, "/srv/cam"},
      {{true, "0", "", "0"}, {kIntervalSecondsMessage}, 60, 0, ""},
      {{true, "86401", "", "0"}, {kIntervalSecondsMessage}, 60, 0, ""},
      {{true, "5s", "", "0"}, {kIntervalSecondsMessage}, 60, 0, ""},
      {{true, "-5", "", "0"}, {kIntervalSecondsMessage}, 60, 0, ""},
      {{true, "", "", "0"}, {kIntervalSecondsMessage}, 60, 0, ""},
      {{true, "99999999999", "", "0"}, {kIntervalSecondsMessage}, 60, 0, ""},
      {{true, "5", "", "1000001"}, {kIntervalKeepMessage}, 60, 0, ""},
      {{true, "5", "", ""}, {kIntervalKeepMessage}, 60, 0, ""},
      {{true, "5", "Pictures", "3"}, {kIntervalFolderMessage}, 60, 0, ""},
      {{true, "5", "/a\nb", "3"}, {kIntervalFolderMessage}, 60, 0, ""},
      {{true, "x", "rel", "y"},
       {kIntervalSecondsMessage, kIntervalKeepMessage, kIntervalFolderMessage},
       60,
       0,
       ""},
  };
  for (const Case& c : cases) {
    settings::ServerSettings settings;
    EXPECT_EQ(settings::ReadIntervalTexts(c.typed, settings), c.messages) << c.typed.seconds;
    EXPECT_EQ(settings.interval, c.interval) << c.typed.seconds;
    EXPECT_EQ(settings.intervalkeep, c.keep) << c.typed.keep;
    EXPECT_EQ(settings.intervaldir, c.folder) << c.typed.folder;
    EXPECT_EQ(settings.intervalon, c.messages.empty() && c.typed.on ? 1u : 0u);
  }
}

TEST(IntervalValues, TheDialogOpensWithTheSettings) {
  settings::ServerSettings settings;
  settings.intervalon = 1;
  settings.interval = 300;
  settings.intervalkeep = 48;
  settings.intervaldir = "/srv/cam";
  const IntervalTexts texts = settings::IntervalTextsFrom(settings);
  EXPECT_TRUE(texts.on);
  EXPECT_EQ(texts.seconds, "300");
  EXPECT_EQ(texts.keep, "48");
  EXPECT_EQ(texts.folder, "/srv/cam");
}

}  // namespace
