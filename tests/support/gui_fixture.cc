#include "tests/support/gui_fixture.h"

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/installed_drivers.h"
#include "platform/interfaces.h"
#include "settings/settings_store.h"
#include "tests/support/registry_seed.h"
#include "tests/support/test_client.h"

void GuiTest::Start(uint32_t driver, const std::string& drivers, const std::string& moreValues) {
  port = FreePort();
  std::filesystem::create_directory("www");
  std::string values = "\"frun\"=hex:00,00,00,00\r\n\"portnum\"=" + RegistryHex32(port) +
                       "\r\n\"driver\"=" + RegistryHex32(driver) + "\r\n" + moreValues;
  SeedRegistry(folder.Path(), values.c_str());
  drivers_ = drivers;
  ::setenv(platform::kDriverListVariable, drivers.c_str(), 1);
  session = std::make_unique<GuiSession>(folder.Path(), folder.Path() / "config");
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ASSERT_TRUE(session->Started());
}

void GuiTest::StartFresh(const std::string& interfaces) {
  port = FreePort();
  std::filesystem::create_directory("www");
  SeedRegistry(folder.Path(), nullptr);
  ::setenv(platform::kInterfaceListVariable, interfaces.c_str(), 1);
  session = std::make_unique<GuiSession>(folder.Path(), folder.Path() / "config");
  ::unsetenv(platform::kInterfaceListVariable);
  ASSERT_TRUE(session->Started());
}

void GuiTest::Restart() {
  session.reset();
  std::filesystem::remove(folder.Path() / "driver" / "out");
  ::setenv(platform::kDriverListVariable, drivers_.c_str(), 1);
  session = std::make_unique<GuiSession>(folder.Path(), folder.Path() / "config");
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ASSERT_TRUE(session->Started());
}

std::vector<std::string> GuiTest::Menu(int id) {
  size_t skip = session->LineCount();
  session->Send("menu " + std::to_string(id));
  EXPECT_FALSE(session->WaitForLine("done menu " + std::to_string(id), 15000, skip).empty()) << id;
  return BoxesSince(skip);
}

std::string GuiTest::Ask(const std::string& command, const std::string& prefix, int ms) {
  size_t skip = session->LineCount();
  session->Send(command);
  return session->WaitForLine(prefix, ms, skip);
}

bool GuiTest::DialogCommandDone() {
  std::string done = "done menu " + std::to_string(dialogMenu_);
  return !session->WaitForLine(done, 15000, dialogSkip_).empty();
}

bool GuiTest::OpenDialog(int menuId, const std::string& title) {
  dialogMenu_ = menuId;
  dialogSkip_ = session->LineCount();
  session->Send("menu " + std::to_string(menuId));
  return WaitForDialog(title);
}

bool GuiTest::WaitForDialog(const std::string& title) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Ask("dialog", "dialog ", 2000) == "dialog " + title) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::vector<std::string> GuiTest::BoxesSince(size_t skip) const {
  std::vector<std::string> boxes;
  std::ifstream out(folder.Path() / "driver" / "out");
  size_t n = 0;
  for (std::string line; std::getline(out, line); ++n)
    if (n >= skip && line.rfind("box ", 0) == 0) boxes.push_back(line.substr(4));
  return boxes;
}

void GuiTest::ExpectNoClippedLabel() {
  std::istringstream labels(Ask("labels", "labels"));
  std::string word;
  labels >> word;
  int count = 0;
  for (int width, best; labels >> word; ++count) {
    ASSERT_EQ(std::sscanf(word.c_str(), "%d/%d", &width, &best), 2) << word;
    EXPECT_GE(width, best) << "a label is narrower than its text";
  }
  EXPECT_GT(count, 1);
}

void GuiTest::ExpectThankYouThenExit(const std::string& way) {
  bool up = false;
  for (int i = 0; i < 100 && !up; ++i) {
    up = Ask("dialog", "dialog ", 2000) == "dialog Thank You!";
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(up) << "the thank-you dialog";
  EXPECT_EQ(Ask("shown", "shown"), "shown 0") << "the main window has left the screen";
  EXPECT_EQ(session->WaitForExit(300), -1) << "the program waits for the dialog";
  if (way == "escape") {
    session->Xdotool("search --name \"Thank You!\" windowfocus --sync key Escape");
  } else {
    session->Send(way);
  }
  EXPECT_EQ(session->WaitForExit(10000), 1) << way;
}

settings::ServerSettings GuiTest::Saved() const {
  settings::ServerSettings settings;
  static_cast<void>(settings::LoadSettings(settings));
  return settings;
}

std::string GuiTest::RegistryText() const {
  std::ifstream in(folder.Path() / "config" / "owlglance" / "user.reg", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
