#include "settings/server_settings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using settings::kSettings;
using settings::ServerSettings;

TEST(SettingsTable, EachRowIsWholeAndItsDefaultPassesItsOwnChecks) {
  std::set<std::string> names;
  for (const auto& row : kSettings) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name << " twice";
    EXPECT_NE(row.number == nullptr, row.text == nullptr) << row.name << ": one field";
    ServerSettings settings;
    EXPECT_TRUE(row.LoadKeeps(settings)) << row.name;
    if (row.setupMessage) {
      EXPECT_TRUE(row.SetupAccepts(settings)) << row.name;
    }
  }
}

TEST(SettingsTable, TheDefaultsAreTheDesigns) {
  const ServerSettings settings;
  EXPECT_EQ(settings.connections, 0u);
  EXPECT_EQ(settings.driver, 0u);
  EXPECT_EQ(settings.compression, 35u);
  EXPECT_EQ(settings.maxclients, 5u);
  EXPECT_EQ(settings.portnum, 80u);
  EXPECT_EQ(settings.camurl, "/video");
  EXPECT_EQ(settings.passthrough, 1u);
  EXPECT_EQ(settings.access, 0u) << "everyone, as it always was";
  EXPECT_EQ(settings.viewuser, "");
  EXPECT_EQ(settings.viewpass, "") << "no password";
  EXPECT_EQ(settings.intervalon, 0u);
  EXPECT_EQ(settings.interval, 60u);
  EXPECT_EQ(settings.intervalkeep, 0u) << "all";
  EXPECT_EQ(settings.intervaldir, "") << "the pictures folder";
  EXPECT_EQ(settings.record, 0u);
  EXPECT_EQ(settings.https, 1u) << "TLS beside plain HTTP";
  EXPECT_EQ(settings.tlscert, "") << "the server's own certificate";
  EXPECT_EQ(settings.tlskey, "");
  EXPECT_EQ(settings.h264kbps, 2500u) << "WebRTC's bitrate at 1080p";
  EXPECT_EQ(std::size(kSettings), 19u) << "a new setting: add its default here";
}

}  // namespace
