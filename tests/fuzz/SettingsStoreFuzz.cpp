// Any bytes as the settings file: reading must never crash, and a value written into it must
// read back exactly, whatever else the file held.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/settings/SettingsStore.h"

namespace {

const std::string& folder() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/settings-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zentarc::settings;
  const std::string path = folder() + "/opczentarc.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  SettingsStore store(path);
  ReadStatus status;
  (void)store.read(kProductKey, kConfigFileValue, &status);
  (void)store.read(kProductKey, "Security", &status);
  (void)store.hasKey(kProductKey);
  const std::string value = "/srv/plant/OPCZentarc.xml";
  std::string error;
  if (store.write(kProductKey, kConfigFileValue, value, &error)) {
    const auto back = store.read(kProductKey, kConfigFileValue, &status);
    if (!back || *back != value) std::abort();  // a written value did not survive the file
  }
  (void)store.removeKey(kProductKey, &error);
  if (store.hasKey(kProductKey)) std::abort();
  return 0;
}
