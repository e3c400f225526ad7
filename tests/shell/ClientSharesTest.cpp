// Each client's share of the OPC UA server's pools, from the settings store.
#include <gtest/gtest.h>

#include "server/shell/ClientShares.h"
#include "tests/support/TempDir.h"

using namespace zentarc;
using namespace zentarc::shell;
using testsupport::TempDir;

TEST(ClientShares, storeValuesSetTheShares_unusableOnesAreReported_andNoShareExceedsItsPool) {
  TempDir dir;
  settings::SettingsStore store(dir.file("settings.ini").string());
  ua::UaServerLimits limits;
  ua::ServiceLimits service;
  std::vector<std::string> notices;
  applyClientShares(store, limits, service, notices);
  EXPECT_EQ(limits.maxSessionsPerClient, 50u);  // half of each pool when nothing is set
  EXPECT_EQ(service.maxMonitoredItemsPerClient, 50000u);
  EXPECT_TRUE(notices.empty());
  const char* key = settings::kProductKey;
  ASSERT_TRUE(store.write(key, kClientSessionsValue, "80"));
  ASSERT_TRUE(store.write(key, kClientSubscriptionsValue, "10"));
  ASSERT_TRUE(store.write(key, kClientMonitoredItemsValue, "250000"));  // above the pool
  ASSERT_TRUE(store.write(key, kClientQueuedValuesValue, "8"));
  ASSERT_TRUE(store.write(key, kClientDeviceOperationsValue, "many"));
  ASSERT_TRUE(store.write(key, kClientOutputValue, "0"));
  applyClientShares(store, limits, service, notices);
  EXPECT_EQ(limits.maxSessionsPerClient, 80u);
  EXPECT_EQ(service.maxSubscriptionsPerClient, 10u);
  EXPECT_EQ(service.maxMonitoredItemsPerClient, service.maxMonitoredItems);
  EXPECT_EQ(service.maxQueuedValueBytesPerClient, 8u * 1024 * 1024);
  EXPECT_EQ(service.maxDeviceOperationsPerClient, 500u);
  EXPECT_EQ(limits.maxQueuedOutputPerClient, 48u * 1024 * 1024);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0], "settings store: ClientDeviceOperations=many cannot be used; 500 stands instead");
  EXPECT_EQ(notices[1], "settings store: ClientOutputMB=0 cannot be used; 48 stands instead");
}
