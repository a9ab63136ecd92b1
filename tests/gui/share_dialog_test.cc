// Server > Share in the real program: the links of each address and a QR
// code a phone can read off the screen.
#include <stdlib.h>

#include <array>
#include <fstream>
#include <sstream>

#include "platform/interfaces.h"
#include "tests/support/command.h"
#include "tests/support/gui_fixture.h"

namespace {

using ShareDialogTest = GuiTest;

TEST_F(ShareDialogTest, ShowsTheLinksOfEachAddressAndAReadableCode) {
  ::setenv(platform::kInterfaceListVariable, "192.168.1.23,127.0.0.1", 1);
  Start();
  ::unsetenv(platform::kInterfaceListVariable);
  const std::string base = "http://192.168.1.23:" + std::to_string(port);
  ASSERT_TRUE(OpenDialog(303, "Share"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1101", "value"), "value 1101|192.168.1.23|127.0.0.1 sel 0");
  EXPECT_EQ(Ask("get 1108", "value"), "value 1108|Server Not Running");
  // The Copy buttons stand clear of the code, and everything within the dialog.
  auto rect = [&](const std::string& id) {
    std::istringstream in(Ask("rect " + id, "rect"));
    std::string word;
    int x = 0, y = 0, width = 0, height = 0;
    in >> word >> x >> y >> width >> height;
    return std::array<int, 4>{x, y, x + width, y + height};
  };
  const auto dialog = rect(""), code = rect("1110");
  for (const char* copy : {"1105", "1106", "1107"}) {
    const auto button = rect(copy);
    EXPECT_LE(button[2], code[0]) << "Copy " << copy << " runs under the code";
  }
  for (const char* id : {"1105", "1110", "wxID_OK"}) EXPECT_LE(rect(id)[2], dialog[2]) << id;

  // The code on the screen reads back as the home page's address.
  std::string rgb = session->Screenshot();
  ASSERT_EQ(rgb.size(), 1024u * 768 * 3);
  {
    std::ofstream ppm(folder.Path() / "screen.ppm", std::ios::binary);
    ppm << "P6\n1024 768\n255\n";
    ppm.write(rgb.data(), static_cast<std::streamsize>(rgb.size()));
  }
  EXPECT_EQ(RunCommand("zbarimg --quiet --raw '" + (folder.Path() / "screen.ppm").string() +
                       "' 2>/dev/null"),
            base + "/\n");
  Ask("press ok", "pressed");
  EXPECT_TRUE(DialogCommandDone());
}

}  // namespace
