#include "common/settings/SettingsStore.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>


using namespace zentarc::settings;
using zentarc::testsupport::TempDir;

TEST(SettingsStore, tellsMissingFileKeyAndValueApart) {
  TempDir dir;
  SettingsStore store(dir.file("s.ini").string());
  ReadStatus st{};
  EXPECT_FALSE(store.read(kProductKey, kConfigFileValue, &st));
  EXPECT_EQ(st, ReadStatus::NoFile);

  ASSERT_TRUE(store.write("Other", "x", "1"));
  EXPECT_FALSE(store.read(kProductKey, kConfigFileValue, &st));
  EXPECT_EQ(st, ReadStatus::NoKey);

  ASSERT_TRUE(store.write(kProductKey, "Endpoint", "opc.tcp://127.0.0.1:4840"));
  EXPECT_FALSE(store.read(kProductKey, kConfigFileValue, &st));
  EXPECT_EQ(st, ReadStatus::NoValue);
}

TEST(SettingsStore, writesKeepOtherValuesAndSurviveReopen) {
  TempDir dir;
  const auto path = dir.file("s.ini").string();
  {
    SettingsStore store(path);
    ASSERT_TRUE(store.write(kProductKey, kConfigFileValue, "/srv/plant/a b.xml"));
    ASSERT_TRUE(store.write(kProductKey, kEndpointValue, "opc.tcp://0.0.0.0:4841"));
    ASSERT_TRUE(store.write(kProductKey, kConfigFileValue, "/srv/plant/c.xml"));
  }
  SettingsStore again(path);
  EXPECT_EQ(again.read(kProductKey, kConfigFileValue).value_or(""), "/srv/plant/c.xml");
  EXPECT_EQ(again.read(kProductKey, kEndpointValue).value_or(""), "opc.tcp://0.0.0.0:4841");
  ASSERT_TRUE(again.removeKey(kProductKey));
  EXPECT_FALSE(again.hasKey(kProductKey));
  EXPECT_TRUE(again.removeKey(kProductKey));
}

TEST(SettingsStore, failedWriteIsReportedNotSilent) {
  TempDir dir;
  // A folder that is really a file cannot hold the settings, even for root.
  dir.write("notafolder", "x");
  const auto path = dir.file("notafolder/s.ini").string();
  SettingsStore store(path);
  std::string error;
  EXPECT_FALSE(store.write("K", "v", "new", &error));
  EXPECT_NE(error.find(path), std::string::npos);
  EXPECT_EQ(TempDir::read(dir.file("notafolder")), "x");
}

TEST(SettingsStore, refusesLineBreaksThatWouldCorruptTheFile) {
  TempDir dir;
  SettingsStore store(dir.file("s.ini").string());
  std::string error;
  EXPECT_FALSE(store.write("K", "v", "a\nb", &error));
  EXPECT_FALSE(error.empty());
}

// Reproducer: a save by someone whose umask is 077 left the store readable by that person
// alone, and the service could no longer read its ConfigFile.
TEST(SettingsStore, savedFileStaysReadableByAllAndWritableByTheGroupWhateverTheUmask) {
  TempDir dir;
  SettingsStore store(dir.file("settings.ini").string());
  const mode_t old = ::umask(077);
  const bool written = store.write(kProductKey, kConfigFileValue, "/etc/opczentarc/plant.xml");
  ::umask(old);
  ASSERT_TRUE(written);
  struct stat st {};
  ASSERT_EQ(::stat(store.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
}
