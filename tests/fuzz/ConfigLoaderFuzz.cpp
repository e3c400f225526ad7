// Any bytes as a configuration file: the loader must report, skip or load, never crash.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "server/config/ConfigurationLoader.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"

namespace {

class IgnoredWarnings : public zentarc::ConfigWarnings {
 public:
  void warning(std::string_view, std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot());
  zentarc::DeviceList devices;
  IgnoredWarnings warnings;
  zentarc::LoadConfigurationBytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xml", *root,
                                  devices, std::make_shared<zentarc::ServerQueues>(), warnings);
  return 0;
}
