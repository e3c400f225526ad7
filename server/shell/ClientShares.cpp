#include "server/shell/ClientShares.h"

#include <charconv>

namespace zentarc::shell {

namespace {

constexpr size_t kMB = 1024 * 1024;

// A share in the store: a whole number from 1 up; above the pool's bound it is the pool.
template <typename T>
void share(const settings::SettingsStore& store, const char* name, T& value, size_t bound, size_t unit,
           std::vector<std::string>& notices) {
  const auto stored = store.read(settings::kProductKey, name);
  if (!stored || stored->empty()) return;
  unsigned long long n = 0;
  const auto [end, ec] = std::from_chars(stored->data(), stored->data() + stored->size(), n);
  if (ec != std::errc() || end != stored->data() + stored->size() || n == 0) {
    notices.push_back("settings store: " + std::string(name) + "=" + *stored + " cannot be used; " +
                      std::to_string(value / unit) + " stands instead");
    return;
  }
  const size_t wanted = n > bound / unit ? bound : static_cast<size_t>(n) * unit;
  value = static_cast<T>(wanted);
}

}  // namespace

void applyClientShares(const settings::SettingsStore& store, ua::UaServerLimits& limits, ua::ServiceLimits& service,
                       std::vector<std::string>& notices) {
  share(store, kClientSessionsValue, limits.maxSessionsPerClient, limits.maxSessions, 1, notices);
  share(store, kClientSubscriptionsValue, service.maxSubscriptionsPerClient, service.maxSubscriptions, 1, notices);
  share(store, kClientMonitoredItemsValue, service.maxMonitoredItemsPerClient, service.maxMonitoredItems, 1, notices);
  share(store, kClientQueuedValuesValue, service.maxQueuedValueBytesPerClient, service.maxQueuedValueBytes, kMB,
        notices);
  share(store, kClientDeviceOperationsValue, service.maxDeviceOperationsPerClient, service.maxDeviceOperations, 1,
        notices);
  share(store, kClientOutputValue, limits.maxQueuedOutputPerClient, limits.maxQueuedOutputTotal, kMB, notices);
}

}  // namespace zentarc::shell
