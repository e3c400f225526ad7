#pragma once
// Registration on Linux: a record in the settings store that says which program serves
// this class, under which names and on which endpoint. Registering writes it, unregistering
// removes it.
#include <string>

#include "common/settings/SettingsStore.h"
#include "server/toolkit/SODaSEntry.h"

namespace zentarc::shell {

// The section of the record.
std::string registrationKey(const std::string& classId);

class SettingsRegistrar {
 public:
  explicit SettingsRegistrar(settings::SettingsStore store) : store_(std::move(store)) {}

  HRESULT operator()(SOSrvRegistrarAction action, const SOSrvRegistrationInfo& info);
  // The first failure, in words (empty when every call succeeded).
  const std::string& error() const { return error_; }

 private:
  bool write(const std::string& key, const std::string& name, const std::string& value);

  settings::SettingsStore store_;
  std::string error_;
};

}  // namespace zentarc::shell
