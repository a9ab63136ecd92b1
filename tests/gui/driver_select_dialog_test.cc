// Video > Select Driver in the real program, with cameras the test chooses.
#include "shell/commands.h"
#include "tests/support/gui_fixture.h"

namespace {

using DriverSelectDialogTest = GuiTest;

TEST_F(DriverSelectDialogTest, ListsTheDriversInIndexOrderAndConnectsTheChosenOne) {
  Start(/*driver=*/0, "pattern@320x240,pattern");
  EXPECT_EQ(Ask("picture", "picture"), "picture 320x240");
  ASSERT_TRUE(OpenDialog(202, "Select Driver"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1000", "value"),
            "value 1000|Owlglance Test Pattern 320x240|Owlglance Test Pattern sel 0");
  Ask("set 1000 1", "set");
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(Ask("picture", "picture"), "picture 640x480") << "the window fits the new picture";
  EXPECT_EQ(Saved().driver, 1u);
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  // The camera chosen before is the other camera now, camera 1.
  Menu(shell::kCmdCameraFirst + 1);
  EXPECT_EQ(Ask("picture", "picture"), "picture 320x240");
}

TEST_F(DriverSelectDialogTest, CancelEscapeAndTheCloseBoxChangeNothing) {
  Start(/*driver=*/0, "pattern@320x240,pattern");
  const std::string before = RegistryText();
  for (const char* way : {"press cancel", "dismiss"}) {
    ASSERT_TRUE(OpenDialog(202, "Select Driver"));
    Ask("set 1000 1", "set");
    session->Send(way);
    ASSERT_TRUE(DialogCommandDone()) << way;
  }
  EXPECT_EQ(Ask("picture", "picture"), "picture 320x240");
  EXPECT_EQ(RegistryText(), before);
}

TEST_F(DriverSelectDialogTest, WithNoDriverOkSavesMinusOneAndTheNextStartLoadsZero) {
  Start(/*driver=*/0, "");
  ASSERT_TRUE(OpenDialog(202, "Select Driver"));
  EXPECT_EQ(Ask("get 1000", "value"), "value 1000| sel -1");
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(Ask("picture", "picture"), "picture 640x480");
  EXPECT_NE(RegistryText().find("\"driver\"=hex:ff,ff,ff,ff"), std::string::npos);
  EXPECT_EQ(Saved().driver, 0u) << "above 10 as an unsigned number";
}

}  // namespace
