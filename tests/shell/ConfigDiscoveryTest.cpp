#include <gtest/gtest.h>

#include "server/shell/ConfigDiscovery.h"
#include "server/shell/ServerIdentity.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempDir.h"

using namespace zentarc;
using namespace zentarc::shell;

TEST(ConfigDiscovery, nameBesideTheExecutableFollowsTheExeRule) {
  EXPECT_EQ(configBesideExecutable("/opt/z/OPCZentarc"), "/opt/z/OPCZentarc.xml");
  EXPECT_EQ(configBesideExecutable("/opt/z/OPCZentarc.exe"), "/opt/z/OPCZentarc.xml");
  EXPECT_EQ(configBesideExecutable("/opt/z/OPCZentarc.EXE"), "/opt/z/OPCZentarc.xml");
  EXPECT_EQ(configBesideExecutable("/opt/z/Server.Exe"), "/opt/z/Server.Exe.xml");
  EXPECT_EQ(configBesideExecutable("/opt/a.exe/OPCZentarc"), "/opt/a.exe/OPCZentarc.xml");
}

struct Discovery : ::testing::Test {
  testsupport::TempDir dir;
  settings::SettingsStore store{dir.file("settings.ini").string()};
  shelltest::RecordingPrompter prompter;
  std::string exe = dir.file("OPCZentarc").string();

  std::optional<std::string> find(std::optional<std::string> named = std::nullopt) {
    return findConfiguration(exe, named, store, prompter);
  }
};

TEST_F(Discovery, fileBesideTheExecutableWinsOverTheStore) {
  dir.write("OPCZentarc.xml", "x");
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kConfigFileValue, "/elsewhere/other.xml"));
  EXPECT_EQ(find().value_or(""), dir.file("OPCZentarc.xml").string());
  EXPECT_TRUE(prompter.shown().empty());
}

TEST_F(Discovery, storeNamesTheFileWhenNoneLiesBeside) {
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kConfigFileValue, "/plant/line.xml"));
  EXPECT_EQ(find().value_or(""), "/plant/line.xml");
  EXPECT_TRUE(prompter.shown().empty());
}

TEST_F(Discovery, mixedCaseExtensionLooksForItsOwnName) {
  exe = dir.file("Server.Exe").string();
  dir.write("Server.xml", "x");
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kConfigFileValue, "/plant/line.xml"));
  EXPECT_EQ(find().value_or(""), "/plant/line.xml");
  dir.write("Server.Exe.xml", "x");
  EXPECT_EQ(find().value_or(""), dir.file("Server.Exe.xml").string());
}

TEST_F(Discovery, commandLineNamesTheFileOutright) {
  dir.write("OPCZentarc.xml", "x");
  EXPECT_EQ(find(std::string("/given.xml")).value_or(""), "/given.xml");
}

TEST_F(Discovery, neitherFileNorKeyGivesExactlyOneWarning) {
  EXPECT_FALSE(find().has_value());  // no settings file at all
  ASSERT_TRUE(store.write("Other", "x", "1"));
  EXPECT_FALSE(find().has_value());  // a file without the key
  const auto shown = prompter.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, kConfigCaption);
  EXPECT_EQ(shown[0].second, kNoConfigText);
  EXPECT_EQ(shown[1], shown[0]);
}

TEST_F(Discovery, keyWithoutConfigFileNamesTheStoreAndTheValue) {
  ASSERT_TRUE(store.write(settings::kProductKey, settings::kEndpointValue, "opc.tcp://127.0.0.1:4840"));
  EXPECT_FALSE(find().has_value());
  const auto shown = prompter.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].second.find(store.path()), std::string::npos);
  EXPECT_NE(shown[0].second.find("ConfigFile"), std::string::npos);
  EXPECT_EQ(shown[0].second.rfind(kNoConfigText, 0), 0u);
}

TEST_F(Discovery, noExecutablePathLeavesTheLoaderToReport) {
  exe.clear();
  EXPECT_EQ(find().value_or("unset"), "");
}
