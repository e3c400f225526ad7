#include "ConfigPathRecorder.h"

#include "common/settings/SettingsStore.h"

namespace zentarc::editor {

bool recordConfigFile(const std::string& path, std::string* error) {
  settings::SettingsStore store;
  return store.write(settings::kProductKey, settings::kConfigFileValue, path, error);
}

}  // namespace zentarc::editor
