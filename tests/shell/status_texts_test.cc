#include "shell/status_texts.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusTexts, EachPaneAtCreationAndAtRefresh) {
  EXPECT_STREQ(shell::PaneInitialText(shell::kPaneUsers), "0 user(s) connected");
  EXPECT_STREQ(shell::PaneInitialText(shell::kPaneServer), "Server Not Running");
  EXPECT_STREQ(shell::PaneInitialText(shell::kPanePreview), "Not Previewing");
  struct Case {
    int pane, count, running;
    bool previewing;
    const char* text;
  };
  const Case cases[] = {
      {shell::kPaneUsers, 0, 0, false, "0 user(s) connected"},
      {shell::kPaneUsers, 1, 1, true, "1 user(s) connected"},
      {shell::kPaneUsers, 50, 1, true, "50 user(s) connected"},
      {shell::kPaneUsers, -1, 0, false, "-1 user(s) connected"},
      {shell::kPaneServer, 3, 1, false, "Server Running"},
      {shell::kPaneServer, 0, 0, true, "Server Not Running"},
      {shell::kPanePreview, 0, 1, true, "Previewing"},
      {shell::kPanePreview, 2, 0, false, "Not Previewing"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(shell::PaneText(c.pane, c.count, c.running, c.previewing), c.text) << c.pane;
  EXPECT_STREQ(shell::PaneInitialText(shell::kPaneRecording), "");
  EXPECT_EQ(shell::PaneText(shell::kPaneRecording, 0, 0, true, true), "Recording");
  EXPECT_EQ(shell::PaneText(shell::kPaneRecording, 0, 1, true, false), "");
}

}  // namespace
