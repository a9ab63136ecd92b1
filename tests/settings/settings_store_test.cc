#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/registry.h"
#include "settings/settings_store.h"
#include "tests/support/registry_seed.h"
#include "tests/support/temp_folder.h"

namespace {

struct Loaded {
  bool firstRun;
  settings::ServerSettings settings;
};

Loaded Load(const TempFolder& folder, const char* values) {
  SeedRegistry(folder.Path(), values);
  Loaded loaded;
  loaded.firstRun = settings::LoadSettings(loaded.settings).firstRun;
  return loaded;
}

TEST(SettingsStore, LoadTimeRanges) {
  TempFolder folder;
  struct Case {
    const char* value;
    uint32_t settings::ServerSettings::*field;
    uint32_t expected;
  };
  const Case cases[] = {
      {"\"portnum\"=hex:50,00,00,00\r\n", &settings::ServerSettings::portnum, 80},
      {"\"portnum\"=hex:00,00,00,00\r\n", &settings::ServerSettings::portnum, 80},
      {"\"portnum\"=hex:01,00,00,00\r\n", &settings::ServerSettings::portnum,
       1},  // as Setup accepts
      {"\"portnum\"=hex:15,00,00,00\r\n", &settings::ServerSettings::portnum, 21},
      {"\"portnum\"=hex:00,04,00,00\r\n", &settings::ServerSettings::portnum, 1024},
      {"\"portnum\"=hex:01,04,00,00\r\n", &settings::ServerSettings::portnum, 1025},
      {"\"portnum\"=hex:e8,fd,00,00\r\n", &settings::ServerSettings::portnum, 65000},
      {"\"portnum\"=hex:e9,fd,00,00\r\n", &settings::ServerSettings::portnum, 80},  // 65001
      {"\"compression\"=hex:00,00,00,00\r\n", &settings::ServerSettings::compression, 35},
      {"\"compression\"=hex:64,00,00,00\r\n", &settings::ServerSettings::compression, 100},
      {"\"compression\"=hex:65,00,00,00\r\n", &settings::ServerSettings::compression, 35},
      {"\"maxclients\"=hex:00,00,00,00\r\n", &settings::ServerSettings::maxclients, 5},
      {"\"maxclients\"=hex:32,00,00,00\r\n", &settings::ServerSettings::maxclients, 50},
      {"\"maxclients\"=hex:33,00,00,00\r\n", &settings::ServerSettings::maxclients, 5},
      {"\"driver\"=hex:0a,00,00,00\r\n", &settings::ServerSettings::driver, 10},
      {"\"driver\"=hex:0b,00,00,00\r\n", &settings::ServerSettings::driver, 0},
      {"\"portnum\"=dword:00001f90\r\n", &settings::ServerSettings::portnum,
       8080},  // DWORD read as binary
      {"\"passthrough\"=hex:00,00,00,00\r\n", &settings::ServerSettings::passthrough, 0},
      {"\"passthrough\"=hex:01,00,00,00\r\n", &settings::ServerSettings::passthrough, 1},
      {"\"passthrough\"=hex:02,00,00,00\r\n", &settings::ServerSettings::passthrough, 1},
      {"\"passthrough\"=hex:ff,ff,ff,ff\r\n", &settings::ServerSettings::passthrough, 1},
      {"\"driver\"=hex:00,00,00,00\r\n", &settings::ServerSettings::passthrough, 1},  // absent: on
      {"\"portnum\"=hex:90,1f\r\n", &settings::ServerSettings::portnum,
       8080},  // fills the first bytes
      {"\"portnum\"=hex:91\r\n", &settings::ServerSettings::portnum, 0x91},  // over 80's 0x50
      {"\"portnum\"=hex:90,1f,00,00,00\r\n", &settings::ServerSettings::portnum, 80},  // too long
  };
  for (const auto& c : cases) {
    Loaded loaded = Load(folder, c.value);
    EXPECT_EQ(loaded.settings.*c.field, c.expected) << c.value;
    EXPECT_FALSE(loaded.firstRun) << c.value;
  }
  EXPECT_TRUE(Load(folder, "\"frun\"=hex:01\r\n").firstRun) << "a one-byte frun";
  for (const char* connections :
       {"\"connections\"=hex:02,00,00,00\r\n", "\"connections\"=hex:ff,ff,ff,ff\r\n"})
    EXPECT_EQ(Load(folder, connections).settings.connections, 0u) << connections;
  EXPECT_EQ(Load(folder, "\"connections\"=hex:01,00,00,00\r\n").settings.connections, 1u);
}

TEST(SettingsStore, StreamUrlLengths) {
  TempFolder folder;
  const std::string url64 = "/" + std::string(63, 'u');
  auto hex = [](const std::string& text) {
    std::string out = "\"camurl\"=hex:";
    char byte[4];
    for (size_t i = 0; i < text.size(); ++i) {
      std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", static_cast<uint8_t>(text[i]));
      out += byte;
    }
    return out + "\r\n";
  };
  EXPECT_EQ(Load(folder, "\"camurl\"=hex:\r\n").settings.camurl, "/video");
  EXPECT_EQ(Load(folder, hex("/cam").c_str()).settings.camurl, "/cam");
  EXPECT_EQ(Load(folder, hex(url64).c_str()).settings.camurl, url64);
  EXPECT_EQ(Load(folder, hex(url64 + "x").c_str()).settings.camurl, "/video");
  EXPECT_EQ(Load(folder, hex(std::string("/a\0b", 4)).c_str()).settings.camurl, "/a");
  EXPECT_EQ(Load(folder, hex(std::string("\0/a", 3)).c_str()).settings.camurl, "/video");
  // A request line is split at spaces: no request could name these.
  EXPECT_EQ(Load(folder, hex("/a b").c_str()).settings.camurl, "/video");
  EXPECT_EQ(Load(folder, hex("/a\tb").c_str()).settings.camurl, "/video");
  EXPECT_EQ(Load(folder, hex("/caf\xe9").c_str()).settings.camurl, "/caf\xe9");
}

TEST(SettingsStore, FirstRunCreatesAnEmptyKeyAndSavingClearsFrun) {
  TempFolder folder;
  Loaded first = Load(folder, nullptr);
  EXPECT_TRUE(first.firstRun);
  EXPECT_EQ(first.settings.portnum, 80u);
  EXPECT_EQ(first.settings.camurl, "/video");
  std::string file = platform::RegistryFile();
  ASSERT_TRUE(std::filesystem::exists(file));
  settings::ServerSettings again;
  EXPECT_FALSE(settings::LoadSettings(again).firstRun) << "the key exists now";

  EXPECT_TRUE(Load(folder, "\"frun\"=hex:01,00,00,00\r\n").firstRun);
  settings::ServerSettings settings;
  settings.connections = 1;
  settings.driver = 3;
  settings.compression = 80;
  settings.maxclients = 12;
  settings.portnum = 8080;
  settings.camurl = "/live.mjpg";
  settings.passthrough = 0;
  settings::SaveSettings(settings);
  settings::ServerSettings loaded;
  EXPECT_FALSE(settings::LoadSettings(loaded).firstRun);
  EXPECT_EQ(loaded.connections, 1u);
  EXPECT_EQ(loaded.driver, 3u);
  EXPECT_EQ(loaded.compression, 80u);
  EXPECT_EQ(loaded.maxclients, 12u);
  EXPECT_EQ(loaded.portnum, 8080u);
  EXPECT_EQ(loaded.camurl, "/live.mjpg");
  EXPECT_EQ(loaded.passthrough, 0u);
}

TEST(SettingsStore, MissingValuesKeepTheirDefaults) {
  TempFolder folder;
  Loaded loaded = Load(folder, "\"maxclients\"=hex:07,00,00,00\r\n");
  EXPECT_FALSE(loaded.firstRun);
  EXPECT_EQ(loaded.settings.maxclients, 7u);
  EXPECT_EQ(loaded.settings.compression, 35u);
  EXPECT_EQ(loaded.settings.camurl, "/video");
}

TEST(SettingsStore, UnparsableFilesAreKeptAsideEachUnderItsOwnNameAndSaidSo) {
  TempFolder folder;
  for (const char* kept : {".bad", ".bad.1", ".bad.2"}) {
    SeedRegistry(folder.Path(), (std::string("\"portnum\"=what is ") + kept + "\r\n").c_str());
    settings::ServerSettings settings;
    const settings::SettingsFound found = settings::LoadSettings(settings);
    EXPECT_TRUE(found.firstRun);
    EXPECT_EQ(settings.portnum, 80u);
    const std::string copy = platform::RegistryFile() + kept;
    EXPECT_EQ(found.keptAs, copy);
    EXPECT_EQ(found.Message(), "The settings file could not be read. It was kept as " + copy +
                                   ", and the default settings are used.");
    std::ifstream in(copy);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(std::string("what is ") + kept), std::string::npos) << kept;
  }
  settings::ServerSettings settings;
  EXPECT_EQ(settings::LoadSettings(settings).Message(), "") << "a file that reads says nothing";
}

TEST(SettingsStore, FailedSaveLeavesTheOldFile) {
  TempFolder folder;
  Load(folder, "\"portnum\"=hex:90,1f,00,00\r\n");
  std::string file = platform::RegistryFile();
  std::string before = folder.Read("config/owlglance/user.reg");
  // A folder where the temporary file goes: the save can't write it.
  std::filesystem::create_directory(file + ".tmp");
  settings::ServerSettings settings;
  settings.portnum = 9999;
  settings::SaveSettings(settings);
  EXPECT_EQ(folder.Read("config/owlglance/user.reg"), before);
  settings::ServerSettings loaded;
  static_cast<void>(settings::LoadSettings(loaded));
  EXPECT_EQ(loaded.portnum, 8080u);
}

TEST(SettingsStore, NamesMatchWithoutRegardToCaseAsTheRegistrysDo) {
  TempFolder folder;
  SeedRegistry(folder.Path(), "\"frun\"=hex:00,00,00,00\r\n\"PortNum\"=dword:00001f90\r\n");
  settings::ServerSettings settings;
  EXPECT_FALSE(settings::LoadSettings(settings).firstRun);
  EXPECT_EQ(settings.portnum, 8080u) << "a hand-edited name";
  settings.portnum = 8081;
  settings::SaveSettings(settings);
  std::string text = folder.Read("config/owlglance/user.reg");
  EXPECT_EQ(text.find("\"portnum\""), std::string::npos) << "no second value: " << text;
  EXPECT_NE(text.find("\"PortNum\"=hex:91,1f,00,00"), std::string::npos) << text;
}

}  // namespace
