#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
      {"\"access\"=hex:02,00,00,00\r\n", &settings::ServerSettings::access, 2},
      {"\"access\"=hex:03,00,00,00\r\n", &settings::ServerSettings::access, 0},
      {"\"interval\"=hex:00,00,00,00\r\n", &settings::ServerSettings::interval, 60},
      {"\"interval\"=hex:80,51,01,00\r\n", &settings::ServerSettings::interval, 86400},
      {"\"interval\"=hex:81,51,01,00\r\n", &settings::ServerSettings::interval, 60},
      {"\"intervalon\"=hex:02,00,00,00\r\n", &settings::ServerSettings::intervalon, 0},
      {"\"intervalkeep\"=hex:40,42,0f,00\r\n", &settings::ServerSettings::intervalkeep, 1000000},
      {"\"intervalkeep\"=hex:41,42,0f,00\r\n", &settings::ServerSettings::intervalkeep, 0},
      {"\"record\"=hex:01,00,00,00\r\n", &settings::ServerSettings::record, 1},
      {"\"record\"=hex:02,00,00,00\r\n", &settings::ServerSettings::record, 0},
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
  // A path stored without its "/" is read with it; one no link can carry is not.
  EXPECT_EQ(Load(folder, hex("cam").c_str()).settings.camurl, "/cam");
  EXPECT_EQ(Load(folder, hex("/cam?x").c_str()).settings.camurl, "/video");
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

// A running server reads the file again as it changes, possibly while its
// writer is halfway: only a file that reads whole changes its settings, and
// nothing is moved or written.
TEST(SettingsStore, AReloadTakesOnlyAFileThatReadsAndWritesNothing) {
  struct Case {
    const char* text;
    const char* why;  // "" when the file's settings are taken
  };
  const Case cases[] = {
      {"", "it is not a settings file"},
      {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Softw", "it is not a settings file"},
      {"REGEDIT4\r\n", "it holds no settings"},
      {"not a registry", "it is not a settings file"},
      {nullptr, ""},  // the seeded file, whole
  };
  for (const Case& c : cases) {
    TempFolder folder;
    SeedRegistry(folder.Path(), "\"maxclients\"=hex:07,00,00,00\r\n");
    const std::string file = platform::RegistryFile();
    if (c.text) std::ofstream(file, std::ios::binary) << c.text;
    const auto before = std::filesystem::last_write_time(file);
    settings::ServerSettings settings;
    settings.maxclients = 3;
    EXPECT_EQ(settings::ReloadSettings(settings), c.why) << (c.text ? c.text : "whole");
    EXPECT_EQ(settings.maxclients, *c.why ? 3u : 7u) << (c.text ? c.text : "whole");
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
    EXPECT_FALSE(std::filesystem::exists(file + ".bad"));
  }
}

TEST(SettingsStore, FailedSaveLeavesTheOldFile) {
  TempFolder folder;
  Load(folder, "\"portnum\"=hex:90,1f,00,00\r\n");
  std::string before = folder.Read("config/owlglance/user.reg");
  // A disk that takes no more than 64 bytes a file (root included): the
  // temporary file can't be written whole.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit small{64, limit.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  settings::ServerSettings settings;
  settings.portnum = 9999;
  settings::SaveSettings(settings);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(folder.Read("config/owlglance/user.reg"), before);
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path() / "config/owlglance"))
    EXPECT_EQ(entry.path().filename(), "user.reg") << "no temporary file is left behind";
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

// A settings file that is there but can't be read is never written over:
// the load says why at once (a FIFO doesn't hold it up) and uses the
// defaults, and a save leaves the file as it was.
TEST(SettingsStore, AnUnreadableFileIsNeverWrittenOver) {
  struct Case {
    const char* what;
    std::function<void(const std::string& file)> make;
    bool asNobody;  // root reads any mode; the case needs a user without that right
  };
  const Case cases[] = {
      {"a FIFO", [](const std::string& file) { ::mkfifo(file.c_str(), 0600); }, false},
      {"a folder", [](const std::string& file) { std::filesystem::create_directory(file); }, false},
      {"mode 000",
       [](const std::string& file) {
         std::ofstream(file) << "REGEDIT4\r\n";
         std::filesystem::permissions(file, std::filesystem::perms::none);
       },
       true},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    SeedRegistry(folder.Path(), "\"portnum\"=hex:90,1f,00,00\r\n");
    const std::string file = platform::RegistryFile();
    std::filesystem::remove(file);
    c.make(file);
    const auto kind = std::filesystem::symlink_status(file).type();
    auto loadAndSave = [] {
      const auto start = std::chrono::steady_clock::now();
      settings::ServerSettings settings;
      const settings::SettingsFound found = settings::LoadSettings(settings);
      const bool quick = std::chrono::steady_clock::now() - start < std::chrono::seconds(1);
      settings.portnum = 9999;
      settings::SaveSettings(settings);
      return quick && !found.firstRun && !found.unreadable.empty() && settings.maxclients == 5 &&
             found.Message().find(platform::RegistryFile()) != std::string::npos;
    };
    if (c.asNobody) {
      if (::geteuid() != 0) continue;  // the test user can't read it either way: no case
      std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);
      const pid_t child = ::fork();
      if (child == 0) _exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && loadAndSave() ? 0 : 1);
      int status = -1;
      ::waitpid(child, &status, 0);
      EXPECT_EQ(status, 0) << c.what;
    } else {
      EXPECT_TRUE(loadAndSave()) << c.what;
    }
    EXPECT_EQ(std::filesystem::symlink_status(file).type(), kind) << c.what;
    for (const auto& entry :
         std::filesystem::directory_iterator(folder.Path() / "config" / "owlglance"))
      EXPECT_EQ(entry.path().filename(), "user.reg") << c.what << ": nothing kept aside or left";
  }
  settings::ServerSettings settings;
  static_cast<void>(settings::LoadSettings(settings));  // a readable load lets saves go on again
}

}  // namespace
