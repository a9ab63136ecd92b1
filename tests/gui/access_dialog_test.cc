// Server > Access in the real program: its checks, what it saves, and a
// running server that follows it at once.
#include "platform/password_hash.h"
#include "tests/support/gui_fixture.h"
#include "tests/support/server_fixture.h"

namespace {

using AccessDialogTest = GuiTest;
using Lines = std::vector<std::string>;

TEST_F(AccessDialogTest, APasswordIsCheckedSavedAsAHashAndAskedAtOnce) {
  Start();
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  ASSERT_TRUE(OpenDialog(304, "Access"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1201", "value"), "value 1201|1") << "everyone, as before";
  EXPECT_EQ(Ask("get 1204", "value"), "value 1204|0");

  for (const std::string& edit :
       Lines{"set 1202 1", "set 1204 1", "set 1205 anna", "set 1206 s3cret", "set 1207 s3cre"})
    Ask(edit, "set");
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_EQ(BoxesSince(skip), Lines{"Invalid Parameter|The two passwords are not the same."});
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog Access") << "still open";
  EXPECT_EQ(Ask("get 1206", "value"), "value 1206|s3cret") << "with what was typed";
  Ask("set 1207 s3cret", "set");
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());

  const settings::ServerSettings saved = Saved();
  EXPECT_EQ(saved.access, settings::kLocalNetwork);
  EXPECT_EQ(saved.viewuser, "anna");
  EXPECT_TRUE(platform::PasswordMatches("s3cret", saved.viewpass));
  EXPECT_EQ(RegistryText().find("s3cret"), std::string::npos) << "the hash alone";
  EXPECT_EQ(Exchange(port, "GET /snapshot HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 401 ", 0), 0u)
      << "asked at once, without a restart";

  // Unticked, the password goes.
  ASSERT_TRUE(OpenDialog(304, "Access"));
  EXPECT_EQ(Ask("get 1202", "value"), "value 1202|1");
  EXPECT_EQ(Ask("get 1205", "value"), "value 1205|anna");
  EXPECT_EQ(Ask("get 1206", "value"), "value 1206|") << "the password is never shown";
  Ask("set 1204 0", "set");
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(Saved().viewpass, "");
  EXPECT_EQ(Exchange(port, "GET /snapshot HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 200 ", 0), 0u);
}

}  // namespace
