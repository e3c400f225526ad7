#include "server/shell/SettingsRegistrar.h"

namespace zentarc::shell {

std::string registrationKey(const std::string& classId) { return "CLSID\\" + classId; }

bool SettingsRegistrar::write(const std::string& key, const std::string& name, const std::string& value) {
  std::string why;
  if (store_.write(key, name, value, &why)) return true;
  if (error_.empty()) error_ = why;
  return false;
}

HRESULT SettingsRegistrar::operator()(SOSrvRegistrarAction action, const SOSrvRegistrationInfo& info) {
  const std::string key = registrationKey(info.classId);
  bool ok = true;
  switch (action) {
    case SOSrvRegistrarAction::RegisterServer: {
      const std::string version = std::to_string(info.majorVersion) + "." + std::to_string(info.minorVersion) +
                                  "." + std::to_string(info.buildNumber);
      ok = write(key, "ProgID", info.progId) && write(key, "VersionIndependentProgID", info.versionIndependentProgId) &&
           write(key, "Description", info.description) && write(key, "Executable", info.executablePath) &&
           write(key, "Endpoint", info.endpointUrl) && write(key, "Version", version) &&
           write(key, "Vendor", info.vendorInfo);
      break;
    }
    case SOSrvRegistrarAction::RegisterCategories:
      ok = write(key, "ImplementedCategories", "OPC UA Server");
      break;
    case SOSrvRegistrarAction::UnregisterServer: {
      std::string why;
      ok = store_.removeKey(key, &why);
      if (!ok && error_.empty()) error_ = why;
      break;
    }
    case SOSrvRegistrarAction::UnregisterCategories:
      // The categories live in the record, which unregisterServer has removed.
      break;
  }
  return ok ? S_OK : E_FAIL;
}

}  // namespace zentarc::shell
